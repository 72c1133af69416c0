// SPDX-License-Identifier: LGPL-2.1-or-later
// The program given MIDI ports that are not there: it says so and starts all the same.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/TestServers.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(MidiProgram, MissingMidiPortsDoNotStopTheStart) {
  ASSERT_TRUE(zs::test::UseTestServers());
  const std::string dir = zs::test::MakeTempDir("midi-program");
  for (const char* file : {"soundfonts.dat", "demo.dat"}) {
    std::filesystem::copy_file(zs::test::SourcePath(std::string("demo/") + file), dir + "/" + file);
  }
  const std::string log = dir + "/program.log";
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0 || !freopen(log.c_str(), "w", stdout) || dup2(fileno(stdout), 2) < 0) _exit(126);
    // stdbuf: the messages are wanted while the program runs, not at its exit.
    execlp("stdbuf", "stdbuf", "-o0", ZS_PROGRAM, "-i", "nosuchport", "-o", "nosuchout", "demo",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  // A failed start-up tears down and ends; a started program runs its sequencer thread (named,
  // so that /proc tells it from the others) until told to stop.
  bool running = false, exited = false;
  for (auto end = Clock::now() + std::chrono::seconds(40); !running && !exited && Clock::now() < end;) {
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error))
      running = running || zs::test::ReadFile(task.path().string() + "/comm") == "zs-sequencer\n";
    exited = waitpid(pid, nullptr, WNOHANG) == pid;
    if (!running && !exited) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!exited) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  const std::string out = zs::test::ReadFile(log);
  EXPECT_TRUE(running && !exited) << out;
  EXPECT_NE(out.find("could not find requested midi output device 'nosuchout'\n"), std::string::npos) << out;
  EXPECT_NE(out.find("could not find requested midi input device 'nosuchport'\n"), std::string::npos) << out;
}

}  // namespace
