// The changes DELETE FROM and PACK make to the file system, behind an
// interface so tests can make any one of them fail, or stop the process
// there, and see what is left on disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumbra {

class IPackIo {
 public:
  virtual ~IPackIo() = default;
  // Creates a new file in folder ("" or ending with "/") named prefix and six
  // random characters, open for reading and writing and accessible to its
  // owner only. Sets path to its path and returns its descriptor, which the caller
  // closes. Throws EDbfError.
  virtual int CreateTemporary(const std::string& folder, const std::string& prefix,
                              std::string& path) = 0;
  // Writes all length bytes at offset. Throws EDbfError naming path.
  virtual void WriteAt(int fd, const std::string& path, uint64_t offset, const void* data,
                       size_t length) = 0;
  // Gives the new file at fd the owner, group, permission bits, ACL entries
  // and extended attributes of the file open at originalFd. Throws EDbfError
  // naming what could not be kept when any of them cannot be given (a file
  // of another user, a group this process is not in, an attribute it may not
  // set), so that a replaced file is never quietly taken over.
  virtual void CopyAttributes(int fd, const std::string& path, int originalFd,
                              const std::string& originalPath) = 0;
  // Flushes the file's data and size to the disk. Throws EDbfError.
  virtual void Sync(int fd, const std::string& path) = 0;
  // Flushes folder's entries (files created or renamed in it) to the disk.
  // Throws EDbfError.
  virtual void SyncFolder(const std::string& folder) = 0;
  // Puts the file at from in the place of the file at to, in one step.
  // Throws EDbfError.
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  // The bytes this process may still write in the file system of folder.
  // Throws EDbfError.
  virtual uint64_t FreeSpace(const std::string& folder) = 0;
  // Removes the file at path; never fails (a temporary left behind is harmless).
  virtual void Remove(const std::string& path) noexcept = 0;
};

// The real file system.
class PosixPackIo : public IPackIo {
 public:
  int CreateTemporary(const std::string& folder, const std::string& prefix,
                      std::string& path) override;
  void WriteAt(int fd, const std::string& path, uint64_t offset, const void* data,
               size_t length) override;
  void CopyAttributes(int fd, const std::string& path, int originalFd,
                      const std::string& originalPath) override;
  void Sync(int fd, const std::string& path) override;
  void SyncFolder(const std::string& folder) override;
  void Rename(const std::string& from, const std::string& to) override;
  uint64_t FreeSpace(const std::string& folder) override;
  void Remove(const std::string& path) noexcept override;
};

}  // namespace lumbra
