// What a dump writes beyond the visible records' every column: deleted
// records too, under a leading "_deleted" column, and only the columns a list
// names, in its order.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace lumbra {

struct TDumpChoice {
  bool Deleted = false;                             // --deleted
  std::optional<std::vector<std::string>> Columns;  // the names of --columns LIST
};

// The name of the column a dump with deleted records writes first.
inline constexpr const char* kDeletedColumn = "_deleted";

// The names of a --columns list: separated by "," or ";", blanks around them
// ignored, "[any name]" for a name that holds either. Throws EUsageError for a
// list that names nothing or misses a name between separators.
std::vector<std::string> ColumnList(const std::string& list);

// The indexes into names of the columns list names, in its order, letter case
// ignored; without a list, every column in turn. Throws EUsageError for a
// name that is not a column (naming it) or a column named twice.
std::vector<size_t> ChosenColumns(const std::optional<std::vector<std::string>>& list,
                                  const std::vector<std::string>& names);

}  // namespace lumbra
