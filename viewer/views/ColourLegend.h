/**
 * @class ColourLegend
 * @brief The scalar bar beside the model while the body is coloured by what the deformation
 * does, and the status text that counts the points where it folds.
 *
 * The bar shows the quantity's name as its title and the range of its colours (for Stretch
 * with a swatch for the fold colour below it); it is shown only while the document colours
 * the body by a quantity and holds a model.
 */
#ifndef ColourLegend_h
#define ColourLegend_h

#include <string>

class vtkDeformationColours;
class vtkRenderer;
class vtkScalarBarActor;

class ColourLegend
{
public:
  ColourLegend();
  ~ColourLegend();
  ColourLegend(const ColourLegend&) = delete;
  ColourLegend& operator=(const ColourLegend&) = delete;

  /// Puts the bar into renderer (or takes it out) for the colouring in force.
  void Show(vtkRenderer* renderer, vtkDeformationColours* colours, bool hasModel);

  /**
   * The status text for the last colouring: with Stretch, "N of M points fold" (N the points
   * where the Jacobian determinant is 0 or below at the blend shown), otherwise empty.
   */
  static std::string FoldText(vtkDeformationColours* colours, bool hasModel);

  vtkScalarBarActor* GetBar() const { return this->Bar; }

private:
  vtkScalarBarActor* Bar;
};

#endif
