#include "WinApp.h"

#include "DocTemplate.h"
#include "Document.h"
#include "FrameWnd.h"
#include "Resources.h"
#include "WndInternal.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
CWinApp* TheApp = nullptr;

/**
 * While the Qt application object is made: Qt's messages are held back, and a fatal one
 * (no display could be opened, or no windowing system plugin loaded) ends the program with
 * one line of its own and status 1 instead of an abort. Held messages are passed on once
 * the object exists.
 */
class StartupMessages
{
public:
  explicit StartupMessages(const std::string& programName)
    : Previous(qInstallMessageHandler(&StartupMessages::Handle))
  {
    ProgramName() = programName;
  }

  ~StartupMessages()
  {
    qInstallMessageHandler(this->Previous);
    for (const Held& m : Messages())
    {
      qt_message_output(m.Type, QMessageLogContext(), m.Text);
    }
    Messages().clear();
  }

  StartupMessages(const StartupMessages&) = delete;
  StartupMessages& operator=(const StartupMessages&) = delete;

private:
  struct Held
  {
    QtMsgType Type;
    QString Text;
  };

  static std::vector<Held>& Messages()
  {
    static std::vector<Held> held;
    return held;
  }

  static std::string& ProgramName()
  {
    static std::string name;
    return name;
  }

  static void Handle(QtMsgType type, const QMessageLogContext&, const QString& text)
  {
    if (type == QtFatalMsg)
    {
      const char* display = std::getenv("DISPLAY");
      std::fprintf(stderr, "%s: cannot open a display (DISPLAY is %s); start it in a desktop "
                           "session or under xvfb-run.\n",
        ProgramName().c_str(), display && *display ? (std::string("\"") + display + "\"").c_str() : "not set");
      std::fflush(stderr);
      std::_Exit(1);
    }
    Messages().push_back(Held{ type, text });
  }

  QtMessageHandler Previous;
};
}

//------------------------------------------------------------------------------
void CCommandLineInfo::ParseParam(const char* param, BOOL flag, BOOL)
{
  if (!flag && this->m_strFileName.empty())
  {
    this->m_strFileName = param;
    this->m_nShellCommand = FileOpen;
  }
}

//------------------------------------------------------------------------------
CWinApp::CWinApp(const char* name)
  : AppName(name ? name : "")
{
  TheApp = this;
  this->MapCommand(ID_APP_EXIT, &CWinApp::OnAppExit);
  this->MapCommandRange(
    ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE16, [this](UINT id) { this->OnOpenRecentFile(id); });
  this->MapCommandUIRange(ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE16,
    [this](CCmdUI* ui) { this->OnUpdateRecentFileMenu(ui); });
}

//------------------------------------------------------------------------------
CWinApp::~CWinApp()
{
  for (auto& t : this->Templates)
  {
    t->CloseAllDocuments();
  }
  this->Templates.clear();
  if (TheApp == this)
  {
    TheApp = nullptr;
  }
}

//------------------------------------------------------------------------------
CWinApp* AfxGetApp()
{
  return TheApp;
}

//------------------------------------------------------------------------------
CWnd* AfxGetMainWnd()
{
  return TheApp ? TheApp->m_pMainWnd : nullptr;
}

//------------------------------------------------------------------------------
BOOL CWinApp::InitInstance()
{
  return TRUE;
}

//------------------------------------------------------------------------------
int CWinApp::ExitInstance()
{
  for (auto& t : this->Templates)
  {
    t->CloseAllDocuments();
  }
  this->m_pMainWnd = nullptr;
  return 0;
}

//------------------------------------------------------------------------------
int CWinApp::Run()
{
  return QApplication::exec();
}

//------------------------------------------------------------------------------
void CWinApp::SetRegistryKey(const char* company)
{
  this->RegistryKey = company ? company : "";
  platform_detail::EnsureApplication();
  QCoreApplication::setOrganizationName(QString::fromStdString(this->RegistryKey));
  if (!this->AppName.empty())
  {
    QCoreApplication::setApplicationName(QString::fromStdString(this->AppName));
  }
}

