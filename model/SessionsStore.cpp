// SPDX-License-Identifier: LGPL-2.1-or-later
#include "model/SessionsStore.h"

#include <algorithm>
#include <cstring>
#include <utility>

SessionsStore::SessionsStore() {
  memset(single, 0, sizeof(single));
  memset(steps, 0, sizeof(steps));
  noteStore = std::make_unique<NoteStore>();
  stepStore = std::make_unique<StepStore>(noteStore.get());
  Clear();
}

SessionsStore::~SessionsStore() = default;

void SessionsStore::Clear() {
  ClearNotes();
  for (int s = 0; s < kSessions; ++s) {
    for (int t = 0; t < kTracks; ++t) sessionTrackAttribs[s][t] = SessionTrackAttribs{0, 15, false};
    single[s] = -1;
  }
  for (int t = 0; t < kTracks; ++t) {
    TrackAttribs& a = trackAttribs[t];
    a.velocity = 90;
    a.velocityFixed = false;
    a.volume = 100;
    a.pan = 64;
    a.reverbEnabled = false;
    a.reverb[0] = 20;
    a.reverb[1] = 0;
    a.reverb[2] = 50;
    a.reverb[3] = 90;
    a.chorusEnabled = false;
    // The chorus level (chorus[1]) is deliberately left as it is: a new project sets it.
    a.chorus[0] = 3;
    a.chorus[2] = 3;
    a.chorus[3] = 8;
    a.chorus[4] = 0;
    a.externalReverbEnabled = true;
    a.externalEqualizerEnabled = true;
    a.channel = 0;
    a.output = 0;
    a.pitch = 64;
    a.layer = t;
  }
  looping = false;
  loopTrack = 0;
  loopStartStep = 0;
  loopEndStep = 127;
}

void SessionsStore::ClearNotes() {
  if (journaling) {
    for (int key = 0; key < kSessions * kTracks * kSteps; ++key) {
      if (SlotOf(key) != -1) TouchSlow(key);
    }
  }
  stepStore->Clear();
  std::fill(&steps[0][0][0], &steps[0][0][0] + kSessions * kTracks * kSteps, -1);
}

void SessionsStore::BackupTo(SessionsStore* dst) {
  dst->Clear();
  std::vector<Note> notes;
  for (int s = 0; s < kSessions; ++s) {
    for (int t = 0; t < kTracks; ++t) {
      for (int st = 0; st < kSteps; ++st) {
        if (steps[s][t][st] == -1) continue;
        GetNotes(s, t, st, notes);
        dst->SetNotes(s, t, st, notes);
      }
      dst->sessionTrackAttribs[s][t] = sessionTrackAttribs[s][t];
    }
  }
}

void SessionsStore::RestoreFrom(SessionsStore* src, bool notesOnly) {
  if (notesOnly) {
    ClearNotes();
  } else {
    Clear();
  }
  std::vector<Note> notes;
  for (int s = 0; s < kSessions; ++s) {
    for (int t = 0; t < kTracks; ++t) {
      for (int st = 0; st < kSteps; ++st) {
        if (src->steps[s][t][st] == -1) continue;
        src->GetNotes(s, t, st, notes);
        SetNotes(s, t, st, notes);
      }
      if (!notesOnly) sessionTrackAttribs[s][t] = src->sessionTrackAttribs[s][t];
    }
  }
}

bool SessionsStore::IsEmpty(int session) const {
  for (int t = 0; t < kTracks; ++t) {
    if (!IsEmpty(session, t)) return false;
  }
  return true;
}

bool SessionsStore::IsEmpty(int session, int track) const {
  for (int st = 0; st < kSteps; ++st) {
    if (steps[session][track][st] != -1) return false;
  }
  return true;
}

bool SessionsStore::IsEmpty(int session, int track, int step) const { return steps[session][track][step] == -1; }

void SessionsStore::Delete(int session, int track, int step) {
  int32_t& slot = steps[session][track][step];
  if (slot != -1) {
    Touch(session, track, step);
    stepStore->Dispose(slot);
    slot = -1;
  }
}

void SessionsStore::Delete(int session, int track) {
  for (int st = 0; st < kSteps; ++st) Delete(session, track, st);
}

void SessionsStore::Delete(int session) {
  for (int t = 0; t < kTracks; ++t) Delete(session, t);
}

void SessionsStore::GetStartEndSteps(int session, int track, int& start, int& end) const {
  start = sessionTrackAttribs[session][track].startStep;
  end = sessionTrackAttribs[session][track].endStep;
}

void SessionsStore::SetStartEndSteps(int session, int track, int start, int end) {
  if (end < start) return;
  sessionTrackAttribs[session][track].startStep = start;
  sessionTrackAttribs[session][track].endStep = end;
}

int SessionsStore::GetSessionLength(int session) const {
  int longest = 0;
  for (int t = 0; t < kTracks; ++t) {
    const SessionTrackAttribs& a = sessionTrackAttribs[session][t];
    longest = std::max(longest, a.endStep - a.startStep + 1);
  }
  return longest;
}

void SessionsStore::GetLoopingStartEndSteps(int& track, int& start, int& end) const {
  track = loopTrack;
  start = loopStartStep;
  end = loopEndStep;
}

void SessionsStore::SetLoopingStartEndSteps(int track, int start, int end) {
  loopTrack = track;
  loopStartStep = start;
  loopEndStep = end;
}

