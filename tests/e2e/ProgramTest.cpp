// SPDX-License-Identifier: LGPL-2.1-or-later
// The built program as a user meets it: started in a demo folder under Xvfb with a JACK dummy
// server behind ALSA, driven with real key events (xdotool), heard through jack_capture.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <RtMidi.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/e2e/ProgramDriver.h"
#include "tests/support/JackMidiReceiver.h"

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
    setenv("JACK_NO_START_SERVER", "1", 1);  // a server that went away is not started again
    dir = zs::test::MakeTempDir("e2e-demo");
    fs::copy_file(zs::test::SourcePath("demo/soundfonts.dat"), dir + "/soundfonts.dat");
    fs::copy_file(zs::test::SourcePath("demo/demo.dat"), dir + "/demo.dat");
  }

  std::string dir;
};

TEST_F(ProgramTest, SpacePlaysTheDemoF1SavesAndCtrlShiftQQuits) {
  const std::vector<std::string> before = ProgramWindows();
  ProgramRun run(dir, {"demo"});
  ASSERT_FALSE(WaitUntilReady(run, before).empty()) << run.Output();
  const std::vector<float> samples = RecordProgram(run, dir + "/demo.wav", 3, [] { Keys("space"); });
  ASSERT_GT(samples.size(), 44100u) << "no recording";
  EXPECT_GT(PeakOf(samples), 0.01) << "the demo is silent";
  const double energy = std::inner_product(samples.begin(), samples.end(), samples.begin(), 0.0);
  EXPECT_GT(std::sqrt(energy / samples.size()), 0.001) << "only a click";

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

// Another client destroying the window is an X error for the program: it still quits normally.
// (The close button only sets the quit flag of the keyboard reader, whose own test has it.)
TEST_F(ProgramTest, LosingTheWindowEndsWithStatusZero) {
  ProgramRun run(dir, {"demo"});
  const std::string window = WaitUntilReady(run, ProgramWindows());
  ASSERT_FALSE(window.empty()) << run.Output();
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  XDestroyWindow(display, static_cast<Window>(std::stoul(window)));
  XCloseDisplay(display);
  EXPECT_EQ(run.WaitExit(20s), 0) << run.Output();
}

// Only a missing project may be created. A FIFO would block a plain open; a link to nothing
// and a name longer than the system allows cannot be saved either.
TEST_F(ProgramTest, ProjectFilesThatCannotBeReadEndTheStartAndStayAsTheyWere) {
  ASSERT_EQ(mkfifo((dir + "/fifo.dat").c_str(), 0644), 0);
  fs::create_symlink("nowhere.dat", dir + "/dangling.dat");
  for (const std::string& prefix : {std::string("fifo"), std::string("dangling"), std::string(252, 'n')}) {
    ProgramRun run(dir, {prefix}, "unusable.log");
    EXPECT_EQ(run.WaitExit(30s), 1) << run.Output();
    EXPECT_TRUE(run.Printed("error: project file ./" + prefix + ".dat cannot be used: ")) << run.Output();
  }
  EXPECT_TRUE(fs::is_fifo(dir + "/fifo.dat"));
  EXPECT_TRUE(fs::is_symlink(dir + "/dangling.dat") && !fs::exists(dir + "/dangling.dat"));
}

// A song kept behind a link, under a name near NAME_MAX, saved once past the file size limit
// (a failed save, not a killed program) and once within it; SIGHUP then quits normally.
TEST_F(ProgramTest, SavesGoThroughALinkWithALongNameAndFailCleanlyPastTheFileSizeLimit) {
  const std::string name(240, 'l');
  const std::string link = dir + "/" + name + ".dat", target = dir + "/songs/" + name + ".dat";
  fs::create_directory(dir + "/songs");
  // A session full of notes makes the project larger than the limit.
  std::string project = ReadAll(dir + "/demo.dat") + "s 11 -1 0 0 0 0 0 0 0 0 0 0 0 0\n";
  for (int track = 0; track < 12; ++track) {
    project += "t " + std::to_string(track) + " 0 255\n";
    for (int step = 0; step < 256; ++step) project += "e " + std::to_string(step) + " 60 0 100 1 0\n";
  }
  zs::test::WriteFile(target, project);
  fs::create_symlink("songs/" + name + ".dat", link);
  // Left by saves killed before their rename: an old one goes, a young one may be a save going on.
  const std::string stale = dir + "/songs/." + name.substr(0, 8) + ".zs-save-AbC123";
  const std::string young = dir + "/songs/." + name.substr(0, 8) + ".zs-save-XyZ789";
  zs::test::WriteFile(stale, "p");
  zs::test::WriteFile(young, "p");
  fs::last_write_time(stale, fs::file_time_type::clock::now() - 5min);
  fs::last_write_time(target, fs::file_time_type::clock::now() - 1h);
  const auto loaded = fs::last_write_time(target);

  ProgramRun run(dir, {name});
  ASSERT_FALSE(WaitUntilReady(run, ProgramWindows()).empty()) << run.Output();
  // The soft limit only: above the program's log, below the project.
  Shell("prlimit --pid " + std::to_string(run.Pid()) + " --fsize=32768:");
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(young));

  Keys("F1");
  EXPECT_TRUE(run.Printed("error: could not save project file")) << run.Output();
  Shell("prlimit --pid " + std::to_string(run.Pid()) + " --fsize=unlimited");
  Keys("F1");
  EXPECT_TRUE(WaitUntil([&] { return fs::last_write_time(target) != loaded; }, 20s)) << run.Output();
  kill(run.Pid(), SIGHUP);
  EXPECT_EQ(run.WaitExit(20s), 0) << run.Output();
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_NE(ReadAll(target).find("\ne 255 60 0 100 1 0\n"), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir + "/songs"), fs::directory_iterator()), 2) << "temporary files left";
}

