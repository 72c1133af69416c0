// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: keys of the step edit subpage (notes, lines, ranges, loop, value editors). The
// block commands live in SequencerBlock.cpp and run first.
#include <algorithm>
#include <cstdio>
#include <string>

#include "editor/Sequencer.h"
#include "model/Scales.h"
#include "player/Player.h"
#include "sound/SFOutput.h"

namespace {

// Cursor keys act only in frames in which a press of them arrived; repeats count.
int Count(int presses) { return std::max(1, presses); }

int Clamp(int v, int lo, int hi) { return std::min(hi, std::max(lo, v)); }

// 0 -> 32 -> 64 -> 96 -> 0; anything off that cycle starts it again at 0.
uint8_t NextQuarter(uint8_t v) {
  switch (v) {
    case 0: return 32;
    case 32: return 64;
    case 64: return 96;
    default: return 0;
  }
}

}  // namespace

bool Sequencer::CursorNote(Note& out) const {
  const int pitch = CursorPitch();
  if (pitch > 127) return false;
  std::vector<Note> notes;
  sessions->GetNotes(session, track, CursorStep(), notes);
  for (const Note& n : notes) {
    if (n.note == pitch) {
      out = n;
      return true;
    }
  }
  return false;
}

bool Sequencer::HandleAttributeEditor(double, Controls& c) {
  // Writes the typed number into the field; numbers above a MIDI byte are dropped.
  auto commit = [this]() {
    Note n;
    if (!attribEdit.buffer.empty() && CursorNote(n)) {
      const int value = std::stoi(attribEdit.buffer);
      if (value < 128) {
        uint8_t* fields[4] = {&n.gate, &n.gateFraction, &n.velocity, &n.offset};
        *fields[Clamp(attribEdit.field, 0, 3)] = static_cast<uint8_t>(value);
        sessions->AddNote(session, track, CursorStep(), n);
      }
    }
    attribEdit.buffer.clear();
  };

  const bool toggle = c.deletePressed || c.ctrlReturn;
  if (!attribEdit.active) {
    Note n;
    if (!toggle || mirror.playing || !CursorNote(n)) return false;
    attribEdit.active = true;
    attribEdit.buffer.clear();
    return true;
  }
  if (toggle) {
    commit();
    attribEdit.active = false;
    return true;
  }
  if (c.returnPressed) {
    commit();
    attribEdit.active = false;
    printf("END note editing\n");
    return true;
  }
  for (int d = 0; d < 10; ++d) {
    if (c.digitPressed[d] && attribEdit.buffer.size() < 3) attribEdit.buffer.push_back(static_cast<char>('0' + d));
  }
  if (c.backspacePressed && !attribEdit.buffer.empty()) attribEdit.buffer.pop_back();
  int field = attribEdit.field;
  if (c.leftCount > 0) {
    field -= c.leftCount;
    if (field < 0) field = 3;
  } else if (c.rightCount > 0) {
    field += c.rightCount;
    if (field > 3) field = 0;
  }
  if (field != attribEdit.field) {
    commit();
    attribEdit.field = field;
  }
  return true;
}

void Sequencer::HandleStepEdit(const Controls& c) {
  if (HandleBlockCommands(c)) return;
  if (HandleCursorNoteKeys(c)) return;
  if (HandleClipboardKeys(c)) return;
  if (HandleLineKeys(c)) return;
  if (HandlePlayKeys(c)) return;
  if (HandleTransposeKeys(c)) return;
  HandleCursorKeys(c);
}

