// Pravik: fits a deformation to landmark pairs and writes its transform coefficient file.
#include "PravikRun.h"

int main(int argc, char* argv[])
{
  return PravikMain(argc, argv);
}
