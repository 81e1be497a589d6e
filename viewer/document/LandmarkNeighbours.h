/**
 * @class LandmarkNeighbours
 * @brief How many other landmarks lie within a radius of each source landmark, and the radius
 * that gives about as many as a good fit wants, for the landmark pairs of a document.
 *
 * The counting and the suggestion are the fitting library's (NeighbourStatistics.h); this
 * class keeps a point locator over the sources from one question to the next (rebuilt when the
 * pairs change) and bounds the work of a count, so that the fit dialog can answer while the
 * radius is typed: a radius that joins nearly every landmark to every other would take
 * billions of steps on a large set, so beyond CountBudget neighbours in all the landmarks are
 * counted on an even sample (the statistics' Counted then falls short of the pairs' count).
 */
#ifndef LandmarkNeighbours_h
#define LandmarkNeighbours_h

#include "NeighbourStatistics.h"

#include <vtkPointLocator.h> // for the members' destructors
#include <vtkPoints.h>       // for the members' destructors
#include <vtkSmartPointer.h>
#include <vtkType.h>

class LandmarkPairs;

class LandmarkNeighbours
{
public:
  LandmarkNeighbours();
  ~LandmarkNeighbours();
  LandmarkNeighbours(const LandmarkNeighbours&) = delete;
  LandmarkNeighbours& operator=(const LandmarkNeighbours&) = delete;

  /// The neighbours of the pairs' sources within radius (all of them, or an even sample).
  NeighbourStatistics Count(const LandmarkPairs& pairs, double radius);
  /// A radius within which the sources have about 30 others; 0 for fewer than two pairs.
  double Suggest(const LandmarkPairs& pairs);

  /// Neighbours counted at most by one Count() before it samples (default 20 million).
  vtkIdType CountBudget = 20000000;

private:
  void Locate(const LandmarkPairs& pairs);
  vtkSmartPointer<vtkPoints> Points;
  vtkSmartPointer<vtkPointLocator> Locator;
  vtkMTimeType Located = 0;
  bool Built = false;
};

#endif
