// SPDX-License-Identifier: LGPL-2.1-or-later
#include "app/CommandLine.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

void PrintUsage(bool missingPrefix) {
  fprintf(stderr,
          "Usage: ZembrovaneSequencer [-i <midi-input>] [-o <midi-output>] [-p <midi-output2>] [-s <gui-scale>] "
          "[-b <audio-buffer-size>] [-c <background-color>] [-w <wallpaper-number>] [-m <max-velocity-midi-input>] "
          "[-x] [-d] [-g] [-l] [-q] [-k] <project-prefix>\n");
  fprintf(stderr, "Example: ZembrovaneSequencer -i 'q mini' -o 'circuit' -s 1.5 -g my_song\n");
  fprintf(stderr, "-g assumes a german keyboard layout, else us keyboard layout\n");
  fprintf(stderr, "-d selects a default instrument if instrument missing\n");
  if (missingPrefix) {
    fprintf(stderr, "-b audio buffer size (default is 128)\n");
  } else {
    fprintf(stderr, "-b sets audio buffer size (default is 128)\n");
  }
  fprintf(stderr, "-c selects background color as rrggbbaa hex digits (default is 212121ff)\n");
  fprintf(stderr, "-l activates launchpad mode\n");
  fprintf(stderr, "-q activates qmini mode (a hack)\n");
  fprintf(stderr, "-k activates midi keyboard hack (black keys become transport controls when using scale)\n");
  fprintf(stderr, "-w selects a wallpaper (wallpaper number is 1, 2, 3 or 4, 5, 6)\n");
  fprintf(stderr, "-m sets maximum achievable velocity of midi input (and scales it to full range)\n");
  fprintf(stderr, "-x loads a LinuxVST into fx chain (a hack). Requires file fx.dat in appimage directory.\n");
  fprintf(stderr, "-t sends midi clock, start, stop and continue on the midi outputs\n");
  if (missingPrefix) fprintf(stderr, "Missing <project-prefix>\n");
}

// Whole text must be a decimal integer (leading/trailing blanks tolerated, as strtol would).
bool ParseInt(const std::string& text, int& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = strtol(text.c_str(), &end, 10);
  while (end && isspace(static_cast<unsigned char>(*end))) ++end;
  if (errno != 0 || end == text.c_str() || *end != '\0' || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

bool ParseDouble(const std::string& text, double& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  double v = strtod(text.c_str(), &end);
  while (end && isspace(static_cast<unsigned char>(*end))) ++end;
  if (errno != 0 || end == text.c_str() || *end != '\0') return false;
  value = v;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

int ParseCommandLine(int argc, char** argv, CommandLineOptions& o) {
  optind = 0;  // full reset of getopt, so tests can parse several command lines
  opterr = 1;
  int c;
  while ((c = getopt(argc, argv, "i:o:p:s:b:c:w:m:gdnlqxkt")) != -1) {
    switch (c) {
      case 'i': o.midiInput = optarg; break;
      case 'o': o.midiOutput = optarg; break;
      case 'p': o.midiOutput2 = optarg; break;
      case 's': o.guiScale = optarg; break;
      case 'b': o.audioBufferSize = optarg; break;
      case 'c': o.backgroundColor = optarg; break;
      case 'w': o.wallpaper = optarg; break;
      case 'm': o.maxVelocity = optarg; break;
      case 'g': o.germanLayout = true; break;
      case 'd': o.defaultInstrument = true; break;
      case 'n': o.noOp = true; break;
      case 'l': o.launchpad = true; break;
      case 'q': o.qmini = true; break;
      case 'x': o.fx = true; break;
      case 'k': o.blackKeysTransport = true; break;
      case 't': o.midiClock = true; break;
      default:
        PrintUsage(false);
        return 255;
    }
  }
  if (optind >= argc) {
    PrintUsage(true);
    return 255;
  }
  o.projectPrefix = argv[optind];

  const std::string& w = o.wallpaper;
  if (!(w.empty() || (w.size() == 1 && w[0] >= '1' && w[0] <= '6'))) {
    puts("error: wallpaper number must be 1, 2, 3, 4, 5 or 6.");
    return 255;
  }

  int buffer = 0;
  if (!ParseInt(o.audioBufferSize, buffer)) {
    puts("error: audio buffer size is not a number.");
    puts("Valid audo buffer sizes are 64 to 8192. Safe default is 128. If fast pc try 64.");
    return 255;
  }
  if (buffer < 64 || buffer > 8192) {
    puts("error: audio buffer size out of range.");
    puts("Valid audo buffer sizes are 64 to 8192. Safe default is 128. If fast pc try 64.");
    return 255;
  }
  o.bufferSize = buffer;

  int velocity = 0;
  if (!ParseInt(o.maxVelocity, velocity)) {
    puts("error: max achievable velocity of midi input is not a number.");
    puts("Valid values are 100 to 127");
    return 255;
  }
  if (velocity < 100 || velocity > 127) {
    printf("error: max achievable velocity of midi input out of range.n");
    puts("Valid values are 100 to 127");
    return 255;
  }
  o.maxVelocityValue = velocity;

  std::string hex = o.backgroundColor;
  for (char& ch : hex) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  bool hexOk = hex.size() == 8;
  double comp[4] = {0, 0, 0, 0};
  for (int i = 0; hexOk && i < 4; ++i) {
    int hi = HexDigit(hex[2 * i]);
    int lo = HexDigit(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) {
      hexOk = false;
    } else {
      comp[i] = (hi * 16 + lo) / 255.0;
    }
  }
  if (!hexOk) {
    puts("error: background color hex string parsing error.");
    puts("Background color must be 8 hex digits rrggbbaa.");
    return 255;
  }
  o.background = Color{comp[0], comp[1], comp[2], comp[3]};

  double scale = 0;
  if (!ParseDouble(o.guiScale, scale) || !std::isfinite(scale) || scale <= 0 ||
      std::floor(scale * 800) > kMaxWindowWidth || std::floor(scale * 600) < 1) {
    puts("error: gui scale out of range.");
    return 255;
  }
  o.scale = scale;
  o.windowWidth = static_cast<int>(std::floor(scale * 800));
  o.windowHeight = static_cast<int>(std::floor(scale * 600));
  return 0;
}
