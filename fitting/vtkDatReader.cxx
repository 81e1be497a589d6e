#include "vtkDatReader.h"

#include "FitProgress.h"
#include "NumberText.h"

#include <vtkIdList.h>
#include <vtkObjectFactory.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

vtkStandardNewMacro(vtkDatReader);

namespace
{
enum class Item
{
  Number,
  NotNumber,
  NotFinite
};

// One number after optional white space.
Item ParseNumber(const char*& p, float& value)
{
  while (NumberText::IsSpace(*p))
  {
    ++p;
  }
  switch (NumberText::ReadFloat(p, value))
  {
    case NumberText::Scan::Number:
      return Item::Number;
    case NumberText::Scan::NotFinite:
      return Item::NotFinite;
    default:
      return Item::NotNumber;
  }
}

// Parses a landmark line into six values. Returns Number for a landmark, NotNumber for a line
// to skip and NotFinite for a landmark that cannot be used.
Item ParseLandmark(const char* line, float values[6])
{
  const char* p = line;
  for (int k = 0; k < 6; ++k)
  {
    const Item item = ParseNumber(p, values[k]);
    if (item != Item::Number)
    {
      return item;
    }
  }
  return Item::Number;
}

constexpr int Unassigned = std::numeric_limits<int>::max();

// Adds the neighbours of one landmark (the ids within the radius but itself) to the counts.
void CountNeighbours(NeighbourCounts& counts, vtkIdList* ids, int landmark)
{
  const vtkIdType others = ids->GetNumberOfIds() - (ids->IsId(landmark) >= 0 ? 1 : 0);
  counts.Total += others;
  counts.Lonely += others == 0 ? 1 : 0;
}
}

//------------------------------------------------------------------------------
vtkDatReader::vtkDatReader()
  : FileName(nullptr)
  , PointArray(vtkPoints::New())
  , PointArrayN(vtkPoints::New())
  , PolyData(vtkPolyData::New())
  , Tree(vtkPointLocator::New())
  , List(nullptr)
  , UnList(nullptr)
  , TX(0.0f)
  , TY(0.0f)
  , TZ(0.0f)
  , BX(nullptr)
  , BY(nullptr)
  , BZ(nullptr)
  , Radius(0.1f)
  , Max(0)
{
}

//------------------------------------------------------------------------------
vtkDatReader::~vtkDatReader()
{
  this->PointArray->Delete();
  this->PointArrayN->Delete();
  this->PolyData->Delete();
  this->Tree->Delete();
  this->ReleaseArrays();
}

//------------------------------------------------------------------------------
void vtkDatReader::ReleaseArrays()
{
  delete[] this->List;
  delete[] this->UnList;
  delete[] this->BX;
  delete[] this->BY;
  delete[] this->BZ;
  this->List = this->UnList = nullptr;
  this->BX = this->BY = this->BZ = nullptr;
}

//------------------------------------------------------------------------------
void vtkDatReader::Fail(const std::string& message, bool outOfMemory)
{
  this->ErrorMessage = message;
  this->OutOfMemory = outOfMemory;
  InvokeFitOutput(this);
  vtkErrorMacro(<< message);
}

//------------------------------------------------------------------------------
int vtkDatReader::ReadLandmarks()
{
  FILE* file = this->FileName ? std::fopen(this->FileName, "r") : nullptr;
  if (!file)
  {
    this->Fail(std::string("Cannot open ") + (this->FileName ? this->FileName : "(null)") + "!");
    return -1;
  }
  char* line = nullptr;
  size_t capacity = 0;
  long lineNumber = 0;
  int result = 0;
  while (::getline(&line, &capacity, file) >= 0)
  {
    ++lineNumber;
    float v[6];
    const Item item = ParseLandmark(line, v);
    if (item == Item::NotFinite)
    {
      this->Fail("Line " + std::to_string(lineNumber) + " of " + this->FileName +
        " holds a landmark value that is not a finite number!");
      result = -1;
      break;
    }
    if (item == Item::Number)
    {
      this->PointArray->InsertNextPoint(v[0], v[1], v[2]);
      this->PointArrayN->InsertNextPoint(v[3], v[4], v[5]);
    }
    else
    {
      ++this->SkippedLines;
    }
  }
  if (result == 0 && std::ferror(file))
  {
    this->Fail(std::string("Cannot read ") + this->FileName + "!");
    result = -1;
  }
  else if (result == 0 && !std::feof(file))
  {
    // getline gives up before the end of the file only when it cannot make room for a line:
    // the landmarks after it must not be lost without a word.
    this->Fail("Not enough memory", true);
    result = -1;
  }
  std::free(line);
  std::fclose(file);
  return result;
}

