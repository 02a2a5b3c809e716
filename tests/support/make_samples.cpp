// lumbra-make-samples FOLDER: writes the sample tables of samples/ into FOLDER.
// clienti.dbf is a Visual FoxPro table in code page 1250 (mark 0xC8) with a
// memo file: Romanian letters in names and cities, one city in three spellings
// of letter case, a nullable column holding some Nulls, and one memo per client.
#include <cstdio>
#include <exception>
#include <filesystem>

#include "tests/support/dbf_builder.h"

namespace lumbra::test {
namespace {

TTableShape Clienti() {
  TTableShape spec;
  spec.Version = 0x30;
  spec.CodePageMark = 0xC8;
  spec.UpdateYear = 2024;
  spec.UpdateMonth = 3;
  spec.UpdateDay = 5;
  spec.Fields = {
      {"NUME", 'C', 30},
      {"ORAS", 'C', 20},
      {"SUMA", 'N', 12, 2},
      {"DATA", 'D', 8},
      {"MOMENT", 'T', 8},
      {"ACTIV", 'L', 1},
      {"TELEFON", 'C', 12, 0, kFlagNullable},
      {"OBS", 'M', 4},
  };
  // Text in code page 1250: \xBA is "ș", \xAA "Ș", \xFE "ț", \xE3 "ă", \xE2 "â", \xEE "î".
  spec.Rows = {
      {Text("Popescu Ion"), Text("Bucure\xBAti"), Dbl(1250.50), Date(2023, 1, 12),
       DateTime(2023, 1, 12, 9, 15, 0), Logical(true), Text("0721123456"),
       Memo("Client vechi, pl\xE3te\xBAte la timp.")},
      {Text("Ionescu Maria"), Text("Bra\xBAov"), Dbl(830.00), Date(2023, 2, 3),
       DateTime(2023, 2, 3, 14, 30, 5), Logical(true), Null(), Memo("")},
      {Text("\xAAtef\xE3nescu Andrei"), Text("Timi\xBAoara"), Dbl(15999.99), Date(2022, 11, 30),
       DateTime(2022, 11, 30, 17, 45, 12), Logical(false), Text("0745987654"),
       Memo("Cere factur\xE3 \xEEn dou\xE3 exemplare.")},
      {Text("Dumitrescu Elena"), Text("Ia\xBAi"), Dbl(420.75), Date(2023, 3, 18),
       DateTime(2023, 3, 18, 8, 0, 0), Logical(true), Text("0232111222"), Memo("")},
      {Text("Georgescu Vasile"), Text("Cluj"), Dbl(7300.00), Date(2023, 4, 1),
       DateTime(2023, 4, 1, 12, 0, 0), Logical(true), Null(),
       Memo("Contract nou din aprilie.\r\nLivrare lunar\xE3.")},
      {Text("Marinescu Ana"), Text("CLUJ"), Dbl(99.90), Date(2023, 4, 20),
       DateTime(2023, 4, 20, 16, 20, 45), Logical(false), Text("0264333444"), Memo("")},
      {Text("Constantinescu Radu"), Text("cluj"), Dbl(2500.00), Date(2023, 5, 9),
       DateTime(2023, 5, 9, 10, 5, 30), Logical(true), Text("0722555666"),
       Memo("Adresa veche: str. Memorandumului.")},
      {Text("\xDE\xEErlea Mihai"),
       Text("Constan\xFE"
            "a"),
       Dbl(-150.25), Date(2023, 5, 27), DateTime(2023, 5, 27, 19, 40, 0), Logical(true), Null(),
       Memo("Restituire par\xFEial\xE3.")},
      {Text("Stoica Ioana"), Text("Pite\xBAti"), Dbl(3120.40), Date(2023, 6, 14),
       DateTime(2023, 6, 14, 11, 11, 11), Logical(true), Text("0248777888"), Memo("")},
      {Text("Munteanu Cristian"), Text("T\xE2rgu Mure\xBA"), Dbl(560.00), Date(2023, 7, 2),
       DateTime(2023, 7, 2, 7, 30, 0), Logical(false), Text("0265999000"),
       Memo("Nu mai comand\xE3 din 2023.")},
      {Text("Florea Gabriela"), Text("Br\xE3ila"), Dbl(12.00), Date(2023, 7, 19),
       DateTime(2023, 7, 19, 13, 0, 59), Logical(true), Text("0239121314"), Memo("")},
      {Text("Niculescu Dan"), Text("Gala\xFEi"), Dbl(48000.00), Date(2023, 8, 8),
       DateTime(2023, 8, 8, 15, 25, 0), Logical(true), Text("0236151617"),
       Memo("Client mare: discount 5%.")},
      {Text("Barbu Simona"), Text("Sibiu"), Dbl(0.00), Date(2023, 8, 30),
       DateTime(2023, 8, 30, 9, 45, 0), Logical(false), Null(), Memo("")},
      {Text("Lungu Alexandru"), Text("Oradea"), Dbl(1875.60), Date(2023, 9, 15),
       DateTime(2023, 9, 15, 18, 10, 20), Logical(true), Text("0259181920"), Memo("")},
      {Text("Ene Cristina"), Text("Craiova"), Dbl(640.10), Date(2023, 10, 3),
       DateTime(2023, 10, 3, 10, 0, 0), Logical(true), Text("0251212223"),
       Memo("Prefer\xE3 plata cu cardul.")},
      {Text("Pop Bogdan"), Text("Suceava"), Dbl(2210.00), Date(2023, 10, 21),
       DateTime(2023, 10, 21, 14, 14, 14), Logical(false), Text("0230242526"), Memo("")},
      {Text("Rusu Irina"), Text("Bac\xE3u"), Dbl(305.45), Date(2023, 11, 11),
       DateTime(2023, 11, 11, 11, 30, 0), Logical(true), Null(), Memo("")},
      {Text("Cojocaru \xAA"
            "erban"),
       Text("R\xE2mnicu V\xE2lcea"), Dbl(9999.99), Date(2023, 12, 1),
       DateTime(2023, 12, 1, 8, 8, 8), Logical(true), Text("0250272829"),
       Memo("Sediu nou \xEEn R\xE2mnicu V\xE2lcea.")},
      {Text("Dinu Larisa"), Text("Bucure\xBAti"), Dbl(777.77), Date(2024, 1, 9),
       DateTime(2024, 1, 9, 16, 0, 0), Logical(true), Text("0213031323"), Memo("")},
      {Text("Vasilescu Petru"), Text("Ia\xBAi"), Dbl(1340.00), Date(2024, 2, 29),
       DateTime(2024, 2, 29, 23, 59, 59), Logical(false), Text("0232343536"),
       Memo("Ultima comand\xE3: 29 februarie 2024.")},
  };
  return spec;
}

}  // namespace
}  // namespace lumbra::test

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("Usage: lumbra-make-samples FOLDER\n", stderr);
    return 2;
  }
  try {
    lumbra::test::WriteTable(argv[1], "clienti", lumbra::test::Clienti());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumbra-make-samples: %s\n", e.what());
    return 1;
  }
  return 0;
}
