// A private temporary directory for a test or a benchmark (no Qt, so that every suite can
// use it).
#ifndef TempDir_h
#define TempDir_h

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace testsupport
{
/// A fresh directory of the test's own (made exclusively, removed with its contents at the
/// end), optionally with more levels below it (extraDepth, starting with "/").
class TempDir
{
public:
  explicit TempDir(const std::string& stem = "quorvel-test-", const std::string& extraDepth = "")
  {
    std::string pattern = (std::filesystem::temp_directory_path() / (stem + "XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char* made = ::mkdtemp(buffer.data());
    this->Root = made ? made : "";
    this->Dir = this->Root.empty() ? std::string() : this->Root + extraDepth;
    if (!this->Dir.empty())
    {
      std::error_code error;
      std::filesystem::create_directories(this->Dir, error);
    }
  }
  ~TempDir()
  {
    if (!this->Root.empty())
    {
      std::error_code error;
      std::filesystem::remove_all(this->Root, error);
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  /// The directory (empty when it could not be made).
  const std::string& Get() const { return this->Dir; }
  /// A file in the directory.
  std::string Path(const std::string& name) const { return this->Dir + "/" + name; }

private:
  std::string Root;
  std::string Dir;
};
}

#endif
