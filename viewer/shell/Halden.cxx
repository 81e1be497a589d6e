// Halden: the viewer's one application object and its entry point.
#include "HaldenApp.h"
#include "HaldenUsage.h"

namespace
{
CHaldenApp theApp;
}

int main(int argc, char** argv)
{
  if (PrintHaldenInformation(argc, argv, stdout))
  {
    return 0;
  }
  return AfxWinMain(argc, argv);
}
