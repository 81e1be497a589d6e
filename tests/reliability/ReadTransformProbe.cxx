// Reads a transform coefficient file the way the viewer does and prints the outcome, so that
// a test can watch the reader in a process of its own (under a memory limit, for one).
//   "Ok <N>", "CannotOpen: <reason>" or "Mismatch: <reason>"; exit status 0 in every case.
#include "TransformFile.h"

#include <vtkPoints.h>

#include <cstdio>

int main(int argc, char* argv[])
{
  if (argc != 2)
  {
    std::printf("Usage: %s <file.trc>\n", argv[0]);
    return 1;
  }
  TransformCoefficients c;
  const TransformFileResult result = ReadTransformCoefficients(argv[1], c);
  switch (result.Status)
  {
    case TransformFileStatus::Ok:
      std::printf("Ok %lld\n", static_cast<long long>(c.Points->GetNumberOfPoints()));
      break;
    case TransformFileStatus::CannotOpen:
      std::printf("CannotOpen: %s\n", result.Reason.c_str());
      break;
    case TransformFileStatus::Mismatch:
      std::printf("Mismatch: %s\n", result.Reason.c_str());
      break;
  }
  return 0;
}
