#include "provider/connection_string.h"

#include "base/text.h"

namespace lumbra {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

TConnectionAttributes ParseConnectionString(std::string_view text) {
  TConnectionAttributes out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t eq = text.find_first_of("=;", i);
    if (eq == std::string_view::npos || text[eq] == ';') {
      const size_t end = eq == std::string_view::npos ? text.size() : eq;
      const std::string_view key = Trim(text.substr(i, end - i));
      if (!key.empty()) out.emplace_back(std::string(key), std::string());
      i = end + 1;
      continue;
    }
    const std::string key(Trim(text.substr(i, eq - i)));
    i = eq + 1;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
      ++i;
    std::string value;
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
      const char quote = text[i++];
      while (i < text.size()) {
        if (text[i] == quote) {
          if (i + 1 < text.size() && text[i + 1] == quote) {
            value.push_back(quote);
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value.push_back(text[i++]);
      }
      const size_t semicolon = text.find(';', i);
      i = semicolon == std::string_view::npos ? text.size() : semicolon + 1;
    } else {
      const size_t semicolon = text.find(';', i);
      const size_t end = semicolon == std::string_view::npos ? text.size() : semicolon;
      value = std::string(Trim(text.substr(i, end - i)));
      i = end + 1;
    }
    if (!key.empty()) out.emplace_back(key, std::move(value));
  }
  return out;
}

const std::string* FindAttribute(const TConnectionAttributes& attributes, std::string_view key) {
  const std::string* found = nullptr;
  for (const auto& [name, value] : attributes) {
    if (EqualsIgnoringAsciiCase(name, key)) found = &value;
  }
  return found;
}

}  // namespace lumbra
