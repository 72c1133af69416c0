// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/project/ProjectTestSupport.h"

#include <gtest/gtest.h>

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
    std::string second = MakeTempDir("project-soundfonts") + "/Second Font.sf2";
    EXPECT_TRUE(WriteSf2(second, {{"Sine A", 0, 0}, {"Sine B", 0, 5}, {"Pad", 8, 1}, {"Kit", 128, 0}}));
    auto* sf = new SFOutput();
    std::string out;
    EXPECT_TRUE(InitCapturingOutput(*sf, {kTimGM6mb, second}, {0.2, 0.2}, out)) << out;
    return sf;
  }();
  return *synth;
}

void FillRandomProject(ProjectRig& rig, SFOutput& synth, uint32_t seed, double density) {
  std::mt19937 rng(seed);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto real = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  auto chance = [&](double p) { return std::bernoulli_distribution(p)(rng); };
  SessionsStore& store = *rig.store;
  rig.player->SetBPM(uniform(1, 255));
  rig.player->SetNoteQuantization(chance(0.5));
  rig.player->SetGateQuantization(chance(0.5));
  rig.player->SetScale(ScaleInfo{static_cast<Scale>(uniform(0, 15)), static_cast<BaseNote>(uniform(0, 11))});
  for (int s = 0; s < kSessions; ++s) {
    const bool withNotes = chance(0.75);
    store.SetSingle(s, chance(0.3) ? uniform(0, 11) : -1);
    for (int t = 0; t < kTracks; ++t) {
      store.SetMuted(s, t, chance(0.3));
      int start = uniform(0, 255);
      if (chance(0.5)) store.SetStartEndSteps(s, t, start, uniform(start, 255));
      for (int step = 0; withNotes && step < kSteps; ++step) {
        for (int k = chance(density) ? uniform(1, 4) : 0; k > 0; --k) {
          int key = uniform(0, 127);
          if (!store.QueryNote(s, t, step, key)) {
            rig.Add(s, t, step, key, uniform(0, 127), uniform(0, 255), uniform(0, 255), uniform(0, 127));
          }
        }
      }
    }
  }
  Song song;
  for (int i = uniform(0, 15); i > 0; --i) {
    int s = uniform(0, 11);
    if (!store.IsEmpty(s)) song.push_back(SongPart{s, store.GetSessionLength(s)});
  }
  rig.player->SetSong(song);

  int effects[2][9];  // reverb and chorus of each soundfont
  const int high[9] = {100, 100, 100, 100, 99, 100, 50, 21, 1};
  for (auto& e : effects) {
    for (int k = 0; k < 9; ++k) e[k] = uniform(k == 6 ? 1 : 0, high[k]);
  }
  const double low[kExternalParams] = {20, 50, 1, 1, 1500, 40, -15, 160, -15, -1, -70};
  const double top[kExternalParams] = {100, 1000, 8, 8, 23520, 2500, 15, 10000, 15, 1, 40};
  for (int t = 0; t < kTracks; ++t) {
    const int sf = uniform(0, 1);
    const auto& banks = (*synth.GetSFInstruments())[sf].banks;
    int bank = uniform(0, static_cast<int>(banks.size()) - 1);
    EXPECT_TRUE(synth.SetInstrumentFromIndex(t, sf, bank, uniform(0, static_cast<int>(banks[bank].progs.size()) - 1)));
    store.SetTrackVelocity(t, uniform(0, 127));
    store.SetTrackVelocityFixed(t, chance(0.5));
    store.SetTrackVolume(t, uniform(0, 127));
    store.SetTrackPan(t, uniform(0, 127));
    store.SetTrackChannel(t, uniform(0, 15));
    store.SetTrackOutput(t, uniform(0, 2));
    store.SetTrackPitch(t, uniform(0, 127));
    store.SetTrackLayer(t, uniform(0, 11));
    const int* e = effects[sf];
    store.SetTrackReverbEnabled(t, chance(0.5));
    store.SetTrackReverb(t, e[0], e[1], e[2], e[3]);
    store.SetTrackChorusEnabled(t, chance(0.5));
    store.SetTrackChorus(t, e[4], e[5], e[6], e[7], e[8]);
    double p[kExternalParams];
    for (int k = 0; k < kExternalParams; ++k) p[k] = real(low[k], top[k]);
    store.SetTrackExternalReverbEnabled(t, chance(0.5));
    store.SetTrackExternalReverb(t, p);
    for (int k = 0; k < kExternalParams; ++k) p[k] = k == 0 ? real(0, 4) : real(-12, 12);
    store.SetTrackExternalEqualizerEnabled(t, chance(0.5));
    store.SetTrackExternalEqualizer(t, p);
  }
}

