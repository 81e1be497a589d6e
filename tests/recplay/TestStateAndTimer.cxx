// The commands' enabling through the states, the timer (creation, restart, failure), the
// options hook, Realtime after every stop, renders holding the camera lock, and closing
// the window while a recording or playback runs. (The work of a tick is tested on the
// engine itself, in tests/records.)
#include "RecPlayHarness.h"

#include "Resources.h"

#include <vtkCallbackCommand.h>

#include <future>

using namespace recplay;

namespace
{
/// Which of Play, Pause, Stop, Record the frame would let the user run now.
std::string Enabled(Viewer& v)
{
  std::string s;
  s += v.Frame->IsCommandEnabled(ID_PLAY) ? "P" : "-";
  s += v.Frame->IsCommandEnabled(ID_PAUSE) ? "A" : "-";
  s += v.Frame->IsCommandEnabled(ID_STOP) ? "S" : "-";
  s += v.Frame->IsCommandEnabled(ID_RECORD) ? "R" : "-";
  return s;
}

std::string State(TestPlayView* view)
{
  return std::to_string(view->IsRecording()) + std::to_string(view->IsPlaying()) +
    std::to_string(view->IsPaused() ? 1 : 0);
}
}

TEST(RecordPlayState, CommandsFollowTheStateTableAndNeedAModel)
{
  Viewer v(false);
  TestPlayView* view = v.View;
  view->StopTimer();
  // No model: nothing but Options.
  EXPECT_EQ(Enabled(v), "----");
  EXPECT_TRUE(v.Frame->IsCommandEnabled(ID_OPTIONS));
  EXPECT_EQ(view->GetOptionsDialog(), nullptr) << "no factory installed: no dialog";

  v.LoadModel(v.Temp.Path("model.vtk"));
  const std::string file = v.Temp.Path("p.csr");
  WriteFile(file, FirstLine({ 0, 0, 3 }) + PathLine(100, { 0, 0, 3 }, { 1, 0, 3 }));

  // Each row: command run, resulting (recording, playing, paused), enabled commands.
  struct Row
  {
    UINT Command;
    const char* State;
    const char* Enabled;
  };
  const std::vector<Row> rows = {
    { 0, "000", "PA-R" },         // idle
    { ID_PAUSE, "001", "PA-R" },  // idle, frozen
    { ID_RECORD, "101", "-ASR" }, // recording armed (from frozen)
    { ID_RECORD, "100", "-AS-" }, // Record releases: recording
    { ID_PAUSE, "101", "-ASR" },  // armed again
    { ID_PAUSE, "100", "-AS-" },  // Pause releases
    { ID_STOP, "000", "PA-R" },   // idle after the save prompt
    { ID_PLAY, "011", "PAS-" },   // playback armed
    { ID_PLAY, "010", "-AS-" },   // Play releases: playing
    { ID_PAUSE, "011", "PAS-" },  // armed again
    { ID_PAUSE, "010", "-AS-" },  // Pause releases
    { ID_STOP, "000", "PA-R" },   // idle, camera restored
    { ID_PAUSE, "001", "PA-R" },  // frozen
    { ID_PLAY, "011", "PAS-" },   // playback armed from frozen
    { ID_STOP, "000", "PA-R" }, { ID_PAUSE, "001", "PA-R" },
    { ID_PAUSE, "000", "PA-R" }, // idle again
  };
  for (std::size_t i = 0; i < rows.size(); ++i)
  {
    if (rows[i].Command == ID_PLAY && !view->IsPlaying())
    {
      v.Prompts.AnswerFile(file);
    }
    if (rows[i].Command == ID_STOP && view->IsRecording())
    {
      v.Prompts.CancelFile();
    }
    if (rows[i].Command)
    {
      ASSERT_TRUE(v.Frame->ExecuteCommand(rows[i].Command)) << "row " << i;
    }
    EXPECT_EQ(State(view), rows[i].State) << "row " << i;
    EXPECT_EQ(Enabled(v), rows[i].Enabled) << "row " << i;
    const bool running = view->IsRecording() || view->IsPlaying();
    EXPECT_EQ(view->HasWorker(), running) << "one worker exactly while running, row " << i;
  }
  EXPECT_TRUE(v.Prompts.Messages.empty());

  // A disabled command is not run: Stop while idle does nothing.
  EXPECT_FALSE(v.Frame->ExecuteCommand(ID_STOP));
  EXPECT_EQ(State(view), "000");
}

