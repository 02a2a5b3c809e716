#include "dbf/table.h"

#include <bit>
#include <cstring>

#include "base/text.h"
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
  return std::unique_ptr<TDbfTable>(new TDbfTable(std::move(file), std::move(header),
                                                  std::move(memo.File), memo.Format, options));
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
  const std::string_view chunk = FChunks->Chunk(number);
  FChunkFirst = number * FRecordsPerChunk;
  FChunkRecords = static_cast<uint32_t>(chunk.size() / FHeader.RecordLength);
  FChunkBytes = reinterpret_cast<const uint8_t*>(chunk.data());
  return FChunkBytes + static_cast<size_t>(index - FChunkFirst) * FHeader.RecordLength;
}

bool TDbfTable::NullFlag(const uint8_t* record, int bit) const {
  const TDbfField& flags = FHeader.Fields[static_cast<size_t>(FHeader.NullFlagsField)];
  const auto byte = static_cast<uint32_t>(bit / 8);
  if (byte >= flags.Length) return false;
  return ((record[flags.Offset + byte] >> (bit % 8)) & 1) != 0;
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
  const bool text = field.Type == 'M' && !field.IsBinary();
  DecodeText(memo, !text, out);
  // The value holds its own copy: a long memo is not kept twice.
  FMemo->ReleaseLong();
}

void TDbfTable::DecodeField(const uint8_t* record, size_t index, Variant& out) {
  const TDbfField& f = FHeader.Fields[index];
  const uint8_t* p = record + f.Offset;
  const std::string_view raw(reinterpret_cast<const char*>(p), f.Length);
  if (f.NullBit >= 0 && NullFlag(record, f.NullBit)) {
    out.SetNull();
    return;
  }
  double date;
  switch (f.Type) {
    case 'C': {
      if (f.IsBinary()) {
        out.SetBytes(raw);
        return;
      }
      // Some writers pad with NULs: the text ends at the first one. Text
      // that is ASCII up to there is its own UTF-8.
      if (FCodePage->KeepsAscii()) {
        const size_t ascii = AsciiLengthBeforeNul(raw);
        if (ascii == raw.size() || raw[ascii] == '\0') {
          out.SetString(raw.substr(0, ascii));
          return;
        }
      }
      DecodeText(raw.substr(0, LengthBeforeNul(raw)), false, out);
      return;
    }
    case 'V':
    case 'Q': {
      size_t length = f.Length;
      if (f.VarLengthBit >= 0 && NullFlag(record, f.VarLengthBit) && f.Length > 0) {
        length = std::min<size_t>(p[f.Length - 1], f.Length - 1);
      }
      DecodeText(raw.substr(0, length), f.Type == 'Q' || f.IsBinary(), out);
      return;
    }
    case 'N':
    case 'F': {
      if (!DecodeAsciiNumber(raw, out.SetDecimalBuffer())) out.SetNull();
      return;
    }
    case 'D':
      if (DecodeDate(raw, date)) {
        out.SetDate(date);
      } else {
        out.SetNull();
      }
      return;
    case 'L': {
      bool value;
      if (f.Length >= 1 && DecodeLogical(p[0], value)) {
        out.SetBoolean(value);
      } else {
        out.SetNull();
      }
      return;
    }
    case 'I':
    case '+':
      if (f.Length != 4) break;
      if (f.Sortable7) {
        out.SetInteger(DecodeLevel7Integer(p));
      } else {
        int32_t value;
        std::memcpy(&value, p, 4);
        out.SetInteger(value);
      }
      return;
    case 'O':
      if (f.Length != 8) {
        // Its column is a double's: bytes of another width are no value of it.
        out.SetNull();
        return;
      }
      // Stored sortable, a double is never all zero bytes (that would be a NaN):
      // such a field was never written, and is blank.
      if (raw.find_first_not_of('\0') == std::string_view::npos) {
        out.SetNull();
      } else {
        out.SetDouble(DecodeLevel7Double(p));
      }
      return;
    case 'Y': {
      if (f.Length != 8) {
        out.SetNull();
        return;
      }
      int64_t value;
      std::memcpy(&value, p, 8);
      out.SetCurrency(value);
      return;
    }
    case 'T':
    case '@': {
      if (f.Length != 8) {
        out.SetNull();
        return;
      }
      const bool ok = f.Type == '@' && FHeader.Format == TDbfFormat::dBase7
                          ? DecodeLevel7Timestamp(p, date)
                          : DecodeJulianDateTime(p, date);
      if (ok) {
        out.SetDate(date);
      } else {
        out.SetNull();
      }
      return;
    }
    case 'B':
      if (f.Length == 8) {
        double value;
        std::memcpy(&value, p, 8);
        out.SetDouble(value);
        return;
      }
      DecodeMemo(f, p, out);
      return;
    case 'M':
    case 'G':
    case 'P':
    case 'W':
      DecodeMemo(f, p, out);
      return;
    default:
      break;
  }
  // Unknown types, and integers in a width they never have (their column is
  // a binary one): the raw bytes.
  out.SetBytes(raw);
}

}  // namespace lumbra
