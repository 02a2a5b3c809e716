// Positioned reads of a file, behind an interface so tests can hand the engine
// bytes in memory or a file that fails on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lumbra {

class IFileIo {
 public:
  virtual ~IFileIo() = default;
  // The name used in error messages.
  virtual const std::string& Name() const = 0;
  // The file's size now.
  virtual uint64_t Size() = 0;
  // Reads up to length bytes at offset; fewer only at the end of the file.
  // Throws EDbfError on an I/O error.
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t length) = 0;
};

// A file on disk, read with pread: a file another program truncates under us
// gives short reads, never a crash.
class PosixFileIo : public IFileIo {
 public:
  // Opens read-only. Throws EDbfError when the file cannot be opened.
  explicit PosixFileIo(std::string path);
  ~PosixFileIo() override;
  PosixFileIo(const PosixFileIo&) = delete;
  PosixFileIo& operator=(const PosixFileIo&) = delete;

  const std::string& Name() const override { return FPath; }
  uint64_t Size() override;
  size_t ReadAt(uint64_t offset, void* buffer, size_t length) override;
  int Descriptor() const { return FFd; }

 private:
  std::string FPath;
  int FFd = -1;
};

// Bytes held in memory.
class MemoryFileIo : public IFileIo {
 public:
  MemoryFileIo(std::string name, std::string bytes)
      : FName(std::move(name)), FBytes(std::move(bytes)) {}
  const std::string& Name() const override { return FName; }
  uint64_t Size() override { return FBytes.size(); }
  size_t ReadAt(uint64_t offset, void* buffer, size_t length) override;
  std::string& Bytes() { return FBytes; }

 private:
  std::string FName;
  std::string FBytes;
};

// The size of the open file fd, and positioned reads from it that retry on
// interruption and stop short only at the end of the file. path names the
// file in errors (EDbfError).
uint64_t DescriptorSize(int fd, const std::string& path);
size_t ReadDescriptorAt(int fd, const std::string& path, uint64_t offset, void* buffer,
                        size_t length);

// What path is when it exists and is not a regular file once links are
// followed ("a folder", "a named pipe (FIFO)", "a character device", ...);
// nullopt for a regular file or a path that does not exist.
std::optional<std::string> NonRegularKind(const std::string& path);

// Reads exactly length bytes at offset. Throws EDbfError naming the file when
// fewer are there.
void ReadExactly(IFileIo& file, uint64_t offset, void* buffer, size_t length);

// The path of the file named fileName in folder: the exact name when such a
// regular file exists, else the first entry whose name matches ignoring letter
// case. folder may be empty (the current folder) and ends with "/" otherwise.
std::optional<std::string> FindFileIgnoringCase(const std::string& folder,
                                                std::string_view fileName);

}  // namespace lumbra
