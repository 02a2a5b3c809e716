#include "dbf/table.h"

#include <bit>
#include <cstring>

#include "base/shortcuts.h"
#include "base/text.h"
#include "dbf/container.h"
#include "dbf/dbf_error.h"
#include "dbf/table_files.h"
#include "dbf/value_decoder.h"

namespace lumbra {

namespace {

struct TFoundMemo {
  std::unique_ptr<IFileIo> File;
  TMemoFormat Format = TMemoFormat::None;
};

TFoundMemo OpenMemoFile(const std::string& path, const TDbfHeader& header) {
  const std::optional<TMemoFileName> found = FindMemoFile(RealPathOf(path), header);
  if (!found) return {};
  try {
    return {std::make_unique<PosixFileIo>(found->Path), found->Format};
  } catch (const EDbfError&) {
    return {};  // an unreadable memo file counts as a missing one
  }
}

TDbfHeader ReadHeader(IFileIo& file) {
  try {
    const uint64_t size = file.Size();
    std::string head(std::min<uint64_t>(size, kHeaderBytesToRead), '\0');
    head.resize(file.ReadAt(0, head.data(), head.size()));
    TDbfHeader header = DecodeHeader(head, size);
    if (header.Encrypted)
      throw EDbfError(TDbfErrorKind::Unsupported, "the records are encrypted and cannot be read");
    return header;
  } catch (const EDbfError& e) {
    throw EDbfError(e, "Table '" + file.Name() + "': " + e.Message());
  }
}

}  // namespace

std::unique_ptr<TDbfTable> TDbfTable::Open(const std::string& path,
                                           const TDbfOpenOptions& options) {
  auto file = std::make_unique<PosixFileIo>(path);
  // The header tells whether a memo file belongs to the table.
  TDbfHeader header = ReadHeader(*file);
  TFoundMemo memo = OpenMemoFile(path, header);
  TLongFieldNames longNames;
  if (options.LongFieldNames) longNames = ReadLongFieldNames(RealPathOf(path), header, options);
  std::unique_ptr<TDbfTable> table(new TDbfTable(std::move(file), std::move(header),
                                                 std::move(memo.File), memo.Format, options));
  table->FLongFieldNamesProblem = std::move(longNames.Problem);
  size_t next = 0;
  for (size_t i = 0; i < table->FFieldNames.size() && next < longNames.Names.size(); ++i) {
    if (!table->FHeader.Fields[i].IsSystem()) table->FFieldNames[i] = longNames.Names[next++];
  }
  return table;
}

TDbfTable::TDbfTable(std::unique_ptr<IFileIo> file, std::unique_ptr<IFileIo> memo,
                     const TDbfOpenOptions& options)
    : FFile(std::move(file)), FHeader(ReadHeader(*FFile)) {
  Init(std::move(memo), FHeader.PreferredMemoFormat(), options);
}

TDbfTable::TDbfTable(std::unique_ptr<IFileIo> file, TDbfHeader header,
                     std::unique_ptr<IFileIo> memo, TMemoFormat memoFormat,
                     const TDbfOpenOptions& options)
    : FFile(std::move(file)), FHeader(std::move(header)) {
  Init(std::move(memo), memoFormat, options);
}

void TDbfTable::Init(std::unique_ptr<IFileIo> memo, TMemoFormat memoFormat,
                     const TDbfOpenOptions& options) {
  const uint64_t available = (FFile->Size() - FHeader.HeaderLength) / FHeader.RecordLength;
  FRecordCount = static_cast<uint32_t>(std::min<uint64_t>(FHeader.RecordCount, available));
  FShowDeleted = options.ShowDeleted;
  int codePage = options.CodePageOverride;
  FCodePageSource = TCodePageSource::Override;
  if (codePage == 0 && FHeader.Format == TDbfFormat::dBase7) {
    codePage = CodePageForLanguageDriver(FHeader.LanguageDriver);
    FCodePageSource = TCodePageSource::LanguageDriver;
  }
  if (codePage == 0) {
    codePage = CodePageForMark(FHeader.CodePageMark, 0);
    FCodePageSource = TCodePageSource::Mark;
  }
  if (codePage == 0) {
    codePage = options.DefaultCodePage;
    FCodePageSource = TCodePageSource::Default;
  }
  FCodePage = std::make_unique<TCodePage>(codePage);
  FFieldNames.reserve(FHeader.Fields.size());
  for (const TDbfField& f : FHeader.Fields)
    FFieldNames.push_back(FCodePage->ToUtf8(f.RawName));
  FRecordsPerChunk = static_cast<uint32_t>(std::max<size_t>(1, kChunkBytes / FHeader.RecordLength));
  FChunks = std::make_unique<TChunkCache>(
      *FFile, FHeader.HeaderLength,
      FHeader.HeaderLength + static_cast<uint64_t>(FRecordCount) * FHeader.RecordLength,
      static_cast<size_t>(FRecordsPerChunk) * FHeader.RecordLength, true);
  for (size_t i = 0; i < FHeader.Fields.size(); ++i) {
    if (FHeader.Fields[i].IsMemo()) FMemoFields.push_back(i);
  }
  if (FHeader.HasMemoFields()) {
    // .smt memos of the Clipper SIx driver are not read.
    if (memo != nullptr && FHeader.Version != 0xE5) {
      FMemo = std::make_unique<TMemoFile>(
          std::move(memo),
          memoFormat == TMemoFormat::Fpt ? TMemoFile::TKind::Fpt : TMemoFile::TKind::Dbt,
          FHeader.DbtIsLevel4());
    } else {
      FMemoMissing = true;
    }
  }
}

const uint8_t* TDbfTable::RecordInNewChunk(uint32_t index) {
  const uint32_t number = index / FRecordsPerChunk;
  FChunkRecords = 0;  // none held if the read throws
  if (kShortcuts && FChunks->IsFull(number)) {
    // A record of a table larger than the cache, visited out of file order:
    // its own bytes, not the chunk around it.
    const std::string_view record =
        FChunks->ReadAlone(uint64_t{index} * FHeader.RecordLength, FHeader.RecordLength);
    FChunkLoads = FChunks->Loads();
    return reinterpret_cast<const uint8_t*>(record.data());
  }
  const std::string_view chunk = FChunks->Chunk(number);
  FChunkFirst = number * FRecordsPerChunk;
  FChunkRecords = static_cast<uint32_t>(chunk.size() / FHeader.RecordLength);
  FChunkBytes = reinterpret_cast<const uint8_t*>(chunk.data());
  FChunkLoads = FChunks->Loads();
  return FChunkBytes + static_cast<size_t>(index - FChunkFirst) * FHeader.RecordLength;
}

void TDbfTable::DecodeText(std::string_view bytes, bool binary, Variant& out) {
  if (binary) {
    out.SetBytes(bytes);
    return;
  }
  FCodePage->AppendUtf8(out.SetStringBuffer(), bytes);
}

void TDbfTable::Prefetch(uint32_t index, bool memos) const {
  if (index >= FRecordCount) return;
  const uint32_t number = index / FRecordsPerChunk;
  const std::string_view chunk = FChunks->Cached(number);
  if (chunk.data() == nullptr) return;
  const char* record =
      chunk.data() + static_cast<size_t>(index - number * FRecordsPerChunk) * FHeader.RecordLength;
  if (!memos) {
    for (size_t line = 0; line < FHeader.RecordLength; line += 64)
      __builtin_prefetch(record + line);
    return;
  }
  if (FMemo == nullptr) return;
  for (const size_t i : FMemoFields) {
    const TDbfField& f = FHeader.Fields[i];
    uint64_t block;
    if (DecodeMemoPointer({record + f.Offset, f.Length}, block)) FMemo->Prefetch(block);
  }
}

void TDbfTable::DecodeMemo(const TDbfField& field, const uint8_t* bytes, Variant& out) {
  uint64_t block;
  if (FMemo == nullptr ||
      !DecodeMemoPointer({reinterpret_cast<const char*>(bytes), field.Length}, block)) {
    out.SetNull();
    return;
  }
  std::string_view memo;
  if (FMemo->Read(block, memo) == TMemoRead::Bad) {
    out.SetNull();
    return;
  }
  DecodeText(memo, field.Binary, out);
  // The value holds its own copy: a long memo is not kept twice.
  FMemo->ReleaseLong();
}

std::string_view TDbfTable::CharacterBytes(const uint8_t* record, const TDbfField& field) {
  const std::string_view raw(reinterpret_cast<const char*>(record + field.Offset), field.Length);
  return raw.substr(0, LengthBeforeNul(raw));
}

void TDbfTable::DecodeField(const uint8_t* record, size_t index, Variant& out) {
  const TDbfField& f = FHeader.Fields[index];
  const uint8_t* p = record + f.Offset;
  const std::string_view raw(reinterpret_cast<const char*>(p), f.Length);
  if (FHeader.IsNullByFlag(record, f)) {
    out.SetNull();
    return;
  }
  double date;
  switch (f.Kind) {
    case TFieldKind::Character: {
      if (f.Binary) {
        out.SetBytes(raw);
        return;
      }
      // Text that is ASCII up to its end or its first NUL is its own UTF-8.
      if (kShortcuts && FCodePage->KeepsAscii()) {
        const size_t ascii = AsciiLengthBeforeNul(raw);
        if (ascii == raw.size() || raw[ascii] == '\0') {
          out.SetString(raw.substr(0, ascii));
          return;
        }
      }
      DecodeText(CharacterBytes(record, f), false, out);
      return;
    }
    case TFieldKind::Varchar: {
      size_t length = f.Length;
      if (f.VarLengthBit >= 0 && FHeader.NullFlag(record, f.VarLengthBit) && f.Length > 0) {
        length = std::min<size_t>(p[f.Length - 1], f.Length - 1);
      }
      DecodeText(raw.substr(0, length), f.Binary, out);
      return;
    }
    case TFieldKind::Numeric:
      if (!DecodeAsciiNumber(raw, out.SetDecimalBuffer())) out.SetNull();
      return;
    case TFieldKind::Date:
      if (DecodeDate(raw, date)) {
        out.SetDate(date);
      } else {
        out.SetNull();
      }
      return;
    case TFieldKind::Logical: {
      bool value;
      if (f.Length >= 1 && DecodeLogical(p[0], value)) {
        out.SetBoolean(value);
      } else {
        out.SetNull();
      }
      return;
    }
    case TFieldKind::Integer:
      // In another width its column is a binary one: the raw bytes.
      if (f.OddWidth) break;
      if (f.Sortable7) {
        out.SetInteger(DecodeLevel7Integer(p));
      } else {
        int32_t value;
        std::memcpy(&value, p, 4);
        out.SetInteger(value);
      }
      return;
    case TFieldKind::Double:
      // Its column is a double's: bytes of another width are no value of it.
      // Stored sortable, a double is never all zero bytes (that would be a
      // NaN): such a field was never written, and is blank.
      if (f.OddWidth || (f.Sortable7 && raw.find_first_not_of('\0') == std::string_view::npos)) {
        out.SetNull();
      } else if (f.Sortable7) {
        out.SetDouble(DecodeLevel7Double(p));
      } else {
        double value;
        std::memcpy(&value, p, 8);
        out.SetDouble(value);
      }
      return;
    case TFieldKind::Currency: {
      if (f.OddWidth) {
        out.SetNull();
        return;
      }
      int64_t value;
      std::memcpy(&value, p, 8);
      out.SetCurrency(value);
      return;
    }
    case TFieldKind::DateTime: {
      const bool ok = !f.OddWidth && (f.Sortable7 ? DecodeLevel7Timestamp(p, date)
                                                  : DecodeJulianDateTime(p, date));
      if (ok) {
        out.SetDate(date);
      } else {
        out.SetNull();
      }
      return;
    }
    case TFieldKind::Memo:
      DecodeMemo(f, p, out);
      return;
    case TFieldKind::NullFlags:
    case TFieldKind::Unknown:
      break;
  }
  out.SetBytes(raw);
}

}  // namespace lumbra
