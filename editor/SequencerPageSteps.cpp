// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: the frame's order of key handling on the steps page, subpage switching and the
// keys that act on every subpage.
#include <algorithm>
#include <iterator>

#include "editor/Sequencer.h"
#include "player/Player.h"

void Sequencer::HandlePageSteps(double dt, Controls& c) {
  if (subpage == SubpageStepEdit && HandleAttributeEditor(dt, c)) {
    // The editor takes the keys (digits are note keys too), but a note key let go meanwhile
    // must still end its note, and a MIDI keyboard keeps playing.
    Controls releases{};
    std::copy(std::begin(c.pianoHeld), std::end(c.pianoHeld), releases.pianoHeld);
    std::copy(std::begin(c.pianoReleased), std::end(c.pianoReleased), releases.pianoReleased);
    HandleLiveNotes(releases);
    return;
  }

  if (messageActive) {
    messageTimeLeft -= dt;
    if (messageTimeLeft < 0) {
      ClearMessage();
      if (!queuedMessages.empty()) {
        ShowMessage(queuedMessages.front().first, queuedMessages.front().second, 3.0);
        queuedMessages.pop_front();
      }
    }
  }

  if (followPlayhead && player->IsPlaying()) bar = player->GetPlayhead().trackStep[track] / kStepsPerBar;

  HandleSubpageCycling(c);
  noteKeyPressed = CountNoteKeys(c);
  HandleSubpage(c);
  HandleGlobalKeys(c);
  HandleLiveNotes(c);
  CopyPlayerMirror();
  session = mirror.session;
}

void Sequencer::HandleSubpageCycling(const Controls& c) {
  // An equalizer program being chosen must be finished with RETURN before leaving the subpage.
  if (eqProgramSelecting) return;
  if (c.tabPressed) {
    if (subpage == SubpageStepEdit) valueEdit.active = false;
    subpage = (subpage + 1) % SubpageCount;
  } else if (c.shiftTab) {
    if (subpage == SubpageStepEdit) valueEdit.active = false;
    subpage = (subpage + SubpageCount - 1) % SubpageCount;
  }
}

bool Sequencer::CountNoteKeys(const Controls& c) {
  int count = 0;
  for (int i = 0; i < kNoteColumns; ++i) count += c.pianoPressed[i] ? 1 : 0;
  return count > 0;
}

void Sequencer::HandleSubpage(const Controls& c) {
  switch (subpage) {
    case SubpageStepEdit: HandleStepEdit(c); break;
    case SubpageSessions: HandleSessions(c); break;
    case SubpageInstruments: HandleInstruments(c); break;
    case SubpageScales: HandleScales(c); break;
    case SubpageMixer: HandleMixer(c); break;
    case SubpageReverbChorus: HandleReverbChorus(c); break;
    case SubpageExternalReverb: HandleExternalReverb(c); break;
    case SubpageExternalEqualizer: HandleExternalEqualizer(c); break;
    default: break;
  }
}

namespace {

// A plain Page Up / Page Down: a press arrived in this frame and it was not one of the
// modified Page keys (those belong to other commands).
bool PlainPageUp(const Controls& c) {
  return c.pageUpCount > 0 && !c.altPageUp && !c.altShiftPageUp && !c.ctrlPageUp && !c.ctrlShiftPageUp &&
         !c.shiftPageUp && !c.ctrlAltPageUp;
}

bool PlainPageDown(const Controls& c) {
  return c.pageDownCount > 0 && !c.altPageDown && !c.altShiftPageDown && !c.ctrlPageDown &&
         !c.ctrlShiftPageDown && !c.shiftPageDown && !c.ctrlAltPageDown;
}

// Index 0..15 of the AltGr bar keys (1..8, then the letter row Q W E R T Z/Y U I), or -1.
int AltGrBar(const Controls& c) {
  for (int i = 0; i < 8; ++i) {
    if (c.altGrDigit[i]) return i;
  }
  const bool letters[8] = {c.altGrQ, c.altGrW, c.altGrE, c.altGrR, c.altGrT, c.altGrZ, c.altGrU, c.altGrI};
  for (int i = 0; i < 8; ++i) {
    if (letters[i]) return 8 + i;
  }
  return -1;
}

// Track 0..11 of Shift+1..9, 0, Q, W, or -1.
int ShiftTrack(const Controls& c) {
  for (int i = 0; i < 10; ++i) {
    if (c.shiftNumberRow[i]) return i;
  }
  if (c.shiftQ) return 10;
  if (c.shiftW) return 11;
  return -1;
}

int FirstSet(const bool* flags, int count) {
  for (int i = 0; i < count; ++i) {
    if (flags[i]) return i;
  }
  return -1;
}

}  // namespace

