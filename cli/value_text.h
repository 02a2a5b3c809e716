// The text forms lumbra-cli writes for provider values. columnType is the
// value's column type (a TDataType number): dates of date columns are written
// without a time, those of date-time columns always with one.
#pragma once

#include <string>

#include "base/variant.h"

namespace lumbra {

// Appends value as a JSON value: null, true/false, a number or a string.
void AppendJsonValue(std::string& out, const Variant& value, int columnType);
// Appends text as a JSON string literal.
void AppendJsonString(std::string& out, std::string_view text);
// The value's text without quoting, as the CSV form writes it; "" for Null.
std::string PlainText(const Variant& value, int columnType);
// Appends one CSV field (RFC 4180): quoted when it holds a comma, a quote or
// a line break, or when it is an empty text (Null is an empty unquoted field).
void AppendCsvField(std::string& out, const Variant& value, int columnType);

}  // namespace lumbra
