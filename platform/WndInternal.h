// Pieces of the framework's implementation shared between its own files (not installed for
// the viewer's classes).
#ifndef platform_WndInternal_h
#define platform_WndInternal_h

#include "win32.h"

class CWnd;
class QWidget;
struct MessageBoxRequest;

namespace platform_detail
{
/// The widget of a VTK_OPENGL_WINDOW_CLASS window (VtkWindow.cxx).
QWidget* CreateVtkWindowWidget(CWnd* owner, QWidget* parent);
/// True when the widget paints through WM_PAINT by itself (not from its paint event).
bool PaintsItself(QWidget* widget);
/// A window invalidated must render at its next paint, whatever it rendered before.
void ForgetRenderedFrame(QWidget* widget);
/// Makes sure a Qt application object exists (the framework's windows need one).
void EnsureApplication();
/// The real message box (Prompts.cxx).
int ShowMessageBox(QWidget* parent, const MessageBoxRequest& request);
}

#endif
