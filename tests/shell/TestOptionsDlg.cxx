// The options dialog against an owner that records what it is told: the value mappings,
// confirmed and current values across Apply, OK and Cancel (also by Escape and the close
// box), when the owner's timer is restarted, "Save PPM" only while playing, the prefix.
#include "ShellHarness.h"

#include "HaldenResources.h"
#include "OptionsDlg.h"
#include "Prompts.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

namespace
{
// What a view keeps, with its defaults, and a count of timer restarts.
class RecordingOwner : public COptionsOwner
{
public:
  int TimerInterval = 65;
  int TicksPerStep = 6;
  int Realtime = 1;
  std::string FramePrefix = "frame";
  bool Playing = false;
  bool TimerExists = true;
  int Restarts = 0;
  int FailuresToCome = 0; // restarts that fail from now on

  int GetTimerInterval() const override { return this->TimerInterval; }
  void SetTimerInterval(int ms) override { this->TimerInterval = ms; }
  int GetTicksPerStep() const override { return this->TicksPerStep; }
  void SetTicksPerStep(int ticks) override { this->TicksPerStep = ticks; }
  int GetRealtime() const override { return this->Realtime; }
  void SetRealtime(int realtime) override { this->Realtime = realtime; }
  std::string GetFramePrefix() const override { return this->FramePrefix; }
  void SetFramePrefix(const std::string& prefix) override { this->FramePrefix = prefix; }
  bool IsPlaying() const override { return this->Playing; }
  bool HasTimer() const override { return this->TimerExists; }
  bool RestartTimer() override
  {
    ++this->Restarts;
    this->TimerExists = this->FailuresToCome == 0;
    if (this->FailuresToCome > 0)
    {
      --this->FailuresToCome;
    }
    return this->TimerExists;
  }
};

struct OptionsFixture : public ::testing::Test
{
  OptionsFixture()
  {
    shell::App();
    LoadHaldenResources();
    auto owner = std::make_unique<RecordingOwner>();
    this->Owner = owner.get();
    this->Dialog = std::make_unique<COptionsDlg>(std::move(owner));
  }

  /// Shows the dialog once, worked by the script; returns DoModal's result.
  int Show(std::function<void(CDialog&)> script)
  {
    const std::size_t before = this->Prompts.Dialogs.size();
    this->Prompts.AnswerDialog(std::move(script));
    const int result = this->Dialog->DoModal();
    EXPECT_EQ(this->Prompts.Dialogs.size(), before + 1) << "the dialog did not run";
    return result;
  }

  CScriptedPrompts Prompts;
  RecordingOwner* Owner = nullptr;
  std::unique_ptr<COptionsDlg> Dialog;
};

bool Enabled(CDialog& d, int id)
{
  return d.GetDlgItem(id)->IsWindowEnabled() != FALSE;
}
}

TEST_F(OptionsFixture, SliderPositionsMapToIntervalAndTicksPerStep)
{
  struct Case
  {
    int IntervalPos, SpeedPos;
    int TimerInterval, TicksPerStep;
  };
  // Interval: 15 ms at the left end, 115 ms at the right. Speed: 11 ticks per step at the
  // left, one fewer for each further ten positions, 1 from position 91 on.
  const Case cases[] = {
    { 0, 0, 15, 11 },
    { 100, 100, 115, 1 },
    { 50, 50, 65, 6 },
    { 1, 95, 16, 1 },
    { 99, 90, 114, 2 },
    { 20, 91, 35, 1 },
    { 30, 81, 45, 2 },
    { 40, 80, 55, 3 },
    { 60, 1, 75, 10 },
    { 70, 10, 85, 10 },
    { 80, 11, 95, 9 },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(
      "interval " + std::to_string(c.IntervalPos) + ", speed " + std::to_string(c.SpeedPos));
    this->Show(
      [&](CDialog& d)
      {
        d.SetSliderPos(IDC_INTERVAL, c.IntervalPos);
        d.SetSliderPos(IDC_SPEED, c.SpeedPos);
        d.ClickDlgButton(IDC_APPLY);
        EXPECT_EQ(this->Owner->TimerInterval, c.TimerInterval);
        EXPECT_EQ(this->Owner->TicksPerStep, c.TicksPerStep);
        EXPECT_EQ(this->Owner->Realtime, 1);
        d.ClickDlgButton(IDOK);
      });
    EXPECT_EQ(this->Owner->TimerInterval, c.TimerInterval);
    EXPECT_EQ(this->Owner->TicksPerStep, c.TicksPerStep);
  }
}