void Sequencer::HandleGlobalKeys(const Controls& c) {
  // The mixer edits its own track; everywhere else solo, mute and fixed velocity act on the
  // current track. On the mixer the subpage handler has already done them.
  const bool onMixer = subpage == SubpageMixer;
  const int altGrBar = AltGrBar(c);
  const int ctrlDigit = FirstSet(c.ctrlDigit, 8);
  const int altDigit = FirstSet(c.altDigit, 9);
  const int shiftTrack = ShiftTrack(c);

  if (c.spacePressed) {
    if (player->IsPlaying()) {
      player->Stop();
    } else {
      player->Play(false);
    }
  } else if (c.shiftSpace) {
    if (player->IsPlaying()) {
      player->Stop();
    } else {
      player->Continue();
    }
  } else if (c.altZ) {
    lockToScale = !lockToScale;
  } else if (c.altS && !onMixer) {
    sessions->SetSingle(session, sessions->GetSingle(session) == track ? -1 : track);
  } else if (c.altM && !onMixer) {
    sessions->SetMuted(session, track, !sessions->GetMuted(session, track));
  } else if (c.altT && !onMixer) {
    sessions->SetTrackVelocityFixed(track, !sessions->GetTrackVelocityFixed(track));
  } else if (c.keypadMinusPressed || c.shiftMinus) {
    if (!noteKeyPressed && octave > 0) --octave;
  } else if (c.keypadPlusPressed || c.shiftPlus) {
    if (!noteKeyPressed && octave < kMaxOctave) ++octave;
  } else if (PlainPageUp(c)) {
    if (subpage != SubpageInstruments && !(player->IsPlaying() && followPlayhead)) {
      bar = bar == 0 ? kBars - 1 : bar - 1;
    }
  } else if (PlainPageDown(c)) {
    if (subpage != SubpageInstruments && !(player->IsPlaying() && followPlayhead)) {
      bar = bar == kBars - 1 ? 0 : bar + 1;
    }
  } else if (c.rightCtrlPressed) {
    ToggleRecording();
  } else if (c.escapePressed) {
    // While recording, ESC takes back the whole take and ends recording.
    if (player->GetRecording()) {
      UndoRecordingAndStop();
    } else {
      UndoEdit(false);
    }
  } else if (c.shiftEscape) {
    RedoEdit();
  } else if (c.altF) {
    followPlayhead = !followPlayhead;
  } else if (c.altW) {
    velocityShading = !velocityShading;
  } else if (c.altY) {
    midiFixedVelocity = !midiFixedVelocity;
  } else if (c.altC) {
    midiVelocityCurve = midiVelocityCurve >= 8 ? 0 : midiVelocityCurve + 1;
  } else if (c.altQ) {
    player->SetNoteQuantization(!player->GetNoteQuantization());
  } else if (c.altG) {
    player->SetGateQuantization(!player->GetGateQuantization());
  } else if (c.f1Pressed) {
    SaveProject();
  } else if (c.f5Pressed) {
    ReloadProject();
  } else if (c.f7Pressed || c.f8Pressed) {
    const bool extended = !c.f7Pressed;
    if (player->GetSong().empty()) {
      ShowMessage("NO SONG", true);
    } else if (player->ExportToMidi(GetExportFileName(), extended, extended, extended, extended)) {
      ShowMessage(extended ? "EXPORTED EXTENDED" : "EXPORTED", false);
    } else {
      ShowMessage("ERROR EXPORTING", true);
    }
  } else if (c.f9Pressed || c.altReturn) {
    pitchBlack = !pitchBlack;
  } else if (c.f10Pressed) {
    showHelp = !showHelp;
  } else if (c.f11Pressed) {
    showAllTracks = !showAllTracks;
  } else if (ctrlDigit >= 0) {
    subpage = ctrlDigit;
  } else if (altDigit >= 1) {
    bar = altDigit - 1;
  } else if (altDigit == 0) {
    bar = player->GetPlayhead().trackStep[track] / kStepsPerBar;
  } else if (altGrBar >= 0) {
    bar = altGrBar;
  } else if (shiftTrack >= 0 && !noteKeyPressed) {
    if (eqProgramSelecting) {
      ShowMessage("FINISH EQ EDITING", true);
    } else {
      SelectTrack(shiftTrack);
    }
  }
}
