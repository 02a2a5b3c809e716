// The one open-addressing table of the filters, sorts and reports: 32-bit
// hashes (HashBytes, base/text.h) to 32-bit references whose meaning, and
// how the thing they name is compared, is the caller's. Keeping the hash in
// the slot lets a probe pass other texts without touching them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumbra {

class THashIndex {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  // The first slot's reference, for hash, that same accepts; kNone if none.
  template <class Same>
  uint32_t Find(uint32_t hash, Same same) const {
    if (FSlots.empty()) return kNone;
    for (size_t i = Home(hash);; i = After(i)) {
      const TSlot& slot = FSlots[i];
      if (slot.Reference == kNone) return kNone;
      if (slot.Hash == hash && same(slot.Reference)) return slot.Reference;
    }
  }
  // Asks the processor to fetch the slot where a look-up of hash starts.
  void Prefetch(uint32_t hash) const {
    if (!FSlots.empty()) __builtin_prefetch(&FSlots[Home(hash)]);
  }
  // The reference in that slot when its hash is hash, else kNone: a cheap
  // guess at what Find will give, for fetching ahead.
  uint32_t Peek(uint32_t hash) const {
    if (FSlots.empty()) return kNone;
    const TSlot& slot = FSlots[Home(hash)];
    return slot.Hash == hash ? slot.Reference : kNone;
  }
  // Requires that Find gave kNone for what reference names, and reference
  // below kNone.
  void Insert(uint32_t hash, uint32_t reference) {
    // At most three quarters full: probes stay short (a run of slots shares
    // a cache line). Growing by half leaves it half full, where doubling
    // would leave it three eighths full and the columns of millions of
    // distinct texts with a third more slots.
    if (4 * (FUsed + 1) > 3 * FSlots.size()) Grow();
    Place(TSlot{hash, reference});
    ++FUsed;
  }
  size_t Count() const { return FUsed; }
  // Back to a small table, keeping the memory: a large table left over from
  // a large column would spread a small column's few texts over many pages.
  void Clear() {
    FSlots.assign(std::min(FSlots.size(), kSmallSize), TSlot{});
    FUsed = 0;
  }

 private:
  static constexpr size_t kSmallSize = 64;  // slots of a new table

  struct TSlot {
    uint32_t Hash = 0;
    uint32_t Reference = kNone;
  };

  // Where a look-up of hash starts: the hash scaled to the table, so that
  // slots stay in hash order and growing copies them in one sweep.
  size_t Home(uint32_t hash) const {
    return static_cast<size_t>((static_cast<uint64_t>(hash) * FSlots.size()) >> 32);
  }
  size_t After(size_t i) const { return i + 1 == FSlots.size() ? 0 : i + 1; }
  void Place(TSlot slot) {
    size_t i = Home(slot.Hash);
    while (FSlots[i].Reference != kNone)
      i = After(i);
    FSlots[i] = slot;
  }
  void Grow() {
    // The old table is let go at once: the counters of every column of a
    // report live together, and a spare table each would add half again to
    // their indexes.
    std::vector<TSlot> old(std::max(kSmallSize, FSlots.size() + FSlots.size() / 2));
    FSlots.swap(old);
    // Slots stand in the order of their hashes, so this writes the new table
    // from start to end instead of all over it.
    for (const TSlot& slot : old) {
      if (slot.Reference != kNone) Place(slot);
    }
  }

  std::vector<TSlot> FSlots;
  size_t FUsed = 0;
};

}  // namespace lumbra
