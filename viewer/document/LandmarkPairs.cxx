#include "LandmarkPairs.h"

#include "vtkDatReader.h"

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkNew.h>
#include <vtkPoints.h>

namespace
{
vtkSmartPointer<vtkPoints> NewDoublePoints()
{
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataTypeToDouble();
  return points;
}

void CopyAsDouble(vtkPoints* from, vtkPoints* to)
{
  const vtkIdType n = from->GetNumberOfPoints();
  to->SetNumberOfPoints(n);
  for (vtkIdType i = 0; i < n; ++i)
  {
    to->SetPoint(i, from->GetPoint(i));
  }
  to->Modified();
}

// The reason goes to the caller, who tells the user: the reader's error must not also reach
// the terminal. An observer of ErrorEvent takes the report instead of VTK's output window.
void SwallowError(vtkObject*, unsigned long, void*, void*) {}

// The reader's sentences end with "!"; the caller adds its own stop.
std::string Sentence(std::string text)
{
  while (!text.empty() && (text.back() == '!' || text.back() == '.' || text.back() == ' '))
  {
    text.pop_back();
  }
  return text;
}
}

//------------------------------------------------------------------------------
LandmarkPairs::LandmarkPairs()
  : Sources(NewDoublePoints())
  , Targets(NewDoublePoints())
{
}

//------------------------------------------------------------------------------
LandmarkPairs::~LandmarkPairs() = default;

//------------------------------------------------------------------------------
vtkIdType LandmarkPairs::GetCount() const
{
  return this->Sources->GetNumberOfPoints();
}

//------------------------------------------------------------------------------
bool LandmarkPairs::ReadFile(const std::string& path, std::string* reason)
{
  vtkNew<vtkDatReader> reader;
  vtkNew<vtkCallbackCommand> quiet;
  quiet->SetCallback(SwallowError);
  reader->AddObserver(vtkCommand::ErrorEvent, quiet);
  reader->AddObserver(vtkCommand::WarningEvent, quiet);
  reader->FileName = path.c_str();
  // Only the positions are wanted: a radius of 0 keeps the neighbourhood ordering the reader
  // builds for a fit down to coincident landmarks, whatever the landmarks' spacing.
  reader->SetRadius(0.0f);
  std::string why;
  try
  {
    if (reader->Read() != 0)
    {
      why = Sentence(reader->GetErrorMessage());
    }
    else if (reader->GetPointArray()->GetNumberOfPoints() == 0)
    {
      why = "no landmark read: " + std::to_string(reader->GetSkippedLines()) +
        " lines skipped (a landmark line starts with six numbers separated by blanks)";
    }
  }
  catch (const char*)
  {
    why = "Not enough memory";
  }
  if (!why.empty())
  {
    if (reason)
    {
      *reason = why;
    }
    return false;
  }
  CopyAsDouble(reader->GetPointArray(), this->Sources);
  CopyAsDouble(reader->GetPointArrayN(), this->Targets);
  this->Modified();
  return true;
}

//------------------------------------------------------------------------------
void LandmarkPairs::Clear()
{
  this->Sources->Initialize();
  this->Targets->Initialize();
  this->Modified();
}

//------------------------------------------------------------------------------
void LandmarkPairs::Modified()
{
  ++this->MTime;
}
