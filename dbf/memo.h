// Reading memo values from .fpt and .dbt files (dbf/FORMAT.md section 6).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/chunk_cache.h"
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
  TMemoFile(std::unique_ptr<IFileIo> file, TKind kind, bool dbtLevel4);
  // The block size declared by a memo file's header, of which header holds
  // the first kHeaderBytes (zeros where the file is shorter): an .fpt's own
  // (0 when damaged), 512 for a III-style .dbt, a IV-style .dbt's own with 0
  // read as 512.
  static constexpr size_t kHeaderBytes = 24;
  static uint32_t BlockSizeOf(TKind kind, bool dbtLevel4, const unsigned char* header);

  // The bytes of the memo at block, valid until the next call. Block 0 is an
  // empty memo.
  TMemoRead Read(uint64_t block, std::string_view& out);
  // Gives back the memory of a long memo's bytes once the caller has taken
  // them; ends the validity of what Read gave.
  void ReleaseLong();
  // Asks the processor to bring the start of the memo at block toward its
  // caches when the cache holds it. Never reads the file.
  void Prefetch(uint64_t block) const;
  // How many reads gave Bad because the memo, or the length it claims, runs
  // past the end of the file (a memo file cut short).
  uint64_t ReadsBeyondEnd() const { return FReadsBeyondEnd; }
  // 0 when the header gives none, and every read is Bad.
  uint32_t BlockSize() const { return FBlockSize; }
  IFileIo& File() { return *FFile; }
  const IFileIo& File() const { return *FFile; }

 private:
  TMemoRead ReadDbtText(uint64_t offset, std::string_view& out);
  TMemoRead BeyondEnd();
  // The bytes from offset to the end of the chunk that holds it, at least
  // atLeast of them unless the file ends sooner. Valid until the next call.
  std::string_view Window(uint64_t offset, size_t atLeast);

  std::unique_ptr<IFileIo> FFile;
  TKind FKind;
  uint32_t FBlockSize = 0;
  uint64_t FFirstBlock = 1;
  // Memos read in the order they were written come one after another, many
  // from one chunk; memos visited in a sorted order find their chunk cached.
  std::unique_ptr<TChunkCache> FChunks;
  // The bytes of a memo that crosses from one chunk into the next.
  std::vector<char> FStraddle;
  // Memos longer than a chunk.
  std::string FLong;
  uint64_t FReadsBeyondEnd = 0;
};

}  // namespace lumbra
