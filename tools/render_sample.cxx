// Renders the sample to a PNG for a person to look at: the model as stored (left) and the
// pose its landmarks describe (middle) and that pose as the fitted spline gives it (right), all
// textured and in front of the background, the way the viewer draws them.
//
//   xvfb-run -a build/tools/render_sample data /tmp/leg.png [radius | file.trc]
//
// With a radius (default: the sample's) the right column is fitted here in double precision;
// with a coefficient file written by Pravik it is what the viewer's shape transform makes of it.
#include "TransformFile.h"
#include "leg_sample.h"
#include "vtkShapeTransform.h"

#include <vtkActor.h>
#include <vtkBMPReader.h>
#include <vtkCamera.h>
#include <vtkDataSetMapper.h>
#include <vtkImageActor.h>
#include <vtkImageMapper3D.h>
#include <vtkNew.h>
#include <vtkPNGWriter.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataNormals.h>
#include <vtkPolyDataReader.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkTexture.h>
#include <vtkTextureMapToCylinder.h>
#include <vtkThreshold.h>
#include <vtkWindowToImageFilter.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace
{

void AddLeg(vtkRenderer* renderer, vtkPolyData* leg, vtkTexture* texture)
{
  vtkNew<vtkPolyDataNormals> normals;
  normals->SetInputData(leg);
  vtkNew<vtkTextureMapToCylinder> map;
  map->SetInputConnection(normals->GetOutputPort());
  map->AutomaticCylinderGenerationOff();
  map->SetPoint1(legsample::kAxisPoint1[0], legsample::kAxisPoint1[1], legsample::kAxisPoint1[2]);
  map->SetPoint2(legsample::kAxisPoint2[0], legsample::kAxisPoint2[1], legsample::kAxisPoint2[2]);
  for (int part = 0; part < 2; ++part)
  {
    vtkNew<vtkThreshold> threshold;
    threshold->SetInputConnection(map->GetOutputPort());
    threshold->SetInputArrayToProcess(0, 0, 0, vtkDataObject::FIELD_ASSOCIATION_CELLS, "region");
    if (part == 0)
    {
      threshold->SetLowerThreshold(0.0);
      threshold->SetThresholdFunction(vtkThreshold::THRESHOLD_LOWER);
    }
    else
    {
      threshold->SetUpperThreshold(1.0);
      threshold->SetThresholdFunction(vtkThreshold::THRESHOLD_UPPER);
    }
    vtkNew<vtkDataSetMapper> mapper;
    mapper->SetInputConnection(threshold->GetOutputPort());
    mapper->ScalarVisibilityOff();
    vtkNew<vtkActor> actor;
    actor->SetMapper(mapper);
    actor->GetProperty()->SetInterpolationToGouraud();
    if (part == 0)
    {
      actor->SetTexture(texture);
    }
    else
    {
      actor->GetProperty()->SetColor(0.93, 0.76, 0.64);
    }
    renderer->AddActor(actor);
  }
}

} // namespace

