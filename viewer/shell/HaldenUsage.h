#ifndef HaldenUsage_h
#define HaldenUsage_h

#include <cstdio>

/**
 * Answers Halden's informational options before anything else starts (no window, no
 * display needed): -h or --help prints the usage, what the program does and where its
 * settings live; --version prints the version. Both go to out. True when one was answered
 * (the program then ends with status 0); every other argument is the framework's.
 */
bool PrintHaldenInformation(int argc, char** argv, std::FILE* out);

#endif
