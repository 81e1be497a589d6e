// The camera as users of other viewers expect it: Reset Camera, the six standard views, the
// orientation marker and the mouse wheel, through the real window's keys and mouse.
#include "UxHarness.h"

#include "Prompts.h"
#include "vtkRecordPlayView.h"

#include <gtest/gtest.h>

#include <QWheelEvent>

#include <vtkCamera.h>
#include <vtkRenderer.h>

#include <array>
#include <cmath>

using namespace ux;

namespace
{
struct Started
{
  bool Fresh = (ForgetSettings(), true);
  std::string Model = ScannedModel("scanned.vtk");
  shell::Shell App{ { Model } };
  CMainFrame* Frame = App.Frame();
  CHaldenView* View = ViewOf(Frame);
  CHaldenDoc* Doc = DocOf(Frame);
  Started()
  {
    EXPECT_TRUE(App.Started);
    EXPECT_TRUE(shell::WaitFor([&] { return View->GetInteractor()->GetInitialized() != 0; }));
    Activate(this->Frame);
  }
  vtkCamera* Camera() const { return this->View->GetRenderer()->GetActiveCamera(); }
  std::array<double, 3> Centre() const
  {
    double b[6];
    this->Doc->Reader->GetOutput()->GetBounds(b);
    return { (b[0] + b[1]) / 2, (b[2] + b[3]) / 2, (b[4] + b[5]) / 2 };
  }
  /// Where a world point is drawn, in pixels from the lower left corner.
  std::array<double, 2> OnScreen(const double p[3]) const
  {
    vtkRenderer* r = this->View->GetRenderer();
    r->SetWorldPoint(p[0], p[1], p[2], 1.0);
    r->WorldToDisplay();
    return { r->GetDisplayPoint()[0], r->GetDisplayPoint()[1] };
  }
  /// The wheel turned by the given notches over the middle of the view.
  void Wheel(int notches)
  {
    QWidget* w = this->View->GetWidget();
    const QPoint middle(w->width() / 2, w->height() / 2);
    QWheelEvent event(QPointF(middle), QPointF(w->mapToGlobal(middle)), QPoint(),
      QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &event);
  }
};

double Distance(const double a[3], const double b[3])
{
  return std::sqrt(vtkMath::Distance2BetweenPoints(a, b));
}
}

TEST(CameraCommands, ResetCameraReturnsToTheViewTheModelOpenedWithAfterAHeldButtonTurnedIt)
{
  Started s;
  double opened[3], openedUp[3];
  s.Camera()->GetPosition(opened);
  s.Camera()->GetViewUp(openedUp);

  // Held to the right of the centre, the joystick turns the model tick by tick.
  QWidget* w = s.View->GetWidget();
  QTest::mousePress(w, Qt::LeftButton, {}, QPoint(w->width() / 2 + 80, w->height() / 2));
  ASSERT_TRUE(shell::WaitFor([&] { return Distance(s.Camera()->GetPosition(), opened) > 1.0; }));
  QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(w->width() / 2 + 80, w->height() / 2));

  Press(s.Frame, Qt::Key_Home);
  EXPECT_LT(Distance(s.Camera()->GetPosition(), opened), 1e-9);
  double up[3];
  s.Camera()->GetViewUp(up);
  EXPECT_LT(Distance(up, openedUp), 1e-9);
  const auto centre = s.Centre();
  EXPECT_LT(Distance(s.Camera()->GetFocalPoint(), centre.data()), 1e-9);
}

TEST(CameraCommands, EachStandardViewLooksAlongItsAxisAtTheModelsCentreAndFitsIt)
{
  Started s;
  Press(s.Frame, Qt::Key_M, Qt::ControlModifier); // the marker off: only the model is drawn
  ASSERT_FALSE(s.View->IsOrientationMarkerShown());
  struct Case
  {
    Qt::Key Key;
    double Direction[3];
    double Up[3];
  };
  const Case cases[] = {
    { Qt::Key_1, { 0, 0, -1 }, { 0, 1, 0 } },
    { Qt::Key_2, { 0, 0, 1 }, { 0, 1, 0 } },
    { Qt::Key_3, { 1, 0, 0 }, { 0, 1, 0 } },
    { Qt::Key_4, { -1, 0, 0 }, { 0, 1, 0 } },
    { Qt::Key_5, { 0, -1, 0 }, { 0, 0, -1 } },
    { Qt::Key_6, { 0, 1, 0 }, { 0, 0, 1 } },
  };
  double bounds[6];
  s.Doc->Reader->GetOutput()->GetBounds(bounds);
  for (const Case& c : cases)
  {
    SCOPED_TRACE("Ctrl+" + std::to_string(c.Key - Qt::Key_0));
    // From a turned camera, so that nothing is left of the view before.
    s.Camera()->Azimuth(33);
    s.Camera()->Elevation(21);
    s.Camera()->OrthogonalizeViewUp();
    Press(s.Frame, c.Key, Qt::ControlModifier);
    double dop[3], up[3];
    s.Camera()->GetDirectionOfProjection(dop);
    s.Camera()->GetViewUp(up);
    EXPECT_LT(Distance(dop, c.Direction), 1e-9);
    EXPECT_LT(Distance(up, c.Up), 1e-9);
    const auto centre = s.Centre();
    EXPECT_LT(Distance(s.Camera()->GetFocalPoint(), centre.data()), 1e-6);

    const Picture picture = Grab(s.View);
    const auto middle = s.OnScreen(centre.data());
    EXPECT_NEAR(middle[0], picture.Width / 2.0, 1.0);
    EXPECT_NEAR(middle[1], picture.Height / 2.0, 1.0);
    // Every corner of the model's box is in the window.
    for (int corner = 0; corner < 8; ++corner)
    {
      const double p[3] = { bounds[corner & 1], bounds[2 + ((corner >> 1) & 1)],
        bounds[4 + ((corner >> 2) & 1)] };
      const auto at = s.OnScreen(p);
      EXPECT_GE(at[0], 0.0);
      EXPECT_LE(at[0], picture.Width);
      EXPECT_GE(at[1], 0.0);
      EXPECT_LE(at[1], picture.Height);
    }
    // The drawn model sits around the window's centre and is not a speck.
    long n = 0;
    double sx = 0, sy = 0;
    for (int y = 0; y < picture.Height; ++y)
    {
      for (int x = 0; x < picture.Width; ++x)
      {
        const unsigned char* p = picture.At(x, y);
        if (NotBackground(p[0], p[1], p[2]))
        {
          ++n;
          sx += x;
          sy += y;
        }
      }
    }
    ASSERT_GT(n, picture.Width * picture.Height / 50);
    EXPECT_NEAR(sx / n, picture.Width / 2.0, picture.Width * 0.1);
    EXPECT_NEAR(sy / n, picture.Height / 2.0, picture.Height * 0.1);
  }
}

