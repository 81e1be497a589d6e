// Frame rate of the transform animation in the viewer: per step, the blend factor moves on
// the triangle wave, the display pipeline re-executes (transform filter, normals, texture
// coordinates, both thresholds, mappers) and the view renders. Measured for the bundled
// sample and for a generated model of about a million points, each deformed by the sample's
// fitted coefficient file.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/doc/bench_animation [steps] [points]
#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "DocTemplate.h"
#include "FrameWnd.h"
#include "PravikProcess.h"
#include "Prompts.h"
#include "VtkWindow.h"
#include "vtkShapeTransform.h"

#include <QApplication>
#include <QElapsedTimer>

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataNormals.h>
#include <vtkPolyDataReader.h>
#include <vtkPolyDataWriter.h>
#include <vtkTextureMapToCylinder.h>
#include <vtkThreshold.h>
#include <vtkTransformPolyDataFilter.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <unistd.h>

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

struct Measure
{
  vtkIdType Points = 0;
  vtkIdType Cells = 0;
  double Open = 0;       // reading the model and showing it
  double FirstStep = 0;  // the step that computes the displacements
  double Step = 0;       // a later step: pipeline and render
  double StepCpu = 0;    // processor seconds of a later step (all threads)
  double Pipeline = 0;   // a later step's pipeline alone (no render)
  double Stages[5] = {}; // its stages: transform, normals, texture coordinates, thresholds
};

Measure Run(CFrameWnd* frame, CHaldenDoc* doc, CHaldenView* view, const std::string& model,
  const std::string& trc, int steps)
{
  Measure m;
  CScriptedPrompts prompts;
  vtkRenderWindow* window = view->GetRenderWindow();

  auto start = Clock::now();
  prompts.AnswerFile(model);
  frame->ExecuteCommand(ID_FILE_OPEN);
  window->WaitForCompletion();
  m.Open = Seconds(start);
  m.Points = doc->Reader->GetOutput()->GetNumberOfPoints();
  m.Cells = doc->Reader->GetOutput()->GetNumberOfCells();

  prompts.AnswerFile(trc);
  frame->ExecuteCommand(ID_LOAD_TRANSFORM);
  if (!prompts.Messages.empty())
  {
    std::fprintf(stderr, "%s\n", prompts.Messages[0].Text.c_str());
  }

  // One animation step, as the timer and the redraw request make it.
  int tick = 0;
  auto step = [&]
  {
    tick += view->TicksPerStep;
    view->Tick = tick;
    view->AdvanceAnimation();
    view->RedrawPending = 1;
    view->SendMessage(WM_USER, 0, 0);
    window->WaitForCompletion();
  };

  start = Clock::now();
  step();
  m.FirstStep = Seconds(start);

  start = Clock::now();
  const std::clock_t cpu = std::clock();
  for (int i = 0; i < steps; ++i)
  {
    step();
  }
  m.Step = Seconds(start) / steps;
  m.StepCpu = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC / steps;

  start = Clock::now();
  for (int i = 0; i < steps; ++i)
  {
    tick += view->TicksPerStep;
    view->Tick = tick;
    view->AdvanceAnimation();
    doc->UpperThreshold->Update();
    doc->LowerThreshold->Update();
  }
  m.Pipeline = Seconds(start) / steps;

  vtkAlgorithm* stages[5] = { doc->TransformFilter, doc->Normals, doc->TextureMap,
    doc->UpperThreshold, doc->LowerThreshold };
  for (int i = 0; i < steps; ++i)
  {
    tick += view->TicksPerStep;
    view->Tick = tick;
    view->AdvanceAnimation();
    for (int s = 0; s < 5; ++s)
    {
      start = Clock::now();
      stages[s]->Update();
      m.Stages[s] += Seconds(start) / steps;
    }
  }
  return m;
}

void Print(const char* name, const Measure& m)
{
  std::printf("%-28s %9lld points %9lld cells  open %6.2f s  first step %6.3f s\n", name,
    static_cast<long long>(m.Points), static_cast<long long>(m.Cells), m.Open, m.FirstStep);
  std::printf("%-28s step %8.1f ms = %6.1f frames/s  (pipeline alone %7.1f ms, render %7.1f ms; "
              "%7.1f ms of processor time per step)\n",
    "", 1000 * m.Step, 1.0 / m.Step, 1000 * m.Pipeline, 1000 * (m.Step - m.Pipeline),
    1000 * m.StepCpu);
  std::printf("%-28s pipeline stages: transform %.1f ms, normals %.1f ms, texture coordinates "
              "%.1f ms, thresholds %.1f + %.1f ms\n",
    "", 1000 * m.Stages[0], 1000 * m.Stages[1], 1000 * m.Stages[2], 1000 * m.Stages[3],
    1000 * m.Stages[4]);
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

  Print("sample (data/leg.vtk)",
    Run(frame, doc, view, std::string(QUORVEL_DATA_DIR) + "/leg.vtk", trc, steps));
  Print("tube (generated)", Run(frame, doc, view, tube, trc, steps));

  docTemplate.reset();
  const std::string cleanup = "rm -rf '" + dir + "'";
  return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
