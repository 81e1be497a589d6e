// What the landmarks' display adds to a step of the sample's animation: the blend moves on,
// the model's pipeline re-executes, the landmark sources ride with the blend and the view
// renders. Blocks of steps without landmarks and with them (10,000 by default, on the sample's
// surface, their targets where the sample's fit carries them plus some noise) alternate, so
// that a change in the machine's load falls on all; the medians of the blocks are compared.
// With landmarks, two kinds of block: as the playing animation draws them (at most [limit],
// the display's default, spread evenly), and with every landmark drawn (as a paused view, a
// frame-by-frame playback or a set within the limit draws them).
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/doc/bench_landmarks [steps] [landmarks]
//     [rounds] [limit]
#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "DocTemplate.h"
#include "FrameWnd.h"
#include "LandmarkGlyphs.h"
#include "PravikProcess.h"
#include "Prompts.h"
#include "VtkWindow.h"
#include "vtkLandmarkRide.h"
#include "vtkShapeTransform.h"

#include <QApplication>
#include <QElapsedTimer>

#include <vtkActor.h>
#include <vtkMath.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkRenderWindow.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

void PrintLoad()
{
  double load[3] = { 0, 0, 0 };
  if (::getloadavg(load, 3) == 3)
  {
    std::printf("load average %.2f %.2f %.2f on %u cores\n", load[0], load[1], load[2],
      std::thread::hardware_concurrency());
  }
}

double Median(std::vector<double> values)
{
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0.0 : (n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]));
}

// count landmarks on the model's points (uneven, as its vertices lie), their targets where
// the transform in force carries them at full blend, moved by noise of a thousandth of the
// model's size.
void PlaceLandmarks(CHaldenDoc* doc, vtkIdType count)
{
  vtkPoints* model = doc->Reader->GetOutput()->GetPoints();
  const double size = doc->Reader->GetOutput()->GetLength();
  vtkShapeTransform* transform = doc->ShapeTransform;
  const float blend = transform->GetFactor();
  vtkPoints* sources = doc->Landmarks.GetSources();
  vtkPoints* targets = doc->Landmarks.GetTargets();
  sources->SetNumberOfPoints(count);
  targets->SetNumberOfPoints(count);
  vtkMath::RandomSeed(2612);
  for (vtkIdType i = 0; i < count; ++i)
  {
    const auto k = static_cast<vtkIdType>(vtkMath::Random(0, model->GetNumberOfPoints() - 1));
    double s[3];
    model->GetPoint(k, s);
    double t[3];
    transform->Factor = 1.0f;
    transform->InternalTransformPoint(s, t);
    for (double& c : t)
    {
      c += vtkMath::Gaussian(0.0, 1e-3 * size);
    }
    sources->SetPoint(i, s);
    targets->SetPoint(i, t);
  }
  transform->SetFactor(blend);
  sources->Modified();
  targets->Modified();
  doc->Landmarks.Modified();
}
}

