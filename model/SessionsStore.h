// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/Note.h"
#include "model/NoteStore.h"
#include "model/StepStore.h"

constexpr int kSessions = 12;
constexpr int kTracks = 12;
constexpr int kSteps = 256;
constexpr int kExternalParams = 11;

struct SessionTrackAttribs {
  int32_t startStep = 0;  // first step of the play range
  int32_t endStep = 15;   // last step of the play range, inclusive
  bool muted = false;
  bool operator==(const SessionTrackAttribs&) const = default;
};

// Sound attributes of a track, shared by all sessions.
struct TrackAttribs {
  int32_t velocity = 0;
  bool velocityFixed = false;
  int32_t volume = 0;
  int32_t pan = 0;
  bool reverbEnabled = false;
  int32_t reverb[4] = {0, 0, 0, 0};  // room size, damping, width, level in hundredths
  bool chorusEnabled = false;
  int32_t chorus[5] = {0, 0, 0, 0, 0};  // voices, level/10, speed/10, depth, wave type
  bool externalReverbEnabled = false;
  double externalReverb[kExternalParams] = {};
  bool externalEqualizerEnabled = false;
  double externalEqualizer[kExternalParams] = {};
  int32_t channel = 0;
  int32_t output = 0;  // 0 internal, 1 and 2 the MIDI outputs
  int32_t pitch = 0;   // semitones as (pitch - 64)
  int32_t layer = 0;   // the track whose notes this track plays; its own number for none
  bool operator==(const TrackAttribs&) const = default;
};

// Steps with their notes as they were, for taking edits back: each entry is one step
// (session, track, step) and how many notes of `notes` follow for it.
struct StepImages {
  struct Entry {
    uint16_t key;    // (session * kTracks + track) * kSteps + step
    uint16_t count;  // notes of this step, in the order the step holds them
  };
  std::vector<Entry> entries;
  std::vector<Note> notes;
  bool Empty() const { return entries.empty(); }
  size_t Bytes() const { return entries.capacity() * sizeof(Entry) + notes.capacity() * sizeof(Note); }
};

// The song model: 12 sessions x 12 tracks x 256 steps, with per-track attributes.
// Not synchronised: only the sequencer thread touches it. Coordinates are trusted
// (sessions and tracks 0..11, steps 0..255); callers clamp.
class SessionsStore {
 public:
  SessionsStore();
  ~SessionsStore();
  SessionsStore(const SessionsStore&) = delete;
  SessionsStore& operator=(const SessionsStore&) = delete;

  void Clear();
  void ClearNotes();

  // Change journal for undo. While on, the first change of each step records the step as it
  // was; TakeChanges hands those images out (leaving out steps that ended as they began) and
  // starts a new journal. SwapSteps puts images into the store and leaves the replaced
  // contents in their place, so applying the same images twice is undo and then redo.
  void SetJournaling(bool on) { journaling = on; }
  bool HasJournal() const { return !journal.Empty(); }
  void TakeChanges(StepImages& out);
  void SwapSteps(StepImages& images);
  // Every step with notes, in (session, track, step) order, appended to `out`.
  void CaptureSteps(StepImages& out) const;
  // Copies notes and session-track ranges/mute into dst after clearing it.
  void BackupTo(SessionsStore* dst);
  void RestoreFrom(SessionsStore* src, bool notesOnly);

  bool IsEmpty(int session) const;
  bool IsEmpty(int session, int track) const;
  bool IsEmpty(int session, int track, int step) const;

  void Delete(int session, int track, int step);
  void Delete(int session, int track);
  void Delete(int session);

