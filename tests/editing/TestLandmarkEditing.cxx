// Editing landmarks with the mouse and keys in the real window: adding, selecting, dragging,
// deleting, undo and redo, the camera with Shift, the live refit, and leaving editing.
#include "UxHarness.h"

#include "LandmarkEditor.h"
#include "Prompts.h"
#include "vtkLandmarkSplineFit.h"
#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <vtkCamera.h>
#include <vtkCellLocator.h>
#include <vtkCellPicker.h>
#include <vtkPoints.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>
#include <vtkTransformPolyDataFilter.h>

#include <QMouseEvent>

#include <array>
#include <cmath>

using namespace ux;
using Mode = LandmarkEditor::Mode;

namespace
{
double Distance(const double a[3], const double b[3])
{
  return std::sqrt(vtkMath::Distance2BetweenPoints(a, b));
}

struct Started
{
  bool Fresh = (ForgetSettings(), true);
  CScriptedPrompts Prompts;
  shell::Shell App;
  CMainFrame* Frame;
  CHaldenView* View;
  CHaldenDoc* Doc;
  LandmarkEditor* Editor;
  Started()
    : App({ SampleFile("leg.vtk"), SampleFile("leg.dat") })
    , Frame(App.Frame())
    , View(ViewOf(Frame))
    , Doc(DocOf(Frame))
    , Editor(&View->GetLandmarkEditor())
  {
    EXPECT_TRUE(App.Started);
    EXPECT_TRUE(shell::WaitFor([&] { return View->GetInteractor()->GetInitialized() != 0; }));
    Activate(this->Frame);
    EXPECT_EQ(755, Doc->Landmarks.GetCount());
    // Closer, so that the landmarks are drawn apart enough to aim at one.
    this->Camera()->Zoom(4.0);
    this->View->Render();
  }

  /// Where a world point is drawn, as a widget position (from the top left).
  QPoint OnScreen(const double p[3]) const
  {
    vtkRenderer* r = this->View->GetRenderer();
    r->SetWorldPoint(p[0], p[1], p[2], 1.0);
    r->WorldToDisplay();
    const int height = this->View->GetWidget()->height();
    return QPoint(static_cast<int>(std::lround(r->GetDisplayPoint()[0])),
      height - 1 - static_cast<int>(std::lround(r->GetDisplayPoint()[1])));
  }
  void Mouse(QEvent::Type type, QPoint at, Qt::KeyboardModifiers modifiers = {})
  {
    QWidget* w = this->View->GetWidget();
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held =
      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, modifiers);
    QApplication::sendEvent(w, &event);
  }
  void Click(QPoint at)
  {
    this->Mouse(QEvent::MouseButtonPress, at);
    this->Mouse(QEvent::MouseButtonRelease, at);
  }
  /// A drag in steps of a few pixels, as a hand makes one.
  void Drag(QPoint from, QPoint to, int steps = 8)
  {
    this->Mouse(QEvent::MouseButtonPress, from);
    for (int k = 1; k <= steps; ++k)
    {
      this->Mouse(QEvent::MouseMove, from + (to - from) * k / steps);
    }
    this->Mouse(QEvent::MouseButtonRelease, to);
  }
  /// Waits until the latest refit is shown.
  bool RefitShown()
  {
    return shell::WaitFor([&] { return !this->Editor->IsRefitting(); }, 60000);
  }
  vtkCamera* Camera() const { return this->View->GetRenderer()->GetActiveCamera(); }
  std::array<double, 3> Source(vtkIdType i) const
  {
    std::array<double, 3> p;
    this->Doc->Landmarks.GetSources()->GetPoint(i, p.data());
    return p;
  }
  std::array<double, 3> Target(vtkIdType i) const
  {
    std::array<double, 3> p;
    this->Doc->Landmarks.GetTargets()->GetPoint(i, p.data());
    return p;
  }
  std::string Message() const { return this->Frame->m_wndStatusBar.GetMessageText(); }
  bool InWindow(QPoint p) const
  {
    QWidget* w = this->View->GetWidget();
    return p.x() > 20 && p.y() > 20 && p.x() < w->width() - 20 && p.y() < w->height() - 20;
  }
  /// Whether no point of points is drawn within pixels of p (except is not counted).
  bool AloneAt(QPoint p, vtkPoints* points, double pixels, vtkIdType except = -1) const
  {
    for (vtkIdType k = 0; k < points->GetNumberOfPoints(); ++k)
    {
      if (k != except && (this->OnScreen(points->GetPoint(k)) - p).manhattanLength() < pixels)
      {
        return false;
      }
    }
    return true;
  }
  /// A landmark whose point is drawn well apart from every other one, inside the window.
  vtkIdType Isolated(vtkPoints* points) const
  {
    for (vtkIdType i = 0; i < points->GetNumberOfPoints(); i += 7)
    {
      const QPoint p = this->OnScreen(points->GetPoint(i));
      if (this->InWindow(p) && this->AloneAt(p, points, 8, i))
      {
        return i;
      }
    }
    return -1;
  }
  /// A place where the model's surface is drawn, well apart from every source.
  QPoint BareSurface() const
  {
    vtkPolyData* model = this->Doc->Reader->GetOutput();
    vtkNew<vtkCellPicker> picker;
    picker->PickFromListOn();
    picker->AddPickList(this->Doc->BodyActor);
    for (vtkIdType i = 0; i < model->GetNumberOfPoints(); i += 97)
    {
      const QPoint p = this->OnScreen(model->GetPoint(i));
      const int height = this->View->GetWidget()->height();
      if (this->InWindow(p) && this->AloneAt(p, this->Doc->Landmarks.GetSources(), 18) &&
        picker->Pick(p.x(), height - 1 - p.y(), 0, this->View->GetRenderer()))
      {
        return p;
      }
    }
    return QPoint(-1, -1);
  }
};

