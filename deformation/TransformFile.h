#ifndef TransformFile_h
#define TransformFile_h

/**
 * The transform coefficient file (".trc"): one fitted deformation, written by the fitting
 * tool and read by the viewer. Plain text, 3N+8 lines for N landmarks:
 *
 *   [R]                  "[%f]\n"      support radius
 *   [N]                  "[%d]\n"      landmark count
 *   x y z       (N)      "%f %f %f\n"  source positions in landmark-file order
 *   [N+4]                "[%d]\n"      coefficient count
 *   cx cy cz    (N+4)    "%f %f %f\n"  N kernel weights in ordered positions, then the
 *                                      constant term and the factors of x, y and z
 *   [N]                  "[%d]\n"      ordering count
 *   k           (N)      "%d\n"        ordered position of landmark i (UnList)
 *
 * "%f" stands for a number written so that it reads back exactly: six decimals where they
 * do that, more digits or exponent notation ("2.5e-07") where they do not.
 *
 * Reading is as tolerant as scanf with these formats: any run of white space (blanks, tabs,
 * line ends of either form, blank lines, or none) may stand where the formats have a blank or
 * a line end, and a number may be preceded by white space. The file must begin directly with
 * "[" and "]" must follow its number directly. Anything after the last ordering entry is
 * ignored. Beyond what scanf would check, the reader refuses values that are not finite,
 * ordering entries outside 0..N-1 or not forming a permutation, and counts that are negative
 * or do not fit; it never trusts an announced count for an allocation.
 */

#include <vtkSmartPointer.h>

#include <string>
#include <vector>

class vtkPoints;
class vtkPointLocator;

/** What a transform coefficient file holds, ready for the viewer's shape transform. */
struct TransformCoefficients
{
  float Radius = 0.0f;
  /**
   * The N source positions in file order, in double precision (as read; the other values are
   * single precision).
   */
  vtkSmartPointer<vtkPoints> Points;
  /** N + 4 coefficients per axis. */
  std::vector<float> CoeffX;
  std::vector<float> CoeffY;
  std::vector<float> CoeffZ;
  /**
   * The constant terms of the three axes (the coefficient row N) in double precision, or
   * empty: CoeffX[N], CoeffY[N] and CoeffZ[N] hold them rounded to single precision. A fit far
   * from the origin has constant terms that cancel against the factors of x, y and z and need
   * their digits; the reader fills them from the file's text, the shape transform uses them.
   */
  std::vector<double> Constants;
  /** UnList[i]: ordered position of landmark i (a permutation of 0..N-1). */
  std::vector<int> UnList;
  /** A point locator built by the reader over Points (its data set is a vtkPolyData). */
  vtkSmartPointer<vtkPointLocator> Locator;
};

enum class TransformFileStatus
{
  Ok,
  CannotOpen,
  Mismatch
};

struct TransformFileResult
{
  TransformFileStatus Status = TransformFileStatus::Ok;
  /** Empty on success; otherwise a sentence for the user, naming the line when it applies. */
  std::string Reason;
};

/**
 * Reads a transform coefficient file into fresh containers and hands them to out only on
 * success; after CannotOpen or Mismatch out is unchanged.
 */
TransformFileResult ReadTransformCoefficients(const char* path, TransformCoefficients& out);

/**
 * What a coefficient file written with held's contents (by WriteTransformCoefficients) holds
 * when read back (by ReadTransformCoefficients), without a file: positions and constant terms
 * read from the file's decimals differ from single-precision values in their last digits, so
 * a spline fitted in memory deforms exactly as its coefficient file loaded does only after
 * this. Coefficients that do not match the landmark count, or values that are not finite,
 * give Mismatch and leave out unchanged.
 */
TransformFileResult AsReadFromFile(const TransformCoefficients& held, TransformCoefficients& out);

enum class TransformWriteStatus
{
  Ok,
  /** A coefficient, position or the radius is not a finite number: nothing was created. */
  NotFinite,
  /** The file cannot be created (see ReplaceFile): nothing was written. */
  CannotOpen,
  /** A write or the close failed (disk full, I/O error): an earlier file of that name is
   * kept as it was, and nothing of the new one is left. */
  WriteFailed
};

/**
 * Writes a transform coefficient file, or replaces one through ReplaceFile (a failed write
 * never damages the file that was there). points holds the N source positions in file
 * order; cx, cy, cz hold N + 4 coefficients each; unList N ordering entries. reason, when
 * given, receives a sentence on failure.
 *
 * Every value is written so that it reads back as the value held (positions in double
 * precision where points holds a value single precision cannot, the rest as floats): in "%f" form
 * where six decimals do that, otherwise with the digits it needs or in exponent notation (see
 * NumberText::AppendExact). Counts and ordering entries are "%d". constants, when given,
 * are the three constant terms in double precision, written in place of cx[N], cy[N] and
 * cz[N].
 */
TransformWriteStatus WriteTransformCoefficients(const char* path, float radius, vtkPoints* points,
  const float* cx, const float* cy, const float* cz, const int* unList,
  std::string* reason = nullptr, const double* constants = nullptr);

#endif
