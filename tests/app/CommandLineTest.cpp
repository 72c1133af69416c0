// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <vector>

#include "app/CommandLine.h"
#include "tests/support/TestServers.h"

namespace {

struct Parsed {
  int status = -1;
  std::string out, err;
  CommandLineOptions o;
};

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "ZembrovaneSequencer");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  Parsed p;
  testing::internal::CaptureStderr();
  p.out = zs::test::Captured([&] { p.status = ParseCommandLine(static_cast<int>(args.size()), argv.data(), p.o); });
  p.err = testing::internal::GetCapturedStderr();
  return p;
}

const char* kUsageFirst =
    "Usage: ZembrovaneSequencer [-i <midi-input>] [-o <midi-output>] [-p <midi-output2>] [-s <gui-scale>] "
    "[-b <audio-buffer-size>] [-c <background-color>] [-w <wallpaper-number>] [-m <max-velocity-midi-input>] "
    "[-x] [-d] [-g] [-l] [-q] [-k] <project-prefix>\n";

}  // namespace

// A missing prefix gets the short usage text, an unknown option the long one. The program's own exit with 255 is
// in the install test, through the launcher.
TEST(ProgramOptions, UsageTexts) {
  const Parsed missing = Parse({}), bad = Parse({"-z", "song"});
  EXPECT_EQ(missing.status, 255);
  EXPECT_EQ(missing.err.rfind(kUsageFirst, 0), 0u) << missing.err;
  EXPECT_TRUE(missing.err.ends_with("\nMissing <project-prefix>\n")) << missing.err;
  EXPECT_NE(missing.err.find("\n-b audio buffer size (default is 128)\n"), std::string::npos);
  EXPECT_EQ(bad.status, 255);
  EXPECT_NE(bad.err.find("\n-b sets audio buffer size (default is 128)\n"), std::string::npos) << bad.err;
  EXPECT_EQ(bad.err.find("Missing"), std::string::npos);
  EXPECT_EQ(Parse({"-b"}).status, 255);  // option without its argument
}

TEST(ProgramOptions, RejectedValuesPrintTheirMessagesAndExit255) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"-b", "63"}, "error: audio buffer size out of range.\nValid audo buffer sizes are 64 to 8192."},
      {{"-b", "8193"}, "error: audio buffer size out of range.\n"},
      {{"-b", "12x"}, "error: audio buffer size"},
      {{"-m", "99"}, "error: max achievable velocity of midi input out of range.nValid values are 100 to 127\n"},
      {{"-c", "212121f"}, "error: background color hex string parsing error.\nBackground color must be 8 hex"},
      {{"-c", "212121fg"}, "error: background color hex string parsing error.\n"},
      {{"-w", "7"}, "error: wallpaper number must be 1, 2, 3, 4, 5 or 6.\n"},
      {{"-w", "0"}, "error: wallpaper number must be 1, 2, 3, 4, 5 or 6.\n"},
      // Checks run in order: the wallpaper is reported even when the buffer size is bad too.
      {{"-b", "1", "-w", "9"}, "error: wallpaper number must be 1, 2, 3, 4, 5 or 6.\n"},
      {{"-s", "0"}, "error: gui scale out of range.\n"},
      {{"-s", "nan"}, "error: gui scale out of range.\n"},
      {{"-s", "10.25"}, "error: gui scale out of range.\n"},
  };
  for (auto [args, expected] : cases) {
    args.push_back("song");
    const Parsed r = Parse(args);
    EXPECT_EQ(r.status, 255) << args[0] << " " << args[1];
    EXPECT_EQ(r.out.rfind(expected, 0), 0u) << args[0] << " " << args[1] << "\n" << r.out;
    EXPECT_EQ(r.out.find("error:", 1), std::string::npos) << r.out;
  }
}

TEST(ProgramOptions, AcceptedValuesAndDefaults) {
  const CommandLineOptions d = Parse({"song"}).o;
  EXPECT_EQ(d.projectPrefix, "song");
  EXPECT_EQ(d.bufferSize, 128);
  EXPECT_EQ(d.maxVelocityValue, 127);
  EXPECT_FALSE(d.midiClock);
  EXPECT_EQ(d.windowWidth, 800);
  EXPECT_EQ(d.windowHeight, 600);
  EXPECT_DOUBLE_EQ(d.background.r, 0x21 / 255.0);
  EXPECT_DOUBLE_EQ(d.background.a, 1.0);

  for (auto [option, value] : {std::pair{"-b", "64"}, {"-b", "8192"}, {"-m", "100"}, {"-m", "127"}})
    EXPECT_EQ(Parse({option, value, "song"}).status, 0) << option << " " << value;
  const Parsed all = Parse({"-i", "q mini", "-o", "circuit", "-p", "x",  "-s", "1.5", "-c", "FF8000Cc", "-w",
                            "6",  "-g",     "-d", "-n",      "-l", "-q", "-k", "-x",  "-t", "my_song"});
  ASSERT_EQ(all.status, 0) << all.out;
  const CommandLineOptions& o = all.o;
  EXPECT_EQ(o.midiInput, "q mini");
  EXPECT_EQ(o.windowWidth, 1200);
  EXPECT_EQ(o.windowHeight, 900);
  EXPECT_DOUBLE_EQ(o.background.r, 1.0);
  EXPECT_DOUBLE_EQ(o.background.g, 128 / 255.0);
  EXPECT_DOUBLE_EQ(o.background.a, 204 / 255.0);
  EXPECT_TRUE(o.germanLayout && o.defaultInstrument && o.noOp && o.launchpad && o.qmini && o.blackKeysTransport &&
              o.fx && o.midiClock);
  EXPECT_EQ(o.wallpaper, "6");
  EXPECT_EQ(Parse({"-s", "10.24", "song"}).o.windowWidth, 8192);
}