void SessionsStore::GetTrackReverb(int track, int& roomSize, int& damping, int& width, int& level) const {
  const int32_t* r = trackAttribs[track].reverb;
  roomSize = r[0];
  damping = r[1];
  width = r[2];
  level = r[3];
}

void SessionsStore::SetTrackReverb(int track, int roomSize, int damping, int width, int level) {
  int32_t* r = trackAttribs[track].reverb;
  r[0] = roomSize;
  r[1] = damping;
  r[2] = width;
  r[3] = level;
}

void SessionsStore::GetTrackChorus(int track, int& voices, int& level, int& speed, int& depth, int& type) const {
  const int32_t* c = trackAttribs[track].chorus;
  voices = c[0];
  level = c[1];
  speed = c[2];
  depth = c[3];
  type = c[4];
}

void SessionsStore::SetTrackChorus(int track, int voices, int level, int speed, int depth, int type) {
  int32_t* c = trackAttribs[track].chorus;
  c[0] = voices;
  c[1] = level;
  c[2] = speed;
  c[3] = depth;
  c[4] = type;
}

void SessionsStore::GetTrackExternalReverb(int track, double* out) const {
  std::copy_n(trackAttribs[track].externalReverb, kExternalParams, out);
}

void SessionsStore::SetTrackExternalReverb(int track, const double* in) {
  std::copy_n(in, kExternalParams, trackAttribs[track].externalReverb);
}

void SessionsStore::GetTrackExternalEqualizer(int track, double* out) const {
  std::copy_n(trackAttribs[track].externalEqualizer, kExternalParams, out);
}

void SessionsStore::SetTrackExternalEqualizer(int track, const double* in) {
  std::copy_n(in, kExternalParams, trackAttribs[track].externalEqualizer);
}

void SessionsStore::AppendImage(int key, StepImages& images) const {
  const int32_t slot = SlotOf(key);
  uint16_t count = 0;
  if (slot != -1) {
    for (int32_t index : *stepStore->Get(slot)) {
      images.notes.push_back(*noteStore->Get(index));
      ++count;
    }
  }
  images.entries.push_back({static_cast<uint16_t>(key), count});
}

void SessionsStore::TouchSlow(int key) {
  if (touched[key]) return;
  touched[key] = 1;
  AppendImage(key, journal);
}

void SessionsStore::TakeChanges(StepImages& out) {
  out.entries.clear();
  out.notes.clear();
  StepImages now;
  size_t first = 0;
  for (const StepImages::Entry& e : journal.entries) {
    touched[e.key] = 0;
    now.entries.clear();
    now.notes.clear();
    AppendImage(e.key, now);
    const Note* before = journal.notes.data() + first;
    first += e.count;
    // A step written back as it was (a refused edit, a toggle pressed twice) is no change.
    const bool same = now.entries[0].count == e.count &&
                      (e.count == 0 || std::memcmp(now.notes.data(), before, e.count * sizeof(Note)) == 0);
    if (same) continue;
    out.entries.push_back(e);
    out.notes.insert(out.notes.end(), before, before + e.count);
  }
  journal.entries.clear();
  journal.notes.clear();
}

void SessionsStore::SwapSteps(StepImages& images) {
  const bool wasJournaling = journaling;
  journaling = false;
  StepImages replaced;
  replaced.entries.reserve(images.entries.size());
  std::vector<Note> notes;
  size_t first = 0;
  for (const StepImages::Entry& e : images.entries) {
    AppendImage(e.key, replaced);
    notes.assign(images.notes.begin() + first, images.notes.begin() + first + e.count);
    first += e.count;
    SetNotes(e.key / (kSteps * kTracks), e.key / kSteps % kTracks, e.key % kSteps, notes);
  }
  images = std::move(replaced);
  journaling = wasJournaling;
}

bool SessionsStore::Consistent() const {
  std::vector<int> stepUse(stepStore->Count(), 0), noteUse(noteStore->Count(), 0);
  auto use = [](std::vector<int>& uses, int index) {
    if (index < 0 || index >= static_cast<int>(uses.size())) return false;
    return ++uses[index] == 1;
  };
  for (int i : stepStore->FreeList()) {
    if (!use(stepUse, i)) return false;
  }
  for (int i : noteStore->FreeList()) {
    if (!use(noteUse, i)) return false;
  }
  for (int key = 0; key < kSessions * kTracks * kSteps; ++key) {
    const int32_t slot = SlotOf(key);
    if (slot == -1) continue;
    if (!use(stepUse, slot) || stepStore->Get(slot)->empty()) return false;
    const Note* previous = nullptr;
    for (int32_t index : *stepStore->Get(slot)) {
      if (!use(noteUse, index)) return false;
      const Note* n = noteStore->Get(index);
      if (previous && !compareOffsetsThenNotesAscending(*previous, *n)) return false;
      previous = n;
    }
  }
  return std::count(stepUse.begin(), stepUse.end(), 1) == static_cast<long>(stepUse.size()) &&
         std::count(noteUse.begin(), noteUse.end(), 1) == static_cast<long>(noteUse.size());
}

void SessionsStore::CaptureSteps(StepImages& out) const {
  out.entries.reserve(out.entries.size() + kSessions * kTracks * kSteps / 4);
  out.notes.reserve(out.notes.size() + noteStore->Count());
  for (int key = 0; key < kSessions * kTracks * kSteps; ++key) {
    if (SlotOf(key) != -1) AppendImage(key, out);
  }
}
