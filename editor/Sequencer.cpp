// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: construction, start-up, the per-frame entry, editor reset, sprites and shutdown.
#include "editor/Sequencer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/SoundfontList.h"
#include "devices/MidiInput.h"
#include "devices/MidiOutput.h"
#include "player/Player.h"
#include "player/Util.h"
#include "project/BackgroundFileWriter.h"
#include "project/EmptyProject.h"
#include "render/Atlas.h"
#include "sound/SFOutput.h"

namespace {

int WallpaperFromText(const std::string& text) {
  if (text.size() == 1 && text[0] >= '1' && text[0] <= '6') return text[0] - '0';
  return 0;
}

}  // namespace

Sequencer::Sequencer(const std::string& appDirectory, const std::string& projectPrefix,
                     const std::string& midiInputName, const std::string& midiOutputName,
                     const std::string& midiOutput2Name, bool selectDefaultInstrument, bool playerFlag,
                     int audioBufferSize, const Color& backgroundColor, bool launchpadMode,
                     const std::string& wallpaper, bool useEffect, const std::string& effectName, bool qminiMode,
                     bool blackKeysTransport, bool layering, int maxMidiVelocity)
    : appDirectory(appDirectory),
      projectPrefix(projectPrefix),
      midiInputName(midiInputName),
      midiOutputName(midiOutputName),
      midiOutput2Name(midiOutput2Name),
      selectDefaultInstrument(selectDefaultInstrument),
      playerFlag(playerFlag),
      audioBufferSize(audioBufferSize),
      backgroundColor(backgroundColor),
      launchpadMode(launchpadMode),
      wallpaperNumber(WallpaperFromText(wallpaper)),
      useEffect(useEffect),
      effectName(effectName),
      qminiMode(qminiMode),
      blackKeysTransport(blackKeysTransport),
      layering(layering),
      maxMidiVelocity(maxMidiVelocity) {
  rnd = std::make_unique<Rnd>();
  Rnd::Init();
  font = std::make_unique<MyFont>();
  font->Setup();
  sessions = std::make_unique<SessionsStore>();
  synth = std::make_unique<SFOutput>();
  midiOutput = std::make_unique<MidiOutput>();
  midiOutput2 = std::make_unique<MidiOutput>();
  player = std::make_unique<Player>(sessions.get(), synth.get(), midiOutput.get(), midiOutput2.get(), playerFlag,
                                    launchpadMode, layering);
}

Sequencer::~Sequencer() {
  Shutdown();
  // Not the reverse of creation: the player goes before the store and the synthesizer it
  // borrows, and the MIDI objects last (after the player, which sends through them), so a
  // sequencer can be created and destroyed repeatedly without leaking ports.
  rnd.reset();
  font.reset();
  player.reset();
  sessions.reset();
  synth.reset();
  midiInput.reset();
  midiOutput.reset();
  midiOutput2.reset();
}

bool Sequencer::Init(IRender* r) {
  render = r;
  if (launchpadMode) printf("launchpad mode was chosen\n");
  if (qminiMode) printf("qmini keyboard hack was chosen\n");
  if (blackKeysTransport) printf("black keys as transport controls was chosen (when using scale)\n");
  printf("midi keyboard velocity max value (property) chosen %d\n", maxMidiVelocity);

  if (!ReadSoundfontsAndStartSynth()) return false;

  instruments = synth->GetSFInstruments();
  bool anyInstrument = false;
  for (const Instruments& list : *instruments)
    for (const Bank& bank : list.banks) anyInstrument = anyInstrument || !bank.progs.empty();
  if (!anyInstrument) {
    printf("error: no instrument in soundfont files\n");
    return false;
  }

  // The tracks start with the external effect settings the synthesizer holds; the external
  // equalizer is then switched off until a project or the user switches it on.
  static_assert(ExternalEffect::kParams == kExternalParams);
  for (int t = 0; t < kTracks; ++t) {
    double values[kExternalParams] = {};
    sessions->SetTrackExternalReverbEnabled(t, synth->GetExternalReverbActive(t));
    synth->GetExternalReverbParams(t, values);
    sessions->SetTrackExternalReverb(t, values);
    sessions->SetTrackExternalEqualizerEnabled(t, synth->GetExternalEqualizerActive(t));
    synth->SetExternalEqualizerActive(t, false);
    synth->GetExternalEqualizerParams(t, values);
    sessions->SetTrackExternalEqualizer(t, values);
  }

  bool ok = true;
  LoadOrCreateProject(ok);
  if (!ok) return false;
  history.Attach(player.get());
  if (recoveredAtStart) {
    history.MarkUnsaved();
    recoveryState = history.CurrentId();
    recoveryInUse = true;
  }

  page = 0;
  subpage = SubpageStepEdit;
  CopyPlayerMirror();
  lockToScale = true;
  ClearBlock();
  InitPageSteps();
  PreparePageSteps();
  showHelp = false;
  midiInput = std::make_unique<MidiInput>();
  midiInputOk = midiInput->Init(midiInputName);
  midiOutputOk = midiOutput->Init(midiOutputName, 0);
  midiOutput2Ok = midiOutput2->Init(midiOutput2Name, 1);
  if (launchpadMode && midiOutputOk) midiOutput->LaunchpadAllNotesOff();
  ShowStartupProblems();
  return true;
}

