#include "Document.h"

#include "DocTemplate.h"
#include "FrameWnd.h"
#include "Prompts.h"
#include "View.h"
#include "WinApp.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

//------------------------------------------------------------------------------
CDocument::CDocument() = default;

//------------------------------------------------------------------------------
CDocument::~CDocument()
{
  for (CView* view : this->Views)
  {
    view->m_pDocument = nullptr;
  }
}

//------------------------------------------------------------------------------
BOOL CDocument::OnNewDocument()
{
  this->DeleteContents();
  this->PathName.clear();
  this->SetModifiedFlag(FALSE);
  return TRUE;
}

//------------------------------------------------------------------------------
BOOL CDocument::OnOpenDocument(const char* pathName)
{
  std::ifstream file(pathName ? pathName : "", std::ios::binary);
  if (!pathName || !file)
  {
    AfxMessageBox(std::string("Cannot open the file \"") + (pathName ? pathName : "") + "\".",
      MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  this->DeleteContents();
  this->SetModifiedFlag(FALSE);
  return TRUE;
}

//------------------------------------------------------------------------------
BOOL CDocument::SaveModified()
{
  if (!this->IsModified())
  {
    return TRUE;
  }
  const std::string name = this->Title.empty() ? std::string("Untitled") : this->Title;
  switch (AfxMessageBox("Save changes to " + name + "?", MB_YESNOCANCEL | MB_ICONEXCLAMATION))
  {
    case IDCANCEL:
      return FALSE;
    case IDYES:
      return this->OnSaveDocument(this->PathName.c_str());
    default:
      return TRUE;
  }
}

//------------------------------------------------------------------------------
BOOL CDocument::OnSaveDocument(const char* pathName)
{
  std::ofstream file(pathName ? pathName : "", std::ios::binary | std::ios::app);
  if (!pathName || !file)
  {
    AfxMessageBox(std::string("Cannot save the file \"") + (pathName ? pathName : "") + "\".",
      MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  this->SetModifiedFlag(FALSE);
  return TRUE;
}

//------------------------------------------------------------------------------
void CDocument::DeleteContents() {}

//------------------------------------------------------------------------------
void CDocument::OnCloseDocument()
{
  for (CView* view : std::vector<CView*>(this->Views))
  {
    if (CFrameWnd* frame = view->GetParentFrame())
    {
      frame->PostMessage(WM_CLOSE);
    }
  }
}

//------------------------------------------------------------------------------
void CDocument::SetPathName(const std::string& pathName, BOOL addToMRU)
{
  std::error_code error;
  const std::filesystem::path absolute =
    pathName.empty() ? std::filesystem::path() : std::filesystem::absolute(pathName, error);
  this->PathName = error ? pathName : absolute.lexically_normal().string();
  const auto slash = this->PathName.find_last_of("/\\");
  this->SetTitle(slash == std::string::npos ? this->PathName : this->PathName.substr(slash + 1));
  if (addToMRU)
  {
    if (CWinApp* app = AfxGetApp())
    {
      app->AddToRecentFileList(this->PathName);
    }
  }
}

//------------------------------------------------------------------------------
void CDocument::SetTitle(const std::string& title)
{
  this->Title = title;
  for (CView* view : this->Views)
  {
    if (CFrameWnd* frame = view->GetParentFrame())
    {
      frame->UpdateFrameTitleForDocument(title);
    }
  }
}

//------------------------------------------------------------------------------
void CDocument::AddView(CView* view)
{
  if (std::find(this->Views.begin(), this->Views.end(), view) == this->Views.end())
  {
    this->Views.push_back(view);
    view->m_pDocument = this;
  }
}

//------------------------------------------------------------------------------
void CDocument::RemoveView(CView* view)
{
  auto it = std::find(this->Views.begin(), this->Views.end(), view);
  if (it != this->Views.end())
  {
    this->Views.erase(it);
    view->m_pDocument = nullptr;
  }
}

//------------------------------------------------------------------------------
void CDocument::UpdateAllViews(CView* sender, LPARAM hint, CObject* hintObject)
{
  for (CView* view : this->Views)
  {
    if (view != sender)
    {
      view->OnUpdate(sender, hint, hintObject);
    }
  }
}