TEST_F(OptionsFixture, SlidersRunFrom0To100AndStartAtTheDefaults)
{
  this->Show(
    [&](CDialog& d)
    {
      EXPECT_EQ(d.GetSliderPos(IDC_INTERVAL), 50);
      EXPECT_EQ(d.GetSliderPos(IDC_SPEED), 50);
      EXPECT_EQ(d.GetDlgItemText(IDC_PREFIX), "frame");
      d.SetSliderPos(IDC_INTERVAL, -20);
      EXPECT_EQ(d.GetSliderPos(IDC_INTERVAL), 0);
      d.SetSliderPos(IDC_SPEED, 250);
      EXPECT_EQ(d.GetSliderPos(IDC_SPEED), 100);
      d.ClickDlgButton(IDCANCEL);
    });
  // Nothing was applied: the owner keeps the defaults, and its timer was left alone.
  EXPECT_EQ(this->Owner->TimerInterval, 65);
  EXPECT_EQ(this->Owner->TicksPerStep, 6);
  EXPECT_EQ(this->Owner->Restarts, 0);
}

TEST_F(OptionsFixture, ApplyThenCancelRestoresTheLastOk)
{
  EXPECT_EQ(this->Show(
              [&](CDialog& d)
              {
                d.SetSliderPos(IDC_INTERVAL, 20);
                d.SetSliderPos(IDC_SPEED, 95);
                d.ClickDlgButton(IDOK);
              }),
    IDOK);
  EXPECT_EQ(this->Owner->TimerInterval, 35);
  EXPECT_EQ(this->Owner->TicksPerStep, 1);
  EXPECT_EQ(this->Owner->Restarts, 1);

  EXPECT_EQ(this->Show(
              [&](CDialog& d)
              {
                // Each showing starts from the values of the last OK.
                EXPECT_EQ(d.GetSliderPos(IDC_INTERVAL), 20);
                EXPECT_EQ(d.GetSliderPos(IDC_SPEED), 95);
                d.SetSliderPos(IDC_INTERVAL, 80);
                d.SetSliderPos(IDC_SPEED, 0);
                d.ClickDlgButton(IDC_APPLY);
                EXPECT_EQ(this->Owner->TimerInterval, 95);
                EXPECT_EQ(this->Owner->TicksPerStep, 11);
                EXPECT_EQ(this->Owner->Restarts, 2);
                d.ClickDlgButton(IDCANCEL);
              }),
    IDCANCEL);
  EXPECT_EQ(this->Owner->TimerInterval, 35);
  EXPECT_EQ(this->Owner->TicksPerStep, 1);
  EXPECT_EQ(this->Owner->Restarts, 3);
  EXPECT_EQ(this->Dialog->IntervalPos, 20);
  EXPECT_EQ(this->Dialog->SpeedPos, 95);

  this->Show(
    [&](CDialog& d)
    {
      EXPECT_EQ(d.GetSliderPos(IDC_INTERVAL), 20);
      EXPECT_EQ(d.GetSliderPos(IDC_SPEED), 95);
      d.ClickDlgButton(IDCANCEL);
    });
}

TEST_F(OptionsFixture, CancelWithNothingAppliedDoesNotRestartTheTimer)
{
  this->Show([](CDialog& d) { d.ClickDlgButton(IDCANCEL); });
  this->Show([](CDialog& d) { d.ClickDlgButton(IDOK); });
  EXPECT_EQ(this->Owner->Restarts, 0);
}

TEST_F(OptionsFixture, EscapeAndTheCloseBoxActAsCancel)
{
  using Close = std::function<void(CDialog&)>;
  const std::vector<std::pair<std::string, Close>> ways = {
    { "Escape",
      [](CDialog& d)
      {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(d.GetWidget(), &press);
      } },
    { "close box", [](CDialog& d) { d.GetWidget()->close(); } },
    { "WM_CLOSE", [](CDialog& d) { d.SendMessage(WM_CLOSE); } },
  };
  for (const auto& way : ways)
  {
    SCOPED_TRACE(way.first);
    const int restartsBefore = this->Owner->Restarts;
    const int result = this->Show(
      [&](CDialog& d)
      {
        d.SetSliderPos(IDC_INTERVAL, 0);
        d.ClickDlgButton(IDC_APPLY);
        EXPECT_EQ(this->Owner->TimerInterval, 15);
        way.second(d);
        EXPECT_FALSE(d.IsRunning());
      });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(this->Owner->TimerInterval, 65);
    EXPECT_EQ(this->Owner->Restarts, restartsBefore + 2);
    EXPECT_EQ(this->Dialog->IntervalPos, 50);
  }
}

