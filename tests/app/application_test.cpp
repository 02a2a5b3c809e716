// The application object: its title from the program file's name, and the
// error handler every command's errors reach.
#include "app/application.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "tests/app/gui_fakes.h"

namespace lumbra {
namespace {

using testing::TRecordingUi;
using testing::TShownBox;

TEST(ApplicationTitle, IsTheProgramNameBeforeItsFirstDotWithLaterLettersLowered) {
  struct TCase {
    const char* Program;
    const char* Title;
  };
  const TCase cases[] = {
      {"/opt/tools/TABLOU.APP", "Tablou"},
      {"/opt/tools/TABLOU.APP.EXE", "Tablou"},
      {"/usr/bin/lumbra", "lumbra"},  // the first letter stays as it is
      {"/opt/Lumbra/Lumbra.bin", "Lumbra"},
      {"/usr/bin/LUMBRA-CLI", "Lumbra-cli"},
      {"/usr/bin/\xC8\x98TIU.bin", "\xC8\x98tiu"},  // "ȘTIU": the first letter stays
      {"/usr/bin/.hidden", ""},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(TApplication::TitleOfProgram(QString::fromUtf8(c.Program)).toStdString(), c.Title)
        << "program: " << c.Program;
  }
}

TEST(ApplicationTitle, CaptionsBothBoxes) {
  TRecordingUi ui;
  TApplication application("C:/Tools/TABLOU.APP.EXE", ui);
  EXPECT_EQ(application.ModuleName(), "TABLOU.APP.EXE");
  application.ShowInfoBox("Gata");
  application.ShowErrorBox(Exception("Nu cunosc numele fisierului"));
  EXPECT_EQ(ui.Boxes,
            (std::vector<TShownBox>{{"info", "Tablou", "Gata"},
                                    {"error", "Tablou", "Nu cunosc numele fisierului."}}));

  application.SetTitle("Clienti");
  application.ShowInfoBox("Gata");
  EXPECT_EQ(ui.Boxes.back().Caption, "Clienti");
}

TEST(ApplicationTitle, KeepsAtMost255Characters) {
  TRecordingUi ui;
  TApplication application("/usr/bin/lumbra", ui);
  application.SetTitle(QString(300, 'x'));
  EXPECT_EQ(application.Title().size(), 255);
  // 254 letters and a character outside the basic plane, cut whole.
  application.SetTitle(QString(254, 'x') + QString::fromUtf8("\xF0\x9F\xA6\x8A"));
  EXPECT_EQ(application.Title(), QString(254, 'x'));
}

TEST(ErrorRouting, GuardShowsErrorsAndDropsAborts) {
  TRecordingUi ui;
  TApplication application("/usr/bin/lumbra", ui);
  bool ranToTheEnd = false;
  application.Guard([&] { ranToTheEnd = true; });
  EXPECT_TRUE(ranToTheEnd);
  EXPECT_TRUE(ui.Boxes.empty());

  application.Guard([] { throw EAbort("Operation aborted"); });
  EXPECT_TRUE(ui.Boxes.empty()) << "EAbort is silent";

  application.Guard([] { throw EDatabaseError("AT: Missing TableName property"); });
  application.Guard([] { throw std::runtime_error("disk full"); });
  application.Guard([] { throw Exception("Oprit!"); });
  application.Guard([] { throw std::bad_alloc(); });
  EXPECT_EQ(ui.Boxes, (std::vector<TShownBox>{
                          {"error", "lumbra", "AT: Missing TableName property."},
                          {"error", "lumbra", "disk full."},
                          {"error", "lumbra", "Oprit!"},
                          {"error", "lumbra", "Nu este destula memorie pentru aceasta comanda."}}));
}

TEST(ErrorRouting, ApplicationErrorBoxNamesTheErrorsClass) {
  TRecordingUi ui;
  TApplication application("/usr/bin/lumbra", ui);
  application.ShowApplicationError(EDatabaseError("Cannot create AT"));
  application.ShowApplicationError(std::runtime_error("out of handles"));
  EXPECT_EQ(ui.Boxes, (std::vector<TShownBox>{
                          {"error", "Application Error",
                           "Exception EDatabaseError in module lumbra at 0000000000000000.\r\n"
                           "Cannot create AT.\r\n"},
                          {"error", "Application Error",
                           "Exception Exception in module lumbra at 0000000000000000.\r\n"
                           "out of handles.\r\n"}}));
}

}  // namespace
}  // namespace lumbra
