// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// A player over a real song model that records every message it sends.
#include <algorithm>
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
    const auto byte = [](int value) { return static_cast<uint8_t>(value); };
    store->AddNote(session, track, step, Note{byte(note), byte(velocity), byte(gate), byte(fraction), byte(offset)});
  }

  // The note-ons sent, as (track, note, velocity).
  std::vector<std::array<int, 3>> Starts() const {
    std::vector<std::array<int, 3>> starts;
    for (const SentNote& s : sent) {
      if (s.on) starts.push_back({s.track, s.note, s.velocity});
    }
    return starts;
  }

  std::vector<int> NotesOn() const {
    std::vector<int> notes;
    for (const auto& start : Starts()) notes.push_back(start[1]);
    return notes;
  }

  bool Ended(int note) const {
    return std::any_of(sent.begin(), sent.end(), [&](const SentNote& s) { return !s.on && s.note == note; });
  }

  // The keys (destination, channel or track, note) left sounding for a receiver of the sent messages.
  std::vector<std::tuple<int, int, int>> Hanging() const {
    std::map<std::tuple<int, int, int>, int> sounding;
    for (const SentNote& s : sent) {
      auto key = std::make_tuple(s.destination, s.destination == 0 ? s.track : s.channel, s.note);
      sounding[key] = s.on ? sounding[key] + 1 : 0;
    }
    std::vector<std::tuple<int, int, int>> hanging;
    for (auto& [key, count] : sounding) {
      if (count > 0) hanging.push_back(key);
    }
    return hanging;
  }
};

}  // namespace zs::test
