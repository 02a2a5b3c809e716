// Files for tests: a fresh folder under the system's temporary folder, removed
// with everything in it when the object goes, and whole-file reads and writes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace lumbra::test {

class TTempFolder {
 public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  // The folder as the provider's connection strings name it, ending with "/".
  std::string Text() const { return FPath.string() + "/"; }

 private:
  std::filesystem::path FPath;
};

// Writes bytes to path, replacing the file.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

// ../shared/corpus beside the project: real tables from public sources, which
// a fresh clone does not have.
std::filesystem::path CorpusDir();
// Every .dbf file below folder (the extension in any letter case), sorted;
// none when folder is not there.
std::vector<std::filesystem::path> TablesUnder(const std::filesystem::path& folder);

}  // namespace lumbra::test
