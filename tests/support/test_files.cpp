#include "tests/support/test_files.h"

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace lumbra::test {

TTempFolder::TTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumbra-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
}

TTempFolder::~TTempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(FPath, ignored);
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file.flush()) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::filesystem::path CorpusDir() {
  // tests/support/ -> the project root -> ../shared/corpus beside it.
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path() /
         "shared" / "corpus";
}

std::vector<std::filesystem::path> TablesUnder(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> tables;
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) return tables;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    std::string extension = entry.path().extension().string();
    for (char& c : extension)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (entry.is_regular_file() && extension == ".dbf") tables.push_back(entry.path());
  }
  std::sort(tables.begin(), tables.end());
  return tables;
}

}  // namespace lumbra::test
