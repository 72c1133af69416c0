#include "tests/project/ProjectTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "tests/support/Sf2Writer.h"
#include "tests/support/SoundTestUtil.h"
#include "tests/support/TestServers.h"

namespace zs::test {

SFOutput& SharedSynth() {
  static SFOutput* synth = [] {
    UseNoAudioDevice();
    std::string dir = MakeTempDir("project-soundfonts");
    std::string second = dir + "/Second Font.sf2";
    EXPECT_TRUE(WriteSf2(second, {{"Sine A", 0, 0}, {"Sine B", 0, 5}, {"Pad", 8, 1}, {"Kit", 128, 0}}));
    auto* sf = new SFOutput();
    std::string out;
    EXPECT_TRUE(InitCapturingOutput(*sf, {kTimGM6mb, second}, {0.2, 0.2}, out)) << out;
    return sf;
  }();
  return *synth;
}

void ProjectRig::Add(int session, int track, int step, int note, int offset, int gate, int fraction, int velocity) {
  Note n;
  n.note = static_cast<uint8_t>(note);
  n.offset = static_cast<uint8_t>(offset);
  n.gate = static_cast<uint8_t>(gate);
  n.gateFraction = static_cast<uint8_t>(fraction);
  n.velocity = static_cast<uint8_t>(velocity);
  store->AddNote(session, track, step, n);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::string Captured(const std::function<void()>& f) {
  fflush(stdout);
  testing::internal::CaptureStdout();
  f();
  fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

namespace {

const double kReverbMin[kExternalParams] = {20, 50, 1, 1, 1500, 40, -15, 160, -15, -1, -70};
const double kReverbMax[kExternalParams] = {100, 1000, 8, 8, 23520, 2500, 15, 10000, 15, 1, 40};

std::string G(double v) {
  char buffer[32];
  snprintf(buffer, sizeof(buffer), "%g", v);
  return buffer;
}

}  // namespace

void FillRandomProject(ProjectRig& rig, SFOutput& synth, uint32_t seed, double density) {
  std::mt19937 rng(seed);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto real = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  auto chance = [&](double p) { return std::bernoulli_distribution(p)(rng); };
  Player& player = *rig.player;
  SessionsStore& store = *rig.store;

  player.SetBPM(uniform(1, 255));
  player.SetNoteQuantization(chance(0.5));
  player.SetGateQuantization(chance(0.5));
  player.SetScale(ScaleInfo{static_cast<Scale>(uniform(0, 15)), static_cast<BaseNote>(uniform(0, 11))});
  for (int s = 0; s < kSessions; ++s) {
    const bool withNotes = chance(0.75);
    store.SetSingle(s, chance(0.3) ? uniform(0, 11) : -1);
    for (int t = 0; t < kTracks; ++t) {
      store.SetMuted(s, t, chance(0.3));
      if (chance(0.5)) {
        int start = uniform(0, 255);
        store.SetStartEndSteps(s, t, start, uniform(start, 255));
      }
      if (!withNotes) continue;
      for (int step = 0; step < kSteps; ++step) {
        if (!chance(density)) continue;
        std::set<int> keys;
        for (int k = uniform(1, 4); k > 0; --k) {
          int key = uniform(0, 127);
          if (!keys.insert(key).second) continue;
          rig.Add(s, t, step, key, uniform(0, 127), uniform(0, 255), uniform(0, 255), uniform(0, 127));
        }
      }
    }
  }

  // The song runs through sessions with notes; its lengths are those of the sessions, as the
  // editor sets them.
  Song song;
  for (int i = uniform(0, 15); i > 0; --i) {
    int s = uniform(0, 11);
    if (!store.IsEmpty(s)) song.push_back(SongPart{s, store.GetSessionLength(s)});
  }
  player.SetSong(song);

  // Shared per soundfont, as the effects subpages keep them.
  int reverb[2][4], chorus[2][5];
  for (int sf = 0; sf < 2; ++sf) {
    for (int& r : reverb[sf]) r = uniform(0, 100);
    chorus[sf][0] = uniform(0, 99);
    chorus[sf][1] = uniform(0, 100);
    chorus[sf][2] = uniform(1, 50);
    chorus[sf][3] = uniform(0, 21);
    chorus[sf][4] = uniform(0, 1);
  }
  const std::vector<Instruments>& lists = *synth.GetSFInstruments();
  for (int t = 0; t < kTracks; ++t) {
    int sf = uniform(0, 1);
    int bankIndex = uniform(0, static_cast<int>(lists[sf].banks.size()) - 1);
    int programIndex = uniform(0, static_cast<int>(lists[sf].banks[bankIndex].progs.size()) - 1);
    EXPECT_TRUE(synth.SetInstrumentFromIndex(t, sf, bankIndex, programIndex));
    store.SetTrackVelocity(t, uniform(0, 127));
    store.SetTrackVelocityFixed(t, chance(0.5));
    store.SetTrackVolume(t, uniform(0, 127));
    store.SetTrackPan(t, uniform(0, 127));
    store.SetTrackChannel(t, uniform(0, 15));
    store.SetTrackOutput(t, uniform(0, 2));
    store.SetTrackPitch(t, uniform(0, 127));
    store.SetTrackLayer(t, uniform(0, 11));
    store.SetTrackReverbEnabled(t, chance(0.5));
    store.SetTrackReverb(t, reverb[sf][0], reverb[sf][1], reverb[sf][2], reverb[sf][3]);
    store.SetTrackChorusEnabled(t, chance(0.5));
    store.SetTrackChorus(t, chorus[sf][0], chorus[sf][1], chorus[sf][2], chorus[sf][3], chorus[sf][4]);
    double params[kExternalParams];
    for (int k = 0; k < kExternalParams; ++k) params[k] = real(kReverbMin[k], kReverbMax[k]);
    store.SetTrackExternalReverbEnabled(t, chance(0.5));
    store.SetTrackExternalReverb(t, params);
    params[0] = real(0, 4);
    for (int k = 1; k < kExternalParams; ++k) params[k] = real(-12, 12);
    store.SetTrackExternalEqualizerEnabled(t, chance(0.5));
    store.SetTrackExternalEqualizer(t, params);
  }
}

std::string Describe(const ProjectRig& rig, const SFOutput& synth) {
  const Player& player = *rig.player;
  const SessionsStore& store = *rig.store;
  std::ostringstream out;
  out << "tempo " << player.GetBPM() << " quantization " << player.GetNoteQuantization() << " "
      << player.GetGateQuantization() << " scale " << player.GetScale().scale << " " << player.GetScale().base << "\n";
  for (const SongPart& part : player.GetSong()) out << "part " << part.session << " " << part.length << "\n";
  std::vector<Note> notes;
  for (int s = 0; s < kSessions; ++s) {
    if (store.IsEmpty(s)) continue;
    out << "session " << s << " solo " << store.GetSingle(s) << "\n";
    for (int t = 0; t < kTracks; ++t) {
      int start, end;
      store.GetStartEndSteps(s, t, start, end);
      out << " track " << t << " muted " << store.GetMuted(s, t) << " range " << start << ".." << end << "\n";
      for (int step = 0; step < kSteps; ++step) {
        store.GetNotes(s, t, step, notes);
        for (const Note& n : notes) {
          out << "  " << step << ": " << +n.note << " o" << +n.offset << " v" << +n.velocity << " g" << +n.gate << "+"
              << +n.gateFraction << "\n";
        }
      }
    }
  }
  for (int t = 0; t < kTracks; ++t) {
    int r[4], c[5];
    store.GetTrackReverb(t, r[0], r[1], r[2], r[3]);
    store.GetTrackChorus(t, c[0], c[1], c[2], c[3], c[4]);
    TrackInstrument inst = synth.GetInstrument(t);
    out << "attribs " << t << " velocity " << store.GetTrackVelocity(t) << " fixed " << store.GetTrackVelocityFixed(t)
        << " volume " << store.GetTrackVolume(t) << " pan " << store.GetTrackPan(t) << " channel "
        << store.GetTrackChannel(t) << " output " << store.GetTrackOutput(t) << " pitch " << store.GetTrackPitch(t)
        << " layer " << store.GetTrackLayer(t) << "\n  reverb " << store.GetTrackReverbEnabled(t) << " " << r[0]
        << " " << r[1] << " " << r[2] << " " << r[3] << " chorus " << store.GetTrackChorusEnabled(t) << " " << c[0]
        << " " << c[1] << " " << c[2] << " " << c[3] << " " << c[4] << "\n  instrument " << inst.soundfont << " "
        << inst.bankIndex << " " << inst.programIndex << " " << inst.bank << " " << inst.program << "\n";
    double p[kExternalParams];
    store.GetTrackExternalReverb(t, p);
    out << "  external reverb " << store.GetTrackExternalReverbEnabled(t);
    for (double v : p) out << " " << G(v);
    store.GetTrackExternalEqualizer(t, p);
    out << "\n  external equalizer " << store.GetTrackExternalEqualizerEnabled(t);
    for (double v : p) out << " " << G(v);
    out << "\n";
  }
  return out.str();
}

std::string Inconsistencies(const ProjectRig& rig) {
  const Player& player = *rig.player;
  const SessionsStore& store = *rig.store;
  std::ostringstream out;
  auto check = [&](bool ok, const std::string& what) {
    if (!ok) out << what << "\n";
  };
  check(player.GetBPM() >= 1 && player.GetBPM() <= 255, "tempo " + std::to_string(player.GetBPM()));
  check(player.GetScale().scale >= 0 && player.GetScale().scale < 16, "scale");
  check(player.GetScale().base >= 0 && player.GetScale().base < 12, "base");
  Song song = player.GetSong();
  check(song.size() <= 15, "song of " + std::to_string(song.size()) + " parts");
  for (const SongPart& part : song) {
    check(part.session >= 0 && part.session < kSessions, "song session " + std::to_string(part.session));
    if (part.session >= 0 && part.session < kSessions) {
      check(part.length == store.GetSessionLength(part.session), "song part length");
    }
  }
  std::vector<Note> notes;
  for (int s = 0; s < kSessions; ++s) {
    check(store.GetSingle(s) >= -1 && store.GetSingle(s) < kTracks, "solo track");
    for (int t = 0; t < kTracks; ++t) {
      int start, end;
      store.GetStartEndSteps(s, t, start, end);
      check(0 <= start && start <= end && end < kSteps, "range " + std::to_string(start) + ".." + std::to_string(end));
      for (int step = 0; step < kSteps; ++step) {
        store.GetNotes(s, t, step, notes);
        check(store.IsEmpty(s, t, step) == notes.empty(), "empty step with a record");
        std::set<int> keys;
        for (size_t i = 0; i < notes.size(); ++i) {
          check(notes[i].note <= 127 && notes[i].offset <= 127 && notes[i].velocity <= 127, "note values");
          check(keys.insert(notes[i].note).second, "two notes of one key in a step");
          if (i > 0) check(!compareOffsetsThenNotesAscending(notes[i], notes[i - 1]), "step not sorted");
        }
      }
    }
  }
  for (int t = 0; t < kTracks; ++t) {
    auto in = [](int v, int lo, int hi) { return lo <= v && v <= hi; };
    check(in(store.GetTrackVelocity(t), 0, 127) && in(store.GetTrackVolume(t), 0, 127) &&
              in(store.GetTrackPan(t), 0, 127) && in(store.GetTrackPitch(t), 0, 127) &&
              in(store.GetTrackChannel(t), 0, 15) && in(store.GetTrackOutput(t), 0, 2) &&
              in(store.GetTrackLayer(t), 0, 11),
          "attributes of track " + std::to_string(t));
    int r[4], c[5];
    store.GetTrackReverb(t, r[0], r[1], r[2], r[3]);
    store.GetTrackChorus(t, c[0], c[1], c[2], c[3], c[4]);
    check(in(r[0], 0, 100) && in(r[1], 0, 100) && in(r[2], 0, 100) && in(r[3], 0, 100), "reverb");
    check(in(c[0], 0, 99) && in(c[1], 0, 100) && in(c[2], 1, 50) && in(c[3], 0, 21) && in(c[4], 0, 1), "chorus");
    // External effect values are only as good as the store's defaults (all 0) until the
    // synthesizer's effect chain reports them; the tests of the "i" line check their limits.
  }
  return out.str();
}

}  // namespace zs::test
