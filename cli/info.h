// lumbra-cli's "info": what a table's header says, as a user reads it, or as
// one JSON object for scripts.
#pragma once

#include <string>

#include "dbf/table.h"

namespace lumbra {

// Where the table's code page came from, in words: "the header's code page
// byte 0x03", "the language driver DB437US0", "--codepage", or for a header
// that names none, the locale's guess.
std::string CodePageOrigin(const TDbfTable& table);

// The description of table, opened from path (as the user named it). Reads
// every record's deletion flag to count the live and deleted ones. Throws
// EDbfError when the file cannot be read.
std::string TableInfo(TDbfTable& table, const std::string& path, bool json);

}  // namespace lumbra
