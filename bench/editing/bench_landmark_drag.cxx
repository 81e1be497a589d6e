// The live refit while a landmark is dragged in Halden's own window: the time from a mouse
// move that drags a target to the end of the frame that shows the shape refitted to it.
//
// Halden starts as the program does (the sample model and a landmark file on the command
// line), Landmarks > Edit Targets is on, and a target is dragged through the real window by
// mouse events, a few pixels a step; after each move the benchmark waits for the refit's frame
// before the next move, so that each figure is one edit's whole road: the edit, the fit in the
// background, the new coefficients put in force, the model's displacements and one render.
// Printed per landmark set: the median and the largest of those times, the time one render of
// the same scene takes, and the machine's load.
//
// Landmark sets: the sample's 755, and 10,000 made on the sample model's surface (every third
// point of the model, its targets moved by a smooth field).
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/editing/bench_landmark_drag [moves]
#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "GuiTestSupport.h"
#include "HaldenApp.h"
#include "LandmarkEditor.h"
#include "LandmarkFileWriter.h"
#include "MainFrm.h"
#include "TempDir.h"
#include "VtkWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWidget>

#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace
{
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

// 10,000 landmarks on the sample model: sources on its surface, targets moved smoothly.
bool WriteManyLandmarks(const std::string& model, const std::string& path, vtkIdType wanted)
{
  std::string reason;
  CHaldenDoc scratch;
  if (!scratch.OnOpenDocument(model.c_str()))
  {
    return false;
  }
  vtkPolyData* surface = scratch.Reader->GetOutput();
  LandmarkPairs pairs;
  for (vtkIdType i = 0; i < surface->GetNumberOfPoints() && pairs.GetCount() < wanted; i += 3)
  {
    double s[3];
    surface->GetPoint(i, s);
    const double t[3] = { s[0] + 0.02 * std::sin(3 * s[1]), s[1] + 0.015 * std::cos(2 * s[0]),
      s[2] + 0.01 * std::sin(4 * s[0]) };
    pairs.GetSources()->InsertNextPoint(s);
    pairs.GetTargets()->InsertNextPoint(t);
  }
  pairs.Modified();
  return pairs.GetCount() == wanted && WriteLandmarkFile(pairs, path, reason);
}

void Mouse(QWidget* w, QEvent::Type type, QPoint at)
{
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  const Qt::MouseButtons held =
    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
  QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, {});
  QApplication::sendEvent(w, &event);
}

QPoint OnScreen(CHaldenView* view, const double p[3])
{
  vtkRenderer* r = view->GetRenderer();
  r->SetWorldPoint(p[0], p[1], p[2], 1.0);
  r->WorldToDisplay();
  return QPoint(static_cast<int>(std::lround(r->GetDisplayPoint()[0])),
    view->GetWidget()->height() - 1 - static_cast<int>(std::lround(r->GetDisplayPoint()[1])));
}