  bool GetMuted(int session, int track) const { return sessionTrackAttribs[session][track].muted; }
  void SetMuted(int session, int track, bool muted) { sessionTrackAttribs[session][track].muted = muted; }
  int GetSingle(int session) const { return single[session]; }
  const TrackAttribs& GetTrackAttribs(int track) const { return trackAttribs[track]; }
  void SetTrackAttribs(int track, const TrackAttribs& a) { trackAttribs[track] = a; }
  void SetSingle(int session, int track) { single[session] = track; }
  void GetStartEndSteps(int session, int track, int& start, int& end) const;
  // Ignored unless end >= start.
  void SetStartEndSteps(int session, int track, int start, int end);
  int GetSessionLength(int session) const;
  SessionTrackAttribs GetSessionTrackAttribs(int session, int track) const { return sessionTrackAttribs[session][track]; }
  void SetSessionTrackAttribs(int session, int track, const SessionTrackAttribs& a) { sessionTrackAttribs[session][track] = a; }
  bool GetLooping() const { return looping; }
  void SetLooping(bool value) { looping = value; }
  void GetLoopingStartEndSteps(int& track, int& start, int& end) const;
  void SetLoopingStartEndSteps(int track, int start, int end);

  int GetTrackVelocity(int track) const { return trackAttribs[track].velocity; }
  void SetTrackVelocity(int track, int v) { trackAttribs[track].velocity = v; }
  bool GetTrackVelocityFixed(int track) const { return trackAttribs[track].velocityFixed; }
  void SetTrackVelocityFixed(int track, bool v) { trackAttribs[track].velocityFixed = v; }
  int GetTrackVolume(int track) const { return trackAttribs[track].volume; }
  void SetTrackVolume(int track, int v) { trackAttribs[track].volume = v; }
  int GetTrackPan(int track) const { return trackAttribs[track].pan; }
  void SetTrackPan(int track, int v) { trackAttribs[track].pan = v; }
  int GetTrackChannel(int track) const { return trackAttribs[track].channel; }
  void SetTrackChannel(int track, int v) { trackAttribs[track].channel = v; }
  int GetTrackOutput(int track) const { return trackAttribs[track].output; }
  void SetTrackOutput(int track, int v) { trackAttribs[track].output = v; }
  int GetTrackPitch(int track) const { return trackAttribs[track].pitch; }
  void SetTrackPitch(int track, int v) { trackAttribs[track].pitch = v; }
  int GetTrackLayer(int track) const { return trackAttribs[track].layer; }
  void SetTrackLayer(int track, int v) { trackAttribs[track].layer = v; }
  void GetTrackReverb(int track, int& roomSize, int& damping, int& width, int& level) const;
  void SetTrackReverb(int track, int roomSize, int damping, int width, int level);
  void GetTrackChorus(int track, int& voices, int& level, int& speed, int& depth, int& type) const;
  void SetTrackChorus(int track, int voices, int level, int speed, int depth, int type);
  bool GetTrackReverbEnabled(int track) const { return trackAttribs[track].reverbEnabled; }
  void SetTrackReverbEnabled(int track, bool v) { trackAttribs[track].reverbEnabled = v; }
  bool GetTrackChorusEnabled(int track) const { return trackAttribs[track].chorusEnabled; }
  void SetTrackChorusEnabled(int track, bool v) { trackAttribs[track].chorusEnabled = v; }
  bool GetTrackExternalReverbEnabled(int track) const { return trackAttribs[track].externalReverbEnabled; }
  void SetTrackExternalReverbEnabled(int track, bool v) { trackAttribs[track].externalReverbEnabled = v; }
  bool GetTrackExternalEqualizerEnabled(int track) const { return trackAttribs[track].externalEqualizerEnabled; }
  void SetTrackExternalEqualizerEnabled(int track, bool v) { trackAttribs[track].externalEqualizerEnabled = v; }
  // Each copies exactly kExternalParams (11) doubles.
  void GetTrackExternalReverb(int track, double* out) const;
  void SetTrackExternalReverb(int track, const double* in);
  void GetTrackExternalEqualizer(int track, double* out) const;
  void SetTrackExternalEqualizer(int track, const double* in);

