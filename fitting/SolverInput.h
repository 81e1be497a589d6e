#ifndef SolverInput_h
#define SolverInput_h

class vtkDatReader;
class vtkMatrixSolver;

/**
 * Hands the arrays of a reader that has read its file to the solver: radius, landmark
 * positions, ordering, half-bandwidth and the three right-hand sides, in that order. The
 * solver refers to the reader's arrays (and overwrites BX, BY and BZ when it solves), so the
 * reader must outlive the solver's use of them.
 */
void SetSolverInput(vtkMatrixSolver* solver, vtkDatReader* reader);

#endif
