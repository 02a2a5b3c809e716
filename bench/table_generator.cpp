#include "bench/table_generator.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <string_view>
#include <vector>

#include "base/date_time.h"
#include "base/exception.h"

namespace lumbra {

namespace {

// ---------------------------------------------------------------------------
// Output

// A file written front to back through a large buffer, with the header patched
// in place at the end (the memo file's next free block is known only then).
class TOutputFile {
 public:
  explicit TOutputFile(std::string path) : FPath(std::move(path)) {
    do {
      FFd = ::open(FPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } while (FFd < 0 && errno == EINTR);
    if (FFd < 0) Fail("cannot create");
    FBuffer.reserve(kBufferBytes);
  }
  ~TOutputFile() {
    if (FFd >= 0) ::close(FFd);
  }
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  const std::string& Path() const { return FPath; }
  uint64_t Size() const { return FFlushed + FBuffer.size(); }

  void Append(const void* data, size_t length) {
    const auto* p = static_cast<const char*>(data);
    if (FBuffer.size() + length > kBufferBytes) Flush();
    if (length >= kBufferBytes) {
      WriteFully(p, length, FFlushed);
      FFlushed += length;
      return;
    }
    FBuffer.insert(FBuffer.end(), p, p + length);
  }
  void AppendZeros(size_t length) { FBuffer.resize(FBuffer.size() + length, '\0'); }

  void WriteAt(uint64_t offset, const void* data, size_t length) {
    Flush();
    WriteFully(static_cast<const char*>(data), length, offset);
  }

  void Close() {
    Flush();
    if (::close(FFd) != 0) {
      FFd = -1;
      Fail("cannot write");
    }
    FFd = -1;
  }

 private:
  static constexpr size_t kBufferBytes = 1 << 20;

  [[noreturn]] void Fail(const char* what) const {
    throw Exception("File '" + FPath + "': " + what + ": " + std::strerror(errno));
  }
  void Flush() {
    WriteFully(FBuffer.data(), FBuffer.size(), FFlushed);
    FFlushed += FBuffer.size();
    FBuffer.clear();
  }
  void WriteFully(const char* data, size_t length, uint64_t offset) {
    while (length > 0) {
      const ssize_t n = ::pwrite(FFd, data, length, static_cast<off_t>(offset));
      if (n < 0) {
        if (errno == EINTR) continue;
        Fail("cannot write");
      }
      data += n;
      length -= static_cast<size_t>(n);
      offset += static_cast<uint64_t>(n);
    }
  }

  std::string FPath;
  int FFd = -1;
  uint64_t FFlushed = 0;
  std::vector<char> FBuffer;
};

void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutBe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}

// ---------------------------------------------------------------------------
// Memo files

class TMemoWriter {
 public:
  virtual ~TMemoWriter() = default;
  // Stores text and returns its first block.
  virtual uint32_t Append(std::string_view text) = 0;
  // Writes the header with the next free block and closes the file.
  virtual void Finish() = 0;
};

// .fpt: a 512-byte header, then blocks of 64 bytes (the VFP default), each memo
// an 8-byte big-endian type and length before its bytes.
class TFptWriter : public TMemoWriter {
 public:
  explicit TFptWriter(std::string path) : FFile(std::move(path)) {
    FFile.AppendZeros(kHeaderBytes);
  }
  uint32_t Append(std::string_view text) override {
    const auto block = static_cast<uint32_t>(FFile.Size() / kBlockBytes);
    uint8_t head[8];
    PutBe32(head, 1);  // text
    PutBe32(head + 4, static_cast<uint32_t>(text.size()));
    FFile.Append(head, sizeof head);
    FFile.Append(text.data(), text.size());
    FFile.AppendZeros((kBlockBytes - FFile.Size() % kBlockBytes) % kBlockBytes);
    return block;
  }
  void Finish() override {
    uint8_t header[8] = {};
    PutBe32(header, static_cast<uint32_t>(FFile.Size() / kBlockBytes));
    header[6] = 0;
    header[7] = kBlockBytes;
    FFile.WriteAt(0, header, sizeof header);
    FFile.Close();
  }

