// The edits of a landmark set and their undo history, against a plain list of pairs that
// replays the same script independently.
#include "LandmarkEdits.h"
#include "LandmarkHistory.h"
#include "LandmarkPairs.h"

#include <gtest/gtest.h>
#include <vtkPoints.h>

#include <array>
#include <cstring>
#include <random>
#include <sstream>
#include <vector>

namespace
{
using Pair = std::array<double, 6>;
using Oracle = std::vector<Pair>;

// Through a volatile: g++ 12 at -O3 drops the narrowing of some of six such calls that fill
// one brace list (seen here), which would make the oracle wrong, not the code under test.
double Stored(double v)
{
  volatile float narrowed = static_cast<float>(v);
  return narrowed;
}

Oracle Snapshot(const LandmarkPairs& pairs)
{
  Oracle list(pairs.GetCount());
  for (vtkIdType i = 0; i < pairs.GetCount(); ++i)
  {
    pairs.GetSources()->GetPoint(i, list[i].data());
    pairs.GetTargets()->GetPoint(i, list[i].data() + 3);
  }
  return list;
}

// Bit for bit, so that a value rounded twice or moved to the wrong pair shows.
::testing::AssertionResult Same(const Oracle& expected, const LandmarkPairs& pairs)
{
  const Oracle actual = Snapshot(pairs);
  if (actual.size() != expected.size())
  {
    return ::testing::AssertionFailure()
      << "count " << actual.size() << ", expected " << expected.size();
  }
  for (std::size_t i = 0; i < actual.size(); ++i)
  {
    if (std::memcmp(actual[i].data(), expected[i].data(), sizeof(Pair)) != 0)
    {
      std::ostringstream text;
      text.precision(17);
      text << "pair " << i << ":";
      for (int k = 0; k < 6; ++k)
      {
        text << " " << actual[i][k] << "/" << expected[i][k];
      }
      return ::testing::AssertionFailure() << text.str();
    }
  }
  return ::testing::AssertionSuccess();
}

// A set like a user's: far from the origin, uneven spacing, values with many digits.
void Fill(LandmarkPairs& pairs, Oracle& oracle, int n, unsigned seed)
{
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> spread(-3.0, 3.0);
  for (int i = 0; i < n; ++i)
  {
    const double s[3] = { 4.5e5 + spread(random) * spread(random), -1234.5678 + spread(random),
      0.001 * spread(random) };
    const double t[3] = { s[0] + 0.1 * spread(random), s[1], s[2] - 0.3 };
    LandmarkEdits::AddPair(pairs, s, t);
    oracle.push_back(
      { Stored(s[0]), Stored(s[1]), Stored(s[2]), Stored(t[0]), Stored(t[1]), Stored(t[2]) });
  }
}
}

// A scripted session of every kind of edit: after each edit the set matches the replayed
// list, undoing every step walks back through the same states, and redoing walks forward.
TEST(LandmarkHistory, UndoAndRedoRetraceEveryState)
{
  LandmarkPairs pairs;
  Oracle oracle;
  Fill(pairs, oracle, 7, 11);
  LandmarkHistory history;
  history.Clear();

  std::vector<Oracle> states{ oracle };
  std::mt19937 random(5);
  std::uniform_real_distribution<double> coordinate(-100.0, 100.0);
  for (int step = 0; step < 60; ++step)
  {
    const int kind = static_cast<int>(random() % 4);
    const vtkIdType n = pairs.GetCount();
    const double p[3] = { coordinate(random), coordinate(random) * 1e-3, 1e4 + coordinate(random) };
    const Pair stored = { Stored(p[0]), Stored(p[1]), Stored(p[2]), 0, 0, 0 };
    if (kind == 0 || n < 2)
    {
      const double t[3] = { p[0] + 1, p[1], p[2] };
      EXPECT_EQ(n, history.AddPair(pairs, p, t));
      oracle.push_back({ stored[0], stored[1], stored[2], Stored(t[0]), stored[1], stored[2] });
    }
    else
    {
      const vtkIdType i = static_cast<vtkIdType>(random() % n);
      if (kind == 1)
      {
        history.MoveSource(pairs, i, p);
        std::copy(stored.begin(), stored.begin() + 3, oracle[i].begin());
      }
      else if (kind == 2)
      {
        history.MoveTarget(pairs, i, p);
        std::copy(stored.begin(), stored.begin() + 3, oracle[i].begin() + 3);
      }
      else
      {
        history.RemovePair(pairs, i);
        oracle.erase(oracle.begin() + i);
      }
    }
    ASSERT_TRUE(Same(oracle, pairs)) << "after edit " << step << " (kind " << kind << ")";
    states.push_back(oracle);
  }

  for (std::size_t k = states.size() - 1; k > 0; --k)
  {
    ASSERT_TRUE(history.Undo(pairs));
    ASSERT_TRUE(Same(states[k - 1], pairs)) << "after undoing edit " << k - 1;
  }
  EXPECT_FALSE(history.CanUndo());
  EXPECT_FALSE(history.Undo(pairs));
  for (std::size_t k = 1; k < states.size(); ++k)
  {
    ASSERT_TRUE(history.Redo(pairs));
    ASSERT_TRUE(Same(states[k], pairs)) << "after redoing edit " << k - 1;
  }
  EXPECT_FALSE(history.CanRedo());
  EXPECT_FALSE(history.Redo(pairs));
}

