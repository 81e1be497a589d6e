/**
 * @file Document.h
 * @brief The document of the document/view framework.
 *
 * A document holds the data its views show. The framework calls DeleteContents when a new
 * (empty) document is made and at the start of every open, OnOpenDocument / OnSaveDocument
 * for files, and routes commands to the document after its views (the document's command
 * table, CCmdTarget).
 */
#ifndef platform_Document_h
#define platform_Document_h

#include "CmdTarget.h"

#include <string>
#include <vector>

class CView;
class CDocTemplate;

class CDocument : public CCmdTarget
{
public:
  CDocument();
  ~CDocument() override;

  /// A new empty document: DeleteContents, no path name, not modified. TRUE.
  virtual BOOL OnNewDocument();
  /**
   * Opens a file: fails (with a message box that names the file, FALSE) when the file
   * cannot be opened for reading; otherwise calls DeleteContents and returns TRUE. Derived
   * documents call this first and then read the file themselves.
   */
  virtual BOOL OnOpenDocument(const char* pathName);
  /// Saving: the base writes nothing and fails only when the file cannot be created.
  virtual BOOL OnSaveDocument(const char* pathName);
  /// Empties the document. The base does nothing.
  virtual void DeleteContents();
  /// Closes the document's frames (the application then ends when it was the last).
  virtual void OnCloseDocument();

  const std::string& GetPathName() const { return this->PathName; }
  /// Sets the path name, made absolute (against the current directory, "." and ".."
  /// resolved) so that it names the same file wherever it is used later, and the title (the
  /// file's name); adds the file to the application's recent-file list when addToMRU is
  /// TRUE.
  virtual void SetPathName(const std::string& pathName, BOOL addToMRU = TRUE);
  const std::string& GetTitle() const { return this->Title; }
  virtual void SetTitle(const std::string& title);

  /// The views of the document, in the order they were added.
  const std::vector<CView*>& GetViews() const { return this->Views; }
  /// The first view, or null.
  CView* GetFirstView() const { return this->Views.empty() ? nullptr : this->Views.front(); }
  void AddView(CView* view);
  void RemoveView(CView* view);
  /// Calls OnUpdate of every view but the sender.
  void UpdateAllViews(CView* sender, LPARAM hint = 0, CObject* hintObject = nullptr);

  BOOL IsModified() const { return this->Modified; }
  /**
   * Asked before the document is closed or replaced by another file: TRUE when that may go
   * ahead. The base asks "Save changes to <title>?" (Yes, No, Cancel) while the document is
   * modified and saves it to its path for Yes; Cancel, or a failed save, gives FALSE.
   * Documents with changes of their own kind override it.
   */
  virtual BOOL SaveModified();
  void SetModifiedFlag(BOOL modified = TRUE) { this->Modified = modified != FALSE; }

  CDocTemplate* GetDocTemplate() const { return this->Template; }
  void SetDocTemplate(CDocTemplate* docTemplate) { this->Template = docTemplate; }

private:
  std::string PathName;
  std::string Title;
  std::vector<CView*> Views;
  CDocTemplate* Template = nullptr;
  bool Modified = false;
};

#endif
