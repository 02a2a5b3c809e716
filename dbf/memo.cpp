#include "dbf/memo.h"

#include <cstring>

#include "dbf/dbf_error.h"

namespace lumbra {

namespace {

uint32_t Be32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}
uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

TMemoFile::TMemoFile(std::unique_ptr<FileIo> file, TKind kind, bool dbtLevel4)
    : FFile(std::move(file)), FKind(kind) {
  unsigned char header[24] = {};
  FFile->ReadAt(0, header, sizeof header);
  if (kind == TKind::Fpt) {
    FBlockSize = static_cast<uint32_t>(header[6]) << 8 | header[7];
    if (FBlockSize != 0) FFirstBlock = (512 + FBlockSize - 1) / FBlockSize;
  } else {
    FBlockSize = 512;
    const uint32_t declared = static_cast<uint32_t>(header[20]) | header[21] << 8;
    if (dbtLevel4 && declared != 0) FBlockSize = declared;
  }
}

TMemoRead TMemoFile::Read(uint64_t block, std::string& out) {
  out.clear();
  if (block == 0) return TMemoRead::Value;
  if (FBlockSize == 0 || block < FFirstBlock) return TMemoRead::Bad;
  const uint64_t size = FFile->Size();
  const uint64_t offset = block * FBlockSize;
  unsigned char head[8];
  if (offset >= size || FFile->ReadAt(offset, head, 8) != 8) {
    // A III-style memo can be shorter than 8 bytes at the very end of the file.
    return FKind == TKind::Dbt && offset < size ? ReadDbtText(offset, out) : TMemoRead::Bad;
  }
  uint64_t length;
  uint64_t dataAt = offset + 8;
  if (FKind == TKind::Fpt) {
    if (Be32(head) > 2) return TMemoRead::Bad;  // not a picture, text or object block
    length = Be32(head + 4);
  } else if (head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00) {
    // dBase IV block: the stored length counts the 8-byte block header.
    const uint32_t stored = Le32(head + 4);
    length = stored >= 8 ? stored - 8 : 0;
  } else {
    return ReadDbtText(offset, out);
  }
  if (length > size - dataAt) return TMemoRead::Bad;
  out.resize(length);
  if (FFile->ReadAt(dataAt, out.data(), length) != length) {
    out.clear();
    return TMemoRead::Bad;
  }
  return TMemoRead::Value;
}

// A III-style memo has no length: it runs to the first 0x1A or the end of the file.
TMemoRead TMemoFile::ReadDbtText(uint64_t offset, std::string& out) {
  char chunk[4096];
  for (;;) {
    const size_t n = FFile->ReadAt(offset, chunk, sizeof chunk);
    const void* end = std::memchr(chunk, 0x1A, n);
    if (end != nullptr) {
      out.append(chunk, static_cast<size_t>(static_cast<const char*>(end) - chunk));
      return TMemoRead::Value;
    }
    out.append(chunk, n);
    if (n < sizeof chunk) return TMemoRead::Value;
    offset += n;
  }
}

}  // namespace lumbra
