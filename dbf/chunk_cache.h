// A file's bytes in fixed-size chunks, kept in a direct-mapped cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/file_io.h"

namespace lumbra {

// The size files are read in: few reads for a walk in file order, little read
// in vain for a scattered one.
constexpr size_t kChunkBytes = 64 * 1024;
// The most a cache holds: a file visited in a scattered order up to this
// size is read once.
constexpr size_t kMaxCacheBytes = 256 << 20;

class TChunkCache {
 public:
  // Chunks of chunkBytes from offset start up to offset end of file, which
  // must outlive the cache. With exact, a chunk the file holds fewer bytes of
  // than it should throws EDbfError; otherwise it comes back shorter.
  TChunkCache(IFileIo& file, uint64_t start, uint64_t end, size_t chunkBytes, bool exact,
              size_t maxCacheBytes = kMaxCacheBytes);

  // The bytes of chunk number, from start + number * chunkBytes, valid while
  // Loads() stays as it was. Throws what the file's reads throw.
  std::string_view Chunk(uint64_t number);
  // How many times a chunk has been read into the cache: the generation of
  // the bytes it lends, which only a read can overwrite.
  uint64_t Loads() const { return FLoads; }
  // Whether reading chunk number would only displace another chunk: the
  // cache holds as many chunks as it may, fewer than the file has, and the
  // read does not continue a walk in file order. A scattered visit of a file
  // larger than the cache reads then just what it needs (ReadAlone).
  bool IsFull(uint64_t number) const {
    return number != FNextChunk && FSlots.size() == FMaxSlots && FMaxSlots < FChunkCount &&
           FSlots[SlotOf(number)].Number != number;
  }
  // The length bytes from start + offset, read alone into a buffer of their
  // own, valid while Loads() stays as it was. Throws as Chunk.
  std::string_view ReadAlone(uint64_t offset, size_t length);
  // The bytes of chunk number when the cache holds it, else nothing (a null
  // data pointer): never reads, and leaves earlier views valid.
  std::string_view Cached(uint64_t number) const {
    const TSlot& slot = FSlots[SlotOf(number)];
    return slot.Number == number ? std::string_view(slot.Bytes.get(), slot.Length)
                                 : std::string_view();
  }

 private:
  struct TSlot {
    uint64_t Number = UINT64_MAX;  // none
    // Room for a chunk (or for all of a shorter file), allocated on the
    // first read and never cleared: the read fills what is used.
    std::unique_ptr<char[]> Bytes;
    size_t Length = 0;
  };
  // The slots are a power of two in number.
  size_t SlotOf(uint64_t number) const { return number & (FSlots.size() - 1); }
  void Load(TSlot& slot, uint64_t number);
  // Doubles the slots, keeping the chunks held: with the slot found by the
  // chunk number's low bits, none of them is displaced.
  void Grow();

  IFileIo& FFile;
  uint64_t FStart;
  uint64_t FEnd;
  size_t FChunkBytes;
  bool FExact;
  std::vector<TSlot> FSlots;
  size_t FMaxSlots;
  uint64_t FChunkCount;
  std::string FAlone;       // the bytes ReadAlone read last
  uint64_t FNextChunk = 0;  // the chunk after the last one read
  size_t FScatteredMisses = 0;
  uint64_t FLoads = 0;
};

}  // namespace lumbra
