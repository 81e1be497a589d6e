// The record/playback engine driven without a window: the animation's steps and Pause
// freezing them while idle, the wrap of Tick, and a recorded path played back onto another
// camera at the ticks it was captured.
#include "RecordPlayEngine.h"
#include "RecordTestUtils.h"

#include <vtkCamera.h>
#include <vtkNew.h>

#include <array>
#include <cmath>
#include <functional>

using recordtest::TempFile;

namespace
{
/// Counts what the engine asks of its owner.
class CountingClient : public RecordPlayEngine::Client
{
public:
  std::atomic<int> Redraws{ 0 };
  std::atomic<int> Ends{ 0 };
  std::atomic<int> Steps{ 0 };
  void RequestRedraw() override { ++this->Redraws; }
  void RequestEndOfPlayback() override { ++this->Ends; }
  void AdvanceAnimation() override { ++this->Steps; }
};

void Ticks(RecordPlayEngine& engine, int n)
{
  for (int i = 0; i < n; ++i)
  {
    engine.TimerTick();
  }
}

bool At(vtkCamera* camera, const std::array<double, 3>& p)
{
  double q[3];
  camera->GetPosition(q);
  return std::abs(q[0] - p[0]) < 1e-5 && std::abs(q[1] - p[1]) < 1e-5 &&
    std::abs(q[2] - p[2]) < 1e-5;
}
}

TEST(RecordPlayEngine, PauseWhileIdleFreezesAndReleasesTheAnimation)
{
  CountingClient client;
  RecordPlayEngine engine(client);
  engine.TicksPerStep = 3;

  // Off: ticks advance, no steps.
  Ticks(engine, 6);
  EXPECT_EQ(engine.Tick, 6);
  EXPECT_EQ(client.Steps, 0);

  // On: a step at every third tick, each asking for a redraw (one at a time). A step due
  // while the last one is being drawn is dropped; the first tick after the drawing takes the
  // step due then (not the end of the drawing itself: the owner serves its input first).
  engine.AnimationOn();
  EXPECT_EQ(engine.GetAnimationRunning(), 1);
  Ticks(engine, 6);
  EXPECT_EQ(client.Steps, 1); // tick 9; tick 12 fell due while 9 was being drawn
  EXPECT_EQ(engine.RedrawPending, 1);
  EXPECT_EQ(client.Redraws, 1) << "no second request while one is pending";
  engine.RedrawPending = 0;
  EXPECT_TRUE(engine.RedrawDone()) << "a step is owed";
  EXPECT_EQ(client.Steps, 1);
  EXPECT_EQ(client.Redraws, 1);
  Ticks(engine, 1); // tick 13, not due itself, takes the step owed
  EXPECT_EQ(client.Steps, 2);
  EXPECT_EQ(client.Redraws, 2);
  engine.RedrawPending = 0;
  EXPECT_FALSE(engine.RedrawDone()) << "nothing fell due meanwhile";
  EXPECT_EQ(client.Steps, 2);

  // Frozen: neither ticks nor steps.
  engine.TogglePause();
  Ticks(engine, 9);
  EXPECT_EQ(engine.Tick, 13);
  EXPECT_EQ(client.Steps, 2);

  // Released: on again from where it stood.
  engine.TogglePause();
  Ticks(engine, 2);
  EXPECT_EQ(engine.Tick, 15);
  EXPECT_EQ(client.Steps, 3);
  EXPECT_EQ(client.Redraws, 3);

  engine.AnimationOff();
  Ticks(engine, 6);
  EXPECT_EQ(client.Steps, 3);
}

TEST(RecordPlayEngine, AStepOwedAfterADrawingWaitsForNoTickButForTheInputServedMeanwhile)
{
  using Action = std::function<void(RecordPlayEngine&)>;
  const Action nothing = [](RecordPlayEngine&) {};
  const Action pause = [](RecordPlayEngine& e) { e.TogglePause(); };
  // Each case: what happens before the drawing ends, what RedrawDone then says, what
  // happens before the owner's TakeOwedStep (the input it served first), the steps taken in
  // all, and whether a step is still owed after the next drawing.
  const struct
  {
    const char* Name;
    Action BeforeTheEnd;
    bool Owed;
    Action Between;
    int Steps;
    bool OwedAfterNextDrawing;
  } cases[] = {
    { "taken at once", nothing, true, nothing, 2, false },
    { "Space served first", nothing, true, pause, 1, false },
    { "animation switched off first", nothing, true, [](RecordPlayEngine& e) { e.AnimationOff(); },
      1, false },
    { "a tick took it first", nothing, true, [](RecordPlayEngine& e) { e.TimerTick(); }, 2, false },
    { "a record's redraw is pending again", nothing, true,
      [](RecordPlayEngine& e) { e.RedrawPending = 1; }, 1, true },
    { "paused during the drawing", pause, false, pause, 1, false },
    { "frame by frame since", [](RecordPlayEngine& e) { e.Realtime = 0; }, false, nothing, 1,
      false },
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.Name);
    CountingClient client;
    RecordPlayEngine engine(client);
    engine.TicksPerStep = 3;
    engine.AnimationOn();
    Ticks(engine, 3); // tick 3: a step, being drawn
    Ticks(engine, 3); // tick 6 falls due during the drawing
    ASSERT_EQ(client.Steps, 1);
    c.BeforeTheEnd(engine);
    engine.RedrawPending = 0; // drawn
    EXPECT_EQ(engine.RedrawDone(), c.Owed);
    EXPECT_EQ(client.Steps, 1) << "never taken by the end of the drawing itself";
    EXPECT_EQ(client.Redraws, 1);
    c.Between(engine);
    engine.TakeOwedStep();
    EXPECT_EQ(client.Steps, c.Steps);
    EXPECT_EQ(client.Redraws, c.Steps) << "each step drawn once";
    engine.TakeOwedStep();
    EXPECT_EQ(client.Steps, c.Steps) << "one owed step is taken once";
    engine.RedrawPending = 0;
    EXPECT_EQ(engine.RedrawDone(), c.OwedAfterNextDrawing);
  }
}

