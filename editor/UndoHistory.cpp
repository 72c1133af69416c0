// SPDX-License-Identifier: LGPL-2.1-or-later
#include "editor/UndoHistory.h"

#include "model/Check.h"
#include "player/Player.h"

void UndoHistory::Attach(Player* p) {
  player = p;
  entries.clear();
  position = 0;
  bytes = 0;
  baseId = savedId = nextId++;
  SessionsStore* store = player->GetSessions();
  store->SetJournaling(true);
  StepImages discarded;
  store->TakeChanges(discarded);
  CaptureSettings(*player, committed);
}

void UndoHistory::Detach() {
  if (player) player->GetSessions()->SetJournaling(false);
  player = nullptr;
  entries.clear();
  position = bytes = 0;
}

size_t UndoHistory::EntryBytes(const Entry& e) {
  size_t n = sizeof(Entry) + e.label.capacity() + e.steps.Bytes();
  if (e.settings) n += sizeof(SongSettings) + e.settings->song.capacity() * sizeof(SongPart);
  return n;
}

bool UndoHistory::Commit(const std::string& label, bool block) {
  if (!player) return false;
  Entry e;
  player->GetSessions()->TakeChanges(e.steps);
  CaptureSettings(*player, scratch);
  const bool settingsChanged = !(scratch == committed);
  if (e.steps.Empty() && !settingsChanged) return false;
  if (settingsChanged) {
    e.settings = std::make_unique<SongSettings>(committed);
    committed = scratch;
  }
  e.label = label;
  e.block = block;
  e.id = nextId++;

  while (entries.size() > position) {
    bytes -= EntryBytes(entries.back());
    entries.pop_back();
  }
  bytes += EntryBytes(e);
  entries.push_back(std::move(e));
  ++position;
  while (entries.size() > 1 && (entries.size() > kMaxEntries || bytes > kMaxBytes)) {
    baseId = entries.front().id;
    bytes -= EntryBytes(entries.front());
    entries.pop_front();
    --position;
  }
  // Every edit ends here: pools in balance and notes sorted in each step, or the fault is near.
  ZS_CHECK(player->GetSessions()->Consistent());
  return true;
}

void UndoHistory::Swap(Entry& e) {
  const size_t before = EntryBytes(e);
  player->GetSessions()->SwapSteps(e.steps);
  if (e.settings) {
    CaptureSettings(*player, scratch);
    ApplySettings(*player, *e.settings);
    *e.settings = scratch;
  }
  CaptureSettings(*player, committed);
  bytes = bytes - before + EntryBytes(e);
  ZS_CHECK(player->GetSessions()->Consistent());
}

bool UndoHistory::Undo(std::string& label) {
  if (!player || position == 0) return false;
  Entry& e = entries[position - 1];
  Swap(e);
  --position;
  label = e.label;
  return true;
}

bool UndoHistory::Redo(std::string& label) {
  if (!player || position == entries.size()) return false;
  Entry& e = entries[position];
  Swap(e);
  ++position;
  label = e.label;
  return true;
}
