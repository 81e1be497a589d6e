// Recording a camera path: a drag while recording lands in the saved file as lines of
// changed slots with their tick delays; the save prompt, the temporary file (private to the
// recording), replacing an existing file only after a yes, long paths, and the failures with
// their messages.
#include "FileSizeLimit.h"
#include "RecPlayHarness.h"

#include <csignal>
#include <memory>

#include <sys/resource.h>

using namespace recplay;

namespace
{
/// The camera's 23 slots as floats, read here directly from the camera.
Slots SlotsOf(vtkCamera* c)
{
  double v[3];
  Slots s = DefaultSlots();
  auto put = [&s](int at, const double* values, int n)
  {
    for (int i = 0; i < n; ++i)
    {
      s[at + i] = static_cast<float>(values[i]);
    }
  };
  c->GetPosition(v);
  put(0, v, 3);
  c->GetFocalPoint(v);
  put(3, v, 3);
  c->GetViewUp(v);
  put(6, v, 3);
  s[9] = static_cast<float>(c->GetDistance());
  s[10] = static_cast<float>(c->GetRoll());
  s[11] = static_cast<float>(c->GetParallelProjection());
  s[12] = static_cast<float>(c->GetViewAngle());
  s[13] = static_cast<float>(c->GetParallelScale());
  c->GetClippingRange(v);
  put(14, v, 2);
  s[16] = static_cast<float>(c->GetThickness());
  c->GetWindowCenter(v);
  put(17, v, 2);
  s[21] = static_cast<float>(c->GetEyeAngle());
  s[22] = static_cast<float>(c->GetFocalDisk());
  return s;
}

/// Equal within what "%f" keeps (six decimals) of a single-precision value.
void ExpectSlotsNear(const Slots& actual, const Slots& expected, const std::string& where)
{
  for (int i = 0; i < 23; ++i)
  {
    EXPECT_NEAR(actual[i], expected[i], 2e-6 + 2e-7 * std::abs(expected[i]))
      << where << ", slot " << i;
  }
}

std::array<double, 3> PositionIn(const Slots& s)
{
  return { s[0], s[1], s[2] };
}

/// Record armed by the command, released by Pause.
void StartRecording(Viewer& v)
{
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
  ASSERT_EQ(v.View->IsRecording(), 1);
  ASSERT_TRUE(v.View->IsPaused()) << "Record arms the recording";
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PAUSE));
  ASSERT_FALSE(v.View->IsPaused());
}

std::string FilterText(const FileDialogRequest& r)
{
  std::string text;
  for (const auto& f : r.Filters)
  {
    text += f.first + "|" + f.second + "|";
  }
  return text;
}
}

