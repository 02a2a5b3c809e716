#include "analysis/distinct_texts.h"

#include <algorithm>
#include <cstring>

#include "base/shortcuts.h"
#include "base/text.h"

namespace lumbra {

namespace {

// The arena's blocks start small and double up to kBlockSize, and so does
// the first chunk of entries: a column with few texts costs little, so that
// a table of thousands of columns does not take a megabyte for each.
constexpr size_t kFirstBlockSize = 4 << 10;
constexpr size_t kBlockSize = 1 << 20;
constexpr uint32_t kFirstChunkEntries = 64;
constexpr size_t kSmallSize = 64;  // slots of a new index
constexpr size_t kGatherTexts = 512;
constexpr size_t kGatherBytes = 64 << 10;
// How many texts ahead of the one counted its slot is fetched: enough for
// the fetches to overlap, few enough to stay in the cache.
constexpr size_t kPrefetchDistance = 8;

int32_t Incremented(int32_t count) {
  return static_cast<int32_t>(static_cast<uint32_t>(count) + 1u);
}

}  // namespace

std::string_view TDistinctTexts::TArena::Store(std::string_view text) {
  if (FBlock < FBlocks.size() && FUsed + text.size() > FSizes[FBlock]) {
    ++FBlock;
    FUsed = 0;
  }
  // Reuse a kept block only when the text fits it.
  while (FBlock < FBlocks.size() && text.size() > FSizes[FBlock])
    ++FBlock;
  if (FBlock == FBlocks.size()) {
    const size_t size = std::max(
        std::min(kBlockSize, kFirstBlockSize << std::min<size_t>(FBlocks.size(), 8)), text.size());
    // Written before it is read: no need to clear it.
    FBlocks.push_back(std::make_unique_for_overwrite<char[]>(size));
    FSizes.push_back(size);
    FUsed = 0;
  }
  char* stored = FBlocks[FBlock].get() + FUsed;
  std::memcpy(stored, text.data(), text.size());
  FUsed += text.size();
  return {stored, text.size()};
}

void TDistinctTexts::TArena::Clear() {
  FBlock = 0;
  FUsed = 0;
}

size_t TDistinctTexts::TIndex::Home(uint32_t hash) const {
  return static_cast<size_t>((static_cast<uint64_t>(hash) * FSlots.size()) >> 32);
}

template <class Same>
uint32_t TDistinctTexts::TIndex::Find(uint32_t hash, Same same) const {
  if (FSlots.empty()) return kNone;
  const size_t mask = FSlots.size() - 1;
  for (size_t i = Home(hash);; i = (i + 1) & mask) {
    const TSlot& slot = FSlots[i];
    if (slot.Reference == kNone) return kNone;
    if (slot.Hash == hash && same(slot.Reference)) return slot.Reference;
  }
}

void TDistinctTexts::TIndex::Prefetch(uint32_t hash) const {
  if (!FSlots.empty()) __builtin_prefetch(&FSlots[Home(hash)]);
}

uint32_t TDistinctTexts::TIndex::Peek(uint32_t hash) const {
  if (FSlots.empty()) return kNone;
  const TSlot& slot = FSlots[Home(hash)];
  return slot.Hash == hash ? slot.Reference : kNone;
}

void TDistinctTexts::TIndex::Insert(uint32_t hash, uint32_t reference) {
  // At most three quarters full: probes stay short (a run of slots shares a
  // cache line), and a column of millions of distinct texts does not take
  // twice the slots that half full would leave it.
  if (4 * (FUsed + 1) > 3 * FSlots.size()) Grow();
  Place(TSlot{hash, reference});
  ++FUsed;
}

void TDistinctTexts::TIndex::Place(TSlot slot) {
  const size_t mask = FSlots.size() - 1;
  size_t i = Home(slot.Hash);
  while (FSlots[i].Reference != kNone)
    i = (i + 1) & mask;
  FSlots[i] = slot;
}

void TDistinctTexts::TIndex::Grow() {
  // The old table is let go at once: the counters of every column live
  // together, and a spare table each would add half again to their indexes.
  std::vector<TSlot> old(std::max(kSmallSize, 2 * FSlots.size()));
  FSlots.swap(old);
  // Slots stand in the order of their hashes, so this writes the new table
  // from start to end instead of all over it.
  for (const TSlot& slot : old) {
    if (slot.Reference != kNone) Place(slot);
  }
}

void TDistinctTexts::TIndex::Clear() {
  FSlots.assign(std::min(FSlots.size(), kSmallSize), TSlot{});
  FUsed = 0;
}

TDistinctTexts::TDistinctTexts(const TCollation& collation)
    : FCollation(collation), FWideStandIns(collation.WideStandIns()) {
  FPrintablePlain = true;
  for (int c = 1; c < 128; ++c) {
    const bool plain = collation.IsPlainAscii(static_cast<unsigned char>(c));
    if (c >= 0x20 && c < 0x7F) FPrintablePlain = FPrintablePlain && plain;
    if (plain)
      FFold[static_cast<size_t>(c)] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
  }
}

size_t TDistinctTexts::Fold(std::string_view text, char* folded) const {
  size_t i = 0;
  size_t o = 0;
  while (i < text.size()) {
    if (FPrintablePlain) {
      constexpr uint64_t kOnes = 0x0101010101010101ULL;
      constexpr uint64_t kHighs = 0x8080808080808080ULL;
      for (; i + 8 <= text.size(); i += 8, o += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        // Any byte below 0x20, and any byte above 0x7E: each test is exact
        // for the word as a whole. Such a word is read a byte at a time.
        const uint64_t below = (word - kOnes * 0x20) & ~word & kHighs;
        const uint64_t above = ((word + kOnes * (0x7F - 0x7E)) | word) & kHighs;
        if ((below | above) != 0) break;
        // Bytes from 'A' to 'Z' get 0x20 added; with every byte below 0x7F no
        // sum carries into the next byte.
        const uint64_t upper =
            ((word + kOnes * (0x80 - 'A')) ^ (word + kOnes * (0x80 - 'Z' - 1))) & kHighs;
        word |= upper >> 2;
        std::memcpy(folded + o, &word, 8);
      }
      if (i == text.size()) break;
    }
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      folded[o] = FFold[lead];
      if (folded[o] == 0) return kNotPlain;
      ++i;
      ++o;
      continue;
    }
    // A character of two bytes, 110xxxxx 10xxxxxx, by its stand-in.
    if ((lead & 0xE0) != 0xC0 || i + 1 == text.size() ||
        (static_cast<unsigned char>(text[i + 1]) & 0xC0) != 0x80) {
      return kNotPlain;
    }
    const auto c = static_cast<char32_t>((lead & 0x1F) << 6 |
                                         (static_cast<unsigned char>(text[i + 1]) & 0x3F));
    // Below kFirstWide is an overlong form, never plain.
    const char32_t standIn =
        c < TCollation::kFirstWide ? 0 : FWideStandIns[c - TCollation::kFirstWide];
    if (standIn == 0) return kNotPlain;
    if (standIn < 0x80) {
      folded[o++] = static_cast<char>(standIn);
    } else {
      folded[o++] = static_cast<char>(0xC0 | standIn >> 6);
      folded[o++] = static_cast<char>(0x80 | (standIn & 0x3F));
    }
    i += 2;
  }
  return o;
}

