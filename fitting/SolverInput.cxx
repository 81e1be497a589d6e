#include "SolverInput.h"

#include "vtkDatReader.h"
#include "vtkMatrixSolver.h"

void SetSolverInput(vtkMatrixSolver* solver, vtkDatReader* reader)
{
  // The setters print debug lines when the solver's debug flag is on; their order is what
  // the fitting tool has always shown.
  solver->SetRadius(reader->GetRadius());
  solver->SetPointArray(reader->GetPointArray());
  solver->SetList(reader->GetList());
  solver->SetMax(reader->GetMax());
  solver->SetBX(reader->GetBX());
  solver->SetBY(reader->GetBY());
  solver->SetBZ(reader->GetBZ());
}
