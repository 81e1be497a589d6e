/**
 * @class CHaldenView
 * @brief The viewer's view: shows the model document's actors, colours the body, animates
 * the deformation and saves the frames of a frame-by-frame playback.
 *
 * Animation: every TicksPerStep timer ticks (on the timer thread) AdvanceAnimation sets the
 * document's ShapeTransform Factor on a triangle wave of 48 steps, 0, 0.04, ..., 0.96, 0.92,
 * ..., 0.04, 0, ..., and the redraw request that follows renders the deformed model.
 *
 * Frames: while a playback runs frame by frame (Realtime 0), every redraw request also
 * writes the picture as a bitmap named FramePrefix + the four-digit FrameCounter + ".bmp"
 * (frame0000.bmp, frame0001.bmp, ...). A frame that cannot be written does not stop the
 * playback; when it ends the user is told once how many frames were lost and where.
 *
 * Body Color (ID_BODY_COLOR) asks for the body's colour; the back faces of the body take
 * the same colour.
 *
 * While the deformation is switched in and the view is paused, the status bar shows the blend
 * that Save Model would write, as "Blend 0.48" (BlendText). A pane of its own ("blend") shows
 * the blend at every step, paused or not, while a deformation is switched in; Set Blend
 * pauses at a chosen blend from 0 to 1 (the animation itself never reaches 1).
 *
 * Camera: Reset Camera goes back to the view the model opened with; the six standard views
 * look at the model's centre along an axis and fit the model in the window (Front looks along
 * -z with +y up, as the model opens). Every such change ends with one timer tick through
 * WindowProc, so that a running recording captures it.
 * The mouse wheel zooms towards the point the camera looks at (the model's centre after a
 * reset or a standard view). An orientation marker (the x, y and z axes in red, green and
 * blue) turns with the camera in the lower left corner while ShowOrientationMarker is on.
 */
#ifndef CHaldenView_h
#define CHaldenView_h

#include "vtkRecordPlayView.h"

#include <memory>
#include <string>

/// View > Body Color.
constexpr UINT ID_BODY_COLOR = 32793;
///@{
/// View > Camera: reset to the view the model opened with, the six standard views, and the
/// orientation marker switch.
constexpr UINT ID_VIEW_RESET_CAMERA = 32810;
constexpr UINT ID_VIEW_FRONT = 32811;
constexpr UINT ID_VIEW_BACK = 32812;
constexpr UINT ID_VIEW_LEFT = 32813;
constexpr UINT ID_VIEW_RIGHT = 32814;
constexpr UINT ID_VIEW_TOP = 32815;
constexpr UINT ID_VIEW_BOTTOM = 32816;
constexpr UINT ID_VIEW_AXES = 32817;
///@}
///@{
/// Landmarks > Edit Sources, Edit Targets, Stop Editing, Delete, and Edit > Redo (Undo is the
/// framework's ID_EDIT_UNDO); see LandmarkEditor.h.
constexpr UINT ID_EDIT_SOURCES = 33155;
constexpr UINT ID_EDIT_TARGETS = 33156;
constexpr UINT ID_STOP_EDITING = 33157;
constexpr UINT ID_LANDMARK_DELETE = 33158;
constexpr UINT ID_LANDMARK_REDO = 33159;
///@}

///@{
/// View > Colour: the body in its own colour, or coloured by how far each point has moved or
/// by how the deformation stretches space there.
constexpr UINT ID_COLOUR_PLAIN = 33100;
constexpr UINT ID_COLOUR_DISPLACEMENT = 33101;
constexpr UINT ID_COLOUR_STRETCH = 33102;
///@}

class ColourLegend;
class LandmarkDetail;
class LandmarkEditor;
class vtkAxesActor;
class vtkCamera;
class vtkRenderer;

class CHaldenView : public vtkRecordPlayView
{
public:
  CHaldenView();
  ~CHaldenView() override;

  /// Fills the model renderer from the document and puts the camera in its starting
  /// position (view-up +y, the whole model in sight).
  void OnInitialUpdate() override;
  /// The model renderer shows the document's Props, in order, in the view's colours.
  void OnUpdate(CView* sender, LPARAM hint, CObject* hintObject) override;
  /// Sets the view-up, fits the camera to the props and lets the interactor see a right
  /// click at the window's centre with one timer tick between press and release (sent
  /// synchronously through WindowProc, so a running recording captures the new camera).
  void ResetView(double viewUpX, double viewUpY, double viewUpZ);
  /// Background, body colour and back-face colour onto the renderer and the document's
  /// actors; renders.
  void ApplyColors();
  /// Asks for a colour starting from color; on OK color takes the choice (each byte / 255)
  /// and the colours are applied. Returns true when the user confirmed.
  bool PickColor(float color[3]);
  /// Body Color: PickColor on BodyColor; the back faces follow the body in any case.
  void OnBodyColor();

  /// One step of the triangle wave (timer thread): Factor from Tick and TicksPerStep.
  void AdvanceAnimation() override;
  /// The factor of the triangle wave at a tick: a = tick div ticksPerStep,
  /// k = (a div 24) mod 2, ((-1)^k (a mod 24) + 24 k) * 0.04.
  static float TriangleWaveFactor(int tick, int ticksPerStep);

