#include "fuzz/fuzz_tables.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "dbf/file_io.h"
#include "tests/robustness/every_format.h"
#include "tests/support/test_files.h"

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

const std::string& ScratchFolder() {
  static const std::string folder = [] {
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "lumbra-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    static const std::string made = pattern;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    });
    return pattern + "/";
  }();
  return folder;
}

std::string WriteTableInput(const std::string& folder, const std::string& name,
                            const TTableInput& input) {
  std::error_code ignored;
  for (const char* extension : {".dbf", ".fpt", ".dbt", ".cdx"})
    std::filesystem::remove(folder + name + extension, ignored);
  const std::string table = folder + name + ".dbf";
  WriteFile(table, input.Table);
  if (input.HasMemo) {
    const auto version = input.Table.empty() ? 0 : static_cast<uint8_t>(input.Table[0]);
    const bool fpt =
        version == 0x30 || version == 0x31 || version == 0x32 || version == 0xF5 || version == 0xFB;
    WriteFile(folder + name + (fpt ? ".fpt" : ".dbt"), input.Memo);
  }
  return table;
}

std::unique_ptr<TDbfTable> OpenQueryTable() {
  TBuiltTable built = BuildTableBytes(QueryTable());
  return std::make_unique<TDbfTable>(std::make_unique<MemoryFileIo>("query.dbf", built.Table),
                                     std::make_unique<MemoryFileIo>("query.fpt", built.Memo));
}

}  // namespace lumbra::fuzz
