#include "dbf/table_files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "dbf/dbf_error.h"
#include "dbf/file_io.h"

namespace lumbra {

namespace {

std::optional<std::string> Beside(const std::string& realTable, const char* extension) {
  return FindFileIgnoringCase(FolderOf(realTable), BaseNameOf(realTable) + extension);
}

}  // namespace

std::string BaseNameOf(const std::string& path) {
  const std::string name = path.substr(FolderOf(path).size());
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::optional<std::string> FindContainerFile(const std::string& realTable,
                                             const TDbfHeader& header) {
  // Written by Windows programs: either slash may part the folders.
  const size_t slash = header.Backlink.find_last_of("\\/");
  const std::string name =
      slash == std::string::npos ? header.Backlink : header.Backlink.substr(slash + 1);
  if (name.empty()) return std::nullopt;
  return FindFileIgnoringCase(FolderOf(realTable), name);
}

std::string RealPathOf(const std::string& path) {
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) == nullptr) {
    throw EDbfError(TDbfErrorKind::NotFound,
                    "Cannot resolve file '" + path + "': " + std::strerror(errno));
  }
  return buffer;
}

std::optional<TMemoFileName> FindMemoFile(const std::string& realTable, const TDbfHeader& header) {
  const TMemoFormat preferred = header.PreferredMemoFormat();
  if (preferred == TMemoFormat::None) return std::nullopt;
  const TMemoFormat other = preferred == TMemoFormat::Fpt ? TMemoFormat::Dbt : TMemoFormat::Fpt;
  for (const TMemoFormat format : {preferred, other}) {
    if (auto found = Beside(realTable, format == TMemoFormat::Fpt ? ".fpt" : ".dbt")) {
      return TMemoFileName{*found, format};
    }
  }
  return std::nullopt;
}

TTableFiles LocateTableFiles(const std::string& tablePath, const TDbfHeader& header) {
  TTableFiles files;
  files.Table = RealPathOf(tablePath);
  if (auto memo = FindMemoFile(files.Table, header)) {
    files.Memo = RealPathOf(memo->Path);
    files.MemoFormat = memo->Format;
  }
  if (auto cdx = Beside(files.Table, ".cdx")) {
    files.Index = RealPathOf(*cdx);
    files.IndexKind = TIndexKind::Cdx;
  } else if ((header.TableFlags & 0x01) != 0 && header.Format != TDbfFormat::VisualFoxPro &&
             header.Format != TDbfFormat::FoxPro) {
    if (auto mdx = Beside(files.Table, ".mdx")) {
      files.Index = RealPathOf(*mdx);
      files.IndexKind = TIndexKind::Mdx;
    }
  }
  return files;
}

}  // namespace lumbra
