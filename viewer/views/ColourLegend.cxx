#include "ColourLegend.h"

#include "vtkDeformationColours.h"

#include <vtkRenderer.h>
#include <vtkScalarBarActor.h>
#include <vtkTextProperty.h>

//------------------------------------------------------------------------------
ColourLegend::ColourLegend()
  : Bar(vtkScalarBarActor::New())
{
  this->Bar->SetNumberOfLabels(5);
  this->Bar->SetLabelFormat("%-#6.3g");
  this->Bar->SetMaximumWidthInPixels(90);
  // At the right-hand side, clear of the model in the middle of the window.
  this->Bar->SetPosition(0.87, 0.1);
  this->Bar->SetWidth(0.12);
  this->Bar->SetHeight(0.8);
  this->Bar->SetBelowRangeAnnotation("folds");
  this->Bar->UnconstrainedFontSizeOn();
  for (vtkTextProperty* text : { this->Bar->GetTitleTextProperty(),
         this->Bar->GetLabelTextProperty(), this->Bar->GetAnnotationTextProperty() })
  {
    text->SetFontSize(13);
    text->SetColor(1.0, 1.0, 1.0);
    text->ShadowOn();
    text->BoldOff();
    text->ItalicOff();
  }
  this->Bar->GetTitleTextProperty()->BoldOn();
}

//------------------------------------------------------------------------------
ColourLegend::~ColourLegend()
{
  this->Bar->Delete();
}

//------------------------------------------------------------------------------
void ColourLegend::Show(vtkRenderer* renderer, vtkDeformationColours* colours, bool hasModel)
{
  const int quantity = colours ? colours->GetQuantity() : vtkDeformationColours::PLAIN;
  const bool shown = hasModel && quantity != vtkDeformationColours::PLAIN;
  if (shown)
  {
    this->Bar->SetLookupTable(colours->GetLegendColours());
    this->Bar->SetTitle(vtkDeformationColours::GetQuantityName(quantity));
    this->Bar->SetDrawBelowRangeSwatch(quantity == vtkDeformationColours::STRETCH);
    if (!renderer->HasViewProp(this->Bar))
    {
      renderer->AddViewProp(this->Bar);
    }
  }
  else if (renderer->HasViewProp(this->Bar))
  {
    renderer->RemoveViewProp(this->Bar);
  }
}

//------------------------------------------------------------------------------
std::string ColourLegend::FoldText(vtkDeformationColours* colours, bool hasModel)
{
  if (!colours || !hasModel || colours->GetQuantity() != vtkDeformationColours::STRETCH)
  {
    return std::string();
  }
  const vtkIdType points = colours->GetNumberOfPoints();
  return std::to_string(colours->GetNumberOfFolds()) + " of " + std::to_string(points) +
    (points == 1 ? " point folds" : " points fold");
}
