#include "analysis/distinct_texts.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <utility>

#include "base/hash_index.h"
#include "base/shortcuts.h"
#include "base/text.h"

namespace lumbra {

namespace {

// The arena's blocks start small and double up to kBlockSize, and so does
// the first chunk of entries: a column with few texts costs little, so that
// a table of thousands of columns does not take a megabyte for each.
constexpr uint32_t kFirstBlockSize = 4 << 10;
constexpr uint32_t kBlockSize = 1 << 20;
constexpr size_t kGrowingBlocks = 8;  // 4 KiB to 512 KiB; then kBlockSize each
constexpr uint32_t kFirstChunkEntries = 64;
constexpr uint32_t kChunkEntries = 1 << 16;
constexpr size_t kGatherTexts = 512;
constexpr size_t kGatherBytes = 64 << 10;
// How many texts ahead of the one counted its slot is fetched: enough for
// the fetches to overlap, few enough to stay in the cache.
constexpr size_t kPrefetchDistance = 8;

int32_t Incremented(int32_t count) {
  return static_cast<int32_t>(static_cast<uint32_t>(count) + 1u);
}

// Texts copied into blocks that never move, each named by a 32-bit place:
// with millions of distinct texts in every column of a table, a place where
// a pointer and a length would be saves a quarter of the counter's memory.
// The blocks lie one after the other in one range of places; a text stands
// in one block, after its length written seven bits a byte. Texts beyond the
// range, and texts longer than a block, are kept apart and named by number.
class TArena {
 public:
  using TPlace = uint32_t;

  TPlace Store(std::string_view text) {
    const size_t length = LengthBytes(text.size()) + text.size();
    if (length > kBlockSize) return StoreApart(text);
    size_t block = BlockOf(FNext);
    if (FNext + length > End(block)) {
      // The rest of this block stays unused, and so do blocks too small.
      do {
        ++block;
      } while (Size(block) < length);
      FNext = Start(block);
    }
    if (FNext + length > kApart) return StoreApart(text);
    if (block >= FBlocks.size()) FBlocks.resize(block + 1);
    // Written before it is read: no need to clear it.
    if (!FBlocks[block]) FBlocks[block] = std::make_unique_for_overwrite<char[]>(Size(block));
    char* stored = FBlocks[block].get() + (FNext - Start(block));
    size_t size = text.size();
    for (; size >= 0x80; size >>= 7)
      *stored++ = static_cast<char>(0x80 | (size & 0x7F));
    *stored++ = static_cast<char>(size);
    std::memcpy(stored, text.data(), text.size());
    const TPlace place = static_cast<TPlace>(FNext);
    FNext += length;
    return place;
  }

  std::string_view View(TPlace place) const {
    if (place >= kApart) {
      const TApart& apart = FApart[place - kApart];
      return {apart.Text.get(), apart.Size};
    }
    const char* stored = Address(place);
    size_t size = 0;
    for (unsigned shift = 0;; shift += 7) {
      const auto byte = static_cast<unsigned char>(*stored++);
      size |= static_cast<size_t>(byte & 0x7F) << shift;
      if (byte < 0x80) break;
    }
    return {stored, size};
  }

  // Asks the processor to fetch the text at place.
  void Prefetch(TPlace place) const {
    if (place < kApart) __builtin_prefetch(Address(place));
  }

  // Keeps the blocks, for the next column.
  void Clear() {
    FNext = 0;
    FApart.clear();
  }

 private:
  static constexpr uint64_t kApart = uint64_t{1} << 31;
  static constexpr uint64_t kGrownStart = uint64_t{kFirstBlockSize} * ((1u << kGrowingBlocks) - 1);

  struct TApart {
    std::unique_ptr<char[]> Text;
    size_t Size;
  };

  static size_t LengthBytes(size_t size) {
    size_t bytes = 1;
    for (; size >= 0x80; size >>= 7)
      ++bytes;
    return bytes;
  }
  static uint64_t Start(size_t block) {
    if (block < kGrowingBlocks) return uint64_t{kFirstBlockSize} * ((uint64_t{1} << block) - 1);
    return kGrownStart + (block - kGrowingBlocks) * uint64_t{kBlockSize};
  }
  static uint64_t Size(size_t block) {
    return block < kGrowingBlocks ? uint64_t{kFirstBlockSize} << block : kBlockSize;
  }
  static uint64_t End(size_t block) { return Start(block) + Size(block); }
  static size_t BlockOf(uint64_t place) {
    if (place < kGrownStart)
      return static_cast<size_t>(std::bit_width((place / kFirstBlockSize) + 1) - 1);
    return kGrowingBlocks + static_cast<size_t>((place - kGrownStart) / kBlockSize);
  }

  const char* Address(TPlace place) const {
    const size_t block = BlockOf(place);
    return FBlocks[block].get() + (place - Start(block));
  }

