/**
 * @class LandmarkHistory
 * @brief Undo and redo of every edit of a landmark set since it was loaded or made.
 *
 * The history edits the set itself (through LandmarkEdits) and remembers each edit with the
 * positions before and after it, so that Undo puts back exactly what was there and Redo does
 * exactly what was done. A new edit after an Undo forgets the edits that were undone.
 *
 * A drag moves one point many times; the moves of one drag (continueDrag set on all but the
 * first) are one step of the history.
 *
 * The history also knows where the set was last saved (MarkSaved): IsAtSaved tells whether
 * the set is as saved, also after edits that were undone back to that point.
 *
 * Clear (after a load, or for a new empty set) forgets every step and takes the set as saved.
 */
#ifndef LandmarkHistory_h
#define LandmarkHistory_h

#include <vtkType.h>

#include <cstddef>
#include <vector>

class LandmarkPairs;

class LandmarkHistory
{
public:
  /// Adds a pair at the end and records it; returns its index.
  vtkIdType AddPair(LandmarkPairs& pairs, const double source[3], const double target[3]);
  ///@{
  /// Moves a source or a target and records it. With continueDrag, a move of the same point of
  /// the same pair just recorded is folded into that step (one drag, one step).
  void MoveSource(
    LandmarkPairs& pairs, vtkIdType index, const double source[3], bool continueDrag = false);
  void MoveTarget(
    LandmarkPairs& pairs, vtkIdType index, const double target[3], bool continueDrag = false);
  ///@}
  /// Removes a pair and records it.
  void RemovePair(LandmarkPairs& pairs, vtkIdType index);

  ///@{
  /// Takes back the last step, or does again the last step taken back. False (and no change)
  /// when there is none. index, when given, receives the pair the step concerned, or -1 when
  /// that pair is gone (an addition undone, a removal redone).
  bool Undo(LandmarkPairs& pairs, vtkIdType* index = nullptr);
  bool Redo(LandmarkPairs& pairs, vtkIdType* index = nullptr);
  bool CanUndo() const { return this->Done > 0; }
  bool CanRedo() const { return this->Done < this->Steps.size(); }
  ///@}

  /// Forgets every step; the set as it is now counts as saved.
  void Clear();
  /// The set as it is now has been saved.
  void MarkSaved() { this->Saved = this->Done; }
  /// Whether the set is as it was last saved (or loaded, or cleared).
  bool IsAtSaved() const { return this->Saved == this->Done; }

private:
  enum class Kind
  {
    Add,
    Remove,
    MoveSource,
    MoveTarget
  };
  struct Step
  {
    Kind What;
    vtkIdType Index;
    // Source then target of the pair before and after the step.
    double Before[6];
    double After[6];
  };
  static void PairAt(const LandmarkPairs& pairs, vtkIdType index, double pair[6]);
  static void Apply(LandmarkPairs& pairs, const Step& step, bool forward);
  void Record(const Step& step);
  void Move(
    LandmarkPairs& pairs, Kind what, vtkIdType index, const double point[3], bool continueDrag);

  std::vector<Step> Steps;
  // Steps[0, Done) are in force; the rest were undone and can be redone.
  std::size_t Done = 0;
  // The value Done had when the set was last saved; npos when that state cannot come back.
  static constexpr std::size_t Unreachable = static_cast<std::size_t>(-1);
  std::size_t Saved = 0;
};

#endif