TEST(RecordPlayRecording, ADragIsSavedAsTheCapturedPathWithItsTickDelays)
{
  Viewer v;
  v.LoadModel(v.Temp.Path("leg.vtk"));
  ASSERT_TRUE(v.ShowAndPaint());
  TestPlayView* view = v.View;
  view->StopTimer(); // ticks come from the test only
  vtkCamera* camera = view->Camera();
  const Slots start = SlotsOf(camera);

  StartRecording(v);
  const std::string temp = view->GetTempRecordPath();
  ExpectPrivateTempRecord(temp, v.Temp.Get());
  EXPECT_TRUE(fs::exists(temp));
  EXPECT_TRUE(view->HasWorker());

  // A left-button drag off the centre: each WM_TIMER captures, then the style turns the
  // camera. The test advances the tick by 1, 2 or 3 between captures.
  view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, v.Point(-90, 20));
  view->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, v.Point(-90, 20));
  std::vector<Slots> captured;
  std::vector<int> stamps;
  for (int k = 0; k < 7; ++k)
  {
    for (int j = 0; j < k % 3 + 1; ++j)
    {
      view->TimerTick();
    }
    captured.push_back(SlotsOf(camera));
    stamps.push_back(view->Tick);
    view->SendMessage(WM_TIMER, 0, 0);
  }
  view->SendMessage(WM_LBUTTONUP, 0, v.Point(-90, 20));
  const Slots moved = SlotsOf(camera);
  ASSERT_GT(std::abs(moved[0] - captured.back()[0]) + std::abs(moved[2] - captured.back()[2]), 1e-4)
    << "the drag must move the camera after the last capture";

  const std::string saved = v.Temp.Path("path.csr");
  v.Prompts.AnswerFile(saved);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_STOP));

  // The file: the camera at Record with delay 1 and all 23 slots, then a line per capture
  // that differs from the state written before it.
  const std::vector<Line> lines = ReadRecordFile(saved);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].Delay, 1);
  EXPECT_EQ(lines[0].Count, 23);
  ExpectSlotsNear(lines[0].State, start, "first line");

  std::vector<std::pair<int, Slots>> expected; // delay, state
  Slots written = start;
  for (std::size_t i = 0; i < captured.size(); ++i)
  {
    if (captured[i] != written)
    {
      expected.emplace_back(i == 0 ? 1 : stamps[i] - stamps[i - 1], captured[i]);
      written = captured[i];
    }
  }
  ASSERT_GE(expected.size(), 5u) << "the drag should change the camera at most captures";
  ASSERT_EQ(lines.size(), expected.size() + 1);
  for (std::size_t i = 0; i < expected.size(); ++i)
  {
    EXPECT_EQ(lines[i + 1].Delay, expected[i].first) << "line " << i + 1;
    EXPECT_LT(lines[i + 1].Count, 23) << "only changed slots, line " << i + 1;
    ExpectSlotsNear(lines[i + 1].State, expected[i].second, "line " + std::to_string(i + 1));
  }

  // Stop puts the camera on the last written state: the motion after it is undone.
  EXPECT_TRUE(Near(PositionOf(camera), PositionIn(written), 1e-5))
    << Show(PositionOf(camera)) << " vs " << Show(PositionIn(written));
  EXPECT_FALSE(fs::exists(temp)) << "the temporary file is deleted after saving";
  EXPECT_EQ(view->IsRecording(), 0);
  EXPECT_FALSE(view->IsPaused());
  EXPECT_FALSE(view->HasWorker());

  // The save prompt: an open dialog on the document's name with the record extension.
  ASSERT_EQ(v.Prompts.FileRequests.size(), 1u);
  const FileDialogRequest& request = v.Prompts.FileRequests[0];
  EXPECT_EQ(request.Title, "Save Record File");
  EXPECT_TRUE(request.Open);
  EXPECT_EQ(request.InitialName, v.Temp.Path("leg.csr"));
  EXPECT_EQ(request.DefaultExtension, "csr");
  EXPECT_EQ(FilterText(request), "Camera Status Record|*.CSR|All Files|*.*|");
  EXPECT_NE(request.Flags & OFN_HIDEREADONLY, 0u);
  EXPECT_EQ(request.Flags & OFN_FILEMUSTEXIST, 0u) << "a new name is accepted";
  EXPECT_TRUE(v.Prompts.Messages.empty());
}

TEST(RecordPlayRecording, RecordThenStopAtOnceSavesOneLineAndCancelLeavesNoTemporaryFile)
{
  Viewer v(false);
  v.LoadModel(v.Temp.Path("head.vtk"));
  TestPlayView* view = v.View;
  view->StopTimer();
  vtkCamera* camera = view->Camera();
  camera->SetPosition(0.25, -1.5, 7.125);
  camera->SetViewAngle(20);
  const Slots start = SlotsOf(camera);

  // Saved: exactly one line, the camera at the start.
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
  camera->SetPosition(5, 5, 5); // moved while armed: nothing is captured
  view->SendMessage(WM_TIMER, 0, 0);
  const std::string saved = v.Temp.Path("one.csr");
  v.Prompts.AnswerFile(saved);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_STOP));
  const std::vector<Line> lines = ReadRecordFile(saved);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].Delay, 1);
  EXPECT_EQ(lines[0].Count, 23);
  ExpectSlotsNear(lines[0].State, start, "the only line");
  EXPECT_TRUE(Near(PositionOf(camera), { 0.25, -1.5, 7.125 }, 1e-6))
    << "Stop returns to the last written state";

  // Cancelled: nothing saved and no temporary file left behind.
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
  const std::string temp = view->GetTempRecordPath();
  ASSERT_TRUE(fs::exists(temp));
  v.Prompts.CancelFile();
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_STOP));
  EXPECT_FALSE(fs::exists(temp));
  EXPECT_EQ(v.Prompts.FileRequests.size(), 2u);
  EXPECT_EQ(view->IsRecording(), 0);
  EXPECT_FALSE(view->HasWorker());
  EXPECT_EQ(std::distance(fs::directory_iterator(v.Temp.Get()), fs::directory_iterator()), 1)
    << "only the first saved file is left";
}

