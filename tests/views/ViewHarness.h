// The views' tests: a document, frame and view made through the single-document template,
// as the application makes them, with a view that notes every message it sees.
#ifndef ViewHarness_h
#define ViewHarness_h

#include "ViewerHarness.h"

#include <QWidget>

#include <vector>

namespace harness
{
using guitest::App;
using guitest::WaitFor;

/// A view like the viewer's: shows the document's props, and records every message that
/// reaches its WindowProc before passing it to the base.
class RecordingView : public guitest::DocumentPropsView
{
public:
  std::vector<UINT> Messages;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
  {
    this->Messages.push_back(message);
    return vtkMFCRenderView::WindowProc(message, wParam, lParam);
  }

  int Count(UINT message) const
  {
    int n = 0;
    for (UINT m : this->Messages)
    {
      n += m == message ? 1 : 0;
    }
    return n;
  }
};

/// Template, document, frame and view; the frame shown or not.
struct Viewer : guitest::TemplateViewer<vtkMFCDoc, RecordingView>
{
  explicit Viewer(bool show = true) { this->Open(show); }
};
}

#endif
