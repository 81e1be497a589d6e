#include "CHaldenDoc.h"

#include "BitmapCheck.h"
#include "CheckedUpdate.h"
#include "FrameWnd.h"
#include "LandmarkGlyphs.h"
#include "ModelFile.h"
#include "Prompts.h"
#include "Resources.h"
#include "View.h"
#include "vtkCachedPolyDataNormals.h"
#include "vtkDeformationColours.h"
#include "vtkLabelThreshold.h"
#include "vtkMFCViewHooks.h"
#include "vtkModelSource.h"
#include "vtkShapeTransform.h"

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkBMPReader.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkDataSetAttributes.h>
#include <vtkDataSetMapper.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataNormals.h>
#include <vtkProperty.h>
#include <vtkSmartPointer.h>
#include <vtkTexture.h>
#include <vtkTextureMapToCylinder.h>
#include <vtkTransformPolyDataFilter.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace
{
const char* const ModelFiles = "VTK formated Files\0*.VTK\0"
                               "All Supported Models\0*.VTK;*.VTP;*.STL;*.PLY;*.OBJ\0"
                               "All Files\0*.*\0";
const char* const TransformFiles = "Transform Files\0*.TRC\0All Files\0*.*\0";
const char* const LandmarkFiles = "Landmark Files\0*.DAT\0All Files\0*.*\0";
const char* const BitmapFiles = "Bitmap Files\0*.BMP\0All Files\0*.*\0";
constexpr DWORD MustExist = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;

// "Cannot ... \"path\": reason." with the reason's own closing stop, if any, dropped.
void Tell(const std::string& what, const std::string& path, std::string reason)
{
  while (!reason.empty() && (reason.back() == '.' || reason.back() == ' '))
  {
    reason.pop_back();
  }
  AfxMessageBox(what + " \"" + path + "\": " + reason + ".", MB_OK | MB_ICONEXCLAMATION);
}

// The file's name without its folder.
std::string BaseName(const std::string& path)
{
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

vtkMFCViewHooks* Hooks(CView* view)
{
  return dynamic_cast<vtkMFCViewHooks*>(view);
}
}

//------------------------------------------------------------------------------
CHaldenDoc::CHaldenDoc()
{
  this->BackfaceProperty = vtkProperty::New();
  this->Reader = vtkModelSource::New();
  this->BodyMapper = vtkDataSetMapper::New();
  this->TransformFilter = vtkTransformPolyDataFilter::New();
  this->ShapeTransform = vtkShapeTransform::New();
  this->TransformFilter->SetTransform(this->ShapeTransform);
  // The model as read reaches the transform and the undeformed branch through the colours.
  this->Colours = vtkDeformationColours::New();
  this->Colours->SetInputConnection(this->Reader->GetOutputPort());
  this->TransformFilter->SetInputConnection(this->Colours->GetOutputPort());
  this->TransformOn = 0;

  this->Normals = vtkCachedPolyDataNormals::New();
  this->Normals->SetInputConnection(this->Colours->GetOutputPort());

  this->Texture = vtkTexture::New();
  this->TextureReader = vtkBMPReader::New();
  this->Texture->SetInputConnection(this->TextureReader->GetOutputPort());
  this->Texture->InterpolateOn();

  this->TextureMap = vtkTextureMapToCylinder::New();
  this->TextureMap->SetInputConnection(this->Normals->GetOutputPort());
  this->LoadedTextureMap = vtkTextureMapToCylinder::New();
  this->LoadedTextureMap->SetInputConnection(this->Reader->GetOutputPort());
  for (vtkTextureMapToCylinder* map : { this->TextureMap, this->LoadedTextureMap })
  {
    map->AutomaticCylinderGenerationOff();
    map->SetPoint1(-0.518467, 0.00019908, -0.213065);
    map->SetPoint2(0.97664, 0.0240073, -0.213065);
  }

  // Cell scalars label the regions: at most 0 textured, at least 1 body. A model without
  // cell scalars is all body.
  this->LowerThreshold = vtkLabelThreshold::New();
  this->LowerThreshold->SetInputConnection(this->TextureMap->GetOutputPort());
  this->LowerThreshold->SetLowerThreshold(0.0);
  this->LowerThreshold->SetThresholdFunction(vtkLabelThreshold::THRESHOLD_LOWER);
  this->UpperThreshold = vtkLabelThreshold::New();
  this->UpperThreshold->SetInputConnection(this->TextureMap->GetOutputPort());
  this->UpperThreshold->SetUpperThreshold(1.0);
  this->UpperThreshold->SetThresholdFunction(vtkLabelThreshold::THRESHOLD_UPPER);
  this->UpperThreshold->KeepUnlabelledOn();

  this->BodyMapper->SetInputConnection(this->UpperThreshold->GetOutputPort());
  this->BodyMapper->SetScalarModeToUseCellData();
  // The body shows the colour the user picks (Body Color): its region label would
  // otherwise paint every body cell in one lookup-table colour and hide that choice.
  this->BodyMapper->ScalarVisibilityOff();
  this->TexturedMapper = vtkDataSetMapper::New();
  this->TexturedMapper->SetInputConnection(this->LowerThreshold->GetOutputPort());
  this->TexturedMapper->SetScalarModeToUseCellData();
  this->TexturedMapper->ScalarVisibilityOff();

  this->BodyActor = vtkActor::New();
  this->BodyActor->SetMapper(this->BodyMapper);
  this->BodyActor->GetProperty()->SetInterpolationToGouraud();
  this->Props->AddItem(this->BodyActor);
  this->TexturedActor = vtkActor::New();
  this->TexturedActor->SetMapper(this->TexturedMapper);
  this->TexturedActor->GetProperty()->SetInterpolationToGouraud();
  this->Props->AddItem(this->TexturedActor);

  this->UnList = nullptr;
  this->SplineCoeffX = nullptr;
  this->SplineCoeffY = nullptr;
  this->SplineCoeffZ = nullptr;
  this->TransformOn = 0;
  this->TextureOn = 0;

  this->MapCommand(ID_FILE_OPEN, &CHaldenDoc::OnFileOpen);
  this->MapCommand(ID_SAVE_MODEL, &CHaldenDoc::OnSaveModel);
  this->MapCommandUI(ID_SAVE_MODEL, &CHaldenDoc::OnUpdateSaveModel);
  this->MapCommand(ID_LOAD_TRANSFORM, &CHaldenDoc::OnLoadTransform);
  this->MapCommandUI(ID_LOAD_TRANSFORM, &CHaldenDoc::OnUpdateHasData);
  this->MapCommand(ID_LOAD_TEXTURE, &CHaldenDoc::OnLoadTexture);
  this->MapCommandUI(ID_LOAD_TEXTURE, &CHaldenDoc::OnUpdateHasData);
  this->MapCommand(ID_CLOSE_TRANSFORM, &CHaldenDoc::OnCloseTransform);
  this->MapCommandUI(ID_CLOSE_TRANSFORM, &CHaldenDoc::OnUpdateCloseTransform);
  this->MapCommand(ID_LOAD_LANDMARKS, &CHaldenDoc::OnLoadLandmarks);
  this->MapCommandUI(ID_LOAD_LANDMARKS, &CHaldenDoc::OnUpdateHasData);
  this->MapCommand(ID_VIEW_LANDMARKS, &CHaldenDoc::OnViewLandmarks);
  this->MapCommandUI(ID_VIEW_LANDMARKS, &CHaldenDoc::OnUpdateViewLandmarks);

  this->LandmarkDisplay = std::make_unique<LandmarkGlyphs>();
  this->LandmarkDisplay->SetTransform(this->ShapeTransform);
  this->MapEditingCommands();
  this->MapCommand(ID_SAVE_TRANSFORM, &CHaldenDoc::OnSaveTransform);
  this->MapCommandUI(ID_SAVE_TRANSFORM, &CHaldenDoc::OnUpdateSaveTransform);
}

//------------------------------------------------------------------------------
CHaldenDoc::~CHaldenDoc()
{
  // A fit under way ends first; its result is dropped.
  this->FitJob.reset();
  // The views may be gone: no status text to take back.
  if (this->DeformationWorker.joinable())
  {
    this->DeformationWorker.join();
  }
  // The actors leave Props before they are released; the base releases Props.
  this->Props->RemoveAllItems();
  this->LandmarkDisplay.reset();
  this->TexturedActor->Delete();
  this->BodyActor->Delete();
  this->TexturedMapper->Delete();
  this->BodyMapper->Delete();
  this->UpperThreshold->Delete();
  this->LowerThreshold->Delete();
  this->TextureMap->Delete();
  this->LoadedTextureMap->Delete();
  this->TextureReader->Delete();
  this->Texture->Delete();
  this->Normals->Delete();
  // The filter lets go of the transform before the coefficient arrays it refers to go.
  this->TransformFilter->Delete();
  this->Colours->Delete();
  this->ShapeTransform->Delete();
  this->Reader->Delete();
  this->BackfaceProperty->Delete();
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnFileOpen()
{
  std::string fileName = this->GetPathName();
  std::unique_ptr<CWaitCursor> wait;
  if (this->PromptForFile(fileName, "Open File", MustExist, ModelFiles, ".vtk", TRUE) &&
    this->SaveModified())
  {
    // Reading a large model takes seconds: the window is drawn again where the dialog was,
    // says what it reads, and shows the busy cursor until the model is drawn.
    wait = std::make_unique<CWaitCursor>();
    this->SetStatusText("Reading " + fileName + "...");
    CView* view = this->GetFirstView();
    if (CFrameWnd* frame = view ? view->GetParentFrame() : nullptr)
    {
      frame->UpdateWindow();
    }
    // The path name (and the recent-file entry) follow the model only once it is shown; a
    // model that opened says what there is to say of it in the status bar itself.
    if (this->OnOpenDocument(fileName.c_str()))
    {
      this->SetPathName(fileName);
    }
    else if (!this->IsDeforming())
    {
      this->SetStatusText(std::string());
    }
  }
  if (CView* view = this->GetFirstView())
  {
    view->OnInitialUpdate();
  }
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::OnOpenDocument(const char* pathName)
{
  const std::string path = pathName ? pathName : "";
  std::string reason;
  vtkSmartPointer<vtkPolyData> model;
  this->OpenFailure.clear();
  {
    // A file that cannot be opened is the framework's to report (below), with its words.
    std::FILE* probe = std::fopen(path.c_str(), "rb");
    if (probe)
    {
      std::fclose(probe);
      model = ReadModelFile(path, reason);
      if (!model)
      {
        this->OpenFailure = "cannot open the model \"" + path + "\": " + reason;
        Tell("Cannot open the model", path, reason);
        return FALSE;
      }
    }
    else
    {
      this->OpenFailure = "cannot open \"" + path + "\": " + std::strerror(errno);
    }
  }
  if (!CDocument::OnOpenDocument(pathName))
  {
    return FALSE;
  }
  this->OpenFailure.clear();

  // The background computation reads the old model's points: it ends first.
  this->JoinDeformation();
  this->Reader->SetModel(model);
  this->Reader->Update();
  if (this->TransformOn)
  {
    this->ShowDeformation();
  }
  else
  {
    this->SwitchTransform(0);
  }

  if (vtkDataArray* scalars = model->GetCellData()->GetScalars())
  {
    double range[2];
    scalars->GetRange(range, 0);
    this->BodyMapper->SetScalarRange(range);
  }

  this->Props->RemoveAllItems();
  this->Props->AddItem(this->BodyActor);
  this->Props->AddItem(this->TexturedActor);
  this->AddEditingProps();
  this->NoData = 0;
  this->PlaceLandmarks();
  if (this->TransformOn && !this->TransformFileName.empty())
  {
    // The deformation stays in force for the new model: say so, since it may not fit it.
    this->SetStatusText("The transform " + BaseName(this->TransformFileName) +
      " still deforms this model (File > Close Transform removes it).");
  }
  else if (!this->IsDeforming())
  {
    this->SetStatusText(std::string()); // what was said of the model before is past
  }
  this->ShowTransformName();
  return TRUE;
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnSaveModel()
{
  std::string fileName = this->GetPathName();
  if (this->PromptForFile(fileName, "Save File", MustExist, ModelFiles, ".vtk", FALSE))
  {
    if (this->OnSaveDocument(fileName.c_str()))
    {
      this->SetPathName(fileName);
    }
  }
  if (CView* view = this->GetFirstView())
  {
    view->OnInitialUpdate();
  }
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::OnSaveDocument(const char* pathName)
{
  const std::string path = pathName ? pathName : "";
  this->FinishDeformation();
  vtkPolyDataAlgorithm* source = this->TransformOn == 1
    ? static_cast<vtkPolyDataAlgorithm*>(this->TransformFilter)
    : static_cast<vtkPolyDataAlgorithm*>(this->Reader);
  source->Update();
  vtkSmartPointer<vtkPolyData> shape = source->GetOutput();
  const char* colours = vtkDeformationColours::GetQuantityName(this->Colours->GetQuantity());
  if (*colours && shape->GetPointData()->GetAbstractArray(colours))
  {
    // What the body's colours show belongs to the display, not to the model.
    vtkNew<vtkPolyData> bare;
    bare->ShallowCopy(shape);
    bare->GetPointData()->RemoveArray(colours);
    shape = bare;
  }
  if (vtkDataArray* coordinates = shape->GetPointData()->GetTCoords())
  {
    // The texture coordinates of the model as loaded ride along the transform; a model is
    // saved without them either way.
    vtkNew<vtkPolyData> bare;
    bare->ShallowCopy(shape);
    bare->GetPointData()->SetTCoords(nullptr);
    if (coordinates->GetName())
    {
      bare->GetPointData()->RemoveArray(coordinates->GetName());
    }
    shape = bare;
  }
  std::string reason;
  if (!WriteModelFile(shape, path, reason))
  {
    Tell("Cannot save the model to", path, reason);
    return FALSE;
  }
  this->SetModifiedFlag(FALSE);
  return TRUE;
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnLoadTransform()
{
  CView* view = this->GetFirstView();
  std::string fileName = this->GetPathName();
  if (this->PromptForFile(fileName, "Load Transform File", MustExist, TransformFiles, ".trc", TRUE))
  {
    this->LoadTransform(fileName);
  }
  else
  {
    this->JoinDeformation();
    this->SwitchTransform(0);
    if (vtkMFCViewHooks* hooks = Hooks(view))
    {
      hooks->AnimationOff();
    }
    this->ShowTransformName();
  }
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnCloseTransform()
{
  if (!this->KeepFittedTransform())
  {
    return;
  }
  this->TransformUnsaved = false;
  this->JoinDeformation();
  this->SwitchTransform(0);
  if (vtkMFCViewHooks* hooks = Hooks(this->GetFirstView()))
  {
    hooks->AnimationOff();
  }
  this->TransformFileName.clear();
  this->ShowTransformName();
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnUpdateCloseTransform(CCmdUI* pCmdUI)
{
  pCmdUI->Enable(this->NoData == 0 && this->TransformOn == 1);
}

//------------------------------------------------------------------------------
std::string CHaldenDoc::TransformPaneText() const
{
  if (this->NoData == 0 && this->TransformOn == 1 && this->TransformUnsaved)
  {
    return "Transform fitted, not saved";
  }
  if (this->NoData != 0 || this->TransformOn != 1 || this->TransformFileName.empty())
  {
    return std::string();
  }
  return "Transform " + BaseName(this->TransformFileName);
}

//------------------------------------------------------------------------------
void CHaldenDoc::ShowTransformName()
{
  CView* view = this->GetFirstView();
  if (CFrameWnd* frame = view ? view->GetParentFrame() : nullptr)
  {
    frame->SetPaneText("transform", this->TransformPaneText());
  }
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::LoadTransform(const std::string& path)
{
  if (!this->KeepFittedTransform())
  {
    return FALSE;
  }
  std::string reason;
  if (!this->ReadTransformFile(path.c_str(), &reason))
  {
    // Nothing changes: neither the transform in force nor whether it is shown.
    Tell("Cannot load the transform file", path, reason);
    return FALSE;
  }
  this->TransformFileName = path;
  this->ShowDeformation();
  if (vtkMFCViewHooks* hooks = Hooks(this->GetFirstView()))
  {
    hooks->AnimationOn();
  }
  this->ShowTransformName();
  return TRUE;
}

//------------------------------------------------------------------------------
int CHaldenDoc::ReadTransformFile(const char* path, std::string* reason)
{
  TransformCoefficients fresh;
  const TransformFileResult read = ReadTransformCoefficients(path, fresh);
  std::string why;
  if (read.Status != TransformFileStatus::Ok)
  {
    why = read.Reason;
  }
  else if (!std::isfinite(fresh.Radius))
  {
    why = "its radius is not a finite number";
  }
  if (!why.empty())
  {
    if (reason)
    {
      *reason = why;
    }
    return 0;
  }

  this->UseCoefficients(std::move(fresh));
  // The transform read from a file is saved: nothing of a fit is left to lose.
  this->TransformUnsaved = false;
  const TransformCoefficients& c = this->Coefficients;
  if (!(c.Radius > 0.0f))
  {
    // Pravik fits the affine part alone for such a radius; that is what is shown.
    std::ostringstream text;
    text << "The transform file \"" << path << "\" has the radius " << c.Radius
         << ", which is not positive: only the affine part of its fit is applied, the same "
            "map at every point.";
    AfxMessageBox(text.str(), MB_OK | MB_ICONEXCLAMATION);
  }
  return 1;
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnLoadLandmarks()
{
  std::string fileName = this->GetPathName();
  if (this->PromptForFile(fileName, "Load Landmark File", MustExist, LandmarkFiles, ".dat", TRUE))
  {
    this->LoadLandmarks(fileName);
  }
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::LoadLandmarks(const std::string& path)
{
  std::string reason;
  if (!this->Landmarks.ReadFile(path, &reason))
  {
    Tell("Cannot load the landmark file", path, reason);
    return FALSE;
  }
  this->LandmarkFileName = path;
  this->LandmarkUndo.Clear(); // edits are undone back to the landmarks as loaded, no further
  this->LandmarksChanged();
  return TRUE;
}

//------------------------------------------------------------------------------
void CHaldenDoc::LandmarksChanged()
{
  CView* view = this->GetFirstView();
  if (CFrameWnd* frame = view ? view->GetParentFrame() : nullptr)
  {
    frame->SetPaneText("landmarks", this->LandmarkPaneText());
  }
  if (this->PlaceLandmarks())
  {
    this->UpdateAllViews(nullptr); // the views take the actors anew, and draw
  }
  else
  {
    this->Redraw();
  }
}

//------------------------------------------------------------------------------
bool CHaldenDoc::PlaceLandmarks()
{
  vtkPolyData* model = this->Reader->GetOutput();
  double bounds[6] = { 1, -1, 1, -1, 1, -1 };
  if (this->NoData == 0 && model && model->GetNumberOfPoints() > 0)
  {
    model->GetBounds(bounds);
  }
  LandmarkGlyphs& display = *this->LandmarkDisplay;
  display.SetPairs(this->Landmarks, bounds);
  const bool wanted = this->Landmarks.GetCount() > 0;
  bool changed = false;
  for (vtkActor* actor :
    { display.GetLineActor(), display.GetTargetActor(), display.GetSourceActor() })
  {
    const bool present = this->Props->IsItemPresent(actor) != 0;
    if (wanted && !present)
    {
      this->Props->AddItem(actor);
      changed = true;
    }
    else if (!wanted && present)
    {
      this->Props->RemoveItem(actor);
      changed = true;
    }
  }
  return changed;
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnViewLandmarks()
{
  this->LandmarkDisplay->SetVisibility(!this->LandmarkDisplay->GetVisibility());
  this->Redraw();
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnUpdateViewLandmarks(CCmdUI* pCmdUI)
{
  pCmdUI->Enable(this->Landmarks.GetCount() > 0);
  pCmdUI->SetCheck(this->LandmarkDisplay->GetVisibility() ? 1 : 0);
}

//------------------------------------------------------------------------------
std::string CHaldenDoc::LandmarkPaneText() const
{
  const vtkIdType n = this->Landmarks.GetCount();
  if (n == 0)
  {
    return std::string();
  }
  return std::to_string(n) + (n == 1 ? " landmark" : " landmarks");
}

//------------------------------------------------------------------------------
void CHaldenDoc::UseCoefficients(TransformCoefficients fresh)
{
  // The background computation reads the parameters in force: it ends first.
  this->JoinDeformation();
  // The old arrays outlive the call that hands the transform the new ones.
  TransformCoefficients replaced = std::move(this->Coefficients);
  this->Coefficients = std::move(fresh);
  TransformCoefficients& c = this->Coefficients;
  this->UnList = c.UnList.empty() ? nullptr : c.UnList.data();
  this->SplineCoeffX = c.CoeffX.data();
  this->SplineCoeffY = c.CoeffY.data();
  this->SplineCoeffZ = c.CoeffZ.data();
  this->ShapeTransform->SetParameters(c.Radius, c.Points, this->SplineCoeffX, this->SplineCoeffY,
    this->SplineCoeffZ, this->UnList, c.Locator);
  // Constant terms the file holds in double precision (a fit far from the origin): the model
  // is deformed exactly as pravik-warp and the library deform it.
  this->ShapeTransform->SetConstantTerms(c.Constants);
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnLoadTexture()
{
  std::string fileName = this->GetPathName();
  if (this->PromptForFile(fileName, "Load Texture File", MustExist, BitmapFiles, ".bmp", TRUE))
  {
    this->LoadTexture(fileName);
  }
  else
  {
    this->TexturedActor->SetTexture(nullptr);
    this->TextureOn = 0;
    this->TextureChanged();
  }
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::LoadTexture(const std::string& path)
{
  std::string reason;
  if (!CheckBitmap(path, reason))
  {
    Tell("Cannot load the texture", path, reason);
    return FALSE;
  }
  this->TextureReader->SetFileName(path.c_str());
  this->TexturedActor->SetTexture(this->Texture);
  this->TextureOn = 1;
  this->TextureChanged();
  if (!this->HasTexturedPart())
  {
    this->SetStatusText("This model has no textured part (no cell with a scalar of 0 or "
                        "less): the texture will not show on it.");
  }
  return TRUE;
}

//------------------------------------------------------------------------------
bool CHaldenDoc::HasTexturedPart() const
{
  vtkPolyData* model = this->Reader->GetOutput();
  vtkDataArray* labels = model ? model->GetCellData()->GetScalars() : nullptr;
  if (!labels || labels->GetNumberOfComponents() < 1)
  {
    return false; // all body
  }
  for (vtkIdType i = 0; i < labels->GetNumberOfTuples(); ++i)
  {
    if (labels->GetComponent(i, 0) <= 0.0)
    {
      return true;
    }
  }
  return false;
}

//------------------------------------------------------------------------------
void CHaldenDoc::SetTextureOnModelAsLoaded(bool asLoaded)
{
  if (asLoaded == this->TextureOnModelAsLoaded)
  {
    return;
  }
  this->JoinDeformation();
  this->TextureOnModelAsLoaded = asLoaded;
  // As loaded: the coordinates ride through the transform and the normals unchanged.
  this->Colours->SetInputConnection(
    asLoaded ? this->LoadedTextureMap->GetOutputPort() : this->Reader->GetOutputPort());
  this->TransformFilter->SetInputConnection(this->ModelPort());
  vtkAlgorithmOutput* shaded =
    asLoaded ? this->Normals->GetOutputPort() : this->TextureMap->GetOutputPort();
  this->LowerThreshold->SetInputConnection(shaded);
  this->UpperThreshold->SetInputConnection(shaded);
  this->SwitchTransform(this->TransformOn);
}

//------------------------------------------------------------------------------
vtkAlgorithmOutput* CHaldenDoc::ModelPort() const
{
  return this->Colours->GetOutputPort();
}

//------------------------------------------------------------------------------
void CHaldenDoc::SetColourQuantity(int quantity)
{
  this->Colours->SetQuantity(quantity);
  this->Colours->ColourMapper(this->BodyMapper);
  this->Redraw();
}

//------------------------------------------------------------------------------
int CHaldenDoc::GetColourQuantity() const
{
  return this->Colours->GetQuantity();
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::OpenDroppedFile(const std::string& path)
{
  std::string extension = path.substr(std::min(path.size(), path.find_last_of("./") + 1));
  for (char& c : extension)
  {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (extension == "trc" || extension == "bmp")
  {
    if (this->NoData)
    {
      return FALSE; // as the Load commands: only with a model
    }
    return extension == "trc" ? this->LoadTransform(path) : this->LoadTexture(path);
  }
  if (!this->SaveModified())
  {
    return FALSE;
  }
  const BOOL opened = this->OnOpenDocument(path.c_str());
  if (opened)
  {
    this->SetPathName(path);
  }
  if (CView* view = this->GetFirstView())
  {
    view->OnInitialUpdate();
  }
  return opened;
}

//------------------------------------------------------------------------------
void CHaldenDoc::TextureChanged()
{
  // An OpenGL mapper chooses its shader by its own and the property's modification times,
  // not the actor's: without this, a texture put on (or taken off) an actor that was drawn
  // already would show only after the actor is added to a renderer again.
  this->TexturedActor->GetProperty()->Modified();
  this->Redraw();
}

//------------------------------------------------------------------------------
void CHaldenDoc::Redraw()
{
  // The window draws only when asked (a render, or a paint such as this one asks for).
  if (CView* view = this->GetFirstView())
  {
    view->Invalidate();
  }
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnUpdateSaveModel(CCmdUI* pCmdUI)
{
  vtkMFCViewHooks* hooks = Hooks(this->GetFirstView());
  pCmdUI->Enable(this->NoData == 0 && hooks && hooks->IsPaused());
}

//------------------------------------------------------------------------------
void CHaldenDoc::SwitchTransform(int on)
{
  this->TransformOn = on ? 1 : 0;
  this->LandmarkDisplay->SetRiding(this->TransformOn == 1);
  this->Riding.Follow(this->TransformOn ? this->ShapeTransform : nullptr);
  this->Colours->SetDeformation(this->TransformOn ? this->ShapeTransform : nullptr);
  if (this->TransformOn)
  {
    this->Normals->SetInputConnection(this->TransformFilter->GetOutputPort());
  }
  else
  {
    this->Normals->SetInputConnection(this->ModelPort());
  }
  this->Redraw();
}

//------------------------------------------------------------------------------
void CHaldenDoc::ShowDeformation()
{
  this->JoinDeformation();
  this->TransformOn = 1;
  vtkPolyData* model = this->Reader->GetOutput();
  vtkSmartPointer<vtkPoints> points = model ? model->GetPoints() : nullptr;
  const vtkIdType n = points ? points->GetNumberOfPoints() : 0;
  if (n == 0 || n < this->BackgroundDeformationPoints || !this->ShapeTransform->GetInitialized())
  {
    this->SwitchTransform(1);
    return;
  }

  // Until the displacements are cached the window draws the model undeformed, and the
  // pipeline does not evaluate the transform this thread is filling.
  this->Colours->SetDeformation(nullptr);
  if (this->Normals->GetInputConnection(0, 0) != this->ModelPort())
  {
    this->LandmarkDisplay->SetRiding(false);
    this->Normals->SetInputConnection(this->ModelPort());
    this->Redraw();
  }
  this->DeformationCursor.reset(new CWaitCursor);
  this->SetStatusText("Computing the deformation of " + std::to_string(n) + " points...");
  std::weak_ptr<int> alive = this->Alive;
  const int generation = ++this->DeformationGeneration;
  vtkShapeTransform* transform = this->ShapeTransform;
  this->DeformationWorker = std::thread(
    [this, alive, generation, transform, points]
    {
      // Fills the transform's cache for these points: the transform filter reuses it.
      vtkNew<vtkPoints> deformed;
      transform->TransformPoints(points, deformed);
      PostToUserInterface(
        [this, alive, generation]
        {
          // Not for a computation that was waited for already, nor a later one.
          if (alive.lock() && generation == this->DeformationGeneration)
          {
            this->FinishDeformation();
          }
        });
    });
}

//------------------------------------------------------------------------------
void CHaldenDoc::FinishDeformation()
{
  if (!this->DeformationWorker.joinable())
  {
    return;
  }
  this->JoinDeformation();
  this->SwitchTransform(1);
}

//------------------------------------------------------------------------------
void CHaldenDoc::JoinDeformation()
{
  if (!this->DeformationWorker.joinable())
  {
    return;
  }
  this->DeformationWorker.join();
  this->DeformationCursor.reset();
  this->SetStatusText(std::string());
}

//------------------------------------------------------------------------------
void CHaldenDoc::SetStatusText(const std::string& text)
{
  CView* view = this->GetFirstView();
  if (CFrameWnd* frame = view ? view->GetParentFrame() : nullptr)
  {
    frame->SetMessageText(text);
  }
}