 private:
  static constexpr size_t kHeaderBytes = 512;
  static constexpr uint8_t kBlockBytes = 64;
  TOutputFile FFile;
};

// III-style .dbt: 512-byte blocks, block 0 the header, each memo ended by two
// 0x1A bytes and padded to whole blocks.
class TDbtWriter : public TMemoWriter {
 public:
  explicit TDbtWriter(std::string path) : FFile(std::move(path)) { FFile.AppendZeros(kBlockBytes); }
  uint32_t Append(std::string_view text) override {
    const auto block = static_cast<uint32_t>(FFile.Size() / kBlockBytes);
    FFile.Append(text.data(), text.size());
    FFile.Append("\x1A\x1A", 2);
    FFile.AppendZeros((kBlockBytes - FFile.Size() % kBlockBytes) % kBlockBytes);
    return block;
  }
  void Finish() override {
    uint8_t header[17] = {};
    PutLe32(header, static_cast<uint32_t>(FFile.Size() / kBlockBytes));
    header[16] = 0x03;  // dBase III marks its memo files so; readers ignore it
    FFile.WriteAt(0, header, sizeof header);
    FFile.Close();
  }

 private:
  static constexpr size_t kBlockBytes = 512;
  TOutputFile FFile;
};

// ---------------------------------------------------------------------------
// Random values

// xoshiro256** seeded through splitmix64: fast, and the same sequence on every
// platform, which the standard library's distributions do not promise.
class TRandom {
 public:
  explicit TRandom(uint64_t seed) {
    for (uint64_t& s : FState) {
      seed += 0x9E3779B97F4A7C15ull;
      uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      s = z ^ (z >> 31);
    }
  }
  uint64_t Next() {
    const uint64_t result = std::rotl(FState[1] * 5, 7) * 9;
    const uint64_t t = FState[1] << 17;
    FState[2] ^= FState[0];
    FState[3] ^= FState[1];
    FState[1] ^= FState[2];
    FState[0] ^= FState[3];
    FState[2] ^= t;
    FState[3] = std::rotl(FState[3], 45);
    return result;
  }
  // 0 <= result < n.
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(((Next() >> 32) * n) >> 32); }
  // 0 <= result < 1.
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  bool Chance(double p) { return Unit() < p; }
  double Normal() {
    const double radius = std::sqrt(-2.0 * std::log(1.0 - Unit()));
    return radius * std::cos(2.0 * std::numbers::pi * Unit());
  }
  // exp(N(log(median), sigma)).
  double LogNormal(double median, double sigma) { return median * std::exp(sigma * Normal()); }

 private:
  std::array<uint64_t, 4> FState{};
};

// ---------------------------------------------------------------------------
// Romanian text in code page 1250

struct TCp1250Letter {
  char32_t CodePoint;
  uint8_t Byte;
  char Plain;  // the letter without its diacritic
};

// Code page 1250 has only the cedilla forms of s and t; legacy Romanian data
// stores the comma-below letters as those.
constexpr TCp1250Letter kLetters[] = {
    {U'ă', 0xE3, 'a'}, {U'Ă', 0xC3, 'A'}, {U'â', 0xE2, 'a'}, {U'Â', 0xC2, 'A'}, {U'î', 0xEE, 'i'},
    {U'Î', 0xCE, 'I'}, {U'ș', 0xBA, 's'}, {U'Ș', 0xAA, 'S'}, {U'ş', 0xBA, 's'}, {U'Ş', 0xAA, 'S'},
    {U'ț', 0xFE, 't'}, {U'Ț', 0xDE, 'T'}, {U'ţ', 0xFE, 't'}, {U'Ţ', 0xDE, 'T'}, {U'á', 0xE1, 'a'},
    {U'Á', 0xC1, 'A'}, {U'é', 0xE9, 'e'}, {U'É', 0xC9, 'E'}, {U'í', 0xED, 'i'}, {U'ó', 0xF3, 'o'},
    {U'ö', 0xF6, 'o'}, {U'ő', 0xF5, 'o'}, {U'ú', 0xFA, 'u'}, {U'ü', 0xFC, 'u'},
};

// The code page 1250 bytes of UTF-8 text made of ASCII and the letters above.
std::string ToCp1250(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<uint8_t>(utf8[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<char>(lead));
      ++i;
      continue;
    }
    // Every letter above is a two-byte sequence.
    const char32_t cp =
        static_cast<char32_t>((lead & 0x1F) << 6) | (static_cast<uint8_t>(utf8[i + 1]) & 0x3Fu);
    i += 2;
    const auto* letter = std::find_if(std::begin(kLetters), std::end(kLetters),
                                      [cp](const TCp1250Letter& l) { return l.CodePoint == cp; });
    if (letter == std::end(kLetters)) {
      throw Exception("Benchmark text has a letter outside code page 1250: U+" +
                      std::to_string(static_cast<uint32_t>(cp)));
    }
    out.push_back(static_cast<char>(letter->Byte));
  }
  return out;
}

