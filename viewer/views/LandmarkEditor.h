/**
 * @class LandmarkEditor
 * @brief The view's landmark editing: the two editing modes, picking and dragging with the
 * mouse, deleting, undo and redo, and the live refit after every edit.
 *
 * Editing sources shows the model as loaded (blend 0, the animation rests): a click on the
 * surface adds a pair whose source and target are the picked point; a click on a source
 * (the nearest on the screen, within SelectPixels) selects its pair, which is highlighted,
 * and dragging it slides the source over the surface. Editing targets shows the full
 * deformation (blend 1): a click on a target selects its pair and dragging moves the target
 * in the plane through it parallel to the screen; a click on the target model, if one is
 * shown, puts the selected pair's target there.
 *
 * The left button edits; with Shift held it turns the camera exactly as it does outside
 * editing (the other buttons and the wheel always work the camera). Leaving editing
 * restores the animation as it was.
 *
 * After every edit, undo or redo the landmarks are refitted in the background
 * (LandmarkFitJob: never an older shape after a newer one; while a drag outruns the fits,
 * each fit that ends is shown) with the radius and smoothing last
 * chosen in the fit dialog (the document's FitRadius and FitSmoothing); until a radius is
 * chosen, the one suggested for the landmarks. Edits that would give the
 * fit no solution (a source on another) are refused with a status text, as is an edit whose
 * fit fails: it is undone, and the shape stays as it was. The moves of a dragged target are
 * refitted from the fit before the drag and the target's response (see TargetMoveRefit),
 * and fitted in full once the button is released.
 */
#ifndef LandmarkEditor_h
#define LandmarkEditor_h

#include "LandmarkNeighbours.h"
#include "win32.h"

#include <vtkType.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class CHaldenDoc;
class CHaldenView;
class LandmarkFitJob;
struct LandmarkFitResult;
class vtkActor;
class vtkCellPicker;
class vtkSphereSource;

class LandmarkEditor
{
public:
  enum class Mode
  {
    Off,
    Sources,
    Targets
  };

  explicit LandmarkEditor(CHaldenView& view);
  ~LandmarkEditor();
  LandmarkEditor(const LandmarkEditor&) = delete;
  LandmarkEditor& operator=(const LandmarkEditor&) = delete;

  /// Enters a mode, switches between the two, or leaves editing (Off).
  void SetMode(Mode mode);
  Mode GetMode() const { return this->Current; }
  /// Whether editing may start: a model is shown.
  bool CanEdit() const;

  /**
   * A mouse message on its way to the view's base (which turns the camera). True when the
   * editor took it; otherwise it goes on, with Shift taken out of wParam while it belongs
   * to a camera drag made with Shift. A paint is taken (not drawn) while the refit of the
   * last edit is on its way and fits have been quick: the refit's frame follows at once.
   */
  bool HandleMessage(UINT message, WPARAM& wParam, LPARAM lParam);

  ///@{
  /// Delete, Undo and Redo; each refits.
  void DeleteSelected();
  void Undo();
  void Redo();
  ///@}
  vtkIdType GetSelected() const { return this->Selected; }

  /// The radius the last refit used (0 before one).
  double GetRefitRadius() const { return this->RefitRadius; }
  /// Whether a refit is under way or waiting.
  bool IsRefitting() const;
  /// Refits shown so far.
  unsigned long GetRefitsShown() const { return this->RefitsShown; }

  /**
   * Called after a refit shape was drawn, with the milliseconds from the mouse message that
   * made the edit to the end of that frame (negative for edits not made with the mouse).
   */
  std::function<void(double milliseconds)> OnRefitShown;

private:
  CHaldenDoc* Document() const;
  void Tell(const std::string& text) const;
  void EnterBlend();
  // Picking.
  bool PickSurface(int x, int y, bool targetModel, double point[3]);
  vtkIdType PickLandmark(int x, int y) const;
  bool OnScreenPlane(int x, int y, const double through[3], double point[3]) const;
  // Mouse.
  void ButtonDown(int x, int y);
  void Drag(int x, int y);
  // After an edit: highlight, refit, redraw.
  void Edited(vtkIdType select);
  void ShowSelection();
  void Refit();
  void RefitArrived(const LandmarkFitResult& result);

  CHaldenView& View;
  Mode Current = Mode::Off;
  bool ResumeAnimation = false;
  vtkIdType Selected = -1;
  bool Dragging = false;
  bool DragMoved = false;
  bool CameraDrag = false;
  vtkCellPicker* Picker;
  vtkSphereSource* Marker;
  vtkActor* MarkerActor;
  std::unique_ptr<LandmarkFitJob> Job;
  double RefitRadius = 0.0;
  LandmarkNeighbours Neighbours;
  double SuggestedRadius = 0.0;
  vtkIdType RadiusCount = -1; // landmark count the suggested radius was computed for
  unsigned long RefitsShown = 0;
  double LastFitMilliseconds = -1.0;      // of the last full fit
  double LastQuickFitMilliseconds = -1.0; // of the last quick refit of a dragged target
  bool PendingQuick = false;              // whether the latest submission may be quick
  // The mouse message of the edit that the latest submission fits, and that submission.
  std::chrono::steady_clock::time_point EditTime;
  bool EditByMouse = false;
  std::chrono::steady_clock::time_point MouseTime;
  unsigned long EditSubmission = 0;
  unsigned long SubmissionShown = 0;
};

#endif
