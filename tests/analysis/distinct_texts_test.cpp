#include "analysis/distinct_texts.h"

#include <gtest/gtest.h>

#include <random>

#include "analysis/string_list.h"

namespace lumbra {
namespace {

struct TCounted {
  std::string Text;
  int32_t Count;
  bool operator==(const TCounted&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TCounted& c) {
  return out << "[" << c.Text << "] = " << c.Count;
}

std::vector<TCounted> Repeated(TDistinctTexts& distinct) {
  std::vector<TCounted> counted;
  for (const TDistinctTexts::TRepeated& r : distinct.Repeated())
    counted.push_back({std::string(r.Text), r.Count});
  return counted;
}

// What the distinct count means: a sorted string list that adds each new text
// with tag 1 and adds 1 to the tag of a text found.
struct TListCount {
  explicit TListCount(const TCollation& collation) : List(collation) { List.SetSorted(); }
  void Add(const std::string& text) {
    const int32_t found = List.IndexOf(text);
    if (found == -1) {
      List.Add(text, 1);
    } else {
      List.SetTagAt(found, List.TagAt(found) + 1);
    }
  }
  std::vector<TCounted> Repeated() const {
    std::vector<TCounted> counted;
    for (int32_t i = 0; i < List.Count(); ++i) {
      if (List.TagAt(i) > 1) counted.push_back({List.TextAt(i), List.TagAt(i)});
    }
    return counted;
  }
  TStringList List;
};

TEST(DistinctTextsTest, CaseVariantsCountUnderTheSpellingMetFirst) {
  const TCollation collation("ro_RO");
  TDistinctTexts distinct(collation);
  for (const char* text : {"Cluj", "Turda", "CLUJ", "NULL", "cluj", "null"})
    distinct.Add(text);
  EXPECT_EQ(distinct.Count(), 3);
  EXPECT_EQ(Repeated(distinct), (std::vector<TCounted>{{"Cluj", 3}, {"NULL", 2}}));
}

TEST(DistinctTextsTest, RepeatedTextsComeInCollationOrderNotByCountOrArrival) {
  const TCollation collation("ro_RO");
  TDistinctTexts distinct(collation);
  for (const char* text : {"zeta", "Beta", "beta", "ăla", "zeta", "10", "9", "ALA", "ala", "ĂLA",
                           "9", "zeta", "10", "unic"}) {
    distinct.Add(text);
  }
  EXPECT_EQ(distinct.Count(), 7);
  EXPECT_EQ(Repeated(distinct),
            (std::vector<TCounted>{
                {"10", 2}, {"9", 2}, {"ALA", 2}, {"ăla", 2}, {"Beta", 2}, {"zeta", 3}}));
}

TEST(DistinctTextsTest, TextsThatAreNotPlainMeetTheirPlainEquals) {
  const TCollation collation("");
  // A ligature and a no-break space are other spellings of ff and a space
  // once case is ignored, and a control character is ignored altogether.
  TDistinctTexts plainFirst(collation);
  for (const char* text : {"ff", "a b", "ab", "\xEF\xAC\x80", "FF",
                           "a\xC2\xA0"
                           "B",
                           "a\x01"
                           "b"}) {
    plainFirst.Add(text);
  }
  EXPECT_EQ(Repeated(plainFirst), (std::vector<TCounted>{{"a b", 2}, {"ab", 2}, {"ff", 3}}));

  TDistinctTexts plainAfter(collation);
  for (const char* text : {"\xEF\xAC\x80", "ff", "FF", "Ff"})
    plainAfter.Add(text);
  EXPECT_EQ(Repeated(plainAfter), (std::vector<TCounted>{{"\xEF\xAC\x80", 4}}));
}

char32_t StandIn(const TCollation& collation, char32_t c) {
  return collation.WideStandIns()[c - TCollation::kFirstWide];
}

TEST(DistinctTextsTest, WideLettersStandInForTheirEquals) {
  const TCollation collation("ro_RO");
  // Romanian weighs its letters as letters of their own, and holds the
  // cedilla and comma forms of s and t equal; the feminine ordinal is an a.
  EXPECT_NE(StandIn(collation, U'ş'), 0U);
  EXPECT_EQ(StandIn(collation, U'ş'), StandIn(collation, U'Ș'));
  EXPECT_EQ(StandIn(collation, U'ț'), StandIn(collation, U'Ţ'));
  EXPECT_NE(StandIn(collation, U'ă'), StandIn(collation, U'â'));
  EXPECT_EQ(StandIn(collation, U'ª'), U'a');
  // A letter weighed as a base letter and an accent stands for itself and
  // its other case. An ignored soft hyphen and a combining mark have no
  // stand-in.
  EXPECT_EQ(StandIn(collation, U'é'), StandIn(collation, U'É'));
  EXPECT_NE(StandIn(collation, U'é'), 0U);
  EXPECT_NE(StandIn(collation, U'é'), U'e');
  EXPECT_EQ(StandIn(collation, U'\u00AD'), 0U);
  EXPECT_EQ(StandIn(collation, U'\u0306'), 0U);

  TDistinctTexts distinct(collation);
  for (const char* text : {"Ştefan", "Băr", "ȘTEFAN", "ª", "bar", "ştefan", "BĂR", "a", "BAR"})
    distinct.Add(text);
  EXPECT_EQ(distinct.Count(), 4);
  EXPECT_EQ(Repeated(distinct),
            (std::vector<TCounted>{{"ª", 2}, {"bar", 2}, {"Băr", 2}, {"Ştefan", 3}}));
}

TEST(DistinctTextsTest, ClearForgetsEveryText) {
  const TCollation collation("");
  TDistinctTexts distinct(collation);
  for (int i = 0; i < 5000; ++i)
    distinct.Add(std::to_string(i % 2500));
  distinct.Add("\xEF\xAC\x80");
  EXPECT_EQ(distinct.Count(), 2501);
  distinct.Clear();
  EXPECT_EQ(distinct.Count(), 0);
  for (const char* text : {"b", "a", "B"})
    distinct.Add(text);
  EXPECT_EQ(distinct.Count(), 2);
  EXPECT_EQ(Repeated(distinct), (std::vector<TCounted>{{"b", 2}}));
}

TEST(DistinctTextsTest, TextsOfEveryLengthKeepTheirBytes) {
  // Lengths across the length bytes' steps, across the blocks, and beyond a
  // block, which are kept apart; a byte that tells texts apart at each end.
  const TCollation collation("");
  TListCount list(collation);
  std::vector<std::string> texts;
  std::mt19937 random(7);
  for (const size_t length :
       {size_t{0}, size_t{1}, size_t{127}, size_t{128}, size_t{16383}, size_t{16384},
        size_t{70'000}, size_t{(1 << 20) - 2}, size_t{(1 << 20) + 5}}) {
    for (int copy = 0; copy < 3; ++copy) {
      texts.emplace_back(length, 'x');
      if (length > 0) texts.back().front() = texts.back().back() = "ab"[random() % 2];
      list.Add(texts.back());
    }
  }
  TDistinctTexts distinct(collation);
  for (int round = 0; round < 2; ++round) {
    distinct.Clear();
    for (const std::string& text : texts)
      distinct.Add(text);
    EXPECT_EQ(distinct.Count(), list.List.Count());
    EXPECT_EQ(Repeated(distinct), list.Repeated());
  }
}

// Random texts from pieces chosen to meet every path: plain ASCII in both
// cases, characters some locales contract (ch, aa, cs, l with a middle dot)
// or ignore (punctuation in Thai), letters with diacritics precomposed and
// decomposed, two-byte letters that equal a plain byte or each other (the
// feminine ordinal and a, the cedilla and comma s, micro and mu, dotless and
// dotted i), a ligature, a no-break space, a soft hyphen, control
// characters, broken UTF-8, and the empty text.
const std::vector<std::string> kEveryPiece = {
    "a",         "A",    "b",  "C",  "h",  "H",        "ch",        "CH",
    "cH",        "aa",   "Aa", "cs", "dz", "s",        "z",         " ",
    "-",         "'",    ".",  "1",  "10", "9",        "\t",        "",
    "ă",         "Ă",    "â",  "ș",  "Ș",  "ş",        "a\xCC\x86", "\xEF\xAC\x80",
    "ff",        "FF",   "v",  "w",  "ø",  "å",        "ss",        "\xC3\x9F",
    "\xC2\xA0",  "\x01", "ª",  "ţ",  "Ț",  "î",        "é",         "l",
    "L",         "·",    "µ",  "μ",  "ı",  "İ",        "i",         "I",
    "ǆ",         "д",    "Д",  "ω",  "Ω",  "\xC2\xAD", "\xC3",      "\xC0\xA1",
    "e\xCC\x81", "É",    "ő",  "e"};
// Pieces that the Romanian collation weighs a character at a time, or as a
// base letter and accents (line breaks and tabs too): there, texts made of
// them alone are counted by their lower-case forms and never by sort key.
const std::vector<std::string> kPlainPieces = {
    "a",        "A", "b", "B", " ", "-", "1", "9", "ă", "Ă", "â", "Â",    "î",  "ș",
    "Ș",        "ş", "Ş", "ț", "ţ", "Ţ", "ª", "µ", "μ", "Μ", "д", "Д",    "ω",  "Ω",
    "\xC2\xA0", "ı", "i", "I", "e", "é", "É", "ó", "ő", "Ő", "á", "\r\n", "\n", "\t"};

std::vector<std::string> RandomTexts(unsigned seed, size_t count,
                                     const std::vector<std::string>& pieces) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> length(0, 3);
  std::uniform_int_distribution<size_t> piece(0, pieces.size() - 1);
  std::vector<std::string> texts;
  for (size_t i = 0; i < count; ++i) {
    std::string text;
    for (size_t n = length(random); n > 0; --n)
      text += pieces[piece(random)];
    texts.push_back(text);
  }
  return texts;
}

class DistinctTextsAsListTest : public ::testing::TestWithParam<const char*> {};

TEST_P(DistinctTextsAsListTest, CountsAsASortedStringListWould) {
  const TCollation collation(GetParam());
  TDistinctTexts distinct(collation);
  for (unsigned seed = 1; seed <= 6; ++seed) {
    distinct.Clear();
    TListCount list(collation);
    for (const std::string& text :
         RandomTexts(seed, 3000, seed <= 3 ? kEveryPiece : kPlainPieces)) {
      distinct.Add(text);
      list.Add(text);
    }
    EXPECT_EQ(distinct.Count(), list.List.Count()) << "seed " << seed;
    EXPECT_EQ(Repeated(distinct), list.Repeated()) << "seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(Locales, DistinctTextsAsListTest,
                         ::testing::Values("", "ro_RO", "cs_CZ", "da_DK", "hu_HU", "th_TH",
                                           "de_DE@collation=phonebook", "ca_ES", "tr_TR", "el_GR"));

}  // namespace
}  // namespace lumbra
