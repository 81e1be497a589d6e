// Writes the seeds of fuzz_model_file into a folder (scripts/fuzz.sh runs it before the target).
// Usage: make_model_seeds <directory>
#include "ModelSeeds.h"

#include <cstdio>

int main(int argc, char** argv)
{
  if (argc != 2)
  {
    std::fprintf(stderr, "usage: make_model_seeds <directory>\n");
    return 2;
  }
  return WriteModelSeeds(argv[1]) ? 0 : 1;
}
