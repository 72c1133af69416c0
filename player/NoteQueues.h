// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <vector>

#include "model/Note.h"
#include "player/Playhead.h"

// Both queues belong to the player and are used only from the sequencer thread. Every removal
// keeps the remaining entries in their previous order.

struct NoteOffQueueEntry {
  int32_t note = 0;  // as stored in the song, before the track's pitch change
  int32_t track = 0;
  double time = 0;  // seconds until the note-off is due (counted from the note's own start)
  int32_t channel = 0;
  int32_t output = 0;  // 0 internal, 1 first MIDI output, 2 second
  int32_t pitchChange = 0;  // 64 none
  int32_t reserved = 0;
};

bool compareNotesTimeAscending(NoteOffQueueEntry a, NoteOffQueueEntry b);

// The note-offs of every note the sequence has started.
class NoteOffQueue {
 public:
  // A time that is not a number is stored as 0: the note ends at the next Update.
  void Add(int note, int track, double time, int channel, int output, int pitchChange);
  // Removes every entry of that note and track.
  void RemoveOverlaps(int note, int track, bool& removed);
  // Counts every entry down by elapsed seconds; `due` (emptied first) receives, in queue
  // order, the entries that reached 0, their time how far past due they went (<= 0; 0 when the
  // time was not a number).
  void Update(double elapsed, std::vector<NoteOffQueueEntry>& due);
  // Appends to `due` the entries of `track` whose note is among `notes`, so that a note still
  // sounding is ended before it starts again.
  void ForceNoteOffs(int track, const std::vector<Note>& notes, std::vector<NoteOffQueueEntry>& due);
  // `out` becomes the whole queue; the queue becomes empty.
  void Flush(std::vector<NoteOffQueueEntry>& out);
  // `out` (emptied first) receives the entries of one track, earliest first when `sort`.
  void Flush(int track, std::vector<NoteOffQueueEntry>& out, bool sort);
  void Clear() { entries.clear(); }

  const std::vector<NoteOffQueueEntry>& Entries() const { return entries; }

 private:
  std::vector<NoteOffQueueEntry> entries;
};

struct NoteCompletionQueueEntry {
  int32_t stepCount = 0;  // playhead step counter when the key went down
  int32_t session = 0;
  int32_t track = 0;
  int32_t step = 0;     // the track's step when the key went down
  double fraction = 0;  // position within that step
  int32_t note = 0;     // as played, before the pitch change
  int32_t channel = 0;
  int32_t output = 0;
  int32_t pitchChange = 0;
  int32_t gate = 0;  // measured length in whole steps, filled on completion
  int32_t gateFraction = 0;  // and 1/128 steps (up to 128)
};

// Live notes whose key is still down, to measure how long they were held.
class NoteCompletionQueue {
 public:
  // A second press of the same note on the same track restarts its measurement. A track
  // outside 0..11 is ignored.
  void Add(const Playhead& playhead, int track, int note, int channel, int output, int pitchChange);
  // The key went up: removes the note's entries; true with `out` the last of them, its length
  // filled in (never shorter than 1/128 step), or false with `out` all zero.
  bool Update(const Playhead& playhead, int track, int note, NoteCompletionQueueEntry& out);
  // Ends every held note, its length rounded to whole steps (at least one); `out` becomes
  // the whole queue and the queue becomes empty.
  void Flush(const Playhead& playhead, std::vector<NoteCompletionQueueEntry>& out);
  // The same for one track; its entries are appended to `out`, the other tracks stay.
  void Flush(const Playhead& playhead, int track, std::vector<NoteCompletionQueueEntry>& out);
  void Clear() { entries.clear(); }

  const std::vector<NoteCompletionQueueEntry>& Entries() const { return entries; }

 private:
  std::vector<NoteCompletionQueueEntry> entries;
};
