// SPDX-License-Identifier: LGPL-2.1-or-later
#include <RtMidi.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/JackMidiReceiver.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/TestServers.h"

// Xlib last: its macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace zs::test;
using Fields = std::vector<std::string>;

std::vector<std::string> ProgramWindows() {
  std::vector<std::string> windows;
  std::istringstream ids(Shell("xdotool search --name 'Zembrovane Sequencer' 2>/dev/null"));
  for (std::string id; std::getline(ids, id);) windows.push_back(id);
  return windows;
}

std::vector<std::string> WithProgram(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), ZS_PROGRAM);
  return arguments;
}

// One run of the program in `dir` (arguments: options, then the project prefix), its output in
// dir/logName; killed at destruction when still running.
class ProgramRun {
 public:
  ProgramRun(const std::string& dir, const std::vector<std::string>& arguments,
             const std::string& logName = "program.log")
      : log(dir + "/" + logName), before(ProgramWindows()), process(WithProgram(arguments), dir, log) {}
  int WaitExit(std::chrono::milliseconds timeout) { return process.Wait(timeout); }
  std::string Output() const { return ReadFile(log); }
  // The program's stdout is line-buffered even into a file, so this sees it while it runs.
  bool Printed(const std::string& text, std::chrono::milliseconds deadline = 20s) const {
    return WaitUntil([&] { return Output().find(text) != std::string::npos; }, deadline);
  }
  pid_t Pid() const { return process.Pid(); }

  // Waits for a new window, the sound stream and the sequencer thread (once it runs, key presses
  // reach the frames), then focuses the window; its id, empty when it never came.
  std::string WaitUntilReady() {
    const auto sequencerRuns = [this] {
      std::error_code error;
      for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(Pid()) + "/task", error)) {
        if (ReadFile(task.path().string() + "/comm") == "zs-sequencer\n") return true;
      }
      return false;
    };
    WaitUntil(
        [&] {
          for (const std::string& id : ProgramWindows()) {
            if (window.empty() && std::find(before.begin(), before.end(), id) == before.end()) window = id;
          }
          return !window.empty() && AlsaPortsOf(Pid()).size() == 2 && sequencerRuns();
        },
        30s);
    if (!window.empty()) Shell("timeout 10 xdotool windowfocus --sync " + window + " 2>/dev/null");
    return window;
  }

  std::string window;

 private:
  std::string log;
  std::vector<std::string> before;
  ChildProcess process;
};

// Starts the program up to three times until `heard` holds: now and then the JACK client of its
// MIDI input never gets through its first cycle and waits forever for a wake-up.
std::unique_ptr<ProgramRun> StartHearingMidi(const std::string& dir, const std::vector<std::string>& arguments,
                                             const std::function<bool(ProgramRun&)>& heard) {
  std::unique_ptr<ProgramRun> run;
  for (int start = 0; start < 3; ++start) {
    if (run) {
      kill(run->Pid(), SIGTERM);
      run->WaitExit(20s);
    }
    run = std::make_unique<ProgramRun>(dir, arguments, "program-start" + std::to_string(start) + ".log");
    if (run->WaitUntilReady().empty() || heard(*run)) break;
  }
  return run;
}

// Held a quarter of a second, as a person does, in one xdotool process: a frame on a loaded
// machine can come well after 50 ms, and a second process can come late enough for auto-repeat.
void Keys(const std::string& keys) {
  Shell("xdotool keydown " + keys + " sleep 0.25 keyup " + keys);
  std::this_thread::sleep_for(100ms);
}

// The program's sound (interleaved stereo) for `seconds`; `start` runs once the recorder
// listens, so that a recorder slow to come up misses nothing. Empty without its sound ports.
std::vector<float> RecordProgram(ProgramRun& run, const std::string& wavPath, int seconds,
                                 const std::function<void()>& start) {
  JackRecorder recorder;
  if (!recorder.Start(wavPath, seconds, run.Pid())) return {};
  start();
  return recorder.Finish() ? ReadFloatWav(wavPath) : std::vector<float>{};
}

