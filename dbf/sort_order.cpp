#include "dbf/sort_order.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <memory>
#include <numeric>
#include <string>

#include "base/progress.h"
#include "base/text.h"
#include "dbf/dbf_error.h"
#include "dbf/filter_values.h"

namespace lumbra {

namespace {

// Pieces of the order std::sort takes whole between two reports.
constexpr ptrdiff_t kSortPiece = 1 << 16;

// Numeric fields this wide may hold numbers that differ beyond a double's
// precision; their values are ranked exactly instead.
constexpr uint32_t kWidestDoubleExactField = 15;

[[noreturn]] void Fail(std::string_view text, size_t offset, const std::string& problem) {
  throw EDbfError(
      TDbfErrorKind::Syntax,
      "Sort error at position " + std::to_string(CharacterPosition(text, offset)) + ": " + problem);
}

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) < 33;
}

// The bounds of part's text without its leading and trailing blanks.
void Trim(std::string_view text, size_t& begin, size_t& end) {
  while (begin < end && IsBlank(text[begin]))
    ++begin;
  while (end > begin && IsBlank(text[end - 1]))
    --end;
}

// Sorts [first, last) by less, a strict order under which no two slots are
// equal, as std::sort does, reporting how far it has got (done of total
// slots in place) between pieces: the range is split around a median of
// three until its pieces are small enough for std::sort to take them in a
// few milliseconds. A count of comparisons would cost every comparison a
// store; the splits cost what std::sort's own first passes would.
template <class Less>
void SortReporting(uint32_t* first, uint32_t* last, const Less& less, uint64_t& done,
                   uint64_t total) {
  // Past this many splits the input defeats the median of three: std::sort
  // takes the rest whole.
  auto splits = 2 * static_cast<int>(std::bit_width(static_cast<uint64_t>(last - first)));
  while (last - first > kSortPiece && splits-- > 0) {
    const uint32_t a = *first, b = first[(last - first) / 2], c = *(last - 1);
    const uint32_t pivot = less(a, b) ? (less(b, c) ? b : (less(a, c) ? c : a))
                                      : (less(a, c) ? a : (less(b, c) ? c : b));
    // Three distinct slots: each side of the split gets at least one.
    uint32_t* cut = std::partition(first, last, [&](uint32_t x) { return less(x, pivot); });
    ReportProgress(done, total);
    if (cut - first < last - cut) {
      SortReporting(first, cut, less, done, total);
      first = cut;
    } else {
      SortReporting(cut, last, less, done, total);
      last = cut;
    }
  }
  std::sort(first, last, less);
  done += static_cast<uint64_t>(last - first);
  ReportProgress(done, total);
}

// Ranks ids so that ranks follow before; ids that are neither before nor
// after each other share a rank. Returns each id's rank, counting from 1.
template <class Before>
std::vector<uint32_t> DenseRanks(size_t count, Before before) {
  std::vector<uint32_t> ids(count);
  std::iota(ids.begin(), ids.end(), 0u);
  // Ids that tie keep their order, which makes the order strict; a column of
  // millions of distinct values takes a while, said as the sort goes.
  uint64_t done = 0;
  SortReporting(
      ids.data(), ids.data() + count,
      [&before](uint32_t a, uint32_t b) { return before(a, b) || (!before(b, a) && a < b); }, done,
      count);
  std::vector<uint32_t> ranks(count);
  uint32_t rank = 0;
  for (size_t i = 0; i < count; ++i) {
    if (i == 0 || before(ids[i - 1], ids[i])) ++rank;
    ranks[ids[i]] = rank;
  }
  return ranks;
}

uint64_t OrderedBits(int64_t value) {
  // Keys count from 1; 0 is Null. The smallest value shares key 1 with the
  // next one, which no real table tells apart.
  return std::max<uint64_t>(1, static_cast<uint64_t>(value) ^ (uint64_t{1} << 63));
}

