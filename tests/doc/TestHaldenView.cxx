// The viewer's view with the model document: the starting camera and its three messages,
// the triangle wave of the animation moving the model, Body Color through the colour
// dialog, and the frames of a frame-by-frame playback.
#include "DocHarness.h"
#include "FileSizeLimit.h"

#include "CHaldenView.h"
#include "Dialog.h"
#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <vtkBMPReader.h>
#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkImageData.h>
#include <vtkPolyDataNormals.h>
#include <vtkPropCollection.h>
#include <vtkProperty.h>
#include <vtkWindowToImageFilter.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace dochar;

namespace
{
/// The view, recording the messages that reach its WindowProc.
class TestHaldenView : public CHaldenView
{
public:
  struct Message
  {
    UINT Id;
    WPARAM W;
    LPARAM L;
  };
  std::vector<Message> Messages;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
  {
    this->Messages.push_back({ message, wParam, lParam });
    const bool frame = message == WM_USER && this->Realtime == 0;
    const LRESULT result = CHaldenView::WindowProc(message, wParam, lParam);
    if (frame)
    {
      this->FramePictures.push_back(this->Picture());
    }
    return result;
  }

  /// The picture in the render window now (RGB, bottom-up), rendered again.
  std::vector<unsigned char> Picture()
  {
    vtkNew<vtkWindowToImageFilter> grab;
    grab->SetInput(this->GetRenderWindow());
    grab->Update();
    int dims[3];
    grab->GetOutput()->GetDimensions(dims);
    auto* p = static_cast<unsigned char*>(grab->GetOutput()->GetScalarPointer());
    return std::vector<unsigned char>(p, p + 3 * dims[0] * dims[1]);
  }

  /// What the view showed at each redraw of a frame-by-frame playback.
  std::vector<std::vector<unsigned char>> FramePictures;
};

/// An options dialog stand-in that answers the realtime question at Play.
class FrameByFrameChoice
  : public CDialog
  , public RealtimeChoice
{
public:
  FrameByFrameChoice()
    : CDialog(9999)
  {
  }
  bool IsRealtimeChosen() const override { return false; }
};

struct HaldenViewer
{
  std::unique_ptr<CSingleDocTemplate> Template;
  CHaldenDoc* Doc = nullptr;
  CFrameWnd* Frame = nullptr;
  TestHaldenView* View = nullptr;
  CScriptedPrompts Prompts;

