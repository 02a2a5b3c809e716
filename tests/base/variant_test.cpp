// Variants and the exact decimal of ASCII numeric columns.
#include "base/variant.h"

#include <gtest/gtest.h>

#include "base/exception.h"

namespace lumbra {
namespace {

TEST(Decimal, TextHasExactlyItsScaleOfDecimals) {
  const struct {
    TUInt128 Mantissa;
    uint8_t Scale;
    bool Negative;
    const char* Text;
  } cases[] = {
      {1250, 2, false, "12.50"},
      {5, 3, true, "-0.005"},
      {0, 2, true, "0.00"},
      {42, 0, false, "42"},
      {0, 0, false, "0"},
      {static_cast<TUInt128>(99999999999999999ull) * 1000 + 999, 0, false, "99999999999999999999"},
  };
  for (const auto& c : cases) {
    const TDecimal d{c.Mantissa, c.Scale, c.Negative};
    EXPECT_EQ(d.ToString(), c.Text);
  }
  EXPECT_EQ(TDecimal({1, 1, false}).ToDouble(), 0.1);
}

TEST(Variant, NullTestRefusesKindsThatCannotBeCompared) {
  EXPECT_TRUE(Variant::Null().EqualsNull());
  EXPECT_FALSE(Variant().EqualsNull());
  EXPECT_FALSE(Variant::FromString("").EqualsNull());
  EXPECT_THROW(Variant::FromDecimal({}).EqualsNull(), EVariantInvalidOpError);
  EXPECT_THROW(Variant::OfKind(TVarType::varArray).EqualsNull(), EVariantInvalidOpError);
}

TEST(Variant, EqualityNeedsTheSameKind) {
  EXPECT_EQ(Variant::FromInteger(5), Variant::FromInteger(5));
  EXPECT_NE(Variant::FromInteger(5), Variant::FromInt64(5));
  EXPECT_NE(Variant::FromString("a"), Variant::FromBytes("a"));
  EXPECT_EQ(Variant::FromDecimal({125, 2, false}), Variant::FromDecimal({125, 2, false}));
  EXPECT_NE(Variant::FromDecimal({125, 2, false}), Variant::FromDecimal({1250, 3, false}));
}

TEST(Variant, BufferReuseKeepsNoOldText) {
  Variant v = Variant::FromString("a long first text");
  v.SetStringBuffer() += "b";
  EXPECT_EQ(v.Text(), "b");
  EXPECT_EQ(v.Type(), TVarType::varString);
  v.SetInteger(-7);
  EXPECT_EQ(v.Integer(), -7);
}

TEST(Exception, ClassesReportTheirOwnNames) {
  EXPECT_STREQ(EAbort("").ClassName(), "EAbort");
  EXPECT_STREQ(EVariantInvalidOpError("").ClassName(), "EVariantInvalidOpError");
  const Exception& base = EConvertError("bad");
  EXPECT_STREQ(base.ClassName(), "EConvertError");
  EXPECT_STREQ(base.what(), "bad");
}

}  // namespace
}  // namespace lumbra
