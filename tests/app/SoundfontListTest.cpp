// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <tuple>

#include "app/SoundfontList.h"
#include "tests/support/TestServers.h"

namespace {

std::string Fonts(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "1 font" + std::to_string(i) + ".sf2\n";
  return text;
}

// Reading goes on after a bad line, so the lines after it are kept.
TEST(SoundfontList, ReadsGainsAndPathsAndNamesBadLinesAndCountsOutsideOneToTwelve) {
  const std::tuple<std::string, bool, const char*, std::vector<std::string>> cases[] = {
      {"\n1.0 /my fonts/Piano Grand.sf2\n   \n0.5\t/usr/share/sounds/sf2/TimGM6mb.sf2\r\n2\n",
       true,
       "",
       {"/my fonts/Piano Grand.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2"}},
      {"1.0 a.sf2\nloud b.sf2\n1.0 c.sf2\n", false, "error: reading soundfont line 1\n", {"a.sf2", "c.sf2"}},
      {"\n\n", false, "error: no soundfont files in soundfonts.dat\n", {}},
  };
  const std::string dir = zs::test::MakeTempDir("sflist");
  for (const auto& [text, ok, out, paths] : cases) {
    zs::test::WriteFile(dir + "/soundfonts.dat", text);
    SoundfontList list;
    EXPECT_EQ(zs::test::Captured([&] { EXPECT_EQ(ReadSoundfontList(dir + "/soundfonts.dat", list), ok) << text; }),
              out);
    EXPECT_EQ(list.paths, paths) << text;
    EXPECT_EQ(list.gains, (ok ? std::vector<double>{1.0, 0.5} : std::vector<double>(paths.size(), 1.0))) << text;
  }
  for (const auto& [count, out] :
       {std::pair{12, ""}, {13, "error: more than 12 soundfont files in soundfonts.dat\n"}}) {
    zs::test::WriteFile(dir + "/soundfonts.dat", Fonts(count));
    SoundfontList list;
    EXPECT_EQ(zs::test::Captured([&] { EXPECT_EQ(ReadSoundfontList(dir + "/soundfonts.dat", list), count == 12); }),
              out);
    EXPECT_EQ(list.paths.size(), size_t(count));
  }
  SoundfontList list;
  EXPECT_EQ(zs::test::Captured([&] { EXPECT_FALSE(ReadSoundfontList("/nonexistent/soundfonts.dat", list)); }),
            "error: soundfonts.dat could not be openend\n");
}

}  // namespace