  explicit HaldenViewer(bool frameByFrame = false)
  {
    App();
    if (frameByFrame)
    {
      vtkRecordPlayView::SetOptionsDialogFactory(
        [](vtkRecordPlayView*) { return new FrameByFrameChoice; });
    }
    this->Template.reset(new CSingleDocTemplate(
      128, RUNTIME_CLASS(CHaldenDoc), RUNTIME_CLASS(CFrameWnd), RUNTIME_CLASS(TestHaldenView)));
    this->Doc = dynamic_cast<CHaldenDoc*>(this->Template->OpenDocumentFile(nullptr, TRUE));
    vtkRecordPlayView::SetOptionsDialogFactory(nullptr);
    this->Frame = this->Template->GetFrame();
    this->View = dynamic_cast<TestHaldenView*>(this->Frame->GetActiveView());
    this->Frame->MoveWindow(1, 1, 652, 572);
    this->Frame->ShowWindow(SW_SHOW);
    WaitFor([this] { return this->View->GetInteractor()->GetInitialized() != 0; });
    // Ticks come from the test, not from the clock.
    this->View->StopTimer();
  }
  ~HaldenViewer()
  {
    this->Template.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  void Open(const std::string& path)
  {
    this->Prompts.AnswerFile(path);
    this->Frame->ExecuteCommand(ID_FILE_OPEN);
  }
  void LoadTransform(const std::string& path)
  {
    this->Prompts.AnswerFile(path);
    this->Frame->ExecuteCommand(ID_LOAD_TRANSFORM);
  }
  /// One timer tick that lands on the given tick, and the redraw it asks for.
  void TickTo(int tick)
  {
    this->View->Tick = tick - 1;
    this->View->TimerTick();
    WaitFor([this] { return this->View->RedrawPending == 0; });
  }
  /// The picture as the render window holds it (RGB, bottom-up).
  std::vector<unsigned char> Picture(int& w, int& h)
  {
    vtkNew<vtkWindowToImageFilter> grab;
    grab->SetInput(this->View->GetRenderWindow());
    grab->Update();
    int dims[3];
    grab->GetOutput()->GetDimensions(dims);
    w = dims[0];
    h = dims[1];
    auto* p = static_cast<unsigned char*>(grab->GetOutput()->GetScalarPointer());
    return std::vector<unsigned char>(p, p + 3 * w * h);
  }
  /// Pixels for which the predicate on (r, g, b) holds.
  long Count(const std::function<bool(int, int, int)>& predicate)
  {
    int w = 0, h = 0;
    const std::vector<unsigned char> p = this->Picture(w, h);
    long n = 0;
    for (int i = 0; i < w * h; ++i)
    {
      n += predicate(p[3 * i], p[3 * i + 1], p[3 * i + 2]) ? 1 : 0;
    }
    return n;
  }
};

bool IsBackground(int r, int g, int b)
{
  return std::abs(r - 13) <= 3 && std::abs(g - 89) <= 3 && std::abs(b - 115) <= 3;
}

// The triangle wave told as a person would: up 24 steps of 0.04, down 24 steps, again.
float ExpectedFactor(int tick, int ticksPerStep)
{
  const int step = (tick / ticksPerStep) % 48;
  return static_cast<float>(step <= 24 ? step : 48 - step) * 0.04f;
}

// A camera record file (23 named slots first, then the changed ones): the camera at the
// given distances along z, the records the given number of ticks apart.
std::string CameraPath(const std::vector<double>& distances, const std::vector<int>& delays)
{
  const std::array<double, 23> defaults = { 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 30, 1, 0.1, 1000, 1,
    0, 0, 90, 45, 0, 0 };
  std::string text = "[1] 23 ";
  char buffer[64];
  for (int i = 0; i < 23; ++i)
  {
    const double value = i == 2 || i == 9 ? distances[0] : i == 16 ? 999.9 : defaults[i];
    std::snprintf(buffer, sizeof buffer, "%d %f ", i, value);
    text += buffer;
  }
  text += "\n";
  for (std::size_t k = 1; k < distances.size(); ++k)
  {
    std::snprintf(
      buffer, sizeof buffer, "[%d] 2 2 %f 9 %f \n", delays[k - 1], distances[k], distances[k]);
    text += buffer;
  }
  return text;
}

// Bytes in which two pictures of the same size differ.
std::size_t Differing(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
  std::size_t n = a.size() == b.size() ? 0 : std::max(a.size(), b.size());
  for (std::size_t k = 0; k < std::min(a.size(), b.size()); ++k)
  {
    n += a[k] != b[k] ? 1 : 0;
  }
  return n;
}

bool IsDirectory(const std::string& path)
{
  struct stat s;
  return ::stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}
}

TEST(HaldenView, OpeningShowsTheDocumentsActorsFromTheStartingCamera)
{
  HaldenViewer v;
  v.View->Messages.clear();
  v.Open(SampleModel());
  ASSERT_EQ(v.Doc->NoData, 0);

  vtkRenderer* renderer = v.View->GetRenderer();
  ASSERT_EQ(renderer->GetViewProps()->GetNumberOfItems(), 2);
  EXPECT_TRUE(renderer->GetViewProps()->IsItemPresent(v.Doc->BodyActor));
  EXPECT_TRUE(renderer->GetViewProps()->IsItemPresent(v.Doc->TexturedActor));
  double up[3];
  renderer->GetActiveCamera()->GetViewUp(up);
  EXPECT_NEAR(up[1], 1.0, 1e-9);
  double bounds[6], focal[3];
  v.Doc->Reader->GetOutput()->GetBounds(bounds);
  renderer->GetActiveCamera()->GetFocalPoint(focal);
  for (int a = 0; a < 3; ++a)
  {
    EXPECT_NEAR(focal[a], 0.5 * (bounds[2 * a] + bounds[2 * a + 1]), 1e-6);
  }

  // The starting camera ends with a right click at the centre, one timer tick between.
  std::vector<TestHaldenView::Message> reset;
  for (const auto& m : v.View->Messages)
  {
    if (m.Id == WM_RBUTTONDOWN || m.Id == WM_TIMER || m.Id == WM_RBUTTONUP)
    {
      reset.push_back(m);
    }
  }
  const int* size = v.View->GetInteractor()->GetSize();
  const LPARAM centre =
    MAKELPARAM(static_cast<unsigned>(size[0] / 2), static_cast<unsigned>(size[1] / 2));
  ASSERT_EQ(reset.size(), 3u);
  EXPECT_EQ(reset[0].Id, static_cast<UINT>(WM_RBUTTONDOWN));
  EXPECT_EQ(reset[0].L, centre);
  EXPECT_EQ(reset[1].Id, static_cast<UINT>(WM_TIMER));
  EXPECT_EQ(reset[1].W, 0u);
  EXPECT_EQ(reset[1].L, 0);
  EXPECT_EQ(reset[2].Id, static_cast<UINT>(WM_RBUTTONUP));
  EXPECT_EQ(reset[2].L, centre);

  long model = v.Count([](int r, int g, int b) { return !IsBackground(r, g, b); });
  EXPECT_GT(model, 10000);
}

TEST(HaldenView, TheAnimationFollowsA48StepTriangleWave)
{
  struct Case
  {
    int Tick;
    float Factor;
  };
  const std::vector<Case> cases = { { 0, 0.0f }, { 5, 0.0f }, { 6, 0.04f }, { 138, 0.92f },
    { 144, 0.96f }, { 150, 0.92f }, { 282, 0.04f }, { 288, 0.0f }, { 294, 0.04f },
    { 49998, 0.76f } };
  for (const Case& c : cases)
  {
    EXPECT_NEAR(CHaldenView::TriangleWaveFactor(c.Tick, 6), c.Factor, 1e-6) << "tick " << c.Tick;
  }
  for (int ticksPerStep : { 1, 3, 6, 10 })
  {
    for (int tick = 0; tick < 2000; ++tick)
    {
      ASSERT_EQ(
        CHaldenView::TriangleWaveFactor(tick, ticksPerStep), ExpectedFactor(tick, ticksPerStep))
        << "tick " << tick << ", " << ticksPerStep << " ticks per step";
    }
  }
}

TEST(HaldenView, AnimationTicksMoveTheShownModelAsTheSplineSays)
{
  ASSERT_FALSE(SampleTransform().empty());
  HaldenViewer v;
  v.Open(SampleModel());
  v.LoadTransform(SampleTransform());
  ASSERT_EQ(v.Doc->TransformOn, 1);
  ASSERT_EQ(v.View->GetAnimationRunning(), 1);
  Spline fitted;
  ASSERT_TRUE(fitted.Read(SampleTransform()));
  vtkSmartPointer<vtkPolyData> original = ReadPolyData(SampleModel());

  std::vector<std::vector<unsigned char>> pictures;
  for (const auto& step :
    std::vector<std::pair<int, float>>{ { 144, 0.96f }, { 6, 0.04f }, { 282, 0.04f }, { 0, 0.0f } })
  {
    SCOPED_TRACE(step.first);
    v.TickTo(step.first);
    EXPECT_EQ(v.Doc->ShapeTransform->GetFactor(), step.second);
    // What the last render drew: the pipeline's points, without updating it here.
    vtkPoints* shown = v.Doc->Normals->GetOutput()->GetPoints();
    ASSERT_EQ(shown->GetNumberOfPoints(), original->GetNumberOfPoints());
    double worst = 0;
    for (vtkIdType i = 0; i < shown->GetNumberOfPoints(); ++i)
    {
      double x[3], d[3], p[3];
      original->GetPoint(i, x);
      fitted.Displacement(x, d);
      shown->GetPoint(i, p);
      for (int a = 0; a < 3; ++a)
      {
        worst = std::max(worst, std::abs(p[a] - (x[a] - step.second * d[a])));
      }
    }
    EXPECT_LT(worst, 2e-5);
    int w = 0, h = 0;
    pictures.push_back(v.Picture(w, h));
  }
  // Drawn again, a picture may differ in a few edge pixels.
  const std::size_t few = pictures[0].size() / 10000;
  EXPECT_GT(Differing(pictures[0], pictures[3]), 100 * few) << "deformed and undeformed alike";
  EXPECT_LT(Differing(pictures[1], pictures[2]), few) << "the same factor up and down";

  // Paused, the ticks do not move the model.
  v.Frame->ExecuteCommand(ID_PAUSE);
  v.View->Tick = 143;
  v.View->TimerTick();
  EXPECT_EQ(v.Doc->ShapeTransform->GetFactor(), 0.0f);
}

TEST(HaldenView, BodyColorRecoloursTheBodyAndItsBackFaces)
{
  HaldenViewer v;
  EXPECT_FALSE(v.Frame->IsCommandEnabled(ID_BODY_COLOR)) << "no model yet";
  v.Open(SampleModel());
  ASSERT_TRUE(v.Frame->IsCommandEnabled(ID_BODY_COLOR));
  auto reddish = [](int r, int g, int b) { return r > 80 && r > 2 * g + 20 && r > 2 * b + 20; };
  ASSERT_EQ(v.Count(reddish), 0);

  v.Prompts.AnswerColor(RGB(255, 0, 0));
  v.Frame->ExecuteCommand(ID_BODY_COLOR);
  ASSERT_EQ(v.Prompts.ColorRequests.size(), 1u);
  // 0.9 * 255 = 229.5 and 1.0 * 255 = 255, truncated.
  EXPECT_EQ(v.Prompts.ColorRequests[0].Initial, RGB(229, 255, 229));
  EXPECT_NE(v.Prompts.ColorRequests[0].Flags & CC_FULLOPEN, 0u);
  EXPECT_EQ(v.View->BodyColor[0], 1.0f);
  EXPECT_EQ(v.View->BodyColor[1], 0.0f);
  double colour[3];
  v.Doc->BodyActor->GetProperty()->GetColor(colour);
  EXPECT_EQ(colour[0], 1.0);
  EXPECT_EQ(v.Doc->BodyActor->GetBackfaceProperty(), v.Doc->BackfaceProperty);
  v.Doc->BackfaceProperty->GetColor(colour);
  EXPECT_EQ(colour[0], 1.0);
  EXPECT_EQ(colour[1], 0.0);
  const long red = v.Count(reddish);
  EXPECT_GT(red, 10000) << "the body is not red";

  // A chosen byte b becomes b * (1/255).
  v.Prompts.AnswerColor(RGB(128, 64, 3));
  v.Frame->ExecuteCommand(ID_BODY_COLOR);
  EXPECT_EQ(v.Prompts.ColorRequests[1].Initial, RGB(255, 0, 0));
  EXPECT_EQ(v.View->BodyColor[0], static_cast<float>(128 * 0.00392156862745098));
  EXPECT_EQ(v.View->BodyColor[1], static_cast<float>(64 * 0.00392156862745098));
  EXPECT_EQ(v.View->BodyColor[2], static_cast<float>(3 * 0.00392156862745098));

  // Cancelled: the body keeps its colour, the back faces take it all the same.
  v.View->BackfaceColor[0] = 0.0f;
  v.View->BackfaceColor[1] = 0.0f;
  v.View->BackfaceColor[2] = 1.0f;
  v.Prompts.CancelColor();
  v.Frame->ExecuteCommand(ID_BODY_COLOR);
  for (int i = 0; i < 3; ++i)
  {
    EXPECT_EQ(v.View->BackfaceColor[i], v.View->BodyColor[i]);
  }
  v.Doc->BackfaceProperty->GetColor(colour);
  EXPECT_NEAR(colour[0], v.View->BodyColor[0], 1e-7);
  EXPECT_NEAR(colour[2], v.View->BodyColor[2], 1e-7);
}

TEST(HaldenView, FrameByFramePlaybackWritesEveryFrameAsABitmapOfTheView)
{
  TempDir dir;
  const std::string path = dir.Path("path.csr");
  std::ofstream(path) << CameraPath({ 2.0, 3.0, 4.0 }, { 1, 1 });
  HaldenViewer v(true);
  v.Open(SampleModel());
  v.View->FramePrefix = dir.Path("frame");
  v.Prompts.AnswerFile(path);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
  ASSERT_EQ(v.View->Realtime, 0);
  v.Frame->ExecuteCommand(ID_PAUSE); // release the armed playback

  for (int call = 0; call < 10 && v.View->IsPlaying(); ++call)
  {
    v.View->TimerTick();
    WaitFor([&] { return v.View->RedrawPending == 0; });
  }
  ASSERT_TRUE(WaitFor([&] { return v.View->IsPlaying() == 0; }));
  const std::vector<std::vector<unsigned char>>& shown = v.View->FramePictures;
  EXPECT_TRUE(v.Prompts.Messages.empty());

  const int* size = v.View->GetRenderWindow()->GetSize();
  ASSERT_GE(shown.size(), 3u);
  std::vector<std::vector<unsigned char>> frames;
  for (std::size_t i = 0; i < shown.size(); ++i)
  {
    const std::string name = CHaldenView::FrameFileName(dir.Path("frame"), static_cast<int>(i));
    SCOPED_TRACE(name);
    vtkNew<vtkBMPReader> reader;
    ASSERT_TRUE(reader->CanReadFile(name.c_str()));
    reader->SetFileName(name.c_str());
    reader->Update();
    int dims[3];
    reader->GetOutput()->GetDimensions(dims);
    EXPECT_EQ(dims[0], size[0]);
    EXPECT_EQ(dims[1], size[1]);
    auto* p = static_cast<unsigned char*>(reader->GetOutput()->GetScalarPointer());
    frames.emplace_back(p, p + 3 * dims[0] * dims[1]);
    // The picture the view showed for that frame (drawn again, which may differ in a few
    // edge pixels).
    EXPECT_LT(Differing(frames.back(), shown[i]), frames.back().size() / 10000) << "frame " << i;
  }
  EXPECT_EQ(CHaldenView::FrameFileName(dir.Path("frame"), 0), dir.Path("frame0000.bmp"));
  EXPECT_GT(Differing(frames.front(), frames.back()), frames.front().size() / 100)
    << "the camera moved between the first and the last";
  for (const auto& frame : frames)
  {
    long model = 0;
    for (std::size_t k = 0; k + 2 < frame.size(); k += 3)
    {
      model += IsBackground(frame[k], frame[k + 1], frame[k + 2]) ? 0 : 1;
    }
    EXPECT_GT(model, 1000) << "the leg is not in the frame";
  }
  std::ifstream extra(
    CHaldenView::FrameFileName(dir.Path("frame"), static_cast<int>(shown.size())));
  EXPECT_FALSE(extra.good());
}

TEST(HaldenView, LostFramesAreReportedOnceAfterThePlayback)
{
  TempDir dir;
  const std::string path = dir.Path("path.csr");
  std::ofstream(path) << CameraPath({ 2.0, 3.0, 4.0, 5.0 }, { 1, 1, 1 });
  ::mkdir(dir.Path("frame0001.bmp").c_str(), 0755); // a folder where a frame should go
  HaldenViewer v(true);
  v.Open(SampleModel());
  v.View->FramePrefix = dir.Path("frame");
  v.Prompts.AnswerFile(path);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
  v.Frame->ExecuteCommand(ID_PAUSE);
  int calls = 0;
  for (; calls < 10 && v.View->IsPlaying(); ++calls)
  {
    v.View->TimerTick();
    WaitFor([&] { return v.View->RedrawPending == 0; });
    EXPECT_TRUE(v.Prompts.Messages.empty() || !v.View->IsPlaying()) << "told during playback";
  }
  ASSERT_TRUE(WaitFor([&] { return v.View->IsPlaying() == 0; }));
  ASSERT_EQ(v.Prompts.Messages.size(), 1u);
  const std::string& text = v.Prompts.Messages[0].Text;
  EXPECT_EQ(text.rfind("1 of ", 0), 0u) << text;
  EXPECT_NE(text.find(dir.Path("frame0001.bmp")), std::string::npos) << text;
  // The others were written, the playback went on to its end.
  EXPECT_TRUE(IsDirectory(dir.Path("frame0001.bmp")));
  for (int i : { 0, 2, 3 })
  {
    vtkNew<vtkBMPReader> reader;
    EXPECT_TRUE(reader->CanReadFile(CHaldenView::FrameFileName(dir.Path("frame"), i).c_str())) << i;
  }

  // Every frame lost to a folder that does not exist, ended by Stop: told once, with all.
  v.Prompts.Messages.clear();
  v.View->FramePrefix = dir.Path("missing/frame");
  v.Prompts.AnswerFile(path);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
  v.Frame->ExecuteCommand(ID_PAUSE);
  for (int i = 0; i < 2; ++i)
  {
    v.View->TimerTick();
    WaitFor([&] { return v.View->RedrawPending == 0; });
  }
  ASSERT_TRUE(v.View->IsPlaying());
  EXPECT_TRUE(v.Prompts.Messages.empty());
  v.Frame->ExecuteCommand(ID_STOP);
  ASSERT_EQ(v.Prompts.Messages.size(), 1u);
  EXPECT_EQ(v.Prompts.Messages[0].Text.rfind("2 of 2 ", 0), 0u) << v.Prompts.Messages[0].Text;
  EXPECT_NE(v.Prompts.Messages[0].Text.find(dir.Path("missing/frame0000.bmp")), std::string::npos);
  v.Frame->ExecuteCommand(ID_STOP);
  EXPECT_EQ(v.Prompts.Messages.size(), 1u) << "told once";
}

TEST(HaldenView, AFrameOfAnEarlierPlaybackIsReplacedOnlyByAWholeOne)
{
  TempDir dir;
  const std::string path = dir.Path("path.csr");
  std::ofstream(path) << CameraPath({ 2.0, 3.0 }, { 1 });
  const std::string earlier = CHaldenView::FrameFileName(dir.Path("frame"), 0);
  std::ofstream(earlier) << "an earlier frame";
  ::chmod(earlier.c_str(), 0600);
  HaldenViewer v(true);
  v.Open(SampleModel());
  v.View->FramePrefix = dir.Path("frame");

  // The disk fills up while the first frame is written: the earlier one stays as it was.
  v.Prompts.AnswerFile(path);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
  v.Frame->ExecuteCommand(ID_PAUSE);
  {
    testsupport::FileSizeLimit limit(1024);
    v.View->TimerTick();
    WaitFor([&] { return v.View->RedrawPending == 0; });
  }
  v.Frame->ExecuteCommand(ID_STOP);
  ASSERT_EQ(v.Prompts.Messages.size(), 1u);
  EXPECT_NE(v.Prompts.Messages[0].Text.find(earlier), std::string::npos)
    << v.Prompts.Messages[0].Text;
  std::ifstream kept(earlier);
  std::string text;
  std::getline(kept, text);
  EXPECT_EQ(text, "an earlier frame");

  // With room again, a whole frame takes its place, private as the earlier one was.
  v.Prompts.AnswerFile(path);
  ASSERT_TRUE(v.Frame->ExecuteCommand(ID_PLAY));
  v.Frame->ExecuteCommand(ID_PAUSE);
  v.View->TimerTick();
  WaitFor([&] { return v.View->RedrawPending == 0; });
  v.Frame->ExecuteCommand(ID_STOP);
  vtkNew<vtkBMPReader> reader;
  EXPECT_TRUE(reader->CanReadFile(earlier.c_str()));
  struct stat info;
  ASSERT_EQ(::stat(earlier.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  for (const auto& entry : std::filesystem::directory_iterator(dir.Get()))
  {
    EXPECT_NE(entry.path().filename().string().front(), '.') << "a part left: " << entry.path();
  }
}

TEST(HaldenView, InRealTimeNoFrameIsWritten)
{
  TempDir dir;
  HaldenViewer v;
  v.Open(SampleModel());
  v.LoadTransform(SampleTransform());
  v.View->FramePrefix = dir.Path("frame");
  for (int tick : { 6, 12, 18 })
  {
    v.TickTo(tick);
  }
  EXPECT_EQ(v.Doc->ShapeTransform->GetFactor(), 0.12f);
  std::ifstream none(dir.Path("frame0000.bmp"));
  EXPECT_FALSE(none.good());
}

TEST(HaldenView, TheTimerAloneDrivesTheAnimationAndTheRedraws)
{
  HaldenViewer v;
  v.Open(SampleModel());
  v.LoadTransform(SampleTransform());
  v.View->TimerInterval = 5;
  v.View->TicksPerStep = 1;
  ASSERT_TRUE(v.View->RestartTimer());
  v.View->Messages.clear();
  auto redraws = [&]
  {
    int n = 0;
    for (const auto& m : v.View->Messages)
    {
      n += m.Id == WM_USER ? 1 : 0;
    }
    return n;
  };
  // The timer thread steps the factor and asks for redraws; the view answers them.
  // Under a sanitizer on a busy machine a drawing of the sample can take seconds.
  EXPECT_TRUE(
    WaitFor([&] { return redraws() >= 5 && v.Doc->ShapeTransform->GetFactor() > 0; }, 120000));
  v.View->StopTimer();
  QApplication::processEvents();
  EXPECT_TRUE(WaitFor([&] { return v.View->RedrawPending == 0; }));
  // A step that fell due during the last drawing is taken by the next tick.
  v.View->TimerTick();
  EXPECT_TRUE(WaitFor([&] { return v.View->RedrawPending == 0; }));
  // What is shown is the model at a factor of the wave.
  const float factor = v.Doc->ShapeTransform->GetFactor();
  EXPECT_EQ(factor, CHaldenView::TriangleWaveFactor(v.View->Tick, 1));
  v.View->Render();
  Spline fitted;
  ASSERT_TRUE(fitted.Read(SampleTransform()));
  vtkSmartPointer<vtkPolyData> original = ReadPolyData(SampleModel());
  vtkPoints* shown = v.Doc->Normals->GetOutput()->GetPoints();
  double worst = 0;
  for (vtkIdType i = 0; i < shown->GetNumberOfPoints(); ++i)
  {
    double x[3], d[3], p[3];
    original->GetPoint(i, x);
    fitted.Displacement(x, d);
    shown->GetPoint(i, p);
    for (int a = 0; a < 3; ++a)
    {
      worst = std::max(worst, std::abs(p[a] - (x[a] - factor * d[a])));
    }
  }
  EXPECT_LT(worst, 2e-5);
}

TEST(HaldenView, AnimationRedrawsWaitWhileTheDisplacementsAreComputed)
{
  HaldenViewer v;
  v.Open(SampleModel());
  v.Doc->BackgroundDeformationPoints = 0; // the sample counts as large
  int renders = 0;
  vtkNew<vtkCallbackCommand> count;
  count->SetClientData(&renders);
  count->SetCallback([](vtkObject*, unsigned long, void* n, void*) { ++*static_cast<int*>(n); });
  v.View->GetRenderWindow()->AddObserver(vtkCommand::StartEvent, count);
  auto redraw = [&]
  {
    v.View->RedrawPending = 1;
    v.View->SendMessage(WM_USER, 0, 0);
  };

  // Until the end of the computation is seen (no event has run yet), the model as read is
  // what the window shows: an animation step does not draw it again.
  v.LoadTransform(SampleTransform());
  ASSERT_TRUE(v.Doc->IsDeforming());
  redraw();
  EXPECT_EQ(renders, 0);
  EXPECT_EQ(v.View->RedrawPending, 0);

  // Then the deformed model is drawn, and every redraw draws again.
  ASSERT_TRUE(WaitFor([&] { return !v.Doc->IsDeforming() && renders > 0; }));
  const int drawn = renders;
  redraw();
  EXPECT_EQ(renders, drawn + 1);
}

namespace
{
/// Counts the paints a widget gets.
class PaintCounter : public QObject
{
public:
  int Paints = 0;
  bool eventFilter(QObject*, QEvent* event) override
  {
    this->Paints += event->type() == QEvent::Paint ? 1 : 0;
    return false;
  }
};
}

// A step is drawn once: the redraw request renders it, and the paint that shows it does not
// render it again. A paint the window asks for by itself (invalidated) still renders.
TEST(HaldenView, OneAnimationStepRendersOnce)
{
  HaldenViewer v;
  v.Open(SampleModel());
  v.LoadTransform(SampleTransform());
  ASSERT_TRUE(WaitFor([&] { return !v.Doc->IsDeforming(); }));
  guitest::Settle();
  int renders = 0;
  vtkNew<vtkCallbackCommand> count;
  count->SetClientData(&renders);
  count->SetCallback([](vtkObject*, unsigned long, void* n, void*) { ++*static_cast<int*>(n); });
  v.View->GetRenderWindow()->AddObserver(vtkCommand::StartEvent, count);
  PaintCounter paints;
  v.View->GetWidget()->installEventFilter(&paints);
  // What opening and loading left to draw is drawn first.
  ASSERT_TRUE(WaitFor(
    [&]
    {
      const int before = renders;
      guitest::Settle(300);
      return renders == before;
    }));

  // Each step renders once and its paint shows that frame. On a loaded machine the window
  // system may still ask for a repaint of its own now and then, which renders again: over
  // three steps at most one such repaint is allowed (two renders a step, as a redraw request
  // followed by a rendering paint gives, would make six).
  int total = 0;
  int single = 0;
  for (int tick : { 6, 12, 18 })
  {
    SCOPED_TRACE(tick);
    renders = 0;
    const int paintsBefore = paints.Paints;
    v.TickTo(tick);
    ASSERT_TRUE(WaitFor([&] { return paints.Paints > paintsBefore; }));
    guitest::Settle();
    EXPECT_GE(renders, 1);
    total += renders;
    single += renders == 1 ? 1 : 0;
  }
  EXPECT_LE(total, 4);
  EXPECT_GE(single, 2);
  renders = 0;
  const int paintsBefore = paints.Paints;
  v.View->Invalidate();
  ASSERT_TRUE(WaitFor([&] { return paints.Paints > paintsBefore; }));
  EXPECT_EQ(renders, 1);
  v.View->GetWidget()->removeEventFilter(&paints);
}

// While a step is being drawn (its redraw pending) the steps that fall due are dropped: no
// factor change under the drawing, no second redraw request. The first tick after the drawing
// takes the step of its time; the end of the drawing asks for nothing, so that input that came
// in meanwhile is served before the next picture.
TEST(HaldenView, StepsDueWhileOneIsDrawnAreDroppedAndTheBlendFollowsTheClock)
{
  HaldenViewer v;
  v.Open(SampleModel());
  v.LoadTransform(SampleTransform());
  ASSERT_TRUE(WaitFor([&] { return !v.Doc->IsDeforming(); }));
  v.View->TicksPerStep = 1;
  v.TickTo(1);
  const float drawn = v.Doc->ShapeTransform->GetFactor();
  EXPECT_EQ(drawn, CHaldenView::TriangleWaveFactor(1, 1));

  v.View->RedrawPending = 1; // step 1 is being drawn
  v.View->Messages.clear();
  for (int i = 0; i < 5; ++i)
  {
    v.View->TimerTick();
  }
  guitest::Settle();
  EXPECT_EQ(v.View->Tick, 6);
  EXPECT_EQ(v.Doc->ShapeTransform->GetFactor(), drawn);
  for (const auto& m : v.View->Messages)
  {
    EXPECT_NE(m.Id, WM_USER);
  }

  // The drawing ends: nothing new is asked for yet.
  v.View->SendMessage(WM_USER, 0, 0);
  guitest::Settle();
  EXPECT_EQ(v.View->RedrawPending, 0);
  EXPECT_EQ(v.Doc->ShapeTransform->GetFactor(), drawn);
  // The next tick takes the step due then, and it is drawn once.
  v.View->TimerTick();
  EXPECT_EQ(v.Doc->ShapeTransform->GetFactor(), CHaldenView::TriangleWaveFactor(7, 1));
  ASSERT_TRUE(WaitFor([&] { return v.View->RedrawPending == 0; }));
  guitest::Settle();
  int redraws = 0;
  for (const auto& m : v.View->Messages)
  {
    redraws += m.Id == WM_USER ? 1 : 0;
  }
  EXPECT_EQ(redraws, 2); // the one sent here, and the one the owed step asked for
}
