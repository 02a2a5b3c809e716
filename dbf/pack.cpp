#include "dbf/pack.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "base/byte_order.h"
#include "base/progress.h"
#include "dbf/cdx.h"
#include "dbf/dbf_error.h"
#include "dbf/memo.h"

namespace lumbra {

namespace {

constexpr uint8_t kDeletedFlag = 0x2A;
constexpr uint8_t kEndOfFile = 0x1A;
constexpr size_t kCopyBytes = size_t{1} << 20;
constexpr size_t kFptHeaderSize = 512;

// A check that failed before anything was written; Why() is the reason
// alone, for a caller that words what went before differently.
class ERefusal : public EDbfError {
 public:
  ERefusal(TDbfErrorKind kind, const std::string& table, std::string why)
      : EDbfError(kind, "Table '" + table + "': " + why + "; nothing was changed"),
        FWhy(std::move(why)) {}
  const std::string& Why() const { return FWhy; }
  const char* ClassName() const noexcept override { return "EDbfError"; }

 private:
  std::string FWhy;
};

[[noreturn]] void Refuse(TDbfErrorKind kind, const std::string& table, const std::string& why) {
  throw ERefusal(kind, table, why);
}

struct stat StatOf(TLockedFile& file) {
  struct stat st;
  if (::fstat(file.Descriptor(), &st) != 0) {
    throw EDbfError(TDbfErrorKind::Io,
                    "Cannot read file '" + file.Name() + "': " + std::strerror(errno));
  }
  return st;
}

// A file replaced by rename would leave its other names on the old content.
void RequireSingleLink(const std::string& table, TLockedFile* file) {
  if (file != nullptr && StatOf(*file).st_nlink > 1) {
    Refuse(TDbfErrorKind::Refused, table,
           "the file '" + file->Name() +
               "' has other hard links, which would go on showing the old content");
  }
}

std::array<uint8_t, 3> TodaysDate(const TDbfHeader& header) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return EncodeUpdateDate(header, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

// What a table file holds, read under the lock.
struct TTableState {
  TDbfHeader Header;
  std::string HeaderBytes;  // the first HeaderLength bytes
  uint32_t Count = 0;       // complete records present, at most the header's count
  uint32_t Live = 0;        // live records among them, when counted
};

// Calls visit(first, bytes, records) for consecutive runs of the first count
// records, first being the run's first record, until it returns false. The
// bytes are the caller's to change.
void ForEachRecordRun(IFileIo& file, const TDbfHeader& header, uint32_t count,
                      const std::function<bool(uint32_t, char*, uint32_t)>& visit) {
  const uint32_t perRun =
      static_cast<uint32_t>(std::max<size_t>(1, kCopyBytes / header.RecordLength));
  std::string bytes;
  for (uint32_t first = 0; first < count; first += perRun) {
    const uint32_t n = std::min(perRun, count - first);
    bytes.resize(size_t{n} * header.RecordLength);
    ReadExactly(file, header.HeaderLength + uint64_t{first} * header.RecordLength, bytes.data(),
                bytes.size());
    if (!visit(first, bytes.data(), n)) return;
  }
}

uint32_t CountLive(IFileIo& file, const TDbfHeader& header, uint32_t count) {
  uint32_t live = 0;
  ForEachRecordRun(file, header, count, [&](uint32_t, const char* run, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
      if (static_cast<uint8_t>(run[size_t{i} * header.RecordLength]) != kDeletedFlag) ++live;
    }
    return true;
  });
  return live;
}

// Whether any of the first count records is live, reading only as far as the
// first live one.
bool AnyLive(IFileIo& file, const TDbfHeader& header, uint32_t count) {
  bool any = false;
  ForEachRecordRun(file, header, count, [&](uint32_t, const char* run, uint32_t n) {
    for (uint32_t i = 0; i < n && !any; ++i)
      any = static_cast<uint8_t>(run[size_t{i} * header.RecordLength]) != kDeletedFlag;
    return !any;
  });
  return any;
}

// Reads the header and counts the records; Live is left for the caller.
TTableState InspectTable(TLockedFile& file) {
  TTableState state;
  state.Header = ReadTableHeader(file);
  const TDbfHeader& h = state.Header;
  if (h.Format == TDbfFormat::dBase2)
    Refuse(TDbfErrorKind::Unsupported, file.Name(), "dBase II tables are not written");
  if (h.Encrypted) Refuse(TDbfErrorKind::Unsupported, file.Name(), "its records are encrypted");
  if (h.Version == 0xE5 && h.HasMemoFields()) {
    Refuse(TDbfErrorKind::Unsupported, file.Name(),
           "its memo file (.smt) is of a kind this program does not write");
  }
  const uint64_t size = file.Size();
  state.HeaderBytes.resize(h.HeaderLength);
  ReadExactly(file, 0, state.HeaderBytes.data(), h.HeaderLength);
  const uint64_t available = (size - h.HeaderLength) / h.RecordLength;
  state.Count = static_cast<uint32_t>(std::min<uint64_t>(h.RecordCount, available));
  return state;
}

// The memo file of an empty table: its header alone, the next free block
// set to the first usable one (FORMAT.md, section 8).
std::string EmptyMemo(const std::string& table, TLockedFile& memo, TMemoFormat format,
                      const TDbfHeader& header) {
  const uint64_t size = memo.Size();
  auto refuse = [&](const std::string& problem) {
    Refuse(TDbfErrorKind::Corrupt, table,
           "the header of its memo file '" + memo.Name() + "' is unusable (" + problem + ")");
  };
  if (format == TMemoFormat::Fpt) {
    std::string bytes(kFptHeaderSize, '\0');
    memo.ReadAt(0, bytes.data(), bytes.size());
    if (size < 8) refuse("the file is shorter than a memo header");
    const uint32_t blockSize = TMemoFile::BlockSizeOf(
        TMemoFile::TKind::Fpt, false, reinterpret_cast<const unsigned char*>(bytes.data()));
    if (blockSize == 0) refuse("its block size is 0");
    StoreBe32(bytes.data(), static_cast<uint32_t>((kFptHeaderSize + blockSize - 1) / blockSize));
    return bytes;
  }
  // .dbt: the III style has 512-byte blocks; the IV style keeps its block
  // size (0 read as 512, as the reader does) and its first block is the header.
  std::string head(TMemoFile::kHeaderBytes, '\0');
  memo.ReadAt(0, head.data(), head.size());
  if (size < 4) refuse("the file is shorter than a memo header");
  const uint32_t blockSize =
      TMemoFile::BlockSizeOf(TMemoFile::TKind::Dbt, header.DbtIsLevel4(),
                             reinterpret_cast<const unsigned char*>(head.data()));
  if (blockSize < head.size())
    refuse("its block size " + std::to_string(blockSize) + " is too small");
  std::string bytes(blockSize, '\0');
  memo.ReadAt(0, bytes.data(), bytes.size());
  StoreLe32(bytes.data(), 1);
  return bytes;
}

// What emptying the table will write besides the table itself.
struct TEmptyingPlan {
  std::optional<TCdxIndex> Index;
  std::optional<std::string> Memo;  // the memo file's new content
};

TEmptyingPlan PlanEmptying(TTableLock& lock, const TDbfHeader& header) {
  const TTableFiles& files = lock.Files();
  TEmptyingPlan plan;
  if (files.IndexKind == TIndexKind::Mdx) {
    Refuse(TDbfErrorKind::Unsupported, files.Table,
           "its dBase production index '" + files.Index +
               "' is of a kind this program cannot rewrite");
  }
  if (files.IndexKind == TIndexKind::Cdx) {
    try {
      plan.Index = ReadCdx(*lock.File(TTablePart::Index));
    } catch (const EDbfError& e) {
      Refuse(e.Kind(), files.Table, "its index cannot be read with certainty: " + e.Message());
    }
  }
  if (TLockedFile* memo = lock.File(TTablePart::Memo)) {
    plan.Memo = EmptyMemo(files.Table, *memo, files.MemoFormat, header);
  }
  return plan;
}

// Temporaries are named after the file they replace, hidden, and with an
// extension no xBase program takes for a table, memo or index.
std::string TemporaryPrefix(const std::string& target) {
  return "." + target.substr(FolderOf(target).size()) + ".lumbra-";
}
constexpr size_t kTemporarySuffix = 6;  // the random part of the name

// Removes the temporaries a writer killed on its way left beside target. Its
// writer held the lock this process holds now, so none is being written.
void RemoveLeftovers(IPackIo& io, const std::string& target) {
  const std::string folder = FolderOf(target);
  const std::string prefix = TemporaryPrefix(target);
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() == prefix.size() + kTemporarySuffix && name.starts_with(prefix)) {
      stale.push_back(folder + std::string(name));
    }
  }
  ::closedir(dir);
  for (const std::string& path : stale)
    io.Remove(path);
}

