#ifndef NeighbourStatistics_h
#define NeighbourStatistics_h

// How many other landmarks lie within the support radius of each landmark, and the radius
// that gives about as many as a good fit wants. The fit reports the counts of its landmarks,
// Pravik's notes and the viewer's fit dialog show them before a fit.

#include <vtkType.h>

class vtkPoints;
class vtkPointLocator;

/** Neighbours of the landmarks: the other landmarks within the radius of each source. */
struct NeighbourStatistics
{
  vtkIdType Counted = 0; ///< landmarks whose neighbours were counted
  vtkIdType Fewest = 0;  ///< the fewest neighbours of one of them
  vtkIdType Most = 0;    ///< the most
  double Mean = 0.0;     ///< the mean
  vtkIdType Lonely = 0;  ///< those without a neighbour
};

/**
 * Counts the neighbours within radius (distance equal to radius included) of every step-th
 * point of points (step 1: all of them; larger steps sample the set evenly, still counting
 * neighbours among all points). locator must be built over points. A radius that is not a
 * positive number gives every counted point no neighbour.
 */
NeighbourStatistics CountNeighbourStatistics(
  vtkPoints* points, vtkPointLocator* locator, double radius, vtkIdType step = 1);

/**
 * A radius within which the points have about `aimed` others: the median, over an even
 * sample of up to 1000 points, of the distance to their aimed-th nearest other point. mean
 * receives the mean neighbour count of the sample at that radius. 0 (and mean 0) for fewer
 * than two points. locator must be built over points.
 */
double SuggestRadius(vtkPoints* points, vtkPointLocator* locator, int aimed, double& mean);

#endif
