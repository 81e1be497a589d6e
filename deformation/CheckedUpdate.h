/**
 * @file CheckedUpdate.h
 * @brief Runs a reader's update and finds out whether VTK complained while it ran.
 *
 * VTK's file readers report trouble on the error channel and still hand out an output:
 * vtkPolyDataReader fills a file that ends early with whatever it read (sizes announced
 * by the header, contents undefined) and says so only in a generic warning, and an early
 * end inside a cell list makes it read on from a closed stream, which crashes the process
 * (VTK 9.1). The document must not show such a model, so it reads through this function:
 * every error and warning reported on the calling thread while the update runs is
 * collected, and with AbortOnError the first error of the reader ends the update at once,
 * before the reader can go on with a closed file.
 *
 * Messages that name no object (VTK's generic warnings) reach only VTK's output window. To
 * hear them without swapping the process-wide window while other threads may report, the
 * first call installs, once, a window of its own in front of the one in place: it keeps the
 * messages of each thread that is inside CheckedUpdate for that call and passes every other
 * message on, unchanged, to the window it stands in front of. A program that installs an
 * output window of its own does so before its first CheckedUpdate (or calls
 * InstallUpdateMessageCapture() after it); when the window has been replaced since, the next
 * call puts the capture in front of the new one.
 */
#ifndef CheckedUpdate_h
#define CheckedUpdate_h

#include <string>

class vtkAlgorithm;

struct CheckedUpdateResult
{
  /// No error or warning was reported and the update ran to its end.
  bool Ok = true;
  /// An error was reported (or the update ran out of memory), not only warnings.
  bool ErrorReported = false;
  /// The first complaint, without VTK's source-file prefix; empty when Ok.
  std::string Message;
};

enum class CheckedUpdateMode
{
  /// Let the update run to its end and collect what was said.
  Collect,
  /// End the update at the reader's first error (the reader must not be used afterwards
  /// except to be released; a vtkDataReader gets its file closed).
  AbortOnError
};

/**
 * Updates algorithm on the calling thread while collecting the VTK errors and warnings
 * reported on this thread (by the algorithm, its executive or any other object). What was
 * collected is passed on to the output window afterwards. Several threads may run it at
 * once, each on pipelines of its own; messages of threads that an update starts itself
 * (VTK's SMP backends) are not collected.
 */
CheckedUpdateResult CheckedUpdate(vtkAlgorithm* algorithm, CheckedUpdateMode mode);

/**
 * Installs the capturing output window in front of the window now in place, unless it is
 * already there. CheckedUpdate calls it; a program that reports from several threads before
 * its first CheckedUpdate may call it once at start.
 */
void InstallUpdateMessageCapture();

/**
 * A VTK message as a sentence: "ERROR: In file.cxx, line 12\nvtkReader (0x1234): Some
 * problem\n\n" becomes "Some problem"; an empty message becomes "the reader reported an error".
 */
std::string PlainVtkMessage(const std::string& text);

#endif
