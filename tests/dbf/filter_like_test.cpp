// LIKE patterns alone: wildcards, letter case, characters of several bytes,
// and patterns that would take exponential time by naive backtracking.
#include "dbf/filter_like.h"

#include <gtest/gtest.h>

#include <string>

namespace lumbra {
namespace {

struct TLikeCase {
  const char* Pattern;
  std::string Text;
  bool Matches;
};

class LikePattern : public testing::TestWithParam<TLikeCase> {};

TEST_P(LikePattern, MatchesAsTheWildcardsSay) {
  const TLikeCase& c = GetParam();
  EXPECT_EQ(TLikePattern(c.Pattern).Matches(c.Text), c.Matches)
      << "'" << c.Pattern << "' against '" << c.Text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LikePattern,
    testing::Values(TLikeCase{"*", "", true}, TLikeCase{"%", "anything", true},
                    TLikeCase{"", "", true}, TLikeCase{"", "a", false},
                    TLikeCase{"a*b", "ab", true}, TLikeCase{"a*b", "axxb", true},
                    TLikeCase{"a*b", "axxbx", false}, TLikeCase{"a%b%c", "aXbYc", true},
                    TLikeCase{"_", "", false}, TLikeCase{"_", "ş", true},
                    TLikeCase{"??", "ş", false}, TLikeCase{"a_c", "abc", true},
                    TLikeCase{"a?c", "ac", false}, TLikeCase{"*_", "", false},
                    TLikeCase{"CLUJ", "cluj", true}, TLikeCase{"ştefan", "ŞTEFAN", true},
                    TLikeCase{"ă*", "Ăla", true}, TLikeCase{"a*", "ă", false},
                    TLikeCase{"stras*", "Straße", true}, TLikeCase{"cluj", "Cluj     ", true},
                    TLikeCase{"cluj   ", "Cluj", true}, TLikeCase{"*lead", "  lead", true},
                    TLikeCase{"lead", "  lead", false},
                    TLikeCase{"*a*a*a*a*a*a*a*a*b", std::string(5000, 'a'), false},
                    TLikeCase{"*a*a*a*a*a*a*a*a*b", std::string(5000, 'a') + "b", true}));

}  // namespace
}  // namespace lumbra
