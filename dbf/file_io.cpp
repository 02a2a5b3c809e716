#include "dbf/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/text.h"
#include "dbf/dbf_error.h"

namespace lumbra {

namespace {

const char* KindOfMode(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

}  // namespace

std::optional<std::string> NonRegularKind(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return std::nullopt;
  return std::string(KindOfMode(st.st_mode));
}

PosixFileIo::PosixFileIo(std::string path) : FPath(std::move(path)) {
  // Without O_NONBLOCK, opening a named pipe waits for a writer; nothing
  // but a regular file is read, and reads of one never block on the flag.
  do {
    FFd = ::open(FPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (FFd < 0 && errno == EINTR);
  if (FFd < 0)
    throw EDbfError(TDbfErrorKind::Io, "Cannot open file '" + FPath + "': " + std::strerror(errno));
  struct stat st;
  if (::fstat(FFd, &st) != 0) {
    const int error = errno;
    ::close(FFd);
    throw EDbfError(TDbfErrorKind::Io, "Cannot open file '" + FPath + "': " + std::strerror(error));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(FFd);
    throw EDbfError(TDbfErrorKind::Unsupported, "Cannot open file '" + FPath + "': it is " +
                                                    KindOfMode(st.st_mode) +
                                                    ", not a regular file");
  }
}

PosixFileIo::~PosixFileIo() {
  if (FFd >= 0) ::close(FFd);
}

uint64_t DescriptorSize(int fd, const std::string& path) {
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    throw EDbfError(TDbfErrorKind::Io, "Cannot read file '" + path + "': " + std::strerror(errno));
  }
  return static_cast<uint64_t>(st.st_size);
}

size_t ReadDescriptorAt(int fd, const std::string& path, uint64_t offset, void* buffer,
                        size_t length) {
  size_t done = 0;
  auto* out = static_cast<char*>(buffer);
  while (done < length) {
    const ssize_t n = ::pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EDbfError(TDbfErrorKind::Io,
                      "Cannot read file '" + path + "': " + std::strerror(errno));
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

uint64_t PosixFileIo::Size() {
  return DescriptorSize(FFd, FPath);
}

size_t PosixFileIo::ReadAt(uint64_t offset, void* buffer, size_t length) {
  return ReadDescriptorAt(FFd, FPath, offset, buffer, length);
}

size_t MemoryFileIo::ReadAt(uint64_t offset, void* buffer, size_t length) {
  if (offset >= FBytes.size()) return 0;
  const size_t n = std::min<uint64_t>(length, FBytes.size() - offset);
  std::memcpy(buffer, FBytes.data() + offset, n);
  return n;
}

void ReadExactly(IFileIo& file, uint64_t offset, void* buffer, size_t length) {
  if (file.ReadAt(offset, buffer, length) != length) {
    throw EDbfError(
        TDbfErrorKind::Corrupt,
        "File '" + file.Name() + "' is shorter than expected: " + std::to_string(length) +
            " bytes at offset " + std::to_string(offset) + " are missing (was it truncated?)");
  }
}

std::optional<std::string> FindFileIgnoringCase(const std::string& folder,
                                                std::string_view fileName) {
  auto isRegular = [](const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  };
  const std::string exact = folder + std::string(fileName);
  if (isRegular(exact)) return exact;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = ::readdir(dir)) {
    if (EqualsIgnoringAsciiCase(entry->d_name, fileName)) {
      std::string candidate = folder + entry->d_name;
      if (isRegular(candidate)) {
        found = std::move(candidate);
        break;
      }
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace lumbra
