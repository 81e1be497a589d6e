/**
 * @class LandmarkGlyphs
 * @brief The landmark pairs as the window shows them: a sphere at every source, a sphere at
 * every target, a line between the two.
 *
 * Three actors, whatever the number of landmarks: all source spheres through one sphere mapper,
 * all target spheres through another (each sphere is drawn by the graphics card from its centre
 * alone, lit and at its true depth, so that ten thousand of them cost little more than their
 * points), and all lines in one polydata. The
 * sources ride with the deformation (vtkLandmarkRide): while the model is shown deformed, a
 * source sphere sits where the deformation at the current blend carries its landmark, and at a
 * blend of 1 on its target.
 *
 * The spheres' radius comes from the size of the model (the diagonal of its bounds) and the
 * number of landmarks: large enough to be seen, small enough that many of them leave the model
 * visible (see RadiusFor).
 *
 * While the animation plays (SetPlaying), a set of more than PlayingLimit landmarks is drawn
 * as an even selection of at most that many (EvenSubset over the sources as loaded, chosen once
 * for each set and kept from step to step): the same spheres and lines, at the same size and in
 * the same colours, only fewer, so that each step costs about what the selection costs and not
 * what the whole set would. As soon as playing stops every landmark is drawn again; pictures,
 * picking and editing of a paused or stopped view always see them all.
 */
#ifndef LandmarkGlyphs_h
#define LandmarkGlyphs_h

#include <vtkSmartPointer.h>
#include <vtkType.h>

#include <vector>

class LandmarkPairs;
class vtkActor;
class vtkLandmarkRide;
class vtkOpenGLSphereMapper;
class vtkPoints;
class vtkPolyData;
class vtkPolyDataMapper;
class vtkShapeTransform;

class LandmarkGlyphs
{
public:
  LandmarkGlyphs();
  ~LandmarkGlyphs();
  LandmarkGlyphs(const LandmarkGlyphs&) = delete;
  LandmarkGlyphs& operator=(const LandmarkGlyphs&) = delete;

  /**
   * Shows these pairs (held by reference until the next call) with spheres sized for a model
   * of these bounds (xmin, xmax, ymin, ymax, zmin, zmax); without usable bounds (none, or a
   * single point) the landmarks' own extent is taken.
   */
  void SetPairs(const LandmarkPairs& pairs, const double modelBounds[6]);
  /// The deformation the sources ride with (null: at rest).
  void SetTransform(vtkShapeTransform* transform);
  /// Whether the sources ride (on while the model is shown deformed).
  void SetRiding(bool riding);

  ///@{
  /// Shown (the default) or hidden.
  void SetVisibility(bool visible);
  bool GetVisibility() const { return this->Visible; }
  ///@}

  ///@{
  /**
   * Whether the animation plays: while it does, at most PlayingLimit landmarks are drawn (see
   * the class comment). Off by default. Cheap to call before every picture: nothing changes
   * unless the state or the landmarks did.
   */
  void SetPlaying(bool playing);
  bool GetPlaying() const { return this->Playing; }
  ///@}
  ///@{
  /// The most landmarks drawn while playing (at least 1; default DefaultPlayingLimit).
  void SetPlayingLimit(vtkIdType limit);
  vtkIdType GetPlayingLimit() const { return this->PlayingLimit; }
  static constexpr vtkIdType DefaultPlayingLimit = 400;
  ///@}
  /// The landmarks drawn now, by index in increasing order: all of them unless a selection
  /// is drawn while playing.
  std::vector<vtkIdType> GetDrawnLandmarks() const;
  /// Whether only a selection of the landmarks is drawn now.
  bool GetThinned() const { return this->Thinned; }

  /// The spheres' radius in the model's units.
  double GetRadius() const { return this->Radius; }
  /**
   * The radius for count landmarks on a model whose bounds have the diagonal diagonal: the
   * diagonal times 0.17 / sqrt(count), kept between 0.3 % and 1.2 % of the diagonal: a third
   * of the spacing of landmarks spread evenly over a surface of that size.
   */
  static double RadiusFor(double diagonal, vtkIdType count);

  ///@{
  /// The three actors (never null).
  vtkActor* GetSourceActor() const;
  vtkActor* GetTargetActor() const;
  vtkActor* GetLineActor() const;
  ///@}
  /// The filter that places the sources and the lines.
  vtkLandmarkRide* GetRide() const;

  ///@{
  /// The colours of the source spheres, the target spheres and the lines.
  static const double SourceColor[3];
  static const double TargetColor[3];
  static const double LineColor[3];
  ///@}

private:
  /// Draws all landmarks or the selection, as Playing and the count ask.
  void ApplyDetail();
  // The pairs that have both ends (0 before SetPairs).
  vtkIdType PairCount() const;
  /// The selection for the landmarks as they are now (made again only when they changed).
  void UpdateSelection(vtkIdType count);

  vtkSmartPointer<vtkLandmarkRide> Ride;
  vtkSmartPointer<vtkPolyData> Targets;
  vtkSmartPointer<vtkPoints> SourcePoints;
  vtkSmartPointer<vtkPoints> TargetPoints;
  // The selection drawn while playing, what it was made for, and its targets.
  std::vector<vtkIdType> Selection;
  vtkMTimeType SelectionSources = 0;
  vtkIdType SelectionCount = -1;
  vtkIdType SelectionLimit = -1;
  vtkSmartPointer<vtkPolyData> SelectedTargets = vtkSmartPointer<vtkPolyData>::New();
  vtkMTimeType SelectedTargetsTime = 0;
  vtkIdType PlayingLimit = DefaultPlayingLimit;
  bool Playing = false;
  bool Thinned = false;
  vtkSmartPointer<vtkOpenGLSphereMapper> SourceMapper;
  vtkSmartPointer<vtkOpenGLSphereMapper> TargetMapper;
  vtkSmartPointer<vtkPolyDataMapper> LineMapper;
  vtkSmartPointer<vtkActor> SourceActor;
  vtkSmartPointer<vtkActor> TargetActor;
  vtkSmartPointer<vtkActor> LineActor;
  double Radius = 0.0;
  bool Visible = true;
};

#endif
