// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <fstream>

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
  std::ofstream(dir + "/soundfonts.dat") << text;
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

TEST(SoundfontList, BadLinesAreNamedAndReadingGoesOn) {
  Read r = ReadText("1.0 a.sf2\nloud b.sf2\n1.0 c.sf2\n");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.out, "error: reading soundfont line 1\n");
  EXPECT_EQ(r.list.paths.size(), 2u);
}

TEST(SoundfontList, CountLimitsAndMissingFile) {
  Read none = ReadText("\n\n");
  EXPECT_FALSE(none.ok);
  EXPECT_EQ(none.out, "error: no soundfont files in soundfonts.dat\n");

  std::string thirteen, twelve;
  for (int i = 0; i < 13; ++i) thirteen += "1 font" + std::to_string(i) + ".sf2\n";
  for (int i = 0; i < 12; ++i) twelve += "1 font" + std::to_string(i) + ".sf2\n";
  Read many = ReadText(thirteen);
  EXPECT_FALSE(many.ok);
  EXPECT_EQ(many.out, "error: more than 12 soundfont files in soundfonts.dat\n");
  EXPECT_TRUE(ReadText(twelve).ok);

  SoundfontList list;
  EXPECT_EQ(zs::test::Captured([&] { EXPECT_FALSE(ReadSoundfontList("/nonexistent/soundfonts.dat", list)); }),
            "error: soundfonts.dat could not be openend\n");
}
