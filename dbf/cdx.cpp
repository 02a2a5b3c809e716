#include "dbf/cdx.h"

#include <bit>

#include "base/byte_order.h"
#include "dbf/dbf_error.h"

namespace lumbra {

namespace {

constexpr size_t kHeaderSize = 1024;  // a tag header with its expression area
constexpr uint32_t kNoSibling = 0xFFFFFFFF;
constexpr uint16_t kRootNode = 0x01;
constexpr uint16_t kLeafNode = 0x02;
constexpr uint8_t kCompactCompound = 0x60;
constexpr uint8_t kHasFor = 0x08;
constexpr uint16_t kDirectoryKeyLength = 10;
constexpr uint16_t kLongestKey = 240;  // Visual FoxPro's limit
constexpr size_t kLeafHeader = 24;

uint32_t LowBits(unsigned count) {
  return count >= 32 ? 0xFFFFFFFF : (uint32_t{1} << count) - 1;
}

class TReader {
 public:
  explicit TReader(IFileIo& file) : FFile(file), FSize(file.Size()) {}

  TCdxIndex Read() {
    if (FSize % kCdxPageSize != 0 || FSize < kHeaderSize + kCdxPageSize || FSize > UINT32_MAX) {
      Fail("its size of " + std::to_string(FSize) + " bytes is not a whole number of pages");
    }
    uint8_t header[kHeaderSize];
    ReadExactly(FFile, 0, header, sizeof header);
    if (LoadLe16(header + 12) != kDirectoryKeyLength || (header[14] & kCompactCompound) != 0x60 ||
        header[15] != 1) {
      Fail("its header is not that of a compact compound index");
    }
    TCdxIndex index;
    index.DirectoryRoot = LoadLe32(header);
    CheckPage(index.DirectoryRoot, kCdxPageSize, "the tag directory");
    ReadDirectory(index);
    for (TCdxTag& tag : index.Tags)
      ReadTag(tag);
    CheckNoOverlap(index);
    for (TCdxTag& tag : index.Tags)
      ReadRoot(tag);
    return index;
  }

 private:
  [[noreturn]] void Fail(const std::string& problem) const {
    throw EDbfError(TDbfErrorKind::Corrupt, "Index '" + FFile.Name() + "': " + problem);
  }

  void CheckPage(uint64_t offset, uint64_t length, const std::string& what) const {
    if (offset % kCdxPageSize != 0 || offset < kHeaderSize || offset + length > FSize) {
      Fail(what + " lies at offset " + std::to_string(offset) + ", outside the file's pages");
    }
  }

  // The directory is a leaf whose keys are tag names and whose record
  // numbers are the offsets of the tags' headers.
  void ReadDirectory(TCdxIndex& index) {
    uint8_t node[kCdxPageSize];
    ReadExactly(FFile, index.DirectoryRoot, node, sizeof node);
    const uint16_t attributes = LoadLe16(node);
    if ((attributes & (kRootNode | kLeafNode)) != (kRootNode | kLeafNode) || attributes > 7) {
      Fail("its tag directory is not a single leaf page (attributes " + std::to_string(attributes) +
           ")");
    }
    if (LoadLe32(node + 4) != kNoSibling || LoadLe32(node + 8) != kNoSibling) {
      Fail("its tag directory spans several pages, a layout this program does not rewrite");
    }
    const uint16_t count = LoadLe16(node + 2);
    const uint32_t recordMask = LoadLe32(node + 14);
    const unsigned recordBits = node[20];
    const unsigned duplicateBits = node[21];
    const unsigned trailingBits = node[22];
    const unsigned entryBytes = node[23];
    if (entryBytes < 1 || entryBytes > 4 || duplicateBits > 8 || trailingBits > 8 ||
        recordBits + duplicateBits + trailingBits > 8 * entryBytes ||
        recordMask != LowBits(recordBits) || node[18] != LowBits(duplicateBits) ||
        node[19] != LowBits(trailingBits)) {
      Fail("the entry layout of its tag directory is inconsistent");
    }
    const size_t entriesEnd = kLeafHeader + size_t{count} * entryBytes;
    if (entriesEnd > kCdxPageSize) Fail("its tag directory claims more entries than fit a page");
    // Keys are packed downward from the end of the page: each keeps what is
    // not shared with the previous key (duplicates) nor blank at its end
    // (trailing).
    size_t keyEnd = kCdxPageSize;
    std::string previous;
    for (size_t i = 0; i < count; ++i) {
      uint32_t entry = 0;
      for (unsigned b = 0; b < entryBytes; ++b)
        entry |= static_cast<uint32_t>(node[kLeafHeader + i * entryBytes + b]) << (8 * b);
      const uint32_t offset = entry & recordMask;
      const uint32_t duplicates = (entry >> recordBits) & LowBits(duplicateBits);
      const uint32_t trailing = (entry >> (recordBits + duplicateBits)) & LowBits(trailingBits);
      if (duplicates > previous.size() || duplicates + trailing > kDirectoryKeyLength) {
        Fail("entry " + std::to_string(i + 1) + " of its tag directory is inconsistent");
      }
      const size_t stored = kDirectoryKeyLength - duplicates - trailing;
      if (keyEnd < entriesEnd + stored) Fail("the keys of its tag directory overlap its entries");
      keyEnd -= stored;
      std::string key = previous.substr(0, duplicates);
      key.append(reinterpret_cast<const char*>(node + keyEnd), stored);
      key.append(trailing, ' ');
      if (!previous.empty() && key <= previous)
        Fail("the tag names of its directory are not in order");
      previous = key;
      TCdxTag tag;
      tag.Name = key.substr(0, key.find_last_not_of(' ') + 1);
      if (tag.Name.empty() ||
          tag.Name.find_first_not_of(
              "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_") !=
              std::string::npos) {
        Fail("its tag directory holds a name that is not a tag name");
      }
      tag.HeaderOffset = offset;
      CheckPage(offset, kHeaderSize, "the header of tag " + tag.Name);
      index.Tags.push_back(std::move(tag));
    }
    if (LoadLe16(node + 12) != keyEnd - entriesEnd) {
      Fail("the free space its tag directory records disagrees with its keys");
    }
  }

