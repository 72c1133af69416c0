// SPDX-License-Identifier: LGPL-2.1-or-later
#include "project/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr char kTemporaryTag[] = ".zs-save-";
constexpr size_t kNameCharacters = 8;  // of the file's name in its temporary files' names
constexpr size_t kUniqueCharacters = 6;

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// ".<first 8 characters of the name>.zs-save-": short whatever the file's name, so a name
// close to NAME_MAX can still be saved, and hidden, so a file manager does not show it.
std::string TemporaryPrefix(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict, wrongly) about "." + std::string.
  std::string prefix = ".";
  prefix.append(name, 0, kNameCharacters);
  prefix += kTemporaryTag;
  return prefix;
}

// The file a write of `path` replaces: the target of a symbolic link (of a chain of them),
// so the rename happens in the target's folder and the link stays. False for a link whose
// target is missing.
bool ResolveLinks(const std::string& path, std::string& resolved) {
  struct stat link;
  resolved = path;
  if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return true;
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return false;
  resolved = real;
  free(real);
  return true;
}

// Creates a temporary file next to path. O_EXCL with a name of our own instead of mkstemp:
// mkstemp creates files with mode 0600, while a project should get the same permissions as
// any other file the user creates (0666 minus the umask).
int CreateTemporary(const std::string& path, std::string& tempPath) {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<unsigned> counter{0};
  const std::string prefix = DirectoryOf(path) + "/" + TemporaryPrefix(path);
  for (int attempt = 0; attempt < 100; ++attempt) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned long long bits = (static_cast<unsigned long long>(getpid()) << 32) ^ static_cast<unsigned long long>(now.tv_nsec) ^
                              (static_cast<unsigned long long>(counter++) * 0x9E3779B97F4A7C15ull);
    tempPath = prefix;
    for (size_t i = 0; i < kUniqueCharacters; ++i, bits /= 62) tempPath += kAlphabet[bits % 62];
    int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteAll(int fd, const std::string& content) {
  const char* data = content.data();
  size_t left = content.size();
  while (left > 0) {
    ssize_t n = write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

// Makes the rename itself durable. Failure here is not reported: the file is complete and
// in place either way.
void SyncDirectory(const std::string& path) {
  int fd = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Writes a temporary file and renames it over `path` (replace) or links it to `path` where
// nothing may exist yet.
bool WriteThroughTemporary(const std::string& path, const std::string& content, bool replace) {
  std::string tempPath;
  int fd = CreateTemporary(path, tempPath);
  if (fd < 0) return false;

  struct stat old;
  bool ok = true;
  if (stat(path.c_str(), &old) == 0) {
    // Renaming a file over a directory fails anyway; stop before writing anything.
    if (S_ISDIR(old.st_mode)) ok = false;
    if (ok) fchmod(fd, old.st_mode & 07777);
  }
  ok = ok && WriteAll(fd, content);
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (replace) {
    ok = ok && rename(tempPath.c_str(), path.c_str()) == 0;
  } else {
    ok = ok && link(tempPath.c_str(), path.c_str()) == 0;
    unlink(tempPath.c_str());
  }
  if (!ok) {
    unlink(tempPath.c_str());
    return false;
  }
  SyncDirectory(path);
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& linkOrPath, const std::string& content) {
  std::string path;
  if (linkOrPath.empty() || !ResolveLinks(linkOrPath, path)) return false;
  return WriteThroughTemporary(path, content, true);
}

bool WriteNewFileAtomically(const std::string& path, const std::string& content) {
  return !path.empty() && WriteThroughTemporary(path, content, false);
}

int RemoveStaleTemporaryFiles(const std::string& linkOrPath, int minimumAgeSeconds) {
  std::string path;
  if (!ResolveLinks(linkOrPath, path)) return 0;
  const std::string directory = DirectoryOf(path);
  const std::string prefix = TemporaryPrefix(path);
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return 0;
  const time_t now = time(nullptr);
  int removed = 0;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + kUniqueCharacters || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string file = directory + "/" + name;
    struct stat info;
    if (lstat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (now - info.st_mtime <= minimumAgeSeconds) continue;
    if (unlink(file.c_str()) == 0) ++removed;
  }
  closedir(dir);
  return removed;
}
