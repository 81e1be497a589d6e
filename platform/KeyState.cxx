#include "KeyState.h"

#include <QGuiApplication>

// Xlib's headers define names (None, Bool, Status, ...) that clash with Qt's: after Qt's.
#include <X11/XKBlib.h>

namespace
{
// A connection of our own to the display Qt uses, kept for the process's lifetime.
Display* KeyboardDisplay()
{
  static Display* display = []() -> Display*
  {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
    {
      return nullptr;
    }
    return XOpenDisplay(nullptr);
  }();
  return display;
}
}

//------------------------------------------------------------------------------
int GetLockKeyState(UINT virtualKey)
{
  const char* name = virtualKey == VK_CAPITAL ? "Caps Lock"
    : virtualKey == VK_NUMLOCK                ? "Num Lock"
    : virtualKey == VK_SCROLL                 ? "Scroll Lock"
                                              : nullptr;
  Display* display = name ? KeyboardDisplay() : nullptr;
  if (!display)
  {
    return -1;
  }
  const Atom indicator = XInternAtom(display, name, True);
  int on = 0;
  if (indicator == 0 || !XkbGetNamedIndicator(display, indicator, nullptr, &on, nullptr, nullptr))
  {
    return -1;
  }
  return on ? 1 : 0;
}
