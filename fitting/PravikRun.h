#ifndef PravikRun_h
#define PravikRun_h

#include <string>

/**
 * The run of the fitting tool: `Pravik [options] <filename[.dat]> <radius>` (the options in
 * PravikOptions.h). Reads the landmark file, fits the spline and writes the transform
 * coefficient file beside the input. Messages go to standard output, notes to standard error;
 * the result is the exit status. `Pravik --help` and `Pravik --version` describe the
 * program instead (PravikHelp.h).
 */
enum PravikStatus
{
  PravikWritten = 0,
  PravikUsage = 1,
  /**
   * The reader's Read failed, or no landmark was read from the file (it has no line that
   * starts with six numbers); nothing written.
   */
  PravikReadFailed = 2,
  PravikCannotCreateOutput = 3,
  /** Writing or closing the coefficient file failed; an earlier file of that name is kept. */
  PravikWriteFailed = 4,
  /** The kernel matrix is not positive definite (coincident landmarks); nothing written. */
  PravikNotPositive = 5,
  /** Memory ran out while ordering or solving; nothing written. */
  PravikOutOfMemory = 6,
  /**
   * The radius is not a finite number or beyond single precision, or a value of the fit is
   * not a finite number; nothing written.
   */
  PravikNotFinite = 7,
  /**
   * The conjugate gradient solve of a kernel matrix too large for the envelope did not reach
   * its residual; nothing written.
   */
  PravikNotConverged = 8
};

/**
 * The whole run of Pravik. When standard error is a terminal, a fit that has run for
 * progressDelaySeconds shows its progress there.
 */
int PravikMain(int argc, char* argv[], double progressDelaySeconds = 1.0);

/**
 * The coefficient file's name: the input name with a final ".dat" (any case) replaced by
 * ".trc", or with ".trc" appended when it has no such ending or at most four characters.
 */
std::string PravikOutputName(const std::string& input);

#endif
