// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>

#include "render/Color.h"

// The command line as given and as checked. Option texts keep their raw form; the checked
// values below them are filled only when ParseCommandLine succeeds.
struct CommandLineOptions {
  std::string midiInput;         // -i
  std::string midiOutput;        // -o
  std::string midiOutput2;       // -p
  std::string guiScale = "1";    // -s
  std::string audioBufferSize = "128";   // -b
  std::string backgroundColor = "212121ff";  // -c
  std::string wallpaper;         // -w, "" or "1".."6"
  std::string maxVelocity = "127";       // -m
  bool germanLayout = false;     // -g
  bool defaultInstrument = false;  // -d
  bool noOp = false;             // -n: accepted, changes nothing
  bool launchpad = false;        // -l
  bool qmini = false;            // -q
  bool blackKeysTransport = false;  // -k
  bool fx = false;               // -x
  bool midiClock = false;        // -t
  std::string projectPrefix;

  int bufferSize = 128;
  int maxVelocityValue = 127;
  Color background{33 / 255.0, 33 / 255.0, 33 / 255.0, 1.0};
  double scale = 1.0;
  int windowWidth = 800;
  int windowHeight = 600;
};

// Widest window the scale may ask for; beyond this X servers and GL drivers refuse surfaces.
constexpr int kMaxWindowWidth = 8192;

// Parses and checks argv with getopt. Prints the usage text (standard error) or the failed
// check's lines (standard output) and returns 255 on failure, 0 on success.
// Resets getopt's state first, so it may be called more than once in one process.
int ParseCommandLine(int argc, char** argv, CommandLineOptions& options);