//------------------------------------------------------------------------------
void CWinApp::LoadStdProfileSettings(UINT maxEntries)
{
  this->MaxRecentFiles = std::min<UINT>(maxEntries, ID_FILE_MRU_FILE16 - ID_FILE_MRU_FILE1 + 1);
  this->RecentFiles.clear();
  QSettings settings(
    QString::fromStdString(this->RegistryKey), QString::fromStdString(this->AppName));
  settings.beginGroup("Recent File List");
  for (unsigned i = 1; i <= this->MaxRecentFiles; ++i)
  {
    const QString value = settings.value(QString("File%1").arg(i)).toString();
    if (!value.isEmpty())
    {
      this->RecentFiles.push_back(value.toStdString());
    }
  }
  settings.endGroup();
}

//------------------------------------------------------------------------------
int CWinApp::GetProfileInt(
  const std::string& section, const std::string& entry, int defaultValue) const
{
  bool isNumber = false;
  const int value =
    QString::fromStdString(this->GetProfileString(section, entry)).trimmed().toInt(&isNumber);
  return isNumber ? value : defaultValue;
}

//------------------------------------------------------------------------------
BOOL CWinApp::WriteProfileInt(const std::string& section, const std::string& entry, int value)
{
  return this->WriteProfileString(section, entry, std::to_string(value));
}

//------------------------------------------------------------------------------
std::string CWinApp::GetProfileString(
  const std::string& section, const std::string& entry, const std::string& defaultValue) const
{
  QSettings settings(
    QString::fromStdString(this->RegistryKey), QString::fromStdString(this->AppName));
  // A file that cannot be read as a whole may hold anything: none of it is trusted.
  if (settings.status() != QSettings::NoError)
  {
    return defaultValue;
  }
  const QVariant value = settings.value(QString::fromStdString(section + "/" + entry));
  if (!value.isValid() || value.type() != QVariant::String)
  {
    return defaultValue;
  }
  return value.toString().toStdString();
}

//------------------------------------------------------------------------------
BOOL CWinApp::WriteProfileString(
  const std::string& section, const std::string& entry, const std::string& value)
{
  QSettings settings(
    QString::fromStdString(this->RegistryKey), QString::fromStdString(this->AppName));
  settings.setValue(QString::fromStdString(section + "/" + entry), QString::fromStdString(value));
  settings.sync();
  return settings.status() == QSettings::NoError;
}

//------------------------------------------------------------------------------
void CWinApp::SaveRecentFileList() const
{
  QSettings settings(
    QString::fromStdString(this->RegistryKey), QString::fromStdString(this->AppName));
  settings.beginGroup("Recent File List");
  settings.remove("");
  for (std::size_t i = 0; i < this->RecentFiles.size(); ++i)
  {
    settings.setValue(QString("File%1").arg(i + 1), QString::fromStdString(this->RecentFiles[i]));
  }
  settings.endGroup();
  settings.sync();
}

//------------------------------------------------------------------------------
void CWinApp::AddToRecentFileList(const std::string& pathName)
{
  if (this->MaxRecentFiles == 0 || pathName.empty())
  {
    return;
  }
  auto it = std::find(this->RecentFiles.begin(), this->RecentFiles.end(), pathName);
  if (it != this->RecentFiles.end())
  {
    this->RecentFiles.erase(it);
  }
  this->RecentFiles.insert(this->RecentFiles.begin(), pathName);
  if (this->RecentFiles.size() > this->MaxRecentFiles)
  {
    this->RecentFiles.resize(this->MaxRecentFiles);
  }
  this->SaveRecentFileList();
  if (auto* frame = dynamic_cast<CFrameWnd*>(this->m_pMainWnd))
  {
    frame->UpdateRecentFileMenu();
  }
}

//------------------------------------------------------------------------------
void CWinApp::AddDocTemplate(CDocTemplate* docTemplate)
{
  this->Templates.emplace_back(docTemplate);
}

//------------------------------------------------------------------------------
CDocTemplate* CWinApp::GetFirstDocTemplate() const
{
  return this->Templates.empty() ? nullptr : this->Templates.front().get();
}

