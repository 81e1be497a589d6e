// Helpers of the reliability tests: child processes under resource limits, scratch
// directories and large generated inputs.
#ifndef ReliabilityTesting_h
#define ReliabilityTesting_h

#include <cstdint>
#include <string>
#include <vector>

namespace reliability
{

/// True when this build runs under AddressSanitizer or ThreadSanitizer, whose shadow memory
/// does not fit under an address-space limit.
constexpr bool SanitizerBuild()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

struct ChildRun
{
  bool Exited = false;   ///< ended through exit() (not a signal, not the time limit)
  int Status = -1;       ///< exit status when Exited
  int Signal = 0;        ///< the signal that ended it, if any
  bool TimedOut = false; ///< killed after the time limit
  std::string Out;       ///< standard output
  std::string Err;       ///< standard error

  std::string Describe() const;
};

struct ChildOptions
{
  std::string WorkingDirectory;        ///< empty: the current one
  std::uint64_t AddressSpaceLimit = 0; ///< bytes (RLIMIT_AS); 0: no limit
  int TimeLimitSeconds = 120;
  std::vector<std::string> Environment; ///< "NAME=value" added to the inherited environment
};

/// Runs program with the arguments (argv[0] is the program) in a child process.
ChildRun RunChild(const std::vector<std::string>& argv, const ChildOptions& options);

/**
 * The least address-space limit, in steps of 2 MiB, under which the command exits with status
 * 0: what the program needs to start and handle a small input. 0 when even 1 GiB is not enough.
 */
std::uint64_t StartingLimit(const std::vector<std::string>& argv);

constexpr std::uint64_t MiB = 1024 * 1024;

/// A fresh directory under the temporary directory, removed with its contents.
class ScratchDirectory
{
public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& Path() const { return this->Root; }
  std::string File(const std::string& name) const { return this->Root + "/" + name; }

private:
  std::string Root;
};

bool FileExists(const std::string& path);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

/**
 * Writes n landmarks along a helix of radius 0.5 whose turns lie HelixPitch apart, one every
 * HelixStep, each moved by a smooth displacement of about 0.001. Within a radius of
 * HelixFitRadius every landmark has four neighbours on its own turn and none on the next, so
 * the fit has a narrow band, and the helix spans all three axes (a well-posed affine part);
 * a million landmarks stay within a unit cube.
 */
constexpr double HelixRadius = 0.5;
constexpr double HelixStep = 0.001;
constexpr double HelixPitch = 0.003;
constexpr const char* HelixFitRadius = "0.0025";
bool WriteHelixLandmarks(const std::string& path, int n);

/**
 * Writes side^3 landmarks on a jittered grid of spacing 0.1 in the unit cube, each moved by
 * a smooth displacement of at most 0.02. With a radius of 0.25 every landmark has about 60
 * neighbours.
 */
bool WriteGridLandmarks(const std::string& path, int side);

/// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

} // namespace reliability

#endif
