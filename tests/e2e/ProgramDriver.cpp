// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/e2e/ProgramDriver.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

// Xlib last: its macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>

namespace zs::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Shell(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[512];
  while (fgets(buf, sizeof(buf), p)) out += buf;
  pclose(p);
  return out;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  for (;;) {
    if (condition()) return true;
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(50ms);
  }
}

ProgramRun::ProgramRun(const std::string& dir, const std::vector<std::string>& arguments, const std::string& logName)
    : log(dir + "/" + logName) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(ZS_PROGRAM));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    FILE* f = freopen(log.c_str(), "w", stdout);
    if (!f || dup2(fileno(stdout), 2) < 0) _exit(126);
    execv(ZS_PROGRAM, argv.data());
    _exit(127);
  }
}

ProgramRun::~ProgramRun() {
  if (pid > 0 && !exited) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

int ProgramRun::WaitExit(std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  while (Clock::now() < end) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      exited = true;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(10ms);
  }
  return -1;
}

std::vector<std::string> AlsaPortsOf(pid_t pid) {
  std::vector<std::string> ports;
  std::istringstream lines(Shell("jack_lsp"));
  std::string line;
  char pidPart[32];
  snprintf(pidPart, sizeof pidPart, ".%d.", static_cast<int>(pid));
  while (std::getline(lines, line)) {
    if (line.find(pidPart) != std::string::npos && line.find(":out_") != std::string::npos) ports.push_back(line);
  }
  return ports;
}

bool SequencerThreadRuns(pid_t pid) {
  std::error_code error;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    if (ReadAll(task.path().string() + "/comm") == "zs-sequencer\n") return true;
  }
  return false;
}

std::vector<std::string> ProgramWindows() {
  std::vector<std::string> windows;
  std::istringstream ids(Shell("xdotool search --name 'Zembrovane Sequencer' 2>/dev/null"));
  std::string id;
  while (std::getline(ids, id)) windows.push_back(id);
  return windows;
}

std::string WaitUntilReady(ProgramRun& run, const std::vector<std::string>& before) {
  std::string window;
  WaitUntil(
      [&] {
        for (const std::string& id : ProgramWindows()) {
          if (window.empty() && std::find(before.begin(), before.end(), id) == before.end()) window = id;
        }
        return !window.empty() && AlsaPortsOf(run.Pid()).size() == 2 && SequencerThreadRuns(run.Pid());
      },
      30s);
  if (!window.empty()) Shell("xdotool windowfocus --sync " + window + " 2>/dev/null");
  return window;
}

// One xdotool process for the press and the release: a second process started after a sleep
// can come late on a loaded machine, and a key held past the server's auto-repeat delay
// arrives as several presses (Down on the instruments page then skips programs).
void Keys(const std::string& keys) {
  Shell("xdotool keydown " + keys + " sleep 0.25 keyup " + keys);
  std::this_thread::sleep_for(100ms);
}

std::string PhysicalKey(const std::string& keysym) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return keysym;
  const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(keysym.c_str()));
  XCloseDisplay(display);
  return code == 0 ? keysym : std::to_string(code);
}

void CtrlK(const std::string& letter) {
  Shell("xdotool keydown ctrl sleep 0.1 keydown k sleep 0.25 keyup k sleep 0.1 keydown " + letter + " sleep 0.25 keyup " +
        letter + " sleep 0.1 keyup ctrl");
  std::this_thread::sleep_for(100ms);
}

bool Screenshot(const std::string& window, const std::string& pngPath) {
  fs::create_directories(fs::path(pngPath).parent_path());
  fs::remove(pngPath);
  Shell("xwd -id " + window + " -silent 2>/dev/null | convert xwd:- '" + pngPath + "' 2>/dev/null");
  return fs::exists(pngPath);
}

int ColourCount(const std::string& pngPath) {
  return std::atoi(Shell("convert '" + pngPath + "' -format %k info: 2>/dev/null").c_str());
}

std::vector<Rgb> PixelColumn(const std::string& pngPath, int x) {
  std::istringstream lines(
      Shell("convert '" + pngPath + "' -crop 1x100000+" + std::to_string(x) + "+0 -depth 8 txt:- 2>/dev/null"));
  std::vector<Rgb> column;
  std::string line;
  while (std::getline(lines, line)) {
    int px = 0, py = 0;
    Rgb p;
    if (std::sscanf(line.c_str(), "%d,%d: (%d,%d,%d", &px, &py, &p.r, &p.g, &p.b) == 5) column.push_back(p);
  }
  return column;
}

bool RecordProgram(pid_t pid, const std::string& wavPath, int seconds) {
  const std::vector<std::string> ports = AlsaPortsOf(pid);
  if (ports.size() != 2) return false;
  Shell("jack_capture -d " + std::to_string(seconds) + " --port '" + ports[0] + "' --port '" + ports[1] +
        "' -f wav '" + wavPath + "' > /dev/null 2>&1");
  return fs::exists(wavPath);
}

}  // namespace zs::e2e