uint64_t OrderedBits(double value) {
  if (value == 0) value = 0;  // -0 sorts as 0
  const auto bits = std::bit_cast<uint64_t>(value);
  const uint64_t key = (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
  return std::max<uint64_t>(1, key);
}

// One sort column's keys, one per slot: 0 for Null, then ascending with the
// value. Ranked values (texts, exact decimals) and logicals take four bytes
// a key, the others eight.
class TColumnKeys {
 public:
  TColumnKeys(const TDbfTable& table, const TSortKey& key, size_t slots)
      : FField(key.Field),
        FFamily(FamilyOf(table.Fields()[key.Field])),
        FExactDecimal(table.Fields()[key.Field].Kind == TFieldKind::Numeric &&
                      table.Fields()[key.Field].Length > kWidestDoubleExactField),
        FDescending(key.Descending) {
    // Every slot is stored before it is read: no need to clear the memory.
    if (IsSmall()) {
      FSmall = std::make_unique_for_overwrite<uint32_t[]>(slots);
    } else {
      FLarge = std::make_unique_for_overwrite<uint64_t[]>(slots);
    }
  }

  // Stores the key of slot from record.
  void Store(TDbfTable& table, uint32_t slot, const uint8_t* record, Variant& scratch) {
    if (FFamily == TValueFamily::Text) {
      // A character field's texts are told apart by their bytes, which need
      // decoding only the first time they come.
      std::string_view bytes;
      switch (RawText(table, record, FField, bytes)) {
        case TRawText::Null:
          FSmall[slot] = 0;
          return;
        case TRawText::Text: {
          bool isNew;
          FSmall[slot] = FDistinct.IdOf(bytes, isNew) + 1;
          if (isNew) {
            table.DecodeField(record, FField, scratch);
            FTexts.Add(WithoutTrailingBlanks(scratch.Text()));
          }
          return;
        }
        case TRawText::Other:
          break;
      }
    }
    table.DecodeField(record, FField, scratch);
    Store(slot, scratch);
  }

  // Turns the numbers of distinct values into ranks, once every slot is stored.
  void Rank(const TCollation& collation, uint32_t slots) {
    if (FDistinct.Count() == 0) return;
    std::vector<uint32_t> ranks;
    if (FFamily == TValueFamily::Text) {
      // Texts that are not a character field's are their own numbers' bytes.
      const bool decoded = FTexts.Count() != 0;
      TByteStrings keys;
      for (uint32_t id = 0; id < FDistinct.Count(); ++id) {
        if (id % kProgressRecords == 0) ReportProgress(id, FDistinct.Count());
        keys.Add(collation.SortKey(decoded ? FTexts.At(id) : FDistinct.At(id)));
      }
      FDistinct = {};
      FTexts = {};
      ranks =
          DenseRanks(keys.Count(), [&](uint32_t a, uint32_t b) { return keys.At(a) < keys.At(b); });
    } else {
      const auto decimal = [&](uint32_t id) {
        const std::string_view bytes = FDistinct.At(id);
        TDecimal d;
        std::memcpy(&d.Mantissa, bytes.data(), sizeof d.Mantissa);
        d.Scale = static_cast<uint8_t>(bytes[sizeof d.Mantissa]);
        d.Negative = bytes[sizeof d.Mantissa + 1] != 0;
        return d;
      };
      ranks = DenseRanks(FDistinct.Count(), [&](uint32_t a, uint32_t b) {
        return CompareDecimals(decimal(a), decimal(b)) < 0;
      });
      FDistinct = {};
    }
    FMaxKey = ranks.empty() ? 0 : *std::max_element(ranks.begin(), ranks.end());
    for (uint32_t slot = 0; slot < slots; ++slot) {
      if (slot % kProgressRecords == 0) ReportProgress(slot, slots);
      if (FSmall[slot] != 0) FSmall[slot] = ranks[FSmall[slot] - 1];
    }
  }

  bool IsSmall() const {
    return FFamily == TValueFamily::Text || FFamily == TValueFamily::Logical || FExactDecimal;
  }
  // The largest key of a small column, once ranked.
  uint32_t MaxKey() const { return FFamily == TValueFamily::Logical ? 2 : FMaxKey; }
  uint64_t Key(uint32_t slot) const { return FSmall ? FSmall[slot] : FLarge[slot]; }
  bool Descending() const { return FDescending; }

 private:
  void Store(uint32_t slot, const Variant& value) {
    if (value.IsNull()) {
      if (FSmall) {
        FSmall[slot] = 0;
      } else {
        FLarge[slot] = 0;
      }
      return;
    }
    bool isNew;
    switch (FFamily) {
      case TValueFamily::Text:
        FSmall[slot] = FDistinct.IdOf(WithoutTrailingBlanks(value.Text()), isNew) + 1;
        return;
      case TValueFamily::Logical:
        FSmall[slot] = value.Boolean() ? 2 : 1;
        return;
      case TValueFamily::Date:
        FLarge[slot] = OrderedBits(TimeLineMilliseconds(value.Date()));
        return;
      case TValueFamily::Number:
        break;
      case TValueFamily::Binary:
        return;
    }
    switch (value.Type()) {
      case TVarType::varDecimal:
        if (FExactDecimal) {
          const TDecimal& d = value.Decimal();
          char bytes[sizeof d.Mantissa + 2];
          std::memcpy(bytes, &d.Mantissa, sizeof d.Mantissa);
          bytes[sizeof d.Mantissa] = static_cast<char>(d.Scale);
          bytes[sizeof d.Mantissa + 1] = d.Negative ? 1 : 0;
          FSmall[slot] = FDistinct.IdOf(std::string_view(bytes, sizeof bytes), isNew) + 1;
        } else {
          FLarge[slot] = OrderedBits(DecimalToDouble(value.Decimal()));
        }
        return;
      case TVarType::varDouble:
        FLarge[slot] = OrderedBits(value.Double());
        return;
      case TVarType::varInteger:
        FLarge[slot] = OrderedBits(int64_t{value.Integer()});
        return;
      default:
        FLarge[slot] = OrderedBits(value.Int64());
        return;
    }
  }

  size_t FField;
  TValueFamily FFamily;
  bool FExactDecimal;
  bool FDescending;
  std::unique_ptr<uint32_t[]> FSmall;
  std::unique_ptr<uint64_t[]> FLarge;
  uint32_t FMaxKey = 0;
  TDistinctBytes FDistinct;
  TByteStrings FTexts;  // the decoded text of each distinct value, by its number
};

// Slots 0 to count - 1 in the order of columns; slots that tie on every
// column keep their order.
std::vector<uint32_t> OrderOfSlots(const std::vector<TColumnKeys>& columns, uint32_t count) {
  const auto before = [&columns](size_t from) {
    return [&columns, from](uint32_t a, uint32_t b) {
      for (size_t c = from; c < columns.size(); ++c) {
        const uint64_t x = columns[c].Key(a), y = columns[c].Key(b);
        if (x != y) return (x < y) != columns[c].Descending();
      }
      return a < b;
    };
  };
  std::vector<uint32_t> order(count);
  uint64_t done = 0;
  const TColumnKeys& first = columns.front();
  // A first column of few distinct keys is bucketed, which keeps slots in
  // order within a bucket and leaves only the buckets to sort by the other
  // columns; its counters must stay small beside the slots.
  if (!first.IsSmall() || first.MaxKey() > count / 8) {
    std::iota(order.begin(), order.end(), 0u);
    SortReporting(order.data(), order.data() + count, before(0), done, count);
    return order;
  }
  const uint32_t maxKey = first.MaxKey();
  const auto bucket = [&](uint32_t slot) {
    const auto key = static_cast<uint32_t>(first.Key(slot));
    return first.Descending() ? maxKey - key : key;
  };
  std::vector<uint32_t> ends(maxKey + 2, 0);
  for (uint32_t slot = 0; slot < count; ++slot) {
    if (slot % kProgressRecords == 0) ReportProgress(done, count);
    ++ends[bucket(slot) + 1];
  }
  for (size_t b = 1; b < ends.size(); ++b)
    ends[b] += ends[b - 1];
  // Each bucket's start moves to its end as it fills.
  for (uint32_t slot = 0; slot < count; ++slot) {
    if (slot % kProgressRecords == 0) ReportProgress(done, count);
    order[ends[bucket(slot)]++] = slot;
  }
  if (columns.size() > 1) {
    uint32_t begin = 0;
    const auto less = before(1);
    for (uint32_t b = 0; b <= maxKey; ++b) {
      if (ends[b] - begin > 1) {
        SortReporting(order.data() + begin, order.data() + ends[b], less, done, count);
      }
      begin = ends[b];
    }
  }
  return order;
}

// The records of the cursor in the order of keys. records, ascending, are
// the ones to order; nullptr stands for the cursor's records, which must be
// the table's live records in file order. Keys are read in file order, and a
// record's slot is its place among the records to order.
std::vector<uint32_t> SortedRecords(TDbfCursor& cursor, const std::vector<uint32_t>* records,
                                    const std::vector<TSortKey>& keys,
                                    const TCollation& collation) {
  TDbfTable& table = cursor.Table();
  const uint32_t count =
      records != nullptr ? static_cast<uint32_t>(records->size()) : cursor.CountSayingHowFar();
  std::vector<TColumnKeys> columns;
  columns.reserve(keys.size());
  for (const TSortKey& key : keys)
    columns.emplace_back(table, key, count);
  Variant scratch;
  const auto store = [&](uint32_t slot, const uint8_t* record) {
    for (TColumnKeys& column : columns)
      column.Store(table, slot, record, scratch);
  };
  if (records != nullptr) {
    for (uint32_t slot = 0; slot < count; ++slot) {
      if (slot % kProgressRecords == 0) ReportProgress(slot, count);
      store(slot, table.RecordAt((*records)[slot]));
    }
  } else {
    uint32_t slot = 0;
    for (uint32_t index = 0; slot < count; ++index) {
      if (index % kProgressRecords == 0) ReportProgress(slot, count);
      const uint8_t* record = table.RecordAt(index);
      if (!table.IsHidden(record)) store(slot++, record);
    }
  }
  for (TColumnKeys& column : columns)
    column.Rank(collation, count);
  std::vector<uint32_t> order = OrderOfSlots(columns, count);
  columns.clear();
  // The slots' records: the cursor's, which it lists in one walk.
  const std::vector<uint32_t> live =
      records != nullptr ? std::vector<uint32_t>() : cursor.TakeOrder();
  const std::vector<uint32_t>& slotRecords = records != nullptr ? *records : live;
  for (uint32_t i = 0; i < count; ++i) {
    if (i % kProgressRecords == 0) ReportProgress(i, count);
    order[i] = slotRecords[order[i]];
  }
  return order;
}

}  // namespace

