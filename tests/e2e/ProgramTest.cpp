// SPDX-License-Identifier: LGPL-2.1-or-later
// The built program as a user meets it: started in a demo folder under Xvfb with a JACK dummy
// server behind ALSA, driven with real key events (xdotool), heard through jack_capture.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <RtMidi.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "tests/e2e/ProgramDriver.h"
#include "tests/support/JackMidiReceiver.h"
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

// The close button, and another client destroying the window (an X error for the program).
TEST_F(ProgramTest, ClosingOrLosingTheWindowEndsWithStatusZero) {
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroyed" : "closed");
    const std::vector<std::string> before = ProgramWindows();
    ProgramRun run(dir, {"demo"});
    const std::string window = WaitUntilReady(run, before);
    ASSERT_FALSE(window.empty()) << run.Output();

    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    if (destroy) {
      XDestroyWindow(display, static_cast<Window>(std::stoul(window)));
    } else {
      // What a window manager sends when the user clicks the close button.
      XEvent event{};
      event.xclient.type = ClientMessage;
      event.xclient.window = static_cast<Window>(std::stoul(window));
      event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
      event.xclient.format = 32;
      event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
      event.xclient.data.l[1] = CurrentTime;
      XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    }
    XFlush(display);
    XCloseDisplay(display);

    EXPECT_EQ(run.WaitExit(20s), 0) << run.Output();
  }
}

TEST_F(ProgramTest, MissingSoundfontListEndsWithStatusOne) {
  fs::remove(dir + "/soundfonts.dat");
  ProgramRun run(dir, {"demo"});
  EXPECT_EQ(run.WaitExit(20s), 1) << run.Output();
  EXPECT_NE(run.Output().find("error: soundfonts.dat could not be openend"), std::string::npos) << run.Output();
}

// Only a missing project may be created. A FIFO would block a plain open; a link to nothing
// and a name longer than the system allows cannot be saved either.
TEST_F(ProgramTest, ProjectFilesThatCannotBeReadEndTheStartAndStayAsTheyWere) {
  ASSERT_EQ(mkfifo((dir + "/fifo.dat").c_str(), 0644), 0);
  fs::create_symlink("nowhere.dat", dir + "/dangling.dat");
  for (const std::string& prefix : {std::string("fifo"), std::string("dangling"), std::string(252, 'n')}) {
    ProgramRun run(dir, {prefix}, "unusable.log");
    EXPECT_EQ(run.WaitExit(30s), 1) << run.Output();
    EXPECT_NE(run.Output().find("error: project file ./" + prefix + ".dat cannot be used: "), std::string::npos)
        << run.Output();
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

  rlimit unlimited, limited;
  getrlimit(RLIMIT_FSIZE, &unlimited);
  limited = unlimited;
  limited.rlim_cur = 32768;  // above the program's log, below the project
  setrlimit(RLIMIT_FSIZE, &limited);
  ProgramRun run(dir, {name});  // inherits the limit
  setrlimit(RLIMIT_FSIZE, &unlimited);
  ASSERT_FALSE(WaitUntilReady(run, ProgramWindows()).empty()) << run.Output();
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(young));

  Keys("F1");
  // Seen while the program runs: its standard output is line-buffered even into a file.
  EXPECT_TRUE(WaitUntil([&] { return run.Output().find("error: could not save project file") != std::string::npos; },
                        20s))
      << run.Output();
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
  EXPECT_TRUE(WaitUntil([&] { return second.Output().find("warning: project file ./demo.dat is open in another") !=
                                     std::string::npos; },
                        30s))
      << second.Output();
  kill(second.Pid(), SIGTERM);
  EXPECT_EQ(second.WaitExit(20s), 0) << second.Output();

  std::string elsewhere = ReadAll(dir + "/demo.dat");
  elsewhere.replace(0, 7, "p 9 113");
  zs::test::WriteFile(dir + "/demo.dat", elsewhere);
  Keys("F1");
  EXPECT_TRUE(WaitUntil([&] { return run.Output().find("changed on disk") != std::string::npos; }, 20s)) << run.Output();
  EXPECT_EQ(ReadAll(dir + "/demo.dat"), elsewhere);
  Keys("F1");
  EXPECT_TRUE(WaitUntil([&] { return ReadAll(dir + "/demo.dat").rfind("p 9 112 ", 0) == 0; }, 20s));
  Keys("ctrl+shift+q");
  EXPECT_EQ(run.WaitExit(20s), 0) << run.Output();
}

