#include "project/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Creates a temporary file next to path. O_EXCL with a name made of the process id and a
// counter instead of mkstemp: mkstemp creates files with mode 0600, while a project should
// get the same permissions as any other file the user creates (0666 minus the umask).
int CreateTemporary(const std::string& path, std::string& tempPath) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
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
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& content) {
  if (path.empty()) return false;
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
  ok = ok && rename(tempPath.c_str(), path.c_str()) == 0;
  if (!ok) {
    unlink(tempPath.c_str());
    return false;
  }
  SyncDirectory(path);
  return true;
}
