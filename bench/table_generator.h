// Large tables for benchmarks, written as a stream: a Visual FoxPro table with
// an .fpt memo and null flags, or a dBase III table with a .dbt memo. Every
// value follows from the seed, so two runs with one seed write the same bytes.
//
// Columns, by name (later benchmarks filter, sort and count on them):
//   ID      I (VFP) / N(10,0)     1, 2, 3, ...
//   ORAS    C(20)                 ~300 Romanian towns in code page 1250 bytes,
//                                 big towns more frequent, with letter-case and
//                                 missing-diacritics variants (Cluj, CLUJ, cluj)
//   NUME    C(30)                 family name and given name
//   SUMA    N(12,2)               log-normal around 180, about 2/3 above 100,
//                                 a few negative
//   CANT    N(5,0)                1 to 999, small ones frequent; a few blank
//   DATA    D                     2015 to 2024; a few blank
//   MOMENT  T (VFP) / C(19)       date and time of day ("YYYY-MM-DD HH:MM:SS"
//                                 as text in dBase III); a few empty
//   ACTIV   L                     mostly true; "?" now and then in dBase III
//   PRET    B (VFP) / N(12,3)     price; Null (VFP) or blank (dBase III) now and then
//   VALOARE Y (VFP) / N(15,4)     currency
//   TELEFON C(12)                 nullable in VFP; Null or blank in 15%
//   OBS     M                     a third filled with text, some of it spanning
//                                 several blocks; the rest empty or (VFP) Null
// About 1% of the records are marked deleted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumbra {

enum class TBenchFormat : uint8_t {
  VisualFoxPro,  // version 0x30, code page mark 0xC8 (1250), .fpt memo, _NullFlags
  dBase3,        // version 0x83, code page mark 0x00, III-style .dbt memo
};

struct TGeneratedColumn {
  std::string Name;
  uint64_t NullCount = 0;  // values the engine should read as Null
};

struct TGeneratedTable {
  std::string TablePath;
  std::string MemoPath;
  uint32_t Records = 0;
  uint32_t Deleted = 0;
  // The visible columns in field order (not _NullFlags).
  std::vector<TGeneratedColumn> Columns;
};

// Writes <folder>/<name>.dbf and its memo file (.fpt or .dbt) with records
// records. folder must exist; existing files are replaced. Memory use does not
// grow with records. Throws Exception when a file cannot be written.
TGeneratedTable GenerateTable(const std::string& folder, const std::string& name,
                              TBenchFormat format, uint32_t records, uint64_t seed);

const char* BenchFormatName(TBenchFormat format);  // "vfp" or "dbase3"

}  // namespace lumbra
