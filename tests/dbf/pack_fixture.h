// Tables for the emptying and packing tests: a small Visual FoxPro table with
// an .fpt memo and a two-tag .cdx written from a list of rows, temporary
// folders, and what a reader sees in a table afterwards.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/variant.h"
#include "dbf/table.h"

namespace lumbra::pack_fixture {

namespace fs = std::filesystem;

// A folder of its own under the system's temporary folder, removed with
// everything in it at the end.
class TTempFolder {
 public:
  TTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "lumbra-pack-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    FPath = pattern;
  }
  ~TTempFolder() {
    std::error_code ignored;
    fs::permissions(FPath, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(FPath, ignored);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const fs::path& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return (FPath / name).string(); }
  // Names in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(FPath))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path FPath;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct TRow {
  int Id = 0;
  std::string Name;  // at most 10 bytes
  std::string Note;  // the memo; "" stores no memo block
  bool Deleted = false;
};

struct TTableShape {
  bool Memo = true;
  bool Index = true;
  uint8_t Version = 0x30;
  uint8_t YearByte = 24;  // Visual FoxPro's year convention: 2024
};

inline void PutLe(std::string& s, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
}
inline void PutBe(std::string& s, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * (bytes - 1 - i)));
}

// ID N(4), NAME C(10) and, with a memo, NOTE M(4).
constexpr uint32_t kHeaderLength(bool memo) {
  return 32 + 32 * (memo ? 3 : 2) + 1 + 263;
}
constexpr uint32_t kRecordLength(bool memo) {
  return 1 + 4 + 10 + (memo ? 4 : 0);
}

inline std::string Padded(std::string text, size_t width, bool right = false) {
  if (text.size() < width) {
    text.insert(right ? 0 : text.size(), width - text.size(), ' ');
  }
  return text.substr(0, width);
}

// A leaf node holding the keys uncompressed, in the given order, with the
// record numbers (or, in the tag directory, header offsets) beside them.
inline std::string Leaf(uint16_t attributes, uint16_t keyLength,
                        const std::vector<std::pair<std::string, uint32_t>>& entries) {
  std::string node(512, '\0');
  const auto bits = static_cast<unsigned>(std::bit_width(keyLength));
  const unsigned recordBits = 24 - 2 * bits;
  PutLe(node, 0, attributes, 2);
  PutLe(node, 2, static_cast<uint32_t>(entries.size()), 2);
  PutLe(node, 4, 0xFFFFFFFF, 4);
  PutLe(node, 8, 0xFFFFFFFF, 4);
  PutLe(node, 12, static_cast<uint32_t>(488 - entries.size() * (3 + keyLength)), 2);
  PutLe(node, 14, (1u << recordBits) - 1, 4);
  node[18] = node[19] = static_cast<char>((1u << bits) - 1);
  node[20] = static_cast<char>(recordBits);
  node[21] = node[22] = static_cast<char>(bits);
  node[23] = 3;
  size_t keyAt = 512;
  for (size_t i = 0; i < entries.size(); ++i) {
    PutLe(node, 24 + 3 * i, entries[i].second, 3);
    keyAt -= keyLength;
    node.replace(keyAt, keyLength, Padded(entries[i].first, keyLength));
  }
  return node;
}

inline std::string TagHeader(uint32_t root, uint16_t keyLength, const std::string& key,
                             const std::string& filter) {
  std::string header(1024, '\0');
  PutLe(header, 0, root, 4);
  PutLe(header, 12, keyLength, 2);
  header[14] = static_cast<char>(filter.empty() ? 0x60 : 0x68);
  header[15] = 1;
  PutLe(header, 504, static_cast<uint32_t>(key.size() + 1), 2);
  PutLe(header, 506, static_cast<uint32_t>(filter.size() + 1), 2);
  PutLe(header, 510, static_cast<uint32_t>(key.size() + 1), 2);
  header.replace(512, key.size(), key);
  header.replace(512 + key.size() + 1, filter.size(), filter);
  return header;
}

// Tags ID (STR(id,4), every record) and NAME (UPPER(name) FOR !DELETED()).
inline std::string Index(const std::vector<TRow>& rows) {
  std::vector<std::pair<std::string, uint32_t>> ids;
  std::vector<std::pair<std::string, uint32_t>> names;
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto recno = static_cast<uint32_t>(i + 1);
    ids.emplace_back(Padded(std::to_string(rows[i].Id), 4, true), recno);
    std::string upper = rows[i].Name;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    if (!rows[i].Deleted) names.emplace_back(upper, recno);
  }
  std::sort(ids.begin(), ids.end());
  std::sort(names.begin(), names.end());
  std::string file(1024, '\0');
  PutLe(file, 0, 0x400, 4);
  PutLe(file, 12, 10, 2);
  file[14] = static_cast<char>(0xE0);
  file[15] = 1;
  PutLe(file, 504, 1, 2);
  PutLe(file, 506, 1, 2);
  PutLe(file, 510, 1, 2);
  file += Leaf(3, 10, {{"ID", 0x600}, {"NAME", 0xC00}});
  file += TagHeader(0xA00, 4, "STR(id,4)", "");
  file += Leaf(7, 4, ids);
  file += TagHeader(0x1000, 10, "UPPER(name)", "!DELETED()");
  file += Leaf(7, 10, names);
  return file;
}