// Letter case in code page 1250: ASCII, the accented letters 0xC0-0xDE /
// 0xE0-0xFE (0xD7 and 0xF7 are signs), and S cedilla 0xAA / 0xBA.
char UpperCp1250(char c) {
  const auto b = static_cast<uint8_t>(c);
  if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b != 0xF7 && b != 0xFF)) {
    return static_cast<char>(b - 0x20);
  }
  return b == 0xBA ? static_cast<char>(0xAA) : c;
}
char LowerCp1250(char c) {
  const auto b = static_cast<uint8_t>(c);
  if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) {
    return static_cast<char>(b + 0x20);
  }
  return b == 0xAA ? static_cast<char>(0xBA) : c;
}
char PlainCp1250(char c) {
  for (const TCp1250Letter& l : kLetters) {
    if (static_cast<char>(l.Byte) == c) return l.Plain;
  }
  return c;
}

template <typename F>
std::string Map(std::string text, F f) {
  std::transform(text.begin(), text.end(), text.begin(), f);
  return text;
}

// Lists separated by "|". Towns and cities come largest first: the pick favours
// the top of the list (weight 1 / rank) as real customer tables do.
constexpr std::string_view kTowns =
    "București|Cluj|Timișoara|Iași|Constanța|Craiova|Brașov|Galați|Ploiești|Oradea|Brăila|"
    "Arad|Pitești|Sibiu|Bacău|Târgu Mureș|Baia Mare|Buzău|Botoșani|Satu Mare|Râmnicu Vâlcea|"
    "Drobeta-Tr. Severin|Suceava|Piatra Neamț|Târgu Jiu|Târgoviște|Focșani|Bistrița|Reșița|"
    "Tulcea|Călărași|Alba Iulia|Giurgiu|Deva|Hunedoara|Zalău|Sfântu Gheorghe|Bârlad|Vaslui|"
    "Roman|Turda|Mediaș|Slobozia|Alexandria|Voluntari|Lugoj|Medgidia|Onești|Miercurea Ciuc|"
    "Sighetu Marmației|Petroșani|Mangalia|Tecuci|Râmnicu Sărat|Pașcani|Dej|Reghin|Năvodari|"
    "Odorheiu Secuiesc|Câmpina|Mioveni|Câmpulung|Caracal|Sebeș|Făgăraș|Curtea de Argeș|"
    "Rădăuți|Sighișoara|Dorohoi|Fetești|Lupeni|Caransebeș|Zărnești|Târnăveni|Aiud|"
    "Câmpia Turzii|Gherla|Vulcan|Moinești|Orăștie|Oltenița|Turnu Măgurele|Roșiorii de Vede|"
    "Codlea|Motru|Carei|Huși|Vatra Dornei|Câmpulung Moldov.|Gheorgheni|Salonta|Marghita|"
    "Beiuș|Toplița|Orșova|Brad|Borșa|Adjud|Urziceni|Moreni|Buftea|Otopeni|Pantelimon|"
    "Popești-Leordeni|Bragadiru|Chitila|Măgurele|Ovidiu|Eforie|Techirghiol|Cernavodă|Hârșova|"
    "Murfatlar|Negru Vodă|Băneasa|Isaccea|Măcin|Babadag|Sulina|Însurăței|Ianca|Făurei|"
    "Pogoanele|Nehoiu|Pătârlagele|Mizil|Vălenii de Munte|Sinaia|Bușteni|Azuga|Comarnic|"
    "Breaza|Băicoi|Boldești-Scăeni|Urlați|Slănic|Plopeni|Predeal|Râșnov|Săcele|Ghimbav|"
    "Victoria|Rupea|Covasna|Târgu Secuiesc|Baraolt|Întorsura Buzăului|Bălan|Borsec|"
    "Cristuru Secuiesc|Vlăhița|Băile Tușnad|Sovata|Luduș|Iernut|Sângeorgiu de Pădure|"
    "Miercurea Nirajului|Ungheni|Sărmașu|Dumbrăveni|Agnita|Avrig|Cisnădie|Copșa Mică|"
    "Ocna Sibiului|Săliște|Tălmaciu|Miercurea Sibiului|Blaj|Cugir|Ocna Mureș|Zlatna|Abrud|"
    "Câmpeni|Baia de Arieș|Teiuș|Huedin|Negrești-Oaș|Tășnad|Ardud|Livada|Seini|Baia Sprie|"
    "Cavnic|Târgu Lăpuș|Șomcuta Mare|Ulmeni|Tăuții-Măgherăuș|Dragomirești|Săliștea de Sus|"
    "Vișeu de Sus|Beclean|Năsăud|Sângeorz-Băi|Jibou|Șimleu Silvaniei|Cehu Silvaniei|Aleșd|"
    "Valea lui Mihai|Ștei|Nucet|Vașcău|Săcueni|Sântana|Pecica|Curtici|Chișineu-Criș|Ineu|"
    "Lipova|Nădlac|Pâncota|Sebiș|Jimbolia|Sânnicolau Mare|Buziaș|Deta|Făget|Recaș|Ciacova|"
    "Gătaia|Anina|Bocșa|Moldova Nouă|Oravița|Oțelu Roșu|Băile Herculane|Baia de Aramă|"
    "Strehaia|Vânju Mare|Bumbești-Jiu|Novaci|Rovinari|Târgu Cărbunești|Țicleni|Turceni|"
    "Băilești|Calafat|Dăbuleni|Filiași|Segarcea|Bechet|Balș|Corabia|Drăgănești-Olt|"
    "Piatra-Olt|Potcoava|Scornicești|Brezoi|Călimănești|Drăgășani|Horezu|Ocnele Mari|"
    "Bălcești|Berbești|Băbeni|Costești|Ștefănești|Topoloveni|Găești|Titu|Fieni|Răcari|"
    "Pucioasa|Bolintin-Vale|Mihăilești|Videle|Zimnicea|Budești|Fundulea|Lehliu Gară|Amara|"
    "Căzănești|Fierbinți-Târg|Țăndărei|Panciu|Odobești|Mărășești|Târgu Bujor|Berești|"
    "Negrești|Murgeni|Bicaz|Roznov|Târgu Neamț|Buhuși|Comănești|Dărmănești|Slănic-Moldova|"
    "Târgu Ocna|Darabani|Flămânzi|Săveni|Bucecea|Fălticeni|Gura Humorului|Siret|Solca|"
    "Cajvana|Dolhasca|Frasin|Liteni|Milișăuți|Salcea|Vicovu de Sus|Broșteni|Hârlău|"
    "Podu Iloaiei|Târgu Frumos";