// A new file written beside the one it is to replace. Removed again unless it
// took the other's place.
class TTemporary {
 public:
  TTemporary(IPackIo& io, std::string target) : FIo(io), FTarget(std::move(target)) {
    RemoveLeftovers(FIo, FTarget);
    const int fd = FIo.CreateTemporary(FolderOf(FTarget), TemporaryPrefix(FTarget), FPath);
    try {
      FFile = TLockedFile::Adopt(fd, FPath);
    } catch (...) {
      FIo.Remove(FPath);
      throw;
    }
  }
  ~TTemporary() {
    if (!FInPlace) FIo.Remove(FPath);
  }
  TTemporary(const TTemporary&) = delete;
  TTemporary& operator=(const TTemporary&) = delete;

  TLockedFile& File() { return *FFile; }
  void Write(uint64_t offset, std::string_view bytes) {
    FIo.WriteAt(FFile->Descriptor(), FPath, offset, bytes.data(), bytes.size());
  }
  // Gives the file the attributes of original, the file it replaces.
  void CopyAttributes(TLockedFile& original) {
    FIo.CopyAttributes(FFile->Descriptor(), FPath, original.Descriptor(), original.Name());
  }
  // Gives the file the attributes of original and flushes it to the disk.
  void Finish(TLockedFile& original) {
    CopyAttributes(original);
    FIo.Sync(FFile->Descriptor(), FPath);
  }
  // Renames the file over its target and hands its lock to lock.
  void PutInPlace(TTableLock& lock, TTablePart part) {
    FIo.Rename(FPath, FTarget);
    FInPlace = true;
    FFile->MovedTo(FTarget);
    lock.Replace(part, std::move(FFile));
  }
  // Flushes the target's folder, so that renames reach the disk in their order.
  void Settle() { FIo.SyncFolder(FolderOf(FTarget)); }

