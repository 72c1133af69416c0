// SPDX-License-Identifier: LGPL-2.1-or-later
// Note queries and edits of SessionsStore. Every edit reads a step into a vector, changes
// it and writes it back with SetNotes, so a step's list is always fresh and sorted.
#include <algorithm>

#include "model/SessionsStore.h"

void SessionsStore::GetNotes(int session, int track, int step, std::vector<Note>& out) const {
  out.clear();
  int32_t slot = steps[session][track][step];
  if (slot == -1) return;
  const StepRecord* record = stepStore->Get(slot);
  out.reserve(record->size());
  for (int32_t index : *record) out.push_back(*noteStore->Get(index));
}

void SessionsStore::GetSortedNotes(int session, int track, int step, std::vector<Note>& out) const {
  GetNotes(session, track, step, out);
  std::sort(out.begin(), out.end(), compareOffsetsThenNotesAscending);
}

void SessionsStore::GetNotesInOffsetRange(int session, int track, int step, double from, double to,
                                          std::vector<Note>& out) const {
  GetSortedNotes(session, track, step, out);
  std::erase_if(out, [&](const Note& n) {
    double position = n.offset / 128.0;
    return !(from <= position && position < to);
  });
}

void SessionsStore::GetNotesInSubstepRange(int session, int track, int step, int from, int to,
                                           std::vector<Note>& out) const {
  GetSortedNotes(session, track, step, out);
  std::erase_if(out, [&](const Note& n) { return !(from <= n.offset && n.offset < to); });
}

void SessionsStore::GetNotesInsideNoteRange(int session, int track, int step, int low, int high,
                                            std::vector<Note>& out) const {
  GetSortedNotes(session, track, step, out);
  std::erase_if(out, [&](const Note& n) { return !(low <= n.note && n.note <= high); });
}

void SessionsStore::GetNotesOutsideNoteRange(int session, int track, int step, int low, int high,
                                             std::vector<Note>& out) const {
  GetSortedNotes(session, track, step, out);
  std::erase_if(out, [&](const Note& n) { return low <= n.note && n.note <= high; });
}

bool SessionsStore::QueryNote(int session, int track, int step, int note) const {
  int32_t slot = steps[session][track][step];
  if (slot == -1) return false;
  for (int32_t index : *stepStore->Get(slot)) {
    if (noteStore->Get(index)->note == note) return true;
  }
  return false;
}

bool SessionsStore::GetNotesBoundingBox(int session, int track, int& lowNote, int& highNote, int& firstStep,
                                        int& lastStep) const {
  lowNote = highNote = firstStep = lastStep = -1;
  for (int st = 0; st < kSteps; ++st) {
    int32_t slot = steps[session][track][st];
    if (slot == -1) continue;
    if (firstStep == -1) firstStep = st;
    lastStep = st;
    for (int32_t index : *stepStore->Get(slot)) {
      int n = noteStore->Get(index)->note;
      if (lowNote == -1 || n < lowNote) lowNote = n;
      if (highNote == -1 || n > highNote) highNote = n;
    }
  }
  return lowNote != -1 && highNote != -1 && firstStep != -1 && lastStep != -1;
}

void SessionsStore::SetNotes(int session, int track, int step, const std::vector<Note>& notes) {
  Touch(session, track, step);
  Delete(session, track, step);
  if (notes.empty()) return;
  int32_t slot = stepStore->GetNew();
  std::vector<Note> sorted(notes);
  std::sort(sorted.begin(), sorted.end(), compareOffsetsThenNotesAscending);
  for (const Note& n : sorted) {
    int32_t index = noteStore->GetNew();
    // The note pool may have grown: take the step pointer only after GetNew.
    stepStore->Get(slot)->push_back(index);
    *noteStore->Get(index) = n;
  }
  steps[session][track][step] = slot;
}

void SessionsStore::AddNote(int session, int track, int step, Note note) {
  std::vector<Note> notes;
  GetNotes(session, track, step, notes);
  auto it = std::find_if(notes.begin(), notes.end(), [&](const Note& n) { return n.note == note.note; });
  if (it != notes.end()) {
    *it = note;
  } else {
    notes.push_back(note);
  }
  SetNotes(session, track, step, notes);
}

void SessionsStore::DeleteNote(int session, int track, int step, int note) {
  if (steps[session][track][step] == -1) return;
  std::vector<Note> notes;
  GetNotes(session, track, step, notes);
  std::erase_if(notes, [&](const Note& n) { return n.note == note; });
  SetNotes(session, track, step, notes);
}

void SessionsStore::SetGate(int session, int track, int step, int note, int gate, int gateFraction) {
  int32_t slot = steps[session][track][step];
  if (slot == -1) return;
  for (int32_t index : *stepStore->Get(slot)) {
    Note* n = noteStore->Get(index);
    if (n->note == note) {
      Touch(session, track, step);
      // A key held for minutes must not wrap round to a short note.
      n->gate = static_cast<uint8_t>(std::clamp(gate, 0, 255));
      n->gateFraction = static_cast<uint8_t>(std::clamp(gateFraction, 0, 255));
      return;
    }
  }
}

namespace {

const Note* FindNote(const std::vector<Note>& notes, int note) {
  for (const Note& n : notes) {
    if (n.note == note) return &n;
  }
  return nullptr;
}

}  // namespace

