/**
 * @file WarpMessages.h
 * @brief pravik-warp's output window: what VTK reports, kept for the program to print.
 *
 * The batch tool prints its own sentence for every failure (the reason a reader or a check
 * gives); VTK's messages would repeat them in other words, with source file names and
 * addresses. So pravik-warp installs this window in place of VTK's: every error, warning and
 * text VTK reports is kept as a plain sentence (PlainVtkMessage), from any thread, and the
 * program prints at its end those it has not already said, one "note" line each on standard
 * error. Nothing is switched off: every message arrives here.
 */
#ifndef WarpMessages_h
#define WarpMessages_h

#include <vtkOutputWindow.h>

#include <mutex>
#include <string>
#include <vector>

class vtkWarpMessages : public vtkOutputWindow
{
public:
  static vtkWarpMessages* New();
  vtkTypeMacro(vtkWarpMessages, vtkOutputWindow);

  void DisplayText(const char* text) override;
  void DisplayErrorText(const char* text) override;
  void DisplayWarningText(const char* text) override;
  void DisplayGenericWarningText(const char* text) override;
  /// Debug lines are not kept (they are asked for with an object's DebugOn).
  void DisplayDebugText(const char*) override {}

  /// The messages kept so far, oldest first.
  std::vector<std::string> Messages() const;
  /// The last error kept, or "" when none was.
  std::string LastError() const;

protected:
  vtkWarpMessages() = default;
  ~vtkWarpMessages() override = default;

private:
  vtkWarpMessages(const vtkWarpMessages&) = delete;
  void operator=(const vtkWarpMessages&) = delete;

  void Keep(const char* text, bool error);

  mutable std::mutex Lock;
  std::vector<std::string> Kept;
  std::string Error;
};

#endif
