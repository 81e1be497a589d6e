#ifndef PravikOptions_h
#define PravikOptions_h

#include "SolverChoice.h"

/**
 * The options of the fitting tool before its two arguments:
 *
 *   Pravik [--solver auto|envelope|sparse] [--smoothing S] [--leave-out SHARE]
 *          <filename[.dat]> <radius>
 *
 * --solver     how the kernel system is solved (default auto: the faster by prediction;
 *              envelope: the files of the first versions exactly)
 * --smoothing  S >= 0 on the kernel matrix's diagonal (default 0: the spline interpolates)
 * --leave-out  a share between 0 and 1 of the landmarks left out of a second fit, whose
 *              distance from their targets is reported (default 0: no such check)
 *
 * Options may be given in any order, each at most once, all before the file name.
 */
struct PravikOptions
{
  FitSolver Solver = FitSolver::Auto;
  double Smoothing = 0.0;
  bool SmoothingGiven = false;
  double LeaveOut = 0.0;
  const char* FileName = nullptr;
  const char* RadiusText = nullptr;
};

/**
 * Reads the command line (argv[0] is the program). Returns false, with a one-line reason in
 * `why` when an option is at fault (empty when the arguments are simply not two), when the
 * call is not of the form above.
 */
bool ParsePravikOptions(int argc, char* argv[], PravikOptions& options, const char*& why);

/** The usage help's lines for these options (each line ends with a newline). */
const char* PravikOptionsHelp();

#endif
