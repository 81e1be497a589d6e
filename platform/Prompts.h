/**
 * @file Prompts.h
 * @brief The common dialogs and message boxes, behind one seam that tests can script.
 *
 * CFileDialog, CColorDialog, AfxMessageBox (and CWnd::MessageBox) and modal CDialogs ask
 * the installed CPromptResponder first. Without one, the real Qt dialogs are shown. A test
 * installs a CScriptedPrompts, queues the answers ("the next file dialog answers
 * /tmp/x.trc", "the next colour dialog is cancelled"), runs commands, and then reads what
 * was asked:
 *
 * @code
 *   CScriptedPrompts prompts;            // installed until it goes out of scope
 *   prompts.AnswerFile("/tmp/back.bmp");
 *   frame->ExecuteCommand(ID_LOAD_BACKGROUND);
 *   EXPECT_EQ(prompts.FileRequests[0].Title, "Load background Image");
 *   EXPECT_TRUE(prompts.Messages.empty());
 * @endcode
 *
 * A dialog that nobody scripted is answered as cancelled and counted in Unanswered, so a
 * test never blocks on a window that waits for a person.
 */
#ifndef platform_Prompts_h
#define platform_Prompts_h

#include "win32.h"

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class CWnd;
class CDialog;

/// What a file dialog was asked to show.
struct FileDialogRequest
{
  bool Open = true; ///< open dialog (true) or save dialog (false)
  std::string Title;
  std::vector<std::pair<std::string, std::string>> Filters; ///< description, pattern(s)
  std::string DefaultExtension; ///< without the dot, as OPENFILENAME keeps it
  std::string InitialName;
  DWORD Flags = 0;
};

struct FileDialogAnswer
{
  bool Confirmed = false;
  std::string Path;
};

struct ColorDialogRequest
{
  COLORREF Initial = 0;
  DWORD Flags = 0;
};

struct ColorDialogAnswer
{
  bool Confirmed = false;
  COLORREF Color = 0;
};

struct MessageBoxRequest
{
  std::string Text;
  std::string Caption;
  UINT Type = MB_OK;
};

/**
 * @class CPromptResponder
 * @brief Answers the common dialogs instead of a person.
 */
class CPromptResponder
{
public:
  virtual ~CPromptResponder() = default;
  virtual FileDialogAnswer FileDialog(const FileDialogRequest& request) = 0;
  virtual ColorDialogAnswer ColorDialog(const ColorDialogRequest& request) = 0;
  /// Returns the button pressed (IDOK, IDCANCEL, IDYES, IDNO).
  virtual int MessageBox(const MessageBoxRequest& request) = 0;
  /**
   * Runs a modal dialog: the dialog's window exists and is initialised (OnInitDialog ran);
   * the responder works its controls (CDialog's control functions) and ends it, usually by
   * ClickDlgButton(IDOK). Returns false to let the dialog run for a person instead.
   */
  virtual bool Dialog(CDialog& dialog) = 0;
};

/// Installs a responder (null: the real dialogs). Returns the one installed before.
CPromptResponder* SetPromptResponder(CPromptResponder* responder);
CPromptResponder* GetPromptResponder();

/**
 * @class CScriptedPrompts
 * @brief A responder with queued answers and a record of everything asked. It installs
 * itself on construction and puts the previous responder back on destruction.
 */
class CScriptedPrompts : public CPromptResponder
{
public:
  CScriptedPrompts();
  ~CScriptedPrompts() override;
  CScriptedPrompts(const CScriptedPrompts&) = delete;
  CScriptedPrompts& operator=(const CScriptedPrompts&) = delete;

  /// The next file dialog is confirmed with this path.
  void AnswerFile(const std::string& path);
  /// The next file dialog is cancelled.
  void CancelFile();
  void AnswerColor(COLORREF color);
  void CancelColor();
  /// The next message box returns this button (by default every box answers IDOK).
  void AnswerMessage(int button);
  /// The next modal dialog is worked by this function (which should end it).
  void AnswerDialog(std::function<void(CDialog&)> script);

  std::vector<FileDialogRequest> FileRequests;
  std::vector<ColorDialogRequest> ColorRequests;
  std::vector<MessageBoxRequest> Messages;
  std::vector<unsigned> Dialogs; ///< template identifiers of the modal dialogs run
  int Unanswered = 0;            ///< dialogs that found no queued answer (cancelled)

  FileDialogAnswer FileDialog(const FileDialogRequest& request) override;
  ColorDialogAnswer ColorDialog(const ColorDialogRequest& request) override;
  int MessageBox(const MessageBoxRequest& request) override;
  bool Dialog(CDialog& dialog) override;

private:
  CPromptResponder* Previous;
  std::deque<FileDialogAnswer> FileAnswers;
  std::deque<ColorDialogAnswer> ColorAnswers;
  std::deque<int> MessageAnswers;
  std::deque<std::function<void(CDialog&)>> DialogScripts;
};

/**
 * @class CFileDialog
 * @brief The common open / save dialog.
 *
 * The filter may be given to the constructor in the "|" form ("Bitmap Files|*.BMP|All
 * Files|*.*||"), or set afterwards in m_ofn.lpstrFilter in the NUL form of OPENFILENAME
 * (description and pattern each followed by a NUL, the list closed by an empty string).
 */
class CFileDialog
{
public:
  CFileDialog(BOOL openFileDialog, const char* defaultExtension = nullptr,
    const char* fileName = nullptr, DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
    const char* filter = nullptr, CWnd* parent = nullptr);

  /// The fields of OPENFILENAME that callers set. Strings, so no name is ever truncated.
  struct OpenFileName
  {
    DWORD Flags = 0;
    std::string lpstrTitle;
    const char* lpstrFilter = nullptr; ///< NUL form; overrides the constructor's filter
    std::string lpstrFile;             ///< initial name in, chosen path out
    std::string lpstrDefExt;           ///< without the dot
  } m_ofn;

  /// IDOK when confirmed (GetPathName then gives the chosen path), IDCANCEL otherwise.
  int DoModal();
  std::string GetPathName() const { return m_ofn.lpstrFile; }

  /// The description/pattern pairs of a filter in the NUL form (at most 64 pairs are read;
  /// a null pointer gives none).
  static std::vector<std::pair<std::string, std::string>> ParseNulFilter(const char* filter);
  /// The pairs of a filter in the "|" form.
  static std::vector<std::pair<std::string, std::string>> ParseBarFilter(const std::string& filter);

private:
  bool Open;
  std::vector<std::pair<std::string, std::string>> Filters;
  CWnd* Parent;
};

/**
 * @class CColorDialog
 * @brief The common colour dialog.
 */
class CColorDialog
{
public:
  explicit CColorDialog(COLORREF initial = 0, DWORD flags = 0, CWnd* parent = nullptr);
  struct ChooseColor
  {
    DWORD Flags = 0;
    COLORREF rgbResult = 0;
  } m_cc;
  /// IDOK when confirmed (GetColor then gives the choice), IDCANCEL otherwise.
  int DoModal();
  COLORREF GetColor() const { return m_cc.rgbResult; }

private:
  CWnd* Parent;
};

/// A message box with the application's title; returns the button pressed.
int AfxMessageBox(const std::string& text, UINT type = MB_OK);

#endif
