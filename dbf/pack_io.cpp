#include "dbf/pack_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "dbf/dbf_error.h"

namespace lumbra {

namespace {

std::string Failure(const char* what, const std::string& path, int error) {
  return std::string(what) + " '" + path + "': " + std::strerror(error);
}

// The names of the extended attributes of the open file fd; none where the
// file system keeps none.
std::vector<std::string> AttributeNames(int fd, const std::string& path) {
  std::string list;
  for (;;) {
    const ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size < 0) {
      if (errno == ENOTSUP) return {};
      throw EDbfError(TDbfErrorKind::Io,
                      Failure("Cannot list the extended attributes of file", path, errno));
    }
    list.resize(static_cast<size_t>(size));
    const ssize_t got = ::flistxattr(fd, list.data(), list.size());
    if (got >= 0) {
      list.resize(static_cast<size_t>(got));
      break;
    }
    if (errno != ERANGE) {
      throw EDbfError(TDbfErrorKind::Io,
                      Failure("Cannot list the extended attributes of file", path, errno));
    }
  }
  std::vector<std::string> names;
  for (size_t start = 0; start < list.size();) {
    const size_t end = std::min(list.find('\0', start), list.size());
    if (end > start) names.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// The value of the extended attribute name of the open file fd; nothing
// when it has none.
std::optional<std::string> AttributeValue(int fd, const std::string& path,
                                          const std::string& name) {
  for (;;) {
    const ssize_t size = ::fgetxattr(fd, name.c_str(), nullptr, 0);
    if (size < 0) {
      if (errno == ENODATA || errno == ENOTSUP) return std::nullopt;
      throw EDbfError(TDbfErrorKind::Io,
                      Failure("Cannot read the extended attributes of file", path, errno));
    }
    std::string value(static_cast<size_t>(size), '\0');
    const ssize_t got = ::fgetxattr(fd, name.c_str(), value.data(), value.size());
    if (got >= 0) {
      value.resize(static_cast<size_t>(got));
      return value;
    }
    if (errno != ERANGE) {
      throw EDbfError(TDbfErrorKind::Io,
                      Failure("Cannot read the extended attributes of file", path, errno));
    }
  }
}

}  // namespace

int PosixPackIo::CreateTemporary(const std::string& folder, const std::string& prefix,
                                 std::string& path) {
  std::string pattern = folder + prefix + "XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0)
    throw EDbfError(TDbfErrorKind::Io, Failure("Cannot create a file in folder", folder, errno));
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
      throw EDbfError(TDbfErrorKind::Io, Failure("Cannot write file", path, errno));
    }
    done += static_cast<size_t>(n);
  }
}

void PosixPackIo::CopyAttributes(int fd, const std::string& path, int originalFd,
                                 const std::string& originalPath) {
  struct stat original;
  if (::fstat(originalFd, &original) != 0) {
    throw EDbfError(TDbfErrorKind::Io,
                    Failure("Cannot read the attributes of file", originalPath, errno));
  }
  // Only a privileged process may give a file away, and only to a group it
  // is in otherwise; what it cannot keep, it must not silently change.
  if (::fchown(fd, original.st_uid, original.st_gid) != 0) {
    const int error = errno;
    struct stat now;
    if (error != EPERM || ::fstat(fd, &now) != 0) {
      throw EDbfError(TDbfErrorKind::Io, Failure("Cannot set the owner of file", path, error));
    }
    if (now.st_uid != original.st_uid) {
      throw EDbfError(TDbfErrorKind::Refused,
                      "the file '" + originalPath + "' belongs to user " +
                          std::to_string(original.st_uid) +
                          ", and a file written in its place would belong to user " +
                          std::to_string(now.st_uid));
    }
    if (now.st_gid != original.st_gid) {
      throw EDbfError(TDbfErrorKind::Refused,
                      "the file '" + originalPath + "' belongs to group " +
                          std::to_string(original.st_gid) +
                          ", and a file written in its place cannot be given that group");
    }
  }
  // After fchown, which may clear the set-id bits.
  if (::fchmod(fd, original.st_mode & 07777) != 0) {
    throw EDbfError(TDbfErrorKind::Io, Failure("Cannot set the permissions of file", path, errno));
  }
  // ACL entries are extended attributes too (system.posix_acl_access).
  const std::vector<std::string> wanted = AttributeNames(originalFd, originalPath);
  for (const std::string& name : AttributeNames(fd, path)) {
    if (std::find(wanted.begin(), wanted.end(), name) != wanted.end()) continue;
    if (::fremovexattr(fd, name.c_str()) != 0 && errno != ENODATA) {
      throw EDbfError(TDbfErrorKind::Io, "Cannot remove the extended attribute '" + name +
                                             "' of file '" + path + "': " + std::strerror(errno));
    }
  }
  for (const std::string& name : wanted) {
    const std::optional<std::string> value = AttributeValue(originalFd, originalPath, name);
    if (!value || value == AttributeValue(fd, path, name)) continue;
    if (::fsetxattr(fd, name.c_str(), value->data(), value->size(), 0) != 0) {
      throw EDbfError(
          TDbfErrorKind::Refused,
          "the extended attribute '" + name + "' of the file '" + originalPath +
              "' cannot be given to a file written in its place: " + std::strerror(errno));
    }
  }
}

void PosixPackIo::Sync(int fd, const std::string& path) {
  if (::fsync(fd) != 0)
    throw EDbfError(TDbfErrorKind::Io, Failure("Cannot flush file", path, errno));
}

void PosixPackIo::SyncFolder(const std::string& folder) {
  const std::string name = folder.empty() ? "." : folder;
  const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw EDbfError(TDbfErrorKind::Io, Failure("Cannot open folder", name, errno));
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  // Some file systems cannot flush a folder; the data files are flushed already.
  if (result != 0 && error != EINVAL && error != EROFS) {
    throw EDbfError(TDbfErrorKind::Io, Failure("Cannot flush folder", name, error));
  }
}

void PosixPackIo::Rename(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    throw EDbfError(TDbfErrorKind::Io, "Cannot put '" + from + "' in the place of '" + to +
                                           "': " + std::strerror(errno));
  }
}

uint64_t PosixPackIo::FreeSpace(const std::string& folder) {
  const std::string name = folder.empty() ? "." : folder;
  struct statvfs st;
  if (::statvfs(name.c_str(), &st) != 0) {
    throw EDbfError(TDbfErrorKind::Io,
                    Failure("Cannot learn the free space of folder", name, errno));
  }
  return uint64_t{st.f_bavail} * st.f_frsize;
}

void PosixPackIo::Remove(const std::string& path) noexcept {
  ::unlink(path.c_str());
}

}  // namespace lumbra
