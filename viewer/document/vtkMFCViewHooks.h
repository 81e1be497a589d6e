/**
 * @file vtkMFCViewHooks.h
 * @brief What a document asks of its first view.
 *
 * The document calls its view after some commands (Load Background re-arranges the
 * renderers; the model document switches the transform animation). The views depend on
 * the document, not the other way round: a view class implements this interface and the
 * document finds it on its first view with dynamic_cast.
 */
#ifndef vtkMFCViewHooks_h
#define vtkMFCViewHooks_h

class vtkMFCViewHooks
{
public:
  virtual ~vtkMFCViewHooks() = default;

  /// Rebuilds the renderer layout for the document's background image.
  virtual void ArrangeRenderers() = 0;
  /// The transform animation on / off (views that animate override these).
  virtual void AnimationOn() {}
  virtual void AnimationOff() {}
  /// Whether the view is paused (views that play or record override this).
  virtual bool IsPaused() const { return false; }
};

#endif
