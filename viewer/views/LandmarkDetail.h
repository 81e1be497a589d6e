/**
 * @class LandmarkDetail
 * @brief Before every picture of the viewer's view, tells the document's landmark display
 * whether the animation plays, so that a large set is drawn as an even selection while it
 * does and whole while it does not.
 *
 * The animation plays while the deformation is switched in and animating, the view is not
 * paused and time runs in real time. A frame-by-frame playback (whose frames are saved as
 * pictures) and a picture copied to the clipboard show every landmark.
 *
 * @sa LandmarkGlyphs
 */
#ifndef LandmarkDetail_h
#define LandmarkDetail_h

class CHaldenView;

class LandmarkDetail
{
public:
  /// Watches the view's model renderer from now on (the view outlives this object).
  explicit LandmarkDetail(CHaldenView& view);
  ~LandmarkDetail();
  LandmarkDetail(const LandmarkDetail&) = delete;
  LandmarkDetail& operator=(const LandmarkDetail&) = delete;

  /// Whether the view's animation plays now (see the class comment).
  bool Playing() const;
  /// Gives the landmark display the detail for the view's state now; true when that changed
  /// which landmarks are drawn (the picture on the screen is then out of date).
  bool Choose();

  ///@{
  /// While held (the holds count), every landmark is drawn, playing or not.
  void Hold();
  void Release();
  ///@}

private:
  CHaldenView& View;
  unsigned long Observer = 0;
  int Held = 0;
};

#endif
