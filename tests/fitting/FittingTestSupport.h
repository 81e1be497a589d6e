#ifndef FittingTestSupport_h
#define FittingTestSupport_h

// Small helpers shared by the fitting tests: scratch directories, files, dense references.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

/** A fresh directory under the system's temporary directory, removed with its files. */
class ScratchDir
{
public:
  ScratchDir()
  {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/fitting-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()))
    {
      this->Path = buffer.data();
    }
  }
  ~ScratchDir()
  {
    if (!this->Path.empty())
    {
      std::system(("rm -rf '" + this->Path + "'").c_str());
    }
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string File(const std::string& name) const { return this->Path + "/" + name; }

  std::string Path;
};

inline void WriteText(const std::string& path, const std::string& text)
{
  std::ofstream out(path, std::ios::binary);
  out << text;
}

inline std::string ReadText(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline bool FileExists(const std::string& path)
{
  std::ifstream in(path);
  return in.good();
}

/**
 * Solves A*x = b (n x n, row by row) in double precision by Gaussian elimination with partial
 * pivoting. Returns false when a pivot vanishes.
 */
inline bool DenseSolveReference(int n, std::vector<double> a, std::vector<double>& b)
{
  for (int k = 0; k < n; ++k)
  {
    int pivot = k;
    for (int r = k + 1; r < n; ++r)
    {
      if (std::fabs(a[r * n + k]) > std::fabs(a[pivot * n + k]))
      {
        pivot = r;
      }
    }
    if (a[pivot * n + k] == 0.0)
    {
      return false;
    }
    if (pivot != k)
    {
      for (int c = 0; c < n; ++c)
      {
        std::swap(a[k * n + c], a[pivot * n + c]);
      }
      std::swap(b[k], b[pivot]);
    }
    for (int r = k + 1; r < n; ++r)
    {
      const double factor = a[r * n + k] / a[k * n + k];
      if (factor == 0.0)
      {
        continue;
      }
      for (int c = k; c < n; ++c)
      {
        a[r * n + c] -= factor * a[k * n + c];
      }
      b[r] -= factor * b[k];
    }
  }
  for (int r = n - 1; r >= 0; --r)
  {
    double s = b[r];
    for (int c = r + 1; c < n; ++c)
    {
      s -= a[r * n + c] * b[c];
    }
    b[r] = s / a[r * n + r];
  }
  return true;
}

/** The kernel (1 - r/R)^2 for r < R, else 0, in double precision. */
inline double ReferenceKernel(const double* p, const double* q, double radius)
{
  const double r = std::sqrt(
    (p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) + (p[2] - q[2]) * (p[2] - q[2]));
  return r < radius ? (1.0 - r / radius) * (1.0 - r / radius) : 0.0;
}

#endif