  TPlace StoreApart(std::string_view text) {
    auto copy = std::make_unique_for_overwrite<char[]>(text.size());
    std::memcpy(copy.get(), text.data(), text.size());
    FApart.push_back(TApart{std::move(copy), text.size()});
    return static_cast<TPlace>(kApart + FApart.size() - 1);
  }

  std::vector<std::unique_ptr<char[]>> FBlocks;  // by number; null until used
  std::vector<TApart> FApart;
  uint64_t FNext = 0;  // where the next text goes
};

}  // namespace

class TDistinctTexts::TCounter {
 public:
  explicit TCounter(const TCollation& collation);
  void Add(std::string_view text);
  int32_t Count();
  std::vector<TRepeated> Repeated();
  void Clear();

 private:
  using TPlace = TArena::TPlace;
  // A distinct text: the spelling met first, and its count.
  struct TEntry {
    TPlace Text;
    int32_t Count;
  };
  // A spelling looked up as it is, and the entry it counts for.
  struct TSpelling {
    TPlace Text;
    uint32_t Entry;
  };

  static constexpr size_t kNotPlain = SIZE_MAX;
  // Writes the lower-case form of text to folded, which has room for text:
  // plain bytes in lower case, plain wide characters by their stand-ins
  // (TCollation::WideStandIns), never longer than text. Returns its length,
  // or kNotPlain when text is not plain; folded then holds no meaning.
  size_t Fold(std::string_view text, char* folded) const;
  // Whether a stored plain text has the lower-case form folded.
  bool FoldsTo(std::string_view stored, std::string_view folded);
  // Counts the gathered texts.
  void CountGathered();
  void CountOne(std::string_view text, std::string_view folded, bool plain, uint32_t hash);
  TEntry& Entry(uint32_t entry) {
    return FEntryChunks[entry / kChunkEntries][entry % kChunkEntries];
  }
  std::string_view TextOf(uint32_t entry) { return FArena.View(Entry(entry).Text); }
  uint32_t NewEntry(TPlace stored);
  void CountAt(uint32_t entry);
  // The entry of a stored text, found or made by its sort key, and counted.
  uint32_t EntryByKey(TPlace stored);
  // From the first text that is not plain on, every entry has a sort key.
  void KeyEveryEntry();

  const TCollation& FCollation;
  const TCollation::TWideStandIns& FWideStandIns;