  /// The redraw request (WM_USER): render (not while the document computes the
  /// displacements of a large model, which leaves the picture as it is, unless a camera path
  /// plays), save the frame in frame-by-frame playback, then pass it on like every other
  /// message. The end of a playback (WM_USER + 1) reports
  /// frames that could not be saved.
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  /// The status text for a blend: "Blend " and the factor with two decimals ("Blend 0.48"),
  /// whatever the locale.
  static std::string BlendText(float factor);
  /// Shows the blend in the status bar while the view is paused with the deformation
  /// switched in, and takes it away otherwise.
  void ShowBlend();

  /// The status pane that shows the blend at every step while a deformation is switched in
  /// (empty, and hidden, otherwise).
  void UpdateBlendPane();
  /// The text of that pane now: BlendText of the factor in force, or empty.
  std::string BlendPaneText() const;
  /**
   * Pauses (as Pause does, when not paused already) and sets the deformation's blend, so
   * that the model shows, and Save Model writes, exactly that blend. False, changing
   * nothing, for a blend outside 0 to 1 or while no deformation is switched in.
   */
  bool SetBlend(double blend);
  /// Landmark editing (CHaldenViewEditing.cxx): the editor the mouse works while editing.
  LandmarkEditor& GetLandmarkEditor() const { return *this->Editor; }
  /// Whether Set Blend can be used now: a model is shown with a deformation switched in.
  bool CanSetBlend() const;

  ///@{
  /// Camera commands (see the class comment). Enabled while a model is shown and no camera
  /// path plays.
  void OnResetCamera();
  void OnStandardView(UINT id);
  void OnUpdateCameraCommand(CCmdUI* pCmdUI);
  ///@}
  /// Looks along direction (towards the model) with the given view-up, at the model's
  /// centre, with the model fitted in the window.
  void LookAlong(const double direction[3], const double viewUp[3]);

  ///@{
  /// The orientation marker in the lower left corner (off in a new view).
  void ShowOrientationMarker(bool show);
  bool IsOrientationMarkerShown() const { return this->MarkerShown; }
  void OnViewAxes();
  void OnUpdateViewAxes(CCmdUI* pCmdUI);
  /// The marker's renderer (for tests and pictures).
  vtkRenderer* GetMarkerRenderer() const { return this->MarkerRenderer; }
  ///@}
  /// The renderers as the base arranges them, and the orientation marker over them.
  void ArrangeRenderers() override;

  ///@{
  /**
   * View > Colour (see CHaldenDoc::SetColourQuantity): the body's colours, the scalar bar
   * beside the model while a quantity is shown, and with Stretch the "folds" pane that counts
   * the points where the deformation folds at the blend shown (updated after every render).
   * Enabled while the document has a model; the item in force is checked.
   */
  void OnColour(UINT id);
  void OnUpdateColour(CCmdUI* pCmdUI);
  /// The scalar bar (for tests and pictures).
  ColourLegend* GetColourLegend() const { return this->Legend.get(); }
  ///@}

  /// Edit > Copy, then a word in the status bar that the picture was copied.
  void OnEditCopyCommand();

  /// The file name of a saved frame: prefix, the number in at least four digits, ".bmp".
  static std::string FrameFileName(const std::string& prefix, int number);

  ///@{
  /// Colours (red, green, blue in 0..1) of the body and of its back faces.
  float BodyColor[3];
  float BackfaceColor[3];
  ///@}

protected:
  /// Writes the current picture as the next frame; false (with the reason) when it fails.
  bool SaveFrame(std::string& fileName, std::string& reason);
  /// Stop: the base's stop, then the report of lost frames.
  void OnStopCommand();
  /// Pause: the base's pause, then the blend in the status bar.
  void OnPauseCommand();
  /// The base's enabling of Pause; the blend shown follows the pause as it changes.
  void OnUpdatePauseCommand(CCmdUI* pCmdUI);
  /// Tells the user, once, about frames that could not be written, when no playback runs.
  void ReportFailedFrames();

  /// Sends one timer tick through WindowProc after a camera command moved the camera, so
  /// that a running recording captures the new camera (no button is held: VTK moves
  /// nothing on it).
  void AnnounceCameraChange();
  /// Turns the marker's camera as the model's camera is turned.
  void FollowCamera();
  /// The message pane of the frame (empty: the idle text).
  void SetStatusText(const std::string& text);
  /// The scalar bar for the document's colouring, into or out of the model renderer.
  void ShowColourLegend();
  /// The "folds" pane from the last colouring.
  void UpdateFoldPane();

  std::string ShownBlend; // the status text this view put up, if any
  std::string ShownBlendPane;
  vtkCamera* StartCamera;      // the camera as the model opened
  vtkRenderer* MarkerRenderer; // the orientation marker's corner
  vtkAxesActor* MarkerAxes;
  unsigned long FollowObserver = 0;
  std::unique_ptr<ColourLegend> Legend;
  unsigned long FoldObserver = 0;
  std::string ShownFolds;
  bool MarkerShown = false;
  int FailedFrames = 0;
  int FramesTried = 0;
  std::string FirstFailedFrame;
  std::string FirstFailureReason;

  /// The editing commands into the command table (CHaldenViewEditing.cxx).
  void MapEditingCommands();
  std::unique_ptr<LandmarkEditor> Editor;
  /// A large landmark set is thinned while the animation plays (LandmarkDetail.h).
  std::unique_ptr<LandmarkDetail> Detail;
};

#endif
