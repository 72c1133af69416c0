// SPDX-License-Identifier: LGPL-2.1-or-later
// The program given MIDI ports that are not there: it says so and starts all the same.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestServers.h"

namespace {

TEST(MidiProgram, MissingMidiPortsDoNotStopTheStart) {
  ASSERT_TRUE(zs::test::UseTestServers());
  const std::string dir = zs::test::MakeTempDir("midi-program");
  for (const char* file : {"soundfonts.dat", "demo.dat"})
    std::filesystem::copy_file(zs::test::SourcePath(std::string("demo/") + file), dir + "/" + file);
  // stdbuf: the messages are wanted while the program runs, not at its exit.
  zs::test::ChildProcess program({"stdbuf", "-o0", ZS_PROGRAM, "-i", "nosuchport", "-o", "nosuchout", "demo"}, dir,
                                 dir + "/program.log");
  // A failed start-up tears down and ends; a started program runs its sequencer thread (named,
  // so that /proc tells it from the others) until told to stop.
  const bool running = zs::test::WaitUntil(
      [&] {
        std::error_code error;
        for (const auto& task : std::filesystem::directory_iterator(
                 "/proc/" + std::to_string(program.Pid()) + "/task", error))
          if (zs::test::ReadFile(task.path().string() + "/comm") == "zs-sequencer\n") return true;
        return program.Exited();
      },
      std::chrono::seconds(40));
  const std::string out = zs::test::ReadFile(dir + "/program.log");
  EXPECT_TRUE(running && !program.Exited()) << out;
  EXPECT_NE(out.find("could not find requested midi output device 'nosuchout'\n"), std::string::npos) << out;
  EXPECT_NE(out.find("could not find requested midi input device 'nosuchport'\n"), std::string::npos) << out;
}

}  // namespace
