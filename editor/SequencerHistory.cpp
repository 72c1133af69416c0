// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: the undo history (ESC, Shift+ESC, CTRL K U), saving and loading with F1 and F5,
// and the recovery file that keeps unsaved edits through a crash, a kill or a failed save.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "editor/Sequencer.h"
#include "player/Player.h"
#include "project/BackgroundFileWriter.h"
#include "project/ProjectSnapshot.h"

namespace {

const char* const kSubpageEditLabels[SubpageCount] = {
    "EDIT", "SESSIONS", "INSTRUMENT", "SCALE", "MIXER", "REVERB CHORUS", "EXTERNAL REVERB", "EQUALIZER"};

// Modification time, or false when the path is not a regular file.
bool ModifiedAt(const std::string& path, timespec& out) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  out = info.st_mtim;
  return true;
}

bool Newer(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

}  // namespace

std::string Sequencer::GetStateRecoveryFileName() const {
  std::string folder;
  const char* state = getenv("XDG_STATE_HOME");
  const char* home = getenv("HOME");
  if (state && state[0] == '/') {
    folder = state;
  } else if (home && home[0] != '\0') {
    folder = std::string(home) + "/.local/state";
  } else {
    return {};
  }
  const size_t slash = projectPrefix.rfind('/');
  const std::string name = slash == std::string::npos ? projectPrefix : projectPrefix.substr(slash + 1);
  return folder + "/zembrovane-sequencer/" + name + ".recovery.dat";
}

void Sequencer::MarkEdit(const char* label, const char* doneMessage, bool isBlock) {
  editLabel = label;
  editMessage = doneMessage;
  editIsBlock = isBlock;
}

void Sequencer::CommitEdits() {
  const char* label = editLabel ? editLabel : kSubpageEditLabels[subpage];
  const char* done = editMessage;
  const bool isBlock = editIsBlock;
  editLabel = editMessage = nullptr;
  editIsBlock = false;
  // A recording stays one open edit until it ends.
  if (player->GetRecording()) return;
  if (recordingOpen) {
    recordingOpen = false;
    label = "RECORDING";
  }
  if (history.Commit(label, isBlock) && done) ShowMessage(std::string(done) + " ESC UNDOES", false);
}

void Sequencer::UndoEdit(bool blockOnly) {
  CommitEdits();
  std::string label;
  if (blockOnly && !history.LastIsBlock()) {
    ShowMessage("NOTHING TO UNDO", true);
  } else if (history.Undo(label)) {
    ShowMessage("UNDO " + label, false);
    UpdateSongLengths();
  } else {
    ShowMessage("NOTHING TO UNDO", true);
  }
}

void Sequencer::RedoEdit() {
  CommitEdits();
  std::string label;
  if (history.Redo(label)) {
    ShowMessage("REDO " + label, false);
  } else {
    ShowMessage("NOTHING TO REDO", true);
  }
}

void Sequencer::ToggleRecording() {
  if (!player->GetRecording()) {
    // What was edited before belongs to its own entry, not to the take.
    CommitEdits();
    recordingOpen = true;
  }
  player->SetRecording(!player->GetRecording());
}

void Sequencer::UndoRecordingAndStop() {
  if (!player->GetRecording()) return;
  player->SetRecording(false);
  CommitEdits();
  std::string label;
  if (history.LastIsBlock() || !history.Undo(label)) return;
  ShowMessage("UNDO " + label, false);
}

void Sequencer::SaveProject() {
  CommitEdits();
  if (!projectWatch.MaySave(GetProjectFileName())) {
    ShowMessage("FILE CHANGED ON DISK", true);
    return;
  }
  if (player->SaveProject(GetProjectFileName())) {
    projectWatch.Remember(GetProjectFileName());
    history.MarkSaved();
    ShowMessage("SAVED", false);
    if (recoveryInUse) RemoveRecoveryFiles();
    return;
  }
  ShowMessage("ERROR SAVING", true);
  // The edits must survive the failure: they are kept at once, wherever that works, and the
  // next message says where.
  recoveryClock = kRecoverySeconds;
  recoveryState = 0;
  announceRecovery = true;
}

