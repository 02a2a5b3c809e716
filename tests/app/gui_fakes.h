// What the window tests stand in for: modal boxes and the open dialog that
// record instead of waiting for a user, and small table files on disk.
#pragma once

#include <unistd.h>

#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "app/application.h"

namespace lumbra::testing {

struct TShownBox {
  QString Kind;  // "info" or "error"
  QString Caption;
  QString Text;

  bool operator==(const TShownBox&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const TShownBox& box) {
  return out << box.Kind.toStdString() << " [" << box.Caption.toStdString() << "] "
             << box.Text.toStdString();
}

class TRecordingUi final : public IModalUi {
 public:
  std::vector<TShownBox> Boxes;
  // The file the open dialog "chooses"; empty cancels it.
  QString FileToChoose;
  // What each run of the open dialog was given.
  struct TDialogRun {
    QString ObjectName;
    QStringList NameFilters;
    QFileDialog::FileMode FileMode;
    QStringList OfferedFiles;
  };
  std::vector<TDialogRun> DialogRuns;

  void PresentInfoBox(const QString& caption, const QString& text) override {
    Boxes.push_back({"info", caption, text});
  }
  void PresentErrorBox(const QString& caption, const QString& text) override {
    Boxes.push_back({"error", caption, text});
  }
  bool RunOpenDialog(QFileDialog& dialog) override {
    DialogRuns.push_back(
        {dialog.objectName(), dialog.nameFilters(), dialog.fileMode(), dialog.selectedFiles()});
    if (FileToChoose.isEmpty()) return false;
    dialog.selectFile(FileToChoose);
    return true;
  }
};

// A fresh folder under the system's temporary folder, removed at the end.
class TTempFolder {
 public:
  TTempFolder() {
    FPath = std::filesystem::temp_directory_path() /
            ("lumbra-gui-test-" + std::to_string(::getpid()) + "-" + std::to_string(++Counter()));
    std::filesystem::create_directories(FPath);
  }
  ~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  std::string File(const std::string& name) const { return (FPath / name).string(); }
  std::string Path() const { return FPath.string(); }

 private:
  static int& Counter() {
    static int counter = 0;
    return counter;
  }
  std::filesystem::path FPath;
};

// Writes a dBase III table with one character column NUME of width 10 and the
// given values.
inline void WriteTable(const std::string& path, const std::vector<std::string>& values) {
  std::string bytes(32, '\0');
  bytes[0] = 0x03;
  bytes[1] = 125;  // 2025-01-01
  bytes[2] = 1;
  bytes[3] = 1;
  const uint32_t count = static_cast<uint32_t>(values.size());
  for (int i = 0; i < 4; ++i)
    bytes[4 + i] = static_cast<char>((count >> (8 * i)) & 0xFF);
  bytes[8] = 32 + 32 + 1;  // header length
  bytes[10] = 1 + 10;      // record length
  std::string field(32, '\0');
  field.replace(0, 4, "NUME");
  field[11] = 'C';
  field[16] = 10;
  bytes += field;
  bytes += '\x0D';
  for (const std::string& value : values) {
    bytes += ' ';
    bytes += (value + std::string(10, ' ')).substr(0, 10);
  }
  bytes += '\x1A';
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace lumbra::testing
