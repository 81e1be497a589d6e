// Playing a camera path back: records applied tick by tick in real time (delay 0 in the
// same tick), frame by frame one record per redraw, the end of the file stopping the
// playback and restoring the camera, mouse interaction off meanwhile, the prompt, and
// files that cannot be played.
#include "RecPlayHarness.h"

using namespace recplay;

namespace
{
/// A file of four records: the camera at (0, 0, 5), then x := 1 two ticks later, y := 2 in
/// the same tick, and z := 7 three ticks after that.
std::string FourRecords()
{
  return FirstLine({ 0, 0, 5 }) + PathLine(2, { 0, 0, 5 }, { 1, 0, 5 }) +
    PathLine(0, { 1, 0, 5 }, { 1, 2, 5 }) + PathLine(3, { 1, 2, 5 }, { 1, 2, 7 });
}

/// An options dialog stand-in that answers the realtime question.
class Choice
  : public CDialog
  , public RealtimeChoice
{
public:
  explicit Choice(bool realtime)
    : CDialog(9999)
    , Realtime(realtime)
  {
  }
  bool IsRealtimeChosen() const override { return this->Realtime; }
  bool Realtime;
};

void ArmPlayback(Viewer& v, const std::string& file)
{
  v.Prompts.AnswerFile(file);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
  ASSERT_EQ(v.View->IsPlaying(), 1);
  ASSERT_TRUE(v.View->IsPaused()) << "Play arms the playback";
}
}

TEST(RecordPlayPlayback, RealtimeTicksApplyTheRecordsInOrderAndTheEndRestoresTheCamera)
{
  Viewer v(false);
  v.LoadModel(v.Temp.Path("model.vtk"));
  TestPlayView* view = v.View;
  view->StopTimer();
  vtkCamera* camera = view->Camera();
  camera->SetPosition(3, 4, 12);
  const auto before = PositionOf(camera);
  const std::string file = v.Temp.Path("four.csr");
  WriteFile(file, FourRecords());

  ArmPlayback(v, file);
  // The prompt: an open dialog for an existing file, on the document's name.
  const FileDialogRequest& request = v.Prompts.FileRequests.at(0);
  EXPECT_EQ(request.Title, "Choose Record File");
  EXPECT_EQ(request.InitialName, v.Temp.Path("model.csr"));
  EXPECT_EQ(request.DefaultExtension, "csr");
  ASSERT_EQ(request.Filters.size(), 2u);
  EXPECT_EQ(
    request.Filters[0], std::make_pair(std::string("Camera Status Record"), std::string("*.CSR")));
  EXPECT_EQ(request.Filters[1], std::make_pair(std::string("All Files"), std::string("*.*")));
  EXPECT_EQ(
    request.Flags & (OFN_FILEMUSTEXIST | OFN_HIDEREADONLY), OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);

  // Armed: the first record is on the camera, and the ticks stand still.
  EXPECT_TRUE(Near(PositionOf(camera), { 0, 0, 5 }, 1e-6)) << Show(PositionOf(camera));
  const int tick = view->Tick;
  view->TimerTick();
  EXPECT_EQ(view->Tick, tick);
  EXPECT_EQ(view->GetTicksRemaining(), 1);

  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PAUSE)); // release: playing
  // Tick by tick: (camera after the tick, ticks remaining after it).
  const std::vector<std::pair<std::array<double, 3>, int>> expected = {
    { { 0, 0, 5 }, 2 }, // the first record again (due after 1 tick); the next due in 2
    { { 0, 0, 5 }, 1 }, { { 1, 2, 5 }, 3 }, // x and, in the same tick, y
    { { 1, 2, 5 }, 2 }, { { 1, 2, 5 }, 1 },
    { { 1, 2, 7 }, 0 }, // the last record: the end of the file is posted
  };
  for (std::size_t i = 0; i < expected.size(); ++i)
  {
    view->TimerTick();
    EXPECT_EQ(view->Tick, tick + static_cast<int>(i) + 1);
    EXPECT_TRUE(Near(PositionOf(camera), expected[i].first, 1e-6))
      << "tick " << i + 1 << ": " << Show(PositionOf(camera));
    EXPECT_EQ(view->GetTicksRemaining(), expected[i].second) << "tick " << i + 1;
  }
  EXPECT_EQ(view->IsPlaying(), 1) << "the end arrives as a message";
  EXPECT_EQ(view->EndOfPlaybackMessages, 0);
  ASSERT_TRUE(WaitFor([&] { return view->IsPlaying() == 0; }));
  EXPECT_EQ(view->EndOfPlaybackMessages, 1);
  EXPECT_TRUE(Near(PositionOf(camera), before, 1e-6)) << Show(PositionOf(camera));
  EXPECT_FALSE(view->IsPaused());
  EXPECT_FALSE(view->HasWorker());
  EXPECT_EQ(view->RedrawPending, 0) << "the redraw requests were answered";
  EXPECT_TRUE(v.Prompts.Messages.empty());
}