constexpr std::string_view kFamilyNames =
    "Popescu|Ionescu|Popa|Pop|Radu|Dumitru|Stan|Stoica|Gheorghe|Matei|Ciobanu|Rusu|Munteanu|"
    "Ilie|Constantin|Mihai|Marin|Florea|Tudor|Barbu|Nistor|Dinu|Moldovan|Toma|Lazăr|Ștefan|"
    "Dobre|Sârbu|Enache|Neagu|Ene|Cristea|Diaconu|Oprea|Anghel|Tănase|Voicu|Vasile|Mocanu|"
    "Nedelcu|Zamfir|Manea|Căpraru|Bălan|Preda|Crăciun|Stănescu|Drăgan|Țurcanu|Șerban|"
    "Niculescu|Georgescu|Vlad|Pavel|Bucur|Cozma|Mureșan|Nagy|Kovács|Szabó|Tóth|Balogh|Fekete|"
    "Lőrincz|Ardeleanu|Bogdan|Chiriac|Dumitrescu|Făgărășanu|Ispas";

constexpr std::string_view kGivenNames =
    "Ion|Maria|Andrei|Elena|Mihai|Ioana|Alexandru|Ana|Gheorghe|Cristina|Ștefan|Mihaela|"
    "Constantin|Andreea|Vasile|Gabriela|Nicolae|Daniela|Florin|Alina|Adrian|Roxana|Bogdan|"
    "Raluca|Cătălin|Simona|Răzvan|Oana|Dumitru|Irina|Marius|Laura|Ionuț|Corina|Sorin|Diana|"
    "Cosmin|Bianca|Radu|Georgiana|Valentin|Teodora|Lucian|Ilinca|Tudor|Ștefania|Vlad|Mirela|"
    "Dan|Lăcrămioara|Petru|Aurelia|Costel|Viorica|Emil|Rodica|Iulian|Carmen|Octavian|Paula|"
    "Zoltán|Erzsébet";

constexpr const char* kNotePhrases[] = {
    "Client fidel, plată la termen.",
    "Livrare întârziată din cauza vremii.",
    "Factura a fost trimisă prin poștă.",
    "Reclamație rezolvată de departamentul tehnic.",
    "Se acordă discount de 5% la următoarea comandă.",
    "Marfa a fost recepționată fără obiecții.",
    "Plata în două tranșe, conform contractului.",
    "Adresa de livrare diferă de cea de facturare.",
    "Contactați clientul înainte de expediere.",
    "Produsul a fost returnat în termenul legal.",
    "Comandă urgentă, prioritate maximă.",
    "Ambalaj deteriorat la sosire.",
    "Șoferul a semnalat acces dificil la depozit.",
    "Termen de garanție: 24 de luni.",
    "Clientul solicită factură în format electronic.",
    "Stoc insuficient; restul mărfii se livrează săptămâna viitoare.",
    "Verificat de șeful de tură.",
    "Preț negociat conform ofertei din luna precedentă.",
    "Transport asigurat de firma parteneră.",
    "Document întocmit în două exemplare.",
};

