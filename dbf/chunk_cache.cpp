#include "dbf/chunk_cache.h"

#include <algorithm>
#include <bit>

namespace lumbra {

namespace {

constexpr size_t kFirstSlots = 8;
// Frames come in blocks of this size: a walk in file order writes a little of
// the first, and memory not yet written costs nothing.
constexpr size_t kFrameBlockBytes = 2 << 20;
// The most a cache may hold: a file visited in a scattered order up to this
// size is read once.
constexpr size_t kMaxCacheBytes = 256 << 20;

// Powers of two, so that a chunk's slot is found by a mask: enough for every
// chunk of bytes, up to kMaxCacheBytes.
size_t MaxSlots(uint64_t bytes, size_t chunkBytes) {
  const uint64_t chunks = (bytes + chunkBytes - 1) / chunkBytes;
  return std::max<size_t>(kFirstSlots,
                          static_cast<size_t>(std::min<uint64_t>(
                              std::bit_ceil(chunks), std::bit_floor(kMaxCacheBytes / chunkBytes))));
}

}  // namespace

TChunkFrames::TChunkFrames(size_t frameBytes, size_t expectedFrames)
    : FFrameBytes(std::max<size_t>(1, frameBytes)),
      FExpectedFrames(std::max<size_t>(1, expectedFrames)),
      FFramesPerBlock(std::clamp<size_t>(kFrameBlockBytes / FFrameBytes, 1, FExpectedFrames)) {}

char* TChunkFrames::Take() {
  if (!FFree.empty()) {
    char* frame = FFree.back();
    FFree.pop_back();
    return frame;
  }
  if (FBlocks.empty() || FTakenFromLast == FFramesInLast) {
    const size_t frames = FTaken < FExpectedFrames
                              ? std::min(FFramesPerBlock, FExpectedFrames - FTaken)
                              : FFramesPerBlock;
    // Each frame is filled by a read before it is used.
    FBlocks.push_back(std::make_unique_for_overwrite<char[]>(frames * FFrameBytes));
    FFramesInLast = frames;
    FTakenFromLast = 0;
  }
  ++FTaken;
  return FBlocks.back().get() + FFrameBytes * FTakenFromLast++;
}

TChunkCache::TChunkCache(FileIo& file, uint64_t start, uint64_t end, size_t chunkBytes, bool exact)
    : FFile(file),
      FStart(start),
      FEnd(std::max(start, end)),
      FChunkBytes(std::max<size_t>(1, chunkBytes)),
      FExact(exact),
      FSlots(kFirstSlots),
      FMaxSlots(MaxSlots(FEnd - FStart, FChunkBytes)),
      // A frame holds a chunk, or all of a shorter file.
      FFrames(static_cast<size_t>(std::min<uint64_t>(FChunkBytes, FEnd - FStart)),
              static_cast<size_t>(std::min<uint64_t>(
                  (FEnd - FStart + FChunkBytes - 1) / FChunkBytes, FMaxSlots))) {}

std::string_view TChunkCache::Chunk(uint64_t number) {
  TSlot* slot = &FSlots[SlotOf(number)];
  if (slot->Number != number) {
    // A walk in file order reads each chunk once with the first few slots.
    // Misses that do not continue such a walk (a sorted walk, the grid
    // jumping) earn more slots, up to a bound, so that a file visited in a
    // scattered order is read about once rather than once per visit. The
    // slots double every few such misses: waiting for as many misses as
    // there are slots would read much of the file twice before they suffice.
    // Slots cost little until a chunk is read into them.
    if (number != FNextChunk && ++FScatteredMisses > kFirstSlots && FSlots.size() < FMaxSlots) {
      Grow();
      slot = &FSlots[SlotOf(number)];
    }
    Load(*slot, number);
  }
  return {slot->Bytes, slot->Length};
}

void TChunkCache::Grow() {
  std::vector<TSlot> slots(2 * FSlots.size());
  for (TSlot& slot : FSlots) {
    if (slot.Bytes == nullptr) continue;
    if (slot.Number == UINT64_MAX) {
      FFrames.Give(slot.Bytes);  // left empty by a failed read
    } else {
      slots[slot.Number & (slots.size() - 1)] = slot;
    }
  }
  FSlots = std::move(slots);
  FScatteredMisses = 0;
}

void TChunkCache::Load(TSlot& slot, uint64_t number) {
  slot.Number = UINT64_MAX;  // stays invalid if the read below throws
  const uint64_t at = FStart + number * FChunkBytes;
  const auto length =
      at >= FEnd ? size_t{0} : static_cast<size_t>(std::min<uint64_t>(FChunkBytes, FEnd - at));
  if (slot.Bytes == nullptr) slot.Bytes = FFrames.Take();
  if (FExact) {
    ReadExactly(FFile, at, slot.Bytes, length);
    slot.Length = length;
  } else {
    slot.Length = FFile.ReadAt(at, slot.Bytes, length);
  }
  slot.Number = number;
  FNextChunk = number + 1;
}

}  // namespace lumbra