std::vector<TSortKey> ParseSortText(std::string_view text, const TDbfTable& table) {
  std::vector<TSortKey> keys;
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) {
    Fail(text, nul, "a NUL character (code 0) cannot be part of a sort");
  }
  size_t blank = 0;
  while (blank < text.size() && IsBlank(text[blank]))
    ++blank;
  if (blank == text.size()) return keys;
  size_t partStart = 0;
  while (partStart <= text.size()) {
    // A part runs to the next "," outside brackets.
    size_t end = partStart;
    bool bracketed = false;
    while (end < text.size() && (bracketed || text[end] != ',')) {
      if (text[end] == '[') bracketed = true;
      if (text[end] == ']') bracketed = false;
      ++end;
    }
    size_t begin = partStart, stop = end;
    Trim(text, begin, stop);
    if (begin == stop) Fail(text, begin, "a column name is missing");
    size_t nameBegin = begin, nameEnd = stop;
    bool descending = false;
    size_t directionAt = stop;
    if (text[begin] == '[') {
      const size_t close = text.find(']', begin);
      if (close == std::string_view::npos || close >= stop) {
        Fail(text, begin, "the column name in brackets that starts here has no closing ']'");
      }
      nameBegin = begin + 1;
      nameEnd = close;
      directionAt = close + 1;
      while (directionAt < stop && IsBlank(text[directionAt]))
        ++directionAt;
    } else {
      // The last word, after a blank, may be the direction.
      size_t word = stop;
      while (word > begin && !IsBlank(text[word - 1]))
        --word;
      const std::string_view last = text.substr(word, stop - word);
      if (word > begin &&
          (EqualsIgnoringAsciiCase(last, "ASC") || EqualsIgnoringAsciiCase(last, "DESC"))) {
        directionAt = word;
        nameEnd = word;
        Trim(text, nameBegin, nameEnd);
      }
    }
    const std::string_view direction = text.substr(directionAt, stop - directionAt);
    if (EqualsIgnoringAsciiCase(direction, "DESC")) {
      descending = true;
    } else if (!direction.empty() && !EqualsIgnoringAsciiCase(direction, "ASC")) {
      Fail(text, directionAt,
           "expected ASC, DESC or ',' after the column, found '" + Abbreviated(direction) + "'");
    }
    const std::string_view name = text.substr(nameBegin, nameEnd - nameBegin);
    const int field = FindColumn(table, name);
    if (field < 0) Fail(text, nameBegin, "unknown column '" + Abbreviated(name) + "'");
    const TDbfField& f = table.Fields()[static_cast<size_t>(field)];
    const std::string& fieldName = table.FieldNames()[static_cast<size_t>(field)];
    if (f.IsMemo() && FamilyOf(f) == TValueFamily::Text) {
      Fail(text, nameBegin, "column '" + fieldName + "' is a memo, which cannot be sorted");
    }
    if (FamilyOf(f) == TValueFamily::Binary) {
      Fail(text, nameBegin, "column '" + fieldName + "' holds binary data, which cannot be sorted");
    }
    const bool named = std::any_of(keys.begin(), keys.end(), [&](const TSortKey& k) {
      return k.Field == static_cast<size_t>(field);
    });
    if (!named) keys.push_back({static_cast<size_t>(field), descending});
    partStart = end + 1;
  }
  return keys;
}

void ApplySort(TDbfCursor& cursor, const std::vector<TSortKey>& keys, const TCollation& collation) {
  if (!cursor.HasOrder()) {
    if (!keys.empty()) cursor.SetOrder(SortedRecords(cursor, nullptr, keys, collation));
    return;
  }
  std::vector<uint32_t> records = cursor.TakeOrder();
  std::sort(records.begin(), records.end());
  if (keys.empty()) {
    cursor.SetOrder(std::move(records));
    return;
  }
  try {
    cursor.SetOrder(SortedRecords(cursor, &records, keys, collation));
  } catch (...) {
    cursor.SetOrder(std::move(records));
    throw;
  }
}

}  // namespace lumbra
