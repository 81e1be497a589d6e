// Regenerates the bundled sample (leg.vtk, leg.dat, leg.bmp, background.bmp) from the top of
// the source tree:
//
//   build/tools/make_sample data
//
// The output depends only on this program, so running it again gives the same files.
#include "leg_sample.h"

#include <iostream>

int main(int argc, char* argv[])
{
  if (argc != 2)
  {
    std::cerr << "Usage: make_sample <output directory>\n";
    return 2;
  }
  return legsample::WriteSample(argv[1], std::cout) ? 0 : 1;
}
