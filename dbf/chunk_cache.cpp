#include "dbf/chunk_cache.h"

#include <algorithm>
#include <bit>

namespace lumbra {

namespace {

constexpr size_t kFirstSlots = 8;

}  // namespace

TChunkCache::TChunkCache(IFileIo& file, uint64_t start, uint64_t end, size_t chunkBytes, bool exact,
                         size_t maxCacheBytes)
    : FFile(file),
      FStart(start),
      FEnd(std::max(start, end)),
      FChunkBytes(std::max<size_t>(1, chunkBytes)),
      FExact(exact),
      FSlots(kFirstSlots) {
  FChunkCount = (FEnd - FStart + FChunkBytes - 1) / FChunkBytes;
  // Powers of two, so that a chunk's slot is found by a mask.
  FMaxSlots = std::max<size_t>(
      kFirstSlots, static_cast<size_t>(std::min<uint64_t>(
                       std::bit_ceil(FChunkCount),
                       std::bit_floor(std::max<size_t>(1, maxCacheBytes / FChunkBytes)))));
}

std::string_view TChunkCache::ReadAlone(uint64_t offset, size_t length) {
  ++FLoads;
  FAlone.clear();  // holds nothing if the read below throws
  const uint64_t at = std::min(FEnd, FStart + offset);
  length = static_cast<size_t>(std::min<uint64_t>(length, FEnd - at));
  FAlone.resize(length);
  if (FExact) {
    ReadExactly(FFile, at, FAlone.data(), length);
  } else {
    FAlone.resize(FFile.ReadAt(at, FAlone.data(), length));
  }
  return FAlone;
}

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
  return {slot->Bytes.get(), slot->Length};
}

void TChunkCache::Grow() {
  std::vector<TSlot> slots(2 * FSlots.size());
  // A slot left empty by a failed read lets its room go.
  for (TSlot& slot : FSlots) {
    if (slot.Number != UINT64_MAX) slots[slot.Number & (slots.size() - 1)] = std::move(slot);
  }
  FSlots = std::move(slots);
  FScatteredMisses = 0;
}

void TChunkCache::Load(TSlot& slot, uint64_t number) {
  ++FLoads;
  slot.Number = UINT64_MAX;  // stays invalid if the read below throws
  const uint64_t at = FStart + number * FChunkBytes;
  const auto length =
      at >= FEnd ? size_t{0} : static_cast<size_t>(std::min<uint64_t>(FChunkBytes, FEnd - at));
  if (slot.Bytes == nullptr) {
    slot.Bytes = std::make_unique_for_overwrite<char[]>(
        static_cast<size_t>(std::min<uint64_t>(FChunkBytes, FEnd - FStart)));
  }
  if (FExact) {
    ReadExactly(FFile, at, slot.Bytes.get(), length);
    slot.Length = length;
  } else {
    slot.Length = FFile.ReadAt(at, slot.Bytes.get(), length);
  }
  slot.Number = number;
  FNextChunk = number + 1;
}

}  // namespace lumbra
