/**
 * @file DialogFont.h
 * @brief Gives a dialog the font its template was laid out for.
 *
 * Dialog templates place controls in dialog units of "MS Sans Serif" 8, whose base units
 * at 96 dots per inch are 6 x 13 pixels: x pixels = units * 6 / 4 and y pixels =
 * units * 13 / 8, the conversion the dialogs are built with. That face does not exist on a
 * Linux desktop, and Qt's default face is far larger, so texts would not fit the controls
 * the template gives them. A condensed sans face at 10 pixels has the same 13-pixel line
 * and a slightly narrower average width, so every text of the template fits its control.
 */
#ifndef Halden_DialogFont_h
#define Halden_DialogFont_h

class CDialog;

/// Sets the font on the dialog's window; its controls inherit it. Call once the window
/// exists (in OnInitDialog).
void ApplyTemplateFont(CDialog& dialog);

#endif
