// The distinct values per column of the first table: for every field, the
// number of records, the number of distinct texts among their values, and the
// texts met more than once with their counts.
#pragma once

#include "analysis/line_sink.h"
#include "tables/data_access.h"

namespace lumbra {

// Walks at (slot 1's table) once per field, counting the texts of the field's
// values: "NULL" for a Null value, else the value as string, or the class name
// of the error that reading it as string raised. The whole report then
// replaces memo's lines in one update.
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
