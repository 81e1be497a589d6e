#include "HaldenSettings.h"

#include "CHaldenView.h"
#include "MainFrm.h"
#include "OptionsDlg.h"
#include "WinApp.h"

#include <cmath>

namespace
{
constexpr int DefaultX = 1;
constexpr int DefaultY = 1;
constexpr int DefaultWidth = 652;
constexpr int DefaultHeight = 572;
// Beyond these the placement is not one a window had: the settings are damaged.
constexpr int MinimumSize = 100;
constexpr int Far = 100000;

CHaldenView* ViewOf(CMainFrame* frame)
{
  return dynamic_cast<CHaldenView*>(frame->GetActiveView());
}

// The colour as the colour dialog gives it, or -1 for a colour no byte triple gives (such
// as the first version's 0.9, 1.0, 0.9): only the former is kept, so that it reads back
// exactly.
long ColorBytes(const float color[3])
{
  long bytes = 0;
  for (int i = 0; i < 3; ++i)
  {
    const long byte = std::lround(color[i] * 255.0);
    if (byte < 0 || byte > 255 || static_cast<float>(byte * (1.0 / 255.0)) != color[i])
    {
      return -1;
    }
    bytes |= byte << (8 * i);
  }
  return bytes;
}
}

//------------------------------------------------------------------------------
void RestoreSettings(CMainFrame* frame)
{
  CWinApp* app = AfxGetApp();
  if (!app || !frame)
  {
    return;
  }
  int x = app->GetProfileInt("Window", "X", DefaultX);
  int y = app->GetProfileInt("Window", "Y", DefaultY);
  int width = app->GetProfileInt("Window", "Width", DefaultWidth);
  int height = app->GetProfileInt("Window", "Height", DefaultHeight);
  if (width < MinimumSize || width > Far || height < MinimumSize || height > Far ||
    std::abs(x) > Far || std::abs(y) > Far)
  {
    x = DefaultX;
    y = DefaultY;
    width = DefaultWidth;
    height = DefaultHeight;
  }
  frame->MoveWindow(x, y, width, height);
  frame->ShowControlBar(&frame->m_wndToolBar, app->GetProfileInt("Window", "Toolbar", 1) != 0);
  frame->ShowControlBar(&frame->m_wndStatusBar, app->GetProfileInt("Window", "StatusBar", 1) != 0);

  CHaldenView* view = ViewOf(frame);
  if (!view)
  {
    return;
  }
  const int bytes = app->GetProfileInt("View", "BodyColor", -1);
  if (bytes >= 0 && bytes <= 0xFFFFFF)
  {
    const double scale = 1.0 / 255.0;
    view->BodyColor[0] = static_cast<float>(GetRValue(bytes) * scale);
    view->BodyColor[1] = static_cast<float>(GetGValue(bytes) * scale);
    view->BodyColor[2] = static_cast<float>(GetBValue(bytes) * scale);
    for (int i = 0; i < 3; ++i)
    {
      view->BackfaceColor[i] = view->BodyColor[i];
    }
    view->ApplyColors();
  }
  view->ShowOrientationMarker(app->GetProfileInt("View", "OrientationMarker", 1) != 0);
  if (auto* options = dynamic_cast<COptionsDlg*>(view->GetOptionsDialog()))
  {
    options->LoadSettings();
  }
}

//------------------------------------------------------------------------------
void KeepSettings(CMainFrame* frame)
{
  CWinApp* app = AfxGetApp();
  if (!app || !frame)
  {
    return;
  }
  RECT place;
  frame->GetWindowRect(&place);
  app->WriteProfileInt("Window", "X", static_cast<int>(place.left));
  app->WriteProfileInt("Window", "Y", static_cast<int>(place.top));
  app->WriteProfileInt("Window", "Width", static_cast<int>(place.right - place.left));
  app->WriteProfileInt("Window", "Height", static_cast<int>(place.bottom - place.top));
  app->WriteProfileInt("Window", "Toolbar", frame->m_wndToolBar.IsVisible() ? 1 : 0);
  app->WriteProfileInt("Window", "StatusBar", frame->m_wndStatusBar.IsVisible() ? 1 : 0);

  CHaldenView* view = ViewOf(frame);
  if (!view)
  {
    return;
  }
  app->WriteProfileInt("View", "BodyColor", static_cast<int>(ColorBytes(view->BodyColor)));
  app->WriteProfileInt("View", "OrientationMarker", view->IsOrientationMarkerShown() ? 1 : 0);
  if (auto* options = dynamic_cast<COptionsDlg*>(view->GetOptionsDialog()))
  {
    options->SaveSettings();
  }
}
