// The distinct values per column of the first table: for every field, the
// number of records, the number of distinct texts among their values, and the
// texts met more than once with their counts.
#pragma once

#include "analysis/line_sink.h"
#include "tables/data_access.h"

namespace lumbra {

// Counts, for every field of at (slot 1's table), the texts of the field's
// values: "NULL" for a Null value, else the value as string, or the class name
// of the error that reading it as string raised. The whole report then
// replaces memo's lines in one update. The records are read in one walk for
// all fields and counted on a second thread; when a value cannot be read, the
// fields are walked one at a time, so the error raised and where at stops are
// those of the field that comes first.
//
// When at is closed, shows the notice with showInfoBox and changes nothing.
// Otherwise dataSource1 is disabled during the walk and enabled again on every
// path, and at is left on its last record (at its end), or unmoved when it has
// no fields. Throws what moving, reading a value as a variant, the Null test
// (EVariantInvalidOpError) or writing throws; memo then keeps its lines and at
// stays where the walk stopped.
void AnalyzeDistinctPerColumn(TADOTable& at, TDataSource& dataSource1,
                              const TShowInfoBox& showInfoBox, ILineSink& memo);

}  // namespace lumbra