int main(int argc, char** argv)
{
  const int steps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
  const vtkIdType count = argc > 2 ? std::max(1L, std::atol(argv[2])) : 10000;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
  const vtkIdType limit =
    argc > 4 ? std::max(1L, std::atol(argv[4])) : LandmarkGlyphs::DefaultPlayingLimit;
  QApplication app(argc, argv);

  char pattern[] = "/tmp/halden-bench-landmarks-XXXXXX";
  const char* made = ::mkdtemp(pattern);
  if (!made)
  {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string dir = made;
  const std::string trc =
    pravikprocess::FitCopy(QUORVEL_PRAVIK, std::string(QUORVEL_DATA_DIR) + "/leg.dat", dir, "0.25");
  if (trc.empty())
  {
    std::fprintf(stderr, "Pravik could not fit the sample\n");
    return 1;
  }

  auto docTemplate = std::make_unique<CSingleDocTemplate>(
    128, RUNTIME_CLASS(CHaldenDoc), RUNTIME_CLASS(CFrameWnd), RUNTIME_CLASS(CHaldenView));
  auto* doc = dynamic_cast<CHaldenDoc*>(docTemplate->OpenDocumentFile(nullptr, TRUE));
  CFrameWnd* frame = docTemplate->GetFrame();
  auto* view = dynamic_cast<CHaldenView*>(frame->GetActiveView());
  frame->MoveWindow(1, 1, 652, 572);
  frame->ShowWindow(SW_SHOW);
  QElapsedTimer clock;
  clock.start();
  while (!view->GetInteractor()->GetInitialized() && clock.elapsed() < 30000)
  {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  view->StopTimer(); // the steps are driven here
  vtkRenderWindow* window = view->GetRenderWindow();
  {
    CScriptedPrompts prompts;
    prompts.AnswerFile(std::string(QUORVEL_DATA_DIR) + "/leg.vtk");
    frame->ExecuteCommand(ID_FILE_OPEN);
    prompts.AnswerFile(trc);
    frame->ExecuteCommand(ID_LOAD_TRANSFORM);
  }
  doc->FinishDeformation();
  view->StopTimer();

  // One animation step, as the timer and the redraw request make it.
  int tick = 0;
  double cpu = 0; // processor seconds per step of the last block (all threads, the software
                  // renderer's included)
  auto step = [&]
  {
    tick += view->TicksPerStep;
    view->Tick = tick;
    view->AdvanceAnimation();
    view->RedrawPending = 1;
    view->SendMessage(WM_USER, 0, 0);
    window->WaitForCompletion();
  };
  // A block of steps of the running animation. Its first step, untimed, takes what a change of
  // landmarks costs once (their displacements, the selection drawn, the buffers' first upload),
  // so that the block times steps as they follow one another.
  auto block = [&]
  {
    step();
    const std::clock_t cpuStart = std::clock();
    const auto start = Clock::now();
    for (int i = 0; i < steps; ++i)
    {
      step();
    }
    cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC / steps;
    return std::chrono::duration<double>(Clock::now() - start).count() / steps;
  };
  auto without = [&]
  {
    doc->Landmarks.Clear();
    doc->LandmarksChanged();
  };
  auto with = [&]
  {
    PlaceLandmarks(doc, count);
    doc->LandmarksChanged();
  };
  LandmarkGlyphs& glyphs = *doc->LandmarkDisplay;
  auto thinned = [&] { glyphs.SetPlayingLimit(limit); };
  auto whole = [&] { glyphs.SetPlayingLimit(count); };

  const int* size = window->GetSize();
  std::printf("Animation step of the sample (data/leg.vtk, %lld points) with and without %lld "
              "landmarks, window %d x %d, %d rounds of %d steps each\n",
    static_cast<long long>(doc->Reader->GetOutput()->GetNumberOfPoints()),
    static_cast<long long>(count), size[0], size[1], rounds, steps);
  PrintLoad();
  // Warm up all: shaders compiled, displacements cached, selection made.
  with();
  whole();
  block();
  thinned();
  block();
  const size_t drawn = glyphs.GetDrawnLandmarks().size();
  std::printf("sphere radius %.4g (model diagonal %.4g); while playing %zu of the %lld landmarks "
              "are drawn (at most %lld)\n",
    glyphs.GetRadius(), doc->Reader->GetOutput()->GetLength(), drawn, static_cast<long long>(count),
    static_cast<long long>(limit));
  without();
  block();
  std::vector<double> plain, shown, all, plainCpu, shownCpu, allCpu;
  for (int r = 0; r < rounds; ++r)
  {
    without();
    plain.push_back(block());
    plainCpu.push_back(cpu);
    with();
    thinned();
    shown.push_back(block());
    shownCpu.push_back(cpu);
    whole();
    all.push_back(block());
    allCpu.push_back(cpu);
    std::printf("round %d: wall %.2f ms without, %.2f ms playing (%+.1f %%), %.2f ms all drawn "
                "(%+.1f %%); processor %.2f, %.2f (%+.1f %%), %.2f ms (%+.1f %%)\n",
      r + 1, 1000 * plain.back(), 1000 * shown.back(), 100 * (shown.back() / plain.back() - 1),
      1000 * all.back(), 100 * (all.back() / plain.back() - 1), 1000 * plainCpu.back(),
      1000 * shownCpu.back(), 100 * (shownCpu.back() / plainCpu.back() - 1), 1000 * allCpu.back(),
      100 * (allCpu.back() / plainCpu.back() - 1));
  }
  // Where the time goes with every landmark drawn: the riding alone, and a render of an
  // unchanged scene.
  whole();
  with();
  block();
  {
    vtkLandmarkRide* ride = doc->LandmarkDisplay->GetRide();
    auto start = Clock::now();
    for (int i = 0; i < steps; ++i)
    {
      doc->ShapeTransform->SetFactor(0.01f * static_cast<float>(i % 50));
      ride->Update();
    }
    const double riding = std::chrono::duration<double>(Clock::now() - start).count() / steps;
    start = Clock::now();
    for (int i = 0; i < steps; ++i)
    {
      view->Render();
      window->WaitForCompletion();
    }
    const double still = std::chrono::duration<double>(Clock::now() - start).count() / steps;
    LandmarkGlyphs& g = glyphs;
    for (int variant = 0; variant < 3; ++variant)
    {
      g.GetLineActor()->SetVisibility(variant == 0);
      g.GetSourceActor()->SetVisibility(variant == 1);
      g.GetTargetActor()->SetVisibility(variant == 2);
      start = Clock::now();
      for (int i = 0; i < steps; ++i)
      {
        view->Render();
        window->WaitForCompletion();
      }
      const char* names[3] = { "the lines", "the source spheres", "the target spheres" };
      std::printf("unchanged scene rendered with all %s alone: %.2f ms\n", names[variant],
        1000 * std::chrono::duration<double>(Clock::now() - start).count() / steps);
    }
    g.SetVisibility(true);
    without();
    block();
    start = Clock::now();
    for (int i = 0; i < steps; ++i)
    {
      view->Render();
      window->WaitForCompletion();
    }
    const double bare = std::chrono::duration<double>(Clock::now() - start).count() / steps;
    std::printf("riding alone %.2f ms; unchanged scene rendered %.2f ms with all landmarks, %.2f "
                "ms without\n",
      1000 * riding, 1000 * still, 1000 * bare);
  }
  std::printf("median step, wall: %.2f ms without, %.2f ms with %lld landmarks playing (%zu "
              "drawn): %+.1f %% (target at most +10 %%); %.2f ms with all drawn: %+.1f %%\n",
    1000 * Median(plain), 1000 * Median(shown), static_cast<long long>(count), drawn,
    100 * (Median(shown) / Median(plain) - 1), 1000 * Median(all),
    100 * (Median(all) / Median(plain) - 1));
  std::printf("median step, processor: %.2f ms without, %.2f ms playing: %+.1f %% (target at "
              "most +10 %%); %.2f ms with all drawn: %+.1f %%\n",
    1000 * Median(plainCpu), 1000 * Median(shownCpu),
    100 * (Median(shownCpu) / Median(plainCpu) - 1), 1000 * Median(allCpu),
    100 * (Median(allCpu) / Median(plainCpu) - 1));
  PrintLoad();

  docTemplate.reset();
  std::error_code error;
  std::filesystem::remove_all(dir, error);
  return 0;
}