// The distance from a point to the model as loaded.
double OffSurface(vtkPolyData* model, const std::array<double, 3>& p)
{
  vtkNew<vtkCellLocator> locator;
  locator->SetDataSet(model);
  locator->BuildLocator();
  double closest[3];
  vtkIdType cell;
  int sub;
  double d2;
  locator->FindClosestPoint(p.data(), closest, cell, sub, d2);
  return std::sqrt(d2);
}

// A point on the model's surface that faces the camera: the surface under the screen's
// centre, found by clicking there in editing sources.
}

TEST(LandmarkEditing, SourcesAreAddedDraggedDeletedAndUndone)
{
  Started s;
  s.Frame->ExecuteCommand(ID_EDIT_SOURCES);
  ASSERT_EQ(Mode::Sources, s.Editor->GetMode());
  EXPECT_NE(std::string::npos, s.Message().find("Shift"));
  double cameraBefore[3];
  s.Camera()->GetPosition(cameraBefore);
  vtkPolyData* model = s.Doc->Reader->GetOutput();
  double bounds[6];
  model->GetBounds(bounds);
  const double size = std::sqrt((bounds[1] - bounds[0]) * (bounds[1] - bounds[0]) +
    (bounds[3] - bounds[2]) * (bounds[3] - bounds[2]));

  // A click on the surface, away from every landmark, adds a pair there.
  QWidget* w = s.View->GetWidget();
  const QPoint spot = s.BareSurface();
  ASSERT_GE(spot.x(), 0) << "no bare surface in sight";
  vtkIdType n = s.Doc->Landmarks.GetCount();
  s.Click(spot);
  ASSERT_EQ(n + 1, s.Doc->Landmarks.GetCount()) << s.Message();
  const vtkIdType added = n;
  EXPECT_EQ(added, s.Editor->GetSelected());
  EXPECT_EQ(s.Source(added), s.Target(added));
  EXPECT_LT(OffSurface(model, s.Source(added)), 1e-4 * size);
  EXPECT_TRUE(s.Doc->IsModified());
  // The left button edited: the camera stayed.
  shell::Settle();
  EXPECT_EQ(0.0, Distance(cameraBefore, s.Camera()->GetPosition()));

  // Dragging it slides it over the surface; the whole drag is one step of Undo.
  const auto clicked = s.Source(added);
  s.Drag(s.OnScreen(clicked.data()), s.OnScreen(clicked.data()) + QPoint(25, 10));
  const auto dragged = s.Source(added);
  EXPECT_GT(Distance(clicked.data(), dragged.data()), 1e-3 * size);
  EXPECT_LT(OffSurface(model, dragged), 1e-4 * size);
  EXPECT_EQ(s.Target(added), clicked) << "a source drag leaves the target";
  Press(s.Frame, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(clicked, s.Source(added));
  Press(s.Frame, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(dragged, s.Source(added));
  Press(s.Frame, Qt::Key_Z, Qt::ControlModifier);
  Press(s.Frame, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(n, s.Doc->Landmarks.GetCount());
  EXPECT_FALSE(s.Doc->IsModified());

  // A click on a source selects its pair; Delete removes it.
  const vtkIdType alone = s.Isolated(s.Doc->Landmarks.GetSources());
  ASSERT_GE(alone, 0);
  const auto next = s.Source(alone + 1);
  s.Click(s.OnScreen(s.Source(alone).data()) + QPoint(1, -1));
  EXPECT_EQ(alone, s.Editor->GetSelected());
  Press(s.Frame, Qt::Key_Delete);
  EXPECT_EQ(n - 1, s.Doc->Landmarks.GetCount());
  EXPECT_EQ(next, s.Source(alone)) << "the later pairs move down";
  EXPECT_EQ(-1, s.Editor->GetSelected());
  Press(s.Frame, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(n, s.Doc->Landmarks.GetCount());
  EXPECT_EQ(next, s.Source(alone + 1));

  // With Shift the left button turns the camera, as it does outside editing.
  QPoint aside(w->width() / 2 + 80, w->height() / 2);
  s.Mouse(QEvent::MouseButtonPress, aside, Qt::ShiftModifier);
  EXPECT_TRUE(shell::WaitFor(
    [&] { return Distance(cameraBefore, s.Camera()->GetPosition()) > 1e-3 * size; }));
  s.Mouse(QEvent::MouseButtonRelease, aside, Qt::ShiftModifier);
  EXPECT_EQ(n, s.Doc->Landmarks.GetCount()) << "a camera drag edits nothing";
  ASSERT_TRUE(s.RefitShown());
}

TEST(LandmarkEditing, TargetsFollowTheMouseAndTheShapeFollowsTheTargets)
{
  Started s;
  s.Frame->ExecuteCommand(ID_EDIT_TARGETS);
  ASSERT_EQ(Mode::Targets, s.Editor->GetMode());

  // Nothing is fitted yet: a first edit makes the first live fit.
  const vtkIdType i = s.Isolated(s.Doc->Landmarks.GetTargets());
  ASSERT_GE(i, 0);
  const auto before = s.Target(i);
  const QPoint from = s.OnScreen(before.data());
  const QPoint to = from + QPoint(30, -20);
  s.Drag(from, to);
  const auto after = s.Target(i);
  ASSERT_GT(Distance(before.data(), after.data()), 0.0) << s.Message();
  // In the plane through the target parallel to the screen, under the mouse.
  double direction[3];
  s.Camera()->GetDirectionOfProjection(direction);
  const double moved[3] = { after[0] - before[0], after[1] - before[1], after[2] - before[2] };
  EXPECT_LT(std::abs(vtkMath::Dot(moved, direction)), 1e-3 * vtkMath::Norm(moved));
  EXPECT_LE((s.OnScreen(after.data()) - to).manhattanLength(), 2);

  ASSERT_TRUE(s.RefitShown());
  ASSERT_EQ(1, s.Doc->TransformOn);
  EXPECT_FLOAT_EQ(1.0f, s.Doc->ShapeTransform->GetFactor()) << "targets are edited at blend 1";
  // Without smoothing the fitted shape carries the source onto the moved target.
  double carried[3];
  const auto source = s.Source(i);
  s.Doc->ShapeTransform->TransformPoint(source.data(), carried);
  EXPECT_LT(Distance(carried, after.data()), 1e-3 * Distance(before.data(), after.data()) + 1e-5);
  // Once the drag ends, the shape in force (the one Save Transform writes) is exactly a full
  // fit of the landmarks where they came to rest, not the drag's quicker refit.
  vtkNew<vtkLandmarkSplineFit> full;
  full->SetSourceLandmarks(s.Doc->Landmarks.GetSources());
  full->SetTargetLandmarks(s.Doc->Landmarks.GetTargets());
  full->SetRadius(s.Editor->GetRefitRadius());
  full->SetSmoothing(s.Doc->FitSmoothing);
  ASSERT_TRUE(full->Fit()) << full->GetErrorMessage();
  for (vtkIdType k = 0; k < s.Doc->Landmarks.GetCount(); k += 5)
  {
    double shown[3];
    double fitted[3];
    const auto p = s.Source(k);
    s.Doc->ShapeTransform->TransformPoint(p.data(), shown);
    full->GetTransform()->TransformPoint(p.data(), fitted);
    ASSERT_EQ(std::vector<double>(shown, shown + 3), std::vector<double>(fitted, fitted + 3))
      << "landmark " << k;
  }

  // A target model: a click on it puts the selected pair's target on its surface.
  vtkNew<vtkTransform> shift;
  shift->Translate(0.0, 0.0, 0.02);
  vtkNew<vtkTransformPolyDataFilter> copy;
  copy->SetInputData(s.Doc->Reader->GetOutput());
  copy->SetTransform(shift);
  copy->Update();
  const std::string specimen = shell::ConfigHome().toStdString() + "/specimen.vtk";
  std::string reason;
  ASSERT_TRUE(WriteModelFile(copy->GetOutput(), specimen, reason)) << reason;
  ASSERT_TRUE(s.Doc->LoadTargetModel(specimen));
  s.Click(s.OnScreen(after.data())); // selects pair i again
  ASSERT_EQ(i, s.Editor->GetSelected());
  double bounds[6];
  copy->GetOutput()->GetBounds(bounds);
  const double middle[3] = { (bounds[0] + bounds[1]) / 2, bounds[2] + 0.3 * (bounds[3] - bounds[2]),
    (bounds[4] + bounds[5]) / 2 };
  s.Click(s.OnScreen(middle));
  const auto placed = s.Target(i);
  EXPECT_NE(after, placed);
  EXPECT_LT(OffSurface(copy->GetOutput(), placed), 1e-3);
  ASSERT_TRUE(s.RefitShown());
}

// Leaving editing gives the left button back to the camera and lets the animation run again.
TEST(LandmarkEditing, LeavingRestoresTheCameraAndTheAnimation)
{
  Started s;
  s.Prompts.AnswerFile(SampleTransform());
  ASSERT_TRUE(s.Frame->ExecuteCommand(ID_LOAD_TRANSFORM));
  ASSERT_FALSE(s.View->IsPaused());
  s.Frame->ExecuteCommand(ID_EDIT_SOURCES);
  EXPECT_TRUE(s.View->IsPaused());
  EXPECT_EQ(0.0f, s.Doc->ShapeTransform->GetFactor()) << "sources are edited at blend 0";

  Press(s.Frame, Qt::Key_Escape);
  EXPECT_EQ(Mode::Off, s.Editor->GetMode());
  EXPECT_FALSE(s.View->IsPaused());
  double before[3];
  s.Camera()->GetPosition(before);
  QWidget* w = s.View->GetWidget();
  const QPoint aside(w->width() / 2 + 80, w->height() / 2);
  const vtkIdType n = s.Doc->Landmarks.GetCount();
  s.Mouse(QEvent::MouseButtonPress, aside);
  EXPECT_TRUE(shell::WaitFor([&] { return Distance(before, s.Camera()->GetPosition()) > 1e-3; }));
  s.Mouse(QEvent::MouseButtonRelease, aside);
  EXPECT_EQ(n, s.Doc->Landmarks.GetCount());
}

// An edit whose refit fails is taken back: the landmarks and the shape stay as they were, and
// the status bar says why.
TEST(LandmarkEditing, AnEditWhoseFitFailsIsTakenBack)
{
  Started s;
  s.Frame->ExecuteCommand(ID_EDIT_SOURCES);
  ASSERT_EQ(Mode::Sources, s.Editor->GetMode());
  // A first edit that fits, and its shape.
  const QPoint spot = s.BareSurface();
  ASSERT_GE(spot.x(), 0) << "no bare surface in sight";
  const vtkIdType n = s.Doc->Landmarks.GetCount();
  s.Click(spot);
  ASSERT_EQ(n + 1, s.Doc->Landmarks.GetCount()) << s.Message();
  ASSERT_TRUE(s.RefitShown());
  ASSERT_EQ(1, s.Doc->TransformOn);
  const auto shapeAt = [&](vtkIdType i)
  {
    std::array<double, 3> p = s.Source(i);
    std::array<double, 3> out;
    s.Doc->ShapeTransform->SetFactor(1.0f);
    s.Doc->ShapeTransform->TransformPoint(p.data(), out.data());
    s.Doc->ShapeTransform->SetFactor(0.0f);
    return out;
  };
  std::vector<std::array<double, 3>> shape;
  for (vtkIdType i = 0; i < n; i += 50)
  {
    shape.push_back(shapeAt(i));
  }
  std::vector<std::array<double, 3>> sources;
  for (vtkIdType i = 0; i <= n; ++i)
  {
    sources.push_back(s.Source(i));
  }

  // A radius no single-precision fit can take makes every refit fail: the next edit (delete
  // the added pair) is refused and undone.
  s.Doc->FitRadius = 1e-60;
  s.Click(s.OnScreen(s.Source(n).data()) + QPoint(1, 0));
  ASSERT_EQ(n, s.Editor->GetSelected());
  Press(s.Frame, Qt::Key_Delete);
  ASSERT_TRUE(s.RefitShown());
  EXPECT_NE(std::string::npos, s.Message().find("Refused")) << s.Message();
  EXPECT_NE(std::string::npos, s.Message().find("radius")) << s.Message();
  ASSERT_EQ(n + 1, s.Doc->Landmarks.GetCount()) << "the failed edit was kept";
  for (vtkIdType i = 0; i <= n; ++i)
  {
    EXPECT_EQ(sources[i], s.Source(i)) << "landmark " << i;
  }
  for (vtkIdType i = 0, k = 0; i < n; i += 50, ++k)
  {
    EXPECT_EQ(shape[k], shapeAt(i)) << "the shape changed at landmark " << i;
  }
}
