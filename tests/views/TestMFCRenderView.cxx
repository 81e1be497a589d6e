// The render view base: messages reach VTK only from the first paint on, a drag through
// WindowProc turns the camera, interactor timers come back as WM_TIMER, Edit > Copy puts
// the picture on the clipboard as a bottom-up 24-bit DIB.
#include "ViewHarness.h"

#include "Clipboard.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <vtkInteractorStyleJoystickCamera.h>
#include <vtkRendererCollection.h>

#include <cmath>
#include <cstring>

using harness::Viewer;
using harness::WaitFor;

namespace
{
double Distance(const double a[3], const double b[3])
{
  return std::sqrt(
    (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

struct CameraState
{
  double Position[3];
  double FocalPoint[3];
  explicit CameraState(vtkCamera* c)
  {
    c->GetPosition(this->Position);
    c->GetFocalPoint(this->FocalPoint);
  }
  bool SameAs(vtkCamera* c) const
  {
    double p[3];
    c->GetPosition(p);
    return Distance(p, this->Position) < 1e-9;
  }
};
}

TEST(MFCRenderView, WindowIsBoundAt640x480AndStartsWithTwoRenderersOneLayer)
{
  Viewer viewer(false);
  ASSERT_NE(viewer.View, nullptr);
  vtkPlatformRenderWindow* window = viewer.View->GetRenderWindow();
  EXPECT_TRUE(window->IsBound());
  EXPECT_EQ(window->GetSize()[0], 640);
  EXPECT_EQ(window->GetSize()[1], 480);
  EXPECT_EQ(window->GetNumberOfLayers(), 1);
  EXPECT_EQ(window->GetRenderers()->GetNumberOfItems(), 1);
  EXPECT_EQ(window->GetRenderers()->GetFirstRenderer(), viewer.View->GetRenderer());
  double rgb[3];
  viewer.View->GetRenderer()->GetBackground(rgb);
  EXPECT_NEAR(rgb[0], 0.05, 1e-6);
  EXPECT_NEAR(rgb[1], 0.35, 1e-6);
  EXPECT_NEAR(rgb[2], 0.45, 1e-6);
  EXPECT_TRUE(
    vtkInteractorStyleJoystickCamera::SafeDownCast(viewer.View->GetInteractorStyle()) != nullptr);
}

TEST(MFCRenderView, NothingReachesVtkBeforeTheFirstPaint)
{
  Viewer viewer(false);
  auto* view = viewer.View;
  ASSERT_NE(view, nullptr);
  vtkCamera* camera = view->GetRenderer()->GetActiveCamera();
  const CameraState before(camera);

  // A whole drag, and a timer tick, while the window has never been painted.
  view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  view->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(200, 150));
  view->SendMessage(WM_TIMER, 1, 0);
  view->SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(200, 150));

  EXPECT_EQ(view->Count(WM_LBUTTONDOWN), 1); // the view saw them ...
  EXPECT_EQ(view->GetInteractor()->GetInitialized(), 0);
  EXPECT_EQ(view->GetInteractor()->GetMessageEventCount(), 0); // ... VTK did not
  EXPECT_EQ(view->GetInteractor()->GetRenderWindow(), nullptr);
  EXPECT_TRUE(before.SameAs(camera));
}

TEST(MFCRenderView, AfterTheFirstPaintADragThroughWindowProcTurnsTheCamera)
{
  Viewer viewer(true);
  auto* view = viewer.View;
  ASSERT_TRUE(viewer.ShowAndPaint());
  EXPECT_EQ(view->GetInteractor()->GetRenderWindow(), view->GetRenderWindow());
  vtkCamera* camera = view->GetRenderer()->GetActiveCamera();
  const CameraState before(camera);

  const int* size = view->GetInteractor()->GetSize();
  ASSERT_GT(size[0], 100);
  // Press left of the centre, as a person starting a drag; one timer tick of the style.
  const LPARAM point =
    MAKELPARAM(static_cast<unsigned>(size[0] / 2 - 80), static_cast<unsigned>(size[1] / 2));
  view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, point);
  view->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, point);
  view->SendMessage(WM_TIMER, 0, 0);
  view->SendMessage(WM_LBUTTONUP, 0, point);

  EXPECT_GE(view->GetInteractor()->GetMessageEventCount(), 4);
  EXPECT_FALSE(before.SameAs(camera)) << "the camera did not move";
  // Turning about the focal point keeps the distance.
  double p[3];
  camera->GetPosition(p);
  EXPECT_NEAR(Distance(p, before.FocalPoint), Distance(before.Position, before.FocalPoint),
    1e-6 * Distance(before.Position, before.FocalPoint));
}

TEST(MFCRenderView, AWindowWhoseSceneDoesNotChangeStopsPainting)
{
  Viewer viewer(true);
  auto* view = viewer.View;
  ASSERT_TRUE(viewer.ShowAndPaint());
  // A render outside a paint, as an animation step makes it: one paint shows it.
  view->GetRenderWindow()->Render();
  ASSERT_TRUE(WaitFor([&] { return view->Count(WM_PAINT) >= 2; }));
  // Everything asked for so far has been painted once a paint asked for now has come: the
  // window folds the paints it has been asked for into one.
  int paints = view->Count(WM_PAINT);
  view->Invalidate();
  ASSERT_TRUE(WaitFor([&] { return view->Count(WM_PAINT) > paints; }));
  // Nothing changes: a paint does not ask for the next (each would render the whole scene
  // again). One paint asked for now, and every event that follows from it, make one paint.
  paints = view->Count(WM_PAINT);
  view->Invalidate();
  ASSERT_TRUE(WaitFor([&] { return view->Count(WM_PAINT) > paints; }));
  for (int round = 0; round < 4; ++round)
  {
    guitest::Flush();
  }
  EXPECT_EQ(view->Count(WM_PAINT), paints + 1);
}