bool TDistinctTexts::FoldsTo(std::string_view stored, std::string_view folded) {
  FScratch.resize(stored.size());
  return Fold(stored, FScratch.data()) == folded.size() &&
         std::memcmp(FScratch.data(), folded.data(), folded.size()) == 0;
}

void TDistinctTexts::Clear() {
  FGathered.clear();
  FGatheredFolded.clear();
  FGatheredEnds.clear();
  FArena.Clear();
  FEntryCount = 0;
  FKeys.clear();
  FSpellings.clear();
  FByFolded.Clear();
  FBySpelling.Clear();
  FByKey.Clear();
  FKeyed = false;
}

void TDistinctTexts::Add(std::string_view text) {
  FGathered.append(text);
  FGatheredEnds.push_back(static_cast<uint32_t>(FGathered.size()));
  if (FGatheredEnds.size() == kGatherTexts || FGathered.size() >= kGatherBytes) CountGathered();
}

int32_t TDistinctTexts::Count() {
  CountGathered();
  return static_cast<int32_t>(FEntryCount);
}

void TDistinctTexts::CountGathered() {
  const size_t count = FGatheredEnds.size();
  FGatheredFolded.resize(FGathered.size());
  std::vector<uint32_t> hashes(count);
  // The length of each text's lower-case form, or kNotPlain.
  std::vector<size_t> folds(count);
  size_t begin = 0;
  for (size_t t = 0; t < count; ++t) {
    const size_t end = FGatheredEnds[t];
    // Without the folding every text is looked up by its sort key.
    folds[t] = kShortcuts ? Fold(std::string_view(FGathered).substr(begin, end - begin),
                                 &FGatheredFolded[begin])
                          : kNotPlain;
    hashes[t] =
        HashBytes(folds[t] != kNotPlain ? std::string_view(FGatheredFolded).substr(begin, folds[t])
                                        : std::string_view(FGathered).substr(begin, end - begin));
    begin = end;
  }
  begin = 0;
  for (size_t t = 0; t < count; ++t) {
    if (const size_t ahead = t + 2 * kPrefetchDistance; kShortcuts && ahead < count) {
      (folds[ahead] != kNotPlain ? FByFolded : FBySpelling).Prefetch(hashes[ahead]);
    }
    // Half as far ahead the slot has arrived: the entry it names is fetched
    // too, as a text met before is compared with it.
    if (const size_t ahead = t + kPrefetchDistance;
        kShortcuts && ahead < count && folds[ahead] != kNotPlain) {
      const uint32_t entry = FByFolded.Peek(hashes[ahead]);
      if (entry != TIndex::kNone) __builtin_prefetch(&Entry(entry));
    }
    const size_t end = FGatheredEnds[t];
    const bool plain = folds[t] != kNotPlain;
    CountOne(std::string_view(FGathered).substr(begin, end - begin),
             std::string_view(FGatheredFolded).substr(begin, plain ? folds[t] : 0), plain,
             hashes[t]);
    begin = end;
  }
  FGathered.clear();
  FGatheredEnds.clear();
}

