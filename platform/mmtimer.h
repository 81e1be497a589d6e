/**
 * @file mmtimer.h
 * @brief A periodic timer in the manner of the Windows multimedia timer (timeSetEvent).
 *
 * Each timer is its own thread that calls the procedure every period, measured on a steady
 * clock from the moment the timer was created (so that the period does not drift by the
 * time the procedure takes). The procedure runs on that thread, never on the caller's.
 *
 * timeKillEvent stops the timer and waits for its thread: once it returns, the procedure is
 * not running and will not run again, so the user value may be released. Called from the
 * timer's own procedure it stops the timer without waiting (waiting for itself would never
 * end); the thread then ends after the procedure returns.
 *
 * No Qt: worker-thread code and its tests use this with the kernel services alone.
 */
#ifndef platform_mmtimer_h
#define platform_mmtimer_h

#include "win32.h"

/// Timer procedure: timer identifier, message (0), user value, two reserved values (0).
using LPTIMECALLBACK = void (*)(
  UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR dw1, DWORD_PTR dw2);

/**
 * Creates a timer that calls procedure(id, 0, user, 0, 0) every delay milliseconds
 * (TIME_PERIODIC) or once after delay milliseconds (TIME_ONESHOT). resolution is accepted
 * for compatibility: the steady clock is used at its own precision.
 * @return the timer identifier (never 0), or 0 when delay is 0, the procedure is missing or
 * no thread can be started.
 */
UINT timeSetEvent(
  UINT delay, UINT resolution, LPTIMECALLBACK procedure, DWORD_PTR user, UINT eventType);

/// Stops the timer and joins its thread (see the file comment). TIMERR_NOERROR, or
/// MMSYSERR_INVALPARAM for an identifier that names no running timer.
MMRESULT timeKillEvent(UINT timerId);

#endif
