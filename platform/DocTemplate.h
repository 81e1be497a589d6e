/**
 * @file DocTemplate.h
 * @brief The single-document template: creates the document, the frame and the view by
 * class, once, and reuses them for every file.
 */
#ifndef platform_DocTemplate_h
#define platform_DocTemplate_h

#include "CmdTarget.h"

#include <memory>
#include <string>

class CDocument;
class CFrameWnd;
class CView;

/// Fields of a document template string ("\n"-separated).
enum DocStringIndex
{
  windowTitle = 0,
  docName = 1,
  fileNewName = 2,
  filterName = 3,
  filterExt = 4,
  regFileTypeId = 5,
  regFileTypeName = 6
};

class CDocTemplate : public CCmdTarget
{
public:
  CDocTemplate(UINT resourceId, CRuntimeClass documentClass, CRuntimeClass frameClass,
    CRuntimeClass viewClass);
  ~CDocTemplate() override;

  /// A field of the template's string (string resource of the template's identifier).
  std::string GetDocString(DocStringIndex index) const;
  UINT GetResourceId() const { return this->ResourceId; }

  /// Path null: a new empty document; else opens the file. Returns the document, or null
  /// when creation or opening failed.
  virtual CDocument* OpenDocumentFile(const char* pathName, BOOL makeVisible = TRUE) = 0;
  /// Closes and releases the frames, views and documents (at the end of the run).
  virtual void CloseAllDocuments() = 0;

protected:
  UINT ResourceId;
  CRuntimeClass DocumentClass;
  CRuntimeClass FrameClass;
  CRuntimeClass ViewClass;
};

/**
 * @class CSingleDocTemplate
 * @brief One document, one frame, one view for the whole run.
 *
 * The first OpenDocumentFile creates the document, then the frame (LoadFrame with the
 * template's resource identifier, which creates the view); later calls reuse them. Opening
 * a file: the document's OnOpenDocument; on failure a frame made just now is destroyed
 * again and null is returned; on success the path name is set (adding the file to the
 * recent-file list). Then every view gets OnInitialUpdate and the frame is shown.
 */
class CSingleDocTemplate : public CDocTemplate
{
public:
  CSingleDocTemplate(UINT resourceId, CRuntimeClass documentClass, CRuntimeClass frameClass,
    CRuntimeClass viewClass);
  ~CSingleDocTemplate() override;

  CDocument* OpenDocumentFile(const char* pathName, BOOL makeVisible = TRUE) override;
  void CloseAllDocuments() override;

  CDocument* GetDocument() const { return this->Document.get(); }
  CFrameWnd* GetFrame() const { return this->Frame.get(); }

private:
  bool CreateDocumentAndFrame(bool& frameCreated);
  std::unique_ptr<CDocument> Document;
  std::unique_ptr<CFrameWnd> Frame;
};

#endif
