#ifndef FitNotes_h
#define FitNotes_h

#include <cstdio>

class vtkDatReader;

/**
 * Notes on a landmark file and radius that Pravik accepts but that give a degenerate or poor
 * fit, one line each on `out` (standard error): a radius that is not positive (the fit is
 * the affine part alone); landmarks without a neighbour within the radius; a mean neighbour
 * count outside about 5 to 500, with a radius that gives about 30. Nothing else of the run
 * changes. `radiusText` is the radius as the user wrote it; `reader` has read the file.
 */
void PrintFitNotes(std::FILE* out, const char* radiusText, vtkDatReader* reader);

/// The neighbour counts outside which a note suggests another radius, and its aim.
constexpr double FewNeighbours = 5.0;
constexpr double ManyNeighbours = 500.0;
constexpr int AimedNeighbours = 30;

#endif
