// Pravik: fits a deformation to landmark pairs and writes its transform coefficient file.
#include "PravikRun.h"

#include <clocale>

int main(int argc, char* argv[])
{
  // Numbers in files are read and written in the "C" conventions whatever the locale; the
  // numeric category stays "C" for anything else that formats one.
  std::setlocale(LC_NUMERIC, "C");
  return PravikMain(argc, argv);
}
