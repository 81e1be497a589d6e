/**
 * @class vtkMFCDoc
 * @brief The document base of the viewer: the props its views show, whether a model is
 * loaded, the background image, and the file prompt of every document command.
 *
 * While the document is empty its props are a single text actor, "... no data ... ".
 * A derived document that opens a model sets NoData to 0 and puts its own actors into
 * Props. The background image is read by BackgroundReader and shown by BackgroundActor
 * while BackgroundOn is 1; the first view arranges its renderers for it (vtkMFCViewHooks).
 *
 * Commands: Load Background (ID_LOAD_BACKGROUND), enabled only while a model is loaded
 * (OnUpdateHasData, which derived documents use for their own commands too).
 *
 * The members are public: the views read them directly.
 */
#ifndef vtkMFCDoc_h
#define vtkMFCDoc_h

#include "Document.h"

#include <string>

class vtkActorCollection;
class vtkBMPReader;
class vtkImageActor;

/// Command identifier of File > Load > Background.
constexpr UINT ID_LOAD_BACKGROUND = 32801;

class vtkMFCDoc : public CDocument
{
public:
  vtkMFCDoc();
  ~vtkMFCDoc() override;

  /// Empties the document: Props becomes the single "... no data ... " text actor and
  /// NoData 1.
  void DeleteContents() override;

  /**
   * Asks for a file name with the common file dialog (open dialog when open is TRUE, else
   * a save dialog), starting from fileName with its extension replaced by (or, without one,
   * extended with) defaultExtension. filter holds description/pattern pairs, each string
   * followed by a NUL. flags are added to OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT.
   * @return TRUE when the user confirmed; fileName then holds the chosen path.
   */
  BOOL PromptForFile(std::string& fileName, const char* title, DWORD flags, const char* filter,
    const char* defaultExtension, BOOL open);

  /// The name the file prompt starts from: the extension of the last path component
  /// replaced by defaultExtension, or defaultExtension appended when it has none.
  static std::string StartingName(const std::string& fileName, const std::string& defaultExtension);

  /// Load Background: asks for a bitmap; a readable one is shown behind the model, a
  /// cancelled dialog switches the background off.
  void OnLoadBackground();
  /// Enables the command exactly while a model is loaded.
  void OnUpdateHasData(CCmdUI* pCmdUI);

  vtkBMPReader* BackgroundReader;
  vtkImageActor* BackgroundActor;
  vtkActorCollection* Props;
  int NoData;
  int BackgroundOn;

private:
  void ArrangeFirstView();
};

#endif