// Writes <folder>/<name>.dbf, with <name>.fpt and <name>.cdx as shape asks.
inline void WriteTable(const fs::path& folder, const std::string& name,
                       const std::vector<TRow>& rows, const TTableShape& shape = {}) {
  const uint32_t hl = kHeaderLength(shape.Memo);
  const uint32_t rl = kRecordLength(shape.Memo);
  std::string table(hl, '\0');
  table[0] = static_cast<char>(shape.Version);
  table[1] = static_cast<char>(shape.YearByte);
  table[2] = 5;
  table[3] = 17;
  PutLe(table, 4, static_cast<uint32_t>(rows.size()), 4);
  PutLe(table, 8, hl, 2);
  PutLe(table, 10, rl, 2);
  table[28] = static_cast<char>((shape.Index ? 0x01 : 0) | (shape.Memo ? 0x02 : 0));
  table[29] = 0x03;
  struct TField {
    const char* Name;
    char Type;
    uint8_t Length;
    uint8_t Decimals;
  };
  std::vector<TField> fields = {{"ID", 'N', 4, 0}, {"NAME", 'C', 10, 0}};
  if (shape.Memo) fields.push_back({"NOTE", 'M', 4, 0});
  uint32_t offset = 1;
  for (size_t i = 0; i < fields.size(); ++i) {
    const size_t at = 32 + 32 * i;
    table.replace(at, std::char_traits<char>::length(fields[i].Name), fields[i].Name);
    table[at + 11] = fields[i].Type;
    PutLe(table, at + 12, offset, 4);
    table[at + 16] = static_cast<char>(fields[i].Length);
    table[at + 17] = static_cast<char>(fields[i].Decimals);
    offset += fields[i].Length;
  }
  table[32 + 32 * fields.size()] = 0x0D;
  std::string memo(512, '\0');
  PutBe(memo, 6, 64, 2);
  for (const TRow& row : rows) {
    std::string record = std::string(row.Deleted ? "*" : " ") +
                         Padded(std::to_string(row.Id), 4, true) + Padded(row.Name, 10);
    if (shape.Memo) {
      std::string pointer(4, '\0');
      if (!row.Note.empty()) {
        PutLe(pointer, 0, static_cast<uint32_t>(memo.size() / 64), 4);
        std::string block(8, '\0');
        PutBe(block, 0, 1, 4);
        PutBe(block, 4, static_cast<uint32_t>(row.Note.size()), 4);
        block += row.Note;
        block.resize((block.size() + 63) / 64 * 64, '\0');
        memo += block;
      }
      record += pointer;
    }
    table += record;
  }
  table += '\x1A';
  PutBe(memo, 0, static_cast<uint32_t>(memo.size() / 64), 4);
  WriteBytes((folder / (name + ".dbf")).string(), table);
  if (shape.Memo) WriteBytes((folder / (name + ".fpt")).string(), memo);
  if (shape.Index) WriteBytes((folder / (name + ".cdx")).string(), Index(rows));
}

inline std::vector<TRow> SampleRows(size_t count) {
  std::vector<TRow> rows;
  for (size_t i = 0; i < count; ++i) {
    const int id = static_cast<int>(i + 1);
    rows.push_back(
        {id, "name" + std::to_string(id),
         i % 3 == 2 ? "" : "note of row " + std::to_string(id) + std::string(i * 7, '.')});
  }
  return rows;
}

// The live records a reader sees, each as "id|name|note" ("<null>" for a memo
// that cannot be read). Throws EDbfError when the table does not open.
inline std::vector<std::string> VisibleRows(const std::string& path) {
  auto table = TDbfTable::Open(path);
  std::vector<std::string> rows;
  Variant value;
  for (uint32_t i = 0; i < table->RecordCount(); ++i) {
    const uint8_t* record = table->RecordAt(i);
    if (TDbfTable::IsDeleted(record)) continue;
    std::string row;
    for (size_t f = 0; f < table->Fields().size(); ++f) {
      table->DecodeField(record, f, value);
      if (f != 0) row += '|';
      if (value.IsNull()) {
        row += "<null>";
      } else if (value.Type() == TVarType::varDecimal) {
        row += value.Decimal().ToString();
      } else {
        row += value.Text();
      }
    }
    rows.push_back(row);
  }
  return rows;
}

inline std::vector<std::string> Expected(const std::vector<TRow>& rows, bool memo = true) {
  std::vector<std::string> out;
  for (const TRow& row : rows) {
    if (row.Deleted) continue;
    std::string text = std::to_string(row.Id) + "|" + Padded(row.Name, 10);
    if (memo) text += "|" + row.Note;
    out.push_back(text);
  }
  return out;
}

// The table, memo and index files of table t, as bytes ("" for a missing one).
struct TTableBytes {
  std::string Table;
  std::string Memo;
  std::string Index;
  bool operator==(const TTableBytes&) const = default;
};