void TDistinctTexts::CountOne(std::string_view text, std::string_view folded, bool plain,
                              uint32_t hash) {
  if (plain) {
    // The same spelling is the usual find; another one is folded to tell.
    const uint32_t known = FByFolded.Find(hash, [this, text, folded](uint32_t entry) {
      const std::string_view stored = Entry(entry).View();
      return stored == text || FoldsTo(stored, folded);
    });
    if (known != TIndex::kNone) {
      CountAt(known);
      return;
    }
    if (!FKeyed) {
      FByFolded.Insert(hash, NewEntry(FArena.Store(text)));
      return;
    }
  }
  // Once keyed, a plain text may still be another spelling of a text that is
  // not plain, such as one with a ligature: only the sort key tells, and the
  // spelling is then remembered as it is.
  const uint32_t spellingHash = plain ? HashBytes(text) : hash;
  const uint32_t known = FBySpelling.Find(
      spellingHash, [this, text](uint32_t spelling) { return FSpellings[spelling].Text == text; });
  if (known != TIndex::kNone) {
    CountAt(FSpellings[known].Entry);
    return;
  }
  KeyEveryEntry();
  const std::string_view stored = FArena.Store(text);
  const uint32_t entries = FEntryCount;
  const uint32_t entry = EntryByKey(stored);
  if (plain && FEntryCount > entries) {
    FByFolded.Insert(hash, entry);
  } else {
    FSpellings.push_back(TSpelling{stored, entry});
    FBySpelling.Insert(spellingHash, static_cast<uint32_t>(FSpellings.size() - 1));
  }
}

uint32_t TDistinctTexts::NewEntry(std::string_view stored) {
  if (FEntryChunks.empty()) {
    FEntryChunks.push_back(std::make_unique_for_overwrite<TEntry[]>(kFirstChunkEntries));
    FFirstChunkEntries = kFirstChunkEntries;
  } else if (FEntryCount / kChunkEntries == FEntryChunks.size()) {
    FEntryChunks.push_back(std::make_unique_for_overwrite<TEntry[]>(kChunkEntries));
  } else if (FEntryCount == FFirstChunkEntries) {
    // The first chunk is full and smaller than a chunk: twice its size.
    const uint32_t size = std::min(2 * FFirstChunkEntries, kChunkEntries);
    auto grown = std::make_unique_for_overwrite<TEntry[]>(size);
    std::copy_n(FEntryChunks[0].get(), FEntryCount, grown.get());
    FEntryChunks[0] = std::move(grown);
    FFirstChunkEntries = size;
  }
  Entry(FEntryCount) = TEntry{stored.data(), static_cast<uint32_t>(stored.size()), 1};
  return FEntryCount++;
}

void TDistinctTexts::CountAt(uint32_t entry) {
  Entry(entry).Count = Incremented(Entry(entry).Count);
}

uint32_t TDistinctTexts::EntryByKey(std::string_view stored) {
  const std::string key = FCollation.SortKey(stored);
  const uint32_t hash = HashBytes(key);
  const uint32_t known =
      FByKey.Find(hash, [this, &key](uint32_t entry) { return FKeys[entry] == key; });
  if (known != TIndex::kNone) {
    CountAt(known);
    return known;
  }
  const uint32_t entry = NewEntry(stored);
  FKeys.push_back(FArena.Store(key));
  FByKey.Insert(hash, entry);
  return entry;
}

void TDistinctTexts::KeyEveryEntry() {
  if (FKeyed) return;
  FKeyed = true;
  for (uint32_t entry = 0; entry < FEntryCount; ++entry) {
    FKeys.push_back(FArena.Store(FCollation.SortKey(Entry(entry).View())));
    FByKey.Insert(HashBytes(FKeys.back()), entry);
  }
}

std::vector<TDistinctTexts::TRepeated> TDistinctTexts::Repeated() {
  CountGathered();
  std::vector<std::pair<std::string, const TEntry*>> keyed;
  for (uint32_t entry = 0; entry < FEntryCount; ++entry) {
    const TEntry& e = Entry(entry);
    if (e.Count <= 1) continue;
    keyed.emplace_back(FKeyed ? std::string(FKeys[entry]) : FCollation.SortKey(e.View()), &e);
  }
  // Sort keys compare as unsigned bytes, as std::string does.
  std::sort(keyed.begin(), keyed.end());
  std::vector<TRepeated> repeated;
  repeated.reserve(keyed.size());
  for (const auto& [key, entry] : keyed)
    repeated.push_back(TRepeated{entry->View(), entry->Count});
  return repeated;
}

}  // namespace lumbra