// A town in its usual spelling and in the variants that hand-typed tables hold.
struct TTown {
  std::string Usual, Upper, Lower, Plain;
};

// The items of a "|"-separated list, in code page 1250.
std::vector<std::string> SplitToCp1250(std::string_view list) {
  std::vector<std::string> items;
  for (size_t start = 0;;) {
    const size_t bar = list.find('|', start);
    items.push_back(ToCp1250(list.substr(start, bar - start)));
    if (bar == std::string_view::npos) return items;
    start = bar + 1;
  }
}

class TVocabulary {
 public:
  TVocabulary()
      : FFamilyNames(SplitToCp1250(kFamilyNames)), FGivenNames(SplitToCp1250(kGivenNames)) {
    double total = 0;
    for (const std::string& usual : SplitToCp1250(kTowns)) {
      FTowns.push_back(
          {usual, Map(usual, UpperCp1250), Map(usual, LowerCp1250), Map(usual, PlainCp1250)});
      total += 1.0 / static_cast<double>(FTowns.size());
      FTownWeights.push_back(total);
    }
    for (double& w : FTownWeights)
      w /= total;
    for (const char* p : kNotePhrases)
      FPhrases.push_back(ToCp1250(p));
  }

  const std::string& Town(TRandom& random) const {
    const auto it = std::upper_bound(FTownWeights.begin(), FTownWeights.end(), random.Unit());
    const TTown& town =
        FTowns[std::min<size_t>(static_cast<size_t>(it - FTownWeights.begin()), FTowns.size() - 1)];
    const double u = random.Unit();
    if (u < 0.82) return town.Usual;
    if (u < 0.90) return town.Upper;
    if (u < 0.95) return town.Lower;
    return town.Plain;
  }

  void PersonName(TRandom& random, std::string& out) const {
    out = FFamilyNames[random.Below(static_cast<uint32_t>(FFamilyNames.size()))];
    out += ' ';
    out += FGivenNames[random.Below(static_cast<uint32_t>(FGivenNames.size()))];
    if (random.Chance(0.1)) {
      out += '-';
      out += FGivenNames[random.Below(static_cast<uint32_t>(FGivenNames.size()))];
    }
  }

  // Mostly a sentence or three; now and then a long text over several blocks.
  void Note(TRandom& random, std::string& out) const {
    out.clear();
    const uint32_t phrases = random.Chance(0.02) ? 15 + random.Below(30) : 1 + random.Below(3);
    for (uint32_t i = 0; i < phrases; ++i) {
      if (i != 0) out += random.Chance(0.2) ? "\r\n" : " ";
      out += FPhrases[random.Below(static_cast<uint32_t>(FPhrases.size()))];
    }
  }

 private:
  std::vector<TTown> FTowns;
  std::vector<double> FTownWeights;  // cumulative, ending at 1
  std::vector<std::string> FFamilyNames, FGivenNames, FPhrases;
};

// ---------------------------------------------------------------------------
// Table layout

enum class TRole : uint8_t {
  Id,
  Town,
  PersonName,
  Sum,
  Quantity,
  Date,
  Moment,
  Active,
  Price,
  Value,
  Phone,
  Notes,
  NullFlags,
};

struct TColumnSpec {
  TRole Role;
  const char* Name;
  char Type;
  uint8_t Length;
  uint8_t Decimals;
  uint8_t Flags;  // Visual FoxPro field flags
};

// The flags VFP itself writes: 0x04 on binary-stored types, 0x02 on nullable
// columns, 0x05 on the hidden _NullFlags.
constexpr TColumnSpec kVfpColumns[] = {
    {TRole::Id, "ID", 'I', 4, 0, 0x04},
    {TRole::Town, "ORAS", 'C', 20, 0, 0},
    {TRole::PersonName, "NUME", 'C', 30, 0, 0},
    {TRole::Sum, "SUMA", 'N', 12, 2, 0},
    {TRole::Quantity, "CANT", 'N', 5, 0, 0},
    {TRole::Date, "DATA", 'D', 8, 0, 0},
    {TRole::Moment, "MOMENT", 'T', 8, 0, 0x04},
    {TRole::Active, "ACTIV", 'L', 1, 0, 0},
    {TRole::Price, "PRET", 'B', 8, 2, 0x06},
    {TRole::Value, "VALOARE", 'Y', 8, 4, 0x04},
    {TRole::Phone, "TELEFON", 'C', 12, 0, 0x02},
    {TRole::Notes, "OBS", 'M', 4, 0, 0x02},
    {TRole::NullFlags, "_NullFlags", '0', 1, 0, 0x05},
};