 private:
  IPackIo& FIo;
  std::string FTarget;
  std::string FPath;
  std::unique_ptr<TLockedFile> FFile;
  bool FInPlace = false;
};

void CopyBytes(IFileIo& from, TTemporary& to, uint64_t offset, uint64_t end) {
  std::string bytes;
  while (offset < end) {
    bytes.resize(static_cast<size_t>(std::min<uint64_t>(kCopyBytes, end - offset)));
    ReadExactly(from, offset, bytes.data(), bytes.size());
    to.Write(offset, bytes);
    offset += bytes.size();
  }
}

[[noreturn]] void Inconsistent(const std::string& file, const std::string& what) {
  throw EDbfError(TDbfErrorKind::Io, "File '" + file + "' did not read back as written: " + what);
}

// Reads the packed table back: it must decode, keep every header byte but
// those expected to change, and hold exactly the kept records, all live.
void CheckTable(TLockedFile& file, const TTableState& old, uint64_t size, uint32_t kept) {
  const TDbfHeader h = ReadTableHeader(file);
  if (file.Size() != size) Inconsistent(file.Name(), "its size");
  if (h.RecordCount != kept) Inconsistent(file.Name(), "its record count");
  std::string bytes(old.HeaderBytes.size(), '\0');
  ReadExactly(file, 0, bytes.data(), bytes.size());
  if (bytes.compare(8, std::string::npos, old.HeaderBytes, 8) != 0 ||
      bytes[0] != old.HeaderBytes[0]) {
    Inconsistent(file.Name(), "its header");
  }
  if (CountLive(file, h, kept) != kept) Inconsistent(file.Name(), "its records");
}

void CheckIndex(TLockedFile& file, const TCdxIndex& old) {
  const TCdxIndex now = ReadCdx(file);
  if (now.Tags.size() != old.Tags.size()) Inconsistent(file.Name(), "its tags");
  for (size_t i = 0; i < now.Tags.size(); ++i) {
    const TCdxTag& a = now.Tags[i];
    const TCdxTag& b = old.Tags[i];
    if (a.Name != b.Name || a.HeaderOffset != b.HeaderOffset || a.RootOffset != b.RootOffset ||
        a.KeyLength != b.KeyLength || a.Options != b.Options || a.Descending != b.Descending ||
        a.KeyExpression != b.KeyExpression || a.ForExpression != b.ForExpression) {
      Inconsistent(file.Name(), "tag " + b.Name);
    }
    std::array<uint8_t, kCdxPageSize> root;
    ReadExactly(file, a.RootOffset, root.data(), root.size());
    if (root != EmptyCdxRootLeaf(a.KeyLength)) Inconsistent(file.Name(), "the root of " + b.Name);
  }
}