TEST(RecordPlayPlayback, AOneRecordFileEndsOneTickAfterThePauseIsReleased)
{
  Viewer v(false);
  v.LoadModel(v.Temp.Path("model.vtk"));
  TestPlayView* view = v.View;
  view->StopTimer();
  const std::string file = v.Temp.Path("one.csr");
  WriteFile(file, FirstLine({ 1, 1, 1 }));
  const auto before = PositionOf(view->Camera());

  ArmPlayback(v, file);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY)); // Play releases the pause too
  EXPECT_FALSE(view->IsPaused());
  view->TimerTick();
  ASSERT_TRUE(WaitFor([&] { return view->IsPlaying() == 0; }));
  EXPECT_TRUE(Near(PositionOf(view->Camera()), before, 1e-6));
}

TEST(RecordPlayPlayback, FrameByFrameAppliesOneRecordPerRedrawAndStepsWhenNoneIsDue)
{
  // The options dialog is made with the window, by the factory the application installs.
  TestPlayView::SetOptionsDialogFactory([](vtkRecordPlayView*) { return new Choice(false); });
  Viewer w(false);
  TestPlayView::SetOptionsDialogFactory(nullptr);
  ASSERT_NE(dynamic_cast<Choice*>(w.View->GetOptionsDialog()), nullptr);
  w.LoadModel(w.Temp.Path("model.vtk"));
  TestPlayView* view = w.View;
  view->StopTimer();
  view->AnswerRedraws = true;
  ASSERT_EQ(view->TicksPerStep, 6);

  // Records 1, 3 and 4 ticks apart.
  const std::string file = w.Temp.Path("frames.csr");
  WriteFile(file,
    FirstLine({ 0, 0, 4 }) + PathLine(3, { 0, 0, 4 }, { 1, 0, 4 }) +
      PathLine(4, { 1, 0, 4 }, { 1, 1, 4 }));
  ArmPlayback(w, file);
  EXPECT_EQ(view->Realtime, 0) << "the options dialog chose frame-by-frame playback";
  EXPECT_EQ(view->GetTicksAccumulated(), 6);
  ASSERT_TRUE(w.Frame->ExecuteCommand(ID_PAUSE));
  const int tick = view->Tick;

  // Per call: camera, animation steps so far, tick advance, budget and ticks remaining.
  struct Step
  {
    std::array<double, 3> Camera;
    int AnimationSteps;
    int TickAdvance;
    int Accumulated;
    int Remaining;
  };
  const std::vector<Step> expected = {
    { { 0, 0, 4 }, 0, 0, 5, 3 },  // budget 6, first record due in 1: applied
    { { 1, 0, 4 }, 0, 0, 2, 4 },  // budget 5, second due in 3: applied
    { { 1, 0, 4 }, 1, 6, 6, -2 }, // budget 2, third due in 4: none due, an animation step
    { { 1, 1, 4 }, 1, 6, 8, -2 }, // the third; the end of the file is posted
  };
  for (std::size_t i = 0; i < expected.size(); ++i)
  {
    view->TimerTick();
    EXPECT_EQ(view->RedrawPending, 1) << "call " << i + 1 << " asks for a frame";
    EXPECT_TRUE(Near(PositionOf(view->Camera()), expected[i].Camera, 1e-6))
      << "call " << i + 1 << ": " << Show(PositionOf(view->Camera()));
    EXPECT_EQ(view->AnimationSteps, expected[i].AnimationSteps) << "call " << i + 1;
    EXPECT_EQ(view->Tick, tick + expected[i].TickAdvance) << "call " << i + 1;
    EXPECT_EQ(view->GetTicksAccumulated(), expected[i].Accumulated) << "call " << i + 1;
    EXPECT_EQ(view->GetTicksRemaining(), expected[i].Remaining) << "call " << i + 1;

    // Until the frame is drawn, further calls do nothing.
    view->TimerTick();
    EXPECT_EQ(view->GetTicksAccumulated(), expected[i].Accumulated) << "call " << i + 1;
    EXPECT_EQ(view->AnimationSteps, expected[i].AnimationSteps) << "call " << i + 1;
    if (i + 1 < expected.size())
    {
      ASSERT_TRUE(WaitFor([&] { return view->RedrawPending == 0; }));
    }
  }
  ASSERT_TRUE(WaitFor([&] { return view->IsPlaying() == 0; }));
  // One frame drawn per call, each showing that call's record.
  ASSERT_GE(view->RedrawPositions.size(), 4u);
  for (std::size_t i = 0; i < expected.size(); ++i)
  {
    EXPECT_TRUE(Near(view->RedrawPositions[i], expected[i].Camera, 1e-6)) << "frame " << i;
  }
  EXPECT_EQ(view->Realtime, 1) << "Realtime is 1 again after the stop";
}

