// SPDX-License-Identifier: LGPL-2.1-or-later
#include "app/ProgramDirectory.h"

#include <unistd.h>

std::string GetProgramDirectory() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer));
  // A full buffer may mean a truncated path: treat it like a failed read.
  std::string path = (n <= 0 || n >= static_cast<ssize_t>(sizeof(buffer))) ? std::string() : std::string(buffer, n);
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return "/";
  return path.substr(0, slash) + "/";
}
