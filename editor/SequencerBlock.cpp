// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: the CTRL K block commands of the step edit subpage (mark, copy, move, erase,
// in-place changes, undo) and the harmonic transposition of a block.
#include <algorithm>
#include <vector>

#include "editor/Sequencer.h"
#include "model/Scales.h"
#include "player/Player.h"
#include "player/Util.h"

namespace {

// The two reserved bytes of a note mark it while the offsets are randomised.
constexpr int kProcessed = 0;
constexpr int kMovedAway = 1;

enum BlockChange { ApplyTrackVelocity, RandomizeVelocity, QuantizeOffset };

}  // namespace

bool Sequencer::HandleBlockCommands(const Controls& c) {
  const int pitch = CursorPitch();
  const int step = CursorStep();
  // The commands that change notes need the block in the track being edited.
  auto needBlockHere = [this]() {
    if (BlockInCurrentTrack()) return true;
    ShowMessage("NOT SAME SESSION TRACK", true);
    ClearBlock();
    return false;
  };

  if (c.ctrlKB) {
    if (!block.complete || block.session != session || block.track != track || pitch > block.highNote ||
        step > block.lastStep) {
      ClearBlock();
      block.beginSet = true;
      block.session = session;
      block.track = track;
    }
    block.lowNote = pitch;
    block.firstStep = step;
  } else if (c.ctrlKK) {
    const bool here = block.session == session && block.track == track;
    const bool afterBegin = pitch >= block.lowNote && step >= block.firstStep;
    if (!block.beginSet) {
      ClearBlock();
    } else if (!block.complete) {
      if (here && afterBegin) {
        block.highNote = pitch;
        block.lastStep = step;
        block.complete = true;
      }
    } else if (here && afterBegin) {
      block.highNote = pitch;
      block.lastStep = step;
    } else {
      ClearBlock();
    }
  } else if (c.ctrlKC) {
    if (block.complete) {
      MarkEdit("BLOCK COPY", nullptr, true);
      CopyBlock();
    } else {
      ClearBlock();
    }
  } else if (c.ctrlKY) {
    if (BlockInCurrentTrack()) {
      MarkEdit("BLOCK ERASE", "BLOCK ERASED", true);
      std::vector<Note>& rest = scratchNotes;
      for (int s = block.firstStep; s <= block.lastStep; ++s) {
        sessions->GetNotesOutsideNoteRange(session, track, s, block.lowNote, block.highNote, rest);
        sessions->SetNotes(session, track, s, rest);
      }
    }
    ClearBlock();
  } else if (c.ctrlKH) {
    ClearBlock();
  } else if (c.ctrlKU) {
    UndoEdit(true);
  } else if (c.ctrlKM) {
    if (needBlockHere()) {
      MarkEdit("BLOCK MOVE", nullptr, true);
      MoveBlock();
    }
  } else if (c.ctrlKA) {
    int low, high, first, last;
    if (sessions->GetNotesBoundingBox(session, track, low, high, first, last)) {
      block = {.beginSet = true,
               .complete = true,
               .session = session,
               .track = track,
               .lowNote = low,
               .firstStep = first,
               .highNote = high,
               .lastStep = last};
    } else {
      ClearBlock();
    }
  } else if (c.ctrlKS || c.ctrlKR || c.ctrlKQ) {
    if (needBlockHere()) {
      MarkEdit(c.ctrlKQ ? "BLOCK QUANTIZE" : "BLOCK VELOCITY", nullptr, true);
      ChangeBlockNotes(c.ctrlKS ? ApplyTrackVelocity : (c.ctrlKR ? RandomizeVelocity : QuantizeOffset));
    }
  } else if (c.ctrlKT) {
    if (needBlockHere()) {
      MarkEdit("BLOCK OFFSETS", nullptr, true);
      RandomizeBlockOffsets();
    }
  } else if (c.ctrlKD || c.ctrlKN) {
    // Taken, so the letter does nothing else here.
  } else {
    return false;
  }
  return true;
}

void Sequencer::CopyBlock() { PlaceBlockAtCursor(false); }

void Sequencer::MoveBlock() { PlaceBlockAtCursor(true); }

void Sequencer::PlaceBlockAtCursor(bool move) {
  const int toStep = CursorStep();
  const int toPitch = CursorPitch();
  const int n = std::min(block.lastStep - block.firstStep + 1, kSteps - toStep);
  const int m = std::min(block.highNote - block.lowNote + 1, 127 - toPitch);
  const int d = toPitch - block.lowNote;
  if (n <= 0 || m <= 0) return;
  // All source steps are read (and, for a move, cleared) before anything is written: the
  // target may overlap the block.
  std::vector<std::vector<Note>> taken(n);
  std::vector<Note> rest;
  for (int i = 0; i < n; ++i) {
    const int s = block.firstStep + i;
    if (!move) {
      sessions->GetNotesInsideNoteRange(block.session, block.track, s, block.lowNote, block.lowNote + m - 1, taken[i]);
      continue;
    }
    sessions->GetNotesInsideNoteRange(session, track, s, block.lowNote, block.lowNote + m - 1, taken[i]);
    if (taken[i].empty()) continue;
    sessions->GetNotesOutsideNoteRange(session, track, s, block.lowNote, block.lowNote + m - 1, rest);
    sessions->SetNotes(session, track, s, rest);
  }
  for (int i = 0; i < n; ++i) {
    for (Note note : taken[i]) {
      const int p = note.note + d;
      if (p < 0 || p >= 127) continue;
      note.note = static_cast<uint8_t>(p);
      sessions->AddNote(session, track, toStep + i, note);
    }
  }
  if (!move) return;
  block.lowNote = std::clamp(block.lowNote + d, 0, 127);
  block.highNote = std::clamp(block.highNote + d, 0, 127);
  block.firstStep = toStep;
  block.lastStep = toStep + n - 1;
}