TEST(RecordPlayEngine, RealtimeTickWrapsFrom49999ToZeroAndStepsThere)
{
  CountingClient client;
  RecordPlayEngine engine(client);
  engine.AnimationOn();
  engine.TicksPerStep = 6;
  engine.Tick = 49997;
  engine.TimerTick(); // 49998: a step (49998 = 6 * 8333)
  EXPECT_EQ(engine.Tick, 49998);
  EXPECT_EQ(client.Steps, 1);
  engine.RedrawPending = 0; // drawn
  engine.TimerTick();
  EXPECT_EQ(engine.Tick, 49999);
  engine.TimerTick();
  EXPECT_EQ(engine.Tick, 0);
  EXPECT_EQ(client.Steps, 2) << "tick 0 is a step";
}

TEST(RecordPlayEngine, ARecordedPathPlaysBackOnAnotherCameraAtItsTicks)
{
  CountingClient client;
  RecordPlayEngine engine(client);
  const std::string path = TempFile("path.csr");

  // Recording: armed, then captures 2 ticks after the release, in the same tick, and 3
  // ticks later.
  vtkNew<vtkCamera> camera;
  camera->SetPosition(0, 0, 5);
  ASSERT_EQ(engine.StartRecording(std::fopen(path.c_str(), "w"), camera),
    RecordPlayEngine::StartResult::Armed);
  EXPECT_EQ(engine.IsRecording(), 1);
  EXPECT_FALSE(engine.IsCapturing()) << "armed: nothing captured yet";
  engine.Resume();
  const struct
  {
    int Ticks;
    std::array<double, 3> Position;
  } captures[] = { { 2, { 1, 0, 5 } }, { 0, { 1, 2, 5 } }, { 3, { 1, 2, 7 } } };
  for (const auto& c : captures)
  {
    Ticks(engine, c.Ticks);
    camera->SetPosition(c.Position.data());
    ASSERT_TRUE(engine.IsCapturing());
    ASSERT_TRUE(engine.Capture(camera));
  }
  EXPECT_EQ(engine.Halt(), "");
  EXPECT_FALSE(engine.HasWorker());
  engine.Reset();
  EXPECT_EQ(engine.IsRecording(), 0);
  EXPECT_FALSE(engine.IsPaused());

  // Playback onto a camera elsewhere: the first state at once, then each capture at its
  // tick (the first a tick after the start, as every recording's first line is due).
  vtkNew<vtkCamera> player;
  player->SetPosition(9, 9, 9);
  ASSERT_EQ(engine.StartPlayback(std::fopen(path.c_str(), "r"), player, true),
    RecordPlayEngine::StartResult::Armed);
  EXPECT_TRUE(At(player, { 0, 0, 5 }));
  EXPECT_TRUE(engine.IsPaused());
  engine.Resume();
  const std::array<double, 3> afterTick[] = { { 0, 0, 5 }, { 1, 2, 5 }, { 1, 2, 5 }, { 1, 2, 5 },
    { 1, 2, 7 } };
  for (const auto& expected : afterTick)
  {
    EXPECT_EQ(client.Ends, 0);
    engine.TimerTick();
    engine.RedrawPending = 0; // drawn
    EXPECT_TRUE(At(player, expected)) << "tick " << (&expected - afterTick) + 1;
  }
  EXPECT_EQ(client.Ends, 1) << "the last record asks for the end of the playback";

  // The stop puts the camera back where it was before the playback.
  EXPECT_EQ(engine.Halt(), "");
  engine.Reset();
  engine.RestoreCamera(player);
  EXPECT_TRUE(At(player, { 9, 9, 9 }));
  std::remove(path.c_str());
}
