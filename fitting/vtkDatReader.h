/**
 * @class   vtkDatReader
 * @brief   reads a landmark file and orders the landmarks by neighbourhood
 *
 * A landmark file is plain text with one landmark per line: the source position x, y, z and
 * the target position x, y, z, six decimal numbers separated by white space. Lines whose first
 * six items are not such numbers (empty lines, headers, comments) are skipped; anything after
 * the sixth number is ignored. Lines are read whole whatever their length, and a last line
 * without a line end counts like any other.
 *
 * Read() fills the source and target point sets, builds a point locator over the source
 * positions, orders the landmarks breadth-first through their neighbourhoods within Radius
 * (List, its inverse UnList and the half-bandwidth Max) and computes the per-axis differences
 * source minus target in that order (BX, BY, BZ). The arrays stay owned by the reader; a
 * vtkMatrixSolver refers to them and overwrites BX, BY and BZ with its kernel coefficients.
 *
 * @warning A line whose first six items hold a value that is not a finite single-precision
 * number (nan, inf, or a magnitude beyond the float range) makes Read() fail.
 *
 * @sa vtkMatrixSolver GetWellOderredList
 */
#ifndef vtkDatReader_h
#define vtkDatReader_h

#include <vtkObject.h>

#include <string> // for the error message

class vtkPoints;
class vtkPointLocator;
class vtkPolyData;

/// How many neighbours the landmarks have within the radius (themselves not counted).
struct NeighbourCounts
{
  long long Total = 0; ///< summed over all landmarks
  int Lonely = 0;      ///< landmarks without a single neighbour
};

class vtkDatReader : public vtkObject
{
public:
  vtkTypeMacro(vtkDatReader, vtkObject);
  static vtkDatReader* New();
  void PrintSelf(ostream& os, vtkIndent indent) override;

  ///@{
  /** The point locator over the source positions, built by Read(). */
  vtkGetObjectMacro(Tree, vtkPointLocator);
  /** Source positions, one point per landmark in file order (single precision). */
  vtkGetObjectMacro(PointArray, vtkPoints);
  /** Target positions, one point per landmark in file order. */
  vtkGetObjectMacro(PointArrayN, vtkPoints);
  ///@}

  ///@{
  /**
   * List[k] is the landmark at ordered position k; UnList is its inverse. Null before Read().
   */
  vtkGetMacro(List, int*);
  vtkGetMacro(UnList, int*);
  ///@}

  ///@{
  /**
   * Source minus target, per axis, in ordered positions (N entries each). Null before Read().
   */
  vtkGetMacro(BX, float*);
  vtkGetMacro(BY, float*);
  vtkGetMacro(BZ, float*);
  ///@}

  ///@{
  /** Always 0; kept for callers that ask for them. */
  vtkGetMacro(TX, float);
  vtkGetMacro(TY, float);
  vtkGetMacro(TZ, float);
  ///@}

  ///@{
  /** Support radius: landmarks within this distance are neighbours. Default 0.1. */
  vtkSetMacro(Radius, float);
  vtkGetMacro(Radius, float);
  ///@}

  /** Largest distance in ordered positions between two neighbouring landmarks. */
  vtkGetMacro(Max, int);

  /** Lines of the file that held no landmark and were skipped, counted by Read(). */
  long GetSkippedLines() const { return this->SkippedLines; }
  /** The landmarks' neighbours within the radius, counted while Read() orders them. */
  const NeighbourCounts& GetNeighbourCounts() const { return this->Neighbours; }

  /**
   * Reads FileName and builds the ordering. Returns 0 on success and -1 on failure (the file
   * cannot be opened or read, a landmark value is not finite, or memory is exhausted); the
   * reason is reported through vtkErrorMacro and kept in GetErrorMessage(). A file without a
   * landmark is read successfully (check the point count). A second call starts afresh. Throws the
   * text "GetWellOderredList: Can not allocate result array!" when the ordering cannot be
   * allocated.
   */
  int Read();

  /**
   * Why the last Read() failed, a sentence that ends with "!" for the file's faults ("Cannot
   * open leg.dat!") and "Not enough memory" when memory ran out; "" after a success.
   */
  const char* GetErrorMessage() const { return this->ErrorMessage.c_str(); }
  /** Whether the last Read() failed because memory ran out (rather than for its file). */
  bool GetOutOfMemory() const { return this->OutOfMemory; }

  /** Path of the landmark file; not owned, set by the caller before Read(). */
  const char* FileName;

protected:
  vtkDatReader();
  ~vtkDatReader() override;

  vtkPoints* PointArray;
  vtkPoints* PointArrayN;
  vtkPolyData* PolyData;
  vtkPointLocator* Tree;
  int* List;
  int* UnList;
  float TX;
  float TY;
  float TZ;
  float* BX;
  float* BY;
  float* BZ;
  float Radius;
  int Max;
  long SkippedLines = 0;
  NeighbourCounts Neighbours;
  std::string ErrorMessage;
  bool OutOfMemory = false;

private:
  vtkDatReader(const vtkDatReader&) = delete;
  void operator=(const vtkDatReader&) = delete;

  void ReleaseArrays();
  int ReadLandmarks();
  void Fail(const std::string& message, bool outOfMemory = false);
};

/**
 * Breadth-first ordering of n landmarks over the graph that joins two landmarks whose source
 * positions lie within radius of each other (distance equal to radius included). Each new
 * group starts with the smallest landmark index not reached yet. Returns a new array of n
 * entries (release with delete[]): entry k is the landmark at position k. max receives the
 * largest distance in positions between a landmark and the landmark through whose
 * neighbourhood it was reached, which bounds the distance of every two neighbours.
 * locator must be built over points. counts, when given, receives how many neighbours the
 * landmarks have (every landmark's neighbourhood is asked for once anyway). Throws the text
 * "GetWellOderredList: Can not allocate result array!" when memory is exhausted.
 */
int* GetWellOderredList(int& max, int n, float radius, vtkPoints* points, vtkPointLocator* locator,
  NeighbourCounts* counts = nullptr);

/**
 * Looks for two landmarks with exactly the same source position, using a locator built over
 * points. On success first < second receive the smallest such pair (by the first index) and
 * the result is true.
 */
bool FindCoincidentLandmarks(vtkPoints* points, vtkPointLocator* locator, int& first, int& second);

#endif
