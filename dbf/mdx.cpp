#include "dbf/mdx.h"

#include <algorithm>

#include "base/byte_order.h"
#include "dbf/dbf_error.h"

namespace lumbra {

namespace {

// The file header's fields (dbf/FORMAT.md §11).
constexpr size_t kEntriesAt = 25;      // entries the tag table has room for
constexpr size_t kEntryLengthAt = 26;  // bytes an entry
constexpr size_t kTagsInUseAt = 28;    // 2 bytes, little-endian
constexpr size_t kTagTableAt = 544;
constexpr size_t kNameAt = 4;  // in an entry, after the tag header's page number
constexpr size_t kNameLength = 11;

[[noreturn]] void Damaged(const IFileIo& file, const std::string& problem) {
  throw EDbfError(TDbfErrorKind::Corrupt, "Index '" + file.Name() + "': " + problem);
}

}  // namespace

std::vector<std::string> ReadMdxTagNames(IFileIo& file) {
  std::string head(kTagTableAt, '\0');
  head.resize(file.ReadAt(0, head.data(), head.size()));
  if (head.size() < kTagTableAt) Damaged(file, "it is shorter than its header");
  const auto* h = reinterpret_cast<const unsigned char*>(head.data());
  const size_t entries = h[kEntriesAt];
  const size_t entryLength = h[kEntryLengthAt];
  const size_t inUse = LoadLe16(h + kTagsInUseAt);
  if (entryLength < kNameAt + kNameLength) Damaged(file, "its tag entries are too short");
  if (inUse > entries) Damaged(file, "it counts more tags than its tag table holds");
  std::string table(inUse * entryLength, '\0');
  if (file.ReadAt(kTagTableAt, table.data(), table.size()) != table.size()) {
    Damaged(file, "its tag table runs past the end of the file");
  }
  std::vector<std::string> names;
  for (size_t i = 0; i < inUse; ++i) {
    // Up to the first NUL, trailing blanks cut.
    std::string name = table.substr(i * entryLength + kNameAt, kNameLength);
    name.resize(std::min(name.size(), name.find('\0')));
    name.resize(name.find_last_not_of(' ') + 1);
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace lumbra
