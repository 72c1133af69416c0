// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// Drives the built program as a user does: started in a folder of its own under the test
// servers' Xvfb and JACK, typed at with held keys (xdotool), watched through its files, its
// window and its sound. Every wait polls a condition up to a generous deadline, since a
// loaded machine can be slow to start a program or to reach a key.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestServers.h"

namespace zs::e2e {

using test::Shell;
using test::WaitUntil;
inline std::string ReadAll(const std::string& path) { return test::ReadFile(path); }

// One run of the program in `dir` with `arguments` (options, then the project prefix); stdout
// and stderr go to dir + "/" + logName. A run still going at destruction is killed.
class ProgramRun {
 public:
  ProgramRun(const std::string& dir, const std::vector<std::string>& arguments,
             const std::string& logName = "program.log");
  // Exit status (128 + signal when killed), or -1 when the program did not end in time.
  int WaitExit(std::chrono::milliseconds timeout) { return process.Wait(timeout); }
  std::string Output() const { return ReadAll(log); }
  // Whether the output holds `text` by the deadline: the program's stdout is line-buffered even
  // into a file, so what it prints is seen while it runs.
  bool Printed(const std::string& text, std::chrono::milliseconds deadline = std::chrono::seconds(20)) const {
    return WaitUntil([&] { return Output().find(text) != std::string::npos; }, deadline);
  }
  pid_t Pid() const { return process.Pid(); }

 private:
  std::string log;
  test::ChildProcess process;
};

// Ids of the windows named "Zembrovane Sequencer" on the display.
std::vector<std::string> ProgramWindows();

// Waits until the program's window exists, its sound stream runs and its sequencer thread
// reads the keys, then gives the window the focus; the window id, empty when it never came.
// Windows of the same name listed in `before` (other tests on the display) are not taken.
std::string WaitUntilReady(ProgramRun& run, const std::vector<std::string>& before);

// Starts the program until `heard` (given the run and its window) holds, at most three times:
// now and then the JACK client of the program's MIDI input never gets through its first cycle
// (the server reports it "not finished" every period from then on, and the client's thread
// waits in the JACK library for a wake-up that never comes). `window` is empty when no start
// came up; `heard` false when none heard its MIDI input.
std::unique_ptr<ProgramRun> StartHearingMidi(const std::string& dir, const std::vector<std::string>& arguments,
                                             const std::function<bool(ProgramRun&, const std::string&)>& heard,
                                             std::string& window, bool& wasHeard);

// Holds the keys (xdotool names, e.g. "ctrl+n") a quarter of a second, as a person does: the
// program takes a key as pressed when one of its frames finds it down, and on a loaded
// machine a frame can come well after 50 ms. (Still short of the server's auto-repeat delay.)
void Keys(const std::string& keys);

// Records the program's sound for `seconds` and returns the samples (interleaved stereo) once
// the recording has ended; empty when its sound ports are missing. `start` (the keys that start
// the sound) runs once the recorder listens, so that a recorder slow to come up on a loaded
// machine misses nothing.
std::vector<float> RecordProgram(ProgramRun& run, const std::string& wavPath, int seconds,
                                 const std::function<void()>& start);
// The largest magnitude of the samples; false in `finite` when one is not a number.
float PeakOf(const std::vector<float>& samples, bool* finite = nullptr);

}  // namespace zs::e2e
