#include "analysis/string_list.h"

#include <gtest/gtest.h>

namespace lumbra {
namespace {

// Romanian, as the program's users have it; the root collation agrees on
// every case below.
const TCollation& Romanian() {
  static const TCollation collation("ro_RO.UTF-8");
  return collation;
}

std::vector<std::string> Texts(const TStringList& list) {
  std::vector<std::string> texts;
  for (int32_t i = 0; i < list.Count(); ++i)
    texts.push_back(list.TextAt(i));
  return texts;
}

TEST(StringListTest, UnsortedLookupIgnoresCaseAndFindsTheFirstEqualEntry) {
  TStringList list(Romanian());
  EXPECT_EQ(list.Add("Abc"), 0);
  EXPECT_EQ(list.Add("x"), 1);
  EXPECT_EQ(list.Add("ABC"), 2);  // unsorted lists keep duplicates
  EXPECT_EQ(list.IndexOf("aBC"), 0);
  EXPECT_EQ(list.IndexOf("X"), 1);
  EXPECT_EQ(list.IndexOf("abd"), -1);
}

TEST(StringListTest, EmptyListsFindNothingInEitherMode) {
  TStringList unsorted(Romanian());
  TStringList sorted(Romanian());
  sorted.SetSorted();
  for (const char* text : {"", "a"}) {
    EXPECT_EQ(unsorted.IndexOf(text), -1);
    EXPECT_EQ(sorted.IndexOf(text), -1);
  }
}

TEST(StringListTest, SortedModeInsertsInCollationOrder) {
  TStringList list(Romanian());
  list.SetSorted();
  EXPECT_EQ(list.Add("b"), 0);
  EXPECT_EQ(list.Add("A"), 0);
  EXPECT_EQ(list.Add("c"), 2);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"A", "b", "c"}));
  // A letter with a breve comes right after its base letter.
  EXPECT_EQ(list.Add("ă"), 1);
  EXPECT_EQ(list.IndexOf("B"), 2);
  EXPECT_EQ(list.IndexOf("bb"), -1);
}

TEST(StringListTest, SortedModeIgnoresACaseVariantKeepingFirstSpellingAndTag) {
  TStringList list(Romanian());
  list.SetSorted();
  list.Add("Cluj", 7);
  list.Add("Arad", 1);
  EXPECT_EQ(list.Add("CLUJ", 9), 1);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"Arad", "Cluj"}));
  EXPECT_EQ(list.TagAt(1), 7);
}

TEST(StringListTest, SettingATagKeepsTheEntryInPlace) {
  TStringList list(Romanian());
  list.SetSorted();
  for (const char* text : {"a", "b", "c"})
    list.Add(text, 1);
  list.SetTagAt(0, -5);
  list.SetTagAt(2, 100);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(list.TagAt(0), -5);
  EXPECT_EQ(list.TagAt(1), 1);
  EXPECT_EQ(list.TagAt(2), 100);
}

TEST(StringListTest, SwitchingSortedModeOnSortsExistingEntries) {
  TStringList list(Romanian());
  list.Add("c", 3);
  list.Add("a", 1);
  list.Add("B", 2);
  list.SetSorted();
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "B", "c"}));
  EXPECT_EQ(list.TagAt(1), 2);
  EXPECT_EQ(list.IndexOf("b"), 1);
}

TEST(StringListTest, RomanianLettersWithDiacriticsEqualTheirCapitals) {
  for (const bool sorted : {false, true}) {
    TStringList list(Romanian());
    if (sorted) list.SetSorted();
    list.Add("mără");
    list.Add("șură");
    list.Add("mara");
    EXPECT_EQ(list.Count(), 3) << "sorted " << sorted;
    EXPECT_NE(list.IndexOf("MĂRĂ"), -1) << "sorted " << sorted;
    EXPECT_EQ(list.TextAt(list.IndexOf("ȘURĂ")), "șură") << "sorted " << sorted;
    // Accents count: mara is not mără.
    EXPECT_NE(list.IndexOf("MARA"), list.IndexOf("MĂRĂ")) << "sorted " << sorted;
  }
}

TEST(StringListTest, TheEmptyTextIsAnEntryLikeAnyOther) {
  TStringList unsorted(Romanian());
  unsorted.Add("x");
  unsorted.Add("");
  EXPECT_EQ(unsorted.IndexOf(""), 1);
  TStringList sorted(Romanian());
  sorted.SetSorted();
  sorted.Add("x");
  EXPECT_EQ(sorted.Add(""), 0);
  EXPECT_EQ(sorted.Add(""), 0);
  EXPECT_EQ(sorted.Count(), 2);
  EXPECT_EQ(sorted.IndexOf(""), 0);
}

TEST(StringListTest, PositionsOutsideTheListRaiseEStringListError) {
  TStringList list(Romanian());
  list.Add("a");
  for (const int32_t position : {-1, 1}) {
    try {
      list.TextAt(position);
      FAIL() << position;
    } catch (const EStringListError& e) {
      EXPECT_EQ(e.Message(), "List index out of bounds (" + std::to_string(position) + ")");
      EXPECT_STREQ(e.ClassName(), "EStringListError");
    }
    EXPECT_THROW(list.TagAt(position), EStringListError);
    EXPECT_THROW(list.SetTagAt(position, 1), EStringListError);
  }
}

}  // namespace
}  // namespace lumbra
