#include "dbf/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "dbf/dbf_error.h"

namespace lumbra {

namespace {

std::string InUse(const std::string& path) {
  return "File is in use by another program: " + path;
}

}  // namespace

TDbfHeader ReadTableHeader(IFileIo& file) {
  try {
    const uint64_t size = file.Size();
    std::string head(std::min<uint64_t>(size, kHeaderBytesToRead), '\0');
    head.resize(file.ReadAt(0, head.data(), head.size()));
    return DecodeHeader(head, size);
  } catch (const EDbfError& e) {
    throw EDbfError(e, "Table '" + file.Name() + "': " + e.Message());
  }
}

std::unique_ptr<TLockedFile> TLockedFile::Acquire(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    throw EDbfError(TDbfErrorKind::Io,
                    "Cannot open file '" + path + "' for writing: " + std::strerror(errno));
  }
  std::unique_ptr<TLockedFile> file(new TLockedFile(fd, path));
  file->Lock();
  // The name may have been given to another file between the open and the
  // lock; what is locked must be what the name shows now.
  struct stat opened;
  struct stat named;
  if (::fstat(fd, &opened) != 0 || ::stat(path.c_str(), &named) != 0 ||
      opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
    throw EDbfError(TDbfErrorKind::InUse, InUse(path));
  }
  return file;
}

std::unique_ptr<TLockedFile> TLockedFile::Adopt(int fd, const std::string& path) {
  std::unique_ptr<TLockedFile> file(new TLockedFile(fd, path));
  file->Lock();
  return file;
}

void TLockedFile::Lock() {
  if (::flock(FFd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) throw EDbfError(TDbfErrorKind::InUse, InUse(FPath));
    throw EDbfError(TDbfErrorKind::Io, "Cannot lock file '" + FPath + "': " + std::strerror(errno));
  }
  struct flock range = {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 0;  // to the end of the file, however far it grows
  if (::fcntl(FFd, F_OFD_SETLK, &range) != 0) {
    if (errno == EAGAIN || errno == EACCES) throw EDbfError(TDbfErrorKind::InUse, InUse(FPath));
    throw EDbfError(TDbfErrorKind::Io, "Cannot lock file '" + FPath + "': " + std::strerror(errno));
  }
}

TLockedFile::~TLockedFile() {
  // Closing the last descriptor of the open file releases both locks.
  if (FFd >= 0) ::close(FFd);
}

uint64_t TLockedFile::Size() {
  return DescriptorSize(FFd, FPath);
}

size_t TLockedFile::ReadAt(uint64_t offset, void* buffer, size_t length) {
  return ReadDescriptorAt(FFd, FPath, offset, buffer, length);
}

TTableLock::TTableLock(const std::string& tablePath) {
  auto table = TLockedFile::Acquire(RealPathOf(tablePath));
  FFiles = LocateTableFiles(tablePath, ReadTableHeader(*table));
  FLocked[Slot(TTablePart::Table)] = std::move(table);
  if (!FFiles.Memo.empty()) FLocked[Slot(TTablePart::Memo)] = TLockedFile::Acquire(FFiles.Memo);
  if (!FFiles.Index.empty()) FLocked[Slot(TTablePart::Index)] = TLockedFile::Acquire(FFiles.Index);
}

std::shared_ptr<TTableLock> TTableLock::Share(const std::string& tablePath) {
  static std::mutex mutex;
  static std::map<std::string, std::weak_ptr<TTableLock>> held;
  const std::string key = RealPathOf(tablePath);
  const std::lock_guard<std::mutex> guard(mutex);
  std::erase_if(held, [](const auto& entry) { return entry.second.expired(); });
  if (auto lock = held[key].lock()) return lock;
  auto lock = std::make_shared<TTableLock>(key);
  held[key] = lock;
  return lock;
}

void TTableLock::Replace(TTablePart part, std::unique_ptr<TLockedFile> file) {
  FLocked[Slot(part)] = std::move(file);
}

}  // namespace lumbra
