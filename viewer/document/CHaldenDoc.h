/**
 * @class CHaldenDoc
 * @brief The viewer's document: the model, its display pipeline, the loaded deformation and
 * the texture.
 *
 * Pipeline, from file to screen (Reader hands on the model as read and checked, see
 * ModelFile.h):
 * @verbatim
 *   Reader --> Colours --> TransformFilter (ShapeTransform)
 *                |              |
 *                +--(TransformOn 0)-- Normals --(TransformOn 1)
 *                            |
 *                        TextureMap (cylinder)
 *                        /             \
 *            UpperThreshold (>= 1)   LowerThreshold (<= 0)      cell scalars
 *                  |                        |
 *             BodyMapper               TexturedMapper
 *                  |                        |
 *              BodyActor               TexturedActor (+ Texture while TextureOn)
 * @endverbatim
 * A model carries one scalar per cell: cells of at least 1 form the body, cells of at most
 * 0 the textured part, cells in between are shown by neither actor.
 *
 * Commands: Open Model (ID_FILE_OPEN), Save Model (ID_SAVE_MODEL, while a model is loaded
 * and the view is paused, so that the saved shape is the one on screen), Load Transform
 * (ID_LOAD_TRANSFORM) and Load Texture (ID_LOAD_TEXTURE), both while a model is loaded.
 * Confirming a Load dialog with a readable file switches the feature on; cancelling it
 * switches it off. A file that cannot be used is named to the user with the reason, and
 * the document stays as it was: the model, the transform in force, the texture, the path
 * name and the recent-file list.
 *
 * The first deformation of a large model (BackgroundDeformationPoints or more points)
 * computes its displacements on a thread of its own while the window goes on drawing the
 * undeformed model, with the wait cursor and a status text; the deformed model follows when
 * they are ready. Smaller models are deformed by the first render.
 *
 * The members are public: the views read them directly.
 */
#ifndef CHaldenDoc_h
#define CHaldenDoc_h

#include "LandmarkFitJob.h"
#include "LandmarkHistory.h"
#include "LandmarkPairs.h"
#include "RidingPoints.h"
#include "TargetModel.h"
#include "TransformFile.h"
#include "vtkMFCDoc.h"
#include "vtkModelSource.h" // for Reader, whose output the views and tools read

#include <memory>
#include <string>
#include <thread>

class CWaitCursor;
class LandmarkGlyphs;
class vtkAlgorithmOutput;
class vtkActor;
class vtkBMPReader;
class vtkDataSetMapper;
class vtkPolyDataNormals;
class vtkProperty;
class vtkShapeTransform;
class vtkTexture;
class vtkTextureMapToCylinder;
class vtkLabelThreshold;
class vtkTransformPolyDataFilter;
class vtkDeformationColours;

///@{
/// Command identifiers of the model document (the framework's File Open for Open Model).
constexpr UINT ID_SAVE_MODEL = 32803;
constexpr UINT ID_LOAD_TRANSFORM = 32799;
constexpr UINT ID_LOAD_TEXTURE = 32800;
/// File > Close Transform: the deformation switched off and forgotten.
constexpr UINT ID_CLOSE_TRANSFORM = 32819;
/// File > Load > Landmarks: a landmark file shown on the model.
constexpr UINT ID_LOAD_LANDMARKS = 33000;
/// View > Landmarks: the landmarks shown or hidden.
constexpr UINT ID_VIEW_LANDMARKS = 33001;
/// File > Save Landmarks, File > Load > Points, File > Save Points, File > Load > Target
/// Model (see CHaldenDocEditing.cxx).
constexpr UINT ID_SAVE_LANDMARKS = 33150;
constexpr UINT ID_LOAD_POINTS = 33151;
constexpr UINT ID_SAVE_POINTS = 33152;
constexpr UINT ID_LOAD_TARGET_MODEL = 33153;
/// Deformation > Fit Landmarks: the landmarks fitted in the background (the frame's dialog).
constexpr UINT ID_FIT_LANDMARKS = 33050;
/// File > Save Transform: the transform in force written as a coefficient file.
constexpr UINT ID_SAVE_TRANSFORM = 33051;
///@}

class CHaldenDoc : public vtkMFCDoc
{
public:
  CHaldenDoc();
  ~CHaldenDoc() override;

