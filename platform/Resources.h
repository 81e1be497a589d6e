/**
 * @file Resources.h
 * @brief The application's resources as plain data: menus, accelerator tables, toolbars,
 * string table, dialog templates and bitmaps, each under a numeric identifier.
 *
 * The application fills the table (usually in InitInstance, or with a static initialiser)
 * and the framework builds its windows from it: the frame its menu bar, accelerators and
 * title; the toolbar its buttons; the status bar its indicators; a CDialog its controls.
 * The framework's own command and string identifiers are defined here with their Windows
 * values.
 */
#ifndef platform_Resources_h
#define platform_Resources_h

#include "win32.h"

#include <map>
#include <string>
#include <vector>

// --- The framework's command identifiers ----------------------------------------------------
constexpr UINT ID_SEPARATOR = 0;
constexpr UINT ID_FILE_NEW = 0xE100;       // 57600
constexpr UINT ID_FILE_OPEN = 0xE101;      // 57601
constexpr UINT ID_FILE_MRU_FILE1 = 0xE110; // 57616
constexpr UINT ID_FILE_MRU_FILE16 = 0xE11F;
constexpr UINT ID_EDIT_COPY = 0xE122;       // 57634
constexpr UINT ID_EDIT_CUT = 0xE123;        // 57635
constexpr UINT ID_EDIT_PASTE = 0xE125;      // 57637
constexpr UINT ID_EDIT_UNDO = 0xE12B;       // 57643
constexpr UINT ID_APP_ABOUT = 0xE140;       // 57664
constexpr UINT ID_APP_EXIT = 0xE141;        // 57665
constexpr UINT ID_NEXT_PANE = 0xE150;       // 57680
constexpr UINT ID_PREV_PANE = 0xE151;       // 57681
constexpr UINT ID_VIEW_TOOLBAR = 0xE800;    // 59392
constexpr UINT ID_VIEW_STATUS_BAR = 0xE801; // 59393
constexpr UINT ID_INDICATOR_CAPS = 0xE701;  // 59137
constexpr UINT ID_INDICATOR_NUM = 0xE702;
constexpr UINT ID_INDICATOR_SCRL = 0xE703;
constexpr UINT AFX_IDS_APP_TITLE = 0xE000;   // 57344
constexpr UINT AFX_IDS_IDLEMESSAGE = 0xE001; // 57345
constexpr UINT AFX_IDW_TOOLBAR = 0xE800;
constexpr UINT AFX_IDW_STATUS_BAR = 0xE801;
constexpr UINT AFX_IDW_PANE_FIRST = 0xE900;

// --- Menus ----------------------------------------------------------------------------------
/// A menu entry: a command, a separator or a popup with entries of its own. The text uses
/// "&" for the mnemonic and "\t" before the key shown at the right.
struct MenuItem
{
  enum Kind
  {
    Command,
    Separator,
    Popup
  };
  Kind Type = Command;
  std::string Text;
  UINT Id = 0;
  bool Grayed = false;
  std::vector<MenuItem> Items;

  static MenuItem Item(const std::string& text, UINT id, bool grayed = false)
  {
    return MenuItem{ Command, text, id, grayed, {} };
  }
  static MenuItem Sep() { return MenuItem{ Separator, std::string(), 0, false, {} }; }
  static MenuItem Sub(const std::string& text, std::vector<MenuItem> items)
  {
    return MenuItem{ Popup, text, 0, false, std::move(items) };
  }
};
/// A menu bar: its popups in order.
using MenuResource = std::vector<MenuItem>;

// --- Accelerators ---------------------------------------------------------------------------
struct Accelerator
{
  BYTE Flags; ///< FVIRTKEY, FCONTROL, FSHIFT, FALT, FNOINVERT
  UINT Key;   ///< virtual key ('A'..'Z', VK_*)
  UINT Command;
};
using AcceleratorTable = std::vector<Accelerator>;

// --- Toolbars -------------------------------------------------------------------------------
/// Buttons in order, ID_SEPARATOR for a gap. Images are rows of characters, one per pixel,
/// looked up in Palette (a character with no entry is transparent); one image per command
/// button, ButtonWidth x ButtonHeight.
struct ToolbarResource
{
  int ButtonWidth = 16;
  int ButtonHeight = 15;
  std::vector<UINT> Buttons;
  std::vector<std::vector<std::string>> Images;
  std::map<char, COLORREF> Palette;
};

// --- Dialog templates -----------------------------------------------------------------------
struct DialogControl
{
  enum Kind
  {
    PushButton,
    DefPushButton,
    Label,         ///< left-aligned text
    CenteredLabel, ///< centred text
    Edit,
    Trackbar, ///< horizontal slider; range Min..Max
    RadioButton,
    CheckBox,
    Picture ///< shows bitmap resource BitmapId
  };
  Kind Type = PushButton;
  int Id = -1; ///< -1 for a static control
  std::string Text;
  int X = 0, Y = 0, Width = 0, Height = 0; ///< dialog units
  bool Group = false;                      ///< starts a group (radio buttons)
  int Min = 0, Max = 100;
  UINT BitmapId = 0;
};

struct DialogTemplate
{
  std::string Title;
  int Width = 0, Height = 0; ///< dialog units
  std::string FontName;
  int FontSize = 8;
  std::vector<DialogControl> Controls; ///< template order = tab order
};

// --- Bitmaps --------------------------------------------------------------------------------
/// Rows of characters looked up in Palette, as for toolbar images.
struct BitmapResource
{
  std::vector<std::string> Rows;
  std::map<char, COLORREF> Palette;
};

/**
 * @class CResources
 * @brief The process's resource table. Identifiers are per kind, as on Windows.
 */
class CResources
{
public:
  static CResources& Get();

  std::map<UINT, MenuResource> Menus;
  std::map<UINT, AcceleratorTable> Accelerators;
  std::map<UINT, ToolbarResource> Toolbars;
  std::map<UINT, std::string> Strings;
  std::map<UINT, DialogTemplate> Dialogs;
  std::map<UINT, BitmapResource> Bitmaps;

  /// The string, or "" when the table has none (LoadString).
  std::string LoadString(UINT id) const;
  /// Field index (0-based) of a "\n"-separated string, or "".
  std::string LoadStringField(UINT id, int index) const;
};

/// The part of a command's string before "\n" (status-bar prompt) and after it (tooltip).
std::string CommandPrompt(const std::string& commandString);
std::string CommandTooltip(const std::string& commandString);

#endif
