// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>
#include <vector>

// The VST effect described by fx.dat and the settings string that carries it to the Outrigger
// plug-in through ZEMBROVANE_SEQUENCER_FX_LINUX_VST.
//
// fx.dat, one item per line: the VST library's file name (first word, a line of at most 255
// characters), the program to select (-1 keeps the VST's own), the number of parameter lines,
// then that many "index value" lines. Lines after the announced parameters are ignored.

struct FxParam {
  int index = 0;
  float value = 0.0f;  // read as float, as the plug-in stores it
};

struct FxSettings {
  std::string name;
  int preset = -1;
  int count = 0;
  std::vector<FxParam> params;
};

// Longest first line accepted; the name must fit the plug-in's 255-character token.
constexpr size_t kFxMaxNameLine = 255;
// Most parameters the plug-in takes.
constexpr int kFxMaxParams = 64;

// Parses the text of fx.dat. On success returns true. On failure returns false with errorLine
// the zero-based index of the offending line: a line that does not scan, a preset below -1, a
// negative count or one above 64, a first line over 255 characters, a name containing ':' (the settings
// string's separator), a value that is not finite, or a file that ends before all announced
// parameter lines (errorLine is then the line after the last one read). The end of the text in
// any other state is not an error: an empty text gives an empty name, preset -1 and count 0.
bool ParseFxSettings(const std::string& text, FxSettings& settings, int& errorLine);

enum class FxReadResult { Ok, NotOpened, ParseError };
FxReadResult ReadFxSettingsFile(const std::string& path, FxSettings& settings, int& errorLine);

// "name:preset:count:index value:...:", values as a stream writes a double (6 significant
// digits, 0.5 as 0.5, 1 as 1). Example: "Plate.so:-1:2:0 0.5:3 0.25:".
std::string FxSettingsString(const FxSettings& settings);