  /// Open Model: asks for a model file and opens it; the view is re-initialised in any case.
  void OnFileOpen();
  /**
   * Reads the model file (legacy ".vtk", or ".vtp", ".stl", ".ply", ".obj" by the
   * extension) and shows it. The file is read completely and checked before the document
   * changes: a file that cannot be opened, is not a surface, ends early or is otherwise
   * refused (see ModelFile.h) leaves the document as it was (with a message box naming the
   * file and the reason) and gives FALSE; OpenFailure then says why.
   */
  BOOL OnOpenDocument(const char* pathName) override;
  /// Why the last OnOpenDocument failed (the file and the reason); empty after a success.
  std::string OpenFailure;
  /// Save Model: asks for a file name and saves the model as currently shown.
  void OnSaveModel();
  /**
   * Writes the model (deformed at the current Factor while TransformOn is 1, else as
   * read) in the format of pathName's extension: ASCII legacy for ".vtk" and any name
   * without a model extension, else ".vtp", ".stl", ".ply" or ".obj". It is written to a
   * new file next to pathName that then replaces it, so a failed save leaves any earlier
   * file untouched and no partial file behind; a failure is reported in a message box and
   * gives FALSE.
   */
  BOOL OnSaveDocument(const char* pathName) override;
  /// Load Transform: a readable coefficient file switches the deformation and the view's
  /// animation on; cancelling switches both off.
  void OnLoadTransform();
  /// Load Texture: a readable bitmap textures the textured part; cancelling removes it.
  void OnLoadTexture();
  void OnUpdateSaveModel(CCmdUI* pCmdUI);
  /**
   * Close Transform: the model is shown undeformed, the view's animation stops and the
   * transform no longer follows the next model opened; Load Transform brings one back.
   */
  void OnCloseTransform();
  /// Enables Close Transform while a model is shown with a deformation switched in.
  void OnUpdateCloseTransform(CCmdUI* pCmdUI);

  /// The coefficient file in force (as it was loaded), empty when none is: named in the
  /// status bar's "transform" pane while the deformation is switched in.
  std::string TransformFileName;
  /// The text of that pane: "Transform " and the file's name without its folder, or empty.
  std::string TransformPaneText() const;

  ///@{
  /**
   * Where the texture coordinates come from: computed on the shape as shown at every step
   * (false, the default: the pattern keeps its place as the surface moves through it), or
   * once on the model as loaded (true: the pattern moves with the surface).
   */
  void SetTextureOnModelAsLoaded(bool asLoaded);
  bool GetTextureOnModelAsLoaded() const { return this->TextureOnModelAsLoaded; }
  ///@}
  /// Whether the model shown has cells of its textured part (cell scalar 0 or less).
  bool HasTexturedPart() const;

  /**
   * Loads the coefficient file as confirming Load Transform with it does: the deformation and
   * the view's animation are switched on. A file that cannot be used is named in a message
   * and changes nothing. TRUE when the transform is in force.
   */
  BOOL LoadTransform(const std::string& path);
  /// Loads the bitmap as confirming Load Texture with it does (message and no change when
  /// it cannot be read). TRUE when it textures the textured part.
  BOOL LoadTexture(const std::string& path);
  /**
   * A file dropped on the window: a ".trc" loads as the transform and a ".bmp" as the
   * texture (both only while a model is shown, as their commands); anything else opens as
   * the model, as Open Model does with that file. TRUE when the file was taken.
   */
  BOOL OpenDroppedFile(const std::string& path);

  /**
   * Reads a transform coefficient file and hands it to ShapeTransform. Returns 1 when the
   * file was read and is now in force; 0 when it could not be opened or read (reason, when
   * given, then says why), in which case the transform in force and its arrays stay as
   * they were.
   */
  int ReadTransformFile(const char* path, std::string* reason = nullptr);

  /// Load Landmarks: asks for a landmark file (proposing the ".dat" beside the model) and
  /// loads it; cancelling changes nothing.
  void OnLoadLandmarks();
  /**
   * Reads the landmark file into Landmarks and shows them. A file that cannot be read or
   * holds no landmark is named in a message with the reason, and nothing changes. TRUE when
   * the file's landmarks are the document's.
   */
  BOOL LoadLandmarks(const std::string& path);
  /// Call after any change to Landmarks: updates their display and the status bar's count,
  /// and asks the view to draw again.
  void LandmarksChanged();
  /// The landmark pairs shown on the model (none until a landmark file is loaded).
  LandmarkPairs Landmarks;
  /// The landmark file the pairs came from, empty when none was loaded.
  std::string LandmarkFileName;
  /// The text of the status bar's "landmarks" pane: the count, or empty without landmarks.
  std::string LandmarkPaneText() const;
  /// View > Landmarks: shows or hides the landmarks (checked while shown).
  void OnViewLandmarks();
  void OnUpdateViewLandmarks(CCmdUI* pCmdUI);
  /// The landmarks' display: its actors are among Props while there are landmarks.
  std::unique_ptr<LandmarkGlyphs> LandmarkDisplay;

