// lumbra-cli's dump of a table's records as JSON lines or CSV.
#pragma once

#include <string>
#include <vector>

#include "provider/provider.h"

namespace lumbra {

// How many threads a dump reads and writes records on by default: two when
// the program may run on more than one core and fewer threads than cores are
// runnable now (this one included), else one.
int DefaultDumpThreads();

// Writes every record of rs from the first one on, as JSON lines or as CSV
// under a header row: the columns chosen (indexes into rs's columns, in the
// order given), named by names (one per column), led with deleted by a
// kDeletedColumn value that tells whether the record is deleted. With two
// threads the calling thread reads the records' values a batch at a time and
// a second one turns them into text and writes it, in file order; the output
// is the same byte for byte. A failure to read a record ends the dump after
// the records before it are written; a failure to write ends it at once.
void DumpRecords(TProviderRecordset& rs, const std::vector<std::string>& names,
                 const std::vector<size_t>& chosen, bool deleted, bool csv, int threads);

}  // namespace lumbra
