#include "ReplaceFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::string SystemError(int error)
{
  return std::strerror(error);
}

std::string FolderOf(const std::string& path)
{
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos)
  {
    return ".";
  }
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

//------------------------------------------------------------------------------
// The file that writing to path would reach: symbolic links followed one by one (a relative
// link is relative to its own folder), up to the system's limit. A name that does not exist
// ends the walk: that is where the new file goes.
bool FollowLinks(const std::string& path, std::string& resolved, std::string& reason)
{
  resolved = path;
  for (int hops = 0; hops <= 40; ++hops)
  {
    struct stat info;
    if (::lstat(resolved.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
    {
      return true;
    }
    std::vector<char> buffer(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) + 1);
    const ssize_t length = ::readlink(resolved.c_str(), buffer.data(), buffer.size());
    if (length < 0 || static_cast<size_t>(length) >= buffer.size())
    {
      reason =
        "its symbolic link cannot be read: " + SystemError(length < 0 ? errno : ENAMETOOLONG);
      return false;
    }
    const std::string link(buffer.data(), static_cast<size_t>(length));
    resolved = !link.empty() && link.front() == '/' ? link : FolderOf(resolved) + "/" + link;
  }
  reason = "its symbolic links form a loop";
  return false;
}

//------------------------------------------------------------------------------
// A name no file has, beside target, created exclusively; -1 with errno set when none can
// be made.
int CreateBeside(
  const std::string& target, const std::string& suffix, mode_t mode, std::string& created)
{
  static std::atomic<unsigned> counter{ 0 };
  std::random_device entropy;
  // Short enough that the name with its additions stays within the system's name limit.
  const std::string stem = NameOf(target).substr(0, 96);
  const std::string folder = FolderOf(target);
  for (int attempt = 0; attempt < 100; ++attempt)
  {
    char unique[64];
    std::snprintf(unique, sizeof unique, "%ld-%u-%08x", static_cast<long>(::getpid()),
      counter.fetch_add(1, std::memory_order_relaxed), static_cast<unsigned>(entropy()));
    const std::string candidate = folder + "/." + stem + "." + unique + ".new" + suffix;
    const int fd =
      ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0)
    {
      created = candidate;
      return fd;
    }
    if (errno != EEXIST)
    {
      return -1;
    }
  }
  errno = EEXIST;
  return -1;
}

//------------------------------------------------------------------------------
// Gives the new file the old one's owner, group and permission bits, as far as allowed.
bool TakeOverAttributes(int fd, const struct stat& old, std::string& reason)
{
  mode_t mode = old.st_mode & 0777;
  struct stat now;
  if (::fstat(fd, &now) == 0)
  {
    // Only the superuser may give a file away; a member of the group may set the group.
    const bool ownerKept =
      now.st_uid == old.st_uid || ::fchown(fd, old.st_uid, static_cast<gid_t>(-1)) == 0;
    static_cast<void>(ownerKept); // a file of the saver's own is what others' editors make too
    if (now.st_gid != old.st_gid && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0)
    {
      // Another group than the old file's: it may read no more than anybody may.
      mode = (mode & ~static_cast<mode_t>(070)) | (mode & ((mode & 07) << 3));
    }
  }
  if (::fchmod(fd, mode) != 0)
  {
    reason = "the new file's permissions cannot be set: " + SystemError(errno);
    return false;
  }
  return true;
}

// Makes the rename itself durable; a failure here changes nothing the user can see.
void SyncFolder(const std::string& folder)
{
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0)
  {
    ::fsync(fd);
    ::close(fd);
  }
}
}

//------------------------------------------------------------------------------
ReplaceFileStatus ReplaceFile(const std::string& target, const FileContentWriter& write,
  std::string& reason, const std::string& suffix)
{
  if (target.empty())
  {
    reason = "no file name was given";
    return ReplaceFileStatus::CannotCreate;
  }
  std::string destination;
  if (!FollowLinks(target, destination, reason))
  {
    return ReplaceFileStatus::CannotCreate;
  }
  struct stat old;
  const bool exists = ::stat(destination.c_str(), &old) == 0;
  if (!exists && errno != ENOENT)
  {
    reason = SystemError(errno);
    return ReplaceFileStatus::CannotCreate;
  }
  if (exists && !S_ISREG(old.st_mode))
  {
    reason = S_ISDIR(old.st_mode) ? "it is a folder" : "it is not a regular file";
    return ReplaceFileStatus::CannotCreate;
  }

  // A new target gets a new file's permissions (the umask applies); a replacement starts
  // private and takes the old file's bits when it is complete.
  NewFileContents file;
  const int fd = CreateBeside(destination, suffix, exists ? 0600 : 0666, file.Path);
  if (fd < 0)
  {
    reason = "no new file can be created in " + FolderOf(destination) + ": " + SystemError(errno);
    return ReplaceFileStatus::CannotCreate;
  }
  file.Stream = ::fdopen(fd, "wb");
  if (!file.Stream)
  {
    reason = SystemError(errno);
    ::close(fd);
    ::unlink(file.Path.c_str());
    return ReplaceFileStatus::CannotCreate;
  }

  std::string why;
  errno = 0;
  bool ok = write(file, why);
  int error = errno;
  if (ok && (std::fflush(file.Stream) != 0 || std::ferror(file.Stream)))
  {
    ok = false;
    error = errno;
  }
  // The file the writer wrote by name must still be the one made here.
  struct stat made, named;
  if (ok &&
    (::fstat(fd, &made) != 0 || ::stat(file.Path.c_str(), &named) != 0 ||
      made.st_ino != named.st_ino || made.st_dev != named.st_dev))
  {
    ok = false;
    why = "the new file was replaced while it was written";
  }
  if (ok && ::fsync(fd) != 0 && errno != EINVAL)
  {
    ok = false;
    error = errno;
  }
  if (ok && exists && !TakeOverAttributes(fd, old, why))
  {
    ok = false;
  }
  if (std::fclose(file.Stream) != 0 && ok)
  {
    ok = false;
    error = errno;
  }
  if (!ok)
  {
    ::unlink(file.Path.c_str());
    reason = !why.empty() ? why
      : error             ? SystemError(error)
                          : std::string("the contents could not be written whole");
    return ReplaceFileStatus::WriteFailed;
  }
  if (std::rename(file.Path.c_str(), destination.c_str()) != 0)
  {
    reason = "the new file cannot take the old one's place: " + SystemError(errno);
    ::unlink(file.Path.c_str());
    return ReplaceFileStatus::WriteFailed;
  }
  SyncFolder(FolderOf(destination));
  return ReplaceFileStatus::Ok;
}
