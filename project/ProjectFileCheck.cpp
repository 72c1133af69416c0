// SPDX-License-Identifier: LGPL-2.1-or-later
#include "project/ProjectFileCheck.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "project/AtomicFile.h"

ProjectFileState CheckProjectFile(const std::string& path, std::string& reason) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return ProjectFileState::kMissing;
    reason = strerror(errno);  // a name too long, a folder that cannot be searched
    return ProjectFileState::kUnusable;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    reason = errno == ENOENT ? "symbolic link to a missing file" : strerror(errno);
    return ProjectFileState::kUnusable;
  }
  // A read of one byte finds I/O errors that open alone does not.
  char byte;
  const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  const bool readable = regular && read(fd, &byte, 1) >= 0;
  const int readError = errno;
  close(fd);
  if (!regular) {
    reason = "not a regular file";
    return ProjectFileState::kUnusable;
  }
  if (!readable) {
    reason = strerror(readError);
    return ProjectFileState::kUnusable;
  }
  return ProjectFileState::kReadable;
}

bool OpenProjectFileAtStart(const std::string& path, bool& exists) {
  std::string reason;
  const ProjectFileState state = CheckProjectFile(path, reason);
  if (state == ProjectFileState::kUnusable) {
    printf("error: project file %s cannot be used: %s\n", path.c_str(), reason.c_str());
    return false;
  }
  exists = state == ProjectFileState::kReadable;
  // A save killed before its rename is over within a second; a minute leaves room for the
  // save of another instance on a slow disk.
  const int removed = RemoveStaleTemporaryFiles(path, 60);
  if (removed > 0) printf("removed %d temporary file(s) of an interrupted save of %s\n", removed, path.c_str());
  return true;
}

ProjectFileWatch::~ProjectFileWatch() {
  if (lockFd >= 0) close(lockFd);
}

bool ProjectFileWatch::Remember(const std::string& path) {
  if (lockFd >= 0) close(lockFd);
  lockFd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info;
  known = lockFd >= 0 && fstat(lockFd, &info) == 0;
  warned = false;
  if (!known) return true;
  device = info.st_dev;
  inode = info.st_ino;
  size = info.st_size;
  modified = info.st_mtim;
  return flock(lockFd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

bool ProjectFileWatch::MaySave(const std::string& path) {
  struct stat info;
  // Only a regular file holds someone's work; anything else makes the save fail anyway.
  if (!known || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return true;
  const bool same = info.st_dev == device && info.st_ino == inode && info.st_size == size &&
                    info.st_mtim.tv_sec == modified.tv_sec && info.st_mtim.tv_nsec == modified.tv_nsec;
  if (same) return true;
  const auto now = std::chrono::steady_clock::now();
  if (warned && now - warnedAt <= std::chrono::seconds(3)) return true;
  warned = true;
  warnedAt = now;
  printf("project file %s changed on disk since it was loaded or saved here; F1 again within 3 s overwrites it\n",
         path.c_str());
  return false;
}