float PeakOf(const std::vector<float>& samples, bool* finite = nullptr) {
  float peak = 0;
  for (float s : samples) {
    if (finite && !std::isfinite(s)) *finite = false;
    peak = std::max(peak, std::fabs(s));
  }
  return peak;
}

// xdotool sends a modifier keysym such as Control_R on the first key of that modifier (Left
// Ctrl), so a key that differs from its twin on the other side is sent by keycode.
std::string PhysicalKey(const std::string& keysym) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return keysym;
  const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(keysym.c_str()));
  XCloseDisplay(display);
  return code == 0 ? keysym : std::to_string(code);
}

void CtrlK(const std::string& letter) {
  Shell("xdotool keydown ctrl sleep 0.1 keydown k sleep 0.25 keyup k sleep 0.1 keydown " + letter +
        " sleep 0.25 keyup " + letter + " sleep 0.1 keyup ctrl");
  std::this_thread::sleep_for(100ms);
}

struct Rgb {
  int r = 0, g = 0, b = 0;
};

// The project file's lines, and the notes of each (session, track) as "step note offset
// velocity gate fraction".
struct Project {
  std::string text;
  std::vector<Fields> lines;
  std::map<std::pair<int, int>, std::multiset<std::string>> notes;

  explicit Project(const std::string& content) : text(content) {
    std::istringstream in(content);
    std::string line;
    int session = 0, track = 0;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      const Fields f{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
      if (f.empty()) continue;
      lines.push_back(f);
      if (f[0] == "s" && f.size() > 1) session = std::stoi(f[1]);
      if (f[0] == "t" && f.size() > 3) track = std::stoi(f[1]);
      if (f[0] == "e" && f.size() == 7) {
        notes[{session, track}].insert(f[1] + " " + f[2] + " " + f[3] + " " + f[4] + " " + f[5] + " " + f[6]);
      }
    }
  }
  Fields Line(const std::string& tag, const std::string& first = "") const {
    for (const Fields& f : lines) {
      if (f[0] == tag && (first.empty() || (f.size() > 1 && f[1] == first))) return f;
    }
    return {};
  }
  std::string Track(int track, size_t field) const {
    Fields f = Line("i", std::to_string(track));
    return field < f.size() ? f[field] : "";
  }
  std::multiset<std::string> Notes(int session, int track) const {
    return notes.count({session, track}) ? notes.at({session, track}) : std::multiset<std::string>{};
  }
};

constexpr size_t kVelocity = 2, kVelocityFixed = 3, kVolume = 4, kChannel = 6, kOutput = 7, kExtReverbOn = 21,
                 kInDelay = 22;

// Every note-on (on `channel`, keys among `keys`) is ended by a velocity 0 note-on of its key, and
// nothing else comes: the number of notes played, or -1.
int CheckMidiNotes(const std::vector<MidiBytes>& messages, int channel, const std::set<int>& keys) {
  std::map<int, int> sounding;
  int notes = 0;
  for (const MidiBytes& m : messages) {
    if (m.size() != 3 || m[0] != 0x90 + channel || !keys.count(m[1])) return -1;
    notes += m[2] > 0;
    if ((sounding[m[1]] += (m[2] > 0 ? 1 : -1)) < 0) return -1;
  }
  return std::all_of(sounding.begin(), sounding.end(), [](const auto& key) { return key.second == 0; }) ? notes : -1;
}

class AcceptanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(UseTestServers()) << "test servers are not running";
    dir = MakeTempDir("e2e-acceptance");
    artifacts = BuildPath("test-artifacts/e2e-acceptance");
    fs::create_directories(artifacts);
    // The largest gain the program takes, so that the limiter has work to do.
    WriteFile(dir + "/soundfonts.dat", "10.0 /usr/share/sounds/sf2/TimGM6mb.sf2\n");
    // A MIDI keyboard and two synthesizers, found by a part of their names.
    const std::string id = std::to_string(getpid());
    keysName = "zsacceptkeys" + id;
    keyboard = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, keysName);
    keyboard->openVirtualPort("keys");
    ASSERT_TRUE(synthA.Open("zsacceptsyntha" + id, "in"));
    ASSERT_TRUE(synthB.Open("zsacceptsynthb" + id, "in"));
    arguments = {"-i", keysName, "-o", "zsacceptsyntha" + id, "-p", "zsacceptsynthb" + id, "song"};
  }

  Project Save() {
    fs::remove(ProjectPath());
    Keys("F1");
    WaitUntil([&] { return fs::exists(ProjectPath()); }, 15s);
    return Project(ReadFile(ProjectPath()));
  }

  void MidiKey(unsigned char key, bool down) {
    const unsigned char message[3] = {0x90, key, static_cast<unsigned char>(down ? 100 : 0)};
    keyboard->sendMessage(message, 3);
  }

  // A program just started may not have drawn its first frame yet: an empty picture is taken again.
  void Shot(const std::string& window, const std::string& name) {
    const std::string png = artifacts + "/" + name + ".png";
    const auto taken = [&] {
      fs::remove(png);
      Shell("xwd -id " + window + " -silent 2>/dev/null | convert xwd:- '" + png + "' 2>/dev/null");
      return std::atoi(Shell("convert '" + png + "' -format %k info: 2>/dev/null").c_str()) > 8;
    };
    EXPECT_TRUE(WaitUntil(taken, 10s)) << name << " shows next to nothing";
  }

  static void Press(std::initializer_list<const char*> keys) {
    for (const char* key : keys) Keys(key);
  }

  Rgb At(const std::string& shot, int x, int y) const {
    Rgb p;
    const std::string crop = std::to_string(x) + "+" + std::to_string(y);
    std::sscanf(Shell("convert '" + artifacts + "/" + shot + ".png' -crop 1x1+" + crop + " -depth 8 txt:- 2>/dev/null")
                    .c_str(),
                "%*[^\n]\n%*d,%*d: (%d,%d,%d", &p.r, &p.g, &p.b);
    return p;
  }

  std::string ProjectPath() const { return dir + "/song.dat"; }

  std::string dir, artifacts, keysName, window;
  std::vector<std::string> arguments;
  std::unique_ptr<RtMidiOut> keyboard;
  JackMidiReceiver synthA, synthB;
};