void Sequencer::ChangeBlockNotes(int operation) {
  std::vector<Note> inside, outside;
  const int velocity = std::clamp(sessions->GetTrackVelocity(track), 0, 127);
  for (int s = block.firstStep; s <= block.lastStep; ++s) {
    sessions->GetNotesInsideNoteRange(session, track, s, block.lowNote, block.highNote, inside);
    if (inside.empty()) continue;
    sessions->GetNotesOutsideNoteRange(session, track, s, block.lowNote, block.highNote, outside);
    for (Note& n : inside) {
      if (operation == ApplyTrackVelocity) {
        n.velocity = static_cast<uint8_t>(velocity);
      } else if (operation == RandomizeVelocity) {
        n.velocity = static_cast<uint8_t>(std::clamp(n.velocity + Rnd::GetInt(-10, 10), 0, 127));
      } else {
        n.offset = 0;
      }
    }
    inside.insert(inside.end(), outside.begin(), outside.end());
    sessions->SetNotes(session, track, s, inside);
  }
}

// Offsets move by up to 8/128 of a step either way; a note pushed over the edge of its step
// moves into the neighbouring block step, unless that step already holds its pitch or lies
// outside the block.
void Sequencer::RandomizeBlockOffsets() {
  const int first = block.firstStep;
  const int last = block.lastStep;
  std::vector<Note> notes;
  auto clearMarks = [&]() {
    for (int s = first; s <= last; ++s) {
      sessions->GetNotes(session, track, s, notes);
      if (notes.empty()) continue;
      for (Note& n : notes) n.reserved[kProcessed] = n.reserved[kMovedAway] = 0;
      sessions->SetNotes(session, track, s, notes);
    }
  };
  clearMarks();
  for (int s = first; s <= last; ++s) {
    sessions->GetNotes(session, track, s, notes);
    bool movedAny = false;
    for (Note& n : notes) {
      if (n.note < block.lowNote || n.note > block.highNote || n.reserved[kProcessed]) continue;
      n.reserved[kProcessed] = 1;
      const int o = n.offset + Rnd::GetInt(-8, 8);
      if (o >= 0 && o <= 127) {
        n.offset = static_cast<uint8_t>(o);
        continue;
      }
      const int neighbour = o < 0 ? s - 1 : s + 1;
      if (neighbour < first || neighbour > last || sessions->QueryNote(session, track, neighbour, n.note)) continue;
      Note moved = n;
      moved.offset = static_cast<uint8_t>(o < 0 ? o + 128 : o - 128);
      sessions->AddNote(session, track, neighbour, moved);
      n.reserved[kMovedAway] = 1;
      movedAny = true;
    }
    if (movedAny) {
      notes.erase(std::remove_if(notes.begin(), notes.end(), [](const Note& n) { return n.reserved[kMovedAway] != 0; }),
                  notes.end());
    }
    sessions->SetNotes(session, track, s, notes);
  }
  // The marks are only needed during the pass.
  clearMarks();
}

void Sequencer::HarmonicTransposeBlock(int degrees) {
  MarkEdit("BLOCK TRANSPOSE", nullptr, true);
  // A refused transposition leaves no block behind: a following block command must not act on
  // notes the user was just told could not move.
  const ScaleInfo info = player->GetScale();
  const ScaleNotes scale = Scales::GetScaleNotes(info.base, info.scale);
  const int count = block.lastStep - block.firstStep + 1;
  std::vector<std::vector<Note>> inside(count), outside(count);
  for (int i = 0; i < count; ++i) {
    const int s = block.firstStep + i;
    sessions->GetNotesInsideNoteRange(session, track, s, block.lowNote, block.highNote, inside[i]);
    sessions->GetNotesOutsideNoteRange(session, track, s, block.lowNote, block.highNote, outside[i]);
    if (!NotesInScale(scale, inside[i])) return ClearBlock();
  }
  int lowest = 128, highest = -1;
  for (std::vector<Note>& notes : inside) {
    if (!HarmonicTransposeNotes(scale, notes, degrees)) return ClearBlock();
    for (const Note& n : notes) {
      lowest = std::min(lowest, static_cast<int>(n.note));
      highest = std::max(highest, static_cast<int>(n.note));
    }
  }
  // A transposed note may not land on a pitch another note of its step already holds.
  for (int i = 0; i < count; ++i) {
    for (const Note& n : inside[i]) {
      for (const Note& other : outside[i]) {
        if (other.note == n.note) {
          ShowMessage("NOTE COLLISION", true);
          return ClearBlock();
        }
      }
    }
  }
  if (highest < 0) return;
  for (int i = 0; i < count; ++i) {
    if (inside[i].empty()) continue;
    inside[i].insert(inside[i].end(), outside[i].begin(), outside[i].end());
    sessions->SetNotes(session, track, block.firstStep + i, inside[i]);
  }
  block.lowNote = lowest;
  block.highNote = highest;
}
