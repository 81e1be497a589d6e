// Frame rate of Halden's own window while the deformation animates: the application object,
// its main frame and view as the program makes them (opened with a model and its fitted
// coefficient file on the command line), the timer thread taking the steps and the event
// loop drawing them. Printed for each model:
//
// - frames per second and renders per step in the running window, with the shipped timing
//   (a step every 6 ticks of 65 ms) and with steps due every 10 ms (as fast as drawing allows);
// - the rate the steps' rendering alone allows (step, render, wait; no event loop, no timer),
//   measured before and after the window runs (for a fifth of [seconds], at most 4 s, and at
//   least 6 steps; the faster is taken);
// - the longest and the mean wait of a 50 ms timer in the event loop meanwhile (how long a key
//   or a menu click waits), and the most pictures begun while it waited (0: input is served
//   before the next picture, however long a picture takes on a loaded machine), beside the
//   longest picture (pipeline and drawing): input served between pictures waits at most
//   about that long;
// - the median time the window stands idle from the end of a picture to the start of the
//   next: when pictures take longer than a step's period, the delay before the step that fell
//   due during a picture is taken.
//
// Models: the sample, a generated tube of about a million points, and a real mesh (Debian's
// libcgal-demo, see scripts/real-meshes.sh) subdivided to about a million points, then the same
// mesh subdivided to about 400,000 points and labelled.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/doc/bench_window [seconds] [points]
//     [mesh name, or "none"; default bunny00]
#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "GuiTestSupport.h"
#include "HaldenApp.h"
#include "MainFrm.h"
#include "PravikProcess.h"
#include "RealMeshes.h"
#include "VtkWindow.h"
#include "vtkShapeTransform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <vtkCallbackCommand.h>
#include <vtkCellArray.h>
#include <vtkCommand.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataWriter.h>
#include <vtkRenderWindow.h>
#include <vtkTransformPolyDataFilter.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace
{
// The machine's load while the benchmark ran (other processes take cores from it).
std::string Load()
{
  double load[3] = { 0, 0, 0 };
  char text[64] = "";
  if (::getloadavg(load, 3) == 3)
  {
    std::snprintf(text, sizeof text, "load average %.2f %.2f %.2f", load[0], load[1], load[2]);
  }
  return text;
}

// A closed tube of rings x segments points around the sample leg's axis (as bench_animation's).
void WriteTube(const std::string& path, int rings, int segments)
{
  vtkNew<vtkPoints> points;
  points->SetDataTypeToFloat();
  points->SetNumberOfPoints(static_cast<vtkIdType>(rings) * segments);
  const double pi = std::acos(-1.0);
  for (int i = 0; i < rings; ++i)
  {
    const double t = static_cast<double>(i) / (rings - 1);
    const double radius = 0.13 - 0.08 * t;
    for (int j = 0; j < segments; ++j)
    {
      const double a = 2 * pi * j / segments;
      points->SetPoint(static_cast<vtkIdType>(i) * segments + j, -0.52 + 1.5 * t,
        radius * std::cos(a), -0.27 + radius * std::sin(a));
    }
  }
  vtkNew<vtkCellArray> triangles;
  for (int i = 0; i + 1 < rings; ++i)
  {
    for (int j = 0; j < segments; ++j)
    {
      const vtkIdType a = static_cast<vtkIdType>(i) * segments + j;
      const vtkIdType b = static_cast<vtkIdType>(i) * segments + (j + 1) % segments;
      const vtkIdType first[3] = { a, b, b + segments };
      const vtkIdType second[3] = { a, b + segments, a + segments };
      triangles->InsertNextCell(3, first);
      triangles->InsertNextCell(3, second);
    }
  }
  vtkNew<vtkPolyData> tube;
  tube->SetPoints(points);
  tube->SetPolys(triangles);
  vtkNew<vtkPolyDataWriter> writer;
  writer->SetInputData(tube);
  writer->SetFileTypeToBinary();
  writer->SetFileName(path.c_str());
  writer->Write();
}

struct Running
{
  double Seconds = 0;
  int Renders = 0;
  int Steps = 0;
  double LongestWait = 0; // ms
  double MeanWait = 0;    // ms
  // The most pictures begun while the probe was due and had not fired: 0 when input is
  // served before the next picture, whatever the machine's load makes a picture cost.
  int MostRendersBegunWhileWaiting = 0;
  // The longest picture (the pipeline and the drawing, from the window's start to its end of
  // rendering), ms: input that arrives as a picture begins waits that long.
  double LongestPicture = 0;
  // The median time from the end of a picture to the start of the next, ms: when pictures
  // are slower than the steps, how long the window stands idle before it takes the step owed.
  double MedianGap = 0;
};

// Times (ms on a clock) at which renders began, kept by an observer.
struct RenderStarts
{
  QElapsedTimer* Clock = nullptr;
  std::vector<qint64> Times;
  std::vector<qint64> Gaps; // from the end of each picture to the start of the next
  qint64 LastEnd = -1;
  qint64 Longest = 0;
};

double Median(std::vector<qint64> values)
{
  if (values.empty())
  {
    return 0;
  }
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return static_cast<double>(*middle);
}

// The window running for some seconds with the given timing.
Running Run(CHaldenView* view, CHaldenDoc* doc, int interval, int ticksPerStep, double seconds)
{
  std::atomic<int> steps{ 0 };
  QElapsedTimer clock;
  RenderStarts starts;
  starts.Clock = &clock;
  vtkNew<vtkCallbackCommand> countRenders, countSteps, endRenders;
  countRenders->SetClientData(&starts);
  countRenders->SetCallback(
    [](vtkObject*, unsigned long, void* r, void*)
    {
      auto* s = static_cast<RenderStarts*>(r);
      const qint64 now = s->Clock->elapsed();
      if (s->LastEnd >= 0)
      {
        s->Gaps.push_back(now - s->LastEnd);
      }
      s->Times.push_back(now);
    });
  endRenders->SetClientData(&starts);
  endRenders->SetCallback(
    [](vtkObject*, unsigned long, void* r, void*)
    {
      auto* s = static_cast<RenderStarts*>(r);
      if (!s->Times.empty())
      {
        s->LastEnd = s->Clock->elapsed();
        s->Longest = std::max(s->Longest, s->LastEnd - s->Times.back());
      }
    });
  countSteps->SetClientData(&steps);
  countSteps->SetCallback(
    [](vtkObject*, unsigned long, void* n, void*) { ++*static_cast<std::atomic<int>*>(n); });
  vtkRenderWindow* window = view->GetRenderWindow();
  const unsigned long renderTag = window->AddObserver(vtkCommand::StartEvent, countRenders);
  const unsigned long endTag = window->AddObserver(vtkCommand::EndEvent, endRenders);
  // Each step drawn runs the transform filter once, with the step's factor.
  const unsigned long stepTag =
    doc->TransformFilter->AddObserver(vtkCommand::StartEvent, countSteps);

  // A 50 ms timer in the event loop: how late it fires is how long input waits.
  std::vector<double> waits;
  int mostBegun = 0;
  qint64 lastFired = 0;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(50);
  QObject::connect(&probe, &QTimer::timeout,
    [&]
    {
      const qint64 now = clock.elapsed();
      const qint64 due = lastFired + 50;
      waits.push_back(std::max<double>(0.0, static_cast<double>(now - due)));
      const auto begun = std::count_if(
        starts.Times.begin(), starts.Times.end(), [&](qint64 t) { return t > due && t <= now; });
      mostBegun = std::max(mostBegun, static_cast<int>(begun));
      lastFired = now;
    });

  view->TimerInterval = interval;
  view->TicksPerStep = ticksPerStep;
  view->RestartTimer();
  clock.start();
  probe.start();
  // The event loop as the application runs it (the probe wakes it at least every 50 ms).
  while (clock.elapsed() < 1000 * seconds)
  {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  probe.stop();
  view->StopTimer();
  Running r;
  r.Seconds = clock.elapsed() / 1000.0;
  r.Renders = static_cast<int>(starts.Times.size());
  r.MostRendersBegunWhileWaiting = mostBegun;
  r.Steps = steps.load();
  window->RemoveObserver(renderTag);
  window->RemoveObserver(endTag);
  r.LongestPicture = static_cast<double>(starts.Longest);
  r.MedianGap = Median(starts.Gaps);
  doc->TransformFilter->RemoveObserver(stepTag);
  for (double w : waits)
  {
    r.LongestWait = std::max(r.LongestWait, w);
    r.MeanWait += w / static_cast<double>(waits.size());
  }
  // What is still queued is drawn before the next measurement.
  QElapsedTimer settle;
  settle.start();
  while (view->RedrawPending != 0 && settle.elapsed() < 60000)
  {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return r;
}

// Steps rendered back to back: the factor moves, the view renders and waits for the picture;
// at least `count` steps and `seconds` of them.
double RenderAloneRate(CHaldenView* view, int count, double seconds = 0)
{
  QElapsedTimer clock;
  clock.start();
  int i = 0;
  for (; i < count || clock.elapsed() < 1000 * seconds; ++i)
  {
    view->Tick = view->Tick + view->TicksPerStep;
    view->AdvanceAnimation();
    view->Render();
    view->GetRenderWindow()->WaitForCompletion();
  }
  return i / (clock.elapsed() / 1000.0);
}

void Measure(
  const std::string& name, const std::string& model, const std::string& trc, double seconds)
{
  std::string a0 = "Halden", a1 = model, a2 = trc;
  char* argv[] = { &a0[0], &a1[0], &a2[0], nullptr };
  auto app = std::make_unique<CHaldenApp>();
  app->m_argc = 3;
  app->m_argv = argv;
  QElapsedTimer open;
  open.start();
  if (!app->InitInstance())
  {
    std::printf("%s: Halden did not start\n", name.c_str());
    return;
  }
  auto* frame = dynamic_cast<CMainFrame*>(app->m_pMainWnd);
  auto* view = frame ? dynamic_cast<CHaldenView*>(frame->GetActiveView()) : nullptr;
  auto* doc = view ? dynamic_cast<CHaldenDoc*>(view->GetDocument()) : nullptr;
  if (!doc)
  {
    std::printf("%s: no view\n", name.c_str());
    app->ExitInstance();
    return;
  }
  view->StopTimer();
  while (
    (!view->GetInteractor()->GetInitialized() || doc->IsDeforming()) && open.elapsed() < 600000)
  {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  const vtkIdType points = doc->Reader->GetOutput()->GetNumberOfPoints();
  // The first deformed steps (the splitting settles) are not measured.
  RenderAloneRate(view, 2);
  // Taken before and after the window runs, as the load of a shared machine changes; the
  // faster is what rendering allows, so that a slow spell does not flatter the window's share.
  const double aloneSeconds = std::min(4.0, seconds / 5);
  const double aloneBefore = RenderAloneRate(view, 6, aloneSeconds);
  const Running shipped = Run(view, doc, 65, 6, seconds);
  const Running fast = Run(view, doc, 10, 1, seconds);
  const double aloneAfter = RenderAloneRate(view, 6, aloneSeconds);
  const double alone = std::max(aloneBefore, aloneAfter);
  const double timerRate = 1000.0 / (65.0 * 6);

  auto line = [&](const char* what, const Running& r, double allowed)
  {
    const double fps = r.Renders / r.Seconds;
    std::printf("%-24s %-34s %6.2f frames/s, %.2f renders per step (%d renders, %d steps in "
                "%.1f s); %.0f %% of the %.2f frames/s allowed; event loop waits at most "
                "%.0f ms (mean %.0f ms; longest picture %.0f ms), pictures begun meanwhile at "
                "most %d; idle between pictures %.0f ms (median)\n",
      "", what, fps, r.Steps > 0 ? static_cast<double>(r.Renders) / r.Steps : 0.0, r.Renders,
      r.Steps, r.Seconds, 100.0 * fps / allowed, allowed, r.LongestWait, r.MeanWait,
      r.LongestPicture, r.MostRendersBegunWhileWaiting, r.MedianGap);
  };
  std::printf("%-24s %9lld points: rendering alone allows %.2f steps/s (%.0f ms a step; %.2f "
              "before the runs, %.2f after); %s\n",
    name.c_str(), static_cast<long long>(points), alone, 1000.0 / alone, aloneBefore, aloneAfter,
    Load().c_str());
  line("shipped timing (390 ms a step)", shipped, std::min(alone, timerRate));
  line("steps due every 10 ms", fast, std::min(alone, 100.0));
  app->ExitInstance();
  app.reset();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
}

int main(int argc, char** argv)
{
  const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 20.0;
  const long wanted = argc > 2 ? std::atol(argv[2]) : 1000000;
  const std::string meshName = argc > 3 ? argv[3] : "bunny00";
  guitest::App("Halden"); // settings in a folder of the process's own

  guitest::TempDir dir("halden-window-bench-");
  const std::string trc = pravikprocess::FitCopy(
    QUORVEL_PRAVIK, std::string(QUORVEL_DATA_DIR) + "/leg.dat", dir.Get(), "0.25");
  if (trc.empty())
  {
    std::fprintf(stderr, "Pravik could not fit the sample\n");
    return 1;
  }
  std::printf(
    "Halden's window animating (frame 652 x 572), %u cores\n", std::thread::hardware_concurrency());

  Measure("sample (data/leg.vtk)", std::string(QUORVEL_DATA_DIR) + "/leg.vtk", trc, seconds);

  const int segments = 1000;
  const std::string tube = dir.Get() + "/tube.vtk";
  WriteTube(tube, static_cast<int>(std::max(2L, wanted / segments)), segments);
  Measure("tube (generated)", tube, trc, seconds);

  if (meshName != "none")
  {
    vtkSmartPointer<vtkPolyData> mesh = realmeshes::ReadOff(realmeshes::Path(meshName));
    if (!mesh)
    {
      std::printf("%s: not found in %s (run scripts/real-meshes.sh)\n", meshName.c_str(),
        realmeshes::Folder().c_str());
      return 0;
    }
    realmeshes::PlaceLikeTheSample(mesh);
    vtkSmartPointer<vtkPolyData> fine = realmeshes::Subdivide(mesh, static_cast<double>(wanted));
    const std::string path = dir.Get() + "/" + meshName + ".vtk";
    vtkNew<vtkPolyDataWriter> writer;
    writer->SetInputData(fine);
    writer->SetFileTypeToBinary();
    writer->SetFileName(path.c_str());
    writer->Write();
    Measure(meshName + " (subdivided)", path, trc, seconds);

    // The same mesh subdivided to about 400,000 points and labelled (a textured band, as the
    // sample has): both thresholds keep part of the model, and the splitting at feature edges
    // moves under them at every step.
    vtkSmartPointer<vtkPolyData> labelled = realmeshes::Subdivide(mesh, 4e5);
    vtkNew<vtkPolyData> banded;
    banded->ShallowCopy(labelled);
    realmeshes::Label(banded);
    const std::string labelledPath = dir.Get() + "/" + meshName + "-labelled.vtk";
    writer->SetInputData(banded);
    writer->SetFileName(labelledPath.c_str());
    writer->Write();
    Measure(meshName + " (labelled)", labelledPath, trc, seconds);
  }
  return 0;
}