// Two instances on one project: the second is warned at its start. A save made elsewhere
// since the load is not overwritten by F1, only by a second F1 soon after.
TEST_F(ProgramTest, AProjectChangedOnDiskIsOverwrittenOnlyByASecondF1) {
  ProgramRun run(dir, {"demo"});
  ASSERT_FALSE(WaitUntilReady(run, ProgramWindows()).empty()) << run.Output();
  ProgramRun second(dir, {"demo"}, "second.log");
  EXPECT_TRUE(second.Printed("warning: project file ./demo.dat is open in another", 30s)) << second.Output();
  kill(second.Pid(), SIGTERM);
  EXPECT_EQ(second.WaitExit(20s), 0) << second.Output();

  std::string elsewhere = ReadAll(dir + "/demo.dat");
  elsewhere.replace(0, 7, "p 9 113");
  zs::test::WriteFile(dir + "/demo.dat", elsewhere);
  Keys("F1");
  EXPECT_TRUE(run.Printed("changed on disk")) << run.Output();
  EXPECT_EQ(ReadAll(dir + "/demo.dat"), elsewhere);
  Keys("F1");
  EXPECT_TRUE(WaitUntil([&] { return ReadAll(dir + "/demo.dat").rfind("p 9 112 ", 0) == 0; }, 20s));
  Keys("ctrl+shift+q");
  EXPECT_EQ(run.WaitExit(20s), 0) << run.Output();
}

// The sound server dies under the running program (its own server here, so no other test
// loses its own): quitting still ends, with the status of a user's quit.
TEST_F(ProgramTest, QuitEndsAfterTheSoundServerDied) {
  zs::test::OwnJackServer jack("zs_dying_" + std::to_string(getpid()), false);
  ASSERT_TRUE(jack.Running());
  ProgramRun run(dir, {"demo"});
  EXPECT_FALSE(WaitUntilReady(run, ProgramWindows()).empty()) << run.Output();
  jack.Stop();
  Keys("ctrl+shift+q");
  EXPECT_EQ(run.WaitExit(30s), 0) << run.Output();
}

// A key held on the MIDI keyboard when the program is told to end by a signal: the note ends,
// and the channel gets All Notes Off and the sustain pedal up.
TEST_F(ProgramTest, SigtermQuitsNormallyAndEndsTheNotesOfTheMidiOutputs) {
  // Track 0 plays on the first MIDI output, channel 4.
  zs::test::WriteFile(dir + "/demo.dat", std::regex_replace(ReadAll(dir + "/demo.dat"),
                                                            std::regex("\ni 0 ((\\S+ ){4})\\S+ \\S+ "), "\ni 0 $013 1 ",
                                                            std::regex_constants::format_first_only));
  const std::string id = std::to_string(getpid());
  RtMidiOut keyboard(RtMidi::UNIX_JACK, "zssigkeys" + id);
  keyboard.openVirtualPort("keys");
  zs::test::JackMidiReceiver synth;
  ASSERT_TRUE(synth.Open("zssigsynth" + id, "in"));
  // JACK drops the messages of a client that misses its period, for seconds on a loaded
  // machine: the key goes down again until heard.
  const std::vector<unsigned char> down{0x90, 60, 100}, up{0x90, 60, 0};
  std::string window;
  bool heard = false;
  const auto run = StartHearingMidi(
      dir, {"-i", "zssigkeys" + id, "-o", "zssigsynth" + id, "demo"},
      [&](ProgramRun&, const std::string&) {
        for (int attempt = 0; attempt < 4; ++attempt) {
          keyboard.sendMessage(&up);
          std::this_thread::sleep_for(100ms);
          synth.Clear();
          keyboard.sendMessage(&down);
          if (synth.WaitFor(1, 3s)) return true;
        }
        return false;
      },
      window, heard);
  ASSERT_TRUE(heard) << run->Output();
  const zs::test::MidiBytes on = synth.Received()[0];
  ASSERT_EQ(on[0], 0x93);
  synth.Clear();
  kill(run->Pid(), SIGTERM);
  EXPECT_EQ(run->WaitExit(20s), 0) << run->Output();
  const std::vector<zs::test::MidiBytes> ending = synth.Received();
  const auto at = [&](const zs::test::MidiBytes& m) { return std::find(ending.begin(), ending.end(), m) - ending.begin(); };
  const long noteOff = at({0x93, on[1], 0}), allOff = at({0xB3, 123, 0}), pedalUp = at({0xB3, 64, 0});
  EXPECT_LT(noteOff, allOff);
  EXPECT_LT(allOff, static_cast<long>(ending.size()));
  EXPECT_LT(pedalUp, static_cast<long>(ending.size()));
  keyboard.closePort();
}

