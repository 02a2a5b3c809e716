// Files for tests: a fresh folder under the system's temporary folder, removed
// with everything in it when the object goes, and whole-file reads and writes.
#pragma once

#include <filesystem>
#include <string>

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

}  // namespace lumbra::test
