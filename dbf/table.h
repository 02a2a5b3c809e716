// An open table file: its header, its records through a small cache of
// positioned reads, its memo file, and the decoding of values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/variant.h"
#include "dbf/code_page.h"
#include "dbf/file_io.h"
#include "dbf/header.h"
#include "dbf/memo.h"

namespace lumbra {

struct TDbfOpenOptions {
  // The code page of tables whose code page mark names none (0x00, 0x57).
  int DefaultCodePage = 1252;
  // When not 0, used instead of what the table says.
  int CodePageOverride = 0;
};

class TDbfTable {
 public:
  // Opens the table at path read-only, with its memo file when it has memo
  // fields. A missing memo file is not an error: IsMemoMissing() tells, and
  // memo values read as Null. Throws EDbfError "Table '<path>': <problem>".
  static std::unique_ptr<TDbfTable> Open(const std::string& path,
                                         const TDbfOpenOptions& options = {});
  // The same over files given by the caller; memo may be null.
  TDbfTable(std::unique_ptr<FileIo> file, std::unique_ptr<FileIo> memo,
            const TDbfOpenOptions& options = {});

  const std::string& Path() const { return FFile->Name(); }
  const TDbfHeader& Header() const { return FHeader; }
  const std::vector<TDbfField>& Fields() const { return FHeader.Fields; }
  // Field names decoded to UTF-8, in descriptor order.
  const std::vector<std::string>& FieldNames() const { return FFieldNames; }
  const TCodePage& CodePage() const { return *FCodePage; }

  // Records in the file: the header's count, or fewer when the file holds
  // fewer complete records. Fixed at open.
  uint32_t RecordCount() const { return FRecordCount; }
  bool IsTruncated() const { return FRecordCount < FHeader.RecordCount; }
  bool IsMemoMissing() const { return FMemoMissing; }

  // The bytes of record index (0-based, below RecordCount()), valid until the
  // next call. Throws EDbfError when the file no longer holds them.
  const uint8_t* RecordAt(uint32_t index);
  static bool IsDeleted(const uint8_t* record) { return record[0] == 0x2A; }
  // Decodes field (an index into Fields()) of record into out. Bad values give
  // Null; only a failing read of the memo file throws.
  void DecodeField(const uint8_t* record, size_t field, Variant& out);

 private:
  // Records number * FRecordsPerChunk on, in the slot number maps to.
  struct TChunk {
    uint32_t Number = UINT32_MAX;  // none
    std::vector<uint8_t> Bytes;
  };
  TDbfTable(std::unique_ptr<FileIo> file, TDbfHeader header, std::unique_ptr<FileIo> memo,
            TMemoFormat memoFormat, const TDbfOpenOptions& options);
  void Init(std::unique_ptr<FileIo> memo, TMemoFormat memoFormat, const TDbfOpenOptions& options);
  // Reads chunk number into chunk.
  void LoadChunk(TChunk& chunk, uint32_t number);
  // Doubles the slots of the chunk cache, keeping the chunks it holds.
  void GrowChunkSlots();
  void DecodeText(std::string_view bytes, bool binary, Variant& out);
  void DecodeMemo(const TDbfField& field, const uint8_t* bytes, Variant& out);
  bool NullFlag(const uint8_t* record, int bit) const;

  std::unique_ptr<FileIo> FFile;
  std::unique_ptr<TMemoFile> FMemo;
  bool FMemoMissing = false;
  TDbfHeader FHeader;
  std::vector<std::string> FFieldNames;
  std::unique_ptr<TCodePage> FCodePage;
  uint32_t FRecordCount = 0;
  uint32_t FRecordsPerChunk = 1;
  std::vector<TChunk> FChunks;
  size_t FMaxChunkSlots = 1;
  uint32_t FNextChunk = 0;  // the chunk after the last one read
  size_t FScatteredMisses = 0;
};

}  // namespace lumbra
