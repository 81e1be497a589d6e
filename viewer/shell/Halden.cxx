// Halden: the viewer's one application object and its entry point.
#include "HaldenApp.h"

namespace
{
CHaldenApp theApp;
}

int main(int argc, char** argv)
{
  return AfxWinMain(argc, argv);
}