// From CTRL N to SHIFT LEFT: writing, deleting and changing the note under the cursor, dragging
// it and finding notes.
bool Sequencer::HandleCursorNoteKeys(const Controls& c) {
  const int step = CursorStep();
  const int pitch = CursorPitch();
  Note n;
  const bool hasNote = CursorNote(n);
  auto write = [&]() { sessions->AddNote(session, track, step, n); };

  if (c.ctrlN) {
    MarkEdit("ADD NOTE");
    if (pitch <= 127) {
      Note fresh{};
      fresh.note = static_cast<uint8_t>(pitch);
      fresh.velocity = static_cast<uint8_t>(Clamp(sessions->GetTrackVelocity(track), 0, 127));
      fresh.gate = 1;
      sessions->AddNote(session, track, step, fresh);
    }
    return true;
  }
  if (c.ctrlX) {
    MarkEdit("DELETE NOTE", "NOTE DELETED");
    if (hasNote) sessions->DeleteNote(session, track, step, pitch);
    return true;
  }
  if (c.shiftO || c.shiftF) {
    uint8_t& field = c.shiftO ? n.offset : n.gateFraction;
    field = NextQuarter(field);
    if (hasNote) write();
    return true;
  }
  // Attribute keys in their order of precedence: the field and the direction of each.
  struct AttribKey {
    bool held;
    int32_t presses;
    uint8_t Note::*field;
    int sign;
  };
  const AttribKey attribKeys[] = {
      {c.altDownHeld, c.downCount, &Note::gate, 1},
      {c.altUpHeld, c.upCount, &Note::gate, -1},
      {c.altShiftLeftHeld, c.leftCount, &Note::velocity, -1},
      {c.altShiftRightHeld, c.rightCount, &Note::velocity, 1},
      {c.altShiftUpHeld, c.upCount, &Note::offset, -1},
      {c.altShiftDownHeld, c.downCount, &Note::offset, 1},
      {c.altLeftHeld, c.leftCount, &Note::gateFraction, -1},
      {c.altRightHeld, c.rightCount, &Note::gateFraction, 1},
  };
  for (const AttribKey& k : attribKeys) {
    if (!k.held || k.presses <= 0) continue;
    if (hasNote) {
      n.*k.field = static_cast<uint8_t>(Clamp(n.*k.field + k.sign * Count(k.presses), 0, 127));
      write();
    }
    return true;
  }

  if ((c.ctrlLeftHeld && c.leftCount > 0) || (c.ctrlRightHeld && c.rightCount > 0)) {
    if (!hasNote) return true;
    const int delta = c.ctrlLeftHeld && c.leftCount > 0 ? -Count(c.leftCount) : Count(c.rightCount);
    int column = Clamp(noteCursor + delta, 0, kNoteColumns - 1);
    column = std::min(column, 127 - 12 * octave);
    const int newPitch = column + 12 * octave;
    // The note keeps its place when the target pitch is taken; the cursor stays on it.
    if (column == noteCursor || sessions->QueryNote(session, track, step, newPitch)) return true;
    sessions->DeleteNote(session, track, step, pitch);
    n.note = static_cast<uint8_t>(newPitch);
    sessions->AddNote(session, track, step, n);
    noteCursor = column;
  } else if ((c.ctrlUpHeld && c.upCount > 0) || (c.ctrlDownHeld && c.downCount > 0)) {
    if (!hasNote) return true;
    const int delta = c.ctrlUpHeld && c.upCount > 0 ? -Count(c.upCount) : Count(c.downCount);
    const int target = Clamp(stepCursor + delta, 0, kStepsPerBar - 1);
    const int targetStep = bar * kStepsPerBar + target;
    if (target == stepCursor || sessions->QueryNote(session, track, targetStep, pitch)) return true;
    sessions->DeleteNote(session, track, step, pitch);
    sessions->AddNote(session, track, targetStep, n);
    stepCursor = target;
  } else if ((c.ctrlShiftDownHeld && c.downCount > 0) || (c.ctrlShiftUpHeld && c.upCount > 0)) {
    const int dir = c.ctrlShiftDownHeld && c.downCount > 0 ? 1 : -1;
    if (pitch > 127) return true;
    for (int i = 1; i < kStepsPerBar; ++i) {
      const int s = (stepCursor + dir * i + kStepsPerBar) % kStepsPerBar;
      if (sessions->QueryNote(session, track, bar * kStepsPerBar + s, pitch)) {
        stepCursor = s;
        break;
      }
    }
  } else if ((c.ctrlShiftRightHeld && c.rightCount > 0) || (c.ctrlShiftLeftHeld && c.leftCount > 0)) {
    const bool up = c.ctrlShiftRightHeld && c.rightCount > 0;
    std::vector<Note> all, visible;
    sessions->GetNotes(session, track, step, all);
    for (const Note& v : all) {
      if (v.note >= 12 * octave && v.note <= 12 * octave + kNoteColumns - 1) visible.push_back(v);
    }
    std::sort(visible.begin(), visible.end(), compareNotesAscending);
    if (visible.empty() || (hasNote && visible.size() < 2)) return true;
    int found = -1;
    if (up) {
      for (const Note& v : visible) {
        if (v.note > pitch) {
          found = v.note;
          break;
        }
      }
      if (found < 0) found = visible.front().note;
    } else {
      for (auto it = visible.rbegin(); it != visible.rend(); ++it) {
        if (it->note < pitch) {
          found = it->note;
          break;
        }
      }
      if (found < 0) found = visible.back().note;
    }
    noteCursor = found - 12 * octave;
  } else if (c.shiftDownHeld && c.downCount > 0) {
    stepCursor = (stepCursor + 4) % kStepsPerBar;
  } else if (c.shiftUpHeld && c.upCount > 0) {
    stepCursor = (stepCursor + kStepsPerBar - 4) % kStepsPerBar;
  } else if (c.shiftRightHeld && c.rightCount > 0) {
    const int v = noteCursor + 12;
    noteCursor = v <= 36 ? v : (noteCursor == 36 ? 0 : v - 36);
  } else if (c.shiftLeftHeld && c.leftCount > 0) {
    const int v = noteCursor - 12;
    noteCursor = v >= 0 ? v : (noteCursor == 0 ? 36 : v + 36);
  } else {
    return false;
  }
  return true;
}

