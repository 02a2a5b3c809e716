#include "dbf/memo.h"

#include <algorithm>

#include "base/byte_order.h"
#include "base/shortcuts.h"
#include "dbf/dbf_error.h"

namespace lumbra {

TMemoFile::TMemoFile(std::unique_ptr<IFileIo> file, TKind kind, bool dbtLevel4)
    : FFile(std::move(file)),
      FKind(kind),
      FChunks(std::make_unique<TChunkCache>(*FFile, 0, FFile->Size(), kChunkBytes, false)) {
  unsigned char header[kHeaderBytes] = {};
  FFile->ReadAt(0, header, sizeof header);
  FBlockSize = BlockSizeOf(kind, dbtLevel4, header);
  if (kind == TKind::Fpt && FBlockSize != 0) FFirstBlock = (512 + FBlockSize - 1) / FBlockSize;
}

uint32_t TMemoFile::BlockSizeOf(TKind kind, bool dbtLevel4, const unsigned char* header) {
  if (kind == TKind::Fpt) return LoadBe16(header + 6);
  const uint32_t declared = LoadLe16(header + 20);
  return dbtLevel4 && declared != 0 ? declared : 512;
}

TMemoRead TMemoFile::Read(uint64_t block, std::string_view& out) {
  out = {};
  if (block == 0) return TMemoRead::Value;
  if (FBlockSize == 0 || block < FFirstBlock) return TMemoRead::Bad;
  const uint64_t offset = block * FBlockSize;
  const std::string_view head = Window(offset, 8).substr(0, 8);
  if (head.size() < 8) {
    // A III-style memo can be shorter than 8 bytes at the very end of the file.
    if (FKind == TKind::Dbt && !head.empty()) return ReadDbtText(offset, out);
    return BeyondEnd();
  }
  const auto* h = reinterpret_cast<const unsigned char*>(head.data());
  uint64_t length;
  if (FKind == TKind::Fpt) {
    if (LoadBe32(h) > 2) return TMemoRead::Bad;  // not a picture, text or object block
    length = LoadBe32(h + 4);
  } else if (h[0] == 0xFF && h[1] == 0xFF && h[2] == 0x08 && h[3] == 0x00) {
    // dBase IV block: the stored length counts the 8-byte block header.
    const uint32_t stored = LoadLe32(h + 4);
    length = stored >= 8 ? stored - 8 : 0;
  } else {
    return ReadDbtText(offset, out);
  }
  const uint64_t dataAt = offset + 8;
  if (length <= kChunkBytes) {
    out = Window(dataAt, length).substr(0, length);
    return out.size() == length ? TMemoRead::Value : BeyondEnd();
  }
  // Longer than a chunk: checked against the file's size before anything
  // is allocated for it, then read straight into the value.
  const uint64_t size = FFile->Size();
  if (dataAt > size || length > size - dataAt) return BeyondEnd();
  FLong.resize(length);
  if (FFile->ReadAt(dataAt, FLong.data(), length) != length) {
    FLong.clear();
    return BeyondEnd();
  }
  out = FLong;
  return TMemoRead::Value;
}

void TMemoFile::ReleaseLong() {
  // A buffer of a few chunks is kept for the next long memo.
  if (FLong.capacity() > 4 * kChunkBytes) std::string().swap(FLong);
}

TMemoRead TMemoFile::BeyondEnd() {
  ++FReadsBeyondEnd;
  return TMemoRead::Bad;
}

void TMemoFile::Prefetch(uint64_t block) const {
  if (block < FFirstBlock || FBlockSize == 0 || block > UINT64_MAX / FBlockSize) return;
  const uint64_t offset = block * FBlockSize;
  const std::string_view chunk = FChunks->Cached(offset / kChunkBytes);
  const auto skip = static_cast<size_t>(offset % kChunkBytes);
  if (skip < chunk.size()) __builtin_prefetch(chunk.data() + skip);
}

std::string_view TMemoFile::Window(uint64_t offset, size_t atLeast) {
  const uint64_t number = offset / kChunkBytes;
  const auto skip = static_cast<size_t>(offset % kChunkBytes);
  if (skip + atLeast <= kChunkBytes) {
    if (kShortcuts && FChunks->IsFull(number)) {
      // A memo of a file larger than the cache, met out of file order: what
      // it asks for and a little more (most memos are short), not a chunk.
      constexpr size_t kAloneBytes = 1024;
      return FChunks->ReadAlone(offset, std::max(atLeast, kAloneBytes));
    }
    const std::string_view chunk = FChunks->Chunk(number);
    return skip < chunk.size() ? chunk.substr(skip) : std::string_view();
  }
  // Across two chunks: read on its own, as few memos are.
  FStraddle.resize(atLeast);
  return {FStraddle.data(), FFile->ReadAt(offset, FStraddle.data(), atLeast)};
}

// A III-style memo has no length: it runs to the first 0x1A or the end of the file.
TMemoRead TMemoFile::ReadDbtText(uint64_t offset, std::string_view& out) {
  std::string_view chunk = Window(offset, 1);
  size_t end = chunk.find('\x1A');
  if (end != std::string_view::npos) {
    out = chunk.substr(0, end);
    return TMemoRead::Value;
  }
  // The memo runs past the window: gathered window by window.
  FLong.clear();
  while (!chunk.empty() && end == std::string_view::npos) {
    FLong.append(chunk);
    offset += chunk.size();
    chunk = Window(offset, 1);
    end = chunk.find('\x1A');
  }
  FLong.append(chunk.substr(0, end));
  out = FLong;
  return TMemoRead::Value;
}

}  // namespace lumbra