// Each edit, undo and redo bumps the set's change counter, which the display and the fit
// watch; a refused undo does not.
TEST(LandmarkHistory, EveryChangeBumpsTheCounter)
{
  LandmarkPairs pairs;
  LandmarkHistory history;
  const double a[3] = { 1, 2, 3 };
  const double b[3] = { 2, 2, 3 };
  vtkMTimeType last = pairs.GetMTime();
  auto bumped = [&]
  {
    const vtkMTimeType now = pairs.GetMTime();
    const bool grew = now > last;
    last = now;
    return grew;
  };
  history.AddPair(pairs, a, b);
  EXPECT_TRUE(bumped()) << "add";
  history.MoveSource(pairs, 0, b);
  EXPECT_TRUE(bumped()) << "move source";
  history.MoveTarget(pairs, 0, a);
  EXPECT_TRUE(bumped()) << "move target";
  history.RemovePair(pairs, 0);
  EXPECT_TRUE(bumped()) << "remove";
  history.Undo(pairs);
  EXPECT_TRUE(bumped()) << "undo";
  history.Redo(pairs);
  EXPECT_TRUE(bumped()) << "redo";
  history.Redo(pairs);
  EXPECT_FALSE(bumped()) << "a redo with nothing to redo";
}

// The moves of one drag are one step; a move of another point, or of the other end of the
// pair, starts a step of its own.
TEST(LandmarkHistory, OneDragIsOneStep)
{
  struct Case
  {
    const char* name;
    bool secondIsTarget;
    vtkIdType secondIndex;
    bool continueDrag;
    int expectedSteps;
  };
  const Case cases[] = {
    { "same source, continued", false, 0, true, 1 },
    { "same source, new drag", false, 0, false, 2 },
    { "other pair", false, 1, true, 2 },
    { "target of the same pair", true, 0, true, 2 },
  };
  for (const Case& c : cases)
  {
    LandmarkPairs pairs;
    Oracle oracle;
    Fill(pairs, oracle, 3, 2);
    LandmarkHistory history;
    const double first[3] = { 10, 20, 30 };
    const double later[3] = { 11, 21, 31 };
    history.MoveSource(pairs, 0, first);
    history.MoveSource(pairs, 0, first, true);
    if (c.secondIsTarget)
    {
      history.MoveTarget(pairs, c.secondIndex, later, c.continueDrag);
    }
    else
    {
      history.MoveSource(pairs, c.secondIndex, later, c.continueDrag);
    }
    int steps = 0;
    while (history.Undo(pairs))
    {
      ++steps;
    }
    EXPECT_EQ(c.expectedSteps, steps) << c.name;
    EXPECT_TRUE(Same(oracle, pairs)) << c.name;
  }
}

// Whether the set is as saved, through edits, undos, redos, forgotten steps and drags.
TEST(LandmarkHistory, KnowsWhetherTheSetIsAsSaved)
{
  // a: add, s: save, u: undo, r: redo, d: drag move of pair 0 (continued), m: new move.
  struct Case
  {
    const char* script;
    bool atSaved;
  };
  const Case cases[] = {
    { "", true }, { "a", false }, { "as", true }, { "asau", true }, { "asu", false },
    { "asur", true }, { "aasuu", false },
    { "asuua", false },                    // the saved state was among the forgotten steps
    { "asuar", false }, { "amsd", false }, // the drag went on after the save
    { "amsdu", false }, { "msmu", true }, { "aau", false },
    { "aauuau", true }, // back to the state as cleared
  };
  for (const Case& c : cases)
  {
    LandmarkPairs pairs;
    LandmarkHistory history;
    const double p[3] = { 1, 2, 3 };
    const double q[3] = { 4, 5, 6 };
    double x = 0;
    history.AddPair(pairs, p, q); // a pair for the moves, made before the history starts
    history.Clear();
    for (const char* s = c.script; *s; ++s)
    {
      const double moved[3] = { x += 1.5, 0, 0 };
      switch (*s)
      {
        case 'a':
          history.AddPair(pairs, moved, q);
          break;
        case 's':
          history.MarkSaved();
          break;
        case 'u':
          history.Undo(pairs);
          break;
        case 'r':
          history.Redo(pairs);
          break;
        case 'd':
          history.MoveSource(pairs, 0, moved, true);
          break;
        case 'm':
          history.MoveSource(pairs, 0, moved);
          break;
      }
    }
    EXPECT_EQ(c.atSaved, history.IsAtSaved()) << c.script;
  }
}

// Positions are kept in single precision (the file's and the fit's), and two sources that
// are the same after that rounding coincide.
TEST(LandmarkEdits, StoresSinglePrecisionAndFindsCoincidentSources)
{
  LandmarkPairs pairs;
  const double far[3] = { 1234567.123456789, -0.1, 1e-7 / 3 };
  const double other[3] = { 1, 1, 1 };
  LandmarkEdits::AddPair(pairs, far, other);
  LandmarkEdits::AddPair(pairs, other, far);
  double s[3];
  pairs.GetSources()->GetPoint(0, s);
  for (int k = 0; k < 3; ++k)
  {
    EXPECT_EQ(Stored(far[k]), s[k]) << k;
  }

  const double nearlyFar[3] = { 1234567.1, -0.1, 1e-7 / 3 }; // the same float
  const double apart[3] = { 1234567.25, -0.1, 1e-7 / 3 };    // the next float
  struct Case
  {
    const double* point;
    vtkIdType except;
    bool coincides;
  };
  const Case cases[] = {
    { far, -1, true },
    { nearlyFar, -1, true },
    { far, 0, false }, // the pair being moved does not count
    { far, 1, true },
    { apart, -1, false },
    { other, -1, true },
  };
  for (const Case& c : cases)
  {
    EXPECT_EQ(c.coincides, LandmarkEdits::SourceCoincides(pairs, c.point, c.except))
      << c.point[0] << " except " << c.except;
  }
}
