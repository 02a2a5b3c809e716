// The text forms lumbra-cli writes for provider values. columnType is the
// value's column type (a TDataType number): dates of date columns are written
// without a time, those of date-time columns always with one.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "base/variant.h"

namespace lumbra {

// Takes what out holds so far (writes it and empties out). The appenders
// below call it between slices of a long text, when given one, so that out
// holds only a slice of such a text at a time.
using TFlush = std::function<void(std::string& out)>;

// Appends value as a JSON value: null, true/false, a number or a string.
void AppendJsonValue(std::string& out, const Variant& value, int columnType,
                     const TFlush& flush = nullptr);
// Appends text as a JSON string literal.
void AppendJsonString(std::string& out, std::string_view text, const TFlush& flush = nullptr);
// Appends one CSV field (RFC 4180): quoted when it holds a comma, a quote or
// a line break, or when it is an empty text (Null is an empty unquoted field).
void AppendCsvField(std::string& out, const Variant& value, int columnType,
                    const TFlush& flush = nullptr);

}  // namespace lumbra
