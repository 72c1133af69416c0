// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// A player over a real song model whose every sent message is recorded through the player's
// observer; the synthesizer and MIDI outputs are attached only where a test needs them.
#include <array>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "player/Player.h"

namespace zs::test {

struct PlayerRig {
  std::unique_ptr<SessionsStore> store = std::make_unique<SessionsStore>();
  std::unique_ptr<Player> player;
  std::vector<SentNote> sent;

  explicit PlayerRig(SFOutput* synth = nullptr, MidiOutput* out1 = nullptr, MidiOutput* out2 = nullptr,
                     bool launchpad = false, bool layering = true) {
    player = std::make_unique<Player>(store.get(), synth, out1, out2, false, launchpad, layering);
    player->SetSendObserver([this](const SentNote& n) { sent.push_back(n); });
  }

  void Add(int session, int track, int step, int note, int offset = 0, int gate = 1, int fraction = 0,
           int velocity = 100) {
    Note n;
    n.note = static_cast<uint8_t>(note);
    n.offset = static_cast<uint8_t>(offset);
    n.gate = static_cast<uint8_t>(gate);
    n.gateFraction = static_cast<uint8_t>(fraction);
    n.velocity = static_cast<uint8_t>(velocity);
    store->AddNote(session, track, step, n);
  }

  std::vector<int> NotesOn() {
    std::vector<int> notes;
    for (const SentNote& s : sent) {
      if (s.on) notes.push_back(s.note);
    }
    return notes;
  }

  // The note-ons sent, as (track, note, velocity).
  std::vector<std::array<int, 3>> Starts() const {
    std::vector<std::array<int, 3>> starts;
    for (const SentNote& s : sent) {
      if (s.on) starts.push_back({s.track, s.note, s.velocity});
    }
    return starts;
  }

  bool Ended(int note) const {
    for (const SentNote& s : sent) {
      if (!s.on && s.note == note) return true;
    }
    return false;
  }

  // Replays the sent messages as a receiver would: a note-on makes a key sound, a note-off
  // ends it. Returns the keys still sounding (destination, channel or track, note).
  std::vector<std::tuple<int, int, int>> Hanging() const {
    std::map<std::tuple<int, int, int>, int> sounding;
    for (const SentNote& s : sent) {
      auto key = std::make_tuple(s.destination, s.destination == 0 ? s.track : s.channel, s.note);
      if (s.on) {
        ++sounding[key];
      } else {
        sounding[key] = 0;
      }
    }
    std::vector<std::tuple<int, int, int>> hanging;
    for (auto& [key, count] : sounding) {
      if (count > 0) hanging.push_back(key);
    }
    return hanging;
  }
};

}  // namespace zs::test
