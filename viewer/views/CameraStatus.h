/**
 * @class CameraStatus
 * @brief One snapshot of a camera as 23 single-precision slots, and its line in a ".csr" file.
 *
 * Slots and their values at construction:
 *
 * | slot       | camera property                         | default        |
 * |------------|-----------------------------------------|----------------|
 * | 0, 1, 2    | Position x, y, z                        | 0, 0, 1        |
 * | 3, 4, 5    | FocalPoint x, y, z                      | 0, 0, 0        |
 * | 6, 7, 8    | ViewUp x, y, z                          | 0, 1, 0        |
 * | 9          | Distance                                | 2              |
 * | 10         | Roll                                    | 0              |
 * | 11         | ParallelProjection (0 or 1 as a float)  | 0              |
 * | 12         | ViewAngle                               | 30             |
 * | 13         | ParallelScale                           | 1              |
 * | 14, 15     | ClippingRange near, far                 | 0.1, 1000      |
 * | 16         | Thickness                               | 1              |
 * | 17, 18     | WindowCenter x, y                       | 0, 0           |
 * | 19, 20     | reserved: carried in files, never taken from or given to a camera | 90, 45 |
 * | 21         | EyeAngle                                | 0              |
 * | 22         | FocalDisk                               | 0              |
 *
 * A record refers to the camera lock of the view that made it (it does not own it); Apply
 * and Capture hold that lock while they touch the camera, because playback applies records
 * on the timer thread while the user-interface thread may read the same camera.
 *
 * Record file (".csr"), one line per record, text mode:
 *
 *     "[%d] %d "  the delay in timer ticks, then the number n of pairs
 *     "%d %f "    n times: a slot number and the slot's value
 *     "\n"
 *
 * e.g. `[12] 2 0 0.500000 2 3.250000 ` (note the blank before the line end). The first line
 * of a file holds all 23 slots; each later line holds only the slots that differ from the
 * line written before it, so a line changes only the slots it names when it is read.
 */
#ifndef CameraStatus_h
#define CameraStatus_h

#include <cstdio>

class CCriticalSection;
class vtkCamera;

/// The longest delay a record line may give, in timer ticks: the writer counts delays
/// modulo the tick counter's period of 50000. A longer or negative delay makes the line
/// malformed (a playback would otherwise never reach its next record, or never end).
constexpr int MaxRecordDelay = 49999;

class CameraStatus
{
public:
  static constexpr int NumberOfSlots = 23;

  /// All slots at their defaults.
  explicit CameraStatus(CCriticalSection& cameraLock);
  /// Captures the camera at once (defaults when there is none).
  CameraStatus(vtkCamera* camera, CCriticalSection& cameraLock);
  /// Records are deleted through this class by queue nodes and worker threads.
  virtual ~CameraStatus() = default;
  CameraStatus(const CameraStatus&) = delete;
  CameraStatus& operator=(const CameraStatus&) = delete;

  /// Reads slots 0-18, 21 and 22 from the camera under the camera lock; 19 and 20 keep
  /// their values. Nothing without a camera.
  void Capture(vtkCamera* camera);

  /// Sets the camera from the slots under the camera lock, in the order Position,
  /// FocalPoint, ViewUp, Distance, Roll, ParallelProjection (slot 11 truncated towards
  /// zero), ViewAngle, ParallelScale, ClippingRange, Thickness, WindowCenter, EyeAngle,
  /// FocalDisk. Slots 19 and 20 are not applied. Nothing without a camera.
  void Apply(vtkCamera* camera) const;

  /// Copies the 23 slots of another record; the lock reference stays this record's own.
  void CopyValues(const CameraStatus& other);

  /**
   * Writes this record as one line: all slots without a previous record, otherwise only
   * the slots whose value differs from the previous record's; when none differs, nothing
   * is written and the result is true. False when there is no file, when a slot to be
   * written is not a finite number (a reader could not take the line back; nothing is
   * written then), or when writing fails. Numbers are written in the "C" conventions (a
   * decimal point) whatever the locale.
   */
  bool Write(std::FILE* file, int ticks, const CameraStatus* previous) const;

  /**
   * Reads one line onto the slots it names and hands out its delay. False, with the record
   * and ticks unchanged, when there is no file, at the end of the file, or when the line is
   * malformed: a header or pair that does not parse, a delay outside 0 to MaxRecordDelay, a
   * negative pair count, a slot number outside 0 to 22, a number beyond the int range, or a
   * value that is not a finite number. Numbers are read in the "C" conventions whatever the
   * locale.
   */
  bool Read(std::FILE* file, int& ticks);

  float GetValue(int slot) const { return this->Values[slot]; }
  void SetValue(int slot, float value) { this->Values[slot] = value; }
  CCriticalSection& GetCameraLock() const { return this->CameraLock; }

private:
  void SetDefaults();

  float Values[NumberOfSlots];
  CCriticalSection& CameraLock;
};

#endif