// What this process needs to put a new file in the place of file: a single
// link (other names would go on showing the old content), a folder that
// lets it replace the file, and a new file in that folder that can be given
// all the attributes of the old one. The trial file is removed again.
void RequireReplaceable(const std::string& table, TLockedFile& file, IPackIo& io) {
  RequireSingleLink(table, &file);
  const std::string folder = FolderOf(file.Name());
  struct stat dir;
  if (::stat(folder.empty() ? "." : folder.c_str(), &dir) != 0) {
    Refuse(TDbfErrorKind::Io, table,
           "its folder '" + folder + "' cannot be read: " + std::strerror(errno));
  }
  // In a folder with the sticky bit only the file's owner, the folder's
  // owner or a privileged process may rename over the file.
  const uid_t me = ::geteuid();
  if ((dir.st_mode & S_ISVTX) != 0 && me != 0 && StatOf(file).st_uid != me && dir.st_uid != me) {
    Refuse(TDbfErrorKind::Corrupt, table,
           "the folder '" + folder + "' lets only the owner of '" + file.Name() + "' replace it");
  }
  try {
    TTemporary trial(io, file.Name());
    trial.CopyAttributes(file);
  } catch (const EDbfError& e) {
    Refuse(e.Kind(), table, e.Message());
  }
}

// Room for what emptying writes before it lets go of anything: the copy
// DELETE FROM makes of the table, then PACK's new table header, memo header
// and index. The old files' blocks are not counted as freed: a reader may
// still have them open. Each file system is asked for its own share.
void RequireRoom(TTableLock& lock, IPackIo& io, const TEmptyingPlan& plan,
                 const TTableState& state) {
  // Block rounding and the file systems' own bookkeeping.
  constexpr uint64_t kSlack = 64 * 1024;
  std::vector<std::pair<std::string, uint64_t>> needs;
  auto need = [&](TLockedFile* file, uint64_t bytes) {
    if (file == nullptr) return;
    struct stat dir;
    const std::string folder = FolderOf(file->Name());
    if (::stat(folder.empty() ? "." : folder.c_str(), &dir) != 0) return;
    for (auto& [other, total] : needs) {
      struct stat known;
      if (::stat(other.empty() ? "." : other.c_str(), &known) == 0 && known.st_dev == dir.st_dev) {
        total += bytes + kSlack;
        return;
      }
    }
    needs.emplace_back(folder, bytes + kSlack);
  };
  TLockedFile& table = *lock.File(TTablePart::Table);
  need(&table, table.Size() + state.Header.HeaderLength + 1);
  if (plan.Memo) need(lock.File(TTablePart::Memo), plan.Memo->size());
  if (plan.Index) need(lock.File(TTablePart::Index), lock.File(TTablePart::Index)->Size());
  for (const auto& [folder, bytes] : needs) {
    const uint64_t free = io.FreeSpace(folder);
    if (free < bytes) {
      Refuse(TDbfErrorKind::Refused, lock.Files().Table,
             "there is not enough room on the disk to empty it: it needs " + std::to_string(bytes) +
                 " bytes in '" + folder + "', which has " + std::to_string(free) + " free");
    }
  }
}

PosixPackIo& RealFileSystem() {
  static PosixPackIo io;
  return io;
}

}  // namespace

std::array<uint8_t, 3> EncodeUpdateDate(const TDbfHeader& header, int year, int month, int day) {
  bool sinceNineteenHundred;
  if (header.UpdateYear >= 100) {
    sinceNineteenHundred = true;
  } else if (header.UpdateYear == 0 && header.UpdateMonth == 0 && header.UpdateDay == 0) {
    sinceNineteenHundred =
        header.Format != TDbfFormat::VisualFoxPro && header.Format != TDbfFormat::FoxPro;
  } else {
    sinceNineteenHundred = false;
  }
  const int stored = sinceNineteenHundred ? year - 1900 : year % 100;
  return {static_cast<uint8_t>(std::clamp(stored, 0, 255)), static_cast<uint8_t>(month),
          static_cast<uint8_t>(day)};
}

