/**
 * @class   vtkDeformationColours
 * @brief   adds to a model, as read, a point array that tells what the deformation shown
 * downstream does at each point: how far the point has moved, or how the deformation stretches
 * space there
 *
 * vtkDeformationColours passes its input (the model as read) through unchanged, the same
 * points and cells, and adds one float point array (not made the active scalars) for the
 * quantity chosen:
 *
 * - PLAIN (the default): nothing is added and the filter never re-executes for the blend.
 * - DISPLACEMENT ("Displacement"): |x_t - x| = t |d(x)|, how far the point has moved at the
 *   current blend t of the deformation x_t = x - t d(x).
 * - STRETCH ("Stretch"): the Jacobian determinant of that map at the current blend,
 *   det(I - t grad d(x)): below 1 the neighbourhood is squeezed, above 1 stretched, and at 0
 *   or below the deformation folds space (neighbouring points swap sides).
 *
 * The deformation is the vtkShapeTransform that a transform filter applies downstream
 * (SetDeformation); without one the shape shown is the model as read: displacement 0 and
 * stretch 1 everywhere.
 *
 * Cost: d(x) and grad d(x) do not depend on the blend. They are computed once, through the
 * transform's own field (vtkShapeTransform::EvaluateDisplacementField), for the input's
 * points and the transform's parameters, and kept as |d(x)| and the three coefficients of
 * det(I - t G) = 1 - t tr G + t^2 m2(G) - t^3 det G (m2 the sum of the principal 2 x 2
 * minors). Every later execution, one per animation step, is a few multiplications per point.
 * The blend is read from the transform when the filter executes.
 *
 * Colours: GetColours() is the table a mapper colours the array with (its own range:
 * use it with UseLookupTableScalarRange); GetLegendColours() the same colours over the range a
 * scalar bar shows. Displacement runs from 0 to the largest displacement of the full
 * deformation, so the colours follow the animation. Stretch is blue below 1, light grey at 1,
 * red above 1 (2 and more the deepest red), and every value of 0 or below takes the fold
 * colour (GetFoldColour), which no other value has.
 *
 * @sa vtkShapeTransform vtkTransformPolyDataFilter
 */
#ifndef vtkDeformationColours_h
#define vtkDeformationColours_h

#include "vtkPolyDataAlgorithm.h"
#include "vtkSmartPointer.h" // for the tables

#include <memory> // for the kept field

class vtkLookupTable;
class vtkMapper;
class vtkScalarsToColors;
class vtkShapeTransform;

class vtkDeformationColours : public vtkPolyDataAlgorithm
{
public:
  static vtkDeformationColours* New();
  vtkTypeMacro(vtkDeformationColours, vtkPolyDataAlgorithm);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  enum QuantityType
  {
    PLAIN = 0,
    DISPLACEMENT,
    STRETCH
  };

  ///@{
  /**
   * What the array tells (PLAIN by default: no array).
   */
  void SetQuantity(int quantity);
  vtkGetMacro(Quantity, int);
  ///@}

  /// The array's name for a quantity ("Displacement", "Stretch"), empty for PLAIN.
  static const char* GetQuantityName(int quantity);

  ///@{
  /**
   * The deformation shown downstream, or null (the default) while the model is shown as read.
   */
  void SetDeformation(vtkShapeTransform* deformation);
  vtkShapeTransform* GetDeformation() const;
  ///@}

  /// Includes the deformation's (its blend too) while a quantity is coloured.
  vtkMTimeType GetMTime() override;

  ///@{
  /**
   * The colours of the current quantity for a mapper (range as the mapper needs it) and for a
   * scalar bar (the range to show); null for PLAIN.
   */
  vtkScalarsToColors* GetColours() const;
  vtkScalarsToColors* GetLegendColours() const;
  ///@}

  /// The colour of points where the deformation folds (red, green, blue in 0..1).
  static void GetFoldColour(double rgb[3]);

  /**
   * Sets a mapper up to colour by this filter's array with GetColours() (scalar colouring on,
   * point field data, the table's range), or, for PLAIN, puts back the settings it had before
   * the first call that coloured it.
   */
  void ColourMapper(vtkMapper* mapper);

  ///@{
  /**
   * What the last execution found: the blend it used, the points at which the deformation
   * folds (STRETCH only, else 0) and the number of points.
   */
  vtkGetMacro(Blend, double);
  vtkGetMacro(NumberOfFolds, vtkIdType);
  vtkGetMacro(NumberOfPoints, vtkIdType);
  ///@}

  /// How often the field (d and grad d) was computed since the filter was made.
  vtkGetMacro(NumberOfFieldEvaluations, int);

protected:
  vtkDeformationColours();
  ~vtkDeformationColours() override;

  int RequestData(vtkInformation*, vtkInformationVector**, vtkInformationVector*) override;

  // Computes |d| and the determinant's coefficients for these points, unless kept already.
  bool KeepField(vtkPolyData* input);

  int Quantity = PLAIN;
  double Blend = 0.0;
  vtkIdType NumberOfFolds = 0;
  vtkIdType NumberOfPoints = 0;
  int NumberOfFieldEvaluations = 0;

private:
  struct Field;
  std::unique_ptr<Field> Kept;
  vtkSmartPointer<vtkShapeTransform> Deformation;
  vtkSmartPointer<vtkLookupTable> DisplacementTable;
  vtkSmartPointer<vtkLookupTable> StretchTable;
  vtkSmartPointer<vtkLookupTable> StretchLegend;
  struct MapperSettings;
  std::unique_ptr<MapperSettings> Plain;

  vtkDeformationColours(const vtkDeformationColours&) = delete;
  void operator=(const vtkDeformationColours&) = delete;
};

#endif
