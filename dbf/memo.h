// Reading memo values from .fpt and .dbt files (dbf/FORMAT.md section 6).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/file_io.h"

namespace lumbra {

enum class TMemoRead : uint8_t {
  Value,  // out holds the memo's bytes (possibly none)
  Bad,    // the pointer or the block is invalid: no value
};

class TMemoFile {
 public:
  enum class TKind : uint8_t { Fpt, Dbt };
  // Reads the memo header. Throws EDbfError when the header cannot be read;
  // a header whose block size is unusable yields a file whose reads are all Bad.
  TMemoFile(std::unique_ptr<FileIo> file, TKind kind, bool dbtLevel4);

  // The bytes of the memo at block, valid until the next call. Block 0 is an
  // empty memo.
  TMemoRead Read(uint64_t block, std::string_view& out);
  uint32_t BlockSize() const { return FBlockSize; }
  FileIo& File() { return *FFile; }

 private:
  TMemoRead ReadDbtText(uint64_t offset, std::string_view& out);
  // The bytes of the read window from offset to its end, after refilling it at
  // offset when it held fewer than atLeast of them (the window is shorter only
  // at the end of the file).
  std::string_view Window(uint64_t offset, size_t atLeast);

  std::unique_ptr<FileIo> FFile;
  TKind FKind;
  uint32_t FBlockSize = 0;
  uint64_t FFirstBlock = 1;
  // Memos are mostly read in the order they were written, one after another:
  // a window of the file serves many of them from one read.
  std::vector<char> FWindow;
  uint64_t FWindowAt = 0;
  size_t FWindowLength = 0;
  // Memos the window cannot hold.
  std::string FLong;
};

}  // namespace lumbra