  void ReadTag(TCdxTag& tag) {
    uint8_t header[kHeaderSize];
    ReadExactly(FFile, tag.HeaderOffset, header, sizeof header);
    const std::string what = "tag " + tag.Name;
    tag.RootOffset = LoadLe32(header);
    tag.KeyLength = LoadLe16(header + 12);
    tag.Options = header[14];
    if (tag.KeyLength < 1 || tag.KeyLength > kLongestKey ||
        (tag.Options & (0x80 | kCompactCompound)) != kCompactCompound || header[15] != 1) {
      Fail("the header of " + what + " is not that of a compact index tag");
    }
    const uint16_t descending = LoadLe16(header + 502);
    const size_t forLength = LoadLe16(header + 506);
    const size_t keyLength = LoadLe16(header + 510);
    if (descending > 1 || keyLength < 2 || keyLength + forLength > kHeaderSize - 512) {
      Fail("the expression lengths of " + what + " are inconsistent");
    }
    tag.Descending = descending == 1;
    const auto* pool = reinterpret_cast<const char*>(header + 512);
    tag.KeyExpression = Expression(pool, keyLength, what);
    if (forLength > 0) tag.ForExpression = Expression(pool + keyLength, forLength, what);
    if (((tag.Options & kHasFor) != 0) != !tag.ForExpression.empty()) {
      Fail("the FOR expression of " + what + " disagrees with its options");
    }
    CheckPage(tag.RootOffset, kCdxPageSize, "the root of " + what);
  }

  void ReadRoot(TCdxTag& tag) {
    uint8_t node[kCdxPageSize];
    ReadExactly(FFile, tag.RootOffset, node, sizeof node);
    tag.RootAttributes = LoadLe16(node);
    tag.RootKeyCount = LoadLe16(node + 2);
    if ((tag.RootAttributes & kRootNode) == 0 || tag.RootAttributes > 7 ||
        LoadLe32(node + 4) != kNoSibling || LoadLe32(node + 8) != kNoSibling) {
      Fail("the root of tag " + tag.Name + " is not a root node");
    }
  }

  // An expression fills its length exactly, its last byte the NUL.
  std::string Expression(const char* text, size_t length, const std::string& what) const {
    const std::string_view all(text, length);
    if (all.find('\0') != length - 1) Fail("an expression of " + what + " is not terminated");
    return std::string(all.substr(0, length - 1));
  }

  // Every root is overwritten when the index is emptied: none may share a
  // page with a header, the directory or another root.
  void CheckNoOverlap(const TCdxIndex& index) const {
    std::vector<std::pair<uint64_t, uint64_t>> taken = {{0, kHeaderSize},
                                                        {index.DirectoryRoot, kCdxPageSize}};
    for (const TCdxTag& tag : index.Tags)
      taken.emplace_back(tag.HeaderOffset, kHeaderSize);
    for (const TCdxTag& tag : index.Tags) {
      for (const auto& [start, length] : taken) {
        if (tag.RootOffset + kCdxPageSize > start && tag.RootOffset < start + length) {
          Fail("the root of tag " + tag.Name + " shares its page with another part of the index");
        }
      }
      taken.emplace_back(tag.RootOffset, kCdxPageSize);
    }
    for (size_t i = 0; i < index.Tags.size(); ++i) {
      for (size_t j = 0; j < i; ++j) {
        const uint64_t a = index.Tags[i].HeaderOffset;
        const uint64_t b = index.Tags[j].HeaderOffset;
        if (a < b + kHeaderSize && b < a + kHeaderSize) {
          Fail("tags " + index.Tags[j].Name + " and " + index.Tags[i].Name + " share a header");
        }
      }
      if (index.Tags[i].HeaderOffset < index.DirectoryRoot + kCdxPageSize &&
          index.DirectoryRoot < index.Tags[i].HeaderOffset + kHeaderSize) {
        Fail("the header of tag " + index.Tags[i].Name + " overlaps the tag directory");
      }
    }
  }

  IFileIo& FFile;
  uint64_t FSize;
};

}  // namespace

TCdxIndex ReadCdx(IFileIo& file) {
  return TReader(file).Read();
}

std::array<uint8_t, kCdxPageSize> EmptyCdxRootLeaf(uint16_t keyLength) {
  std::array<uint8_t, kCdxPageSize> page{};
  // The duplicate and trailing counts each take the bits that hold the key
  // length; the record number gets the rest of three bytes.
  const auto countBits = static_cast<unsigned>(std::bit_width(keyLength));
  const unsigned recordBits = 24 - 2 * countBits;
  StoreLe16(page.data(), kRootNode | kLeafNode);
  StoreLe32(page.data() + 4, kNoSibling);
  StoreLe32(page.data() + 8, kNoSibling);
  StoreLe16(page.data() + 12, kCdxPageSize - kLeafHeader);
  StoreLe32(page.data() + 14, LowBits(recordBits));
  page[18] = static_cast<uint8_t>(LowBits(countBits));
  page[19] = static_cast<uint8_t>(LowBits(countBits));
  page[20] = static_cast<uint8_t>(recordBits);
  page[21] = static_cast<uint8_t>(countBits);
  page[22] = static_cast<uint8_t>(countBits);
  page[23] = 3;
  return page;
}

}  // namespace lumbra