TEST(CameraCommands, TheOrientationMarkerIsDrawnInTheLowerLeftCornerUntilSwitchedOff)
{
  Started s;
  ASSERT_TRUE(s.View->IsOrientationMarkerShown()) << "on at the first start";
  // The axes' colours: x red, y green, z blue, in the corner only.
  auto red = [](int r, int g, int b) { return r > 150 && g < 90 && b < 90; };
  auto green = [](int r, int g, int b) { return g > 150 && r < 90 && b < 90; };
  Picture on = Grab(s.View);
  const int cw = on.Width / 5, ch = on.Height / 5;
  EXPECT_GT(on.Count(0, 0, cw, ch, red), 20);
  EXPECT_GT(on.Count(0, 0, cw, ch, green), 20);
  EXPECT_EQ(on.Count(cw, ch, on.Width, on.Height, red), 0) << "the marker stays in its corner";

  // It turns with the camera: seen from the right, x points at the viewer and shows less.
  const long redFront = on.Count(0, 0, cw, ch, red);
  Press(s.Frame, Qt::Key_4, Qt::ControlModifier);
  EXPECT_LT(Grab(s.View).Count(0, 0, cw, ch, red), redFront);

  Press(s.Frame, Qt::Key_M, Qt::ControlModifier);
  EXPECT_FALSE(s.View->IsOrientationMarkerShown());
  s.Frame->UpdateCommandUI();
  EXPECT_FALSE(s.Frame->GetCommandAction(ID_VIEW_AXES)->isChecked());
  Picture off = Grab(s.View);
  EXPECT_EQ(off.Count(0, 0, cw, ch, red), 0);
  EXPECT_EQ(off.Count(0, 0, cw, ch, green), 0);
  // The model renderer alone again, as the first version had it.
  EXPECT_EQ(s.View->GetRenderWindow()->GetRenderers()->GetNumberOfItems(), 1);
}

TEST(CameraCommands, TheWheelZoomsTowardsTheModelsCentreAndARecordingCapturesIt)
{
  Started s;
  const auto centre = s.Centre();
  const double before = Distance(s.Camera()->GetPosition(), centre.data());
  double dop[3];
  s.Camera()->GetDirectionOfProjection(dop);

  s.Wheel(1);
  const double nearer = Distance(s.Camera()->GetPosition(), centre.data());
  // One notch: the joystick style's dolly of 1.1 to the power 2.
  EXPECT_NEAR(before / nearer, 1.21, 1e-6);
  EXPECT_LT(Distance(s.Camera()->GetFocalPoint(), centre.data()), 1e-6) << "towards the centre";
  double after[3];
  s.Camera()->GetDirectionOfProjection(after);
  EXPECT_LT(Distance(dop, after), 1e-9);
  s.Wheel(-2);
  EXPECT_NEAR(Distance(s.Camera()->GetPosition(), centre.data()) / nearer, 1.21 * 1.21, 1e-6);

  // Recorded like a drag: the reference line, then a line per wheel notch.
  CScriptedPrompts prompts;
  for (const int notches : { 0, 1, 3 })
  {
    SCOPED_TRACE(notches);
    const std::string path =
      shell::ConfigHome().toStdString() + "/wheel" + std::to_string(notches) + ".csr";
    Press(s.Frame, Qt::Key_R, Qt::ControlModifier);
    ASSERT_EQ(s.View->IsRecording(), 1);
    Press(s.Frame, Qt::Key_Space); // armed -> recording
    ASSERT_FALSE(s.View->IsPaused());
    for (int i = 0; i < notches; ++i)
    {
      s.Wheel(1);
    }
    prompts.AnswerFile(path);
    Press(s.Frame, Qt::Key_Pause, Qt::ControlModifier);
    ASSERT_EQ(s.View->IsRecording(), 0);
    EXPECT_EQ(Lines(path).size(), static_cast<std::size_t>(1 + notches));
  }
  EXPECT_TRUE(prompts.Messages.empty());
}

TEST(CameraCommands, CameraCommandsWaitForAModel)
{
  ForgetSettings();
  shell::Shell app;
  ASSERT_TRUE(app.Started);
  app.Frame()->UpdateCommandUI();
  for (UINT id = ID_VIEW_RESET_CAMERA; id <= ID_VIEW_BOTTOM; ++id)
  {
    EXPECT_FALSE(app.Frame()->IsCommandEnabled(id)) << id;
  }
  EXPECT_TRUE(app.Frame()->IsCommandEnabled(ID_VIEW_AXES));
}
