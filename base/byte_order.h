// Integers as files store them, little- or big-endian, read and written a
// byte at a time so that the processor's own order and alignment never
// matter (compilers turn each into a single load or store where they can).
#pragma once

#include <cstdint>

namespace lumbra {

inline uint16_t LoadLe16(const void* at) {
  const auto* p = static_cast<const unsigned char*>(at);
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t LoadLe32(const void* at) {
  const auto* p = static_cast<const unsigned char*>(at);
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint16_t LoadBe16(const void* at) {
  const auto* p = static_cast<const unsigned char*>(at);
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t LoadBe32(const void* at) {
  const auto* p = static_cast<const unsigned char*>(at);
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}
inline uint64_t LoadBe64(const void* at) {
  const auto* p = static_cast<const unsigned char*>(at);
  return uint64_t{LoadBe32(p)} << 32 | LoadBe32(p + 4);
}

inline void StoreLe16(void* at, uint32_t v) {
  auto* p = static_cast<unsigned char*>(at);
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void StoreLe32(void* at, uint32_t v) {
  auto* p = static_cast<unsigned char*>(at);
  StoreLe16(p, v);
  StoreLe16(p + 2, v >> 16);
}
inline void StoreBe32(void* at, uint32_t v) {
  auto* p = static_cast<unsigned char*>(at);
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<unsigned char>(v >> (8 * (3 - i)));
}

}  // namespace lumbra
