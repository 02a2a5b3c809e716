// Connection strings: "Key=Value" attributes separated by ";".
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumbra {

using TConnectionAttributes = std::vector<std::pair<std::string, std::string>>;

// Splits a connection string into its attributes, in order. Keys and values
// are trimmed; a value in double or single quotes is unquoted (a doubled
// quote inside stands for one). Never fails: text without "=" is a key with
// an empty value.
TConnectionAttributes ParseConnectionString(std::string_view text);
// The value of the last attribute named key (ignoring letter case), or
// nullptr when there is none.
const std::string* FindAttribute(const TConnectionAttributes& attributes, std::string_view key);

}  // namespace lumbra
