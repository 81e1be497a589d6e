/**
 * @file Pictures.h
 * @brief Halden's pictures, drawn in code: the four toolbar buttons and the About box
 * picture, as rows of palette characters (Resources.h).
 */
#ifndef Halden_Pictures_h
#define Halden_Pictures_h

#include "Resources.h"

/// Play, Pause, Stop and Record, 16 x 15 pixels each, in that order, with their palette.
ToolbarResource DrawPlaybarButtons();

/// The About box picture: a square grid bent by a smooth bump, the way a fitted spline
/// bends space, with landmark pairs (where a point was, where it goes).
BitmapResource DrawAboutPicture();

#endif
