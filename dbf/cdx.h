// The parts of a compact compound index (.cdx, FORMAT.md section 9) that
// emptying a table touches: the tag directory, each tag's header with its
// expressions, and each tag's root node. Keys themselves are never decoded.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dbf/file_io.h"

namespace lumbra {

inline constexpr size_t kCdxPageSize = 512;

struct TCdxTag {
  std::string Name;  // as the directory holds it, trailing blanks cut
  uint32_t HeaderOffset = 0;
  uint32_t RootOffset = 0;
  uint16_t KeyLength = 0;
  uint8_t Options = 0;  // 0x01 unique, 0x08 has a FOR expression, 0x20 compact, 0x40 compound
  bool Descending = false;
  std::string KeyExpression;
  std::string ForExpression;  // "" when the tag has none
  uint16_t RootAttributes = 0;
  uint16_t RootKeyCount = 0;
};

struct TCdxIndex {
  uint32_t DirectoryRoot = 0;
  std::vector<TCdxTag> Tags;  // in directory order
};

// Reads the index in file and checks every byte it relies on against what a
// compact compound index holds, so that an index it returns can be rewritten
// without guessing. Throws EDbfError "Index '<name>': <problem>" when the file
// is anything else, is damaged, or uses a layout this reader does not handle
// (a tag directory of more than one page).
TCdxIndex ReadCdx(IFileIo& file);

// The root node of a tag without keys, whose keys are keyLength bytes long
// (1 to 240): a leaf that is also the root, no siblings, every byte of its key
// area free, and entries of three bytes whose fields fit keyLength, as Visual
// FoxPro writes it for an empty table.
std::array<uint8_t, kCdxPageSize> EmptyCdxRootLeaf(uint16_t keyLength);

}  // namespace lumbra
