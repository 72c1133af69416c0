// The built program as a user meets it: started in a demo folder under Xvfb with a JACK dummy
// server behind ALSA, driven with real key events (xdotool), heard through jack_capture.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/JackRecorder.h"
#include "tests/support/TestServers.h"

// Xlib last: its macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>

namespace {

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

// One run of the program in its own folder, stdout and stderr into a log file.
class ProgramRun {
 public:
  ProgramRun(const std::string& dir, const std::string& prefix) : log(dir + "/program.log") {
    pid = fork();
    if (pid == 0) {
      if (chdir(dir.c_str()) != 0) _exit(126);
      FILE* f = freopen(log.c_str(), "w", stdout);
      if (!f || dup2(fileno(stdout), 2) < 0) _exit(126);
      setvbuf(stdout, nullptr, _IONBF, 0);
      execl(ZS_PROGRAM, ZS_PROGRAM, prefix.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~ProgramRun() {
    if (pid > 0 && !exited) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  // Exit status, or -1 when the program did not end in time (or died by a signal).
  int WaitExit(std::chrono::milliseconds timeout) {
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
  std::string Output() const { return ReadAll(log); }
  pid_t Pid() const { return pid; }

 private:
  std::string log;
  pid_t pid = -1;
  bool exited = false;
};

// The two JACK ports of the child's ALSA stream ("<name>.P.<pid>.<n>:out_000").
std::vector<std::string> AlsaPortsOf(pid_t pid) {
  std::vector<std::string> ports;
  std::istringstream lines(Shell("jack_lsp"));
  std::string line;
  const std::string pidPart = "." + std::to_string(pid) + ".";
  while (std::getline(lines, line)) {
    if (line.find(pidPart) != std::string::npos && line.find(":out_") != std::string::npos) ports.push_back(line);
  }
  return ports;
}

// The program names its sequencer thread; once it runs, key presses reach the frames.
bool SequencerThreadRuns(pid_t pid) {
  std::error_code error;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    if (ReadAll(task.path().string() + "/comm") == "zs-sequencer\n") return true;
  }
  return false;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(zs::test::UseTestServers()) << "test servers are not running";
    dir = zs::test::MakeTempDir("e2e-demo");
    fs::copy_file(zs::test::SourcePath("demo/soundfonts.dat"), dir + "/soundfonts.dat");
    fs::copy_file(zs::test::SourcePath("demo/demo.dat"), dir + "/demo.dat");
  }

  static std::vector<std::string> ProgramWindows() {
    std::vector<std::string> windows;
    std::istringstream ids(Shell("xdotool search --name 'Zembrovane Sequencer' 2>/dev/null"));
    std::string id;
    while (std::getline(ids, id)) windows.push_back(id);
    return windows;
  }

  // Waits until the program's window exists, its sound stream runs and its sequencer thread
  // reads the keys; the window id. Windows of the same name that existed before (other tests
  // on the display) are not taken.
  std::string WaitUntilReady(ProgramRun& run, const std::vector<std::string>& before) {
    const auto end = Clock::now() + 20s;
    std::string window;
    while (Clock::now() < end) {
      for (const std::string& id : ProgramWindows()) {
        if (window.empty() && std::find(before.begin(), before.end(), id) == before.end()) window = id;
      }
      if (!window.empty() && AlsaPortsOf(run.Pid()).size() == 2 && SequencerThreadRuns(run.Pid())) break;
      std::this_thread::sleep_for(100ms);
    }
    if (!window.empty()) Shell("xdotool windowfocus --sync " + window + " 2>/dev/null");
    return window;
  }

  // Holds the keys a quarter of a second, as a person does: the program takes a key as
  // pressed when one of its frames finds it down, and on a loaded machine a frame can come
  // well after 50 ms. (Still short of the server's auto-repeat delay.)
  static void Keys(const std::string& keys) {
    Shell("xdotool keydown " + keys + " && sleep 0.25 && xdotool keyup " + keys);
    std::this_thread::sleep_for(100ms);
  }

  std::string dir;
};

TEST_F(ProgramTest, SpacePlaysTheDemoF1SavesAndCtrlShiftQQuits) {
  const std::vector<std::string> before = ProgramWindows();
  ProgramRun run(dir, "demo");
  const std::string window = WaitUntilReady(run, before);
  ASSERT_FALSE(window.empty()) << run.Output();

  Keys("space");
  const std::vector<std::string> ports = AlsaPortsOf(run.Pid());
  ASSERT_EQ(ports.size(), 2u) << run.Output();
  const std::string wav = dir + "/demo.wav";
  const std::string capture = "jack_capture -d 3 --port '" + ports[0] + "' --port '" + ports[1] + "' -f wav '" +
                              wav + "' > /dev/null 2>&1";
  Shell(capture);
  const std::vector<float> samples = zs::test::ReadFloatWav(wav);
  ASSERT_GT(samples.size(), 44100u) << "no recording";
  float peak = 0;
  double energy = 0;
  for (float s : samples) {
    peak = std::max(peak, std::fabs(s));
    energy += static_cast<double>(s) * s;
  }
  const double rms = std::sqrt(energy / samples.size());
  EXPECT_GT(peak, 0.01) << "the demo is silent";
  EXPECT_GT(rms, 0.001);

  // The screenshot stays in the build tree for a person to look at.
  const std::string artifacts = zs::test::BuildPath("test-artifacts");
  fs::create_directories(artifacts);
  const std::string shot = artifacts + "/e2e-demo-playing.png";
  Shell("xwd -root -silent | convert xwd:- '" + shot + "'");
  ASSERT_TRUE(fs::exists(shot));
  const int colours = std::atoi(Shell("convert '" + shot + "' -format %k info:").c_str());
  EXPECT_GT(colours, 8) << "the window shows next to nothing";

  Keys("space");  // stop
  fs::remove(dir + "/demo.dat");
  Keys("F1");
  // A loaded machine can take a while to get to the key; the file counts once it is complete.
  bool saved = false;
  for (const auto end = Clock::now() + 10s; !saved && Clock::now() < end;) {
    saved = ReadAll(dir + "/demo.dat").find("p 9 ") != std::string::npos;
    if (!saved) std::this_thread::sleep_for(50ms);
  }
  ASSERT_TRUE(fs::exists(dir + "/demo.dat")) << "F1 did not write the project";
  EXPECT_TRUE(saved) << ReadAll(dir + "/demo.dat");

  Keys("ctrl+shift+q");
  EXPECT_EQ(run.WaitExit(20s), 0) << run.Output();
  const std::string out = run.Output();
  EXPECT_NE(out.find("ZEMBROVANE SEQUENCER VERSION 0.92\n\n"), std::string::npos) << out;
  EXPECT_LT(out.find("ZEMBROVANE SEQUENCER"), out.find("XInitThreads rv=")) << "banner and port lists come first";
}

TEST_F(ProgramTest, ClosingTheWindowEndsWithStatusZero) {
  const std::vector<std::string> before = ProgramWindows();
  ProgramRun run(dir, "demo");
  const std::string window = WaitUntilReady(run, before);
  ASSERT_FALSE(window.empty()) << run.Output();

  // What a window manager sends when the user clicks the close button.
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = static_cast<Window>(std::stoul(window));
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
  XFlush(display);
  XCloseDisplay(display);

  EXPECT_EQ(run.WaitExit(20s), 0) << run.Output();
}

TEST_F(ProgramTest, MissingSoundfontListEndsWithStatusOne) {
  fs::remove(dir + "/soundfonts.dat");
  ProgramRun run(dir, "demo");
  EXPECT_EQ(run.WaitExit(20s), 1) << run.Output();
  EXPECT_NE(run.Output().find("error: soundfonts.dat could not be openend"), std::string::npos) << run.Output();
}

}  // namespace
