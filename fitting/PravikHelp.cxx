#include "PravikHelp.h"

#include "PravikOptions.h"

#include <cstring>

namespace
{
// help2man turns "Usage:", "Options:", "Exit status:" and "Examples:" into the manual
// page's sections; keep those headings at the start of their lines.
const char* const HelpHead =
  "Usage: Pravik [--solver auto|envelope|sparse] [--smoothing S] [--leave-out SHARE]\n"
  "              <filename[.dat]> <radius>\n"
  "Fits a smooth deformation to landmark pairs and writes it as a transform coefficient\n"
  "file (.trc) beside the landmark file: a final .dat (any case) becomes .trc, any other\n"
  "name gets .trc appended (leg.dat -> leg.trc, leg.txt -> leg.txt.trc). An existing file\n"
  "is overwritten.\n"
  "\n"
  "The deformation is, per axis, a compactly supported radial-basis spline (kernel\n"
  "(1 - r/R)^2 within the radius R) with an affine part; it carries every source landmark\n"
  "onto its target. The kernel system is solved by an envelope Cholesky factorisation or\n"
  "by preconditioned conjugate gradients on the matrix's nonzero entries (in double\n"
  "precision), whichever is predicted to be faster; a set whose envelope would not fit in\n"
  "memory (more than a gigabyte, or a quarter of a smaller machine's memory) always takes\n"
  "the second. Both give the same kind of file.\n"
  "\n"
  "The landmark file holds one landmark per line: six numbers with a decimal point (source\n"
  "x y z, target x y z); lines that do not start with six numbers are skipped. The radius\n"
  "is how far each landmark reaches (a few dozen other landmarks within it, about 30, is a\n"
  "good start); it is read as its leading number, 0 when there is none.\n"
  "\n"
  "Options:\n";

const char* const HelpTail =
  "  -h, --help     show this text and end\n"
  "  --version      show the version and end\n"
  "\n"
  "Exit status:\n"
  "  0  the coefficient file was written\n"
  "  1  not two arguments after the options, or a wrong option (a usage line is printed)\n"
  "  2  the landmark file cannot be opened or read to its end, or holds a value that\n"
  "     is not a finite number\n"
  "  3  the coefficient file cannot be created\n"
  "  4  writing or closing the coefficient file failed; an earlier file of that name is\n"
  "     kept as it was\n"
  "  5  the kernel matrix is not positive definite (two landmarks at one source position)\n"
  "  6  memory ran out while ordering or solving\n"
  "  7  the radius, or a coefficient of the fit, is not a finite number\n"
  "  8  the conjugate gradient solve of a set too large for the envelope did not reach\n"
  "     its residual (1e-8)\n"
  "Only status 0 leaves a coefficient file. Messages go to standard output. Notes on runs\n"
  "that succeed but were probably not meant (a radius of 0, landmarks without neighbours)\n"
  "go to standard error, and so does the stage of a fit longer than a second when standard\n"
  "error is a terminal.\n"
  "\n"
  "Examples:\n"
  "  Pravik leg.dat 0.25\n"
  "    fits the landmarks of leg.dat with the radius 0.25 and writes leg.trc; Halden\n"
  "    shows it (Halden leg.vtk leg.trc), pravik-warp applies it to a model file.\n";
}

//------------------------------------------------------------------------------
bool PrintPravikInformation(const char* argument, std::FILE* out)
{
  if (!argument)
  {
    return false;
  }
  if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0)
  {
    std::fputs(HelpHead, out);
    std::fputs(PravikOptionsHelp(), out);
    std::fputs(HelpTail, out);
    return true;
  }
  if (std::strcmp(argument, "--version") == 0)
  {
    std::fprintf(out, "Pravik %s\n", QUORVEL_VERSION);
    return true;
  }
  return false;
}
