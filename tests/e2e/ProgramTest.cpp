// The built program as a user meets it: started in a demo folder under Xvfb with a JACK dummy
// server behind ALSA, driven with real key events (xdotool), heard through jack_capture.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

#include "tests/e2e/ProgramDriver.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/TestServers.h"

// Xlib last: its macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace zs::e2e;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(zs::test::UseTestServers()) << "test servers are not running";
    dir = zs::test::MakeTempDir("e2e-demo");
    fs::copy_file(zs::test::SourcePath("demo/soundfonts.dat"), dir + "/soundfonts.dat");
    fs::copy_file(zs::test::SourcePath("demo/demo.dat"), dir + "/demo.dat");
  }

  std::string dir;
};

TEST_F(ProgramTest, SpacePlaysTheDemoF1SavesAndCtrlShiftQQuits) {
  const std::vector<std::string> before = ProgramWindows();
  ProgramRun run(dir, {"demo"});
  const std::string window = WaitUntilReady(run, before);
  ASSERT_FALSE(window.empty()) << run.Output();

  Keys("space");
  const std::string wav = dir + "/demo.wav";
  ASSERT_TRUE(RecordProgram(run.Pid(), wav, 3)) << run.Output();
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
  ASSERT_TRUE(Screenshot(window, shot));
  const int colours = ColourCount(shot);
  EXPECT_GT(colours, 8) << "the window shows next to nothing";

  Keys("space");  // stop
  fs::remove(dir + "/demo.dat");
  Keys("F1");
  // A loaded machine can take a while to get to the key; the file counts once it is complete.
  const bool saved =
      WaitUntil([&] { return ReadAll(dir + "/demo.dat").find("p 9 ") != std::string::npos; }, 10s);
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
  ProgramRun run(dir, {"demo"});
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
  ProgramRun run(dir, {"demo"});
  EXPECT_EQ(run.WaitExit(20s), 1) << run.Output();
  EXPECT_NE(run.Output().find("error: soundfonts.dat could not be openend"), std::string::npos) << run.Output();
}

}  // namespace