TEST(RecordPlayRecording, AnExistingFileIsReplacedOnlyAfterYes)
{
  Viewer v(false);
  v.LoadModel(v.Temp.Path("model.vtk"));
  v.View->StopTimer();
  const std::string existing = v.Temp.Path("keep.csr");
  const std::string other = v.Temp.Path("other.csr");
  WriteFile(existing, "precious\n");

  // No: the prompt comes back; the second answer names a new file.
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
  v.Prompts.AnswerFile(existing);
  v.Prompts.AnswerMessage(IDNO);
  v.Prompts.AnswerFile(other);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_STOP));
  ASSERT_EQ(v.Prompts.Messages.size(), 1u);
  EXPECT_EQ(v.Prompts.Messages[0].Type & 0xF, MB_YESNO);
  EXPECT_NE(v.Prompts.Messages[0].Text.find(existing), std::string::npos);
  EXPECT_EQ(v.Prompts.FileRequests.size(), 2u);
  std::ifstream kept(existing);
  std::string text;
  std::getline(kept, text);
  EXPECT_EQ(text, "precious");
  EXPECT_EQ(ReadRecordFile(other).size(), 1u);

  // No, then nothing more chosen: nothing replaced, the temporary file still removed.
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
  const std::string temp = v.View->GetTempRecordPath();
  v.Prompts.AnswerFile(existing);
  v.Prompts.AnswerMessage(IDNO);
  v.Prompts.CancelFile();
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_STOP));
  std::ifstream stillKept(existing);
  std::getline(stillKept, text);
  EXPECT_EQ(text, "precious");
  EXPECT_FALSE(fs::exists(temp));

  // Yes: replaced by the record.
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
  v.Prompts.AnswerFile(existing);
  v.Prompts.AnswerMessage(IDYES);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_STOP));
  const std::vector<Line> lines = ReadRecordFile(existing);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].Count, 23);
  EXPECT_EQ(v.Prompts.Messages.size(), 3u);
}

TEST(RecordPlayRecording, PathsLongerThan260CharactersAreNeitherCutNorOverflowed)
{
  // A temporary directory whose path alone is longer than the old 260-character buffers.
  const std::string deep =
    "/" + std::string(120, 'a') + "/" + std::string(120, 'b') + "/" + std::string(60, 'c');
  Viewer v(false, deep);
  ASSERT_GT(v.Temp.Get().size(), 300u);
  v.LoadModel(v.Temp.Path("model.vtk"));
  v.View->StopTimer();

  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
  EXPECT_TRUE(v.Prompts.Messages.empty());
  const std::string temp = v.View->GetTempRecordPath();
  ExpectPrivateTempRecord(temp, v.Temp.Get());
  EXPECT_TRUE(fs::exists(temp));

  const std::string saved = v.Temp.Path(std::string(200, 'r') + ".csr");
  v.Prompts.AnswerFile(saved);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_STOP));
  EXPECT_TRUE(v.Prompts.Messages.empty());
  EXPECT_EQ(ReadRecordFile(saved).size(), 1u);
  EXPECT_EQ(v.Prompts.FileRequests.at(0).InitialName, v.Temp.Path("model.csr"));
  EXPECT_FALSE(fs::exists(temp));

  // And it plays back from there.
  v.Prompts.AnswerFile(saved);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
  EXPECT_EQ(v.View->IsPlaying(), 1);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_STOP));
}

