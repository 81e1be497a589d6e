/**
 * @file KeyState.h
 * @brief The state of the lock keys, for the status bar's CAP, NUM and SCRL indicators.
 *
 * Read from the X server's keyboard indicators ("Caps Lock", "Num Lock", "Scroll Lock")
 * when the application runs on X11. Other desktops do not tell an application; there the
 * state is unknown.
 */
#ifndef platform_KeyState_h
#define platform_KeyState_h

#include "win32.h"

/// 1 while the lock key (VK_CAPITAL, VK_NUMLOCK, VK_SCROLL) is on, 0 while it is off, -1
/// when the desktop does not say.
int GetLockKeyState(UINT virtualKey);

#endif
