#include "HaldenUsage.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
/// Where the settings (the recent-file list) are kept: the per-user configuration folder
/// under the company and program names.
std::string SettingsFile()
{
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string folder = config && *config ? std::string(config)
                                               : std::string(home ? home : "~") + "/.config";
  return folder + "/Quorvel/Halden.conf";
}
}

//------------------------------------------------------------------------------
bool PrintHaldenInformation(int argc, char** argv, std::FILE* out)
{
  bool help = false;
  bool version = false;
  for (int i = 1; i < argc; ++i)
  {
    help = help || std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0;
    version = version || std::strcmp(argv[i], "--version") == 0;
  }
  if (help)
  {
    std::fprintf(out,
      "Usage: Halden [model]\n"
      "Shows a polygonal model (VTK legacy .vtk) and animates it between its shape and the\n"
      "shape that a transform coefficient file (.trc, written by Pravik) gives it; textures\n"
      "it, shows a background image, records and plays camera paths (.csr) and saves frames.\n"
      "\n"
      "  model       a model file to open at the start\n"
      "  -h, --help  show this text and end\n"
      "  --version   show the version and end\n"
      "\n"
      "Settings (the recent-file list) are kept in %s.\n",
      SettingsFile().c_str());
  }
  else if (version)
  {
    std::fprintf(out, "Halden version 1.0\n");
  }
  return help || version;
}