TEST(MFCRenderView, InteractorTimersArriveAsWmTimerThroughWindowProc)
{
  Viewer viewer(true);
  auto* view = viewer.View;
  ASSERT_TRUE(viewer.ShowAndPaint());
  vtkCamera* camera = view->GetRenderer()->GetActiveCamera();
  const CameraState before(camera);
  const int* size = view->GetInteractor()->GetSize();
  const LPARAM point =
    MAKELPARAM(static_cast<unsigned>(size[0] / 2), static_cast<unsigned>(size[1] / 2 - 60));

  view->Messages.clear();
  view->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, point);
  // The held button makes the style start its repeating timer: the window's timer, whose
  // ticks come back through WindowProc and move the camera.
  EXPECT_TRUE(WaitFor([&] { return view->Count(WM_TIMER) >= 3; }));
  EXPECT_FALSE(before.SameAs(camera));
  view->SendMessage(WM_LBUTTONUP, 0, point);

  // Released: the timer is gone, no more ticks.
  QApplication::processEvents();
  const int ticks = view->Count(WM_TIMER);
  QElapsedTimer quiet;
  quiet.start();
  while (quiet.elapsed() < 300)
  {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  EXPECT_EQ(view->Count(WM_TIMER), ticks);
}

TEST(MFCRenderView, SizeReachesTheInteractorOnlyAfterTheFirstPaint)
{
  Viewer viewer(false);
  auto* view = viewer.View;
  view->SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
  EXPECT_EQ(view->GetInteractor()->GetSize()[0], 0);
  EXPECT_EQ(view->GetRenderWindow()->GetSize()[0], 640);

  ASSERT_TRUE(viewer.ShowAndPaint());
  view->SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
  EXPECT_EQ(view->GetInteractor()->GetSize()[0], 300);
  EXPECT_EQ(view->GetInteractor()->GetSize()[1], 200);
}

TEST(MFCRenderView, EditCopyPutsABottomUpDibOfTheTextOnTheBackground)
{
  Viewer viewer(true);
  auto* view = viewer.View;
  view->GetWidget()->setFixedSize(641, 400);
  ASSERT_TRUE(viewer.ShowAndPaint());
  vtkPlatformRenderWindow* window = view->GetRenderWindow();
  ASSERT_TRUE(WaitFor([&] { return window->GetSize()[0] == 641 && window->GetSize()[1] == 400; }))
    << window->GetSize()[0] << " x " << window->GetSize()[1];

  ASSERT_TRUE(viewer.Frame->ExecuteCommand(ID_EDIT_COPY));
  const std::vector<BYTE> dib = GetClipboardData(CF_DIB);
  const std::size_t row = 1924;
  ASSERT_EQ(dib.size(), 40 + row * 400);

  BITMAPINFOHEADER h;
  std::memcpy(&h, dib.data(), sizeof h);
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biWidth, 641);
  EXPECT_EQ(h.biHeight, 400);
  EXPECT_EQ(h.biPlanes, 1);
  EXPECT_EQ(h.biBitCount, 24);
  EXPECT_EQ(h.biCompression, BI_RGB);
  EXPECT_EQ(h.biSizeImage, row * 400);
  EXPECT_EQ(h.biXPelsPerMeter, 0);
  EXPECT_EQ(h.biYPelsPerMeter, 0);
  EXPECT_EQ(h.biClrUsed, 0u);
  EXPECT_EQ(h.biClrImportant, 0u);

  // Blue, green, red of the background colour (0.05, 0.35, 0.45).
  const int bg[3] = { 115, 89, 13 };
  const BYTE* pixels = dib.data() + 40;
  long background = 0, bright = 0, padding = 0;
  for (int y = 0; y < 400; ++y)
  {
    const BYTE* r = pixels + row * y;
    padding += r[1923];
    for (int x = 0; x < 641; ++x)
    {
      const BYTE* p = r + 3 * x;
      if (std::abs(p[0] - bg[0]) <= 2 && std::abs(p[1] - bg[1]) <= 2 && std::abs(p[2] - bg[2]) <= 2)
      {
        ++background;
      }
      else if (p[0] > 150 && p[1] > 150 && p[2] > 150)
      {
        ++bright;
      }
    }
  }
  EXPECT_EQ(padding, 0) << "row padding must be zero";
  EXPECT_GT(background, 641L * 400 / 2) << "mostly the background colour";
  EXPECT_GT(bright, 500) << "the text shows light on the background";
  // The text is a band across the middle: the top and bottom rows are plain background.
  for (int y : { 0, 399 })
  {
    const BYTE* p = pixels + row * y + 3 * 320;
    EXPECT_NEAR(p[0], bg[0], 2);
    EXPECT_NEAR(p[1], bg[1], 2);
    EXPECT_NEAR(p[2], bg[2], 2);
  }
  // The screen is the screen again afterwards.
  EXPECT_EQ(window->GetMemoryRendering(), 0);
}

TEST(MFCRenderView, DibRowsArePaddedToFourBytes)
{
  EXPECT_EQ(vtkMFCView::DibRowSize(641), 1924u);
  EXPECT_EQ(vtkMFCView::DibRowSize(640), 1920u);
  EXPECT_EQ(vtkMFCView::DibRowSize(1), 4u);
  EXPECT_EQ(vtkMFCView::DibRowSize(3), 12u);
  EXPECT_EQ(vtkMFCView::DibRowSize(0), 0u);
}