constexpr TColumnSpec kDBase3Columns[] = {
    {TRole::Id, "ID", 'N', 10, 0, 0},           {TRole::Town, "ORAS", 'C', 20, 0, 0},
    {TRole::PersonName, "NUME", 'C', 30, 0, 0}, {TRole::Sum, "SUMA", 'N', 12, 2, 0},
    {TRole::Quantity, "CANT", 'N', 5, 0, 0},    {TRole::Date, "DATA", 'D', 8, 0, 0},
    {TRole::Moment, "MOMENT", 'C', 19, 0, 0},   {TRole::Active, "ACTIV", 'L', 1, 0, 0},
    {TRole::Price, "PRET", 'N', 12, 3, 0},      {TRole::Value, "VALOARE", 'N', 15, 4, 0},
    {TRole::Phone, "TELEFON", 'C', 12, 0, 0},   {TRole::Notes, "OBS", 'M', 10, 0, 0},
};

struct TLaidOutColumn {
  TColumnSpec Spec;
  uint32_t Offset = 0;
  int NullBit = -1;
  size_t Visible = 0;  // index into TGeneratedTable::Columns
};

// Days since 1899-12-30 of the dates the values fall in.
const int64_t kFirstDay = DaysSinceEpoch(2015, 1, 1);
const int64_t kDayCount = DaysSinceEpoch(2025, 1, 1) - kFirstDay;
constexpr int64_t kJulianDayOfEpoch = 2415019;  // 1899-12-30

// Writes a right-aligned decimal number scaled by 10^decimals into width bytes.
void PutScaled(uint8_t* out, size_t width, int64_t scaled, int decimals) {
  char text[32];
  char* end = text;
  const bool negative = scaled < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  uint64_t unit = 1;
  for (int i = 0; i < decimals; ++i)
    unit *= 10;
  if (negative) *end++ = '-';
  end = std::to_chars(end, text + sizeof text, magnitude / unit).ptr;
  if (decimals > 0) {
    *end++ = '.';
    char fraction[24];
    char* fractionEnd =
        std::to_chars(fraction, fraction + sizeof fraction, magnitude % unit + unit).ptr;
    // unit + remainder has a leading 1 that keeps the fraction's leading zeros.
    end = std::copy(fraction + 1, fractionEnd, end);
  }
  const auto length = static_cast<size_t>(end - text);
  if (length > width) throw Exception("Benchmark number does not fit its column");
  std::memset(out, ' ', width - length);
  std::memcpy(out + width - length, text, length);
}

void PutText(uint8_t* out, size_t width, std::string_view text) {
  const size_t n = std::min(width, text.size());
  std::memcpy(out, text.data(), n);
  std::memset(out + n, ' ', width - n);
}

void PutDigits(uint8_t* out, uint32_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i) {
    out[i] = static_cast<uint8_t>('0' + value % 10);
    value /= 10;
  }
}

// "YYYYMMDD"
void PutDate(uint8_t* out, int64_t days) {
  const TCivilDate d = DateFromDays(days);
  PutDigits(out, static_cast<uint32_t>(d.Year), 4);
  PutDigits(out + 4, static_cast<uint32_t>(d.Month), 2);
  PutDigits(out + 6, static_cast<uint32_t>(d.Day), 2);
}

class TGenerator {
 public:
  TGenerator(TBenchFormat format, uint64_t seed) : FFormat(format), FRandom(seed) {
    const bool vfp = format == TBenchFormat::VisualFoxPro;
    const auto begin = vfp ? std::begin(kVfpColumns) : std::begin(kDBase3Columns);
    const auto end = vfp ? std::end(kVfpColumns) : std::end(kDBase3Columns);
    uint32_t offset = 1;
    int nullBit = 0;
    for (auto it = begin; it != end; ++it) {
      TLaidOutColumn c;
      c.Spec = *it;
      c.Offset = offset;
      offset += it->Length;
      if (vfp && (it->Flags & 0x02) != 0) c.NullBit = nullBit++;
      if (it->Role == TRole::NullFlags) {
        FNullFlagsOffset = c.Offset;
      } else {
        c.Visible = FTable.Columns.size();
        FTable.Columns.push_back({it->Name, 0});
      }
      FColumns.push_back(c);
    }
    FRecordLength = offset;
    FRecord.resize(FRecordLength);
  }

