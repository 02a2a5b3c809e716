// Where a table's companion files are: the memo file and the structural
// index sit beside the real table file (symbolic links followed), with the
// table's base name and their own extension, letter case ignored. The reader
// and the emptying find them with these same functions, so they always agree.
#pragma once

#include <optional>
#include <string>

#include "base/text.h"
#include "dbf/header.h"

namespace lumbra {

// The absolute path of the file path names, every symbolic link followed.
// Throws EDbfError naming path when it cannot be resolved.
std::string RealPathOf(const std::string& path);

struct TMemoFileName {
  std::string Path;
  TMemoFormat Format = TMemoFormat::None;
};

// The memo file of the table whose real path is realTable: the extension of
// the header's own family first, then the other one for a table that has no
// family of its own. Nothing when the table has no memo fields or no such file.
std::optional<TMemoFileName> FindMemoFile(const std::string& realTable, const TDbfHeader& header);

// The file name of path up to its last ".": the name a table goes by.
std::string BaseNameOf(const std::string& path);

// The database container a Visual FoxPro table's backlink names, beside the
// table whose real path is realTable: the backlink's file name without its
// folder part, letter case ignored. Nothing when there is no such file.
std::optional<std::string> FindContainerFile(const std::string& realTable,
                                             const TDbfHeader& header);

enum class TIndexKind : uint8_t {
  None,
  Cdx,  // FoxPro / Visual FoxPro compound index
  Mdx,  // dBase IV/5/7 production index
};

// The files of one table, each the file really on disk.
struct TTableFiles {
  std::string Table;
  std::string Memo;  // "" when the table has no memo fields or no memo file
  TMemoFormat MemoFormat = TMemoFormat::None;
  std::string Index;  // the structural index; "" when there is none
  TIndexKind IndexKind = TIndexKind::None;
};

// Finds the files of the table at tablePath; header is that table's header.
// A .cdx beside the table is its index whatever the header says; a .mdx only
// when the header of a dBase table flags a production index. Throws EDbfError
// when the table itself cannot be resolved.
TTableFiles LocateTableFiles(const std::string& tablePath, const TDbfHeader& header);

}  // namespace lumbra
