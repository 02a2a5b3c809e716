#include "fuzz/fuzz_tables.h"

#include <algorithm>

#include "dbf/file_io.h"
#include "tests/robustness/every_format.h"

namespace lumbra::fuzz {

using namespace lumbra::test;

TTableInput SplitTableInput(const uint8_t* data, size_t size) {
  TTableInput input;
  const char* bytes = reinterpret_cast<const char*>(data);
  if (size < 4) {
    input.Table.assign(bytes, size);
    return input;
  }
  const uint32_t declared = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                            static_cast<uint32_t>(data[2]) << 16 |
                            static_cast<uint32_t>(data[3]) << 24;
  const size_t tableLength = std::min<size_t>(declared, size - 4);
  input.Table.assign(bytes + 4, tableLength);
  input.HasMemo = 4 + tableLength < size;
  if (input.HasMemo) input.Memo.assign(bytes + 4 + tableLength, size - 4 - tableLength);
  return input;
}

std::string JoinTableInput(const TBuiltTable& built) {
  const auto length = static_cast<uint32_t>(built.Table.size());
  std::string out;
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<char>((length >> shift) & 0xFF));
  return out + built.Table + built.Memo;
}

std::unique_ptr<TDbfTable> OpenQueryTable() {
  TBuiltTable built = BuildTableBytes(QueryTable());
  return std::make_unique<TDbfTable>(std::make_unique<MemoryFileIo>("query.dbf", built.Table),
                                     std::make_unique<MemoryFileIo>("query.fpt", built.Memo));
}

}  // namespace lumbra::fuzz