// CTRL C to CTRL O: the note clipboard.
bool Sequencer::HandleClipboardKeys(const Controls& c) {
  const int step = CursorStep();
  const int pitch = CursorPitch();
  const bool haveNote = clipboard.valid && clipboard.isNote;
  Note n;
  const bool hasNote = CursorNote(n);

  if (c.ctrlC) {
    if (hasNote) {
      clipboard.valid = clipboard.isNote = true;
      clipboard.note = n;
      clipboard.session = session;
      clipboard.track = track;
      clipboard.step = step;
    } else {
      clipboard.valid = false;
    }
  } else if (c.ctrlV) {
    MarkEdit("PASTE NOTE", "NOTE PASTED");
    if (haveNote && pitch <= 127) {
      Note p = clipboard.note;
      p.note = static_cast<uint8_t>(pitch);
      sessions->AddNote(session, track, step, p);
    }
  } else if (c.ctrlM) {
    if (!haveNote || pitch > 127 || (step == clipboard.step && pitch == clipboard.note.note)) return true;
    if (session != clipboard.session || track != clipboard.track) {
      ShowMessage("NOT SAME SESSION TRACK", true);
      return true;
    }
    MarkEdit("MOVE NOTE");
    const int originPitch = clipboard.note.note;
    Note p = clipboard.note;
    p.note = static_cast<uint8_t>(pitch);
    sessions->AddNote(session, track, step, p);
    // The origin may share the cursor step; only its own pitch goes.
    sessions->DeleteNote(session, track, clipboard.step, originPitch);
    clipboard.step = step;
    clipboard.note.note = static_cast<uint8_t>(pitch);
  } else if (c.ctrlS || c.ctrlG || c.ctrlF || c.ctrlO) {
    if (!haveNote || !hasNote) return true;
    MarkEdit("NOTE ATTRIBUTES");
    if (c.ctrlS) n.velocity = clipboard.note.velocity;
    else if (c.ctrlG) n.gate = clipboard.note.gate;
    else if (c.ctrlF) n.gateFraction = clipboard.note.gateFraction;
    else n.offset = clipboard.note.offset;
    sessions->AddNote(session, track, step, n);
  } else {
    return false;
  }
  return true;
}

void Sequencer::UpdateSongLengths() {
  Song song = player->GetSong();
  const int length = sessions->GetSessionLength(session);
  for (SongPart& part : song) {
    if (part.session == session) part.length = length;
  }
  player->SetSong(song);
}

// CTRL I to ALT L: lines, play ranges and the loop.
bool Sequencer::HandleLineKeys(const Controls& c) {
  const int step = CursorStep();
  std::vector<Note>& notes = scratchNotes;

  if (c.ctrlI) {
    if (!sessions->IsEmpty(session, track, kSteps - 1)) {
      ShowMessage("LASTLINE", true);
    } else {
      MarkEdit("INSERT LINE");
      sessions->Insert(session, track, step);
    }
  } else if (c.ctrlY) {
    MarkEdit("DELETE LINE", "LINE DELETED");
    sessions->DeleteAndMoveUp(session, track, step);
  } else if (c.ctrlJ) {
    MarkEdit("ERASE LINE", "LINE ERASED");
    sessions->Delete(session, track, step);
  } else if (c.ctrlL) {
    sessions->GetNotes(session, track, step, notes);
    if (notes.empty()) {
      clipboard.valid = false;
    } else {
      clipboard.line = notes;
      clipboard.valid = true;
      clipboard.isNote = false;
    }
  } else if (c.ctrlP) {
    if (clipboard.valid && !clipboard.isNote) {
      MarkEdit("PASTE LINE");
      for (const Note& n : clipboard.line) sessions->AddNote(session, track, step, n);
      clipboard.valid = false;
      clipboard.line.clear();
    }
  } else if (c.ctrlShiftB || c.ctrlShiftE) {
    int start, end;
    sessions->GetStartEndSteps(session, track, start, end);
    if (c.ctrlShiftB && step < end) {
      sessions->SetStartEndSteps(session, track, step, end);
      UpdateSongLengths();
    } else if (c.ctrlShiftE && step > start) {
      sessions->SetStartEndSteps(session, track, start, step);
      UpdateSongLengths();
    }
  } else if (c.ctrlB || c.ctrlE) {
    int loopTrack, loopStart, loopEnd;
    sessions->GetLoopingStartEndSteps(loopTrack, loopStart, loopEnd);
    if (c.ctrlB) {
      if (step < loopEnd) {
        sessions->SetLoopingStartEndSteps(track, step, loopEnd);
      } else if (step <= 126) {
        sessions->SetLoopingStartEndSteps(track, step, step + 1);
      } else {
        ShowMessage("LASTLINE NOT ALLOWED", true);
      }
    } else {
      if (step > loopStart) {
        sessions->SetLoopingStartEndSteps(track, loopStart, step);
      } else if (step > 0) {
        sessions->SetLoopingStartEndSteps(track, step - 1, step);
      } else {
        ShowMessage("FIRSTLINE NOT ALLOWED", true);
      }
    }
  } else if (c.altL) {
    sessions->SetLooping(!sessions->GetLooping());
    if (!sessions->GetLooping()) player->TurnOffLooping();
  } else {
    return false;
  }
  return true;
}