// The sound server dies under the running program (its own server here, so no other test
// loses its own): quitting still ends, with the status of a user's quit.
TEST_F(ProgramTest, QuitEndsAfterTheSoundServerDied) {
  const std::string shared = getenv("JACK_DEFAULT_SERVER");
  setenv("JACK_DEFAULT_SERVER", ("zs_dying_" + std::to_string(getpid())).c_str(), 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  const pid_t jackd = fork();
  if (jackd == 0) {
    if (!freopen("/dev/null", "w", stdout) || dup2(fileno(stdout), 2) < 0) _exit(126);
    execlp("jackd", "jackd", "--no-realtime", "-d", "dummy", "-r", "44100", "-p", "128", static_cast<char*>(nullptr));
    _exit(127);
  }
  EXPECT_TRUE(WaitUntil([] { return !Shell("jack_lsp 2>/dev/null").empty(); }, 20s));
  {
    ProgramRun run(dir, {"demo"});
    EXPECT_FALSE(WaitUntilReady(run, ProgramWindows()).empty()) << run.Output();
    // Not SIGKILL: a killed jackd keeps its slot in the machine's JACK registry, and after
    // eight of them no JACK server starts any more.
    kill(jackd, SIGTERM);
    waitpid(jackd, nullptr, 0);
    Keys("ctrl+shift+q");
    EXPECT_EQ(run.WaitExit(30s), 0) << run.Output();
  }
  setenv("JACK_DEFAULT_SERVER", shared.c_str(), 1);
  unsetenv("JACK_NO_START_SERVER");
  // The program's JACK client could not remove its semaphore from a server that was gone.
  Shell("rm -f /dev/shm/jack_sem.*_zs_dying_" + std::to_string(getpid()) + "_*");
}

// A key held on the MIDI keyboard when the program is told to end by a signal: the note ends,
// and the channel gets All Notes Off and the sustain pedal up.
TEST_F(ProgramTest, SigtermQuitsNormallyAndEndsTheNotesOfTheMidiOutputs) {
  // Track 0 plays on the first MIDI output, channel 4.
  std::istringstream lines(ReadAll(dir + "/demo.dat"));
  std::string project, line;
  while (std::getline(lines, line)) {
    if (line.rfind("i 0 ", 0) == 0) {
      std::istringstream words(line);
      std::vector<std::string> f{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
      f[6] = "3";
      f[7] = "1";
      line.clear();
      for (const std::string& w : f) line += (line.empty() ? "" : " ") + w;
    }
    project += line + "\n";
  }
  zs::test::WriteFile(dir + "/demo.dat", project);
  const std::string id = std::to_string(getpid());
  RtMidiOut keyboard(RtMidi::UNIX_JACK, "zssigkeys" + id);
  keyboard.openVirtualPort("keys");
  zs::test::JackMidiReceiver synth;
  ASSERT_TRUE(synth.Open("zssigsynth" + id, "in"));
  // JACK drops the messages of a client that misses its period, for seconds on a loaded
  // machine: the key goes down again until heard. Now and then the JACK client of the
  // program's MIDI input never gets through its first cycle (the server reports it "not
  // finished" every period from then on, and the client's thread waits in the JACK library
  // for a wake-up that never comes); the program is then started again.
  const std::vector<unsigned char> down{0x90, 60, 100}, up{0x90, 60, 0};
  std::unique_ptr<ProgramRun> run;
  bool heard = false;
  for (int start = 0; start < 3 && !heard; ++start) {
    if (run) {
      kill(run->Pid(), SIGTERM);
      run->WaitExit(20s);
    }
    const std::vector<std::string> before = ProgramWindows();
    run = std::make_unique<ProgramRun>(
        dir, std::vector<std::string>{"-i", "zssigkeys" + id, "-o", "zssigsynth" + id, "demo"});
    ASSERT_FALSE(WaitUntilReady(*run, before).empty()) << run->Output();
    for (int attempt = 0; attempt < 4 && !heard; ++attempt) {
      keyboard.sendMessage(&up);
      std::this_thread::sleep_for(100ms);
      synth.Clear();
      keyboard.sendMessage(&down);
      heard = synth.WaitFor(1, 3s);
    }
  }
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
      EXPECT_NE(run.Output().find("loading the recovery file"), std::string::npos) << run.Output();
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
      EXPECT_NE(run.Output().find("gui scale 3 makes a window larger than the"), std::string::npos) << run.Output();
    } else if (round == 1) {
      kill(run.Pid(), SIGTERM);
      EXPECT_EQ(run.WaitExit(20s), 0) << run.Output();
      EXPECT_NE(run.Output().find("loading the recovery file"), std::string::npos) << run.Output();
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
