// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// Drives the built program as a user does: started in a folder of its own under the test
// servers' Xvfb and JACK, typed at with held keys (xdotool), watched through its files, its
// window and its sound. Every wait polls a condition up to a generous deadline, since a
// loaded machine can be slow to start a program or to reach a key.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace zs::e2e {

// Output of a shell command (stdout only).
std::string Shell(const std::string& command);
std::string ReadAll(const std::string& path);

// Polls `condition` every 50 ms until it holds or the deadline passes; its last result.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline);

// One run of the program in `dir` with `arguments` (options, then the project prefix); stdout
// and stderr go to dir + "/" + logName. The program's stdout is a file, so what it prints is
// complete only after it ended. A run still going at destruction is killed.
class ProgramRun {
 public:
  ProgramRun(const std::string& dir, const std::vector<std::string>& arguments,
             const std::string& logName = "program.log");
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;
  // Exit status, or -1 when the program did not end in time (or died by a signal).
  int WaitExit(std::chrono::milliseconds timeout);
  std::string Output() const { return ReadAll(log); }
  pid_t Pid() const { return pid; }

 private:
  std::string log;
  pid_t pid = -1;
  bool exited = false;
};

// The two JACK ports of the child's ALSA stream ("<name>.P.<pid>.<n>:out_000").
std::vector<std::string> AlsaPortsOf(pid_t pid);

// The program names its sequencer thread; once it runs, key presses reach the frames.
bool SequencerThreadRuns(pid_t pid);

// Ids of the windows named "Zembrovane Sequencer" on the display.
std::vector<std::string> ProgramWindows();

// Waits until the program's window exists, its sound stream runs and its sequencer thread
// reads the keys, then gives the window the focus; the window id, empty when it never came.
// Windows of the same name listed in `before` (other tests on the display) are not taken.
std::string WaitUntilReady(ProgramRun& run, const std::vector<std::string>& before);

// Holds the keys (xdotool names, e.g. "ctrl+n") a quarter of a second, as a person does: the
// program takes a key as pressed when one of its frames finds it down, and on a loaded
// machine a frame can come well after 50 ms. (Still short of the server's auto-repeat delay.)
void Keys(const std::string& keys);
// The physical key of a keysym as xdotool takes it (its keycode, in decimal). xdotool sends a
// modifier keysym such as Control_R on the first key bound to that modifier (Left Ctrl), so
// a key that differs from its twin on the other side is sent by keycode.
std::string PhysicalKey(const std::string& keysym);
// A Ctrl-K block command: Left Ctrl held while K and then `letter` are tapped.
void CtrlK(const std::string& letter);

// The window's picture as a PNG; false when it could not be taken.
bool Screenshot(const std::string& window, const std::string& pngPath);
// Number of distinct colours in a picture (0 when unreadable).
int ColourCount(const std::string& pngPath);
struct Rgb {
  int r = 0, g = 0, b = 0;
};
// The pixels of column x from the top row down (empty when unreadable).
std::vector<Rgb> PixelColumn(const std::string& pngPath, int x);

// Records the program's sound (its two ALSA ports) for `seconds` into a 32-bit float WAV;
// returns when the recording has ended. False when the ports are missing.
bool RecordProgram(pid_t pid, const std::string& wavPath, int seconds);

}  // namespace zs::e2e