//------------------------------------------------------------------------------
void CWinApp::ParseCommandLine(CCommandLineInfo& info)
{
  for (int i = 1; i < this->m_argc; ++i)
  {
    const char* arg = this->m_argv[i];
    const bool flag = arg[0] == '-' && arg[1] != '\0';
    info.ParseParam(flag ? arg + 1 : arg, flag ? TRUE : FALSE, i == this->m_argc - 1);
  }
}

//------------------------------------------------------------------------------
BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& info)
{
  switch (info.m_nShellCommand)
  {
    case CCommandLineInfo::FileNew:
      this->OnFileNew();
      return this->m_pMainWnd ? TRUE : FALSE;
    case CCommandLineInfo::FileOpen:
      return this->OpenDocumentFile(info.m_strFileName.c_str()) ? TRUE : FALSE;
    case CCommandLineInfo::FileNothing:
      return TRUE;
  }
  return FALSE;
}

//------------------------------------------------------------------------------
CDocument* CWinApp::OpenDocumentFile(const char* pathName)
{
  CDocTemplate* docTemplate = this->GetFirstDocTemplate();
  if (!docTemplate)
  {
    return nullptr;
  }
  CDocument* document = docTemplate->OpenDocumentFile(pathName);
  if (auto* single = dynamic_cast<CSingleDocTemplate*>(docTemplate))
  {
    if (single->GetFrame() && !this->m_pMainWnd)
    {
      this->m_pMainWnd = single->GetFrame();
      // The file opened with the first frame entered the list before the frame was the main
      // window (the command line's model, for one): show it in the menu now.
      single->GetFrame()->UpdateRecentFileMenu();
    }
  }
  return document;
}

//------------------------------------------------------------------------------
void CWinApp::OnFileNew()
{
  this->OpenDocumentFile(nullptr);
}

//------------------------------------------------------------------------------
void CWinApp::OnAppExit()
{
  if (this->m_pMainWnd)
  {
    // Posted: the command may come from a menu of the very window being closed.
    this->m_pMainWnd->PostMessage(WM_CLOSE);
  }
}

//------------------------------------------------------------------------------
void CWinApp::OnOpenRecentFile(UINT id)
{
  const std::size_t index = id - ID_FILE_MRU_FILE1;
  if (index >= this->RecentFiles.size())
  {
    return;
  }
  const std::string path = this->RecentFiles[index];
  auto* single = dynamic_cast<CSingleDocTemplate*>(this->GetFirstDocTemplate());
  CDocument* current = single ? single->GetDocument() : nullptr;
  if (current && !current->SaveModified())
  {
    return; // the user kept the document: the entry stays
  }
  if (!this->OpenDocumentFile(path.c_str()))
  {
    // A file that cannot be opened any more leaves the list.
    this->RecentFiles.erase(this->RecentFiles.begin() + static_cast<std::ptrdiff_t>(index));
    this->SaveRecentFileList();
    if (auto* frame = dynamic_cast<CFrameWnd*>(this->m_pMainWnd))
    {
      frame->UpdateRecentFileMenu();
    }
  }
}

//------------------------------------------------------------------------------
void CWinApp::OnUpdateRecentFileMenu(CCmdUI* pCmdUI)
{
  pCmdUI->Enable(pCmdUI->m_nID - ID_FILE_MRU_FILE1 < this->RecentFiles.size());
}

//------------------------------------------------------------------------------
int AfxWinMain(int argc, char** argv)
{
  CWinApp* app = AfxGetApp();
  if (!app)
  {
    return 1;
  }
  auto startup = std::make_unique<StartupMessages>(
    app->GetAppName().empty() ? std::string("the program") : app->GetAppName());
  QApplication qapp(argc, argv);
  startup.reset();
  std::setlocale(LC_NUMERIC, "C");
  app->m_argc = argc;
  app->m_argv = argv;
  if (app->GetAppName().empty())
  {
    app->SetAppName(QFileInfo(QString::fromLocal8Bit(argv[0])).baseName().toStdString());
  }
  QCoreApplication::setApplicationName(QString::fromStdString(app->GetAppName()));
  if (!app->InitInstance())
  {
    app->ExitInstance();
    return 1;
  }
  const int runResult = app->Run();
  const int exitResult = app->ExitInstance();
  return runResult != 0 ? runResult : exitResult;
}