inline TTableBytes ReadTableBytes(const fs::path& folder, const std::string& name = "t") {
  auto read = [&](const char* extension) {
    const fs::path path = folder / (name + extension);
    return fs::exists(path) ? ReadBytes(path.string()) : std::string();
  };
  return {read(".dbf"), read(".fpt"), read(".cdx")};
}

inline void WriteTableBytes(const fs::path& folder, const TTableBytes& bytes) {
  WriteBytes((folder / "t.dbf").string(), bytes.Table);
  WriteBytes((folder / "t.fpt").string(), bytes.Memo);
  WriteBytes((folder / "t.cdx").string(), bytes.Index);
}

// Whether table is before with every record's deletion flag set and nothing
// else changed but the date of last update (bytes 1 to 3).
inline bool IsAllDeletedCopy(const std::string& table, const std::string& before, bool memo) {
  if (table.size() != before.size()) return false;
  const size_t hl = kHeaderLength(memo);
  const size_t rl = kRecordLength(memo);
  const size_t records = (before.size() - hl) / rl;
  for (size_t i = 0; i < table.size(); ++i) {
    if (i >= 1 && i <= 3) continue;
    const bool flag = i >= hl && (i - hl) % rl == 0 && (i - hl) / rl < records;
    if (flag ? table[i] != '*' : table[i] != before[i]) return false;
  }
  return true;
}

// What an emptying may leave, as every reader sees it: the files as they
// were before, or no visible record with each file either as before (the
// table with every flag set) or as a finished emptying leaves it.
inline ::testing::AssertionResult AllOldOrAllNew(const fs::path& folder, const TTableBytes& before,
                                                 const TTableBytes& after) {
  const TTableBytes now = ReadTableBytes(folder);
  if (now == before) return ::testing::AssertionSuccess();
  const std::vector<std::string> rows = VisibleRows((folder / "t.dbf").string());
  if (!rows.empty()) {
    return ::testing::AssertionFailure() << rows.size() << " records visible in a changed table";
  }
  if (now.Table != after.Table && !IsAllDeletedCopy(now.Table, before.Table, true)) {
    return ::testing::AssertionFailure() << "a table partly changed";
  }
  if (now.Memo != after.Memo && now.Memo != before.Memo) {
    return ::testing::AssertionFailure() << "a memo file partly changed";
  }
  if (now.Index != after.Index && now.Index != before.Index) {
    return ::testing::AssertionFailure() << "an index partly changed";
  }
  return ::testing::AssertionSuccess();
}

// Temporary files the packer leaves behind, if any.
inline std::vector<std::string> Leftovers(const TTempFolder& folder) {
  std::vector<std::string> left;
  for (const std::string& name : folder.Names()) {
    if (name.find(".lumbra-") != std::string::npos) left.push_back(name);
  }
  return left;
}

// Another process holding a lock on a file until this object is destroyed.
class TLockHolder {
 public:
  enum class TKind {
    Flock,          // flock(LOCK_EX) on the whole file
    FlockShared,    // flock(LOCK_SH)
    PosixReadByte,  // a classic POSIX read lock on byte 0x7FFFFFFF, as Linux xBase ports take
    OfdRead,        // an open-file-description read lock on the whole file
  };

  TLockHolder(const std::string& path, TKind kind) {
    int ready[2];
    int done[2];
    if (::pipe(ready) != 0 || ::pipe(done) != 0) ADD_FAILURE() << "pipe failed";
    FPid = ::fork();
    if (FPid == 0) {
      ::close(ready[0]);
      ::close(done[1]);
      const int fd = ::open(path.c_str(), O_RDWR);
      struct flock range = {};
      range.l_type = F_RDLCK;
      range.l_whence = SEEK_SET;
      bool locked = fd >= 0;
      switch (kind) {
        case TKind::Flock:
          locked = locked && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
          break;
        case TKind::FlockShared:
          locked = locked && ::flock(fd, LOCK_SH | LOCK_NB) == 0;
          break;
        case TKind::PosixReadByte:
          range.l_start = 0x7FFFFFFF;
          range.l_len = 1;
          locked = locked && ::fcntl(fd, F_SETLK, &range) == 0;
          break;
        case TKind::OfdRead:
          locked = locked && ::fcntl(fd, F_OFD_SETLK, &range) == 0;
          break;
      }
      const char state = locked ? 'L' : 'F';
      char ignored;
      if (::write(ready[1], &state, 1) != 1 || ::read(done[0], &ignored, 1) < 0) ::_exit(2);
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(done[0]);
    char state = 'F';
    if (::read(ready[0], &state, 1) != 1 || state != 'L') ADD_FAILURE() << "no lock on " << path;
    ::close(ready[0]);
    FDone = done[1];
  }
  ~TLockHolder() {
    ::close(FDone);
    int status;
    ::waitpid(FPid, &status, 0);
  }
  TLockHolder(const TLockHolder&) = delete;
  TLockHolder& operator=(const TLockHolder&) = delete;

 private:
  pid_t FPid = -1;
  int FDone = -1;
};

}  // namespace lumbra::pack_fixture