TEST(RecordPlayRecording, FailuresAreReportedAndLeaveTheViewIdle)
{
  Viewer v(false);
  v.LoadModel(v.Temp.Path("model.vtk"));
  TestPlayView* view = v.View;
  view->StopTimer();

  // The temporary file cannot be created: no recording.
  setenv("TMPDIR", (v.Temp.Get() + "/missing/dir").c_str(), 1);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
  ASSERT_EQ(v.Prompts.Messages.size(), 1u);
  EXPECT_EQ(v.Prompts.Messages[0].Text, "Cannot open file for record!");
  EXPECT_EQ(view->IsRecording(), 0);
  EXPECT_FALSE(view->IsPaused());
  EXPECT_FALSE(view->HasWorker());
  setenv("TMPDIR", v.Temp.Get().c_str(), 1);

  // The chosen name cannot be written: reported, and the recording kept where the message
  // says.
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
  const std::string temp = view->GetTempRecordPath();
  const std::string chosen = v.Temp.Get() + "/no/such/dir/x.csr";
  v.Prompts.AnswerFile(chosen);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_STOP));
  ASSERT_EQ(v.Prompts.Messages.size(), 2u);
  const std::string& text = v.Prompts.Messages[1].Text;
  EXPECT_EQ(text.rfind("Cannot save record!\n" + chosen + ": ", 0), 0u) << text;
  EXPECT_NE(text.find("The recording is kept in " + temp + "."), std::string::npos) << text;
  EXPECT_EQ(ReadRecordFile(temp).size(), 1u);
  EXPECT_EQ(view->IsRecording(), 0);
  EXPECT_EQ(view->Realtime, 1);
}

namespace
{
/// Answers as scripted and, when asked whether a file may be replaced, lets the disk fill
/// up: the recording itself is complete, only its copy to the chosen file meets the limit.
class DiskFullOnReplace : public CScriptedPrompts
{
public:
  int MessageBox(const MessageBoxRequest& request) override
  {
    if (request.Text.find("already exists") != std::string::npos)
    {
      this->Limit = std::make_unique<testsupport::FileSizeLimit>(16);
    }
    return CScriptedPrompts::MessageBox(request);
  }
  std::unique_ptr<testsupport::FileSizeLimit> Limit;
};
}

TEST(RecordPlayRecording, AFailedSaveKeepsTheRecordingAndTheFileItWasToReplace)
{
  Viewer v(false);
  v.LoadModel(v.Temp.Path("model.vtk"));
  v.View->StopTimer();
  const std::string existing = v.Temp.Path("keep.csr");
  WriteFile(existing, "precious\n");

  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
  const std::string temp = v.View->GetTempRecordPath();
  DiskFullOnReplace prompts; // installed last, it answers
  prompts.AnswerFile(existing);
  prompts.AnswerMessage(IDYES);
  v.Frame->ExecuteCommand(ID_STOP);
  prompts.Limit.reset();

  ASSERT_EQ(prompts.Messages.size(), 2u);
  const std::string& text = prompts.Messages[1].Text;
  EXPECT_EQ(text.rfind("Cannot save record!\n" + existing + ": File too large", 0), 0u) << text;
  EXPECT_NE(text.find("The recording is kept in " + temp + "."), std::string::npos) << text;
  EXPECT_EQ(ReadRecordFile(temp).size(), 1u) << "the recording is whole";
  std::ifstream kept(existing);
  std::string line;
  std::getline(kept, line);
  EXPECT_EQ(line, "precious");
  EXPECT_FALSE(kept.ignore().good()) << "and nothing more";
  for (const auto& entry : fs::directory_iterator(v.Temp.Get()))
  {
    EXPECT_EQ(entry.path().filename().string().find(".keep.csr."), std::string::npos)
      << "no part of the new file is left: " << entry.path();
  }
  EXPECT_EQ(v.View->IsRecording(), 0);
}

TEST(RecordPlayRecording, AFailedWriteEndsTheRecordingAtTheNextCapture)
{
  Viewer v(false);
  v.LoadModel(v.Temp.Path("model.vtk"));
  TestPlayView* view = v.View;
  view->StopTimer();
  StartRecording(v);
  // A capture whose value the writer cannot write (not a finite number) makes it stop the
  // queue; the next capture is refused, and the view stops as Stop does.
  view->Camera()->SetViewAngle(std::nan(""));
  view->SendMessage(WM_TIMER, 0, 0);
  v.Prompts.AnswerFile(v.Temp.Path("cut.csr"));
  ASSERT_TRUE(WaitFor(
    [&]
    {
      view->SendMessage(WM_TIMER, 0, 0);
      return view->IsRecording() == 0;
    }));
  EXPECT_FALSE(view->HasWorker());
  EXPECT_EQ(v.Prompts.FileRequests.size(), 1u) << "the recording is offered for saving";
  EXPECT_EQ(ReadRecordFile(v.Temp.Path("cut.csr")).size(), 1u);
}