TEST_F(AcceptanceTest, ASongTypedSavedExportedAndPlayedAfterARestart) {
  // Until a held key of the MIDI keyboard lights middle C on the panel.
  std::unique_ptr<ProgramRun> run = StartHearingMidi(dir, arguments, [&](ProgramRun& started) {
    MidiKey(60, true);
    const bool lit = WaitUntil(
        [&] {
          Shot(started.window, "midi-key-held");
          const Rgb key = At("midi-key-held", 3 + 21 * 12 + 9, 480);
          return key.b > 180 && key.r < 120;
        },
        6s);
    MidiKey(60, false);
    return lit;
  });
  window = run->window;
  ASSERT_FALSE(window.empty()) << run->Output();

  const Project created(ReadFile(ProjectPath()));
  ASSERT_FALSE(created.Line("i", "0").empty()) << created.text;
  const std::string v = created.Track(0, kVelocity);  // velocity of typed and played-in notes
  const int volume = std::stoi(created.Track(0, kVolume));
  const bool extReverbWasOn = created.Track(0, kExtReverbOn) == "1";

  Keys("ctrl+n");  // step 0, pitch 48
  // Attribute editor: velocity 110, offset 16, gate 2, fraction 64.
  Press({"Delete", "1", "1", "0", "Right", "1", "6", "Right", "2", "Right", "6", "4", "Return"});
  CtrlK("b");                                 // block begin at (48, step 0)
  Keys("shift+Down");                         // step 4
  for (int i = 0; i < 3; ++i) Keys("Right");  // pitch 51
  // Recording while stopped writes note keys at the cursor. The program compares the MIDI keys
  // held from frame to frame, so the key stays down until the note is saved.
  const std::string rightCtrl = PhysicalKey("Control_R");
  Keys(rightCtrl);
  Shot(window, "1-step-edit-recording");
  Keys("x");  // piano key 2: the third note of the new project's C minor, 51
  const std::string midiNote = "4 60 0 " + v + " 1 0";
  Project typed("");
  // JACK may drop a strike on a busy machine; a late one is written all the same, so it is
  // struck again only after ten seconds.
  for (int attempt = 0; attempt < 3 && !typed.Notes(0, 0).count(midiNote); ++attempt) {
    MidiKey(60, true);
    const auto until = std::chrono::steady_clock::now() + 10s;
    do typed = Save();
    while (!typed.Notes(0, 0).count(midiNote) && std::chrono::steady_clock::now() < until);
    MidiKey(60, false);
  }
  Keys(rightCtrl);
  EXPECT_EQ(typed.Notes(0, 0),
            (std::multiset<std::string>{"0 48 16 110 2 64", "4 51 0 " + v + " 1 0", "4 60 0 " + v + " 1 0"}))
      << typed.text;

  CtrlK("k");          // block end at (51, step 4): pitches 48..51, steps 0..4
  Keys("shift+Down");  // step 8
  CtrlK("c");          // copied three semitones up
  Keys("shift+2");
  CtrlK("c");  // the same block into tracks 1 and 2
  Keys("shift+3");
  CtrlK("c");
  Keys("shift+1");
  Keys("Next");  // bar 2, step 24
  Keys("ctrl+n");
  Keys("shift+o");                            // offset 32
  Press({"shift+Down", "shift+Down", "Up"});  // step 31
  Keys("ctrl+shift+e");                       // track 0 plays two bars
  Keys("Prior");
  Shot(window, "1-step-edit");
  const Rgb mark = At("1-step-edit-recording", 784, 526), noMark = At("1-step-edit", 784, 526);
  EXPECT_TRUE(mark.r > 200 && mark.g < 80) << "recording mark";
  EXPECT_LT(noMark.r, 100) << "no mark once recording is off";
  const Rgb frame = At("1-step-edit", 2, 60), tail = At("1-step-edit", 12, 50);
  EXPECT_TRUE(frame.b > 180 && frame.r < 120) << "the block's frame";
  EXPECT_TRUE(tail.r > 120 && tail.b < 90) << "the long note's tail";

  // Session 0 into the song, copied to session 1 with track 0 muted, which follows it.
  Press({"ctrl+2", "Insert", "ctrl+c", "Right", "ctrl+v", "Insert", "Return", "alt+m", "Left", "Return"});
  Shot(window, "2-sessions");
  // Track 0 two steps quieter; track 1 to MIDI output 1 channel 3, track 2 to output 2 channel
  // 16 with its velocity fixed.
  Press({"ctrl+5", "Down", "Down", "Right", "alt+u", "Up", "alt+c", "Up", "Up", "Right", "alt+u", "Up", "Up", "alt+c",
         "Down", "alt+t"});
  Shot(window, "5-mixer");
  // External reverb switched over, input delay two steps up.
  Press({"ctrl+7", "alt+r", "Up", "Up"});
  Shot(window, "7-external-reverb");
  Keys("ctrl+1");

  const Project saved = Save();
  {
    SCOPED_TRACE(saved.text);
    const std::string copy = "16 110 2 64", plain = "0 " + v + " 1 0";
    const std::multiset<std::string> track0{"0 48 " + copy, "4 51 " + plain,  "4 60 " + plain,
                                            "8 51 " + copy, "12 54 " + plain, "24 51 32 " + v + " 1 0"};
    const std::multiset<std::string> copied{"8 51 " + copy, "12 54 " + plain};
    EXPECT_EQ(saved.Notes(0, 0), track0);
    EXPECT_EQ(saved.Notes(0, 1), copied);
    EXPECT_EQ(saved.Notes(0, 2), copied);
    EXPECT_EQ(saved.Line("t", "0"), (Fields{"t", "0", "0", "31"}));
    for (int t = 0; t < 3; ++t) EXPECT_EQ(saved.Notes(1, t), saved.Notes(0, t)) << "session copy, track " << t;
    EXPECT_EQ(saved.Line("o"), (Fields{"o", "2", "0", "1"}));
    EXPECT_EQ(saved.Line("s", "1"),
              (Fields{"s", "1", "-1", "1", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0"}));
    const std::tuple<int, size_t, std::string> fields[] = {
        {0, kVolume, std::to_string(volume - 2)}, {1, kOutput, "1"}, {1, kChannel, "2"}, {2, kOutput, "2"},
        {2, kChannel, "15"}, {2, kVelocityFixed, "1"}, {1, kVelocityFixed, "0"}};
    for (const auto& [t, field, value] : fields) EXPECT_EQ(saved.Track(t, field), value) << t << " " << field;
    for (int t = 0; t < 12; ++t) {
      EXPECT_EQ(saved.Track(t, kExtReverbOn), extReverbWasOn ? "0" : "1") << "track " << t;
      EXPECT_EQ(saved.Track(t, kInDelay), "60.8") << "track " << t;
    }
  }

  // The extended export (F8) of the song: track 2's note in bar 0 (tick 2048) at step 8, channel 3, with the
  // velocity fixed; the standard MIDI file beside it.
  const std::string asc = dir + "/song.asc", mid = dir + "/song.mid";
  Keys("F8");
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(asc) && fs::exists(mid); }, 15s)) << "no export";
  const std::string text = ReadFile(asc);
  EXPECT_EQ(text.rfind("MFile 1 13 512\nMTrk\n", 0), 0u) << text;
  EXPECT_NE(text.find("\n2064 On ch=1 n=48 v=110\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n3088 On ch=3 n=51 v=" + v + "\n"), std::string::npos) << text;
  EXPECT_EQ(ReadFile(mid).rfind("MThd", 0), 0u);

  Keys("ctrl+shift+q");
  ASSERT_EQ(run->WaitExit(20s), 0) << run->Output();
  const std::string firstOutput = run->Output();
  EXPECT_NE(firstOutput.find("Selected midi input: " + keysName + ":keys"), std::string::npos) << firstOutput;
  EXPECT_EQ(firstOutput.find("error:"), std::string::npos) << firstOutput;

  run = std::make_unique<ProgramRun>(dir, arguments, "program-2.log");
  window = run->WaitUntilReady();
  ASSERT_FALSE(window.empty()) << run->Output();
  Shot(window, "after-restart-step-edit");
  EXPECT_EQ(Save().text, saved.text);

  // The song is heard with the external reverb on.
  Press({"ctrl+7", "alt+r"});
  // Three seconds reach steps 8 and 12 of tracks 1 and 2. JACK can drop a message on a busy
  // machine, so an unbalanced take is played once more: a note-off never sent is missing twice.
  Keys("ctrl+2");
  int notesA = -1, notesB = -1;
  std::vector<float> samples;
  for (int attempt = 0; attempt < 2 && (notesA < 2 || notesB < 2); ++attempt) {
    synthA.Clear();
    synthB.Clear();
    samples = RecordProgram(*run, dir + "/song.wav", 3, [] { Keys("shift+Return"); });
    if (attempt == 0) Shot(window, "2-sessions-playing");
    Keys("space");
    int quietPolls = 0;
    size_t last = 0;
    WaitUntil(
        [&] {
          const size_t now = synthA.Received().size() + synthB.Received().size();
          quietPolls = now == last ? quietPolls + 1 : 0;
          last = now;
          notesA = CheckMidiNotes(synthA.Received(), 2, {51, 54});
          notesB = CheckMidiNotes(synthB.Received(), 15, {51, 54});
          return quietPolls >= 10 && notesA >= 2 && notesB >= 2;
        },
        10s);
  }
  EXPECT_GE(notesA, 2) << "first output unbalanced or silent";
  EXPECT_GE(notesB, 2) << "second output unbalanced or silent";

  // At the largest gain the song reaches full scale (the 16-bit stream cannot show more, so the
  // limiter itself is proved in the chain test).
  ASSERT_GT(samples.size(), 2 * 44100u) << "no recording";
  bool finite = true;
  const float peak = PeakOf(samples, &finite);
  EXPECT_TRUE(finite);
  EXPECT_GT(peak, 0.5) << "the song is hardly heard";
  EXPECT_LE(peak, 1.0f);

  Keys("ctrl+shift+q");
  EXPECT_EQ(run->WaitExit(20s), 0) << run->Output();
  EXPECT_EQ(run->Output().find("error:"), std::string::npos) << run->Output();
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(UseTestServers()) << "test servers are not running";
    setenv("JACK_NO_START_SERVER", "1", 1);  // a server that went away is not started again
    dir = MakeTempDir("e2e-demo");
    fs::copy_file(SourcePath("demo/soundfonts.dat"), dir + "/soundfonts.dat");
    fs::copy_file(SourcePath("demo/demo.dat"), dir + "/demo.dat");
  }

  std::string dir;
};

