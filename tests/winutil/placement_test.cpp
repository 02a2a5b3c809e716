// Window placement over made-up monitor layouts: which monitor is used, the
// centring and filling arithmetic, and when the maximising worker starts.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/exception.h"
#include "tests/winutil/fake_desktop.h"
#include "winutil/win_util.h"

namespace lumbra {
namespace {

using testing::FakeDesktop;
using testing::TFakeForm;
using testing::TFakeMonitor;
using testing::TFakeMonitors;

// A monitor at (left, top) with its work area cut at the bottom by a task bar.
TFakeMonitor Monitor(int32_t left, int32_t top, int32_t width, int32_t height,
                     int32_t taskBar = 0) {
  return {{left, top, left + width, top + height},
          {left, top, left + width, top + height - taskBar}};
}

// Waits (briefly) for the worker a fill placement started, so it ends within the test.
void ExpectMaximisedSoon(const TFakeForm& form) {
  for (int i = 0; i < 2000 && form.WindowHandle->MaximiseCount == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(form.WindowHandle->MaximiseCount, 1);
}

TEST(CentreazaSiRedimensioneazaForm, CentresTheDesignedSizeOnLargeLandscapeMonitors) {
  struct TCase {
    const char* Name;
    TFakeMonitor Screen;
    int32_t Left;
    int32_t Top;
  };
  const TCase cases[] = {
      {"1920 x 1200, work area 1920 x 1160", Monitor(0, 0, 1920, 1200, 40), 472, 317},
      {"2560 x 1440", Monitor(0, 0, 2560, 1440), 792, 457},
      {"square 1200 x 1200", Monitor(0, 0, 1200, 1200), 112, 337},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TFakeForm form(976, 526);
    CentreazaSiRedimensioneazaForm(form, FakeDesktop({c.Screen}));
    EXPECT_EQ(form.Left(), c.Left);
    EXPECT_EQ(form.Top(), c.Top);
    EXPECT_EQ(form.Width(), 976);
    EXPECT_EQ(form.Height(), 526);
    EXPECT_EQ(form.HandleRequests, 0) << "no worker on the centring path";
  }
}

TEST(CentreazaSiRedimensioneazaForm, FillsTheWorkAreaOfA1920By1080Monitor) {
  TFakeForm form(976, 526);
  form.WindowHandle->Visible = [] { return true; };
  CentreazaSiRedimensioneazaForm(form, FakeDesktop({Monitor(0, 0, 1920, 1080, 40)}));
  // Size first, then place; the centring afterwards lands on the same spot.
  EXPECT_EQ(form.Calls, (std::vector<std::string>{"Width=1890", "Height=1010", "Left=15", "Top=15",
                                                  "Left=15", "Top=15"}));
  EXPECT_EQ(form.HandleRequests, 1);
  ExpectMaximisedSoon(form);
}

TEST(CentreazaSiRedimensioneazaForm, FillsPortraitAndSmallMonitors) {
  struct TCase {
    const char* Name;
    TFakeMonitor Screen;
    int32_t Width;
    int32_t Height;
  };
  const TCase cases[] = {
      {"portrait 1200 x 1920", Monitor(0, 0, 1200, 1920, 40), 1170, 1850},
      {"1199 high", Monitor(0, 0, 2000, 1199), 1970, 1169},
      {"800 x 600", Monitor(0, 0, 800, 600), 770, 570},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TFakeForm form(976, 526);
    form.WindowHandle->Visible = [] { return true; };
    CentreazaSiRedimensioneazaForm(form, FakeDesktop({c.Screen}));
    EXPECT_EQ(form.Width(), c.Width);
    EXPECT_EQ(form.Height(), c.Height);
    EXPECT_EQ(form.Left(), 15);
    EXPECT_EQ(form.Top(), 15);
    ExpectMaximisedSoon(form);
  }
}

TEST(CentreazaSiRedimensioneazaForm, UsesTheMonitorUnderTheCursor) {
  // A large primary monitor, and a small one to its left with negative
  // coordinates and a task bar along its top.
  TDesktop desktop = FakeDesktop({Monitor(0, 0, 2560, 1440), Monitor(-1280, 0, 1280, 1024)});
  auto monitors = std::const_pointer_cast<TFakeMonitors>(
      std::static_pointer_cast<const TFakeMonitors>(desktop.Monitors));
  monitors->List[1].Work.Top = 30;
  monitors->Cursor = {-600, 500};

  TFakeForm form(976, 526);
  form.WindowHandle->Visible = [] { return true; };
  CentreazaSiRedimensioneazaForm(form, desktop);
  EXPECT_EQ(form.Left(), -1265);
  EXPECT_EQ(form.Top(), 45);
  EXPECT_EQ(form.Width(), 1250);
  EXPECT_EQ(form.Height(), 964);
  ExpectMaximisedSoon(form);

  // The cursor off every monitor: the primary one.
  monitors->Cursor = {-5000, -5000};
  TFakeForm centred(976, 526);
  CentreazaSiRedimensioneazaForm(centred, desktop);
  EXPECT_EQ(centred.Left(), 792);
}

TEST(CentreazaSiRedimensioneazaForm, FallsBackToTheFirstMonitorWhenTheSystemNamesAnUnlistedOne) {
  TDesktop desktop = FakeDesktop({Monitor(0, 0, 2560, 1440), Monitor(2560, 0, 1920, 1080)});
  std::const_pointer_cast<TFakeMonitors>(
      std::static_pointer_cast<const TFakeMonitors>(desktop.Monitors))
      ->ForcedMonitor = 99;
  TFakeForm form(976, 526);
  CentreazaSiRedimensioneazaForm(form, desktop);
  EXPECT_EQ(form.Left(), 792);
  EXPECT_EQ(form.Top(), 457);
}

TEST(CentreazaSiRedimensioneazaForm, ThrowsWithoutAnyMonitor) {
  TFakeForm form(976, 526);
  const TDesktop desktop{std::make_shared<TFakeMonitors>(),
                         std::make_shared<testing::TFakeClock>()};
  EXPECT_THROW(CentreazaSiRedimensioneazaForm(form, desktop), Exception);
  EXPECT_TRUE(form.Calls.empty());
}

TEST(CentreazaForm, RoundsTowardZeroAndClampsTheLeftEdgeOnANegativeWorkArea) {
  // Work area from x = -1920, 1915 wide: (1915 - 1920) div 2 = -2, so -1922,
  // then moved back to the work area's left edge.
  TFakeForm form(1920, 500);
  TDesktop desktop = FakeDesktop({{{-1920, 0, -5, 1080}, {-1920, 0, -5, 1040}}});
  CentreazaForm(form, false, desktop);
  EXPECT_EQ(form.Calls, (std::vector<std::string>{"Left=-1922", "Top=270", "Left=-1920"}));
}

TEST(CentreazaForm, LetsALargerFormOverhangRightAndBottom) {
  TFakeForm form(2000, 1200);
  CentreazaForm(form, false, FakeDesktop({Monitor(100, 50, 1920, 1080)}));
  EXPECT_EQ(form.Left(), 100);
  EXPECT_EQ(form.Top(), 50);
  EXPECT_EQ(form.Width(), 2000);
  EXPECT_EQ(form.Height(), 1200);
}

TEST(CentreazaForm, FillsOnlyWhenAskedAndTooLargeBothWays) {
  const TFakeMonitor screen = Monitor(0, 0, 1600, 900);
  {
    SCOPED_TRACE("too wide only: centred");
    TFakeForm form(1590, 500);
    CentreazaForm(form, true, FakeDesktop({screen}));
    EXPECT_EQ(form.Width(), 1590);
    EXPECT_EQ(form.Left(), 5);
  }
  {
    SCOPED_TRACE("too tall only: centred");
    TFakeForm form(500, 890);
    CentreazaForm(form, true, FakeDesktop({screen}));
    EXPECT_EQ(form.Height(), 890);
    EXPECT_EQ(form.Top(), 5);
  }
  {
    SCOPED_TRACE("both, fill not asked: centred");
    TFakeForm form(1590, 890);
    CentreazaForm(form, false, FakeDesktop({screen}));
    EXPECT_EQ(form.Width(), 1590);
    EXPECT_EQ(form.HandleRequests, 0);
  }
  {
    SCOPED_TRACE("both, fill asked: filled");
    TFakeForm form(1590, 890);
    form.WindowHandle->Visible = [] { return true; };
    CentreazaForm(form, true, FakeDesktop({screen}));
    EXPECT_EQ(form.Width(), 1570);
    EXPECT_EQ(form.Height(), 870);
    EXPECT_EQ(form.Left(), 15);
    ExpectMaximisedSoon(form);
  }
}

}  // namespace
}  // namespace lumbra
