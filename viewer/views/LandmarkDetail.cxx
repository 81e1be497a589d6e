#include "LandmarkDetail.h"

#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "LandmarkGlyphs.h"

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkNew.h>
#include <vtkRenderer.h>

#include <atomic>

//------------------------------------------------------------------------------
LandmarkDetail::LandmarkDetail(CHaldenView& view)
  : View(view)
{
  vtkNew<vtkCallbackCommand> choose;
  choose->SetClientData(this);
  choose->SetCallback([](vtkObject*, unsigned long, void* detail, void*)
    { static_cast<LandmarkDetail*>(detail)->Choose(); });
  this->Observer = this->View.GetRenderer()->AddObserver(vtkCommand::StartEvent, choose);
}

//------------------------------------------------------------------------------
LandmarkDetail::~LandmarkDetail()
{
  this->View.GetRenderer()->RemoveObserver(this->Observer);
}

//------------------------------------------------------------------------------
bool LandmarkDetail::Playing() const
{
  const auto* document = dynamic_cast<const CHaldenDoc*>(this->View.GetDocument());
  return document && document->TransformOn == 1 && this->View.GetAnimationRunning() != 0 &&
    !this->View.IsPaused() && this->View.Realtime.load(std::memory_order_relaxed) != 0;
}

//------------------------------------------------------------------------------
bool LandmarkDetail::Choose()
{
  auto* document = dynamic_cast<CHaldenDoc*>(this->View.GetDocument());
  if (!document || !document->LandmarkDisplay)
  {
    return false;
  }
  LandmarkGlyphs& display = *document->LandmarkDisplay;
  const bool thinned = display.GetThinned();
  display.SetPlaying(this->Held == 0 && this->Playing());
  return display.GetThinned() != thinned;
}

//------------------------------------------------------------------------------
void LandmarkDetail::Hold()
{
  ++this->Held;
}

//------------------------------------------------------------------------------
void LandmarkDetail::Release()
{
  if (this->Held > 0)
  {
    --this->Held;
  }
}
