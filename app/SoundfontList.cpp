// SPDX-License-Identifier: LGPL-2.1-or-later
#include "app/SoundfontList.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

bool IsBlank(const char* s) {
  for (; *s; ++s) {
    if (!isspace(static_cast<unsigned char>(*s))) return false;
  }
  return true;
}

}  // namespace

bool ReadSoundfontList(const std::string& fileName, SoundfontList& out) {
  out = SoundfontList{};
  std::ifstream in(fileName);
  if (!in) {
    printf("error: soundfonts.dat could not be openend\n");
    return false;
  }
  bool lineError = false;
  std::string line;
  for (int lineNumber = 0; std::getline(in, line); ++lineNumber) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (IsBlank(line.c_str())) continue;
    double gain = 0;
    char path[255];
    memset(path, 0, sizeof(path));  // %c does not terminate the string
    int fields = sscanf(line.c_str(), "%lf %254c", &gain, path);
    if (fields == 2 && !IsBlank(path)) {
      out.paths.emplace_back(path);
      out.gains.push_back(gain);
    } else if (fields == 1) {
      continue;  // a gain without a path: nothing to load
    } else {
      // Not a gain followed by a path: say which line, keep reading so every bad line shows.
      printf("error: reading soundfont line %d\n", lineNumber);
      lineError = true;
    }
  }
  if (out.paths.empty()) {
    printf("error: no soundfont files in soundfonts.dat\n");
    return false;
  }
  if (static_cast<int>(out.paths.size()) > kMaxSoundfonts) {
    printf("error: more than 12 soundfont files in soundfonts.dat\n");
    return false;
  }
  return !lineError;
}