void DeleteAllRecords(TTableLock& lock, IPackIo& io) {
  TLockedFile& file = *lock.File(TTablePart::Table);
  const TTableState old = InspectTable(file);
  if (!AnyLive(file, old.Header, old.Count)) return;
  const std::string& table = lock.Files().Table;
  // Everything the pack that follows needs is checked now, while a refusal
  // still leaves every file as it was.
  const TEmptyingPlan plan = PlanEmptying(lock, old.Header);
  RequireReplaceable(table, file, io);
  if (plan.Memo) RequireReplaceable(table, *lock.File(TTablePart::Memo), io);
  if (plan.Index) RequireReplaceable(table, *lock.File(TTablePart::Index), io);
  RequireRoom(lock, io, plan, old);

  // The table with every flag set is written aside and renamed over the old
  // one: other programs know no journal of ours, so at every instant the
  // name shows either the old table or the one with every record deleted.
  const TDbfHeader& h = old.Header;
  std::optional<TTemporary> copy;
  try {
    copy.emplace(io, table);
    std::string head = old.HeaderBytes;
    const std::array<uint8_t, 3> date = TodaysDate(h);
    std::memcpy(head.data() + 1, date.data(), date.size());
    copy->Write(0, head);
    ForEachRecordRun(file, h, old.Count, [&](uint32_t first, char* run, uint32_t n) {
      ReportProgress(first, old.Count);
      for (uint32_t i = 0; i < n; ++i)
        run[size_t{i} * h.RecordLength] = static_cast<char>(kDeletedFlag);
      copy->Write(h.HeaderLength + uint64_t{first} * h.RecordLength,
                  {run, size_t{n} * h.RecordLength});
      return true;
    });
    // The end-of-file mark and whatever else follows the records stay.
    const uint64_t end = h.HeaderLength + uint64_t{old.Count} * h.RecordLength;
    CopyBytes(file, *copy, end, file.Size());
    copy->Finish(file);
    if (copy->File().Size() != file.Size()) Inconsistent(copy->File().Name(), "its size");
    // The last moment at which a stop leaves the table as it was.
    ReportProgress(old.Count, old.Count);
    copy->PutInPlace(lock, TTablePart::Table);
  } catch (const EDbfError& e) {
    throw EDbfError(e, "Table '" + table + "': DELETE failed, nothing was changed: " + e.Message());
  }
  try {
    copy->Settle();
  } catch (const EDbfError& e) {
    throw EDbfError(e,
                    "Table '" + table +
                        "': every record is marked deleted, but the folder could not be flushed to "
                        "the disk: " +
                        e.Message());
  }
}