  ///@{
  /**
   * Editing the landmarks (CHaldenDocEditing.cxx). Each edit goes through LandmarkUndo, so
   * Undo and Redo cover every edit since the landmarks were loaded or made, then calls
   * LandmarksChanged and marks the document modified while the landmarks differ from what
   * was last loaded or saved. An edit that would give the fit no solution (a source on top
   * of another) is refused: nothing changes and refusal, when given, says why.
   */
  vtkIdType AddLandmarkPair(const double source[3], const double target[3], std::string* refusal);
  bool MoveLandmarkSource(
    vtkIdType index, const double source[3], bool continueDrag, std::string* refusal);
  void MoveLandmarkTarget(vtkIdType index, const double target[3], bool continueDrag);
  void RemoveLandmarkPair(vtkIdType index);
  bool UndoLandmarkEdit(vtkIdType* index = nullptr);
  bool RedoLandmarkEdit(vtkIdType* index = nullptr);
  /// Whether the landmarks hold edits that were not saved.
  bool HasUnsavedLandmarks() const { return !this->LandmarkUndo.IsAtSaved(); }
  LandmarkHistory LandmarkUndo;
  ///@}

  /// Save Landmarks: asks for a file name (the landmark file's, or a ".dat" beside the model)
  /// and writes the landmarks there, six numbers a line.
  void OnSaveLandmarks();
  /// Writes the landmarks to path, replacing it safely; a failure is named in a message box.
  BOOL SaveLandmarks(const std::string& path);
  /// Enables Save Landmarks while there are landmarks or unsaved edits of them.
  void OnUpdateSaveLandmarks(CCmdUI* pCmdUI);

  /// Points that ride along with the deformation (Load Points, Save Points).
  RidingPoints Riding;
  void OnLoadPoints();
  /// Reads a point list and shows it carried by the deformation; message box on failure.
  BOOL LoadPoints(const std::string& path);
  void OnSavePoints();
  /// Writes the points where the deformation shown takes them; message box on failure.
  BOOL SavePoints(const std::string& path);
  void OnUpdateSavePoints(CCmdUI* pCmdUI);

  /**
   * Puts a spline fitted to the document's landmarks in force (a live refit) as a loaded
   * coefficient file would be, without a file name: the view's animation is left as it is.
   */
  void UseLiveFit(const TransformCoefficients& fitted);

  /// A second model, the specimen the targets are placed on (Load Target Model).
  TargetModel Target;
  void OnLoadTargetModel();
  /// Reads the model as Open Model does and shows it translucent; message box on failure.
  BOOL LoadTargetModel(const std::string& path);

  ///@{
  /**
   * Fitting the landmarks from the window (CHaldenDocFit.cxx). FitRadius and FitSmoothing
   * are the options last chosen in Deformation > Fit Landmarks, kept for the next dialog and
   * for refits: the radius is 0 until a choice (the dialog then proposes one that gives about
   * 30 neighbours), the smoothing 0.
   */
  double FitRadius = 0.0;
  double FitSmoothing = 0.0;
  /**
   * Fits Landmarks with the radius and smoothing in the background (a newer call replaces
   * a fit still under way): the status bar shows the stage and the view the busy cursor. A
   * fit that succeeds is put in force as UseFittedTransform does; one that fails is named in
   * a message with the library's reason (FitFailure keeps it) and changes nothing. Returns
   * the fit's submission number.
   */
  unsigned long FitLandmarks(double radius, double smoothing);
  /// Whether a fit started by FitLandmarks is still to come.
  bool IsFitting() const { return this->FitJob && this->FitJob->IsBusy(); }
  /// Why the last fit failed; empty after a success.
  std::string FitFailure;
  /**
   * Puts a fitted spline in force exactly as loading the coefficient file that Pravik writes
   * for the same landmarks and options would: the same arrays, the deformation and the
   * view's animation switched on. The transform counts as unsaved until Save Transform.
   * Coefficients that could not be written to such a file (not finite, or not matching the
   * landmark count) are named in a message and change nothing: FALSE.
   */
  BOOL UseFittedTransform(const TransformCoefficients& fitted);
  /// Whether the transform in force was fitted here and not saved since.
  bool TransformUnsaved = false;
  /// Save Transform: asks for a file name (the landmark file's or the model's, with
  /// ".trc") and saves the transform in force there.
  void OnSaveTransform();
  void OnUpdateSaveTransform(CCmdUI* pCmdUI);
  /**
   * Writes the transform in force as a coefficient file through the safe replacement of
   * the coefficient file writer (a failed save leaves an earlier file as it was); names a
   * failure in a message. TRUE when written; the transform then counts as saved.
   */
  BOOL SaveTransform(const std::string& path);
  /// Before the window closes or another model opens: offers to save a fitted transform
  /// not saved yet (Yes, No, Cancel). FALSE when the user cancels or the save fails.
  BOOL SaveModified() override;
  ///@}