TEST_F(OptionsFixture, RealtimeIsForcedAndSavePpmDisabledWhileNotPlaying)
{
  // Chosen and confirmed during a playback ...
  this->Owner->Playing = true;
  this->Show(
    [&](CDialog& d)
    {
      EXPECT_TRUE(Enabled(d, IDC_SAVEPPM));
      EXPECT_FALSE(Enabled(d, IDC_PREFIX));
      EXPECT_FALSE(Enabled(d, IDC_BROWSE));
      d.ClickDlgButton(IDC_SAVEPPM);
      EXPECT_EQ(d.IsDlgButtonChecked(IDC_SAVEPPM), BST_CHECKED);
      EXPECT_EQ(d.IsDlgButtonChecked(IDC_REALTIME), BST_UNCHECKED);
      EXPECT_TRUE(Enabled(d, IDC_PREFIX));
      EXPECT_TRUE(Enabled(d, IDC_BROWSE));
      d.ClickDlgButton(IDOK);
    });
  EXPECT_EQ(this->Owner->Realtime, 0);
  EXPECT_FALSE(this->Dialog->IsRealtimeChosen());

  // ... "Save PPM" is not offered once the playback is over.
  this->Owner->Playing = false;
  this->Owner->Realtime = 1; // the view goes back to real time when a playback stops
  this->Show(
    [&](CDialog& d)
    {
      EXPECT_EQ(d.IsDlgButtonChecked(IDC_REALTIME), BST_CHECKED);
      EXPECT_EQ(d.IsDlgButtonChecked(IDC_SAVEPPM), BST_UNCHECKED);
      EXPECT_FALSE(Enabled(d, IDC_SAVEPPM));
      EXPECT_FALSE(Enabled(d, IDC_PREFIX));
      EXPECT_FALSE(Enabled(d, IDC_BROWSE));
      EXPECT_TRUE(this->Dialog->IsRealtimeChosen());
      d.ClickDlgButton(IDC_SAVEPPM); // disabled: nothing happens
      EXPECT_EQ(d.IsDlgButtonChecked(IDC_SAVEPPM), BST_UNCHECKED);
      d.ClickDlgButton(IDOK);
    });
  EXPECT_EQ(this->Owner->Realtime, 1);
  EXPECT_TRUE(this->Dialog->IsRealtimeChosen());
  EXPECT_EQ(this->Dialog->SavedRealtimeIndex, 0);
  EXPECT_EQ(this->Dialog->SavedSavePpmIndex, -1);
}

TEST_F(OptionsFixture, CancelBackToSavePpmKeepsAnIdleOwnerInRealtime)
{
  this->Owner->Playing = true;
  this->Show(
    [](CDialog& d)
    {
      d.ClickDlgButton(IDC_SAVEPPM);
      d.ClickDlgButton(IDOK);
    });
  ASSERT_EQ(this->Owner->Realtime, 0);
  this->Owner->Playing = false;
  this->Owner->Realtime = 1;
  const int restarts = this->Owner->Restarts;

  this->Show([](CDialog& d) { d.ClickDlgButton(IDCANCEL); });
  // The confirmed choice is back in the dialog for the next playback ...
  EXPECT_FALSE(this->Dialog->IsRealtimeChosen());
  // ... but frame-by-frame mode would stop the animation of an idle view.
  EXPECT_EQ(this->Owner->Realtime, 1);
  EXPECT_EQ(this->Owner->Restarts, restarts);
}

TEST_F(OptionsFixture, ANewPrefixAloneDoesNotRestartTheTimer)
{
  this->Owner->Playing = true;
  this->Show(
    [&](CDialog& d)
    {
      d.ClickDlgButton(IDC_SAVEPPM);
      d.ClickDlgButton(IDC_APPLY);
      EXPECT_EQ(this->Owner->Realtime, 0);
      EXPECT_EQ(this->Owner->Restarts, 1); // a change of mode restarts it

      d.SetDlgItemText(IDC_PREFIX, "/tmp/shots/take");
      d.ClickDlgButton(IDC_APPLY);
      EXPECT_EQ(this->Owner->FramePrefix, "/tmp/shots/take");
      EXPECT_EQ(this->Owner->Restarts, 1);

      d.SetDlgItemText(IDC_PREFIX, "again");
      d.ClickDlgButton(IDOK);
    });
  EXPECT_EQ(this->Owner->FramePrefix, "again");
  EXPECT_EQ(this->Owner->Restarts, 1);
  EXPECT_EQ(this->Dialog->SavedPrefix, "again");
}

