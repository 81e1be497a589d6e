/**
 * @file Clipboard.h
 * @brief The system clipboard in Win32 terms.
 *
 * The sequence is Windows': OpenClipboard, EmptyClipboard, SetClipboardData, CloseClipboard.
 * A CF_DIB block (a BITMAPINFOHEADER followed by the pixel rows) is offered to other
 * programs as an image (and as a BMP file, "image/bmp"), and kept byte for byte so that
 * GetClipboardData(CF_DIB) gives back exactly the block that was set.
 */
#ifndef platform_Clipboard_h
#define platform_Clipboard_h

#include "win32.h"

#include <vector>

/// Takes the clipboard for the window. FALSE when it is already open or there is no
/// clipboard (no application object, no display).
BOOL OpenClipboard(HWND owner);
BOOL EmptyClipboard();
/// Hands the block to the clipboard, which owns it from then on. CF_DIB only.
BOOL SetClipboardData(UINT format, std::vector<BYTE> block);
BOOL CloseClipboard();
/// The CF_DIB block on the clipboard; empty when there is none. The clipboard need not be
/// open.
std::vector<BYTE> GetClipboardData(UINT format);

#endif
