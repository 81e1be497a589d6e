/**
 * @file CheckedUpdate.h
 * @brief Runs a reader's update and finds out whether VTK complained while it ran.
 *
 * VTK's file readers report trouble on the error channel and still hand out an output:
 * vtkPolyDataReader fills a file that ends early with whatever it read (sizes announced
 * by the header, contents undefined) and says so only in a generic warning, and an early
 * end inside a cell list makes it read on from a closed stream, which crashes the process
 * (VTK 9.1). The document must not show such a model, so it reads through this function:
 * every error and warning printed while the update runs is collected, and with
 * AbortOnError the first error of the reader ends the update at once, before the reader can
 * go on with a closed file.
 */
#ifndef CheckedUpdate_h
#define CheckedUpdate_h

#include <string>

class vtkAlgorithm;

struct CheckedUpdateResult
{
  /// No error or warning was reported and the update ran to its end.
  bool Ok = true;
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
 * Updates algorithm (on the calling thread) while collecting VTK's errors and warnings.
 * While it runs, the messages of every VTK object go to the collection instead of VTK's
 * output window (they are passed on to it afterwards), so it must be called on the thread
 * that runs the pipelines (the user-interface thread).
 */
CheckedUpdateResult CheckedUpdate(vtkAlgorithm* algorithm, CheckedUpdateMode mode);

#endif
