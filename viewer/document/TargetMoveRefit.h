/**
 * @class TargetMoveRefit
 * @brief Refits a landmark set in which one target moved since a full fit, without solving the
 * kernel system again.
 *
 * The kernel system depends on the sources, the radius and the smoothing only; the targets
 * enter through the right-hand side b = source - target, once per axis. The coefficients are
 * therefore linear in each target: when target i moves by d, every axis's coefficients change
 * by -d (that axis's component) times the response of the system to a unit right-hand side at
 * landmark i. With the full fit of the set before the move (the base) and that response (one
 * more fit, of the sources with every target on its source except target i), each position of
 * the target is a multiply-add per coefficient: what a drag of one target needs.
 *
 * The result agrees with a full fit of the same landmarks to the fit's own rounding (single
 * precision, or the sparse solve's tolerance), not bit for bit; a caller that writes
 * coefficients to a file fits in full once the target rests.
 *
 * The responses are kept per landmark (a few at a time) as long as the sources, the radius and
 * the smoothing stay as they were, so dragging the same target again, or undoing a drag, costs
 * no fit at all.
 *
 * Typical use, on one thread:
 * @code
 *   const vtkIdType moved = refit.MovedTarget(sources, targets, radius, smoothing);
 *   if (moved >= 0 && !refit.HasResponse(moved))
 *   {
 *     ResponseTargets(sources, moved, refit.ResponseStep(), responseTargets);
 *     ... fit sources onto responseTargets, then refit.SetResponse(moved, coefficients);
 *   }
 *   auto coefficients = moved >= 0 ? refit.Apply(targets) : nullptr;
 *   ... or a full fit, then refit.SetBase(sources, targets, radius, smoothing, coefficients);
 * @endcode
 */
#ifndef TargetMoveRefit_h
#define TargetMoveRefit_h

#include <vtkSmartPointer.h>
#include <vtkType.h>

#include <deque>
#include <memory>

class vtkPoints;
struct TransformCoefficients;

class TargetMoveRefit
{
public:
  /**
   * The full fit the moves are measured from: copies of the landmarks, the options, and the
   * coefficients that fit gave. Forgets the responses when the sources, radius or smoothing
   * differ from the previous base's.
   */
  void SetBase(vtkPoints* sources, vtkPoints* targets, double radius, double smoothing,
    std::shared_ptr<const TransformCoefficients> coefficients);
  /// Forgets the base and the responses.
  void Clear();
  bool HasBase() const { return this->Base != nullptr; }

  /**
   * The landmark whose target alone differs from the base's, when the sources, the radius and
   * the smoothing are the base's too; else -1 (also when nothing at all moved).
   */
  vtkIdType MovedTarget(
    vtkPoints* sources, vtkPoints* targets, double radius, double smoothing) const;

  /// Whether the response to landmark i is known.
  bool HasResponse(vtkIdType i) const;
  /**
   * How far ResponseTargets() moves the target along x: the base's radius, a distance the
   * fit's coordinates resolve well wherever the set lies.
   */
  double ResponseStep() const { return this->Radius; }
  /**
   * The targets whose fit gives the response to landmark i: every target on its source, but
   * target i at its source less step along x.
   */
  static void ResponseTargets(vtkPoints* sources, vtkIdType i, double step, vtkPoints* targets);
  /// Keeps the coefficients of the fit of ResponseTargets(i, ResponseStep()).
  void SetResponse(vtkIdType i, std::shared_ptr<const TransformCoefficients> coefficients);

  /**
   * The coefficients for these targets (equal to the base's but for the moved one, whose
   * response must be known), sharing the base's positions and locator; null when there is no
   * base or no response for the moved target.
   */
  std::shared_ptr<const TransformCoefficients> Apply(vtkPoints* targets) const;

  /// Responses kept at most (the least recently made is forgotten first).
  static constexpr std::size_t KeptResponses = 8;

private:
  struct Response
  {
    vtkIdType Landmark = -1;
    std::shared_ptr<const TransformCoefficients> Coefficients;
  };
  const Response* Find(vtkIdType i) const;
  vtkIdType Moved(vtkPoints* targets) const;

  vtkSmartPointer<vtkPoints> Sources;
  vtkSmartPointer<vtkPoints> Targets;
  double Radius = 0.0;
  double Smoothing = 0.0;
  double Origin[3] = { 0.0, 0.0, 0.0 }; // of the frame the fit works in (LandmarkFrame)
  std::shared_ptr<const TransformCoefficients> Base;
  std::deque<Response> Responses;
};

#endif