// SHIFT INSERT, INSERT and their release; RETURN and SHIFT RETURN come with the cursor keys.
bool Sequencer::HandlePlayKeys(const Controls& c) {
  if (!(c.shiftInsertDown || c.insertDown || c.insertUp || c.shiftInsertUp)) return false;
  if (mirror.playing) return true;
  if (!c.shiftInsertDown && !c.insertDown) {
    player->Flush(track);
    return true;
  }
  std::vector<Note> notes;
  Note n;
  if (c.insertDown && CursorNote(n)) {
    notes.push_back(n);
  } else {
    sessions->GetNotes(session, track, CursorStep(), notes);
  }
  std::vector<LiveNote> live;
  for (const Note& note : notes) {
    LiveNote l;
    l.note = note.note;
    l.velocity = note.velocity;
    l.channel = static_cast<uint8_t>(sessions->GetTrackChannel(track));
    l.output = static_cast<uint8_t>(sessions->GetTrackOutput(track));
    l.pitchChange = static_cast<uint8_t>(Clamp(sessions->GetTrackPitch(track), 0, 127));
    live.push_back(l);
  }
  player->PlayLiveNotes(live);
  // A tap shorter than a frame brings its release along; without this flush the notes would hang.
  if (c.insertUp || c.shiftInsertUp) player->Flush(track);
  return true;
}

bool Sequencer::ShiftSteps(int first, int last, int semitones) {
  MarkEdit("TRANSPOSE");
  std::vector<Note>& notes = scratchNotes;
  for (int s = first; s <= last; ++s) {
    sessions->GetNotes(session, track, s, notes);
    for (const Note& n : notes) {
      const int p = n.note + semitones;
      if (p > 127 || p < 0) {
        ShowMessage(semitones > 0 ? "LASTCOL" : "FIRSTCOL", true);
        return false;
      }
    }
  }
  for (int s = first; s <= last; ++s) sessions->Transpose(session, track, s, semitones);
  return true;
}

void Sequencer::HarmonicTransposeStep(int degrees) {
  MarkEdit("TRANSPOSE");
  const ScaleInfo info = player->GetScale();
  const ScaleNotes scale = Scales::GetScaleNotes(info.base, info.scale);
  std::vector<Note> notes;
  sessions->GetNotes(session, track, CursorStep(), notes);
  if (!NotesInScale(scale, notes) || !HarmonicTransposeNotes(scale, notes, degrees)) return;
  if (!notes.empty()) sessions->SetNotes(session, track, CursorStep(), notes);
}

bool Sequencer::NotesInScale(const ScaleNotes& scale, const std::vector<Note>& notes) {
  for (const Note& n : notes) {
    if (!Scales::IsNoteInScale(scale, n.note)) {
      ShowMessage("NOT IN SCALE", true);
      return false;
    }
  }
  return true;
}

bool Sequencer::HarmonicTransposeNotes(const ScaleNotes& scale, std::vector<Note>& notes, int degrees) {
  for (Note& n : notes) {
    int result = n.note;
    if (!Scales::HarmonicTranspose(scale, n.note, degrees, result)) {
      ShowMessage("NOTE LEAVING RANGE", true);
      return false;
    }
    n.note = static_cast<uint8_t>(result);
  }
  return true;
}