  // Note queries: the result vector is emptied first.
  void GetNotes(int session, int track, int step, std::vector<Note>& out) const;
  void GetNotesInOffsetRange(int session, int track, int step, double from, double to, std::vector<Note>& out) const;
  void GetNotesInSubstepRange(int session, int track, int step, int from, int to, std::vector<Note>& out) const;
  void GetNotesInsideNoteRange(int session, int track, int step, int low, int high, std::vector<Note>& out) const;
  void GetNotesOutsideNoteRange(int session, int track, int step, int low, int high, std::vector<Note>& out) const;
  bool QueryNote(int session, int track, int step, int note) const;
  bool GetNotesBoundingBox(int session, int track, int& lowNote, int& highNote, int& firstStep, int& lastStep) const;

  // Note edits.
  void SetNotes(int session, int track, int step, const std::vector<Note>& notes);
  void AddNote(int session, int track, int step, Note note);
  void DeleteNote(int session, int track, int step, int note);
  void SetGate(int session, int track, int step, int note, int gate, int gateFraction);
  void CopyNote(int srcSession, int srcTrack, int srcStep, int note, int dstSession, int dstTrack, int dstStep);
  void CopyNoteAttribs(int srcSession, int srcTrack, int srcStep, int srcNote, int dstSession, int dstTrack,
                       int dstStep, int dstNote);
  void MakeSameAttribs(int session, int track, int step, int note);
  void Quantize(int session, int track, int step);
  void Transpose(int session, int track, int step, int semitones);

  void Copy(int srcSession, int dstSession);
  void Copy(int srcSession, int srcTrack, int dstSession, int dstTrack);
  void Copy(int srcSession, int srcTrack, int srcStep, int dstSession, int dstTrack, int dstStep);
  void CopyLength(int srcSession, int srcTrack, int dstSession, int dstTrack);

  void Insert(int session, int track, int step);
  void DeleteAndMoveUp(int session, int track, int step);
  void RotateUpCircular(int session, int track);
  void RotateDownCircular(int session, int track);

  // For tests and diagnostics: the pools and the raw slot of a step (-1 when empty).
  const NoteStore& Notes() const { return *noteStore; }
  const StepStore& StepPool() const { return *stepStore; }
  int StepIndex(int session, int track, int step) const { return steps[session][track][step]; }
  // Every pool record is either free or used by exactly one step, no used step is empty, and
  // each step's notes are in (offset, note) order.
  bool Consistent() const;

 private:
  void CopySteps(int srcSession, int srcTrack, int dstSession, int dstTrack);
  // Records the step in the journal before its first change (nothing when journaling is off).
  void Touch(int session, int track, int step) {
    if (journaling) TouchSlow((session * kTracks + track) * kSteps + step);
  }
  void TouchRange(int session, int track, int first, int last) {
    for (int st = first; st <= last; ++st) Touch(session, track, st);
  }
  void TouchSlow(int key);
  int32_t SlotOf(int key) const { return steps[key / (kSteps * kTracks)][key / kSteps % kTracks][key % kSteps]; }
  void AppendImage(int key, StepImages& images) const;
  void GetSortedNotes(int session, int track, int step, std::vector<Note>& out) const;

  SessionTrackAttribs sessionTrackAttribs[kSessions][kTracks];
  TrackAttribs trackAttribs[kTracks];
  int32_t single[kSessions];
  int32_t steps[kSessions][kTracks][kSteps];
  // The step pool refers to the note pool, so the note pool is created first and goes last.
  std::unique_ptr<NoteStore> noteStore;
  std::unique_ptr<StepStore> stepStore;
  bool looping = false;
  int32_t loopTrack = 0;
  int32_t loopStartStep = 0;
  int32_t loopEndStep = 127;
  bool journaling = false;
  StepImages journal;
  std::vector<uint8_t> touched = std::vector<uint8_t>(kSessions * kTracks * kSteps, 0);
};
