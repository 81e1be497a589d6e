#include "vtkMFCDoc.h"

#include "BitmapCheck.h"
#include "Prompts.h"
#include "View.h"
#include "vtkMFCViewHooks.h"

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkBMPReader.h>
#include <vtkDataSetMapper.h>
#include <vtkImageActor.h>
#include <vtkImageMapper3D.h>
#include <vtkNew.h>
#include <vtkVectorText.h>

namespace
{
const char* const BitmapFilter = "Bitmap Files\0*.BMP\0All Files\0*.*\0";
}

//------------------------------------------------------------------------------
vtkMFCDoc::vtkMFCDoc()
{
  this->Props = vtkActorCollection::New();
  this->NoData = 1;
  this->BackgroundReader = vtkBMPReader::New();
  this->BackgroundActor = vtkImageActor::New();
  this->BackgroundActor->InterpolateOn();
  this->BackgroundActor->GetMapper()->SetInputConnection(this->BackgroundReader->GetOutputPort());
  this->BackgroundOn = 0;

  this->MapCommand(ID_LOAD_BACKGROUND, &vtkMFCDoc::OnLoadBackground);
  this->MapCommandUI(ID_LOAD_BACKGROUND, &vtkMFCDoc::OnUpdateHasData);
}

//------------------------------------------------------------------------------
vtkMFCDoc::~vtkMFCDoc()
{
  this->Props->Delete();
  this->BackgroundActor->Delete();
  this->BackgroundReader->Delete();
}

//------------------------------------------------------------------------------
void vtkMFCDoc::DeleteContents()
{
  this->Props->RemoveAllItems();

  // The collection keeps the actor, the actor its mapper, the mapper its source.
  vtkNew<vtkVectorText> text;
  text->SetText("... no data ... ");
  vtkNew<vtkDataSetMapper> mapper;
  mapper->SetInputConnection(text->GetOutputPort());
  vtkNew<vtkActor> actor;
  actor->SetMapper(mapper);
  this->Props->AddItem(actor);

  this->NoData = 1;
  CDocument::DeleteContents();
}

//------------------------------------------------------------------------------
std::string vtkMFCDoc::StartingName(
  const std::string& fileName, const std::string& defaultExtension)
{
  // Only a dot in the file's own name starts an extension: "/data/v1.2/head" has none.
  const auto nameStart = fileName.find_last_of("/\\");
  const auto dot = fileName.rfind('.');
  if (dot != std::string::npos && (nameStart == std::string::npos || dot > nameStart))
  {
    return fileName.substr(0, dot) + defaultExtension;
  }
  return fileName + defaultExtension;
}

//------------------------------------------------------------------------------
BOOL vtkMFCDoc::PromptForFile(std::string& fileName, const char* title, DWORD flags,
  const char* filter, const char* defaultExtension, BOOL open)
{
  const std::string extension = defaultExtension ? defaultExtension : "";
  CFileDialog dialog(open, extension.c_str(), nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  dialog.m_ofn.Flags |= flags;
  dialog.m_ofn.lpstrFilter = filter;
  dialog.m_ofn.lpstrTitle = title ? title : "";
  dialog.m_ofn.lpstrFile = StartingName(fileName, extension);
  if (dialog.DoModal() != IDOK)
  {
    return FALSE;
  }
  fileName = dialog.GetPathName();
  return TRUE;
}

//------------------------------------------------------------------------------
void vtkMFCDoc::OnLoadBackground()
{
  std::string fileName = this->GetPathName();
  if (this->PromptForFile(fileName, "Load background Image", OFN_FILEMUSTEXIST | OFN_HIDEREADONLY,
        BitmapFilter, ".bmp", TRUE))
  {
    std::string reason;
    if (!CheckBitmap(fileName, reason))
    {
      // The background stays as it was, and the user knows why nothing changed.
      AfxMessageBox(
        "Cannot read the background image \"" + fileName + "\": it is not a readable bitmap file.",
        MB_OK | MB_ICONEXCLAMATION);
      return;
    }
    this->BackgroundReader->SetFileName(fileName.c_str());
    this->BackgroundOn = 1;
  }
  else
  {
    this->BackgroundOn = 0;
  }
  this->ArrangeFirstView();
}

//------------------------------------------------------------------------------
void vtkMFCDoc::ArrangeFirstView()
{
  if (auto* view = dynamic_cast<vtkMFCViewHooks*>(this->GetFirstView()))
  {
    view->ArrangeRenderers();
  }
}

//------------------------------------------------------------------------------
void vtkMFCDoc::OnUpdateHasData(CCmdUI* pCmdUI)
{
  pCmdUI->Enable(this->NoData == 0);
}
