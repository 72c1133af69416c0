// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <tuple>

#include "app/SoundfontList.h"
#include "tests/support/TestServers.h"

namespace {

struct Read {
  bool ok = false;
  SoundfontList list;
  std::string out;
};

Read ReadText(const std::string& text) {
  std::string dir = zs::test::MakeTempDir("sflist");
  zs::test::WriteFile(dir + "/soundfonts.dat", text);
  Read r;
  r.out = zs::test::Captured([&] { r.ok = ReadSoundfontList(dir + "/soundfonts.dat", r.list); });
  return r;
}

}  // namespace

TEST(SoundfontList, PathsKeepTheirSpacesAndBlankLinesAreSkipped) {
  Read r = ReadText("\n1.0 /my fonts/Piano Grand.sf2\n   \n0.5\t/usr/share/sounds/sf2/TimGM6mb.sf2\r\n2\n");
  ASSERT_TRUE(r.ok) << r.out;
  ASSERT_EQ(r.list.paths.size(), 2u);
  EXPECT_EQ(r.list.paths[0], "/my fonts/Piano Grand.sf2");
  EXPECT_DOUBLE_EQ(r.list.gains[0], 1.0);
  EXPECT_EQ(r.list.paths[1], "/usr/share/sounds/sf2/TimGM6mb.sf2");
  EXPECT_DOUBLE_EQ(r.list.gains[1], 0.5);
  EXPECT_EQ(r.out, "");
}

std::string Fonts(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "1 font" + std::to_string(i) + ".sf2\n";
  return text;
}

// Reading goes on after a bad line, so the lines after it are kept.
TEST(SoundfontList, BadLinesAndCountsOutsideOneToTwelveAreNamed) {
  const std::tuple<std::string, bool, const char*, size_t> cases[] = {
      {"1.0 a.sf2\nloud b.sf2\n1.0 c.sf2\n", false, "error: reading soundfont line 1\n", 2},
      {"\n\n", false, "error: no soundfont files in soundfonts.dat\n", 0},
      {Fonts(13), false, "error: more than 12 soundfont files in soundfonts.dat\n", 13},
      {Fonts(12), true, "", 12},
  };
  for (const auto& [text, ok, out, count] : cases) {
    const Read r = ReadText(text);
    EXPECT_EQ(r.ok, ok) << text;
    EXPECT_EQ(r.out, out) << text;
    EXPECT_EQ(r.list.paths.size(), count) << text;
  }
  SoundfontList list;
  EXPECT_EQ(zs::test::Captured([&] { EXPECT_FALSE(ReadSoundfontList("/nonexistent/soundfonts.dat", list)); }),
            "error: soundfonts.dat could not be openend\n");
}
