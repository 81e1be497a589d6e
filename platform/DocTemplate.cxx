#include "DocTemplate.h"

#include "Document.h"
#include "FrameWnd.h"
#include "Resources.h"
#include "View.h"

//------------------------------------------------------------------------------
CDocTemplate::CDocTemplate(
  UINT resourceId, CRuntimeClass documentClass, CRuntimeClass frameClass, CRuntimeClass viewClass)
  : ResourceId(resourceId)
  , DocumentClass(std::move(documentClass))
  , FrameClass(std::move(frameClass))
  , ViewClass(std::move(viewClass))
{
}

//------------------------------------------------------------------------------
CDocTemplate::~CDocTemplate() = default;

//------------------------------------------------------------------------------
std::string CDocTemplate::GetDocString(DocStringIndex index) const
{
  return CResources::Get().LoadStringField(this->ResourceId, index);
}

//------------------------------------------------------------------------------
CSingleDocTemplate::CSingleDocTemplate(
  UINT resourceId, CRuntimeClass documentClass, CRuntimeClass frameClass, CRuntimeClass viewClass)
  : CDocTemplate(resourceId, std::move(documentClass), std::move(frameClass), std::move(viewClass))
{
}

//------------------------------------------------------------------------------
CSingleDocTemplate::~CSingleDocTemplate()
{
  this->CloseAllDocuments();
}

//------------------------------------------------------------------------------
bool CSingleDocTemplate::CreateDocumentAndFrame(bool& frameCreated)
{
  frameCreated = false;
  if (!this->Document)
  {
    CObject* object = this->DocumentClass.CreateObject();
    auto* document = dynamic_cast<CDocument*>(object);
    if (!document)
    {
      delete object;
      return false;
    }
    this->Document.reset(document);
    this->Document->SetDocTemplate(this);
  }
  if (!this->Frame)
  {
    CObject* object = this->FrameClass.CreateObject();
    auto* frame = dynamic_cast<CFrameWnd*>(object);
    if (!frame)
    {
      delete object;
      return false;
    }
    this->Frame.reset(frame);
    CCreateContext context;
    context.m_pNewViewClass = this->ViewClass;
    context.m_pCurrentDoc = this->Document.get();
    if (!this->Frame->LoadFrame(
          this->ResourceId, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr, &context))
    {
      this->Frame.reset();
      return false;
    }
    frameCreated = true;
  }
  return true;
}

//------------------------------------------------------------------------------
CDocument* CSingleDocTemplate::OpenDocumentFile(const char* pathName, BOOL makeVisible)
{
  bool frameCreated = false;
  if (!this->CreateDocumentAndFrame(frameCreated))
  {
    return nullptr;
  }
  CDocument* document = this->Document.get();
  if (!pathName)
  {
    if (!document->OnNewDocument())
    {
      return nullptr;
    }
    const std::string name = this->GetDocString(fileNewName);
    document->SetTitle(name.empty() ? std::string("Untitled") : name);
  }
  else
  {
    if (!document->OnOpenDocument(pathName))
    {
      if (frameCreated)
      {
        this->Frame->DestroyWindow();
        this->Frame.reset();
      }
      return nullptr;
    }
    document->SetPathName(pathName);
  }
  this->Frame->InitialUpdateFrame(document, makeVisible);
  return document;
}

//------------------------------------------------------------------------------
void CSingleDocTemplate::CloseAllDocuments()
{
  if (this->Frame)
  {
    this->Frame->DestroyWindow();
    this->Frame.reset();
  }
  this->Document.reset();
}
