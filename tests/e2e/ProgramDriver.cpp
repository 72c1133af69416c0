// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/e2e/ProgramDriver.h"

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "tests/support/JackRecorder.h"

namespace zs::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> WithProgram(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), ZS_PROGRAM);
  return arguments;
}

// The program names its sequencer thread; once it runs, key presses reach the frames.
bool SequencerThreadRuns(pid_t pid) {
  std::error_code error;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    if (ReadAll(task.path().string() + "/comm") == "zs-sequencer\n") return true;
  }
  return false;
}

}  // namespace

ProgramRun::ProgramRun(const std::string& dir, const std::vector<std::string>& arguments, const std::string& logName)
    : log(dir + "/" + logName), process(WithProgram(arguments), dir, log) {}

std::vector<std::string> ProgramWindows() {
  std::vector<std::string> windows;
  std::istringstream ids(Shell("xdotool search --name 'Zembrovane Sequencer' 2>/dev/null"));
  for (std::string id; std::getline(ids, id);) windows.push_back(id);
  return windows;
}

std::string WaitUntilReady(ProgramRun& run, const std::vector<std::string>& before) {
  std::string window;
  WaitUntil(
      [&] {
        for (const std::string& id : ProgramWindows()) {
          if (window.empty() && std::find(before.begin(), before.end(), id) == before.end()) window = id;
        }
        return !window.empty() && test::AlsaPortsOf(run.Pid()).size() == 2 && SequencerThreadRuns(run.Pid());
      },
      30s);
  if (!window.empty()) Shell("xdotool windowfocus --sync " + window + " 2>/dev/null");
  return window;
}

std::unique_ptr<ProgramRun> StartHearingMidi(const std::string& dir, const std::vector<std::string>& arguments,
                                             const std::function<bool(ProgramRun&, const std::string&)>& heard,
                                             std::string& window, bool& wasHeard) {
  std::unique_ptr<ProgramRun> run;
  wasHeard = false;
  for (int start = 0; start < 3 && !wasHeard; ++start) {
    if (run) {
      kill(run->Pid(), SIGTERM);
      run->WaitExit(20s);
    }
    const std::vector<std::string> before = ProgramWindows();
    run = std::make_unique<ProgramRun>(dir, arguments, "program-start" + std::to_string(start) + ".log");
    window = WaitUntilReady(*run, before);
    if (window.empty()) break;
    wasHeard = heard(*run, window);
  }
  return run;
}

// One xdotool process for the press and the release: a second process started after a sleep
// can come late on a loaded machine, and a key held past the server's auto-repeat delay
// arrives as several presses (Down on the instruments page then skips programs).
void Keys(const std::string& keys) {
  Shell("xdotool keydown " + keys + " sleep 0.25 keyup " + keys);
  std::this_thread::sleep_for(100ms);
}

std::vector<float> RecordProgram(ProgramRun& run, const std::string& wavPath, int seconds,
                                 const std::function<void()>& start) {
  test::JackRecorder recorder;
  if (!recorder.Start(wavPath, seconds, run.Pid())) return {};
  start();
  return recorder.Finish() ? test::ReadFloatWav(wavPath) : std::vector<float>{};
}

float PeakOf(const std::vector<float>& samples, bool* finite) {
  float peak = 0;
  for (float s : samples) {
    if (finite && !std::isfinite(s)) *finite = false;
    peak = std::max(peak, std::fabs(s));
  }
  return peak;
}

}  // namespace zs::e2e
