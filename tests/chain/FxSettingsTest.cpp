#include <gtest/gtest.h>

#include <string>

#include "sound/FxSettings.h"
#include "tests/support/TestServers.h"

namespace {

std::string Parsed(const std::string& text, int* errorLine = nullptr) {
  FxSettings s;
  int line = -1;
  bool ok = ParseFxSettings(text, s, line);
  if (errorLine) *errorLine = ok ? -1 : line;
  return ok ? FxSettingsString(s) : "";
}

TEST(FxSettings, SettingsStringWritesValuesWithSixSignificantDigits) {
  EXPECT_EQ(Parsed("Plate.so\n-1\n2\n0 0.5\n3 0.25\n"), "Plate.so:-1:2:0 0.5:3 0.25:");
  EXPECT_EQ(Parsed("Plate.so  trailing words\n7\n3\n1 1\n2 0.1234567\n4\t1e-7\n"),
            "Plate.so:7:3:1 1:2 0.123457:4 1e-07:");
  // Lines after the announced parameters are ignored, whatever they hold.
  EXPECT_EQ(Parsed("Plate.so\n-1\n0\n0 0.5\ngarbage\n"), "Plate.so:-1:0:");
  EXPECT_EQ(Parsed("Plate.so\n-1\n1\n5 0.75\nnot a parameter\n"), "Plate.so:-1:1:5 0.75:");
}

TEST(FxSettings, EndOfFileBeforeTheParametersIsNotAnError) {
  EXPECT_EQ(Parsed(""), ":-1:0:");
  EXPECT_EQ(Parsed("Plate.so\n"), "Plate.so:-1:0:");
  EXPECT_EQ(Parsed("Plate.so\n4"), "Plate.so:4:0:");
  EXPECT_EQ(Parsed("Plate.so\r\n2\r\n1\r\n0 0.5\r\n"), "Plate.so:2:1:0 0.5:");
}

TEST(FxSettings, ParseErrorsReportTheZeroBasedLine) {
  int line = 0;
  EXPECT_EQ(Parsed("Plate.so\n-2\n0\n", &line), "");
  EXPECT_EQ(line, 1);
  Parsed("\n-1\n0\n", &line);
  EXPECT_EQ(line, 0);
  Parsed("Plate.so\nminus one\n", &line);
  EXPECT_EQ(line, 1);
  Parsed("Plate.so\n-1\n-1\n", &line);
  EXPECT_EQ(line, 2);
  Parsed("Plate.so\n-1\n65\n", &line);  // more than the plug-in takes
  EXPECT_EQ(line, 2);
  Parsed("Plate.so\n-1\n2\n0 0.5\n3\n", &line);
  EXPECT_EQ(line, 4);
  Parsed("Plate.so\n99999999999\n0\n", &line);
  EXPECT_EQ(line, 1);
  Parsed("Plate.so\n-1\n1\n0 nan\n", &line);
  EXPECT_EQ(line, 3);
  // The name is the first field of the settings string, so it cannot hold the separator.
  Parsed("Pla:te.so\n-1\n0\n", &line);
  EXPECT_EQ(line, 0);
}

TEST(FxSettings, FirstLineOver255CharactersIsRejected) {
  int line = -1;
  std::string name255(252, 'a');
  EXPECT_EQ(Parsed(name255 + ".so\n-1\n0\n", &line), name255 + ".so:-1:0:");
  EXPECT_EQ(Parsed(name255 + ".so \n-1\n0\n", &line), "");
  EXPECT_EQ(line, 0);
}

TEST(FxSettings, MoreParametersAnnouncedThanWrittenIsAnErrorAfterTheLastLine) {
  int line = -1;
  EXPECT_EQ(Parsed("Plate.so\n-1\n3\n0 0.5\n1 0.5\n", &line), "");
  EXPECT_EQ(line, 5);
  EXPECT_EQ(Parsed("Plate.so\n-1\n1\n", &line), "");
  EXPECT_EQ(line, 3);
}

TEST(FxSettings, MissingFileIsReportedAsNotOpened) {
  FxSettings s;
  int line = 0;
  EXPECT_EQ(ReadFxSettingsFile(zs::test::MakeTempDir("fxdat") + "/fx.dat", s, line), FxReadResult::NotOpened);
  EXPECT_EQ(FxSettingsString(s), ":-1:0:");
}

}  // namespace
