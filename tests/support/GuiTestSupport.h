// Event-loop helpers shared by the tests that open real windows: the one application object
// of the test process, waiting for a condition with a deadline, and letting queued events run.
#ifndef GuiTestSupport_h
#define GuiTestSupport_h

#include <QApplication>
#include <QElapsedTimer>

#include <functional>
#include <string>

namespace guitest
{
/// The test process's application object, made on the first call with that call's program
/// name; later calls return the same object whatever name they pass.
inline QApplication& Application(const char* programName = "tests")
{
  static int argc = 1;
  static std::string name = programName;
  static char* argv[] = { &name[0], nullptr };
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

/// Runs the event loop until the condition holds or the deadline passes (deadlines are
/// generous: the machine may be loaded). Returns the condition's last answer.
inline bool PumpUntil(const std::function<bool()>& condition, int deadlineMs)
{
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
inline void Settle(int ms)
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