// scripts/test.sh runs this one under ThreadSanitizer.
TEST_F(ProgramTest, SpacePlaysTheDemoF1SavesAndCtrlShiftQQuits) {
  ProgramRun run(dir, {"demo"});
  ASSERT_FALSE(run.WaitUntilReady().empty()) << run.Output();
  const std::vector<float> samples = RecordProgram(run, dir + "/demo.wav", 3, [] { Keys("space"); });
  EXPECT_GT(PeakOf(samples), 0.01) << "the demo is silent";
  Keys("space");
  fs::remove(dir + "/demo.dat");
  Keys("F1");
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(dir + "/demo.dat").find("p 9 ") != std::string::npos; }, 10s));
  Keys("ctrl+shift+q");
  EXPECT_EQ(run.WaitExit(20s), 0) << run.Output();
  const std::string out = run.Output();
  EXPECT_LT(out.find("ZEMBROVANE SEQUENCER VERSION 0.92\n\n"), out.find("XInitThreads rv=")) << "banner comes first";
}

// Only a missing project may be created: a FIFO would block a plain open, a link to nothing and
// a name longer than the system allows cannot be saved.
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
  std::string project = ReadFile(dir + "/demo.dat") + "s 11 -1 0 0 0 0 0 0 0 0 0 0 0 0\n";
  for (int track = 0; track < 12; ++track) {
    project += "t " + std::to_string(track) + " 0 255\n";
    for (int step = 0; step < 256; ++step) project += "e " + std::to_string(step) + " 60 0 100 1 0\n";
  }
  WriteFile(target, project);
  fs::create_symlink("songs/" + name + ".dat", link);
  // Left by saves killed before their rename: an old one goes, a young one may be a save going on.
  const std::string stale = dir + "/songs/." + name.substr(0, 8) + ".zs-save-AbC123";
  const std::string young = dir + "/songs/." + name.substr(0, 8) + ".zs-save-XyZ789";
  WriteFile(stale, "p");
  WriteFile(young, "p");
  fs::last_write_time(stale, fs::file_time_type::clock::now() - 5min);
  fs::last_write_time(target, fs::file_time_type::clock::now() - 1h);
  const auto loaded = fs::last_write_time(target);

  ProgramRun run(dir, {name});
  ASSERT_FALSE(run.WaitUntilReady().empty()) << run.Output();
  // The soft limit only (it is lifted later): above the program's log, below the project.
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
  EXPECT_NE(ReadFile(target).find("\ne 255 60 0 100 1 0\n"), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir + "/songs"), fs::directory_iterator()), 2)
      << "temporary files left";
}

