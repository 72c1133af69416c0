// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>

#include "model/SessionsStore.h"
#include "project/SongSettings.h"

// A copy of everything the project file holds, taken on the sequencer thread in well under a
// millisecond even for a full song, so the text can be made and written on another thread.
struct ProjectSnapshot {
  SongSettings settings;  // instruments[t].soundfont is -1 for a track without an instrument
  std::string soundfontNames[kTracks];
  std::string presetNames[kTracks];
  StepImages steps;  // every step with notes, in (session, track, step) order
};

// The project file's text; safe on any thread (it reads only the snapshot).
void ProjectText(const ProjectSnapshot& snapshot, std::string& out);
