// Empties arbitrary bytes as a table with its memo file the way "Goleste
// Baza" does, DELETE FROM and then PACK, on files in memory (a tmpfs where the
// system has one) and with the flushes to the disk left out, which change no
// byte. Errors the engine reports (Exception) are expected. When both steps
// succeed, the table must open with no record and be exactly its header and
// the end-of-file marker long. Anything else escaping, and every sanitizer
// report, is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/exception.h"
#include "dbf/lock.h"
#include "dbf/pack.h"
#include "dbf/pack_io.h"
#include "dbf/table.h"
#include "fuzz/fuzz_tables.h"

namespace lumbra::fuzz {
namespace {

// The real file system, less the flushes: files in memory have no disk.
class TUnflushedPackIo : public PosixPackIo {
 public:
  void Sync(int, const std::string&) override {}
  void SyncFolder(const std::string&) override {}
};

void Empty(const TTableInput& input) {
  const std::string path = WriteTableInput(ScratchFolder(), "fuzz", input);
  TUnflushedPackIo io;
  {
    TTableLock lock(path);
    DeleteAllRecords(lock, io);
    PackTable(lock, io);
  }
  const auto table = TDbfTable::Open(path);
  const uint64_t size = std::filesystem::file_size(path);
  if (table->RecordCount() != 0 || table->Header().RecordCount != 0 ||
      size != table->Header().HeaderLength + 1ull) {
    std::abort();
  }
}

}  // namespace
}  // namespace lumbra::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    lumbra::fuzz::Empty(lumbra::fuzz::SplitTableInput(data, size));
  } catch (const lumbra::Exception&) {
  }
  return 0;
}
