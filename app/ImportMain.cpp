// SPDX-License-Identifier: LGPL-2.1-or-later
// zembrovane-import: makes a project file of a standard MIDI file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "app/SoundfontList.h"
#include "project/AtomicFile.h"
#include "project/MidiImport.h"

namespace {

// The largest standard MIDI file anyone has a use for is a few megabytes; anything much
// larger is not one, and reading it whole would only cost memory.
constexpr off_t kMaxFileBytes = 64 << 20;

int Usage() {
  printf("Usage: zembrovane-import [-q <steps-per-quarter>] [-s <soundfont-number>] [-f] <in.mid> <out-prefix>\n"
         "Writes ./<out-prefix>.dat; -q 4 (default) makes a step a sixteenth note, -s chooses the soundfont\n"
         "(line of soundfonts.dat, from 0) of every track, -f replaces an existing project file.\n");
  return 255;
}

bool ParseNumber(const char* text, int low, int high, int& out) {
  char* end = nullptr;
  errno = 0;
  long value = strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < low || value > high) return false;
  out = static_cast<int>(value);
  return true;
}

bool ReadWhole(const char* path, std::string& out) {
  struct stat info;
  if (stat(path, &info) != 0) {
    printf("error: cannot read %s: %s\n", path, strerror(errno));
    return false;
  }
  if (!S_ISREG(info.st_mode) || info.st_size > kMaxFileBytes) {
    printf("error: %s is not a MIDI file (%s)\n", path, S_ISREG(info.st_mode) ? "too large" : "not a plain file");
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in) {
    printf("error: cannot read %s\n", path);
    return false;
  }
  out = bytes.str();
  return true;
}

// The soundfont's file name from soundfonts.dat in the working folder, where the sequencer
// will read it; empty when there is none.
std::string SoundfontName(int number) {
  if (access("soundfonts.dat", R_OK) != 0) return {};
  SoundfontList list;
  ReadSoundfontList("soundfonts.dat", list);
  if (number >= static_cast<int>(list.paths.size())) {
    printf("warning: soundfonts.dat has no soundfont number %d\n", number);
    return {};
  }
  const std::string& path = list.paths[number];
  return path.substr(path.rfind('/') + 1);
}

}  // namespace

int main(int argc, char** argv) {
  MidiImportOptions options;
  bool replace = false;
  int c;
  while ((c = getopt(argc, argv, "q:s:f")) != -1) {
    if (c == 'q' && !ParseNumber(optarg, 1, 32, options.stepsPerQuarter)) {
      printf("error: steps per quarter note must be 1..32\n");
      return 255;
    }
    if (c == 's' && !ParseNumber(optarg, 0, kMaxSoundfonts - 1, options.soundfont)) {
      printf("error: soundfont number must be 0..%d\n", kMaxSoundfonts - 1);
      return 255;
    }
    if (c == 'f') replace = true;
    if (c == '?') return Usage();
  }
  if (argc - optind != 2) return Usage();
  const char* input = argv[optind];
  const std::string output = "./" + std::string(argv[optind + 1]) + ".dat";

  std::string bytes, text, messages;
  if (!ReadWhole(input, bytes)) return 1;
  options.soundfontName = SoundfontName(options.soundfont);
  const bool ok = ImportMidiFile(bytes, options, text, messages);
  fputs(messages.c_str(), stdout);
  if (!ok) return 1;
  if (!(replace ? WriteFileAtomically(output, text) : WriteNewFileAtomically(output, text))) {
    if (!replace && access(output.c_str(), F_OK) == 0) {
      printf("error: %s exists; -f replaces it\n", output.c_str());
    } else {
      printf("error: could not write %s\n", output.c_str());
    }
    return 1;
  }
  printf("wrote %s\n", output.c_str());
  return 0;
}