// The sound server dies under the program (a server of its own, so no other test loses it).
TEST_F(ProgramTest, QuitEndsAfterTheSoundServerDied) {
  OwnJackServer jack("zs_dying_" + std::to_string(getpid()), false);
  ASSERT_TRUE(jack.Running());
  ProgramRun run(dir, {"demo"});
  EXPECT_FALSE(run.WaitUntilReady().empty()) << run.Output();
  jack.Stop();
  Keys("ctrl+shift+q");
  EXPECT_EQ(run.WaitExit(30s), 0) << run.Output();
}

// A key held on the MIDI keyboard at SIGTERM: the note ends, then All Notes Off and pedal up.
TEST_F(ProgramTest, SigtermQuitsNormallyAndEndsTheNotesOfTheMidiOutputs) {
  // Track 0 plays on the first MIDI output, channel 4.
  WriteFile(dir + "/demo.dat",
            std::regex_replace(ReadFile(dir + "/demo.dat"), std::regex("\ni 0 ((\\S+ ){4})\\S+ \\S+ "), "\ni 0 $013 1 ",
                               std::regex_constants::format_first_only));
  const std::string id = std::to_string(getpid());
  RtMidiOut keyboard(RtMidi::UNIX_JACK, "zssigkeys" + id);
  keyboard.openVirtualPort("keys");
  JackMidiReceiver synth;
  ASSERT_TRUE(synth.Open("zssigsynth" + id, "in"));
  // JACK drops the messages of a client that misses its period: the key goes down until heard.
  const std::vector<unsigned char> down{0x90, 60, 100}, up{0x90, 60, 0};
  const auto run = StartHearingMidi(dir, {"-i", "zssigkeys" + id, "-o", "zssigsynth" + id, "demo"}, [&](ProgramRun&) {
    return Retry(4, [&] {
      keyboard.sendMessage(&up);
      std::this_thread::sleep_for(100ms);
      synth.Clear();
      keyboard.sendMessage(&down);
      return synth.WaitFor(1, 3s);
    });
  });
  ASSERT_FALSE(synth.Received().empty()) << run->Output();
  const MidiBytes on = synth.Received()[0];
  ASSERT_EQ(on[0], 0x93);
  synth.Clear();
  kill(run->Pid(), SIGTERM);
  EXPECT_EQ(run->WaitExit(20s), 0) << run->Output();
  const std::vector<MidiBytes> ending = synth.Received();
  const auto at = [&](const MidiBytes& m) { return std::find(ending.begin(), ending.end(), m) - ending.begin(); };
  const long noteOff = at({0x93, on[1], 0}), allOff = at({0xB3, 123, 0}), pedalUp = at({0xB3, 64, 0});
  EXPECT_LT(noteOff, allOff);
  EXPECT_LT(allOff, static_cast<long>(ending.size()));
  EXPECT_LT(pedalUp, static_cast<long>(ending.size()));
  keyboard.closePort();
}