TEST(RecordPlayState, TheTimerRunsFromCreationAndRestartsOrReportsFailure)
{
  Viewer v;
  ASSERT_TRUE(v.ShowAndPaint());
  TestPlayView* view = v.View;
  EXPECT_NE(view->GetTimerId(), -1) << "made with the window";
  EXPECT_EQ(view->TimerInterval, 65);
  EXPECT_EQ(view->TicksPerStep, 6);
  EXPECT_EQ(view->Realtime, 1);
  EXPECT_EQ(view->FramePrefix, "frame");

  // The real timer steps the animation on its own thread; the default answer to the
  // redraw request renders and clears RedrawPending.
  view->TimerInterval = 15;
  view->TicksPerStep = 1;
  view->FrameCounter = 7;
  ASSERT_TRUE(view->RestartTimer());
  EXPECT_EQ(view->FrameCounter, 0);
  view->AnimationOn();
  ASSERT_TRUE(WaitFor([&] { return view->AnimationSteps >= 5; }));
  view->AnimationOff();
  ASSERT_TRUE(WaitFor([&] { return view->RedrawPending == 0; }));

  // No timer can be made with a period of 0.
  view->TimerInterval = 0;
  EXPECT_FALSE(view->RestartTimer());
  EXPECT_EQ(view->GetTimerId(), -1);
  ASSERT_EQ(v.Prompts.Messages.size(), 1u);
  EXPECT_EQ(v.Prompts.Messages[0].Text, "Cannot create timer!");
  const int tick = view->Tick;
  view->TimerInterval = 15;
  ASSERT_TRUE(view->RestartTimer());
  EXPECT_TRUE(WaitFor([&] { return view->Tick != tick; }));
  view->StopTimer();
  EXPECT_EQ(view->GetTimerId(), -1);
}

TEST(RecordPlayState, AStepDueDuringADrawingIsTakenAfterTheInputWithoutWaitingForATick)
{
  Viewer v;
  ASSERT_TRUE(v.ShowAndPaint());
  TestPlayView* view = v.View;
  // The timer runs but never ticks during the test: the test ticks it.
  view->TimerInterval = 600000;
  view->TicksPerStep = 1;
  ASSERT_TRUE(view->RestartTimer());
  view->AnswerRedraws = true;

  // Input (here a task queued like a key press) arrives while the first step is drawn.
  std::vector<std::string> order;
  view->DuringRedraw = [&]
  {
    order.push_back("picture of step " + std::to_string(view->AnimationSteps.load()));
    if (order.size() == 1)
    {
      PostToUserInterface([&] { order.push_back("input"); });
    }
  };
  const int tick = view->Tick;
  view->AnimationOn();
  view->TimerTick(); // a step, its redraw requested
  view->TimerTick(); // the next falls due before that redraw is answered
  ASSERT_EQ(view->AnimationSteps, 1);

  EXPECT_TRUE(WaitFor([&] { return view->AnimationSteps == 2 && view->RedrawPending == 0; }))
    << "the owed step is taken after the drawing, not at the next tick";
  EXPECT_EQ(view->Tick, tick + 2) << "no tick came meanwhile";
  const std::vector<std::string> expected = { "picture of step 1", "input", "picture of step 2" };
  EXPECT_EQ(order, expected);
  view->AnimationOff();
  view->DuringRedraw = nullptr;
}

