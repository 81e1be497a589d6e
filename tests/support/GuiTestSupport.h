// What every test that opens real windows shares: the one application object of the test
// process (with settings kept away from the user's own), private temporary directories,
// waiting for a condition with a deadline, and letting queued events run.
#ifndef GuiTestSupport_h
#define GuiTestSupport_h

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
/// A fresh directory of the test's own (made exclusively, removed with its contents at the
/// end), optionally with more levels below it (extraDepth, starting with "/").
class TempDir
{
public:
  explicit TempDir(const std::string& stem = "quorvel-test-", const std::string& extraDepth = "")
  {
    std::string pattern = (std::filesystem::temp_directory_path() / (stem + "XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char* made = ::mkdtemp(buffer.data());
    this->Root = made ? made : "";
    this->Dir = this->Root.empty() ? std::string() : this->Root + extraDepth;
    if (!this->Dir.empty())
    {
      std::error_code error;
      std::filesystem::create_directories(this->Dir, error);
    }
  }
  ~TempDir()
  {
    if (!this->Root.empty())
    {
      std::error_code error;
      std::filesystem::remove_all(this->Root, error);
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  /// The directory (empty when it could not be made).
  const std::string& Get() const { return this->Dir; }
  /// A file in the directory.
  std::string Path(const std::string& name) const { return this->Dir + "/" + name; }

private:
  std::string Root;
  std::string Dir;
};

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
