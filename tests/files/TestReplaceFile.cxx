// Replacing a user's file: every writer of the product (coefficient files, models, and the
// routine itself as the viewer's record copy and frames use it) against one table of
// situations: a plain file, a symbolic link, a private file, a new file, a write that fails
// half way (a file-size limit stands in for a full disk) and a folder where nothing may be
// created. A success leaves the new contents, the old permission bits and the link; a
// failure leaves the old contents and bits; neither leaves a stray file behind.
#include "FileSizeLimit.h"
#include "FormatsTesting.h"
#include "ModelFile.h"
#include "ReplaceFile.h"
#include "TempDir.h"
#include "TransformFile.h"

#include <gtest/gtest.h>

#include <vtkNew.h>
#include <vtkPoints.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
std::string Read(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::string& text)
{
  std::ofstream(path, std::ios::binary) << text;
}

mode_t ModeOf(const std::string& path)
{
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

std::set<std::string> Names(const std::string& folder)
{
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
  {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// More than the file-size limit below in every writer's output.
const std::string Contents = std::string(200, 'n') + "\n";

/// A writer of the product: writes path, true on success.
struct Writer
{
  const char* Name;
  const char* Extension;
  std::function<bool(const std::string& path)> Run;
};

bool WriteTrc(const std::string& path)
{
  vtkNew<vtkPoints> points;
  points->InsertNextPoint(0.125, -2.0, 3.0);
  points->InsertNextPoint(1.0, 0.5, -0.25);
  const float cx[] = { 0.002f, -0.0004f, 1.0f, 0.1f, 0.0f, 0.0f };
  const float cy[] = { 3e-7f, 0.25f, 2.0f, 0.0f, 0.2f, 0.0f };
  const float cz[] = { -1.5f, 7.0f, 3.0f, 0.0f, 0.0f, -0.3f };
  const int unList[] = { 1, 0 };
  return WriteTransformCoefficients(path.c_str(), 0.002f, points, cx, cy, cz, unList) ==
    TransformWriteStatus::Ok;
}

bool WriteModel(const std::string& path)
{
  std::string reason;
  return WriteModelFile(formats::SmallModel(), path, reason);
}

const Writer Writers[] = {
  { "ReplaceFile through its stream", ".csr",
    [](const std::string& path)
    {
      std::string reason;
      return ReplaceFile(
               path,
               [](NewFileContents& file, std::string&) {
                 return std::fwrite(Contents.data(), 1, Contents.size(), file.Stream) ==
                   Contents.size();
               },
               reason) == ReplaceFileStatus::Ok;
    } },
  { "ReplaceFile by name", ".bmp",
    [](const std::string& path)
    {
      std::string reason;
      return ReplaceFile(
               path,
               [](NewFileContents& file, std::string&)
               {
                 std::ofstream out(file.Path, std::ios::binary);
                 out << Contents;
                 out.flush();
                 return static_cast<bool>(out);
               },
               reason, ".bmp") == ReplaceFileStatus::Ok;
    } },
  { "coefficient file", ".trc", WriteTrc },
  { "legacy model", ".vtk", WriteModel },
  { "PLY model", ".ply", WriteModel },
};

/// Runs the writer in a child process that may not create files in folder (the superuser
/// may, so the child gives up its rights first): true when the writer reported success.
bool WriteWithoutRights(const Writer& writer, const std::string& path)
{
  const pid_t child = ::fork();
  if (child == 0)
  {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
    {
      ::_exit(3);
    }
    ::_exit(writer.Run(path) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) <= 1) << "child status " << status;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

enum class Situation
{
  PlainFile,
  SymbolicLink,
  PrivateFile,
  NewFile,
  WriteFailsHalfWay,
  FolderWithoutRights
};

struct Case
{
  const char* Name;
  Situation What;
  mode_t OldMode; // of the existing file; for a new one the mode expected (umask 027)
  bool Succeeds;
};

const Case Cases[] = {
  { "a plain file", Situation::PlainFile, 0644, true },
  { "a symbolic link to a file in another folder", Situation::SymbolicLink, 0640, true },
  { "a private file", Situation::PrivateFile, 0600, true },
  { "a new file (0666 less the umask)", Situation::NewFile, 0640, true },
  { "a write that fails half way", Situation::WriteFailsHalfWay, 0604, false },
  { "a folder where no file may be created", Situation::FolderWithoutRights, 0666, false },
};
}

TEST(ReplaceFile, EveryWriterKeepsTheOldFileOrPutsAWholeNewOneInItsPlace)
{
  const mode_t savedMask = ::umask(027);
  for (const Writer& writer : Writers)
  {
    // What the writer writes, made once in a folder of its own.
    testsupport::TempDir reference;
    const std::string expected = reference.Path(std::string("ref") + writer.Extension);
    ASSERT_TRUE(writer.Run(expected)) << writer.Name;
    const std::string newContents = Read(expected);

    for (const Case& c : Cases)
    {
      SCOPED_TRACE(std::string(writer.Name) + ", " + c.Name);
      testsupport::TempDir dir;
      const std::string folder = dir.Get();
      const std::string name = std::string("saved") + writer.Extension;
      std::string target = dir.Path(name);
      std::string file = target; // the file whose contents change
      const std::string old = "the user's earlier contents\n";

      if (c.What == Situation::SymbolicLink)
      {
        fs::create_directory(folder + "/elsewhere");
        file = folder + "/elsewhere/" + name;
        ASSERT_EQ(::symlink(("elsewhere/" + name).c_str(), target.c_str()), 0);
      }
      if (c.What != Situation::NewFile)
      {
        Write(file, old);
        ASSERT_EQ(::chmod(file.c_str(), c.OldMode), 0);
      }
      const std::set<std::string> before = Names(folder);

      bool written = false;
      if (c.What == Situation::WriteFailsHalfWay)
      {
        testsupport::FileSizeLimit limit(64);
        written = writer.Run(target);
      }
      else if (c.What == Situation::FolderWithoutRights)
      {
        // The file itself is writable: only a new file beside it cannot be made.
        ASSERT_EQ(::chmod(dir.Get().c_str(), 0555), 0);
        written = WriteWithoutRights(writer, target);
        ::chmod(dir.Get().c_str(), 0755);
      }
      else
      {
        written = writer.Run(target);
      }

      EXPECT_EQ(written, c.Succeeds);
      EXPECT_EQ(Read(file), c.Succeeds ? newContents : old);
      EXPECT_EQ(ModeOf(file), c.OldMode) << std::oct << ModeOf(file);
      std::set<std::string> after = Names(folder);
      if (c.What == Situation::NewFile)
      {
        after.erase(name);
      }
      EXPECT_EQ(after, before) << "no file is left behind, none goes missing";
      if (c.What == Situation::SymbolicLink)
      {
        EXPECT_TRUE(fs::is_symlink(target)) << "the link stays a link";
        EXPECT_EQ(Names(folder + "/elsewhere"), std::set<std::string>{ name });
      }
    }
  }
  ::umask(savedMask);
}

TEST(ReplaceFile, AWriterThatGivesUpOrATargetThatIsNoFileChangesNothing)
{
  testsupport::TempDir dir;
  const std::string target = dir.Path("kept.csr");
  Write(target, "old");
  std::string reason;
  auto giveUp = [](NewFileContents& file, std::string& why)
  {
    std::fputs("half of it", file.Stream);
    why = "the recording cannot be read";
    return false;
  };
  EXPECT_EQ(ReplaceFile(target, giveUp, reason), ReplaceFileStatus::WriteFailed);
  EXPECT_EQ(reason, "the recording cannot be read");
  EXPECT_EQ(Read(target), "old");
  EXPECT_EQ(Names(dir.Get()), std::set<std::string>{ "kept.csr" });

  // A folder where the file should be, and a link that points at it: refused, untouched.
  const std::string folder = dir.Path("folder.trc");
  fs::create_directory(folder);
  ASSERT_EQ(::symlink("folder.trc", dir.Path("link.trc").c_str()), 0);
  auto anything = [](NewFileContents& file, std::string&)
  { return std::fputs("x", file.Stream) >= 0; };
  for (const std::string& path : { folder, dir.Path("link.trc") })
  {
    EXPECT_EQ(ReplaceFile(path, anything, reason), ReplaceFileStatus::CannotCreate) << path;
    EXPECT_EQ(reason, "it is a folder");
  }
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_symlink(dir.Path("link.trc")));

  // Links in a loop are refused, and so is a folder that does not exist.
  ASSERT_EQ(::symlink("loop2", dir.Path("loop1").c_str()), 0);
  ASSERT_EQ(::symlink("loop1", dir.Path("loop2").c_str()), 0);
  EXPECT_EQ(ReplaceFile(dir.Path("loop1"), anything, reason), ReplaceFileStatus::CannotCreate);
  EXPECT_EQ(
    ReplaceFile(dir.Path("no/such/x.trc"), anything, reason), ReplaceFileStatus::CannotCreate);
  EXPECT_NE(reason.find("No such file"), std::string::npos) << reason;
  EXPECT_EQ(Names(dir.Get()),
    (std::set<std::string>{ "kept.csr", "folder.trc", "link.trc", "loop1", "loop2" }));
}