// What went wrong at start-up is printed as it happens, but a musician who started the
// program from the desktop menu sees only the window: each problem is shown there too, one
// after another.
void Sequencer::ShowStartupProblems() {
  auto show = [this](const std::string& text, bool isError) { QueueMessage(text, isError, 3.0); };
  if (recoveredAtStart) show("RECOVERED UNSAVED EDITS", false);
  if (!synth->HasAudioDevice()) show("NO AUDIO DEVICE - SILENT", true);
  for (int i = 0; i < static_cast<int>(instruments->size()); ++i) {
    if (synth->IsSoundfontMissing(i)) show("SOUNDFONT " + std::to_string(i) + " MISSING", true);
  }
  const Player::LoadReport load = player->GetLoadReport();
  if (load.newerVersion) show("PROJECT FROM A NEWER VERSION", true);
  if (load.ignoredLines > 0) show("PROJECT: " + std::to_string(load.ignoredLines) + " LINES IGNORED", true);
  if (!midiInputName.empty() && !midiInputOk) show("MIDI INPUT NOT FOUND", true);
  if ((!midiOutputName.empty() && !midiOutputOk) || (!midiOutput2Name.empty() && !midiOutput2Ok)) {
    show("MIDI OUTPUT NOT FOUND", true);
  }
}

bool Sequencer::ReadSoundfontsAndStartSynth() {
  SoundfontList list;
  if (!ReadSoundfontList("./soundfonts.dat", list)) return false;
  if (!synth->Init(appDirectory, list.paths, list.gains, audioBufferSize, useEffect, effectName)) {
    printf("error: could not import soundfont\n");
    return false;
  }
  synthStarted = true;
  return true;
}

void Sequencer::LoadOrCreateProject(bool& ok) {
  const std::string fileName = GetProjectFileName();
  bool exists = false;
  if (!OpenProjectFileAtStart(fileName, exists)) {
    ok = false;
    return;
  }
  const std::string recovery = ChooseRecoveryFile(fileName);
  if (!recovery.empty()) {
    if (player->LoadProject(recovery, selectDefaultInstrument)) {
      recoveredAtStart = true;
    } else {
      printf("error: the recovery file %s could not be loaded; starting from %s\n", recovery.c_str(),
             fileName.c_str());
    }
  }
  if (recoveredAtStart) {
    // The project file stays as it is until F1.
  } else if (exists) {
    if (!player->LoadProject(fileName, selectDefaultInstrument)) {
      printf("error: loading project file failed\n");
      ok = false;
      return;
    }
  }
  if (recoveredAtStart || exists) {
    // A loaded project opens on its first session and track.
    player->SetSession(0);
    player->SetTrack(0);
  } else {
    printf("creating empty project file\n");
    CreateEmptyProject(fileName, false);
  }
  if (!projectWatch.Remember(fileName)) {
    printf("warning: project file %s is open in another instance; the last save wins unless F1 warns first\n",
           fileName.c_str());
  }
}

bool Sequencer::CreateEmptyProject(const std::string& fileName, bool) {
  return ::CreateEmptyProject(player.get(), fileName);
}

int Sequencer::PlayerSlices(double dt, double* out) {
  if (!(dt > 0)) return 0;  // also NaN
  if (dt > 1.0) {
    for (int i = 0; i < kMaxPlayerSlices; ++i) out[i] = kPlayerSlice;
    return kMaxPlayerSlices;
  }
  const int whole = std::min(kMaxPlayerSlices, static_cast<int>(std::floor(dt * 60.0)));
  int n = 0;
  for (; n < whole; ++n) out[n] = kPlayerSlice;
  const double rest = dt - whole * kPlayerSlice;
  // Rounding can leave a crumb of a few ulps after whole slices; it is not a real slice.
  if (rest > 1e-12) out[n++] = rest;
  return n;
}

void Sequencer::UpdateInternal(double dt, const Controls&) {
  double slices[kMaxPlayerSlices + 1];
  const int n = PlayerSlices(dt, slices);
  // The player's clock runs on the frame times it is given, which add up to the monotonic
  // clock exactly and so keep the step grid steady; it is put back on the clock only when they
  // stop adding up: at the first frame, after a stall longer than the slices cover, or when a
  // caller's frame times are not real ones.
  double sliced = 0;
  for (int i = 0; i < n; ++i) sliced += slices[i];
  const double now = MonotonicSeconds();
  if (!(std::fabs(player->GetClockTime() + sliced - now) < kPlayerClockSlack)) player->SetClockTime(now - sliced);
  for (int i = 0; i < n; ++i) player->Update(slices[i]);
}

