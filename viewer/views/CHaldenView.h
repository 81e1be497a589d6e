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
 * that Save Model would write, as "Blend 0.48" (BlendText).
 */
#ifndef CHaldenView_h
#define CHaldenView_h

#include "vtkRecordPlayView.h"

#include <string>

/// View > Body Color.
constexpr UINT ID_BODY_COLOR = 32793;

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

  std::string ShownBlend; // the status text this view put up, if any
  int FailedFrames = 0;
  int FramesTried = 0;
  std::string FirstFailedFrame;
  std::string FirstFailureReason;
};

#endif
