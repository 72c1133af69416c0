// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: keys of the sessions subpage (session cursor, session clipboard, song list).
#include "editor/Sequencer.h"
#include "player/Player.h"

namespace {

constexpr int kSessionsPerRow = 6;
constexpr int kMaxSongEntries = 15;

// Copies the mute flags of every track and the solo track of one session to another.
void CopyMuteSolo(SessionsStore* store, int from, int to) {
  for (int t = 0; t < kTracks; ++t) store->SetMuted(to, t, store->GetMuted(from, t));
  store->SetSingle(to, store->GetSingle(from));
}

// Gives track `to` of `toSession` the play range of the source track, when it is a range.
void CopyRange(SessionsStore* store, int fromSession, int fromTrack, int toSession, int to) {
  int start, end;
  store->GetStartEndSteps(fromSession, fromTrack, start, end);
  if (start <= end) store->SetStartEndSteps(toSession, to, start, end);
}

}  // namespace

void Sequencer::HandleSessions(const Controls& c) {
  const int source = sessionClipboard.session;
  const int sourceTrack = sessionClipboard.track;
  const bool pasteKey = c.ctrlV || c.ctrlM || c.ctrlA || c.ctrlT || c.ctrlL || c.ctrlShiftL;
  // Every paste uses the clipboard up, whether it acted or not.
  const bool haveClipboard = sessionClipboard.valid;
  if (pasteKey) sessionClipboard.valid = false;
  const bool sameSession = source == sessionCursor;
  const bool sameTrack = sameSession && sourceTrack == track;

  if (c.returnPressed) {
    session = sessionCursor;
    player->SetSession(sessionCursor);
  } else if (c.shiftReturn) {
    if (player->IsPlaying()) player->Stop();
    if (player->GetSong().empty()) {
      ShowMessage("NOSONG", true);
    } else if (!player->IsPlaying()) {
      player->Play(true);
    }
  } else if (c.ctrlC) {
    sessionClipboard.valid = true;
    sessionClipboard.session = sessionCursor;
    sessionClipboard.track = track;
  } else if (c.ctrlV) {
    MarkEdit("PASTE SESSION", "SESSION REPLACED");
    if (haveClipboard && !sameSession) {
      // Copy brings the source's flags along; the target keeps its own mute and solo.
      SessionTrackAttribs kept[kTracks];
      for (int t = 0; t < kTracks; ++t) kept[t] = sessions->GetSessionTrackAttribs(sessionCursor, t);
      const int keptSingle = sessions->GetSingle(sessionCursor);
      sessions->Copy(source, sessionCursor);
      for (int t = 0; t < kTracks; ++t) sessions->SetMuted(sessionCursor, t, kept[t].muted);
      sessions->SetSingle(sessionCursor, keptSingle);
    }
  } else if (c.ctrlM) {
    if (haveClipboard && !sameSession) CopyMuteSolo(sessions.get(), source, sessionCursor);
  } else if (c.ctrlA) {
    MarkEdit("PASTE SESSION", "SESSION REPLACED");
    if (haveClipboard && !sameSession) {
      sessions->Copy(source, sessionCursor);
      CopyMuteSolo(sessions.get(), source, sessionCursor);
    }
  } else if (c.ctrlT) {
    MarkEdit("PASTE TRACK", "TRACK REPLACED");
    if (haveClipboard && !sameTrack) sessions->Copy(source, sourceTrack, sessionCursor, track);
  } else if (c.ctrlL) {
    if (haveClipboard && !sameTrack) CopyRange(sessions.get(), source, sourceTrack, sessionCursor, track);
  } else if (c.ctrlShiftL) {
    if (haveClipboard) {
      for (int t = 0; t < kTracks; ++t) {
        if (!(sameSession && t == sourceTrack)) CopyRange(sessions.get(), source, sourceTrack, sessionCursor, t);
      }
    }
  } else if (c.ctrlY) {
    MarkEdit("ERASE SESSION", "SESSION ERASED");
    sessions->Delete(sessionCursor);
  } else if (c.ctrlX) {
    MarkEdit("ERASE TRACK", "TRACK ERASED");
    sessions->Delete(sessionCursor, track);
  } else if (c.insertPressed) {
    MarkEdit("SONG ENTRY");
    Song song = player->GetSong();
    if (static_cast<int>(song.size()) < kMaxSongEntries) {
      song.push_back(SongPart{sessionCursor, sessions->GetSessionLength(sessionCursor)});
      player->SetSong(song);
    }
  } else if (c.deletePressed) {
    MarkEdit("SONG ENTRY");
    Song song = player->GetSong();
    if (!song.empty()) {
      song.pop_back();
      player->SetSong(song);
    }
  } else if (c.leftCount > 0) {
    const int row = sessionCursor / kSessionsPerRow * kSessionsPerRow;
    sessionCursor = row + (sessionCursor - row + kSessionsPerRow - 1) % kSessionsPerRow;
  } else if (c.rightCount > 0) {
    const int row = sessionCursor / kSessionsPerRow * kSessionsPerRow;
    sessionCursor = row + (sessionCursor - row + 1) % kSessionsPerRow;
  } else if (c.upCount > 0) {
    sessionCursor = (sessionCursor + kSessions - kSessionsPerRow) % kSessions;
  } else if (c.downCount > 0) {
    sessionCursor = (sessionCursor + kSessionsPerRow) % kSessions;
  }
}