void Sequencer::ReloadProject() {
  player->Stop();
  // What was edited before the load is one entry, the load another: ESC brings the song back.
  const bool recording = player->GetRecording();
  if (recording) player->SetRecording(false);
  CommitEdits();
  std::string reason;
  const bool readable = CheckProjectFile(GetProjectFileName(), reason) == ProjectFileState::kReadable;
  if (readable && player->LoadProject(GetProjectFileName(), selectDefaultInstrument)) {
    projectWatch.Remember(GetProjectFileName());
    ShowMessage("LOADED ESC UNDOES", false);
    // Nothing may point into the song that was there before.
    ClearBlock();
    clipboard = {};
    sessionClipboard = {};
    history.Commit("LOAD");
    history.MarkSaved();
  } else {
    ShowMessage("ERROR LOADING", true);
  }
  if (recording) ToggleRecording();
}

void Sequencer::UpdateRecovery(double dt) {
  if (!history.Attached()) return;
  if (!recoveryWriter) recoveryWriter = std::make_unique<BackgroundFileWriter>();
  recoveryClock += dt;
  BackgroundFileWriter::Result result;
  if (recoveryWriter->TakeResult(result)) {
    const bool inFolder = result.path == GetRecoveryFileName();
    if (result.path.empty()) {
      printf("error: could not write the recovery file %s\n", GetRecoveryFileName().c_str());
      if (announceRecovery) QueueMessage("EDITS NOT KEPT", true);
    } else if (result.path != lastRecoveryPath || announceRecovery) {
      printf("unsaved edits kept in %s\n", result.path.c_str());
      if (!inFolder || announceRecovery) {
        QueueMessage(inFolder ? "EDITS KEPT IN RECOVERY FILE" : "EDITS KEPT IN STATE FOLDER", false);
      }
    }
    announceRecovery = false;
    lastRecoveryPath = result.path;
  }
  if (!history.Dirty() || history.CurrentId() == recoveryState || recoveryClock < kRecoverySeconds) return;
  if (recoveryWriter->Busy()) return;
  // Only the copy is taken here; the text is made and written on the writer's thread.
  auto snapshot = std::make_shared<ProjectSnapshot>();
  player->TakeSnapshot(*snapshot);
  recoveryWriter->Post({GetRecoveryFileName(), GetStateRecoveryFileName()},
                       [snapshot](std::string& text) { ProjectText(*snapshot, text); }, history.CurrentId());
  recoveryState = history.CurrentId();
  recoveryClock = 0;
  recoveryInUse = true;
}

void Sequencer::FinishRecovery() {
  if (!history.Attached()) return;
  if (recoveryWriter) recoveryWriter->Flush();
  if (player->GetRecording()) player->SetRecording(false);
  CommitEdits();
  if (history.Dirty() && history.CurrentId() != recoveryState) {
    std::string text;
    player->ProjectText(text);
    const std::string path = BackgroundFileWriter::WriteFirst({GetRecoveryFileName(), GetStateRecoveryFileName()}, text);
    if (path.empty()) {
      printf("error: could not write the recovery file %s; unsaved edits are lost\n", GetRecoveryFileName().c_str());
    } else {
      printf("unsaved edits kept in %s\n", path.c_str());
    }
  } else if (!history.Dirty() && recoveryInUse) {
    // The project file holds everything: a recovery file would only bring back an old state.
    RemoveRecoveryFiles();
  }
  recoveryWriter.reset();
  history.Detach();
}

std::string Sequencer::ChooseRecoveryFile(const std::string& projectFile) {
  timespec project{}, recovery{};
  const bool haveProject = ModifiedAt(projectFile, project);
  for (const std::string& path : {GetRecoveryFileName(), GetStateRecoveryFileName()}) {
    if (path.empty() || !ModifiedAt(path, recovery)) continue;
    if (!haveProject || Newer(recovery, project)) {
      printf("loading the recovery file %s: it holds edits not saved to %s\n", path.c_str(), projectFile.c_str());
      return path;
    }
    printf("the recovery file %s is older than %s: left alone\n", path.c_str(), projectFile.c_str());
  }
  return {};
}

void Sequencer::RemoveRecoveryFiles() {
  if (recoveryWriter) recoveryWriter->Flush();
  unlink(GetRecoveryFileName().c_str());
  const std::string state = GetStateRecoveryFileName();
  if (!state.empty()) unlink(state.c_str());
  recoveryInUse = false;
}

void Sequencer::QueueMessage(const std::string& text, bool isError, double seconds) {
  if (!messageActive) {
    ShowMessage(text, isError, seconds);
  } else {
    queuedMessages.emplace_back(text, isError);
  }
}
