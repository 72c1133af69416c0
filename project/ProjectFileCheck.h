// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <sys/types.h>
#include <time.h>

#include <chrono>
#include <string>

// What is found where the project file should be. Only a missing file may be replaced by an
// empty project: a file that exists but cannot be read (another user's, a directory, a FIFO,
// a device, a link to nothing) holds someone's work or is not a project at all.
enum class ProjectFileState { kMissing, kReadable, kUnusable };

// Never blocks: the file is opened without waiting (a FIFO would block a plain open) and
// refused unless it is a regular file. `reason` says what is wrong for kUnusable.
ProjectFileState CheckProjectFile(const std::string& path, std::string& reason);

// Start-up: checks the project file (an unusable one is reported with an "error: " line and
// false) and removes the temporary files that killed saves of it left. `exists` tells
// whether there is a project to load.
bool OpenProjectFileAtStart(const std::string& path, bool& exists);

// The project file as this program last loaded or saved it, so that F1 does not silently
// overwrite what another instance (or a sync tool, or the user) saved since; and an advisory
// lock (flock) on it, so that a second instance on the same project is warned at its start.
class ProjectFileWatch {
 public:
  ProjectFileWatch() = default;
  ~ProjectFileWatch();
  ProjectFileWatch(const ProjectFileWatch&) = delete;
  ProjectFileWatch& operator=(const ProjectFileWatch&) = delete;

  // After a load or a save: remembers the file's identity and modification time and locks it
  // (a save renames a new file into place, so the lock moves to it). False when another
  // process holds the lock.
  bool Remember(const std::string& path);
  // F1: true when saving may go ahead. A file changed since Remember is refused once (with a
  // line on standard output); a second F1 within 3 s overwrites it. A missing file may always
  // be written.
  bool MaySave(const std::string& path);

 private:
  int lockFd = -1;
  bool known = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  bool warned = false;
  std::chrono::steady_clock::time_point warnedAt{};
};
