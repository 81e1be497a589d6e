#include "HaldenUsage.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
/// Where the settings (the recent-file list, the window, the options) are kept: the per-user
/// configuration folder under the company and program names.
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
    // help2man makes the manual page from this text: "Usage:", "Options:" and
    // "Exit status:" head its sections, and what follows a heading belongs to it.
    std::fprintf(out,
      "Usage: Halden [model [coefficients.trc | landmarks.dat]]\n"
      "  or:  Halden coefficients.trc\n"
      "Shows a polygonal model and animates it between its shape and the shape that a\n"
      "transform coefficient file (.trc, written by Pravik) gives it; textures part of it,\n"
      "shows a background image, records and plays camera paths (.csr) and saves frames.\n"
      "\n"
      "  model             a model to open at the start, by its extension: VTK legacy\n"
      "                    polygonal data (.vtk, and any other name), VTK XML polygonal\n"
      "                    data (.vtp), STL (.stl), PLY (.ply) or Wavefront OBJ (.obj)\n"
      "  coefficients.trc  a transform coefficient file to load with the model, as\n"
      "                    File > Load > Transform does; the animation starts at once.\n"
      "                    Named alone, it opens the model of its name beside it\n"
      "                    (leg.trc: leg.vtk, .vtp, .stl, .ply or .obj, the first found)\n"
      "  landmarks.dat     in its place, a landmark file (by the extension .dat) to show\n"
      "                    on the model, as File > Load > Landmarks does\n"
      "\n"
      "Settings (the recent-file list, the window's size and position, the toolbar and\n"
      "status bar switches, the body colour, the orientation marker and the Options\n"
      "values) are kept in %s.\n"
      "A missing or damaged settings file gives the defaults.\n"
      "\n"
      "Options:\n"
      "  -h, --help  show this text and end\n"
      "  --version   show the version and end\n"
      "\n"
      "Exit status:\n"
      "  0  the window was closed, or this text or the version was shown\n"
      "  1  there is no display (Halden needs an X11 desktop session; run it under\n"
      "     xvfb-run without one), or the model on the command line cannot be opened\n"
      "     (the file and the reason go to standard error)\n",
      SettingsFile().c_str());
  }
  else if (version)
  {
    std::fprintf(out, "Halden version 1.0\n");
  }
  return help || version;
}
