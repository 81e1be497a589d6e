// What Halden keeps between runs, in the test process's own settings directory (never the
// user's): the window, the bars, the body colour, the marker and the options; and the first
// version's start when the settings are missing or damaged.
#include "UxHarness.h"

#include "OptionsDlg.h"
#include "Prompts.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace ux;

namespace
{
QString SettingsFile()
{
  return shell::ConfigHome() + "/Quorvel/Halden.conf";
}

void WriteSettings(const QByteArray& bytes)
{
  QDir().mkpath(shell::ConfigHome() + "/Quorvel");
  QFile file(SettingsFile());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

/// Everything a start can take from the settings, as the running program has it.
struct Seen
{
  RECT Place;
  bool Toolbar, StatusBar, Marker, TextureAsLoaded;
  float Body[3];
  int Interval, Ticks;
  std::string Prefix;
  explicit Seen(CMainFrame* frame)
  {
    frame->GetWindowRect(&this->Place);
    this->Toolbar = frame->m_wndToolBar.IsVisible();
    this->StatusBar = frame->m_wndStatusBar.IsVisible();
    CHaldenView* view = ViewOf(frame);
    this->Marker = view->IsOrientationMarkerShown();
    this->TextureAsLoaded = DocOf(frame)->GetTextureOnModelAsLoaded();
    for (int i = 0; i < 3; ++i)
    {
      this->Body[i] = view->BodyColor[i];
    }
    this->Interval = view->TimerInterval;
    this->Ticks = view->TicksPerStep.load();
    this->Prefix = view->FramePrefix;
  }
};

void ExpectFirstStart(CMainFrame* frame)
{
  const Seen seen(frame);
  EXPECT_EQ(seen.Place.left, 1);
  EXPECT_EQ(seen.Place.top, 1);
  EXPECT_EQ(seen.Place.right - seen.Place.left, 652);
  EXPECT_EQ(seen.Place.bottom - seen.Place.top, 572);
  EXPECT_TRUE(seen.Toolbar);
  EXPECT_TRUE(seen.StatusBar);
  EXPECT_TRUE(seen.Marker);
  EXPECT_FALSE(seen.TextureAsLoaded);
  EXPECT_EQ(seen.Body[0], 0.9f);
  EXPECT_EQ(seen.Body[1], 1.0f);
  EXPECT_EQ(seen.Body[2], 0.9f);
  EXPECT_EQ(seen.Interval, 65);
  EXPECT_EQ(seen.Ticks, 6);
  EXPECT_EQ(seen.Prefix, "frame");
}
}

TEST(HaldenSettings, WindowBarsColourMarkerAndOptionsAreKeptForTheNextRun)
{
  QFile::remove(SettingsFile());
  const std::string model = SampleFile("leg.vtk");
  const std::string prefix = shell::ConfigHome().toStdString() + "/shots/f";
  {
    shell::Shell first({ model });
    ASSERT_TRUE(first.Started);
    CMainFrame* frame = first.Frame();
    ExpectFirstStart(frame);
    Activate(frame);
    CScriptedPrompts prompts;
    frame->MoveWindow(40, 52, 700, 610);
    frame->ExecuteCommand(ID_VIEW_TOOLBAR);
    prompts.AnswerColor(RGB(200, 10, 20));
    frame->ExecuteCommand(ID_BODY_COLOR);
    Press(frame, Qt::Key_M, Qt::ControlModifier);
    prompts.AnswerDialog(
      [&](CDialog& d)
      {
        d.SetSliderPos(IDC_INTERVAL, 100);
        d.SetSliderPos(IDC_SPEED, 90);
        d.SetDlgItemText(IDC_PREFIX, prefix);
        d.ClickDlgButton(IDC_TEXTURE_AS_LOADED);
        d.ClickDlgButton(IDOK);
      });
    frame->ExecuteCommand(ID_OPTIONS);
    ASSERT_EQ(ViewOf(frame)->TimerInterval, 115);
    frame->ExecuteCommand(ID_APP_EXIT);
    ASSERT_TRUE(shell::WaitFor([&] { return first.Application->m_pMainWnd == nullptr; }));
  }
  ASSERT_TRUE(QFile::exists(SettingsFile()));

  shell::Shell second({ model });
  ASSERT_TRUE(second.Started);
  const Seen seen(second.Frame());
  EXPECT_EQ(seen.Place.left, 40);
  EXPECT_EQ(seen.Place.top, 52);
  EXPECT_EQ(seen.Place.right - seen.Place.left, 700);
  EXPECT_EQ(seen.Place.bottom - seen.Place.top, 610);
  EXPECT_FALSE(seen.Toolbar);
  EXPECT_TRUE(seen.StatusBar);
  EXPECT_FALSE(seen.Marker);
  EXPECT_TRUE(seen.TextureAsLoaded);
  // Exactly the colour chosen: each byte times 1/255.
  EXPECT_EQ(seen.Body[0], static_cast<float>(200 * (1.0 / 255.0)));
  EXPECT_EQ(seen.Body[1], static_cast<float>(10 * (1.0 / 255.0)));
  EXPECT_EQ(seen.Body[2], static_cast<float>(20 * (1.0 / 255.0)));
  EXPECT_EQ(seen.Interval, 115);
  EXPECT_EQ(seen.Ticks, 2);
  EXPECT_EQ(seen.Prefix, prefix);
  // The recent-file list lives beside them, as before.
  EXPECT_EQ(second.Application->GetRecentFileList(), std::vector<std::string>{ model });
}

TEST(HaldenSettings, MissingOrDamagedSettingsGiveTheFirstVersionsStart)
{
  const struct
  {
    const char* Name;
    QByteArray Bytes; // empty: no file at all
  } cases[] = {
    { "missing", QByteArray() },
    { "garbage", QByteArray("\x01\xff[Window\nX=\x80\x81\n\0\0=[[[", 19) },
    { "out of range",
      "[Window]\nX=-999999\nY=5\nWidth=-5\nHeight=20\n"
      "[View]\nBodyColor=red\nOrientationMarker=maybe\n"
      "[Options]\nTimerIntervalPosition=900\nTransformSpeedPosition=-3\n"
      "FramePrefix=\nTextureMovesWithSurface=7\n" },
    { "lists where numbers belong",
      "[Window]\nX=1, 2\nWidth=652, 9\n[Options]\n"
      "TimerIntervalPosition=10, 20\n" },
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.Name);
    QFile::remove(SettingsFile());
    if (!c.Bytes.isEmpty())
    {
      WriteSettings(c.Bytes);
    }
    shell::Shell app;
    ASSERT_TRUE(app.Started);
    ExpectFirstStart(app.Frame());
  }
}
