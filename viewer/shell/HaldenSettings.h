/**
 * @file HaldenSettings.h
 * @brief What Halden keeps between runs besides the recent-file list, in the same place
 * (organisation "Quorvel", application "Halden").
 *
 * Kept when the main window closes, put back when the program starts: the window's
 * position and size, the toolbar and status bar switches, the body colour, the orientation
 * marker switch and the confirmed values of the options dialog. A value that is missing,
 * unreadable or out of its range, or a settings file that cannot be read as a whole, gives
 * the first version's start: the window at (1, 1) with a size of 652 x 572, both bars shown,
 * the body colour (0.9, 1.0, 0.9), the marker shown, the options at their defaults.
 */
#ifndef Halden_HaldenSettings_h
#define Halden_HaldenSettings_h

class CMainFrame;

/// Places the main window and sets bars, view and options dialog from the settings.
void RestoreSettings(CMainFrame* frame);
/// Writes the main window's placement, bars, view and options dialog into the settings.
void KeepSettings(CMainFrame* frame);

#endif