TEST_F(OptionsFixture, BrowseTakesTheChosenPathAndUndoesUnappliedSliderMoves)
{
  this->Owner->Playing = true;
  this->Prompts.AnswerFile("/tmp/frames/shot");
  this->Prompts.CancelFile();
  this->Show(
    [&](CDialog& d)
    {
      d.ClickDlgButton(IDC_SAVEPPM);
      d.SetSliderPos(IDC_INTERVAL, 90); // not applied
      d.ClickDlgButton(IDC_BROWSE);
      EXPECT_EQ(d.GetDlgItemText(IDC_PREFIX), "/tmp/frames/shot");
      EXPECT_EQ(d.GetSliderPos(IDC_INTERVAL), 50);
      EXPECT_EQ(d.IsDlgButtonChecked(IDC_SAVEPPM), BST_CHECKED);

      d.SetSliderPos(IDC_INTERVAL, 10);
      d.ClickDlgButton(IDC_BROWSE); // cancelled: nothing changes
      EXPECT_EQ(d.GetDlgItemText(IDC_PREFIX), "/tmp/frames/shot");
      EXPECT_EQ(d.GetSliderPos(IDC_INTERVAL), 10);
      d.ClickDlgButton(IDOK);
    });
  ASSERT_EQ(this->Prompts.FileRequests.size(), 2u);
  const FileDialogRequest& first = this->Prompts.FileRequests[0];
  EXPECT_TRUE(first.Open);
  EXPECT_EQ(first.Title, "PPM files prefix");
  EXPECT_EQ(first.InitialName, "frame");
  EXPECT_NE(first.Flags & OFN_HIDEREADONLY, 0u);
  ASSERT_EQ(first.Filters.size(), 1u);
  EXPECT_EQ(first.Filters[0].first, "All Files");
  EXPECT_EQ(first.Filters[0].second, "*.*");
  EXPECT_EQ(this->Prompts.FileRequests[1].InitialName, "/tmp/frames/shot");
  EXPECT_EQ(this->Owner->FramePrefix, "/tmp/frames/shot");
  EXPECT_EQ(this->Owner->TimerInterval, 25);
}

TEST_F(OptionsFixture, APrefixTooLongForFrameNamesIsRefused)
{
  this->Owner->Playing = true;
  const std::string longest(COptionsDlg::MaxPrefixLength, 'p');
  const std::string tooLong = longest + "q";
  // A frame name is the prefix, four digits and ".bmp": it must fit in MAX_PATH with its
  // terminator.
  ASSERT_EQ(longest.size() + 4 + 4 + 1, static_cast<std::size_t>(MAX_PATH));
  this->Prompts.AnswerFile(tooLong);
  this->Show(
    [&](CDialog& d)
    {
      d.ClickDlgButton(IDC_SAVEPPM);
      d.ClickDlgButton(IDC_BROWSE);
      EXPECT_EQ(d.GetDlgItemText(IDC_PREFIX), "frame");
      EXPECT_EQ(this->Prompts.Messages.size(), 1u);

      d.SetDlgItemText(IDC_PREFIX, tooLong);
      d.ClickDlgButton(IDC_APPLY);
      EXPECT_EQ(this->Owner->FramePrefix, "frame");
      EXPECT_EQ(this->Owner->Realtime, 1) << "nothing was taken";
      d.ClickDlgButton(IDOK);
      EXPECT_TRUE(d.IsRunning()) << "OK with a refused prefix keeps the dialog open";
      EXPECT_EQ(this->Prompts.Messages.size(), 3u);

      d.SetDlgItemText(IDC_PREFIX, longest);
      d.ClickDlgButton(IDOK);
      EXPECT_FALSE(d.IsRunning());
    });
  EXPECT_EQ(this->Owner->FramePrefix, longest);
  EXPECT_EQ(this->Owner->Realtime, 0);
}

TEST_F(OptionsFixture, ATimerLostToAFailedRestartIsTriedAgainOnTheNextApply)
{
  this->Owner->FailuresToCome = 1;
  this->Show(
    [&](CDialog& d)
    {
      d.SetSliderPos(IDC_INTERVAL, 30);
      d.ClickDlgButton(IDC_APPLY);
      EXPECT_EQ(this->Owner->Restarts, 1);
      EXPECT_FALSE(this->Owner->TimerExists);
      EXPECT_EQ(this->Owner->TimerInterval, 45) << "the values stay as set";

      d.ClickDlgButton(IDC_APPLY); // nothing changed, but there is no timer
      EXPECT_EQ(this->Owner->Restarts, 2);
      EXPECT_TRUE(this->Owner->TimerExists);

      d.ClickDlgButton(IDC_APPLY); // now nothing is to be done
      EXPECT_EQ(this->Owner->Restarts, 2);
      d.ClickDlgButton(IDOK);
    });
}

TEST_F(OptionsFixture, EnterPressesApplyTheDefaultButtonAndLeavesTheDialogOpen)
{
  this->Show(
    [&](CDialog& d)
    {
      d.SetSliderPos(IDC_SPEED, 0);
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QApplication::sendEvent(d.GetWidget(), &enter);
      EXPECT_EQ(this->Owner->TicksPerStep, 11);
      EXPECT_TRUE(d.IsRunning());
      d.ClickDlgButton(IDOK);
    });
  EXPECT_EQ(this->Dialog->SavedSpeedPos, 0);
}
