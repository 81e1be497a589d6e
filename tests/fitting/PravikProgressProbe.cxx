// Pravik with its progress line shown from the start of the fit, however short.
#include "PravikRun.h"

int main(int argc, char* argv[])
{
  return PravikMain(argc, argv, 0.0);
}
