// Frame rate of the transform animation in the viewer: per step, the blend factor moves on
// the triangle wave, the display pipeline re-executes (transform filter, normals, texture
// coordinates, both thresholds, mappers) and the view renders. Measured for the bundled
// sample and for a generated model of about a million points, each deformed by the sample's
// fitted coefficient file, and for real meshes (Debian's libcgal-demo, fetched by
// scripts/real-meshes.sh) placed where the sample is, subdivided to about 400,000 and
// 1,000,000 points, with and without labels. Beside the plain body, the body coloured by its
// displacement and by its stretch (View > Colour), per step, on the sample and the tube.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/doc/bench_animation [steps] [points]
//     [mesh names, or "none"; by default fandisk dino camel bear bunny00]
#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "DocTemplate.h"
#include "FrameWnd.h"
#include "PlainDisplayPipeline.h"
#include "PravikProcess.h"
#include "Prompts.h"
#include "RealMeshes.h"
#include "VtkWindow.h"
#include "vtkCachedPolyDataNormals.h"
#include "vtkLabelThreshold.h"
#include "vtkShapeTransform.h"

#include <QApplication>
#include <QElapsedTimer>

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataReader.h>
#include <vtkPolyDataWriter.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>
#include <algorithm>

namespace
{
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// A closed tube around the sample leg's axis (x from -0.52 to 0.98), its radius narrowing
// from hip to ankle, rings x segments points; the band around the lower calf is the textured
// part (scalar 0), the rest body (1). Written in binary legacy format.
void WriteTube(const std::string& path, int rings, int segments)
{
  vtkNew<vtkPoints> points;
  points->SetDataTypeToFloat();
  points->SetNumberOfPoints(static_cast<vtkIdType>(rings) * segments);
  const double pi = std::acos(-1.0);
  for (int i = 0; i < rings; ++i)
  {
    const double t = static_cast<double>(i) / (rings - 1);
    const double x = -0.52 + 1.5 * t;
    const double radius = 0.13 - 0.08 * t;
    for (int j = 0; j < segments; ++j)
    {
      const double a = 2 * pi * j / segments;
      points->SetPoint(static_cast<vtkIdType>(i) * segments + j, x, radius * std::cos(a),
        -0.27 + radius * std::sin(a));
    }
  }
  vtkNew<vtkCellArray> triangles;
  vtkNew<vtkFloatArray> region;
  region->SetName("region");
  for (int i = 0; i + 1 < rings; ++i)
  {
    const double x = -0.52 + 1.5 * (i + 0.5) / (rings - 1);
    const float label = (x > 0.45 && x < 0.75) ? 0.0f : 1.0f;
    for (int j = 0; j < segments; ++j)
    {
      const vtkIdType a = static_cast<vtkIdType>(i) * segments + j;
      const vtkIdType b = static_cast<vtkIdType>(i) * segments + (j + 1) % segments;
      const vtkIdType c = a + segments;
      const vtkIdType d = b + segments;
      const vtkIdType first[3] = { a, b, d };
      const vtkIdType second[3] = { a, d, c };
      triangles->InsertNextCell(3, first);
      triangles->InsertNextCell(3, second);
      region->InsertNextValue(label);
      region->InsertNextValue(label);
    }
  }
  vtkNew<vtkPolyData> tube;
  tube->SetPoints(points);
  tube->SetPolys(triangles);
  tube->GetCellData()->SetScalars(region);
  vtkNew<vtkPolyDataWriter> writer;
  writer->SetInputData(tube);
  writer->SetFileTypeToBinary();
  writer->SetFileName(path.c_str());
  writer->Write();
}

// Pravik's fit of the sample landmarks, in a directory of its own.
std::string FitSample(const std::string& dir)
{
  return pravikprocess::FitCopy(
    QUORVEL_PRAVIK, std::string(QUORVEL_DATA_DIR) + "/leg.dat", dir, "0.25");
}

// Wall-clock and processor seconds (all threads of the process) of a stretch of work.
struct Timer
{
  Clock::time_point Wall = Clock::now();
  std::clock_t Cpu = std::clock();
  double WallSeconds() const { return Seconds(this->Wall); }
  double CpuSeconds() const
  {
    return static_cast<double>(std::clock() - this->Cpu) / CLOCKS_PER_SEC;
  }
};

struct Figure
{
  double Wall = 0;
  double Cpu = 0;
  void Add(const Timer& t, int steps)
  {
    this->Wall += t.WallSeconds() / steps;
    this->Cpu += t.CpuSeconds() / steps;
  }
};

struct Measure
{
  vtkIdType Points = 0;
  vtkIdType Cells = 0;
  double Open = 0;  // reading the model and showing it
  Figure FirstStep; // the step that computes the displacements
  // Its parts: the displacements, the first deformed pipeline run, the first deformed render.
  Figure FirstDisplacements, FirstPipeline, FirstRender;
  Figure Step;      // a later step: pipeline and render
  Figure Pipeline;  // a later step's pipeline alone (no render)
  Figure Stages[4]; // its stages: transform, normals, texture coordinates, thresholds
  Figure Plain;     // the same step through the plain pipeline (every filter redoes all)
  Figure PlainStages[4];
  Figure StaticRender; // rendering the model unchanged
  int Steps = 0;
  int FullNormals = 0;  // steps whose normals redid the cell work
  int SplitUpdates = 0; // steps whose splitting moved
  // Threshold executions (two per step) that followed the point ids the normals rewrote
  // instead of choosing their points again over the whole model.
  int ThresholdFollows = 0;
};

// asRead: the transform is switched off first (Load Transform, cancelled), so that the model
// opens as read, as a model opened with no deformation shown does; otherwise it opens
// deformed by the transform in force.
// withPlain: also time the plain pipeline, every filter redoing all.
Measure Run(CFrameWnd* frame, CHaldenDoc* doc, CHaldenView* view, const std::string& model,
  const std::string& trc, int steps, bool asRead = false, bool withPlain = true)
{
  Measure m;
  CScriptedPrompts prompts;
  vtkRenderWindow* window = view->GetRenderWindow();
  if (asRead)
  {
    prompts.CancelFile();
    frame->ExecuteCommand(ID_LOAD_TRANSFORM);
    window->WaitForCompletion();
  }

  auto start = Clock::now();
  prompts.AnswerFile(model);
  frame->ExecuteCommand(ID_FILE_OPEN);
  window->WaitForCompletion();
  m.Open = Seconds(start);
  m.Points = doc->Reader->GetOutput()->GetNumberOfPoints();
  m.Cells = doc->Reader->GetOutput()->GetNumberOfCells();

  // The first step: the displacements (in the background for a large model, while the
  // window goes on drawing), then the first deformed picture.
  // What opening the model left to do (its paint) is done before the transform is loaded,
  // as it is when a user picks the file.
  QApplication::processEvents();
  Timer first;
  prompts.AnswerFile(trc);
  frame->ExecuteCommand(ID_LOAD_TRANSFORM);
  if (!prompts.Messages.empty())
  {
    std::fprintf(stderr, "%s\n", prompts.Messages[0].Text.c_str());
  }
  while (doc->IsDeforming())
  {
    // Sleeps until an event comes (the end of the computation posts one).
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  m.FirstDisplacements.Add(first, 1);

  // One animation step, as the timer and the redraw request make it.
  int tick = 0;
  auto advance = [&]
  {
    tick += view->TicksPerStep;
    view->Tick = tick;
    view->AdvanceAnimation();
  };
  auto step = [&]
  {
    advance();
    view->RedrawPending = 1;
    view->SendMessage(WM_USER, 0, 0);
    window->WaitForCompletion();
  };

  // The first step as step() makes it, its pipeline run timed apart from the render.
  advance();
  Timer firstPipeline;
  doc->UpperThreshold->Update();
  doc->LowerThreshold->Update();
  m.FirstPipeline.Add(firstPipeline, 1);
  Timer firstRender;
  view->RedrawPending = 1;
  view->SendMessage(WM_USER, 0, 0);
  window->WaitForCompletion();
  m.FirstRender.Add(firstRender, 1);
  m.FirstStep.Add(first, 1);

  Timer whole;
  for (int i = 0; i < steps; ++i)
  {
    step();
  }
  m.Step.Add(whole, steps);

  auto* normals = vtkCachedPolyDataNormals::SafeDownCast(doc->Normals);
  const int fullBefore = normals ? normals->GetNumberOfFullExecutions() : 0;
  const int splitBefore = normals ? normals->GetNumberOfSplittingUpdates() : 0;
  const int followsBefore =
    doc->UpperThreshold->GetNumberOfPointUpdates() + doc->LowerThreshold->GetNumberOfPointUpdates();
  Timer pipeline;
  for (int i = 0; i < steps; ++i)
  {
    advance();
    doc->UpperThreshold->Update();
    doc->LowerThreshold->Update();
  }
  m.Pipeline.Add(pipeline, steps);
  m.ThresholdFollows = doc->UpperThreshold->GetNumberOfPointUpdates() +
    doc->LowerThreshold->GetNumberOfPointUpdates() - followsBefore;

  m.Steps = steps;
  m.FullNormals = normals ? normals->GetNumberOfFullExecutions() - fullBefore : -1;
  m.SplitUpdates = normals ? normals->GetNumberOfSplittingUpdates() - splitBefore : -1;

  vtkAlgorithm* stages[5] = { doc->TransformFilter, doc->Normals, doc->TextureMap,
    doc->UpperThreshold, doc->LowerThreshold };
  PlainDisplayPipeline plain(doc);
  vtkAlgorithm* plainStages[5] = { plain.Transform, plain.Normals, plain.TextureMap, plain.Upper,
    plain.Lower };
  if (withPlain)
  {
    plain.Lower->Update();
    plain.Upper->Update();
  }
  for (int i = 0; i < steps; ++i)
  {
    advance();
    for (int s = 0; s < 5; ++s)
    {
      Timer stage;
      stages[s]->Update();
      m.Stages[std::min(s, 3)].Add(stage, steps);
    }
    for (int s = 0; s < 5 && withPlain; ++s)
    {
      Timer stage;
      plainStages[s]->Update();
      m.PlainStages[std::min(s, 3)].Add(stage, steps);
    }
  }
  for (const Figure& f : m.PlainStages)
  {
    m.Plain.Wall += f.Wall;
    m.Plain.Cpu += f.Cpu;
  }

  step();
  Timer still;
  for (int i = 0; i < steps; ++i)
  {
    view->Render();
    window->WaitForCompletion();
  }
  m.StaticRender.Add(still, steps);
  return m;
}

void PrintStages(const char* what, const Figure* stages)
{
  std::printf("%-28s %s: transform %.1f, normals %.1f, texture coordinates %.1f, thresholds "
              "%.1f ms (processor time; wall %.1f, %.1f, %.1f, %.1f ms)\n",
    "", what, 1000 * stages[0].Cpu, 1000 * stages[1].Cpu, 1000 * stages[2].Cpu,
    1000 * stages[3].Cpu, 1000 * stages[0].Wall, 1000 * stages[1].Wall, 1000 * stages[2].Wall,
    1000 * stages[3].Wall);
}

void Print(const char* name, const Measure& m)
{
  std::printf("%-28s %9lld points %9lld cells  open %6.2f s  first step %6.3f s wall, %6.3f s "
              "processor\n",
    name, static_cast<long long>(m.Points), static_cast<long long>(m.Cells), m.Open,
    m.FirstStep.Wall, m.FirstStep.Cpu);
  std::printf("%-28s first step: displacements %.3f s, pipeline %.3f s, render %.3f s wall "
              "(processor %.3f, %.3f, %.3f s)\n",
    "", m.FirstDisplacements.Wall, m.FirstPipeline.Wall, m.FirstRender.Wall,
    m.FirstDisplacements.Cpu, m.FirstPipeline.Cpu, m.FirstRender.Cpu);
  std::printf("%-28s pipeline per step %8.2f ms processor (%8.2f ms wall); plain pipeline "
              "%8.2f ms processor (%8.2f ms wall): %.1f times less work\n",
    "", 1000 * m.Pipeline.Cpu, 1000 * m.Pipeline.Wall, 1000 * m.Plain.Cpu, 1000 * m.Plain.Wall,
    m.Pipeline.Cpu > 0 ? m.Plain.Cpu / m.Pipeline.Cpu : 0.0);
  std::printf("%-28s whole step %8.1f ms wall = %6.1f frames/s (%8.1f ms processor); static "
              "model rendered alone %8.1f ms wall (%8.1f ms processor)\n",
    "", 1000 * m.Step.Wall, 1.0 / m.Step.Wall, 1000 * m.Step.Cpu, 1000 * m.StaticRender.Wall,
    1000 * m.StaticRender.Cpu);
  std::printf("%-28s pipeline per step per million points %8.1f ms processor; normals: %d of %d "
              "steps redid the cells, %d moved the splitting; thresholds followed the moved "
              "point ids %d times of %d\n",
    "", 1000 * m.Pipeline.Cpu * 1e6 / std::max<vtkIdType>(1, m.Points), m.FullNormals, m.Steps,
    m.SplitUpdates, m.ThresholdFollows, 2 * m.Steps);
  PrintStages("stages", m.Stages);
  if (m.Plain.Cpu > 0)
  {
    PrintStages("plain stages", m.PlainStages);
  }
}

// The colourings of View > Colour against the plain body on one model: the pipeline's and the
// whole step's processor time per step, and how much more each colouring costs.
void CompareColours(CFrameWnd* frame, CHaldenDoc* doc, CHaldenView* view, const char* name,
  const std::string& model, const std::string& trc, int steps)
{
  const struct
  {
    UINT Command;
    const char* Title;
  } colourings[] = { { ID_COLOUR_PLAIN, "plain" }, { ID_COLOUR_DISPLACEMENT, "displacement" },
    { ID_COLOUR_STRETCH, "stretch" } };
  // Rounds of the three in turn, so that a change of the machine's speed falls on all three;
  // the medians of the rounds are compared.
  const int rounds = 3;
  std::vector<double> pipeline[3], whole[3], wall[3], first[3];
  for (int r = 0; r < rounds; ++r)
  {
    for (int c = 0; c < 3; ++c)
    {
      frame->ExecuteCommand(colourings[c].Command);
      const Measure m = Run(frame, doc, view, model, trc, steps, false, false);
      pipeline[c].push_back(m.Pipeline.Cpu);
      whole[c].push_back(m.Step.Cpu);
      wall[c].push_back(m.Step.Wall);
      first[c].push_back(m.FirstStep.Wall);
    }
  }
  auto median = [](std::vector<double> v)
  {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double plainPipeline = median(pipeline[0]);
  const double plainWhole = median(whole[0]);
  for (int c = 0; c < 3; ++c)
  {
    const double p = median(pipeline[c]);
    const double w = median(whole[c]);
    std::printf("%-28s colour %-12s pipeline per step %8.2f ms processor (%+5.1f %%), whole "
                "step %8.1f ms processor (%+5.1f %%), %8.1f ms wall; first step %6.3f s wall "
                "(medians of %d rounds)\n",
      name, colourings[c].Title, 1000 * p, plainPipeline > 0 ? 100 * (p / plainPipeline - 1) : 0.0,
      1000 * w, plainWhole > 0 ? 100 * (w / plainWhole - 1) : 0.0, 1000 * median(wall[c]),
      median(first[c]), rounds);
  }
  frame->ExecuteCommand(ID_COLOUR_PLAIN);
}

// The machine's load while the benchmark ran (other processes take cores from it).
void PrintLoad()
{
  double load[3] = { 0, 0, 0 };
  if (::getloadavg(load, 3) == 3)
  {
    std::printf("load average %.2f %.2f %.2f on %u cores\n", load[0], load[1], load[2],
      std::thread::hardware_concurrency());
  }
}
}

int main(int argc, char** argv)
{
  const int steps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const long wanted = argc > 2 ? std::atol(argv[2]) : 1000000;
  QApplication app(argc, argv);

  char pattern[] = "/tmp/halden-bench-XXXXXX";
  const char* made = ::mkdtemp(pattern);
  if (!made)
  {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string dir = made;
  const std::string trc = FitSample(dir);
  if (trc.empty())
  {
    std::fprintf(stderr, "Pravik could not fit the sample\n");
    return 1;
  }
  const int segments = 1000;
  const int rings = static_cast<int>(std::max(2L, wanted / segments));
  const std::string tube = dir + "/tube.vtk";
  WriteTube(tube, rings, segments);

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
  const int* size = view->GetRenderWindow()->GetSize();
  std::printf("Animation step = factor change + pipeline re-execution + render, window %d x %d, "
              "%d steps each\n",
    size[0], size[1], steps);
  PrintLoad();

  Print("sample (data/leg.vtk)",
    Run(frame, doc, view, std::string(QUORVEL_DATA_DIR) + "/leg.vtk", trc, steps));
  Print("tube (generated)", Run(frame, doc, view, tube, trc, steps));
  const Measure tubeRead = Run(frame, doc, view, tube, trc, steps, true);
  Print("tube, opened as read", tubeRead);
  PrintLoad();
  CompareColours(frame, doc, view, "sample (data/leg.vtk)",
    std::string(QUORVEL_DATA_DIR) + "/leg.vtk", trc, steps);
  CompareColours(frame, doc, view, "tube (generated)", tube, trc, steps);
  PrintLoad();

  // Real meshes, against the tube's work per point. The machine's speed drifts over the
  // minutes a run takes: each mesh is compared with the tube measured again just before it.
  auto perPoint = [](const Measure& m)
  { return m.Pipeline.Cpu / std::max<vtkIdType>(1, m.Points); };
  std::vector<std::string> names(argv + std::min(argc, 3), argv + argc);
  if (names.empty())
  {
    names = realmeshes::Names();
  }
  double worst = 0;
  for (const std::string& name : names)
  {
    vtkSmartPointer<vtkPolyData> mesh = realmeshes::ReadOff(realmeshes::Path(name));
    if (!mesh)
    {
      if (name != "none")
      {
        std::printf("%s: not found in %s (run scripts/real-meshes.sh)\n", name.c_str(),
          realmeshes::Folder().c_str());
      }
      continue;
    }
    realmeshes::PlaceLikeTheSample(mesh);
    const Measure tubeAgain = Run(frame, doc, view, tube, trc, steps, true, false);
    const double tubePerPoint = perPoint(tubeAgain);
    std::printf("%-28s tube, opened as read, again: pipeline per step per million points "
                "%.1f ms processor\n",
      name.c_str(), 1e9 * tubePerPoint);
    for (double wantedPoints : { 4e5, 1e6 })
    {
      vtkSmartPointer<vtkPolyData> fine = realmeshes::Subdivide(mesh, wantedPoints);
      for (bool labelled : { false, true })
      {
        vtkNew<vtkPolyData> model;
        model->ShallowCopy(fine);
        if (labelled)
        {
          realmeshes::Label(model);
        }
        const std::string path = dir + "/" + name + (labelled ? "-labelled" : "") + ".vtk";
        vtkNew<vtkPolyDataWriter> writer;
        writer->SetInputData(model);
        writer->SetFileTypeToBinary();
        writer->SetFileName(path.c_str());
        writer->Write();
        const std::string title = name + (labelled ? ", labelled" : "");
        const Measure m = Run(frame, doc, view, path, trc, steps, true, false);
        Print(title.c_str(), m);
        const double ratio = perPoint(m) / tubePerPoint;
        std::printf("%-28s work per point %.2f times the tube's\n", "", ratio);
        worst = std::max(worst, ratio);
        std::remove(path.c_str());
      }
    }
    PrintLoad();
  }
  if (worst > 0)
  {
    std::printf("real meshes: at most %.2f times the tube's work per point (target 2)\n", worst);
  }

  docTemplate.reset();
  const std::string cleanup = "rm -rf '" + dir + "'";
  return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