double Median(std::vector<double> v)
{
  if (v.empty())
  {
    return 0.0;
  }
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Measure(const std::string& name, const std::string& model, const std::string& landmarks,
  int moves, double targetMs)
{
  std::string a0 = "Halden", a1 = model, a2 = landmarks;
  char* argv[] = { &a0[0], &a1[0], &a2[0], nullptr };
  auto app = std::make_unique<CHaldenApp>();
  app->m_argc = 3;
  app->m_argv = argv;
  if (!app->InitInstance())
  {
    std::printf("%s: Halden did not start\n", name.c_str());
    return;
  }
  auto* frame = dynamic_cast<CMainFrame*>(app->m_pMainWnd);
  auto* view = frame ? dynamic_cast<CHaldenView*>(frame->GetActiveView()) : nullptr;
  auto* doc = view ? dynamic_cast<CHaldenDoc*>(view->GetDocument()) : nullptr;
  if (!doc || !guitest::WaitFor([&] { return view->GetInteractor()->GetInitialized() != 0; }))
  {
    std::printf("%s: no view\n", name.c_str());
    app->ExitInstance();
    return;
  }
  LandmarkEditor& editor = view->GetLandmarkEditor();
  std::vector<double> times;
  editor.OnRefitShown = [&](double ms)
  {
    if (ms >= 0)
    {
      times.push_back(ms);
    }
  };
  frame->ExecuteCommand(ID_EDIT_TARGETS);
  QWidget* w = view->GetWidget();

  // The landmark dragged: the one drawn nearest the window's centre.
  vtkPoints* targets = doc->Landmarks.GetTargets();
  vtkIdType chosen = 0;
  int best = 1 << 30;
  const QPoint centre(w->width() / 2, w->height() / 2);
  for (vtkIdType i = 0; i < targets->GetNumberOfPoints(); ++i)
  {
    const int d = (OnScreen(view, targets->GetPoint(i)) - centre).manhattanLength();
    if (d < best)
    {
      best = d;
      chosen = i;
    }
  }
  QPoint at = OnScreen(view, targets->GetPoint(chosen));
  Mouse(w, QEvent::MouseButtonPress, at);
  bool timedOut = false;
  // The first move makes the first fit of these landmarks (and their first displacements):
  // it is not counted.
  for (int k = 0; k <= moves && !timedOut; ++k)
  {
    at += QPoint(k % 2 == 0 ? 3 : 2, k % 3 == 0 ? -2 : 1);
    const std::size_t before = times.size();
    Mouse(w, QEvent::MouseMove, at);
    timedOut = !guitest::WaitFor([&] { return times.size() > before; }, 120000);
    if (k == 0)
    {
      times.clear();
    }
  }
  Mouse(w, QEvent::MouseButtonRelease, at);

  // One render of the same scene, for comparison.
  QElapsedTimer clock;
  const int renders = 10;
  clock.start();
  for (int k = 0; k < renders; ++k)
  {
    view->GetRenderer()->Modified();
    view->Render();
    view->GetRenderWindow()->WaitForCompletion();
  }
  const double renderMs = clock.nsecsElapsed() / 1e6 / renders;
  std::printf("%-26s %6lld landmarks, %lld points: a drag step's refit shown after %.1f ms "
              "(median of %zu moves; largest %.1f ms); one render %.1f ms; target %.0f ms plus "
              "one render: %s; refit radius %.4g; %s%s\n",
    name.c_str(), static_cast<long long>(doc->Landmarks.GetCount()),
    static_cast<long long>(doc->Reader->GetOutput()->GetNumberOfPoints()), Median(times),
    times.size(), times.empty() ? 0.0 : *std::max_element(times.begin(), times.end()), renderMs,
    targetMs, Median(times) <= targetMs + renderMs ? "met" : "NOT met", editor.GetRefitRadius(),
    Load().c_str(), timedOut ? " (a refit did not come within 120 s)" : "");
  std::fflush(stdout);
  frame->ExecuteCommand(ID_STOP_EDITING);
  doc->LandmarkUndo.Clear();
  doc->SetModifiedFlag(FALSE);
  doc->TransformUnsaved = false;
  app->ExitInstance();
  app.reset();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
}

int main(int argc, char** argv)
{
  const int moves = argc > 1 ? std::max(3, std::atoi(argv[1])) : 20;
  guitest::App("Halden");
  testsupport::TempDir dir("halden-drag-bench-");
  const std::string model = std::string(QUORVEL_DATA_DIR) + "/leg.vtk";
  Measure("sample", model, std::string(QUORVEL_DATA_DIR) + "/leg.dat", moves, 100.0);
  const std::string many = dir.Path("many.dat");
  if (!WriteManyLandmarks(model, many, 10000))
  {
    std::printf("10,000 landmarks could not be made\n");
    return 1;
  }
  Measure("10,000 on the sample", model, many, moves, 500.0);
  return 0;
}