TEST(RecordPlayState, OptionsRunsTheDialogMadeWithTheWindow)
{
  const UINT templateId = 20950;
  CResources::Get().Dialogs[templateId] = DialogTemplate{ "Options", 100, 40, "", 8, {} };
  vtkRecordPlayView* owner = nullptr;
  vtkRecordPlayView::SetOptionsDialogFactory(
    [&owner, templateId](vtkRecordPlayView* view)
    {
      owner = view;
      return new CDialog(templateId, view);
    });
  Viewer v(false);
  vtkRecordPlayView::SetOptionsDialogFactory(nullptr);
  ASSERT_NE(v.View->GetOptionsDialog(), nullptr);
  EXPECT_EQ(owner, v.View);

  int shown = 0;
  v.Prompts.AnswerDialog(
    [&shown](CDialog& d)
    {
      ++shown;
      d.ClickDlgButton(IDOK);
    });
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_OPTIONS));
  EXPECT_EQ(shown, 1);
  ASSERT_EQ(v.Prompts.Dialogs.size(), 1u);
  EXPECT_EQ(v.Prompts.Dialogs[0], templateId);
  CResources::Get().Dialogs.erase(templateId);
}

TEST(RecordPlayState, RealtimeIsOneAfterEveryStop)
{
  Viewer v(false);
  v.LoadModel(v.Temp.Path("model.vtk"));
  TestPlayView* view = v.View;
  view->StopTimer();
  const std::string file = v.Temp.Path("p.csr");
  WriteFile(file, FirstLine({ 0, 0, 3 }) + PathLine(1, { 0, 0, 3 }, { 1, 0, 3 }));

  view->Realtime = 0;
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
  v.Prompts.CancelFile();
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_STOP));
  EXPECT_EQ(view->Realtime, 1) << "after a recording";

  v.Prompts.AnswerFile(file);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
  view->Realtime = 0; // as the options dialog may set it while playing
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_STOP));
  EXPECT_EQ(view->Realtime, 1) << "after Stop of a playback";

  v.Prompts.AnswerFile(file);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
  view->Realtime = 0;
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
  for (int i = 0; i < 4 && view->IsPlaying(); ++i)
  {
    view->TimerTick();
    WaitFor([&] { return view->RedrawPending == 0 || view->IsPlaying() == 0; });
  }
  ASSERT_TRUE(WaitFor([&] { return view->IsPlaying() == 0; }));
  EXPECT_EQ(view->Realtime, 1) << "after the end of a frame-by-frame playback";
}

TEST(RecordPlayState, RendersHoldTheCameraLockOnlyWhileTheyRun)
{
  Viewer v;
  v.LoadModel(v.Temp.Path("model.vtk"));
  ASSERT_TRUE(v.ShowAndPaint());
  TestPlayView* view = v.View;
  view->StopTimer();
  CCriticalSection& lock = view->GetCameraLock();
  auto freeForOthers = [&lock]
  {
    return std::async(std::launch::async,
      [&lock]
      {
        if (!lock.TryEnter())
        {
          return false;
        }
        lock.Leave();
        return true;
      })
      .get();
  };

  // While the model renderer draws, another thread cannot take the lock.
  std::vector<bool> duringRender;
  auto* observer = vtkCallbackCommand::New();
  struct Probe
  {
    std::vector<bool>* Results;
    std::function<bool()> Free;
  } probe{ &duringRender, freeForOthers };
  observer->SetClientData(&probe);
  observer->SetCallback(
    [](vtkObject*, unsigned long, void* client, void*)
    {
      auto* p = static_cast<Probe*>(client);
      p->Results->push_back(p->Free());
    });
  view->GetRenderer()->AddObserver(vtkCommand::StartEvent, observer);
  view->Render();
  view->GetRenderWindow()->Render();
  view->ArrangeRenderers();
  view->GetWidget()->repaint(); // the widget's own paint
  QApplication::processEvents();
  view->GetRenderer()->RemoveObserver(observer);
  observer->Delete();

  ASSERT_GE(duringRender.size(), 3u);
  for (std::size_t i = 0; i < duringRender.size(); ++i)
  {
    EXPECT_FALSE(duringRender[i]) << "render " << i << " ran without the camera lock";
  }
  EXPECT_TRUE(freeForOthers()) << "the lock is released after the renders";
}