TEST(RecordPlayPlayback, MouseInteractionIsOffDuringPlaybackAndOnAfter)
{
  Viewer v;
  v.LoadModel(v.Temp.Path("model.vtk"));
  ASSERT_TRUE(v.ShowAndPaint());
  TestPlayView* view = v.View;
  view->StopTimer();
  const std::string file = v.Temp.Path("still.csr");
  WriteFile(file, FirstLine({ 0, 0, 6 }) + PathLine(50, { 0, 0, 6 }, { 0.5, 0, 6 }));
  EXPECT_TRUE(view->GetInteractor()->GetEnabled());

  ArmPlayback(v, file);
  EXPECT_FALSE(view->GetInteractor()->GetEnabled());
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PAUSE));
  vtkCamera* camera = view->Camera();
  const auto playing = PositionOf(camera);
  const int events = view->GetInteractor()->GetMessageEventCount();
  view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, v.Point(-80, 0));
  view->SendMessage(WM_TIMER, 0, 0);
  view->SendMessage(WM_TIMER, 0, 0);
  view->SendMessage(WM_LBUTTONUP, 0, v.Point(-80, 0));
  EXPECT_EQ(view->GetInteractor()->GetMessageEventCount(), events);
  EXPECT_TRUE(Near(PositionOf(camera), playing, 1e-12)) << "a drag does nothing while playing";

  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_STOP));
  EXPECT_TRUE(view->GetInteractor()->GetEnabled());
  const auto stopped = PositionOf(camera);
  view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, v.Point(-80, 0));
  view->SendMessage(WM_TIMER, 0, 0);
  view->SendMessage(WM_LBUTTONUP, 0, v.Point(-80, 0));
  EXPECT_FALSE(Near(PositionOf(camera), stopped, 1e-6)) << "a drag turns the camera again";
}

