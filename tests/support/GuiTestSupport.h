// What every test that opens real windows shares: the one application object of the test
// process (with settings kept away from the user's own), private temporary directories,
// waiting for a condition with a deadline, and letting queued events run.
#ifndef GuiTestSupport_h
#define GuiTestSupport_h

#include "TempDir.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace guitest
{
using testsupport::TempDir;

/// The settings directory of the test process (XDG_CONFIG_HOME), so that the recent-file
/// list and other settings the tests write never touch the user's own.
inline const std::string& SettingsHome()
{
  static TempDir home("quorvel-test-config-");
  static const bool set = ::setenv("XDG_CONFIG_HOME", home.Get().c_str(), 1) == 0;
  (void)set;
  return home.Get();
}

/// The test process's application object, made on the first call with that call's program
/// name; later calls return the same object whatever name they pass.
inline QApplication& App(const char* programName = "tests")
{
  SettingsHome();
  static int argc = 1;
  static std::string name = programName;
  static char* argv[] = { &name[0], nullptr };
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

/// Runs the event loop until the condition holds or the deadline passes (deadlines are
/// generous: the machine may be loaded). Returns the condition's last answer.
inline bool WaitFor(const std::function<bool()>& condition, int deadlineMs = 30000)
{
  App();
  QElapsedTimer clock;
  clock.start();
  while (!condition())
  {
    if (clock.elapsed() > deadlineMs)
    {
      return condition();
    }
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

/// Delivers what is queued now (posted messages included) without waiting for more.
inline void Flush()
{
  for (int i = 0; i < 5; ++i)
  {
    QApplication::processEvents(QEventLoop::AllEvents);
  }
}

/// Lets queued events run for a moment (for checks that something does NOT happen).
inline void Settle(int ms = 100)
{
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms)
  {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
}
}

#endif