  /// Whether the displacements of a large model are being computed (see the class notes).
  bool IsDeforming() const { return this->DeformationWorker.joinable(); }
  /// Waits for a computation of displacements, if one runs, then shows the deformed model.
  void FinishDeformation();
  /// Models with at least this many points compute their displacements in the background
  /// (default 100000); 0 for every model.
  vtkIdType BackgroundDeformationPoints = 100000;

  /// The model as read: the source of the pipeline (an empty model before the first open).
  vtkModelSource* Reader;
  vtkDataSetMapper* BodyMapper;
  vtkDataSetMapper* TexturedMapper;
  vtkActor* BodyActor;
  vtkActor* TexturedActor;
  vtkProperty* BackfaceProperty;
  vtkTransformPolyDataFilter* TransformFilter;
  vtkShapeTransform* ShapeTransform;
  vtkPolyDataNormals* Normals;
  vtkTexture* Texture;
  vtkBMPReader* TextureReader;
  vtkTextureMapToCylinder* TextureMap;
  vtkLabelThreshold* LowerThreshold;
  vtkLabelThreshold* UpperThreshold;
  ///@{
  /// The arrays of the coefficient file in force (null before the first one), owned by the
  /// document and lent to ShapeTransform.
  int* UnList;
  float* SplineCoeffX;
  float* SplineCoeffY;
  float* SplineCoeffZ;
  ///@}
  int TransformOn;
  int TextureOn;

  /// What the body's colours tell (see vtkDeformationColours): between the model as read and
  /// the transform filter, so that the undeformed branch is coloured too.
  vtkDeformationColours* Colours;
  /**
   * View > Colour: the body in its own colour (vtkDeformationColours::PLAIN, the default),
   * or coloured by how far each point has moved (DISPLACEMENT) or by how the deformation
   * stretches space there (STRETCH), at the blend shown. The textured part stays textured.
   */
  void SetColourQuantity(int quantity);
  int GetColourQuantity() const;

protected:
  /// Feeds Normals from the transform filter (1) or straight from the reader (0), and asks
  /// the view to draw again.
  void SwitchTransform(int on);
  /// Makes the view draw again, showing the texture that was put on or taken off
  /// TexturedActor.
  void TextureChanged();
  /// Asks the view to draw the model again: the window draws only when asked.
  void Redraw();
  /// Switches the deformation in: at once for a small model, after the background
  /// computation of the displacements for a large one.
  void ShowDeformation();
  /// Waits for the background computation, if any, without switching anything.
  void JoinDeformation();
  /// Sizes the landmarks' display for the model shown and puts its actors among Props while
  /// there are landmarks (and takes them out without); true when Props changed.
  bool PlaceLandmarks();
  /// Puts read or fitted coefficients in force in ShapeTransform, keeping their arrays.
  void UseCoefficients(TransformCoefficients fresh);
  /// Before a fitted transform not saved yet is replaced or forgotten: asks whether to save
  /// it. FALSE when the user cancels (or the save fails): it must stay.
  BOOL KeepFittedTransform();
  /// A fit of FitLandmarks arrived, or its stage moved on.
  void FitArrived(const LandmarkFitResult& result);
  void FitStageReached(const std::string& stage, double share);
  /// The status bar's message pane of the first view's frame.
  void SetStatusText(const std::string& text);
  /// The transform pane of the first view's frame, from TransformPaneText.
  void ShowTransformName();
  /// The model as the undeformed branch and the transform take it: as read, or with the
  /// texture coordinates of the model as loaded (SetTextureOnModelAsLoaded), and the
  /// colours' array (Colours).
  vtkAlgorithmOutput* ModelPort() const;
  /// The editing commands into the command table (CHaldenDocEditing.cxx).
  void MapEditingCommands();
  /// Adds the riding points and the target model, once loaded, to Props (after the model's
  /// actors).
  void AddEditingProps();
  /// After an edit, undo or redo: display, status bar and the modified flag.
  void LandmarksEdited();
  /// Before the window closes or another model opens: offers to save unsaved landmark edits
  /// (Yes, No, Cancel). FALSE when the user cancels or the save fails.
  BOOL KeepEditedLandmarks();

private:
  // Texture coordinates of the model as loaded, for SetTextureOnModelAsLoaded(true).
  vtkTextureMapToCylinder* LoadedTextureMap;
  bool TextureOnModelAsLoaded = false;
  // The coefficient file in force: arrays, landmark points and their locator.
  TransformCoefficients Coefficients;
  // The background computation of displacements, and what it shows meanwhile.
  std::thread DeformationWorker;
  std::unique_ptr<CWaitCursor> DeformationCursor;
  int DeformationGeneration = 0;
  // The fits of FitLandmarks, made on the first one.
  std::unique_ptr<LandmarkFitJob> FitJob;
  // Tells a completion queued for the user-interface thread whether the document still is.
  std::shared_ptr<int> Alive = std::make_shared<int>(0);
};

#endif