// Unsaved notes come back after a mouse click, SIGTERM, or kill -9 more than 30 s after the last
// edit (the recovery file is never more than 30 s behind).
TEST_F(ProgramTest, UnsavedNotesComeBackAfterAClickASigtermAndAKill) {
  const std::string recovery = dir + "/demo.recovery.dat";
  // Pitch 84, which the demo does not use.
  const auto typeNote = [](int step) {
    for (int i = 0; i < 3; ++i) Keys("KP_Add");
    for (int i = 0; i < step; ++i) Keys("Down");
    Keys("ctrl+n");
  };
  const auto kept = [&](int step) {
    return ReadFile(recovery).find("\ne " + std::to_string(step) + " 84 ") != std::string::npos;
  };
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // The first start asks for a window larger than the screen: it is made to fit.
    const std::vector<std::string> args =
        round == 0 ? std::vector<std::string>{"-s", "3", "demo"} : std::vector<std::string>{"demo"};
    ProgramRun run(dir, args, "run" + std::to_string(round) + ".log");
    const std::string window = run.WaitUntilReady();
    ASSERT_FALSE(window.empty()) << run.Output();
    if (round == 3) {
      Keys("F1");
      ASSERT_TRUE(WaitUntil([&] { return !fs::exists(recovery); }, 10s)) << "F1 keeps the edits, the copy goes";
      Keys("ctrl+shift+q");
      EXPECT_EQ(run.WaitExit(20s), 0);
      const std::string saved = ReadFile(dir + "/demo.dat");
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
      ASSERT_TRUE(WaitUntil([&] { return kept(4); }, 45s));
      std::this_thread::sleep_for(2s);
      kill(run.Pid(), SIGKILL);
      run.WaitExit(20s);
    }
  }
}

}  // namespace
