#include "LandmarkFileWriter.h"

#include "LandmarkPairs.h"
#include "NumberText.h"
#include "ReplaceFile.h"

#include <vtkPoints.h>

#include <cmath>
#include <cstdio>

//------------------------------------------------------------------------------
bool WriteLandmarkFile(const LandmarkPairs& pairs, const std::string& path, std::string& reason)
{
  vtkPoints* sources = pairs.GetSources();
  vtkPoints* targets = pairs.GetTargets();
  const vtkIdType n = pairs.GetCount();
  for (vtkIdType i = 0; i < n; ++i)
  {
    double pair[6];
    sources->GetPoint(i, pair);
    targets->GetPoint(i, pair + 3);
    for (double v : pair)
    {
      if (!std::isfinite(static_cast<float>(v)))
      {
        reason = "landmark " + std::to_string(i + 1) + " is not a finite single-precision number";
        return false;
      }
    }
  }

  auto contents = [&](NewFileContents& file, std::string&)
  {
    std::string line;
    for (vtkIdType i = 0; i < n; ++i)
    {
      double pair[6];
      sources->GetPoint(i, pair);
      targets->GetPoint(i, pair + 3);
      line.clear();
      for (int k = 0; k < 6; ++k)
      {
        NumberText::AppendExact(line, static_cast<float>(pair[k]));
        line += k < 5 ? ' ' : '\n';
      }
      if (std::fwrite(line.data(), 1, line.size(), file.Stream) != line.size())
      {
        return false;
      }
    }
    return true;
  };
  return ReplaceFile(path, contents, reason) == ReplaceFileStatus::Ok;
}