void Sequencer::Update(double dt, Controls controls, QuadList& quads, SceneInfo& scene) {
  quads.quads.clear();
  scene.scrollX = scene.scrollY = 0;
  scene.reserved = 0;
  scene.background = backgroundColor;
  if (page == 0) {
    HandlePageSteps(dt, controls);
    CommitEdits();
    UpdateRecovery(dt);
    DisplayPageSteps(quads);
  }
  UpdateInternal(dt, controls);
  scene.scrollX = scene.scrollY = 0;
  scene.reserved = 0;
}

void Sequencer::CopyPlayerMirror() {
  const Playhead ph = player->GetPlayhead();
  for (int t = 0; t < kTracks; ++t) mirror.trackStep[t] = ph.trackStep[t];
  mirror.session = ph.session;
  mirror.playing = player->IsPlaying();
  mirror.recording = player->GetRecording();
}

void Sequencer::InitPageSteps() {
  session = player->GetPlayhead().session;
  SelectTrack(0);
  bar = 0;
  stepCursor = 0;
  noteCursor = 0;
  octave = 4;
  noteQuantization = player->GetNoteQuantization();
  gateQuantization = player->GetGateQuantization();
  clipboard = {};
  sessionCursor = session;
  sessionClipboard = {};
  valueEdit = {};
  followPlayhead = false;
  scaleCursor = 0;
  instrumentCursor = 2;
  mixerTrack = 0;
  mixerParam = 7;
  fxParam = extReverbParam = extEqParam = 0;
  eqProgramSelecting = false;
  eqProgramIndex = 0;
  for (double& v : savedEqualizer) v = 0;
  ClearMessage();
  midiFixedVelocity = true;
  midiVelocityCurve = 0;
}

void Sequencer::PreparePageSteps() {
  DisposePageSteps();
  auto atlasSprite = [this](int index) {
    auto s = std::make_unique<Sprite>();
    s->Create(render, Atlas::kTextureSlot, Atlas::GetCoords(index));
    return s;
  };
  int wallpaperImage = Atlas::Wallpaper1;
  if (wallpaperNumber == 2 || wallpaperNumber == 5) wallpaperImage = Atlas::Wallpaper2;
  if (wallpaperNumber == 3 || wallpaperNumber == 6) wallpaperImage = Atlas::Wallpaper3;
  wallpaperSprite = atlasSprite(wallpaperImage);
  wallpaperSprite->SetScale(2, 2);
  wallpaperSprite->SetVisible(wallpaperNumber != 0);
  pitchBlackSprite = atlasSprite(Atlas::PitchBlack);
  pitchBlackSprite->SetPosition(275, 420);
  keyboardPanelSprite = atlasSprite(Atlas::KeyboardPanel);
  keyStripSprite = atlasSprite(Atlas::KeyStrip);
  keyStripSprite->SetPosition(3, 134);
  cursorSprite = atlasSprite(Atlas::Cursor);
  markerASprite = atlasSprite(Atlas::MarkerA);
  markerASprite->SetShaderIndex(kShaderReplaceColors);
  markerBSprite = atlasSprite(Atlas::MarkerB);
  markerBSprite->SetShaderIndex(kShaderReplaceColors);
}

void Sequencer::DisposePageSteps() {
  for (std::unique_ptr<Sprite>* s : {&wallpaperSprite, &pitchBlackSprite, &keyboardPanelSprite, &keyStripSprite,
                                     &cursorSprite, &markerASprite, &markerBSprite}) {
    s->reset();
  }
}

void Sequencer::Shutdown() {
  FinishRecovery();
  if (player) player->Stop();
  // Stopping playback leaves held live notes sounding; quitting must not.
  if (player) EndLiveNotes();
  if (synth) synth->Shutdown();
  synthStarted = false;
  if (midiInput) midiInput->Shutdown();
  if (midiOutput) midiOutput->Shutdown();
  if (midiOutput2) midiOutput2->Shutdown();
  midiInputOk = midiOutputOk = midiOutput2Ok = false;
  DisposePageSteps();
}

void Sequencer::ShowMessage(const std::string& text, bool isError, double seconds) {
  message = text;
  messageActive = true;
  messageIsError = isError;
  messageTimeLeft = seconds;
}

void Sequencer::ClearMessage() {
  messageActive = false;
  messageIsError = false;
  message.clear();
  messageTimeLeft = 0;
}

void Sequencer::SelectTrack(int newTrack) {
  track = newTrack;
  player->SetTrack(newTrack);
}

void Sequencer::ClearBlock() {
  block = {};
}
