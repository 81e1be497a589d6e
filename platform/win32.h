/**
 * @file win32.h
 * @brief The Windows types, constants and macros that the viewer's code is written against.
 *
 * The viewer talks to its windows in Win32 terms: messages with a WPARAM and an LPARAM,
 * the mouse position packed into the low and high 16 bits of lParam, common-dialog flags, a
 * clipboard bitmap with a BITMAPINFOHEADER. This header gives those names their Windows
 * values so that code using them reads (and behaves) as it would on Windows. It has no
 * dependency at all: worker-thread code and its tests include it without Qt.
 */
#ifndef platform_win32_h
#define platform_win32_h

#include <cstdint>

// --- Basic types --------------------------------------------------------------------------
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using BOOL = int;
using UINT_PTR = std::uintptr_t;
using DWORD_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using COLORREF = DWORD;

class CWnd;
/// A window handle: the framework window itself; null while the window does not exist.
using HWND = CWnd*;
/// A device context. Drawing goes through the view's render window, so a device context
/// only says "this window"; it is the window's handle.
using HDC = CWnd*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

/// The platform's path limit, for the few places where a fixed limit is real (see callers).
constexpr unsigned MAX_PATH = 260;

// --- Window messages ----------------------------------------------------------------------
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_USER = 0x0400;

/// Key and button state in wParam of the mouse messages.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

/// WM_SIZE types.
constexpr UINT SIZE_RESTORED = 0;
constexpr UINT SIZE_MINIMIZED = 1;
constexpr UINT SIZE_MAXIMIZED = 2;

// --- Window styles ------------------------------------------------------------------------
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;

// --- Dialog results and message boxes -------------------------------------------------------
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// --- Common dialogs -------------------------------------------------------------------------
constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD CC_RGBINIT = 0x00000001;
constexpr DWORD CC_FULLOPEN = 0x00000002;

// --- Clipboard and bitmaps ------------------------------------------------------------------
constexpr UINT CF_DIB = 8;
constexpr DWORD BI_RGB = 0;

#pragma pack(push, 2)
/// The 40-byte header of a device-independent bitmap, laid out byte for byte as on Windows
/// (little-endian fields, no padding).
struct BITMAPINFOHEADER
{
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER must be 40 bytes");

// --- Geometry -------------------------------------------------------------------------------
struct POINT
{
  LONG x;
  LONG y;
};

struct RECT
{
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

// --- Packing helpers ------------------------------------------------------------------------
constexpr WORD LOWORD(std::uintptr_t v)
{
  return static_cast<WORD>(v & 0xFFFF);
}
constexpr WORD HIWORD(std::uintptr_t v)
{
  return static_cast<WORD>((v >> 16) & 0xFFFF);
}
/// x in the low and y in the high 16 bits, as the mouse messages carry a point.
constexpr LPARAM MAKELPARAM(unsigned low, unsigned high)
{
  return static_cast<LPARAM>(static_cast<DWORD>((low & 0xFFFF) | ((high & 0xFFFF) << 16)));
}
constexpr WPARAM MAKEWPARAM(unsigned low, unsigned high)
{
  return static_cast<WPARAM>(static_cast<DWORD>((low & 0xFFFF) | ((high & 0xFFFF) << 16)));
}
/// One notch of a mouse wheel in the high word of WM_MOUSEWHEEL's wParam (positive: away
/// from the user).
constexpr int WHEEL_DELTA = 120;
constexpr int GET_WHEEL_DELTA_WPARAM(WPARAM w)
{
  return static_cast<std::int16_t>(HIWORD(static_cast<std::uintptr_t>(w)));
}
/// Signed coordinates of a mouse message (a captured drag may leave the window).
constexpr int GET_X_LPARAM(LPARAM l)
{
  return static_cast<std::int16_t>(LOWORD(static_cast<std::uintptr_t>(l)));
}
constexpr int GET_Y_LPARAM(LPARAM l)
{
  return static_cast<std::int16_t>(HIWORD(static_cast<std::uintptr_t>(l)));
}

constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b)
{
  return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr BYTE GetRValue(COLORREF c)
{
  return static_cast<BYTE>(c & 0xFF);
}
constexpr BYTE GetGValue(COLORREF c)
{
  return static_cast<BYTE>((c >> 8) & 0xFF);
}
constexpr BYTE GetBValue(COLORREF c)
{
  return static_cast<BYTE>((c >> 16) & 0xFF);
}

// --- Virtual keys and accelerator flags -------------------------------------------------------
constexpr UINT VK_CANCEL = 0x03; // Ctrl+Break
constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_INSERT = 0x2D;
constexpr UINT VK_DELETE = 0x2E;
constexpr UINT VK_F1 = 0x70;
constexpr UINT VK_F6 = 0x75;
constexpr UINT VK_CAPITAL = 0x14;
constexpr UINT VK_NUMLOCK = 0x90;
constexpr UINT VK_SCROLL = 0x91;
constexpr BYTE FVIRTKEY = 0x01;
constexpr BYTE FNOINVERT = 0x02;
constexpr BYTE FSHIFT = 0x04;
constexpr BYTE FCONTROL = 0x08;
constexpr BYTE FALT = 0x10;

// --- Multimedia timer -----------------------------------------------------------------------
using MMRESULT = UINT;
constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr UINT TIME_ONESHOT = 0x0000;
constexpr UINT TIME_PERIODIC = 0x0001;

#endif
