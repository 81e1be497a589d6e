#ifndef PravikHelp_h
#define PravikHelp_h

#include <cstdio>

/**
 * Pravik describing itself: `Pravik --help` (or `-h`) and `Pravik --version`, each the only
 * argument. The help text is the one description of the command line; the manual page is
 * made from it (help2man), so the two cannot disagree. New options get their line here.
 * True when the argument was one of these and its answer went to out (the run then ends
 * with status 0); false for anything else, which is then a landmark file or a wrong call.
 */
bool PrintPravikInformation(const char* argument, std::FILE* out);

#endif
