#include "cli/dump_choice.h"

#include <algorithm>

#include "cli/command_line.h"
#include "fields/field_defs.h"

namespace lumbra {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> ColumnList(const std::string& list) {
  if (std::all_of(list.begin(), list.end(), IsBlank))
    throw EUsageError("--columns names no column");
  std::vector<std::string> parts(1);
  bool bracketed = false;
  for (const char c : list) {
    if (!bracketed && (c == ',' || c == ';')) {
      parts.emplace_back();
      continue;
    }
    if (c == '[') bracketed = true;
    if (c == ']') bracketed = false;
    parts.back().push_back(c);
  }
  for (std::string& part : parts) {
    size_t begin = 0, end = part.size();
    while (begin < end && IsBlank(part[begin]))
      ++begin;
    while (end > begin && IsBlank(part[end - 1]))
      --end;
    part = part.substr(begin, end - begin);
    if (part.size() >= 2 && part.front() == '[' && part.back() == ']')
      part = part.substr(1, part.size() - 2);
    if (part.empty()) throw EUsageError("--columns '" + list + "': a column name is missing");
  }
  return parts;
}

std::vector<size_t> ChosenColumns(const std::optional<std::vector<std::string>>& list,
                                  const std::vector<std::string>& names) {
  std::vector<size_t> chosen;
  if (!list) {
    for (size_t c = 0; c < names.size(); ++c)
      chosen.push_back(c);
    return chosen;
  }
  for (const std::string& name : *list) {
    const auto found = std::find_if(names.begin(), names.end(), [&](const std::string& n) {
      return SameNameIgnoringCase(n, name);
    });
    if (found == names.end())
      throw EUsageError("--columns: the table has no column '" + name + "'");
    const auto column = static_cast<size_t>(found - names.begin());
    if (std::find(chosen.begin(), chosen.end(), column) != chosen.end())
      throw EUsageError("--columns names the column '" + *found + "' twice");
    chosen.push_back(column);
  }
  return chosen;
}

}  // namespace lumbra