//------------------------------------------------------------------------------
int vtkDatReader::Read()
{
  this->ReleaseArrays();
  this->Max = 0;
  this->SkippedLines = 0;
  this->Neighbours = NeighbourCounts();
  this->ErrorMessage.clear();
  this->OutOfMemory = false;
  this->PointArray->Initialize();
  this->PointArrayN->Initialize();
  InvokeFitStage(this, FitStage::Reading);
  if (this->ReadLandmarks() != 0)
  {
    this->PointArray->Initialize();
    this->PointArrayN->Initialize();
    return -1;
  }
  this->PointArray->Squeeze();
  this->PointArrayN->Squeeze();

  InvokeFitStage(this, FitStage::Ordering);
  this->PolyData->SetPoints(this->PointArray);
  this->Tree->SetDataSet(this->PolyData);
  const int n = static_cast<int>(this->PointArray->GetNumberOfPoints());
  // The locator refuses to subdivide an empty set; without points it is never asked.
  if (n > 0)
  {
    this->Tree->BuildLocator();
  }

  this->List =
    GetWellOderredList(this->Max, n, this->Radius, this->PointArray, this->Tree, &this->Neighbours);

  this->UnList = new (std::nothrow) int[n];
  if (!this->UnList)
  {
    this->Fail("Not enough memory", true);
    return -1;
  }
  for (int k = 0; k < n; ++k)
  {
    this->UnList[this->List[k]] = k;
  }
  float** targets[3] = { &this->BX, &this->BY, &this->BZ };
  for (float** b : targets)
  {
    *b = new (std::nothrow) float[n];
    if (!*b)
    {
      this->Fail("Not enough memory", true);
      return -1;
    }
  }
  for (int k = 0; k < n; ++k)
  {
    double s[3];
    double t[3];
    this->PointArray->GetPoint(this->List[k], s);
    this->PointArrayN->GetPoint(this->List[k], t);
    this->BX[k] = static_cast<float>(s[0]) - static_cast<float>(t[0]);
    this->BY[k] = static_cast<float>(s[1]) - static_cast<float>(t[1]);
    this->BZ[k] = static_cast<float>(s[2]) - static_cast<float>(t[2]);
  }
  return 0;
}

//------------------------------------------------------------------------------
int* GetWellOderredList(int& max, int n, float radius, vtkPoints* points, vtkPointLocator* locator,
  NeighbourCounts* counts)
{
  max = 0;
  int* list = new (std::nothrow) int[n];
  int* position = new (std::nothrow) int[n];
  if (!list || !position)
  {
    delete[] list;
    delete[] position;
    throw "GetWellOderredList: Can not allocate result array!";
  }
  for (int i = 0; i < n; ++i)
  {
    list[i] = Unassigned;
    position[i] = Unassigned;
  }
  if (n == 0)
  {
    delete[] position;
    return list;
  }
  // One id list serves every query; the locator resets it before filling it.
  vtkIdList* ids = vtkIdList::New();
  int head = 0;
  int tail = 0;
  int nextSeed = 0; // every landmark below this index has a position
  do
  {
    if (list[head] == Unassigned)
    {
      while (position[nextSeed] != Unassigned)
      {
        ++nextSeed;
      }
      list[head] = nextSeed;
      position[nextSeed] = head;
      ++tail;
    }
    double centre[3];
    points->GetPoint(list[head], centre);
    locator->FindPointsWithinRadius(radius, centre, ids);
    const vtkIdType count = ids->GetNumberOfIds();
    if (counts)
    {
      CountNeighbours(*counts, ids, list[head]);
    }
    for (vtkIdType k = 0; k < count; ++k)
    {
      const vtkIdType id = ids->GetId(k);
      if (position[id] != Unassigned)
      {
        continue;
      }
      if (tail - head > max)
      {
        max = tail - head;
      }
      list[tail] = static_cast<int>(id);
      position[id] = tail;
      ++tail;
    }
    ++head;
  } while (tail < n);
  // The landmarks still waiting to be expanded were reached from a neighbour; their own
  // neighbourhoods are asked for only to count them.
  for (; counts && head < n; ++head)
  {
    double centre[3];
    points->GetPoint(list[head], centre);
    locator->FindPointsWithinRadius(radius, centre, ids);
    CountNeighbours(*counts, ids, list[head]);
  }
  ids->Delete();
  delete[] position;
  return list;
}

//------------------------------------------------------------------------------
bool FindCoincidentLandmarks(vtkPoints* points, vtkPointLocator* locator, int& first, int& second)
{
  const vtkIdType n = points->GetNumberOfPoints();
  vtkIdList* ids = vtkIdList::New();
  bool found = false;
  for (vtkIdType i = 0; i < n && !found; ++i)
  {
    double p[3];
    points->GetPoint(i, p);
    locator->FindPointsWithinRadius(0.0, p, ids);
    for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k)
    {
      const vtkIdType id = ids->GetId(k);
      if (id > i && (!found || id < second))
      {
        first = static_cast<int>(i);
        second = static_cast<int>(id);
        found = true;
      }
    }
  }
  ids->Delete();
  return found;
}

//------------------------------------------------------------------------------
void vtkDatReader::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "FileName: " << (this->FileName ? this->FileName : "(none)") << "\n";
  os << indent << "PointArray: " << this->PointArray << "\n";
  os << indent << "PointArrayN: " << this->PointArrayN << "\n";
  os << indent << "PolyData: " << this->PolyData << "\n";
  os << indent << "Tree: " << this->Tree << "\n";
  os << indent << "List: " << this->List << "\n";
  os << indent << "UnList: " << this->UnList << "\n";
  os << indent << "TX: " << this->TX << "\n";
  os << indent << "TY: " << this->TY << "\n";
  os << indent << "TZ: " << this->TZ << "\n";
  os << indent << "BX: " << this->BX << "\n";
  os << indent << "BY: " << this->BY << "\n";
  os << indent << "BZ: " << this->BZ << "\n";
  os << indent << "Radius: " << this->Radius << "\n";
  os << indent << "Max: " << this->Max << "\n";
  os << indent << "SkippedLines: " << this->SkippedLines << "\n";
  os << indent << "ErrorMessage: " << this->ErrorMessage << (this->OutOfMemory ? " (memory)" : "")
     << "\n";
  os << indent << "Neighbours: " << this->Neighbours.Total << " in all, " << this->Neighbours.Lonely
     << " landmarks without any\n";
}
