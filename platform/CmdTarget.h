/**
 * @file CmdTarget.h
 * @brief Objects that receive commands: a command table per object and the routing call.
 *
 * A command is a number (the menu item's, accelerator's or toolbar button's identifier).
 * Every object that handles commands lists them in its table, usually in its constructor:
 *
 * @code
 *   vtkMFCDoc::vtkMFCDoc()
 *   {
 *     this->MapCommand(ID_LOAD_BACKGROUND, &vtkMFCDoc::OnLoadBackground);
 *     this->MapCommandUI(ID_LOAD_BACKGROUND, &vtkMFCDoc::OnUpdateHasData);
 *   }
 * @endcode
 *
 * The frame routes a command through view, document, frame and application (see
 * CFrameWnd::OnCmdMsg); the first object whose table lists the identifier handles it. A
 * derived class that lists an identifier its base lists too replaces the base's entry.
 *
 * Enabling: before a menu opens, and whenever the application is idle, the frame asks the
 * same route for each menu item and toolbar button with a CCmdUI. The first enabling
 * handler found decides; with none, the command is enabled exactly when some object
 * on the route has a handler for it.
 */
#ifndef platform_CmdTarget_h
#define platform_CmdTarget_h

#include "win32.h"

#include <functional>
#include <map>
#include <string>

/// Notification codes of OnCmdMsg.
constexpr int CN_COMMAND = 0;            ///< run the command
constexpr int CN_UPDATE_COMMAND_UI = -1; ///< ask the enabling handler (pCmdUI given)
constexpr int CN_QUERY_HANDLER = 1;      ///< only say whether a command handler exists

/**
 * @class CObject
 * @brief Root of the framework's classes, so that they can be created by class.
 */
class CObject
{
public:
  CObject() = default;
  virtual ~CObject() = default;
  CObject(const CObject&) = delete;
  CObject& operator=(const CObject&) = delete;
};

/**
 * @class CRuntimeClass
 * @brief A class's name and a way to create an object of it; what a document template
 * needs to create document, frame and view by class. Write RUNTIME_CLASS(CMyView).
 */
struct CRuntimeClass
{
  std::string m_lpszClassName;
  std::function<CObject*()> m_pfnCreateObject;

  CObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }

  template <class T>
  static CRuntimeClass Of(const char* name)
  {
    return CRuntimeClass{ name, [] { return static_cast<CObject*>(new T); } };
  }
};
#define RUNTIME_CLASS(T) CRuntimeClass::Of<T>(#T)

/**
 * @class CCmdUI
 * @brief What an enabling handler is given: the command's identifier and the means to
 * enable, check or rename its menu item and toolbar button.
 *
 * The frame applies the answer to every user-interface element of the command.
 */
class CCmdUI
{
public:
  explicit CCmdUI(UINT id)
    : m_nID(id)
  {
  }
  virtual ~CCmdUI() = default;

  virtual void Enable(BOOL on = TRUE)
  {
    this->m_bEnabled = on != FALSE;
    this->m_bEnableChanged = true;
  }
  /// 0 unchecked, 1 checked.
  virtual void SetCheck(int check = 1)
  {
    this->m_nCheck = check;
    this->m_bCheckChanged = true;
  }
  virtual void SetText(const std::string& text)
  {
    this->m_strText = text;
    this->m_bTextChanged = true;
  }

  UINT m_nID;
  bool m_bEnabled = true;
  bool m_bEnableChanged = false;
  int m_nCheck = 0;
  bool m_bCheckChanged = false;
  std::string m_strText;
  bool m_bTextChanged = false;
};

/**
 * @class CCmdTarget
 * @brief An object with a command table.
 */
class CCmdTarget : public CObject
{
public:
  CCmdTarget() = default;
  ~CCmdTarget() override = default;

  /**
   * Looks the command up in this object's table only (routing objects override this to
   * pass it on). nCode CN_COMMAND runs the handler; CN_UPDATE_COMMAND_UI runs the
   * enabling handler with pCmdUI; CN_QUERY_HANDLER only answers. Returns TRUE when the
   * table has the entry asked for.
   */
  virtual BOOL OnCmdMsg(UINT nID, int nCode, CCmdUI* pCmdUI);

protected:
  using CommandHandler = std::function<void()>;
  using RangeHandler = std::function<void(UINT)>;
  using UpdateHandler = std::function<void(CCmdUI*)>;

  /// Lists a command handler (a member function without arguments).
  template <class T>
  void MapCommand(UINT id, void (T::*handler)())
  {
    T* self = static_cast<T*>(this);
    this->MapCommand(id, CommandHandler([self, handler] { (self->*handler)(); }));
  }
  void MapCommand(UINT id, CommandHandler handler);

  /// Lists an enabling handler (a member function taking the CCmdUI).
  template <class T>
  void MapCommandUI(UINT id, void (T::*handler)(CCmdUI*))
  {
    T* self = static_cast<T*>(this);
    this->MapCommandUI(id, UpdateHandler([self, handler](CCmdUI* ui) { (self->*handler)(ui); }));
  }
  void MapCommandUI(UINT id, UpdateHandler handler);

  /// Lists one handler for the identifiers first..last; it is given the identifier.
  void MapCommandRange(UINT first, UINT last, RangeHandler handler);
  void MapCommandUIRange(UINT first, UINT last, UpdateHandler handler);

private:
  struct Range
  {
    UINT Last;
    RangeHandler Command;
    UpdateHandler Update;
  };
  std::map<UINT, CommandHandler> Commands;
  std::map<UINT, UpdateHandler> Updates;
  std::map<UINT, Range> Ranges; // keyed by first identifier
};

#endif