  TGeneratedTable Write(const std::string& folder, const std::string& name, uint32_t records) {
    const bool vfp = FFormat == TBenchFormat::VisualFoxPro;
    const std::string base = (folder.empty() ? std::string() : folder + "/") + name;
    FTable.TablePath = base + ".dbf";
    FTable.MemoPath = base + (vfp ? ".fpt" : ".dbt");
    FTable.Records = records;
    TOutputFile table(FTable.TablePath);
    if (vfp) {
      FMemo = std::make_unique<TFptWriter>(FTable.MemoPath);
    } else {
      FMemo = std::make_unique<TDbtWriter>(FTable.MemoPath);
    }
    WriteHeader(table, records);
    for (uint32_t i = 0; i < records; ++i) {
      FillRecord(i);
      table.Append(FRecord.data(), FRecord.size());
    }
    table.Append("\x1A", 1);
    table.Close();
    FMemo->Finish();
    return FTable;
  }

 private:
  void WriteHeader(TOutputFile& file, uint32_t records) {
    const bool vfp = FFormat == TBenchFormat::VisualFoxPro;
    const size_t fieldCount = FColumns.size();
    const size_t headerLength = 32 + 32 * fieldCount + 1 + (vfp ? 263 : 0);
    std::vector<uint8_t> h(headerLength, 0);
    h[0] = vfp ? 0x30 : 0x83;
    // A fixed last-update date keeps the files identical from run to run;
    // VFP stores the year modulo 100, dBase the year less 1900.
    h[1] = vfp ? 25 : 125;
    h[2] = 1;
    h[3] = 15;
    PutLe32(&h[4], records);
    PutLe16(&h[8], static_cast<uint32_t>(headerLength));
    PutLe16(&h[10], FRecordLength);
    h[28] = vfp ? 0x02 : 0x00;  // VFP: the table has memo fields
    h[29] = vfp ? 0xC8 : 0x00;
    for (size_t i = 0; i < fieldCount; ++i) {
      const TColumnSpec& s = FColumns[i].Spec;
      uint8_t* d = &h[32 + 32 * i];
      std::memcpy(d, s.Name, std::strlen(s.Name));
      d[11] = static_cast<uint8_t>(s.Type);
      if (vfp) PutLe32(d + 12, FColumns[i].Offset);
      d[16] = s.Length;
      d[17] = s.Decimals;
      if (vfp) d[18] = s.Flags;
    }
    h[32 + 32 * fieldCount] = 0x0D;
    file.Append(h.data(), h.size());
  }

  void CountNull(const TLaidOutColumn& c) { ++FTable.Columns[c.Visible].NullCount; }

  // Sets the column's null bit and counts the Null.
  void MarkNull(const TLaidOutColumn& c) {
    FRecord[FNullFlagsOffset] |= static_cast<uint8_t>(1u << c.NullBit);
    CountNull(c);
  }