int main(int argc, char* argv[])
{
  if (argc != 3 && argc != 4)
  {
    std::cerr << "Usage: render_sample <data directory> <picture.png> [radius | file.trc]\n";
    return 2;
  }
  const std::string dir = argv[1];
  vtkNew<vtkPolyDataReader> reader;
  reader->SetFileName((dir + "/leg.vtk").c_str());
  reader->Update();
  vtkPolyData* leg = reader->GetOutput();
  if (leg->GetNumberOfPoints() == 0)
  {
    std::cerr << "No model in " << dir << "\n";
    return 1;
  }

  vtkNew<vtkPolyData> posed;
  posed->DeepCopy(leg);
  vtkPoints* points = posed->GetPoints();
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i)
  {
    double p[3];
    double q[3];
    points->GetPoint(i, p);
    legsample::Warp(p, q);
    points->SetPoint(i, q);
  }

  // The same pose as the spline through the landmark file gives it, the way the viewer
  // deforms the model.
  std::vector<legsample::Landmark> landmarks;
  {
    std::ifstream dat(dir + "/leg.dat");
    legsample::Landmark l;
    while (
      dat >> l.Source[0] >> l.Source[1] >> l.Source[2] >> l.Target[0] >> l.Target[1] >> l.Target[2])
    {
      landmarks.push_back(l);
    }
  }
  vtkNew<vtkPolyData> fitted;
  fitted->DeepCopy(leg);
  const std::string third = argc > 3 ? argv[3] : "";
  if (third.size() > 4 && third.compare(third.size() - 4, 4, ".trc") == 0)
  {
    // A coefficient file from the fitting tool, applied by the viewer's transform.
    TransformCoefficients c;
    const TransformFileResult read = ReadTransformCoefficients(third.c_str(), c);
    if (read.Status != TransformFileStatus::Ok)
    {
      std::cerr << third << ": " << read.Reason << "\n";
      return 1;
    }
    vtkNew<vtkShapeTransform> transform;
    transform->SetParameters(c.Radius, c.Points, c.CoeffX.data(), c.CoeffY.data(), c.CoeffZ.data(),
      c.UnList.data(), c.Locator);
    transform->SetFactor(1.0f);
    vtkNew<vtkPoints> moved;
    transform->TransformPoints(leg->GetPoints(), moved);
    fitted->SetPoints(moved);
  }
  else
  {
    const double radius = third.empty() ? legsample::kRadius : std::atof(third.c_str());
    const std::vector<std::array<double, 3>> coefficients = legsample::FitSpline(landmarks, radius);
    for (vtkIdType i = 0; i < fitted->GetNumberOfPoints(); ++i)
    {
      double p[3];
      double q[3];
      fitted->GetPoint(i, p);
      legsample::Deform(landmarks, coefficients, radius, p, q);
      fitted->GetPoints()->SetPoint(i, q);
    }
  }

  vtkNew<vtkBMPReader> textureReader;
  textureReader->SetFileName((dir + "/leg.bmp").c_str());
  vtkNew<vtkTexture> texture;
  texture->SetInputConnection(textureReader->GetOutputPort());
  texture->InterpolateOn();
  vtkNew<vtkBMPReader> backgroundReader;
  backgroundReader->SetFileName((dir + "/background.bmp").c_str());
  backgroundReader->Update();

  // Columns: as stored, posed, posed by the fitted spline. Rows: seen from the side, and from above
  // the foot.
  vtkNew<vtkRenderWindow> window;
  window->SetOffScreenRendering(1);
  window->SetSize(1500, 750);
  vtkPolyData* shapes[3] = { leg, posed, fitted };
  const double eyes[2][3] = { { 0.25, -3.0, 0.3 }, { 2.2, -1.6, 1.6 } };
  for (int row = 0; row < 2; ++row)
  {
    for (int column = 0; column < 3; ++column)
    {
      const double viewport[4] = { column / 3.0, 0.5 - 0.5 * row, (column + 1) / 3.0,
        1.0 - 0.5 * row };
      vtkNew<vtkRenderer> back;
      back->SetViewport(viewport);
      back->SetLayer(0);
      back->InteractiveOff();
      vtkNew<vtkImageActor> image;
      image->GetMapper()->SetInputConnection(backgroundReader->GetOutputPort());
      back->AddActor(image);
      back->ResetCamera();
      back->GetActiveCamera()->ParallelProjectionOn();
      back->GetActiveCamera()->SetParallelScale(240);
      window->AddRenderer(back);

      vtkNew<vtkRenderer> front;
      front->SetViewport(viewport);
      front->SetLayer(1);
      AddLeg(front, shapes[column], texture);
      vtkCamera* camera = front->GetActiveCamera();
      camera->SetFocalPoint(0.2, 0.0, -0.1);
      camera->SetPosition(eyes[row][0], eyes[row][1], eyes[row][2]);
      camera->SetViewUp(0, 0, 1);
      front->ResetCamera();
      window->AddRenderer(front);
    }
  }
  window->SetNumberOfLayers(2);
  window->Render();

  vtkNew<vtkWindowToImageFilter> grab;
  grab->SetInput(window);
  vtkNew<vtkPNGWriter> png;
  png->SetInputConnection(grab->GetOutputPort());
  png->SetFileName(argv[2]);
  png->Write();
  return 0;
}