// Notes typed and never saved come back at the next start, whichever way the program ended:
// a mouse click, SIGTERM, or kill -9 more than 30 s after the last edit (the recovery file is
// never more than 30 s behind). demo.dat stays as it was until F1.
TEST_F(ProgramTest, UnsavedNotesComeBackAfterAClickASigtermAndAKill) {
  const std::string original = ReadAll(dir + "/demo.dat");
  const std::string recovery = dir + "/demo.recovery.dat";
  // A note at pitch 84 (three octaves up from the cursor's C), which the demo does not use.
  const auto typeNote = [](int step) {
    for (int i = 0; i < 3; ++i) Keys("KP_Add");
    for (int i = 0; i < step; ++i) Keys("Down");
    Keys("ctrl+n");
  };
  const auto kept = [&](int step) {
    return ReadAll(recovery).find("\ne " + std::to_string(step) + " 84 ") != std::string::npos;
  };
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // The first start asks for a window larger than the screen: it is made to fit.
    const std::vector<std::string> args = round == 0 ? std::vector<std::string>{"-s", "3", "demo"}
                                                     : std::vector<std::string>{"demo"};
    ProgramRun run(dir, args, "run" + std::to_string(round) + ".log");
    const std::string window = WaitUntilReady(run, ProgramWindows());
    ASSERT_FALSE(window.empty()) << run.Output();
    if (round == 3) {
      Keys("F1");
      ASSERT_TRUE(WaitUntil([&] { return !fs::exists(recovery); }, 10s)) << "F1 keeps the edits, the copy goes";
      Keys("ctrl+shift+q");
      EXPECT_EQ(run.WaitExit(20s), 0);
      const std::string saved = ReadAll(dir + "/demo.dat");
      for (int step = 1; step <= 4; ++step) {
        EXPECT_NE(saved.find("\ne " + std::to_string(step) + " 84 "), std::string::npos) << step << "\n" << saved;
      }
      EXPECT_TRUE(run.Printed("loading the recovery file")) << run.Output();
      break;
    }
    typeNote(round + 1);
    ASSERT_TRUE(WaitUntil([&] { return kept(round + 1); }, 10s)) << "the first edit is kept at once";
    if (round == 0) {
      int screenW = 0, screenH = 0, windowW = 0, windowH = 0;
      std::istringstream(Shell("xdotool getdisplaygeometry")) >> screenW >> screenH;
      const std::string geometry = Shell("xdotool getwindowgeometry " + window);
      sscanf(geometry.substr(geometry.find("Geometry:")).c_str(), "Geometry: %dx%d", &windowW, &windowH);
      EXPECT_TRUE(windowW > 800 && windowW <= screenW && windowH <= screenH) << geometry;
      Shell("xdotool mousemove --window " + window + " 300 300 click 1");
      EXPECT_EQ(run.WaitExit(20s), 0) << run.Output();
      EXPECT_TRUE(run.Printed("gui scale 3 makes a window larger than the")) << run.Output();
    } else if (round == 1) {
      kill(run.Pid(), SIGTERM);
      EXPECT_EQ(run.WaitExit(20s), 0) << run.Output();
      EXPECT_TRUE(run.Printed("loading the recovery file")) << run.Output();
    } else {
      // The second edit comes within 30 s of the first write: it is kept when those are over.
      Keys("Down");
      Keys("ctrl+n");
      const auto edited = std::chrono::steady_clock::now();
      ASSERT_TRUE(WaitUntil([&] { return kept(4); }, 45s));
      EXPECT_GT(std::chrono::steady_clock::now() - edited, 20s) << "not more often than every 30 s";
      std::this_thread::sleep_for(2s);
      kill(run.Pid(), SIGKILL);
      run.WaitExit(20s);
    }
    EXPECT_EQ(ReadAll(dir + "/demo.dat"), original) << "only F1 writes the project";
  }
}

}  // namespace
