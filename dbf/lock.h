// Exclusive use of a table's files while they are emptied and packed
// (FORMAT.md, section 8.1). Each file is locked twice: a whole-file flock()
// and an open-file-description (OFD) write lock over the whole file. Other
// xBase programs on Linux take one family or the other, and the two do not
// see each other; an OFD lock, unlike a classic POSIX one, is not dropped
// when this process closes some other descriptor of the same file.
//
// Ordinary read-only opens take no lock: readers never block each other.
// DELETE FROM and PACK replace files by rename, which never changes what a
// reader has open.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "dbf/file_io.h"
#include "dbf/header.h"
#include "dbf/table_files.h"

namespace lumbra {

// Reads and decodes the header of the table in file. Throws EDbfError
// "Table '<name>': <problem>" when it is not a table the engine can read.
TDbfHeader ReadTableHeader(IFileIo& file);

// A file opened for reading and writing and locked for exclusive use until
// this object is destroyed. Reads go through the locked descriptor, so they
// see the very file that was locked.
class TLockedFile : public IFileIo {
 public:
  // Opens path and locks it. Throws EDbfError "File is in use by another
  // program: <path>" when another open file holds either lock, or when path
  // no longer names the file that was opened; another EDbfError when the file
  // cannot be opened for writing.
  static std::unique_ptr<TLockedFile> Acquire(const std::string& path);
  // Takes over fd, the descriptor of a file this process has just created at
  // path, and locks it. Closes fd and throws EDbfError when it cannot.
  static std::unique_ptr<TLockedFile> Adopt(int fd, const std::string& path);

  ~TLockedFile() override;
  TLockedFile(const TLockedFile&) = delete;
  TLockedFile& operator=(const TLockedFile&) = delete;

  const std::string& Name() const override { return FPath; }
  uint64_t Size() override;
  size_t ReadAt(uint64_t offset, void* buffer, size_t length) override;
  int Descriptor() const { return FFd; }
  // The file was renamed to path; the lock stays.
  void MovedTo(std::string path) { FPath = std::move(path); }

 private:
  TLockedFile(int fd, std::string path) : FPath(std::move(path)), FFd(fd) {}
  void Lock();

  std::string FPath;
  int FFd = -1;
};

enum class TTablePart : uint8_t { Table, Memo, Index };

// Exclusive use of a table with its memo file and its structural index.
class TTableLock {
 public:
  // Locks the table at tablePath and the files LocateTableFiles finds beside
  // it. Throws what TLockedFile::Acquire throws (nothing stays locked then),
  // or EDbfError "Table '<path>': <problem>" when its header cannot be read.
  explicit TTableLock(const std::string& tablePath);

  // The lock this process holds on the table at tablePath (the same real
  // file), shared with every other holder, or a new one. The files stay
  // locked until the last holder lets go, so a caller that keeps the pointer
  // keeps the table locked across the disconnects of the connections that
  // also hold it. Throws what the constructor throws.
  static std::shared_ptr<TTableLock> Share(const std::string& tablePath);

  const TTableFiles& Files() const { return FFiles; }
  // The locked file of part; nullptr when the table has no such file.
  TLockedFile* File(TTablePart part) { return FLocked[Slot(part)].get(); }
  // part's file was replaced by file, already locked and in its place.
  void Replace(TTablePart part, std::unique_ptr<TLockedFile> file);

 private:
  static size_t Slot(TTablePart part) { return static_cast<size_t>(part); }

  TTableFiles FFiles;
  std::unique_ptr<TLockedFile> FLocked[3];
};

}  // namespace lumbra
