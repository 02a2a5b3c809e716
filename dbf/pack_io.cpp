#include "dbf/pack_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dbf/dbf_error.h"

namespace lumbra {

namespace {

std::string Failure(const char* what, const std::string& path, int error) {
  return std::string(what) + " '" + path + "': " + std::strerror(error);
}

}  // namespace

int PosixPackIo::CreateTemporary(const std::string& folder, const std::string& prefix,
                                 std::string& path) {
  std::string pattern = folder + prefix + "XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) throw EDbfError(Failure("Cannot create a file in folder", folder, errno));
  path = std::move(pattern);
  return fd;
}

void PosixPackIo::WriteAt(int fd, const std::string& path, uint64_t offset, const void* data,
                          size_t length) {
  const auto* bytes = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::pwrite(fd, bytes + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EDbfError(Failure("Cannot write file", path, errno));
    }
    done += static_cast<size_t>(n);
  }
  // Writing back to the disk starts now, while the rest is being written, so
  // that the flush before the rename finds little left to do. Only a hint:
  // the flush reports any error.
  static_cast<void>(::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                                      SYNC_FILE_RANGE_WRITE));
}

void PosixPackIo::CopyAttributes(int fd, const std::string& path, const struct stat& original) {
  // Only a privileged process may give a file away; otherwise the new file
  // stays ours, as the old one could not have been replaced by anyone else.
  if (::fchown(fd, original.st_uid, original.st_gid) != 0 && errno != EPERM) {
    throw EDbfError(Failure("Cannot set the owner of file", path, errno));
  }
  // After fchown, which may clear the set-id bits.
  if (::fchmod(fd, original.st_mode & 07777) != 0) {
    throw EDbfError(Failure("Cannot set the permissions of file", path, errno));
  }
}

void PosixPackIo::Sync(int fd, const std::string& path) {
  if (::fsync(fd) != 0) throw EDbfError(Failure("Cannot flush file", path, errno));
}

void PosixPackIo::SyncFolder(const std::string& folder) {
  const std::string name = folder.empty() ? "." : folder;
  const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw EDbfError(Failure("Cannot open folder", name, errno));
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  // Some file systems cannot flush a folder; the data files are flushed already.
  if (result != 0 && error != EINVAL && error != EROFS) {
    throw EDbfError(Failure("Cannot flush folder", name, error));
  }
}

void PosixPackIo::Rename(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    throw EDbfError("Cannot put '" + from + "' in the place of '" + to +
                    "': " + std::strerror(errno));
  }
}

void PosixPackIo::Remove(const std::string& path) noexcept {
  ::unlink(path.c_str());
}

}  // namespace lumbra