void SessionsStore::CopyNote(int srcSession, int srcTrack, int srcStep, int note, int dstSession, int dstTrack,
                             int dstStep) {
  std::vector<Note> notes;
  GetNotes(srcSession, srcTrack, srcStep, notes);
  const Note* n = FindNote(notes, note);
  if (n) AddNote(dstSession, dstTrack, dstStep, *n);
}

void SessionsStore::CopyNoteAttribs(int srcSession, int srcTrack, int srcStep, int srcNote, int dstSession,
                                    int dstTrack, int dstStep, int dstNote) {
  if (srcSession == dstSession && srcTrack == dstTrack && srcStep == dstStep && srcNote == dstNote) return;
  std::vector<Note> src, dst;
  GetNotes(srcSession, srcTrack, srcStep, src);
  GetNotes(dstSession, dstTrack, dstStep, dst);
  const Note* s = FindNote(src, srcNote);
  const Note* d = FindNote(dst, dstNote);
  if (!s || !d) return;
  Note updated = *d;
  updated.velocity = s->velocity;
  updated.gate = s->gate;
  updated.gateFraction = s->gateFraction;
  updated.offset = s->offset;
  AddNote(dstSession, dstTrack, dstStep, updated);
}

void SessionsStore::MakeSameAttribs(int session, int track, int step, int note) {
  std::vector<Note> notes;
  GetNotes(session, track, step, notes);
  const Note* model = FindNote(notes, note);
  if (!model) return;
  Note m = *model;
  for (Note& n : notes) {
    n.velocity = m.velocity;
    n.gate = m.gate;
    n.gateFraction = m.gateFraction;
    n.offset = m.offset;
  }
  SetNotes(session, track, step, notes);
}

void SessionsStore::Quantize(int session, int track, int step) {
  if (steps[session][track][step] == -1) return;
  std::vector<Note> notes;
  GetNotes(session, track, step, notes);
  for (Note& n : notes) n.offset = 0;
  SetNotes(session, track, step, notes);
}

void SessionsStore::Transpose(int session, int track, int step, int semitones) {
  if (steps[session][track][step] == -1) return;
  std::vector<Note> notes;
  GetNotes(session, track, step, notes);
  for (Note& n : notes) {
    int moved = n.note + semitones;
    if (moved >= 0 && moved <= 127) n.note = static_cast<uint8_t>(moved);
  }
  SetNotes(session, track, step, notes);
}

void SessionsStore::CopySteps(int srcSession, int srcTrack, int dstSession, int dstTrack) {
  Delete(dstSession, dstTrack);
  std::vector<Note> notes;
  for (int st = 0; st < kSteps; ++st) {
    if (steps[srcSession][srcTrack][st] == -1) continue;
    GetNotes(srcSession, srcTrack, st, notes);
    SetNotes(dstSession, dstTrack, st, notes);
  }
  CopyLength(srcSession, srcTrack, dstSession, dstTrack);
}

void SessionsStore::Copy(int srcSession, int dstSession) {
  if (srcSession == dstSession) return;
  for (int t = 0; t < kTracks; ++t) CopySteps(srcSession, t, dstSession, t);
}

void SessionsStore::Copy(int srcSession, int srcTrack, int dstSession, int dstTrack) {
  if (srcSession == dstSession && srcTrack == dstTrack) return;
  CopySteps(srcSession, srcTrack, dstSession, dstTrack);
}

void SessionsStore::Copy(int srcSession, int srcTrack, int srcStep, int dstSession, int dstTrack, int dstStep) {
  if (srcSession == dstSession && srcTrack == dstTrack && srcStep == dstStep) return;
  std::vector<Note> notes;
  GetNotes(srcSession, srcTrack, srcStep, notes);
  SetNotes(dstSession, dstTrack, dstStep, notes);
}

void SessionsStore::CopyLength(int srcSession, int srcTrack, int dstSession, int dstTrack) {
  if (srcSession == dstSession && srcTrack == dstTrack) return;
  const SessionTrackAttribs& a = sessionTrackAttribs[srcSession][srcTrack];
  if (a.startStep <= a.endStep) {
    sessionTrackAttribs[dstSession][dstTrack].startStep = a.startStep;
    sessionTrackAttribs[dstSession][dstTrack].endStep = a.endStep;
  }
}

void SessionsStore::Insert(int session, int track, int step) {
  TouchRange(session, track, step, kSteps - 1);
  Delete(session, track, kSteps - 1);
  int32_t* slots = steps[session][track];
  for (int st = kSteps - 1; st > step; --st) slots[st] = slots[st - 1];
  slots[step] = -1;
}

void SessionsStore::DeleteAndMoveUp(int session, int track, int step) {
  TouchRange(session, track, step, kSteps - 1);
  Delete(session, track, step);
  int32_t* slots = steps[session][track];
  for (int st = step; st < kSteps - 1; ++st) slots[st] = slots[st + 1];
  slots[kSteps - 1] = -1;
}

void SessionsStore::RotateUpCircular(int session, int track) {
  TouchRange(session, track, 0, kSteps - 1);
  int32_t* slots = steps[session][track];
  std::rotate(slots, slots + 1, slots + kSteps);
}

void SessionsStore::RotateDownCircular(int session, int track) {
  TouchRange(session, track, 0, kSteps - 1);
  int32_t* slots = steps[session][track];
  std::rotate(slots, slots + kSteps - 1, slots + kSteps);
}
