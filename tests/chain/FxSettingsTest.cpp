// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <string>

#include "sound/FxSettings.h"
#include "tests/support/TestServers.h"

namespace {

// The settings string of a parsed fx.dat, or "error line N" with the zero-based line.
std::string Parsed(const std::string& text) {
  FxSettings s;
  int line = -1;
  return ParseFxSettings(text, s, line) ? FxSettingsString(s) : "error line " + std::to_string(line);
}

TEST(FxSettings, ParsesIntoTheSettingsStringOrReportsTheLine) {
  const std::string name255 = std::string(252, 'a') + ".so";
  const std::pair<std::string, std::string> cases[] = {
      {"Plate.so\n-1\n2\n0 0.5\n3 0.25\n", "Plate.so:-1:2:0 0.5:3 0.25:"},
      // Six significant digits; words after the name are ignored.
      {"Plate.so  trailing words\n7\n3\n1 1\n2 0.1234567\n4\t1e-7\n", "Plate.so:7:3:1 1:2 0.123457:4 1e-07:"},
      {"Plate.so\n-1\n1\n5 0.75\nnot a parameter\n", "Plate.so:-1:1:5 0.75:"},
      // The end of the file before the parameters is not an error.
      {"", ":-1:0:"},
      {"Plate.so\n4", "Plate.so:4:0:"},
      {"Plate.so\r\n2\r\n1\r\n0 0.5\r\n", "Plate.so:2:1:0 0.5:"},
      {name255 + "\n-1\n0\n", name255 + ":-1:0:"},
      {name255 + " \n-1\n0\n", "error line 0"},  // over 255 characters
      {"Plate.so\n-2\n0\n", "error line 1"},
      {"\n-1\n0\n", "error line 0"},
      {"Plate.so\nminus one\n", "error line 1"},
      {"Plate.so\n-1\n-1\n", "error line 2"},
      {"Plate.so\n-1\n65\n", "error line 2"},  // more than the plug-in takes
      {"Plate.so\n-1\n2\n0 0.5\n3\n", "error line 4"},
      {"Plate.so\n99999999999\n0\n", "error line 1"},
      {"Plate.so\n-4294967295\n0\n", "error line 1"},  // as an int it would be 1
      {"Plate.so\n4294967297\n0\n", "error line 1"},
      {"Plate.so\n-1\n1\n0 nan\n", "error line 3"},
      // The name is a field of the settings string, so it cannot hold the separator.
      {"Pla:te.so\n-1\n0\n", "error line 0"},
      {"Plate.so\n-1\n3\n0 0.5\n1 0.5\n", "error line 5"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(Parsed(text), expected) << text;
}

TEST(FxSettings, MissingFileIsReportedAsNotOpened) {
  FxSettings s;
  int line = 0;
  EXPECT_EQ(ReadFxSettingsFile(zs::test::MakeTempDir("fxdat") + "/fx.dat", s, line), FxReadResult::NotOpened);
  EXPECT_EQ(FxSettingsString(s), ":-1:0:");
}

}  // namespace
