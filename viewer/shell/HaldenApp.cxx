#include "HaldenApp.h"

#include "AboutDlg.h"
#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "DocTemplate.h"
#include "HaldenResources.h"
#include "HaldenSettings.h"
#include "MainFrm.h"
#include "OptionsDlg.h"
#include "resource.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace
{
// "Halden model coefficients.trc": the second name loads as File > Load > Transform would;
// "Halden model landmarks.dat" (by the extension) as File > Load > Landmarks would.
class CHaldenCommandLineInfo : public CCommandLineInfo
{
public:
  std::string TransformName;
  void ParseParam(const char* param, BOOL flag, BOOL last) override
  {
    if (!flag && !this->m_strFileName.empty() && this->TransformName.empty())
    {
      this->TransformName = param;
      return;
    }
    CCommandLineInfo::ParseParam(param, flag, last);
  }
};

// "Halden coefficients.trc" alone, as a file manager opens a coefficient file: the model of
// the same name beside it (leg.trc: leg.vtk, .vtp, .stl, .ply or .obj, the first that exists)
// opens with the file loaded, the way Load Transform proposes the .trc beside a model. Without
// such a model the name stays the model's, and its open fails with a message as before.
void OpenTheModelBesideALoneTransform(CHaldenCommandLineInfo& info)
{
  const std::string& name = info.m_strFileName;
  if (!info.TransformName.empty() || name.size() <= 4)
  {
    return;
  }
  std::string ending = name.substr(name.size() - 4);
  for (char& c : ending)
  {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (ending != ".trc")
  {
    return;
  }
  const std::string stem = name.substr(0, name.size() - 4);
  for (const char* extension : { ".vtk", ".vtp", ".stl", ".ply", ".obj" })
  {
    std::error_code error;
    if (std::filesystem::is_regular_file(stem + extension, error))
    {
      info.TransformName = name;
      info.m_strFileName = stem + extension;
      return;
    }
  }
}

bool IsLandmarkFile(const std::string& name)
{
  std::string ending = name.substr(name.size() < 4 ? 0 : name.size() - 4);
  for (char& c : ending)
  {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return ending == ".dat";
}

void LoadCommandLineTransform(const CHaldenCommandLineInfo& info)
{
  auto* single = dynamic_cast<CSingleDocTemplate*>(AfxGetApp()->GetFirstDocTemplate());
  auto* document = single ? dynamic_cast<CHaldenDoc*>(single->GetDocument()) : nullptr;
  if (!document || info.TransformName.empty())
  {
    return;
  }
  if (IsLandmarkFile(info.TransformName))
  {
    document->LoadLandmarks(info.TransformName);
  }
  else
  {
    document->LoadTransform(info.TransformName);
  }
}
}

//------------------------------------------------------------------------------
CHaldenApp::CHaldenApp()
  : CWinApp("Halden")
{
  this->MapCommand(ID_APP_ABOUT, &CHaldenApp::OnAppAbout);
}

//------------------------------------------------------------------------------
CHaldenApp::~CHaldenApp() = default;

//------------------------------------------------------------------------------
BOOL CHaldenApp::InitInstance()
{
  LoadHaldenResources();
  // Each view makes its options dialog when its window is created.
  vtkRecordPlayView::SetOptionsDialogFactory(
    [](vtkRecordPlayView* view) -> CDialog* { return new COptionsDlg(view); });

  this->Enable3dControls();
  this->SetRegistryKey("Quorvel");
  this->LoadStdProfileSettings(10);

  this->AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CHaldenDoc),
    RUNTIME_CLASS(CMainFrame), RUNTIME_CLASS(CHaldenView)));

  CHaldenCommandLineInfo cmdInfo;
  this->ParseCommandLine(cmdInfo);
  OpenTheModelBesideALoneTransform(cmdInfo);
  if (!this->ProcessShellCommand(cmdInfo))
  {
    // Besides the message box: whoever started Halden from a terminal or a script sees why.
    auto* single = dynamic_cast<CSingleDocTemplate*>(this->GetFirstDocTemplate());
    const auto* document = single ? dynamic_cast<CHaldenDoc*>(single->GetDocument()) : nullptr;
    std::fprintf(stderr, "Halden: %s\n",
      document && !document->OpenFailure.empty()
        ? document->OpenFailure.c_str()
        : ("cannot open \"" + cmdInfo.m_strFileName + "\"").c_str());
    return FALSE;
  }

  // The window as the last run left it; at first (1, 1), 652 x 572.
  RestoreSettings(dynamic_cast<CMainFrame*>(this->m_pMainWnd));
  this->m_pMainWnd->ShowWindow(SW_SHOW);
  this->m_pMainWnd->UpdateWindow();
  LoadCommandLineTransform(cmdInfo);
  return TRUE;
}

//------------------------------------------------------------------------------
void CHaldenApp::OnAppAbout()
{
  CAboutDlg aboutDlg(this->m_pMainWnd);
  aboutDlg.DoModal();
}
