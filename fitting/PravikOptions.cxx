#include "PravikOptions.h"

#include "NumberText.h"

#include <cmath>
#include <cstring>

namespace
{
// The whole text as a number; NaN when anything but a number is there.
double WholeNumber(const char* text)
{
  const char* end = text;
  const double value = NumberText::ToDouble(text, &end);
  return end != text && *end == '\0' ? value : NAN;
}
}

//------------------------------------------------------------------------------
bool ParsePravikOptions(int argc, char* argv[], PravikOptions& options, const char*& why)
{
  why = "";
  bool solverGiven = false;
  bool leaveOutGiven = false;
  int k = 1;
  // The last two arguments are always the file and the radius, so that the plain two-argument
  // call reads any file name, one starting with "--" included, as it always has.
  for (; k + 2 < argc && std::strncmp(argv[k], "--", 2) == 0; k += 2)
  {
    const char* name = argv[k];
    const char* value = argv[k + 1];
    if (std::strcmp(name, "--solver") == 0 && !solverGiven)
    {
      solverGiven = true;
      if (!ParseFitSolver(value, options.Solver))
      {
        why = "--solver takes auto, envelope or sparse";
        return false;
      }
    }
    else if (std::strcmp(name, "--smoothing") == 0 && !options.SmoothingGiven)
    {
      options.SmoothingGiven = true;
      options.Smoothing = WholeNumber(value);
      if (!(options.Smoothing >= 0.0) || !std::isfinite(options.Smoothing))
      {
        why = "--smoothing takes a number S >= 0";
        return false;
      }
    }
    else if (std::strcmp(name, "--leave-out") == 0 && !leaveOutGiven)
    {
      leaveOutGiven = true;
      options.LeaveOut = WholeNumber(value);
      if (!(options.LeaveOut > 0.0 && options.LeaveOut < 1.0))
      {
        why = "--leave-out takes a share between 0 and 1";
        return false;
      }
    }
    else
    {
      why = "unknown or repeated option";
      return false;
    }
  }
  if (argc - k != 2)
  {
    return false;
  }
  options.FileName = argv[k];
  options.RadiusText = argv[k + 1];
  return true;
}

//------------------------------------------------------------------------------
const char* PravikOptionsHelp()
{
  return "  --solver auto|envelope|sparse  how the kernel system is solved (default auto: the\n"
         "                                 faster by prediction; envelope: the first versions'\n"
         "                                 files exactly)\n"
         "  --smoothing S                  S >= 0 added to the kernel matrix's diagonal: the\n"
         "                                 spline passes near noisy landmarks (default 0)\n"
         "  --leave-out SHARE              fit again without that share of the landmarks and\n"
         "                                 report how far they lie from the spline\n";
}