TEST(RecordPlayRecording, TheTemporaryFileIsTheRecordingsOwn)
{
  // Whatever lies under the old fixed name in the shared directory (a link another user
  // planted, a leftover that cannot be opened) is neither written nor in the way.
  struct Planted
  {
    const char* Name;
    std::function<void(const std::string& at, const std::string& victim)> Plant;
  };
  const Planted cases[] = {
    { "a link to another file",
      [](const std::string& at, const std::string& victim) { fs::create_symlink(victim, at); } },
    { "a directory", [](const std::string& at, const std::string&) { fs::create_directory(at); } },
  };
  for (const Planted& c : cases)
  {
    SCOPED_TRACE(c.Name);
    Viewer v(false);
    v.LoadModel(v.Temp.Path("model.vtk"));
    v.View->StopTimer();
    const std::string victim = v.Temp.Path("victim.txt");
    WriteFile(victim, "precious\n");
    c.Plant(v.Temp.Path("__CameraRecordTempFile.csr"), victim);

    ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
    EXPECT_TRUE(v.Prompts.Messages.empty());
    ExpectPrivateTempRecord(v.View->GetTempRecordPath(), v.Temp.Get());
    v.Prompts.AnswerFile(v.Temp.Path("saved.csr"));
    ASSERT_TRUE(v.Frame->ExecuteCommand(ID_STOP));
    EXPECT_EQ(ReadRecordFile(v.Temp.Path("saved.csr")).size(), 1u);
    std::ifstream kept(victim);
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "precious");
  }

  // Two viewers recording at once: each saves its own path, neither deletes the other's.
  Viewer a(false);
  Viewer b(false);
  setenv("TMPDIR", a.Temp.Get().c_str(), 1); // the same temporary directory for both
  for (Viewer* v : { &a, &b })
  {
    v->LoadModel(a.Temp.Path("model.vtk"));
    v->View->StopTimer();
    ASSERT_TRUE(v->Frame->ExecuteCommand(ID_RECORD));
  }
  ASSERT_NE(a.View->GetTempRecordPath(), b.View->GetTempRecordPath());
  b.View->Camera()->SetPosition(0.5, 0.25, 9);
  b.View->OnPause();
  b.View->SendMessage(WM_TIMER, 0, 0);
  CScriptedPrompts& prompts = b.Prompts; // installed last, it answers both viewers
  prompts.AnswerFile(a.Temp.Path("a.csr"));
  ASSERT_TRUE(a.Frame->ExecuteCommand(ID_STOP));
  prompts.AnswerFile(a.Temp.Path("b.csr"));
  ASSERT_TRUE(b.Frame->ExecuteCommand(ID_STOP));
  EXPECT_TRUE(prompts.Messages.empty());
  EXPECT_EQ(ReadRecordFile(a.Temp.Path("a.csr")).size(), 1u);
  ASSERT_EQ(ReadRecordFile(a.Temp.Path("b.csr")).size(), 2u);
  EXPECT_NEAR(ReadRecordFile(a.Temp.Path("b.csr"))[1].State[0], 0.5, 1e-6);
}

TEST(RecordPlayRecording, ARecordingThatCannotBeWrittenWholeIsReportedNotOffered)
{
  // A file-size limit stands in for a full disk: the first line stays in the stream's
  // buffer, so only the flush at Stop can fail.
  Viewer v(false);
  v.LoadModel(v.Temp.Path("model.vtk"));
  v.View->StopTimer();
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_RECORD));
  const std::string temp = v.View->GetTempRecordPath();
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit limit = old;
  limit.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  v.Prompts.AnswerFile(v.Temp.Path("cut.csr"));
  v.Frame->ExecuteCommand(ID_STOP);
  setrlimit(RLIMIT_FSIZE, &old);

  EXPECT_TRUE(v.Prompts.FileRequests.empty()) << "nothing is offered as saved";
  ASSERT_EQ(v.Prompts.Messages.size(), 1u);
  EXPECT_EQ(v.Prompts.Messages[0].Text.rfind("Cannot save record!\n", 0), 0u)
    << v.Prompts.Messages[0].Text;
  EXPECT_NE(v.Prompts.Messages[0].Text.find("File too large"), std::string::npos);
  EXPECT_FALSE(fs::exists(v.Temp.Path("cut.csr")));
  EXPECT_FALSE(fs::exists(temp));
  EXPECT_EQ(v.View->IsRecording(), 0);
}
