/**
 * @file ReplaceFile.h
 * @brief The one way the product replaces a user's file: coefficient files, models,
 * camera records, saved frames.
 *
 * A save never destroys what was there before. The new contents go into a new file, created
 * exclusively under a unique hidden name in the target's folder; every write, the flush to
 * disk and the close are checked, and only a complete file is renamed over the target, in
 * one step. So a failure at any point (a full disk, a writer that gives up, a folder where no
 * file can be created) leaves the old file as it was and removes the new one; and a reader
 * sees either the old file or the new one, never a part.
 *
 * Beyond that:
 *  - Through a symbolic link (or a chain of them) the file the link points to is replaced,
 *    in that file's folder, and the link stays a link. A link that points nowhere yet is
 *    followed, as opening it for writing would.
 *  - The new file takes the old file's permission bits (a private 0600 file stays private)
 *    and, where the system allows, its owner and group; when the group cannot be kept, the
 *    group gets no more than others. A new target gets what any new file gets: 0666 less
 *    the process's umask.
 *  - A target that exists and is not a regular file (a folder, a device such as /dev/null,
 *    a pipe) is refused: it is never renamed over.
 *  - Other hard links to the old file keep the old contents (the new file is a new inode).
 */
#ifndef ReplaceFile_h
#define ReplaceFile_h

#include <cstdio>
#include <functional>
#include <string>

/** The new file while its contents are written. A writer uses one of the two. */
struct NewFileContents
{
  /** Its name, beside the target: for writers that open a file by name (VTK's writers). */
  std::string Path;
  /** A binary stream open on it, for writers that write through one. */
  std::FILE* Stream = nullptr;
};

/**
 * Writes the contents into file. Returns false, with reason set to a sentence for the user
 * when it can say more than the system's error, when they could not be written whole.
 */
using FileContentWriter = std::function<bool(NewFileContents& file, std::string& reason)>;

enum class ReplaceFileStatus
{
  Ok,
  /** No new file could be made beside the target, or the target is not a regular file. */
  CannotCreate,
  /** The writer failed, or a write, the flush, the close or the rename did. */
  WriteFailed
};

/**
 * Replaces target with what write produces (see the file comment). suffix ends the new
 * file's name (some writers append their extension to a name without it). On failure
 * reason receives a sentence that does not repeat the target's name; the old file, if any,
 * is untouched and no new file is left behind.
 */
ReplaceFileStatus ReplaceFile(const std::string& target, const FileContentWriter& write,
  std::string& reason, const std::string& suffix = std::string());

#endif
