/**
 * @file ProgressLine.h
 * @brief One updating line on a terminal that says what a long run is doing.
 *
 * Nothing is shown for runs shorter than a second, nor when standard error is not a
 * terminal (a log or a pipe gets the messages only). From the first second on, a helper
 * thread rewrites the line a few times a second with the current stage and the time spent.
 */
#ifndef ProgressLine_h
#define ProgressLine_h

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class ProgressLine
{
public:
  /// Shows progress on standard error when it is a terminal (or when forced, for tests).
  explicit ProgressLine(bool force = false);
  /// Clears the line.
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  /// The stage shown from now on ("reading the model", ...).
  void Stage(const std::string& stage);
  /// Clears the line, so that a message can be printed; the next update shows it again.
  void Clear();

private:
  void Run();

  bool Enabled;
  std::chrono::steady_clock::time_point Start;
  std::mutex Lock;
  std::condition_variable Wake;
  std::string Current;
  bool Shown = false;
  bool Stop = false;
  std::thread Worker;
};

#endif
