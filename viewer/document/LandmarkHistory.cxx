#include "LandmarkHistory.h"

#include "LandmarkEdits.h"
#include "LandmarkPairs.h"

#include <vtkPoints.h>

#include <algorithm>

//------------------------------------------------------------------------------
void LandmarkHistory::PairAt(const LandmarkPairs& pairs, vtkIdType index, double pair[6])
{
  pairs.GetSources()->GetPoint(index, pair);
  pairs.GetTargets()->GetPoint(index, pair + 3);
}

//------------------------------------------------------------------------------
void LandmarkHistory::Apply(LandmarkPairs& pairs, const Step& step, bool forward)
{
  const double* to = forward ? step.After : step.Before;
  switch (step.What)
  {
    case Kind::Add:
    case Kind::Remove:
      if ((step.What == Kind::Add) == forward)
      {
        LandmarkEdits::InsertPair(pairs, step.Index, to, to + 3);
      }
      else
      {
        LandmarkEdits::RemovePair(pairs, step.Index);
      }
      break;
    case Kind::MoveSource:
      LandmarkEdits::MoveSource(pairs, step.Index, to);
      break;
    case Kind::MoveTarget:
      LandmarkEdits::MoveTarget(pairs, step.Index, to + 3);
      break;
  }
}

//------------------------------------------------------------------------------
void LandmarkHistory::Record(const Step& step)
{
  this->Steps.resize(this->Done);
  if (this->Saved != Unreachable && this->Saved > this->Done)
  {
    this->Saved = Unreachable; // the saved state was among the steps just forgotten
  }
  this->Steps.push_back(step);
  ++this->Done;
}

//------------------------------------------------------------------------------
vtkIdType LandmarkHistory::AddPair(
  LandmarkPairs& pairs, const double source[3], const double target[3])
{
  Step step{ Kind::Add, pairs.GetCount(), {}, {} };
  const vtkIdType index = LandmarkEdits::AddPair(pairs, source, target);
  PairAt(pairs, index, step.After);
  std::copy(step.After, step.After + 6, step.Before);
  this->Record(step);
  return index;
}

//------------------------------------------------------------------------------
void LandmarkHistory::MoveSource(
  LandmarkPairs& pairs, vtkIdType index, const double source[3], bool continueDrag)
{
  this->Move(pairs, Kind::MoveSource, index, source, continueDrag);
}

//------------------------------------------------------------------------------
void LandmarkHistory::MoveTarget(
  LandmarkPairs& pairs, vtkIdType index, const double target[3], bool continueDrag)
{
  this->Move(pairs, Kind::MoveTarget, index, target, continueDrag);
}

//------------------------------------------------------------------------------
void LandmarkHistory::Move(
  LandmarkPairs& pairs, Kind what, vtkIdType index, const double point[3], bool continueDrag)
{
  Step step{ what, index, {}, {} };
  PairAt(pairs, index, step.Before);
  if (what == Kind::MoveSource)
  {
    LandmarkEdits::MoveSource(pairs, index, point);
  }
  else
  {
    LandmarkEdits::MoveTarget(pairs, index, point);
  }
  PairAt(pairs, index, step.After);

  const bool sameDrag = continueDrag && this->Done > 0 && this->Done == this->Steps.size() &&
    this->Steps.back().What == what && this->Steps.back().Index == index;
  if (!sameDrag)
  {
    this->Record(step);
    return;
  }
  // The drag's step now ends here; a save made during the drag no longer matches it.
  std::copy(step.After, step.After + 6, this->Steps.back().After);
  if (this->Saved == this->Done)
  {
    this->Saved = Unreachable;
  }
}

//------------------------------------------------------------------------------
void LandmarkHistory::RemovePair(LandmarkPairs& pairs, vtkIdType index)
{
  Step step{ Kind::Remove, index, {}, {} };
  PairAt(pairs, index, step.Before);
  std::copy(step.Before, step.Before + 6, step.After);
  LandmarkEdits::RemovePair(pairs, index);
  this->Record(step);
}

//------------------------------------------------------------------------------
bool LandmarkHistory::Undo(LandmarkPairs& pairs, vtkIdType* index)
{
  if (!this->CanUndo())
  {
    return false;
  }
  const Step& step = this->Steps[--this->Done];
  Apply(pairs, step, false);
  if (index)
  {
    *index = step.What == Kind::Add ? -1 : step.Index;
  }
  return true;
}

//------------------------------------------------------------------------------
bool LandmarkHistory::Redo(LandmarkPairs& pairs, vtkIdType* index)
{
  if (!this->CanRedo())
  {
    return false;
  }
  const Step& step = this->Steps[this->Done++];
  Apply(pairs, step, true);
  if (index)
  {
    *index = step.What == Kind::Remove ? -1 : step.Index;
  }
  return true;
}

//------------------------------------------------------------------------------
void LandmarkHistory::Clear()
{
  this->Steps.clear();
  this->Done = 0;
  this->Saved = 0;
}
