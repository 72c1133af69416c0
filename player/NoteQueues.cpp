// SPDX-License-Identifier: LGPL-2.1-or-later
#include "player/NoteQueues.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "model/Check.h"

bool compareNotesTimeAscending(NoteOffQueueEntry a, NoteOffQueueEntry b) { return a.time < b.time; }

void NoteOffQueue::Add(int note, int track, double time, int channel, int output, int pitchChange) {
  // A NaN would never count down to 0 and the note would hang.
  if (std::isnan(time)) time = 0;
  entries.push_back(NoteOffQueueEntry{note, track, time, channel, output, pitchChange, 0});
}

void NoteOffQueue::RemoveOverlaps(int note, int track, bool& removed) {
  const auto end = std::remove_if(entries.begin(), entries.end(),
                                  [&](const NoteOffQueueEntry& e) { return e.note == note && e.track == track; });
  removed = end != entries.end();
  entries.erase(end, entries.end());
}

void NoteOffQueue::Update(double elapsed, std::vector<NoteOffQueueEntry>& due) {
  due.clear();
  std::vector<NoteOffQueueEntry> stay;
  stay.reserve(entries.size());
  for (NoteOffQueueEntry e : entries) {
    e.time -= elapsed;
    // "Not above 0" also catches a NaN elapsed time, which would otherwise hang every note.
    if (!(e.time > 0)) {
      if (!(e.time <= 0)) e.time = 0;  // NaN
      due.push_back(e);
    } else {
      stay.push_back(e);
    }
  }
  entries.swap(stay);
  // What stays counts down further; a NaN here would never become due and the note would hang.
  ZS_CHECK(std::all_of(entries.begin(), entries.end(), [](const NoteOffQueueEntry& e) { return e.time > 0; }));
}

void NoteOffQueue::ForceNoteOffs(int track, const std::vector<Note>& notes, std::vector<NoteOffQueueEntry>& due) {
  if (notes.empty()) return;
  const auto starting = [&](const NoteOffQueueEntry& e) {
    return e.track == track &&
           std::any_of(notes.begin(), notes.end(), [&](const Note& n) { return n.note == e.note; });
  };
  std::vector<NoteOffQueueEntry> stay;
  stay.reserve(entries.size());
  for (const NoteOffQueueEntry& e : entries) (starting(e) ? due : stay).push_back(e);
  entries.swap(stay);
}

void NoteOffQueue::Flush(std::vector<NoteOffQueueEntry>& out) {
  out.clear();
  out.swap(entries);
}

void NoteOffQueue::Flush(int track, std::vector<NoteOffQueueEntry>& out, bool sort) {
  out.clear();
  std::vector<NoteOffQueueEntry> stay;
  stay.reserve(entries.size());
  for (const NoteOffQueueEntry& e : entries) (e.track == track ? out : stay).push_back(e);
  entries.swap(stay);
  if (sort) std::stable_sort(out.begin(), out.end(), compareNotesTimeAscending);
  ZS_CHECK(!sort || std::is_sorted(out.begin(), out.end(), compareNotesTimeAscending));
}

namespace {

// Steps the key was held. Never negative: the playhead's step counter restarts with Play,
// so a key held across a restart would otherwise measure a negative (and, once stored in
// a note's byte, huge) length. Capped so the conversion to int stays defined.
double HeldSteps(const Playhead& playhead, const NoteCompletionQueueEntry& e) {
  const double elapsed = (playhead.stepCount + playhead.fraction) - (e.stepCount + e.fraction);
  if (!(elapsed > 0)) return 0;
  return std::min(elapsed, 1e9);
}

void SetHeldLength(const Playhead& playhead, NoteCompletionQueueEntry& e) {
  const double elapsed = HeldSteps(playhead, e);
  e.gate = static_cast<int32_t>(std::floor(elapsed));
  // 128 (just short of one step more) is kept as it is rather than carried into the gate.
  e.gateFraction = std::min(static_cast<int32_t>(std::floor((elapsed - e.gate) * 128 + 0.5)), 128);
  if (e.gate == 0 && e.gateFraction == 0) e.gateFraction = 1;
}

void SetRoundedLength(const Playhead& playhead, NoteCompletionQueueEntry& e) {
  // Rounded to whole steps; a note cut off within half a step keeps one step instead of
  // becoming a note of no length at all.
  e.gate = std::max(static_cast<int32_t>(std::floor(HeldSteps(playhead, e) + 0.5)), 1);
  e.gateFraction = 0;
}

}  // namespace

void NoteCompletionQueue::Add(const Playhead& playhead, int track, int note, int channel, int output,
                              int pitchChange) {
  if (track < 0 || track >= static_cast<int>(std::size(playhead.trackStep))) return;
  NoteCompletionQueueEntry entry{playhead.stepCount, playhead.session, track, playhead.trackStep[track],
                                 playhead.fraction,  note,             channel, output,
                                 pitchChange,        0,                0};
  for (NoteCompletionQueueEntry& e : entries) {
    if (e.note == note && e.track == track) {
      e = entry;
      return;
    }
  }
  entries.push_back(entry);
  // One entry per key and track, or a release would complete the wrong note.
  ZS_CHECK(std::count_if(entries.begin(), entries.end(), [&](const NoteCompletionQueueEntry& e) {
             return e.note == note && e.track == track;
           }) == 1);
}

bool NoteCompletionQueue::Update(const Playhead& playhead, int track, int note, NoteCompletionQueueEntry& out) {
  out = NoteCompletionQueueEntry{};
  bool found = false;
  std::vector<NoteCompletionQueueEntry> stay;
  stay.reserve(entries.size());
  for (const NoteCompletionQueueEntry& e : entries) {
    if (e.note == note && e.track == track) {
      out = e;
      found = true;
    } else {
      stay.push_back(e);
    }
  }
  entries.swap(stay);
  if (found) SetHeldLength(playhead, out);
  return found;
}

void NoteCompletionQueue::Flush(const Playhead& playhead, std::vector<NoteCompletionQueueEntry>& out) {
  for (NoteCompletionQueueEntry& e : entries) SetRoundedLength(playhead, e);
  out.clear();
  out.swap(entries);
}

void NoteCompletionQueue::Flush(const Playhead& playhead, int track, std::vector<NoteCompletionQueueEntry>& out) {
  std::vector<NoteCompletionQueueEntry> stay;
  stay.reserve(entries.size());
  for (NoteCompletionQueueEntry e : entries) {
    if (e.track == track) {
      SetRoundedLength(playhead, e);
      out.push_back(e);
    } else {
      stay.push_back(e);
    }
  }
  entries.swap(stay);
}
