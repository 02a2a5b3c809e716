// Reading the structure of a compound index, and the empty root leaf that
// emptying a table writes, checked against indexes Visual FoxPro wrote.
#include "dbf/cdx.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <filesystem>
#include <string>

#include "dbf/dbf_error.h"
#include "tests/dbf/pack_fixture.h"
#include "tests/support/test_files.h"

namespace lumbra {
namespace {

namespace fs = std::filesystem;
using test::CorpusDir;
using namespace pack_fixture;

TCdxIndex ReadBytesAsCdx(const std::string& bytes) {
  MemoryFileIo file("test.cdx", bytes);
  return ReadCdx(file);
}

TEST(CdxRead, ReadsTheTagsOfAnIndex) {
  const TCdxIndex index = ReadBytesAsCdx(Index(SampleRows(5)));
  EXPECT_EQ(index.DirectoryRoot, 0x400u);
  ASSERT_EQ(index.Tags.size(), 2u);
  const TCdxTag& id = index.Tags[0];
  EXPECT_EQ(id.Name, "ID");
  EXPECT_EQ(id.HeaderOffset, 0x600u);
  EXPECT_EQ(id.RootOffset, 0xA00u);
  EXPECT_EQ(id.KeyLength, 4);
  EXPECT_EQ(id.KeyExpression, "STR(id,4)");
  EXPECT_EQ(id.ForExpression, "");
  EXPECT_EQ(id.RootAttributes, 7);
  EXPECT_EQ(id.RootKeyCount, 5);
  const TCdxTag& name = index.Tags[1];
  EXPECT_EQ(name.Name, "NAME");
  EXPECT_EQ(name.KeyExpression, "UPPER(name)");
  EXPECT_EQ(name.ForExpression, "!DELETED()");
  EXPECT_EQ(name.Options, 0x68);
}

// Each case breaks one thing the reader relies on in an index it reads
// otherwise; the offsets are those of the fixture's layout (FORMAT.md
// section 9): file header 0, directory 0x400, tag ID's header 0x600 and
// root 0xA00, tag NAME's header 0xC00 and root 0x1000.
struct TDamage {
  const char* Case;
  size_t Offset;
  std::string Bytes;
  const char* Problem;
};

class CdxDamage : public ::testing::TestWithParam<TDamage> {};

TEST_P(CdxDamage, IsRefusedWithWhatIsWrong) {
  std::string bytes = Index(SampleRows(5));
  const TDamage& damage = GetParam();
  if (damage.Offset == std::string::npos) {
    bytes += damage.Bytes;
  } else {
    bytes.replace(damage.Offset, damage.Bytes.size(), damage.Bytes);
  }
  try {
    ReadBytesAsCdx(bytes);
    FAIL() << "read without complaint";
  } catch (const EDbfError& e) {
    EXPECT_NE(e.Message().find("Index 'test.cdx': "), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find(damage.Problem), std::string::npos) << e.Message();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CdxDamage,
    ::testing::Values(
        TDamage{"size not whole pages", std::string::npos, "x", "not a whole number of pages"},
        TDamage{"directory key length not 10", 12, "\x08", "not that of a compact compound"},
        TDamage{"not compact", 14, "\x40", "not that of a compact compound"},
        TDamage{"signature", 15, "\x02", "not that of a compact compound"},
        TDamage{"directory root outside", 0, std::string("\x00\x40\x00\x00", 4),
                "the tag directory lies at offset 16384"},
        TDamage{"directory root not on a page", 0, std::string("\x10\x04\x00\x00", 4),
                "outside the file's pages"},
        TDamage{"directory an interior node", 0x400, std::string("\x01\x00", 2),
                "not a single leaf page"},
        TDamage{"directory with a sibling", 0x408, std::string("\x00\x20\x00\x00", 4),
                "spans several pages"},
        TDamage{"record mask not the record bits", 0x40E, std::string("\xff\x7f", 2),
                "entry layout of its tag directory"},
        TDamage{"entry fields wider than the entry", 0x414, "\x11", "entry layout"},
        TDamage{"more entries than fit", 0x402, std::string("\xff\x00", 2), "more entries"},
        TDamage{"free space disagrees", 0x40C, std::string("\x00\x01", 2), "free space"},
        TDamage{"first key with duplicates", 0x418, std::string("\x00\x06\x03", 3),
                "entry 1 of its tag directory"},
        TDamage{"names out of order", 0x5F6, "Z", "not in order"},
        TDamage{"name not a tag name", 0x5FF, "!", "not a tag name"},
        TDamage{"tag header past the end", 0x41B, std::string("\x00\x80", 2),
                "the header of tag NAME lies at offset"},
        TDamage{"tag key length 0", 0x60C, std::string("\x00\x00", 2),
                "not that of a compact index tag"},
        TDamage{"tag key longer than 240", 0x60C, std::string("\xf1\x00", 2),
                "not that of a compact index tag"},
        TDamage{"tag with the directory's flag", 0x60E, "\xE0", "not that of a compact index tag"},
        TDamage{"descending neither 0 nor 1", 0x7F6, "\x02", "expression lengths"},
        TDamage{"key expression too long", 0x7FE, std::string("\x01\x02", 2), "expression lengths"},
        TDamage{"key expression not terminated", 0x809, "X", "not terminated"},
        TDamage{"FOR flag without expression", 0x60E, "\x68", "disagrees with its options"},
        TDamage{"FOR expression without flag", 0xC0E, "\x60", "disagrees with its options"},
        TDamage{"root outside the file", 0x600, std::string("\x00\x40\x00\x00", 4),
                "the root of tag ID lies at offset"},
        TDamage{"root on a tag header", 0x600, std::string("\x00\x0C\x00\x00", 4),
                "shares its page"},
        TDamage{"two tags on one root", 0xC00, std::string("\x00\x0A\x00\x00", 4),
                "shares its page"},
        TDamage{"root not a root node", 0xA00, std::string("\x02\x00", 2), "is not a root node"},
        TDamage{"root with a sibling", 0x1004, std::string("\x00\x00\x00\x00", 4),
                "is not a root node"}),
    [](const ::testing::TestParamInfo<TDamage>& damage) {
      std::string name = damage.param.Case;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

TEST(CdxRead, ReadsEveryIndexOfTheCorpus) {
  if (!fs::is_directory(CorpusDir())) GTEST_SKIP() << "no corpus at " << CorpusDir();
  size_t read = 0;
  for (const auto& entry : fs::recursive_directory_iterator(CorpusDir())) {
    std::string extension = entry.path().extension().string();
    for (char& c : extension)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension != ".cdx" && extension != ".dcx") continue;
    PosixFileIo file(entry.path().string());
    EXPECT_NO_THROW({
      const TCdxIndex index = ReadCdx(file);
      EXPECT_FALSE(index.Tags.empty()) << entry.path();
    }) << entry.path();
    ++read;
  }
  EXPECT_GE(read, 25u);
}

TEST(CdxRead, ReadsTheTagsVisualFoxProWrote) {
  const fs::path path = CorpusDir() / "xsharp/Runtime/XSharp.VFP/TestData/categories.CDX";
  if (!fs::exists(path)) GTEST_SKIP() << "no corpus at " << CorpusDir();
  PosixFileIo file(path.string());
  const TCdxIndex index = ReadCdx(file);
  ASSERT_EQ(index.Tags.size(), 2u);
  EXPECT_EQ(index.Tags[0].Name, "CATEGORYID");
  EXPECT_EQ(index.Tags[0].KeyExpression, "categoryid");
  EXPECT_EQ(index.Tags[0].Options, 0x64);
  EXPECT_EQ(index.Tags[1].Name, "CATEGORYNM");
  EXPECT_EQ(index.Tags[1].KeyExpression, "UPPER(categoryname)");
  EXPECT_EQ(index.Tags[1].KeyLength, 15);
}

// customercustomerdemo has no records, and Visual FoxPro left each of its two
// tags (key lengths 5 and 10) with a root leaf and nothing else.
TEST(CdxEmptyLeaf, IsTheRootVisualFoxProWritesForAnEmptyTable) {
  const fs::path path = CorpusDir() / "xsharp/Runtime/XSharp.VFP/TestData/customercustomerdemo.cdx";
  if (!fs::exists(path)) GTEST_SKIP() << "no corpus at " << CorpusDir();
  PosixFileIo file(path.string());
  const TCdxIndex index = ReadCdx(file);
  ASSERT_EQ(index.Tags.size(), 2u);
  for (const TCdxTag& tag : index.Tags) {
    std::array<uint8_t, kCdxPageSize> root;
    ReadExactly(file, tag.RootOffset, root.data(), root.size());
    EXPECT_EQ(root, EmptyCdxRootLeaf(tag.KeyLength))
        << tag.Name << ", key length " << tag.KeyLength;
  }
}

TEST(CdxEmptyLeaf, GivesTheCountsTheBitsOfTheKeyLength) {
  struct TCase {
    uint16_t KeyLength;
    uint8_t CountBits;
  };
  for (const TCase c : {TCase{1, 1}, TCase{4, 3}, TCase{8, 4}, TCase{15, 4}, TCase{20, 5},
                        TCase{50, 6}, TCase{148, 8}, TCase{240, 8}}) {
    const auto leaf = EmptyCdxRootLeaf(c.KeyLength);
    EXPECT_EQ(leaf[21], c.CountBits) << c.KeyLength;
    EXPECT_EQ(leaf[22], c.CountBits) << c.KeyLength;
    EXPECT_EQ(leaf[20], 24 - 2 * c.CountBits) << c.KeyLength;
    EXPECT_EQ(leaf[23], 3) << c.KeyLength;
    // It reads back as a root leaf without keys.
    EXPECT_EQ(leaf[0], 3);
    EXPECT_EQ(leaf[2], 0);
    EXPECT_EQ(leaf[12] | leaf[13] << 8, 488);
  }
}

}  // namespace
}  // namespace lumbra
