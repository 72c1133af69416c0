// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>
#include <vector>

#include "app/CommandLine.h"
#include "tests/support/TestServers.h"

namespace {

struct ProcessResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the built program with the given arguments (already shell-quoted) in an empty folder.
ProcessResult RunProgram(const std::string& args) {
  static int counter = 0;
  std::string dir = zs::test::MakeTempDir("cli" + std::to_string(counter++));
  std::string cmd = "cd '" + dir + "' && DISPLAY= '" + std::string(ZS_PROGRAM) + "' " + args + " > out.txt 2> err.txt";
  int raw = std::system(cmd.c_str());
  ProcessResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = zs::test::ReadFile(dir + "/out.txt");
  r.err = zs::test::ReadFile(dir + "/err.txt");
  return r;
}

int Parse(std::vector<std::string> args, CommandLineOptions& o) {
  args.insert(args.begin(), "ZembrovaneSequencer");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  int rc = ParseCommandLine(static_cast<int>(args.size()), argv.data(), o);
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  return rc;
}

const char* kUsageFirst =
    "Usage: ZembrovaneSequencer [-i <midi-input>] [-o <midi-output>] [-p <midi-output2>] [-s <gui-scale>] "
    "[-b <audio-buffer-size>] [-c <background-color>] [-w <wallpaper-number>] [-m <max-velocity-midi-input>] "
    "[-x] [-d] [-g] [-l] [-q] [-k] <project-prefix>\n";

}  // namespace

TEST(ProgramOptions, UsageTextForMissingPrefixAndForUnknownOption) {
  ProcessResult none = RunProgram("");
  EXPECT_EQ(none.status, 255);
  // The MIDI port lists run before the options and may put library warnings on stderr first.
  EXPECT_NE(none.err.find(kUsageFirst), std::string::npos) << none.err;
  EXPECT_NE(none.err.find("\n-b audio buffer size (default is 128)\n"), std::string::npos);
  EXPECT_NE(none.err.find("\nMissing <project-prefix>\n"), std::string::npos);
  EXPECT_NE(none.out.find("ZEMBROVANE SEQUENCER VERSION 0.92\n\n"), std::string::npos);

  ProcessResult bad = RunProgram("-z song");
  EXPECT_EQ(bad.status, 255);
  EXPECT_NE(bad.err.find("\n-b sets audio buffer size (default is 128)\n"), std::string::npos);
  EXPECT_EQ(bad.err.find("Missing"), std::string::npos);
  EXPECT_NE(bad.err.find("-x loads a LinuxVST into fx chain (a hack). Requires file fx.dat in appimage directory.\n"),
            std::string::npos);

  EXPECT_EQ(RunProgram("-b").status, 255);  // option without its argument
}

TEST(ProgramOptions, RejectedValuesPrintTheirMessagesAndExit255) {
  struct Case {
    const char* args;
    const char* expected;
  } cases[] = {
      {"-b 63 song", "error: audio buffer size out of range.\nValid audo buffer sizes are 64 to 8192. Safe default is 128. If fast pc try 64.\n"},
      {"-b 8193 song", "error: audio buffer size out of range.\n"},
      {"-b 12x song", "error: audio buffer size"},
      {"-b '' song", "error: audio buffer size"},
      {"-m 99 song", "error: max achievable velocity of midi input out of range.nValid values are 100 to 127\n"},
      {"-m abc song", "error: max achievable velocity"},
      {"-c 212121f song", "error: background color hex string parsing error.\nBackground color must be 8 hex digits rrggbbaa.\n"},
      {"-c 212121fg song", "error: background color hex string parsing error.\n"},
      {"-w 7 song", "error: wallpaper number must be 1, 2, 3, 4, 5 or 6.\n"},
      {"-w 0 song", "error: wallpaper number must be 1, 2, 3, 4, 5 or 6.\n"},
      {"-s abc song", "error: gui scale out of range.\n"},
      {"-s 0 song", "error: gui scale out of range.\n"},
      {"-s -1 song", "error: gui scale out of range.\n"},
      {"-s nan song", "error: gui scale out of range.\n"},
      {"-s 10.25 song", "error: gui scale out of range.\n"},
  };
  for (const Case& c : cases) {
    ProcessResult r = RunProgram(c.args);
    EXPECT_EQ(r.status, 255) << c.args;
    EXPECT_NE(r.out.find(c.expected), std::string::npos) << c.args << "\n" << r.out;
  }
  // Checks run in order: the wallpaper is reported even when the buffer size is bad too.
  ProcessResult both = RunProgram("-w 9 -b 1 song");
  EXPECT_NE(both.out.find("wallpaper"), std::string::npos);
  EXPECT_EQ(both.out.find("audio buffer"), std::string::npos);
}

TEST(ProgramOptions, AcceptedValuesAndDefaults) {
  CommandLineOptions d;
  ASSERT_EQ(Parse({"song"}, d), 0);
  EXPECT_EQ(d.projectPrefix, "song");
  EXPECT_EQ(d.bufferSize, 128);
  EXPECT_EQ(d.maxVelocityValue, 127);
  EXPECT_FALSE(d.midiClock);
  EXPECT_EQ(d.windowWidth, 800);
  EXPECT_EQ(d.windowHeight, 600);
  EXPECT_DOUBLE_EQ(d.background.r, 0x21 / 255.0);
  EXPECT_DOUBLE_EQ(d.background.a, 1.0);

  for (auto [option, value] : {std::pair{"-b", "64"}, {"-b", "8192"}, {"-m", "100"}, {"-m", "127"}}) {
    CommandLineOptions o;
    EXPECT_EQ(Parse({option, value, "song"}, o), 0) << option << " " << value;
  }
  CommandLineOptions o;
  ASSERT_EQ(Parse({"-i", "q mini", "-o", "circuit", "-p", "x", "-s", "1.5", "-c", "FF8000Cc", "-w", "6", "-g", "-d", "-n",
                   "-l", "-q", "-k", "-x", "-t", "my_song"},
                  o),
            0);
  EXPECT_EQ(o.midiInput, "q mini");
  EXPECT_EQ(o.windowWidth, 1200);
  EXPECT_EQ(o.windowHeight, 900);
  EXPECT_DOUBLE_EQ(o.background.r, 1.0);
  EXPECT_DOUBLE_EQ(o.background.g, 128 / 255.0);
  EXPECT_DOUBLE_EQ(o.background.a, 204 / 255.0);
  EXPECT_TRUE(o.germanLayout && o.defaultInstrument && o.noOp && o.launchpad && o.qmini && o.blackKeysTransport && o.fx &&
              o.midiClock);
  EXPECT_EQ(o.wallpaper, "6");

  CommandLineOptions widest;
  EXPECT_EQ(Parse({"-s", "10.24", "song"}, widest), 0);
  EXPECT_EQ(widest.windowWidth, 8192);
}