TPackResult PackTable(TTableLock& lock, IPackIo& io) {
  const TTableFiles& files = lock.Files();
  TLockedFile& file = *lock.File(TTablePart::Table);
  TTableState old = InspectTable(file);
  old.Live = CountLive(file, old.Header, old.Count);
  const TDbfHeader& h = old.Header;
  TPackResult result;
  result.Kept = old.Live;
  result.Removed = old.Count - old.Live;

  // Before this pack, DELETE FROM may have marked every record: a failure
  // must not then claim that nothing was changed.
  const bool allDeleted = old.Live == 0 && old.Count > 0;
  auto failed = [&](const std::string& progress, const EDbfError& cause) {
    if (allDeleted) {
      return EDbfError(
          cause, "Table '" + files.Table +
                     "': every record is marked deleted, but the table was not compacted (" +
                     progress + "): " + cause.Message() + ". Emptying it again finishes the job.");
    }
    return EDbfError(
        cause, "Table '" + files.Table + "': PACK failed, " + progress + ": " + cause.Message());
  };

  TEmptyingPlan plan;
  try {
    if (old.Live == 0) {
      plan = PlanEmptying(lock, h);
    } else if (result.Removed > 0 && files.IndexKind != TIndexKind::None) {
      Refuse(TDbfErrorKind::Unsupported, files.Table,
             "its index '" + files.Index +
                 "' would point at the wrong records once deleted ones are "
                 "removed, and rebuilding an index is not done here");
    }
    RequireSingleLink(files.Table, &file);
    if (plan.Memo) RequireSingleLink(files.Table, lock.File(TTablePart::Memo));
    if (plan.Index) RequireSingleLink(files.Table, lock.File(TTablePart::Index));
  } catch (const ERefusal& e) {
    if (!allDeleted) throw;
    throw EDbfError(
        e, "Table '" + files.Table +
               "': every record is marked deleted, but the table cannot be compacted: " + e.Why());
  }

  std::optional<TTemporary> index;
  std::optional<TTemporary> memo;
  std::optional<TTemporary> table;
  try {
    table.emplace(io, files.Table);
    std::string head = old.HeaderBytes;
    const std::array<uint8_t, 3> date = TodaysDate(h);
    std::memcpy(head.data() + 1, date.data(), date.size());
    StoreLe32(head.data() + 4, old.Live);
    table->Write(0, head);
    uint64_t offset = h.HeaderLength;
    uint32_t kept = 0;
    std::string out;
    // With no live record there is nothing to copy: an emptied table is
    // not read again.
    ForEachRecordRun(file, h, old.Live == 0 ? 0 : old.Count,
                     [&](uint32_t, const char* run, uint32_t n) {
                       for (uint32_t i = 0; i < n; ++i) {
                         const char* record = run + size_t{i} * h.RecordLength;
                         if (static_cast<uint8_t>(record[0]) == kDeletedFlag) continue;
                         out.append(record, h.RecordLength);
                         ++kept;
                       }
                       if (out.empty()) return true;
                       table->Write(offset, out);
                       offset += out.size();
                       out.clear();
                       return true;
                     });
    if (kept != old.Live)
      throw EDbfError(TDbfErrorKind::Io, "the table changed while it was being packed");
    table->Write(offset, std::string(1, static_cast<char>(kEndOfFile)));
    table->Finish(file);
    CheckTable(table->File(), old, offset + 1, old.Live);

    if (plan.Index) {
      TLockedFile& original = *lock.File(TTablePart::Index);
      index.emplace(io, files.Index);
      CopyBytes(original, *index, 0, original.Size());
      for (const TCdxTag& tag : plan.Index->Tags) {
        const std::array<uint8_t, kCdxPageSize> leaf = EmptyCdxRootLeaf(tag.KeyLength);
        index->Write(tag.RootOffset, {reinterpret_cast<const char*>(leaf.data()), leaf.size()});
        // The free-page list: the pages the old keys used are not reused.
        index->Write(tag.HeaderOffset + 4, std::string(4, '\0'));
      }
      index->Finish(original);
      CheckIndex(index->File(), *plan.Index);
    }
    if (plan.Memo) {
      memo.emplace(io, files.Memo);
      memo->Write(0, *plan.Memo);
      memo->Finish(*lock.File(TTablePart::Memo));
      if (memo->File().Size() != plan.Memo->size()) Inconsistent(memo->File().Name(), "its size");
    }
    // The new files' names must be on the disk before any old file goes.
    std::vector<std::string> folders;
    for (const std::string* path : {&files.Table, &files.Memo, &files.Index}) {
      if (!path->empty()) folders.push_back(FolderOf(*path));
    }
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const std::string& folder : folders)
      io.SyncFolder(folder);
  } catch (const EDbfError& e) {
    throw failed(allDeleted ? "it was stopped before it changed a file" : "nothing was changed", e);
  }

  std::vector<std::string> done;
  try {
    if (index) {
      index->PutInPlace(lock, TTablePart::Index);
      done.push_back("its index was emptied");
      result.IndexEmptied = true;
      index->Settle();
    }
    table->PutInPlace(lock, TTablePart::Table);
    done.push_back("its deleted records were removed");
    table->Settle();
    if (memo) {
      memo->PutInPlace(lock, TTablePart::Memo);
      done.push_back("its memo file was compacted");
      result.MemoCompacted = true;
      memo->Settle();
    }
  } catch (const EDbfError& e) {
    std::string progress;
    for (const std::string& step : done)
      progress += (progress.empty() ? "" : " and ") + step;
    if (progress.empty()) {
      throw failed(allDeleted ? "it was stopped before it changed a file" : "nothing was changed",
                   e);
    }
    if (allDeleted) throw failed("it stopped part way: " + progress, e);
    throw EDbfError(e, "Table '" + files.Table + "': PACK stopped part way (" + progress +
                           "; the files still read correctly): " + e.Message());
  }
  return result;
}

void DeleteAllRecords(TTableLock& lock) {
  DeleteAllRecords(lock, RealFileSystem());
}

TPackResult PackTable(TTableLock& lock) {
  return PackTable(lock, RealFileSystem());
}

}  // namespace lumbra