  // Plain bytes to their lower case; 0 for every byte that is not plain.
  std::array<char, 256> FFold{};
  // Whether every printable ASCII character is plain, so that eight bytes at
  // a time can be checked and lower-cased.
  bool FPrintablePlain = false;
  // The texts gathered, their lower-case forms (a 0 byte where not plain)
  // and where each ends.
  std::string FGathered;
  std::string FGatheredFolded;
  std::string FScratch;  // a stored text's lower-case form, to compare
  std::vector<uint32_t> FGatheredEnds;
  TArena FArena;
  // Entries are kept in chunks that never move: a growing array would leave
  // the pages of its earlier copies behind.
  std::vector<std::unique_ptr<TEntry[]>> FEntryChunks;
  uint32_t FFirstChunkEntries = 0;  // room in the first chunk, which grows
  uint32_t FEntryCount = 0;
  std::vector<TPlace> FKeys;  // per entry, once keyed
  std::vector<TSpelling> FSpellings;
  // Entries whose first spelling is plain, by its lower-case form.
  THashIndex FByFolded;
  // Every other spelling met, as it is: FSpellings.
  THashIndex FBySpelling;
  // Entries by sort key, once keyed.
  THashIndex FByKey;
  bool FKeyed = false;
};

TDistinctTexts::TCounter::TCounter(const TCollation& collation)
    : FCollation(collation), FWideStandIns(collation.WideStandIns()) {
  FPrintablePlain = true;
  for (int c = 1; c < 128; ++c) {
    const bool plain = collation.IsPlainAscii(static_cast<unsigned char>(c));
    if (c >= 0x20 && c < 0x7F) FPrintablePlain = FPrintablePlain && plain;
    if (plain)
      FFold[static_cast<size_t>(c)] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
  }
}

size_t TDistinctTexts::TCounter::Fold(std::string_view text, char* folded) const {
  size_t i = 0;
  size_t o = 0;
  while (i < text.size()) {
    if (FPrintablePlain) {
      // Printable ASCII, mostly all of a text, folds by words; the byte that
      // stops the words takes the byte path below.
      const size_t lowered = LowerPrintableAscii(text.substr(i), folded + o);
      i += lowered;
      o += lowered;
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

bool TDistinctTexts::TCounter::FoldsTo(std::string_view stored, std::string_view folded) {
  FScratch.resize(stored.size());
  return Fold(stored, FScratch.data()) == folded.size() &&
         std::memcmp(FScratch.data(), folded.data(), folded.size()) == 0;
}

void TDistinctTexts::TCounter::Clear() {
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

void TDistinctTexts::TCounter::Add(std::string_view text) {
  FGathered.append(text);
  FGatheredEnds.push_back(static_cast<uint32_t>(FGathered.size()));
  if (FGatheredEnds.size() == kGatherTexts || FGathered.size() >= kGatherBytes) CountGathered();
}

int32_t TDistinctTexts::TCounter::Count() {
  CountGathered();
  return static_cast<int32_t>(FEntryCount);
}

void TDistinctTexts::TCounter::CountGathered() {
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
    // too, and half as far again the entry's text, as a text met before is
    // compared with it.
    if (const size_t ahead = t + kPrefetchDistance;
        kShortcuts && ahead < count && folds[ahead] != kNotPlain) {
      const uint32_t entry = FByFolded.Peek(hashes[ahead]);
      if (entry != THashIndex::kNone) __builtin_prefetch(&Entry(entry));
    }
    if (const size_t ahead = t + kPrefetchDistance / 2;
        kShortcuts && ahead < count && folds[ahead] != kNotPlain) {
      const uint32_t entry = FByFolded.Peek(hashes[ahead]);
      if (entry != THashIndex::kNone) FArena.Prefetch(Entry(entry).Text);
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

void TDistinctTexts::TCounter::CountOne(std::string_view text, std::string_view folded, bool plain,
                                        uint32_t hash) {
  if (plain) {
    // The same spelling is the usual find; another one is folded to tell.
    const uint32_t known = FByFolded.Find(hash, [this, text, folded](uint32_t entry) {
      const std::string_view stored = TextOf(entry);
      return stored == text || FoldsTo(stored, folded);
    });
    if (known != THashIndex::kNone) {
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
  const uint32_t known = FBySpelling.Find(spellingHash, [this, text](uint32_t spelling) {
    return FArena.View(FSpellings[spelling].Text) == text;
  });
  if (known != THashIndex::kNone) {
    CountAt(FSpellings[known].Entry);
    return;
  }
  KeyEveryEntry();
  const TPlace stored = FArena.Store(text);
  const uint32_t entries = FEntryCount;
  const uint32_t entry = EntryByKey(stored);
  if (plain && FEntryCount > entries) {
    FByFolded.Insert(hash, entry);
  } else {
    FSpellings.push_back(TSpelling{stored, entry});
    FBySpelling.Insert(spellingHash, static_cast<uint32_t>(FSpellings.size() - 1));
  }
}

uint32_t TDistinctTexts::TCounter::NewEntry(TPlace stored) {
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
  Entry(FEntryCount) = TEntry{stored, 1};
  return FEntryCount++;
}

void TDistinctTexts::TCounter::CountAt(uint32_t entry) {
  Entry(entry).Count = Incremented(Entry(entry).Count);
}

uint32_t TDistinctTexts::TCounter::EntryByKey(TPlace stored) {
  const std::string key = FCollation.SortKey(FArena.View(stored));
  const uint32_t hash = HashBytes(key);
  const uint32_t known =
      FByKey.Find(hash, [this, &key](uint32_t entry) { return FArena.View(FKeys[entry]) == key; });
  if (known != THashIndex::kNone) {
    CountAt(known);
    return known;
  }
  const uint32_t entry = NewEntry(stored);
  FKeys.push_back(FArena.Store(key));
  FByKey.Insert(hash, entry);
  return entry;
}

void TDistinctTexts::TCounter::KeyEveryEntry() {
  if (FKeyed) return;
  FKeyed = true;
  for (uint32_t entry = 0; entry < FEntryCount; ++entry) {
    FKeys.push_back(FArena.Store(FCollation.SortKey(TextOf(entry))));
    FByKey.Insert(HashBytes(FArena.View(FKeys.back())), entry);
  }
}

std::vector<TDistinctTexts::TRepeated> TDistinctTexts::TCounter::Repeated() {
  CountGathered();
  std::vector<std::pair<std::string, uint32_t>> keyed;
  for (uint32_t entry = 0; entry < FEntryCount; ++entry) {
    if (Entry(entry).Count <= 1) continue;
    keyed.emplace_back(
        FKeyed ? std::string(FArena.View(FKeys[entry])) : FCollation.SortKey(TextOf(entry)), entry);
  }
  // Sort keys compare as unsigned bytes, as std::string does.
  std::sort(keyed.begin(), keyed.end());
  std::vector<TRepeated> repeated;
  repeated.reserve(keyed.size());
  for (const auto& [key, entry] : keyed)
    repeated.push_back(TRepeated{TextOf(entry), Entry(entry).Count});
  return repeated;
}

TDistinctTexts::TDistinctTexts(const TCollation& collation)
    : FCounter(std::make_unique<TCounter>(collation)) {}

TDistinctTexts::~TDistinctTexts() = default;

void TDistinctTexts::Add(std::string_view text) {
  FCounter->Add(text);
}

int32_t TDistinctTexts::Count() {
  return FCounter->Count();
}

std::vector<TDistinctTexts::TRepeated> TDistinctTexts::Repeated() {
  return FCounter->Repeated();
}

void TDistinctTexts::Clear() {
  FCounter->Clear();
}

}  // namespace lumbra
