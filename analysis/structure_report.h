// The structure comparison of the tables open in the two slots: the columns
// found only in the first, only in the second, in both, and, when the second
// holds every column of the first, the positions where their orders differ.
#pragma once

#include <string>

#include "analysis/line_sink.h"
#include "analysis/string_list.h"
#include "fields/fields.h"
#include "tables/data_access.h"

namespace lumbra {

// The field's descriptor: name, a space, type name and "(size)", upper-cased
// in ASCII only, e.g. "NUME FTSTRING(30)". A type outside the enumeration is
// named "Altceva".
std::string FieldDescriptor(const TField& field);

// Adds to list the descriptor of every field of table, in field order.
// Requires table to be open.
void DescrieCampuri(TStringList& list, const TADOTable& table);

// Writes the comparison of at (slot 1) with at2 (slot 2) into memo, one line
// at a time after emptying it. When a table is closed the notice goes to
// showInfoBox instead and memo keeps its lines. Throws what reading the
// fields or writing a line throws; memo then keeps the lines written so far.
void CompareStructure(const TADOTable& at, const TADOTable& at2, const TShowInfoBox& showInfoBox,
                      ILineSink& memo);

}  // namespace lumbra