std::string Describe(const ProjectRig& rig, const SFOutput& synth) {
  const SessionsStore& store = *rig.store;
  std::ostringstream out;
  out << "tempo " << rig.player->GetBPM() << " flags " << rig.player->GetNoteQuantization()
      << rig.player->GetGateQuantization() << " scale " << rig.player->GetScale().scale << " "
      << rig.player->GetScale().base << "\nsong";
  for (const SongPart& part : rig.player->GetSong()) out << " " << part.session << ":" << part.length;
  std::vector<Note> notes;
  for (int s = 0; s < kSessions; ++s) {
    for (int t = 0; t < kTracks && !store.IsEmpty(s); ++t) {
      int start, end;
      store.GetStartEndSteps(s, t, start, end);
      out << "\nsession " << s << " solo " << store.GetSingle(s) << " track " << t << " muted "
          << store.GetMuted(s, t) << " range " << start << ".." << end << ":";
      for (int step = 0; step < kSteps; ++step) {
        store.GetNotes(s, t, step, notes);
        for (const Note& n : notes) {
          out << " " << step << "/" << +n.note << "/" << +n.offset << "/" << +n.velocity << "/" << +n.gate << "/"
              << +n.gateFraction;
        }
      }
    }
  }
  for (int t = 0; t < kTracks; ++t) {
    int v[9];
    store.GetTrackReverb(t, v[0], v[1], v[2], v[3]);
    store.GetTrackChorus(t, v[4], v[5], v[6], v[7], v[8]);
    TrackInstrument i = synth.GetInstrument(t);
    out << "\ntrack " << t << ": " << store.GetTrackVelocity(t) << " " << store.GetTrackVelocityFixed(t) << " "
        << store.GetTrackVolume(t) << " " << store.GetTrackPan(t) << " " << store.GetTrackChannel(t) << " "
        << store.GetTrackOutput(t) << " " << store.GetTrackPitch(t) << " " << store.GetTrackLayer(t) << " fx "
        << store.GetTrackReverbEnabled(t) << store.GetTrackChorusEnabled(t);
    for (int x : v) out << " " << x;
    out << " instrument " << i.soundfont << " " << i.bankIndex << " " << i.programIndex << " " << i.bank << " "
        << i.program << " external " << store.GetTrackExternalReverbEnabled(t)
        << store.GetTrackExternalEqualizerEnabled(t);
    double p[2 * kExternalParams];
    store.GetTrackExternalReverb(t, p);
    store.GetTrackExternalEqualizer(t, p + kExternalParams);
    char g[32];
    for (double x : p) out << " " << (snprintf(g, sizeof(g), "%g", x), g);
  }
  return out.str();
}

std::string Inconsistencies(const ProjectRig& rig) {
  const SessionsStore& store = *rig.store;
  std::ostringstream out;
  auto in = [](int v, int lo, int hi) { return lo <= v && v <= hi; };
  auto check = [&](bool ok, const std::string& what) { out << (ok ? "" : what + "\n"); };
  check(in(rig.player->GetBPM(), 1, 255) && in(rig.player->GetScale().scale, 0, 15) &&
            in(rig.player->GetScale().base, 0, 11) && rig.player->GetSong().size() <= 15,
        "tempo, scale or song size");
  for (const SongPart& part : rig.player->GetSong()) {
    check(in(part.session, 0, 11) && part.length == store.GetSessionLength(part.session), "song part");
  }
  std::vector<Note> notes;
  for (int s = 0; s < kSessions; ++s) {
    check(in(store.GetSingle(s), -1, 11), "solo track");
    for (int t = 0; t < kTracks; ++t) {
      int start, end;
      store.GetStartEndSteps(s, t, start, end);
      check(in(start, 0, end) && in(end, start, 255), "range");
      for (int step = 0; step < kSteps; ++step) {
        store.GetNotes(s, t, step, notes);
        std::set<int> keys;
        for (size_t i = 0; i < notes.size(); ++i) {
          check(notes[i].note <= 127 && notes[i].offset <= 127 && notes[i].velocity <= 127, "note values");
          check(keys.insert(notes[i].note).second, "two notes of one key in a step");
          check(i == 0 || !compareOffsetsThenNotesAscending(notes[i], notes[i - 1]), "step not sorted");
        }
      }
    }
  }
  for (int t = 0; t < kTracks; ++t) {
    int v[9];
    store.GetTrackReverb(t, v[0], v[1], v[2], v[3]);
    store.GetTrackChorus(t, v[4], v[5], v[6], v[7], v[8]);
    check(in(store.GetTrackVelocity(t), 0, 127) && in(store.GetTrackVolume(t), 0, 127) &&
              in(store.GetTrackPan(t), 0, 127) && in(store.GetTrackPitch(t), 0, 127) &&
              in(store.GetTrackChannel(t), 0, 15) && in(store.GetTrackOutput(t), 0, 2) &&
              in(store.GetTrackLayer(t), 0, 11) && in(v[0], 0, 100) && in(v[1], 0, 100) && in(v[2], 0, 100) &&
              in(v[3], 0, 100) && in(v[4], 0, 99) && in(v[5], 0, 100) && in(v[6], 1, 50) && in(v[7], 0, 21) &&
              in(v[8], 0, 1),
          "attributes of track " + std::to_string(t));
  }
  return out.str();
}

}  // namespace zs::test
