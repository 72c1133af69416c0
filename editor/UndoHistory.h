// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "model/SessionsStore.h"
#include "project/SongSettings.h"

class Player;

// The editor's undo history. An entry is one change of the song: the steps it touched as
// they were before (the song model journals each step's first change) and, when they
// changed, the song's settings before it. Undo and redo swap an entry with the song, so the
// same entry then holds what to redo. Sequencer thread only.
class UndoHistory {
 public:
  // Bounds on what is kept; the oldest entries go first, the newest always stays.
  static constexpr size_t kMaxEntries = 1000;
  static constexpr size_t kMaxBytes = size_t{128} << 20;

  UndoHistory() = default;
  UndoHistory(const UndoHistory&) = delete;
  UndoHistory& operator=(const UndoHistory&) = delete;

  // Starts over from the player's song as it is now: nothing to undo, and the song counts
  // as saved.
  void Attach(Player* player);
  bool Attached() const { return player != nullptr; }
  // Forgets everything and stops the song model's journal.
  void Detach();
  // Turns what changed since the last commit into one entry named `label`; `block` marks the
  // block commands that CTRL K U takes back. Drops whatever could have been redone. True
  // when there was a change.
  bool Commit(const std::string& label, bool block = false);
  // Take back or bring back one committed entry; false when there is none. `label` names it.
  bool Undo(std::string& label);
  bool Redo(std::string& label);
  bool LastIsBlock() const { return position > 0 && entries[position - 1].block; }

  // The song differs from what was last saved or loaded.
  bool Dirty() const { return CurrentId() != savedId; }
  void MarkSaved() { savedId = CurrentId(); }
  void MarkUnsaved() { savedId = kNoState; }
  // Names the song's present state: equal ids mean equal songs.
  uint64_t CurrentId() const { return position > 0 ? entries[position - 1].id : baseId; }

  size_t Entries() const { return entries.size(); }
  size_t Bytes() const { return bytes; }

 private:
  static constexpr uint64_t kNoState = ~uint64_t{0};
  struct Entry {
    std::string label;
    bool block = false;
    uint64_t id = 0;
    StepImages steps;
    std::unique_ptr<SongSettings> settings;  // null when the settings did not change
  };
  static size_t EntryBytes(const Entry& e);
  void Swap(Entry& e);

  Player* player = nullptr;
  SongSettings committed;  // the settings as of the last commit, undo or redo
  SongSettings scratch;
  std::deque<Entry> entries;
  size_t position = 0;  // entries before this one are applied
  uint64_t nextId = 1;
  uint64_t baseId = 0;  // the state before the oldest entry kept
  uint64_t savedId = 0;
  size_t bytes = 0;
};
