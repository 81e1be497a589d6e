/**
 * @file WinApp.h
 * @brief The application object: start-up, the document templates, the command line, the
 * settings (recent-file list) and the event loop.
 *
 * An application derives from CWinApp, defines one global instance, overrides InitInstance
 * and lets main call AfxWinMain:
 *
 * @code
 *   CMyApp theApp;
 *   int main(int argc, char** argv) { return AfxWinMain(argc, argv); }
 * @endcode
 *
 * AfxWinMain makes the Qt application object, runs InitInstance (FALSE ends the program
 * with exit status 1), runs the event loop until the main frame is closed, then
 * ExitInstance. Without a display to open it prints one line saying so on standard error
 * and ends with status 1. The numeric category of the C library's locale stays "C" (Qt sets
 * the whole locale from the environment): numbers in files never follow the user's locale. The recent-file list is kept with QSettings under the company key given to
 * SetRegistryKey and the application's name.
 */
#ifndef platform_WinApp_h
#define platform_WinApp_h

#include "CmdTarget.h"

#include <memory>
#include <string>
#include <vector>

class CDocTemplate;
class CDocument;
class CWnd;

/**
 * @class CCommandLineInfo
 * @brief What the command line asks for: a new document, or a file to open.
 */
class CCommandLineInfo
{
public:
  enum Shell
  {
    FileNew,
    FileOpen,
    FileNothing
  };
  Shell m_nShellCommand = FileNew;
  std::string m_strFileName;
  /// Called for each argument after the program name.
  virtual void ParseParam(const char* param, BOOL flag, BOOL last);
  virtual ~CCommandLineInfo() = default;
};

class CWinApp : public CCmdTarget
{
public:
  /// name: the application's name (settings, titles); null takes it from the program.
  explicit CWinApp(const char* name = nullptr);
  ~CWinApp() override;

  virtual BOOL InitInstance();
  virtual int ExitInstance();
  /// The event loop; returns the exit code.
  virtual int Run();

  /// Kept for the start-up sequence; controls look native anyway.
  void Enable3dControls() {}
  void SetRegistryKey(const char* company);
  /// Reads the recent-file list (up to maxEntries entries) from the settings.
  void LoadStdProfileSettings(UINT maxEntries = 4);
  /// The application takes ownership.
  void AddDocTemplate(CDocTemplate* docTemplate);
  CDocTemplate* GetFirstDocTemplate() const;

  void ParseCommandLine(CCommandLineInfo& info);
  /// FileNew: a new empty document; FileOpen: opens the file. FALSE when that failed.
  BOOL ProcessShellCommand(CCommandLineInfo& info);

  virtual CDocument* OpenDocumentFile(const char* pathName);
  /// Puts the file first in the recent-file list (moving it up if present) and saves the
  /// list. Does nothing before LoadStdProfileSettings.
  virtual void AddToRecentFileList(const std::string& pathName);
  const std::vector<std::string>& GetRecentFileList() const { return this->RecentFiles; }

  ///@{
  /**
   * Settings of the application's own, kept where the recent-file list is (entry in a
   * section). A setting that is missing, is not of the asked kind, or comes from a settings
   * file that cannot be read as a whole (damaged) gives the default. Writing returns FALSE
   * when the settings could not be stored.
   */
  int GetProfileInt(const std::string& section, const std::string& entry, int defaultValue) const;
  BOOL WriteProfileInt(const std::string& section, const std::string& entry, int value);
  std::string GetProfileString(const std::string& section, const std::string& entry,
    const std::string& defaultValue = std::string()) const;
  BOOL WriteProfileString(
    const std::string& section, const std::string& entry, const std::string& value);
  ///@}

  /// New document / file-open through the template (for applications to list).
  void OnFileNew();
  /// Ends the application (closes the main window).
  void OnAppExit();

  const std::string& GetAppName() const { return this->AppName; }
  void SetAppName(const std::string& name) { this->AppName = name; }
  const std::string& GetRegistryKey() const { return this->RegistryKey; }

  CWnd* m_pMainWnd = nullptr;
  int m_argc = 0;
  char** m_argv = nullptr;

protected:
  void OnOpenRecentFile(UINT id);
  void OnUpdateRecentFileMenu(CCmdUI* pCmdUI);

private:
  void SaveRecentFileList() const;
  std::string AppName;
  std::string RegistryKey;
  unsigned MaxRecentFiles = 0;
  std::vector<std::string> RecentFiles;
  std::vector<std::unique_ptr<CDocTemplate>> Templates;
};

/// The application object (the one global instance), or null.
CWinApp* AfxGetApp();
/// The application's main window, or null.
CWnd* AfxGetMainWnd();
/// Runs the application: see the file comment.
int AfxWinMain(int argc, char** argv);

#endif
