// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>
#include <vector>

constexpr int kMaxSoundfonts = 12;

// The soundfonts of soundfonts.dat in file order (the soundfont index order everywhere).
struct SoundfontList {
  std::vector<std::string> paths;
  std::vector<double> gains;
};

// Reads a soundfonts.dat: per line a gain, blanks, then the file path as the rest of the line
// (spaces allowed, at most 254 characters). Blank lines are skipped. Prints an "error: ..."
// line for each problem and returns false when the list is unusable; a bad line is reported
// with its number (counted from 0) and reading goes on, but the result is still false.
bool ReadSoundfontList(const std::string& fileName, SoundfontList& out);