// CTRL / ALT (SHIFT) NUMPAD PLUS / MINUS, the value editors and ALT SHIFT X.
bool Sequencer::HandleTransposeKeys(const Controls& c) {
  const int step = CursorStep();
  const int barFirst = bar * kStepsPerBar;
  const int barLast = barFirst + kStepsPerBar - 1;
  if (c.ctrlKeypadPlus) {
    ShiftSteps(step, step, 12);
  } else if (c.ctrlKeypadMinus) {
    ShiftSteps(step, step, -12);
  } else if (c.ctrlShiftKeypadPlus) {
    ShiftSteps(step, step, 1);
  } else if (c.ctrlShiftKeypadMinus) {
    ShiftSteps(step, step, -1);
  } else if (c.altKeypadPlus) {
    ShiftSteps(barFirst, barLast, 12);
  } else if (c.altKeypadMinus) {
    ShiftSteps(barFirst, barLast, -12);
  } else if (c.altShiftKeypadPlus) {
    ShiftSteps(barFirst, barLast, 1);
  } else if (c.altShiftKeypadMinus) {
    ShiftSteps(barFirst, barLast, -1);
  } else if (c.shiftKeypadPlus || c.shiftKeypadMinus) {
    const int degrees = c.shiftKeypadPlus ? 1 : -1;
    if (BlockInCurrentTrack()) {
      HarmonicTransposeBlock(degrees);
    } else {
      HarmonicTransposeStep(degrees);
    }
  } else if (c.altB || c.altV || c.altO) {
    valueEdit.active = true;
    valueEdit.target = c.altB   ? ValueEditTarget::Tempo
                      : c.altV ? ValueEditTarget::TrackVelocity
                               : ValueEditTarget::TrackVolume;
  } else if (c.altShiftX) {
    MarkEdit("ERASE BAR", "BAR ERASED");
    for (int s = barFirst; s <= barLast; ++s) sessions->Delete(session, track, s);
  } else {
    return false;
  }
  return true;
}

// RETURN, SHIFT RETURN and the plain cursor keys (value editing with UP / DOWN).
void Sequencer::HandleCursorKeys(const Controls& c) {
  if (c.returnPressed) {
    if (valueEdit.active) {
      valueEdit.active = false;
    } else if (!mirror.playing) {
      int start, end;
      sessions->GetStartEndSteps(session, track, start, end);
      const int step = CursorStep();
      if (step >= start && step <= end) {
        player->SetPlayhead(session, track, step);
        player->Continue();
      }
    } else {
      player->Stop();
    }
  } else if (c.shiftReturn) {
    if (mirror.playing) {
      player->Stop();
    } else if (sessions->GetLooping()) {
      int loopTrack, loopStart, loopEnd, start, end;
      sessions->GetLoopingStartEndSteps(loopTrack, loopStart, loopEnd);
      sessions->GetStartEndSteps(session, loopTrack, start, end);
      if (loopStart < start || loopEnd > end) {
        ShowMessage("LOOP OUTSIDE PLAYAREA", true);
      } else {
        player->SetPlayheadLooping(session, loopTrack, loopStart, loopEnd);
        player->Continue();
      }
    }
  } else if (c.leftCount > 0) {
    noteCursor -= c.leftCount;
    if (noteCursor < 0) noteCursor = kNoteColumns - 1;
  } else if (c.rightCount > 0) {
    noteCursor += c.rightCount;
    if (noteCursor > kNoteColumns - 1) noteCursor = 0;
  } else if (c.upCount > 0 || c.downCount > 0) {
    const int delta = c.upCount > 0 ? -c.upCount : c.downCount;
    if (!valueEdit.active) {
      stepCursor += delta;
      if (stepCursor < 0) stepCursor = kStepsPerBar - 1;
      if (stepCursor > kStepsPerBar - 1) stepCursor = 0;
      return;
    }
    // On the value editor UP raises the value.
    if (valueEdit.target == ValueEditTarget::Tempo) {
      player->SetBPM(Clamp(player->GetBPM() - delta, 1, 255));
    } else if (valueEdit.target == ValueEditTarget::TrackVelocity) {
      sessions->SetTrackVelocity(track, Clamp(sessions->GetTrackVelocity(track) - delta, 0, 127));
    } else if (valueEdit.target == ValueEditTarget::TrackVolume) {
      const int volume = Clamp(sessions->GetTrackVolume(track) - delta, 0, 127);
      sessions->SetTrackVolume(track, volume);
      if (synth && synthStarted) synth->SetVolume(track, volume);
    }
  }
}