TEST(RecordPlayPlayback, FilesThatCannotBePlayedLeaveTheViewAsBefore)
{
  Viewer v(false);
  v.LoadModel(v.Temp.Path("model.vtk"));
  TestPlayView* view = v.View;
  view->StopTimer();
  vtkCamera* camera = view->Camera();
  const auto before = PositionOf(camera);

  // A name that cannot be opened.
  v.Prompts.AnswerFile(v.Temp.Path("absent.csr"));
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
  ASSERT_EQ(v.Prompts.Messages.size(), 1u);
  EXPECT_EQ(v.Prompts.Messages[0].Text, "Cannot open file for play!");

  // Files without a readable first record: no playback, no message.
  for (const std::string& content :
    { std::string(), std::string("garbage\n"), std::string("[1] 23 0 1.0 1 \n") })
  {
    const std::string file = v.Temp.Path("bad.csr");
    WriteFile(file, content);
    v.Prompts.AnswerFile(file);
    ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
    EXPECT_EQ(view->IsPlaying(), 0) << content;
    EXPECT_FALSE(view->IsPaused()) << content;
    EXPECT_FALSE(view->HasWorker()) << content;
    EXPECT_TRUE(view->GetInteractor()->GetEnabled()) << content;
  }
  // Cancelled prompt: nothing at all.
  v.Prompts.CancelFile();
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
  EXPECT_EQ(view->IsPlaying(), 0);
  EXPECT_EQ(v.Prompts.Messages.size(), 1u);
  EXPECT_TRUE(Near(PositionOf(camera), before, 1e-6));

  // A malformed line ends the playback there, as the end of the file does.
  const std::string cut = v.Temp.Path("cut.csr");
  WriteFile(cut,
    FirstLine({ 0, 0, 9 }) + PathLine(1, { 0, 0, 9 }, { 2, 0, 9 }) + "[1] x\n" +
      PathLine(1, { 2, 0, 9 }, { 3, 0, 9 }));
  ArmPlayback(v, cut);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PAUSE));
  view->TimerTick();
  view->TimerTick();
  EXPECT_TRUE(Near(PositionOf(camera), { 2, 0, 9 }, 1e-6)) << Show(PositionOf(camera));
  ASSERT_TRUE(WaitFor([&] { return view->IsPlaying() == 0; }));
  EXPECT_TRUE(Near(PositionOf(camera), before, 1e-6));
}

TEST(RecordPlayPlayback, OnTheRealTimerAPlaybackRunsToItsEndWhileTheViewRenders)
{
  Viewer v;
  v.LoadModel(v.Temp.Path("model.vtk"));
  ASSERT_TRUE(v.ShowAndPaint());
  TestPlayView* view = v.View;
  view->TimerInterval = 15;
  ASSERT_TRUE(view->RestartTimer());
  view->AnswerRedraws = true;
  vtkCamera* camera = view->Camera();
  const auto before = PositionOf(camera);

  // 60 records a tick apart: the camera walks along x; more than the queue's 10 ahead.
  std::string content = FirstLine({ 0, 0, 8 });
  for (int i = 1; i <= 60; ++i)
  {
    content += PathLine(1, { 0.1 * (i - 1), 0, 8 }, { 0.1 * i, 0, 8 });
  }
  const std::string file = v.Temp.Path("walk.csr");
  WriteFile(file, content);
  ArmPlayback(v, file);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PAUSE));
  ASSERT_TRUE(WaitFor([&] { return view->IsPlaying() == 0; }, 60000));

  // Every redraw showed a state of the path, in the path's order.
  ASSERT_FALSE(view->RedrawPositions.empty());
  double lastX = -1;
  for (const auto& p : view->RedrawPositions)
  {
    if (Near(p, before, 1e-6))
    {
      continue; // the stop's own render
    }
    EXPECT_NEAR(p[1], 0, 1e-5);
    EXPECT_NEAR(p[2], 8, 1e-5);
    const double step = p[0] / 0.1;
    EXPECT_NEAR(step, std::round(step), 1e-3) << "x = " << p[0];
    EXPECT_GE(p[0], lastX) << "states in order";
    lastX = p[0];
  }
  EXPECT_TRUE(Near(PositionOf(camera), before, 1e-6));
  EXPECT_FALSE(view->HasWorker());
  EXPECT_TRUE(view->GetInteractor()->GetEnabled());
}
