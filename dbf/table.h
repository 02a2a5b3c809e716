// An open table file: its header, its records through a small cache of
// positioned reads, its memo file, and the decoding of values.
#pragma once

#include <cassert>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/shortcuts.h"
#include "base/variant.h"
#include "dbf/chunk_cache.h"
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
  // Whether a Visual FoxPro table of a database, opened by path, takes the
  // long field names its container keeps (dbf/container.h).
  bool LongFieldNames = true;
  // Deleted records are shown as live ones are, by cursors, sorts and filters.
  bool ShowDeleted = false;
};

// Where a table's code page came from.
enum class TCodePageSource : uint8_t {
  Override,        // TDbfOpenOptions::CodePageOverride
  Mark,            // the header's code page mark
  LanguageDriver,  // the dBase 7 language driver name
  Default,         // TDbfOpenOptions::DefaultCodePage: the header names none
};

class TDbfTable {
 public:
  // Opens the table at path read-only, with its memo file when it has memo
  // fields. A missing memo file is not an error: IsMemoMissing() tells, and
  // memo values read as Null. Throws EDbfError "Table '<path>': <problem>".
  static std::unique_ptr<TDbfTable> Open(const std::string& path,
                                         const TDbfOpenOptions& options = {});
  // The same over files given by the caller; memo may be null.
  TDbfTable(std::unique_ptr<IFileIo> file, std::unique_ptr<IFileIo> memo,
            const TDbfOpenOptions& options = {});

  const std::string& Path() const { return FFile->Name(); }
  const TDbfHeader& Header() const { return FHeader; }
  const std::vector<TDbfField>& Fields() const { return FHeader.Fields; }
  // Field names decoded to UTF-8, in descriptor order: for a Visual FoxPro
  // table of a database, the names its container keeps.
  const std::vector<std::string>& FieldNames() const { return FFieldNames; }
  // Why the header's names stand for a table whose backlink names a database
  // container; empty when its names are used, or it names none.
  const std::string& LongFieldNamesProblem() const { return FLongFieldNamesProblem; }
  const TCodePage& CodePage() const { return *FCodePage; }
  TCodePageSource CodePageSource() const { return FCodePageSource; }

  // Records in the file: the header's count, or fewer when the file holds
  // fewer complete records. Fixed at open.
  uint32_t RecordCount() const { return FRecordCount; }
  bool IsTruncated() const { return FRecordCount < FHeader.RecordCount; }
  bool IsMemoMissing() const { return FMemoMissing; }
  // Whether some memo value read so far pointed beyond the end of the memo
  // file, and read as Null.
  bool MemoReadBeyondEnd() const { return FMemo != nullptr && FMemo->ReadsBeyondEnd() != 0; }
  // The memo file's name; "" without one.
  std::string MemoPath() const { return FMemo == nullptr ? std::string() : FMemo->File().Name(); }
  // The memo file's block size in bytes; 0 without one, or when its header
  // gives none.
  uint32_t MemoBlockSize() const { return FMemo == nullptr ? 0 : FMemo->BlockSize(); }

  // The bytes of record index (0-based, below RecordCount()), valid while
  // RecordLoads() stays as it was. Throws EDbfError when the file no longer
  // holds them.
  const uint8_t* RecordAt(uint32_t index) {
    // A walk stays in one chunk for many records: those need no look-up.
    const uint32_t offset = index - FChunkFirst;
    assert(FChunkRecords == 0 || FChunkLoads == FChunks->Loads());
    if (kShortcuts && offset < FChunkRecords)
      return FChunkBytes + size_t{offset} * FHeader.RecordLength;
    return RecordInNewChunk(index);
  }
  // The generation of the record bytes RecordAt lends: a holder that keeps
  // them across calls keeps this with them, and reads again once it changes.
  uint64_t RecordLoads() const { return FChunks->Loads(); }
  static bool IsDeleted(const uint8_t* record) { return record[0] == 0x2A; }
  // Whether record is left out of what the table shows: a deleted one, unless
  // the table was opened to show deleted records too.
  bool IsHidden(const uint8_t* record) const { return !FShowDeleted && IsDeleted(record); }
  // Asks the processor to bring record index toward its caches when the
  // record's chunk is held, and with memos, the start of the memos of a
  // record whose bytes are at hand: for a walk that knows which records come
  // next. Never reads the files; earlier record bytes stay valid.
  void Prefetch(uint32_t index, bool memos) const;
  // Decodes field (an index into Fields()) of record into out. Bad values give
  // Null; only a failing read of the memo file throws.
  void DecodeField(const uint8_t* record, size_t field, Variant& out);
  // The bytes of a character field's text in record: up to the first NUL,
  // since some writers pad with NULs.
  static std::string_view CharacterBytes(const uint8_t* record, const TDbfField& field);

 private:
  TDbfTable(std::unique_ptr<IFileIo> file, TDbfHeader header, std::unique_ptr<IFileIo> memo,
            TMemoFormat memoFormat, const TDbfOpenOptions& options);
  void Init(std::unique_ptr<IFileIo> memo, TMemoFormat memoFormat, const TDbfOpenOptions& options);
  void DecodeText(std::string_view bytes, bool binary, Variant& out);
  void DecodeMemo(const TDbfField& field, const uint8_t* bytes, Variant& out);
  const uint8_t* RecordInNewChunk(uint32_t index);

  std::unique_ptr<IFileIo> FFile;
  std::unique_ptr<TMemoFile> FMemo;
  bool FMemoMissing = false;
  std::string FLongFieldNamesProblem;
  TDbfHeader FHeader;
  std::vector<std::string> FFieldNames;
  std::unique_ptr<TCodePage> FCodePage;
  TCodePageSource FCodePageSource = TCodePageSource::Default;
  bool FShowDeleted = false;
  uint32_t FRecordCount = 0;
  // The fields whose values are in the memo file.
  std::vector<size_t> FMemoFields;
  // Records are read a chunk of whole records at a time.
  uint32_t FRecordsPerChunk = 1;
  std::unique_ptr<TChunkCache> FChunks;
  // The chunk RecordAt last read: its first record, how many records it
  // holds (0 for none), its bytes, and FChunks's generation when they were
  // lent; only RecordAt makes FChunks read.
  uint32_t FChunkFirst = 0;
  uint32_t FChunkRecords = 0;
  const uint8_t* FChunkBytes = nullptr;
  uint64_t FChunkLoads = 0;
};

}  // namespace lumbra