  void FillRecord(uint32_t index) {
    const bool vfp = FFormat == TBenchFormat::VisualFoxPro;
    const bool deleted = FRandom.Chance(0.01);
    FRecord[0] = deleted ? '*' : ' ';
    if (deleted) ++FTable.Deleted;
    if (vfp) FRecord[FNullFlagsOffset] = 0;
    for (const TLaidOutColumn& c : FColumns) {
      uint8_t* p = &FRecord[c.Offset];
      const size_t width = c.Spec.Length;
      switch (c.Spec.Role) {
        case TRole::Id:
          if (vfp) {
            PutLe32(p, index + 1);
          } else {
            PutScaled(p, width, index + 1, 0);
          }
          break;
        case TRole::Town:
          PutText(p, width, FVocabulary.Town(FRandom));
          break;
        case TRole::PersonName:
          FVocabulary.PersonName(FRandom, FText);
          PutText(p, width, FText);
          break;
        case TRole::Sum: {
          // Receipts around 180 lei; a few reversals below zero.
          auto cents = static_cast<int64_t>(std::llround(FRandom.LogNormal(180.0, 1.3) * 100));
          cents = std::min<int64_t>(cents, 9'999'999'999);
          if (FRandom.Chance(0.02)) cents = -cents;
          PutScaled(p, width, cents, 2);
          break;
        }
        case TRole::Quantity:
          if (FRandom.Chance(0.01)) {
            PutText(p, width, "");
            CountNull(c);
          } else {
            // Log-uniform 1..999: small quantities dominate.
            PutScaled(p, width, static_cast<int64_t>(std::exp(FRandom.Unit() * std::log(1000.0))),
                      0);
          }
          break;
        case TRole::Date:
          if (FRandom.Chance(0.005)) {
            PutText(p, width, "");
            CountNull(c);
          } else {
            PutDate(p, kFirstDay + FRandom.Below(static_cast<uint32_t>(kDayCount)));
          }
          break;
        case TRole::Moment:
          FillMoment(c, p);
          break;
        case TRole::Active:
          if (!vfp && FRandom.Chance(0.01)) {
            *p = '?';
            CountNull(c);
          } else {
            *p = FRandom.Chance(0.75) ? 'T' : 'F';
          }
          break;
        case TRole::Price: {
          const bool missing = FRandom.Chance(0.05);
          const double price = FRandom.LogNormal(25.0, 1.0);
          if (vfp) {
            PutLe64(p, std::bit_cast<uint64_t>(std::round(price * 100) / 100));
            if (missing) MarkNull(c);
          } else if (missing) {
            PutText(p, width, "");
            CountNull(c);
          } else {
            PutScaled(p, width, std::llround(price * 1000), 3);
          }
          break;
        }
        case TRole::Value: {
          const auto units =
              static_cast<int64_t>(std::llround(FRandom.LogNormal(1000.0, 1.5) * 1e4));
          if (vfp) {
            PutLe64(p, static_cast<uint64_t>(units));
          } else {
            PutScaled(p, width, units, 4);
          }
          break;
        }
        case TRole::Phone:
          if (FRandom.Chance(0.15)) {
            PutText(p, width, "");
            if (vfp) MarkNull(c);
          } else {
            char phone[10] = {'0', FRandom.Chance(0.8) ? '7' : '2'};
            for (size_t i = 2; i < sizeof phone; ++i)
              phone[i] = static_cast<char>('0' + FRandom.Below(10));
            PutText(p, width, {phone, sizeof phone});
          }
          break;
        case TRole::Notes:
          FillNotes(c, p);
          break;
        case TRole::NullFlags:
          break;
      }
    }
  }

  void FillMoment(const TLaidOutColumn& c, uint8_t* p) {
    const bool empty = FRandom.Chance(0.01);
    const int64_t day = kFirstDay + FRandom.Below(static_cast<uint32_t>(kDayCount));
    // Business hours, 07:00 to 20:00, to the second.
    const uint32_t second = 7 * 3600 + FRandom.Below(13 * 3600);
    if (FFormat == TBenchFormat::VisualFoxPro) {
      if (empty) {
        std::memset(p, 0, 8);
        CountNull(c);
        return;
      }
      uint32_t ms = second * 1000;
      // Some writers leave float noise such as 10:59:59.999 for 11:00.
      if (FRandom.Chance(0.02)) ms -= 1;
      PutLe32(p, static_cast<uint32_t>(day + kJulianDayOfEpoch));
      PutLe32(p + 4, ms);
      return;
    }
    if (empty) {
      PutText(p, c.Spec.Length, "");
      return;
    }
    uint8_t text[19];
    const TCivilDate d = DateFromDays(day);
    PutDigits(text, static_cast<uint32_t>(d.Year), 4);
    PutDigits(text + 5, static_cast<uint32_t>(d.Month), 2);
    PutDigits(text + 8, static_cast<uint32_t>(d.Day), 2);
    PutDigits(text + 11, second / 3600, 2);
    PutDigits(text + 14, second / 60 % 60, 2);
    PutDigits(text + 17, second % 60, 2);
    text[4] = text[7] = '-';
    text[10] = ' ';
    text[13] = text[16] = ':';
    std::memcpy(p, text, sizeof text);
  }

  void FillNotes(const TLaidOutColumn& c, uint8_t* p) {
    const bool vfp = FFormat == TBenchFormat::VisualFoxPro;
    uint32_t block = 0;
    const double u = FRandom.Unit();
    if (vfp && u < 0.02) {
      MarkNull(c);
    } else if (u < 0.35) {
      FVocabulary.Note(FRandom, FText);
      block = FMemo->Append(FText);
    }
    if (vfp) {
      PutLe32(p, block);
    } else if (block == 0) {
      PutText(p, c.Spec.Length, "");
    } else {
      PutScaled(p, c.Spec.Length, block, 0);
    }
  }

  TBenchFormat FFormat;
  TRandom FRandom;
  TVocabulary FVocabulary;
  std::vector<TLaidOutColumn> FColumns;
  uint32_t FRecordLength = 0;
  uint32_t FNullFlagsOffset = 0;
  std::vector<uint8_t> FRecord;
  std::string FText;
  std::unique_ptr<TMemoWriter> FMemo;
  TGeneratedTable FTable;
};

}  // namespace

TGeneratedTable GenerateTable(const std::string& folder, const std::string& name,
                              TBenchFormat format, uint32_t records, uint64_t seed) {
  return TGenerator(format, seed).Write(folder, name, records);
}

const char* BenchFormatName(TBenchFormat format) {
  return format == TBenchFormat::VisualFoxPro ? "vfp" : "dbase3";
}

}  // namespace lumbra
