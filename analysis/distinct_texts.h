// The distinct texts of a column with the number of records that gave each:
// the counting that a sorted TStringList does with IndexOf, Add and SetTagAt,
// at a fraction of its cost. Two texts are one distinct text when the
// collation holds them equal, that is when their sort keys are equal, and the
// sort keys' byte order is the list's order. Texts are therefore looked up by
// hash, and sort keys are computed only where they are needed: texts made of
// plain characters (TCollation::IsPlainAscii, TCollation::WideStandIns) are
// equal exactly when their lower-case forms are, so they are looked up by
// that form; once any other text is met, by sort key, computed once per
// spelling. The order is needed only for the texts met more than once, so it
// is worked out at the end for them alone.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/collation.h"

namespace lumbra {

class TDistinctTexts {
 public:
  struct TRepeated {
    std::string_view Text;  // the spelling met first
    int32_t Count = 0;
  };

  // collation must outlive the counter.
  explicit TDistinctTexts(const TCollation& collation);

  // Counts one more record that gave text. A count wraps around past the
  // largest 32-bit value, as a 32-bit tag would. Texts are gathered and
  // counted a batch at a time, so the look-ups of a batch overlap.
  void Add(std::string_view text);
  // The number of distinct texts. Counts the texts still gathered.
  int32_t Count();
  // The texts whose count is above 1, in the collation's order. Counts the
  // texts still gathered. The views stay valid until the counter is cleared
  // or destroyed.
  std::vector<TRepeated> Repeated();
  // Forgets every text, keeping the memory for the next column: fresh
  // memory costs a page fault per page, which dominates on large columns.
  void Clear();

 private:
  // Texts copied into blocks that never move, so views into them stay valid.
  class TArena {
   public:
    std::string_view Store(std::string_view text);
    void Clear();

   private:
    std::vector<std::unique_ptr<char[]>> FBlocks;
    std::vector<size_t> FSizes;
    size_t FBlock = 0;  // the block being filled
    size_t FUsed = 0;   // bytes used in it
  };

  // Open addressing over 32-bit hashes; what a slot refers to, and how its
  // text is compared, is the caller's.
  class TIndex {
   public:
    static constexpr uint32_t kNone = UINT32_MAX;
    // The first slot's reference, for hash, that same accepts; kNone if none.
    template <class Same>
    uint32_t Find(uint32_t hash, Same same) const;
    // Asks the processor to fetch the slot where a look-up of hash starts.
    void Prefetch(uint32_t hash) const;
    // The reference in that slot when its hash is hash, else kNone: a cheap
    // guess at what Find will give, for fetching ahead.
    uint32_t Peek(uint32_t hash) const;
    // Requires that Find gave kNone.
    void Insert(uint32_t hash, uint32_t reference);
    // Back to a small table, keeping the memory: a large table left over from
    // a large column would spread a small column's few texts over many pages.
    void Clear();

   private:
    struct TSlot {
      uint32_t Hash = 0;
      uint32_t Reference = kNone;
    };
    // Where a look-up of hash starts: the hash scaled to the table, so that
    // slots stay in hash order and growing copies them in one sweep.
    size_t Home(uint32_t hash) const;
    void Place(TSlot slot);
    void Grow();
    std::vector<TSlot> FSlots;
    size_t FUsed = 0;
  };

  struct TEntry {
    const char* Text;  // the spelling met first, in the arena
    uint32_t Length;
    int32_t Count;
    std::string_view View() const { return {Text, Length}; }
  };
  // A spelling looked up as it is, and the entry it counts for.
  struct TSpelling {
    std::string_view Text;
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
  uint32_t NewEntry(std::string_view stored);
  void CountAt(uint32_t entry);
  // The entry of a stored text, found or made by its sort key, and counted.
  uint32_t EntryByKey(std::string_view stored);
  // From the first text that is not plain on, every entry has a sort key.
  void KeyEveryEntry();

  const TCollation& FCollation;
  const TCollation::TWideStandIns& FWideStandIns;
  // Entries are kept in chunks that never move: a growing array would leave
  // the pages of its earlier copies behind.
  static constexpr uint32_t kChunkEntries = 1 << 16;

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
  std::vector<std::unique_ptr<TEntry[]>> FEntryChunks;
  uint32_t FFirstChunkEntries = 0;  // room in the first chunk, which grows
  uint32_t FEntryCount = 0;
  std::vector<std::string_view> FKeys;  // per entry, once keyed
  std::vector<TSpelling> FSpellings;
  // Entries whose first spelling is plain, by its lower-case form.
  TIndex FByFolded;
  // Every other spelling met, as it is: FSpellings.
  TIndex FBySpelling;
  // Entries by sort key, once keyed.
  TIndex FByKey;
  bool FKeyed = false;
};

}  // namespace lumbra