TEST(RecordPlayState, ClosingTheWindowWhileRecordingOffersTheRecordAndEndsTheWriter)
{
  Viewer v;
  v.LoadModel(v.Temp.Path("model.vtk"));
  ASSERT_TRUE(v.ShowAndPaint());
  TestPlayView* view = v.View;
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PAUSE));
  const std::string temp = view->GetTempRecordPath();
  // A drag while the real timer runs.
  view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, v.Point(-90, 0));
  for (int i = 0; i < 5; ++i)
  {
    const int tick = view->Tick;
    ASSERT_TRUE(WaitFor([&] { return view->Tick != tick; }));
    view->SendMessage(WM_TIMER, 0, 0);
  }

  const std::string saved = v.Temp.Path("closing.csr");
  v.Prompts.AnswerFile(saved);
  v.Frame->DestroyWindow();
  EXPECT_EQ(view->GetTimerId(), -1);
  EXPECT_FALSE(view->HasWorker());
  EXPECT_EQ(view->IsRecording(), 0);
  ASSERT_EQ(v.Prompts.FileRequests.size(), 1u);
  EXPECT_EQ(v.Prompts.FileRequests[0].Title, "Save Record File");
  EXPECT_GE(ReadRecordFile(saved).size(), 2u) << "the drag was saved";
  EXPECT_FALSE(fs::exists(temp));
  v.Close();
}

TEST(RecordPlayState, ClosingTheWindowWhilePlayingStopsReaderAndTimerFirst)
{
  for (bool paused : { false, true })
  {
    Viewer v;
    v.LoadModel(v.Temp.Path("model.vtk"));
    ASSERT_TRUE(v.ShowAndPaint());
    TestPlayView* view = v.View;
    view->TimerInterval = 15;
    ASSERT_TRUE(view->RestartTimer());
    // Long enough that the reader waits on a full queue when the window closes.
    std::string content = FirstLine({ 0, 0, 8 });
    for (int i = 1; i <= 3000; ++i)
    {
      content += PathLine(1, { 0.001 * (i - 1), 0, 8 }, { 0.001 * i, 0, 8 });
    }
    const std::string file = v.Temp.Path("long.csr");
    WriteFile(file, content);
    v.Prompts.AnswerFile(file);
    ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
    if (!paused)
    {
      ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PAUSE));
      const int tick = view->Tick;
      ASSERT_TRUE(WaitFor([&] { return view->Tick > tick + 5; }));
    }
    ASSERT_EQ(view->IsPlaying(), 1);

    v.Frame->DestroyWindow();
    EXPECT_EQ(view->GetTimerId(), -1);
    EXPECT_FALSE(view->HasWorker());
    EXPECT_EQ(view->IsPlaying(), 0);
    EXPECT_TRUE(v.Prompts.Messages.empty());
    EXPECT_EQ(v.Prompts.FileRequests.size(), 1u) << "a playback is not offered for saving";
    v.Close();
  }
}

TEST(RecordPlayState, DestroyingAViewWithoutAWindowEndsItsRecording)
{
  // A view made outside any frame (no window): the destructor alone has to stop the writer
  // and the timer.
  App();
  TempDir temp;
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", temp.Get().c_str(), 1);
  CScriptedPrompts prompts;
  {
    TestPlayView view;
    ASSERT_TRUE(view.RestartTimer());
    view.OnRecord(); // no document: recording without a save prompt
    ASSERT_EQ(view.IsRecording(), 1);
    EXPECT_TRUE(fs::exists(view.GetTempRecordPath()));
  }
  EXPECT_TRUE(prompts.Messages.empty());
  EXPECT_TRUE(prompts.FileRequests.empty());
  EXPECT_TRUE(fs::is_empty(temp.Get())) << "the unsaved temporary file is removed";
  if (old)
  {
    setenv("TMPDIR", saved.c_str(), 1);
  }
  else
  {
    unsetenv("TMPDIR");
  }
}
