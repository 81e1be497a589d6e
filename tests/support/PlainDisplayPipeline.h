// The viewer document's display chain as it would be without reuse between steps: VTK's own
// transform filter, normals, cylinder texture map and label thresholds, all redone whenever
// the points move. The picture tests compare the document's pictures with it, and the
// animation benchmark times the document's pipeline against it.
#ifndef PlainDisplayPipeline_h
#define PlainDisplayPipeline_h

#include "CHaldenDoc.h"
#include "vtkShapeTransform.h"

#include <vtkDataSetAttributes.h>
#include <vtkNew.h>
#include <vtkPolyDataNormals.h>
#include <vtkTextureMapToCylinder.h>
#include <vtkThreshold.h>
#include <vtkTransformPolyDataFilter.h>

struct PlainDisplayPipeline
{
  vtkNew<vtkTransformPolyDataFilter> Transform;
  vtkNew<vtkPolyDataNormals> Normals;
  vtkNew<vtkTextureMapToCylinder> TextureMap;
  // The cells of the body (labels up to 1) and of the textured part (labels from 0 on), as the
  // document's UpperThreshold and LowerThreshold keep them.
  vtkNew<vtkThreshold> Upper;
  vtkNew<vtkThreshold> Lower;

  explicit PlainDisplayPipeline(CHaldenDoc* doc)
  {
    this->Transform->SetTransform(doc->ShapeTransform);
    this->Transform->SetInputConnection(doc->Reader->GetOutputPort());
    this->Normals->SetInputConnection(this->Transform->GetOutputPort());
    this->TextureMap->SetInputConnection(this->Normals->GetOutputPort());
    this->TextureMap->AutomaticCylinderGenerationOff();
    this->TextureMap->SetPoint1(doc->TextureMap->GetPoint1());
    this->TextureMap->SetPoint2(doc->TextureMap->GetPoint2());
    for (vtkThreshold* t : { this->Upper.GetPointer(), this->Lower.GetPointer() })
    {
      t->SetInputConnection(this->TextureMap->GetOutputPort());
      t->SetInputArrayToProcess(
        0, 0, 0, vtkDataObject::FIELD_ASSOCIATION_CELLS, vtkDataSetAttributes::SCALARS);
    }
    this->Upper->SetUpperThreshold(1.0);
    this->Upper->SetThresholdFunction(vtkThreshold::THRESHOLD_UPPER);
    this->Lower->SetLowerThreshold(0.0);
    this->Lower->SetThresholdFunction(vtkThreshold::THRESHOLD_LOWER);
  }
};

#endif
