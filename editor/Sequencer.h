// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "devices/Keyboard.h"
#include "devices/NoteEvent.h"
#include "editor/IScene.h"
#include "editor/UndoHistory.h"
#include "model/Note.h"
#include "model/Scales.h"
#include "model/SessionsStore.h"
#include "player/Player.h"
#include "project/ProjectFileCheck.h"
#include "render/Color.h"
#include "render/Font.h"
#include "render/Quad.h"
#include "render/Sprite.h"
#include "sound/ExternalEffectRanges.h"
#include "sound/Instruments.h"

class BackgroundFileWriter;
class IRender;
class MidiInput;
class MidiOutput;
class Player;
class Rnd;
class SFOutput;

// The subpages of the steps page in the order TAB cycles through them; the user sees them
// numbered from 1.
enum Subpage : int32_t {
  SubpageStepEdit = 0,
  SubpageSessions,
  SubpageInstruments,
  SubpageScales,
  SubpageMixer,
  SubpageReverbChorus,
  SubpageExternalReverb,
  SubpageExternalEqualizer,
  SubpageCount,
};

// Mixer and effects subpages (5 to 8): the editor's equalizer programs; index 0 ("----")
// stands for the values the equalizer had when the choice started.
struct ExternalEqualizerProgram {
  const char* name;
  double values[kExternalParams];  // gain, then the ten bands 31 Hz .. 16 kHz in dB
};
constexpr int kEqualizerPrograms = 10;
extern const ExternalEqualizerProgram kExternalEqualizerPrograms[kEqualizerPrograms];
// Shown name and reset value of one parameter of the external effects subpages; its range is
// the chain's (kExternalReverbRanges, kExternalEqualizerRanges).
struct ExternalEditParam {
  const char* name;
  double reset;
};
// One UP or DOWN press moves an external effect parameter by 1/200 of its range.
inline double StepExternalParam(double value, const ExternalParamRange& range, int presses) {
  return range.Limit(value + presses * (range.max - range.min) / 200.0);
}
extern const ExternalEditParam kExternalReverbEditParams[kExternalParams];
extern const ExternalEditParam kExternalEqualizerEditParams[kExternalParams];

// Player time is advanced in slices of this length, so a long frame is caught up exactly.
constexpr double kPlayerSlice = 1.0 / 60.0;
// Longest frame that is caught up; a longer gap (a stalled thread) counts as this much.
constexpr int kMaxPlayerSlices = 60;
// How far the player's clock may stray from the monotonic clock before it is put back: well
// above the jitter of the moment a frame reads the clock, which must never move the grid.
constexpr double kPlayerClockSlack = 0.02;

// The application's scene: owns the song, the player, the synthesizer and the MIDI ports,
// holds the editor state and turns each frame's keys into edits and player commands.
//
// Threads: the constructor, Init, Shutdown and the destructor run on the main thread while
// the sequencer thread is not running; everything else runs on the sequencer thread.
//
// Key handling is split by subpage over SequencerStepEdit.cpp, SequencerSessions.cpp ...,
// drawing by screen area over SequencerDisplay*.cpp; the class stays one.
class Sequencer : public IScene {
 public:
  Sequencer(const std::string& appDirectory, const std::string& projectPrefix, const std::string& midiInputName,
            const std::string& midiOutputName, const std::string& midiOutput2Name, bool selectDefaultInstrument,
            bool playerFlag, int audioBufferSize, const Color& backgroundColor, bool launchpadMode,
            const std::string& wallpaper, bool useEffect, const std::string& effectName, bool qminiMode,
            bool blackKeysTransport, bool layering, int maxMidiVelocity);
  ~Sequencer() override;
  Sequencer(const Sequencer&) = delete;
  Sequencer& operator=(const Sequencer&) = delete;

  bool Init(IRender* render) override;
  void Update(double dt, Controls controls, QuadList& quads, SceneInfo& scene) override;
  // Safe to call when Init failed or never ran, and more than once.
  void Shutdown() override;

  // Advances the player by dt seconds in 1/60 s slices (at most 60 of them).
  void UpdateInternal(double dt, const Controls& controls);
  // The slices UpdateInternal hands to the player for a frame of dt seconds; returns their
  // count (0 for dt <= 0 or not a number). out holds at least kMaxPlayerSlices + 1 entries.
  static int PlayerSlices(double dt, double* out);

  void InitPageSteps();
  void PreparePageSteps();
  void DisposePageSteps();
  void HandlePageSteps(double dt, Controls& controls);
  void DisplayPageSteps(QuadList& quads);

  // Writes a new project with the first instrument on every track; `demo` is not used.
  bool CreateEmptyProject(const std::string& fileName, bool demo);

  // Read access for the screen, the main loop and tests.
  Player* GetPlayer() const { return player.get(); }
  SessionsStore* GetSessions() const { return sessions.get(); }
  SFOutput* GetSynth() const { return synth.get(); }
  std::string GetProjectFileName() const { return "./" + projectPrefix + ".dat"; }
  std::string GetExportFileName() const { return "./" + projectPrefix + ".asc"; }
  // Where unsaved edits are kept: beside the project, or in the state folder
  // ($XDG_STATE_HOME/zembrovane-sequencer, by default ~/.local/state/zembrovane-sequencer)
  // when the project's folder cannot be written.
  std::string GetRecoveryFileName() const { return "./" + projectPrefix + ".recovery.dat"; }
  std::string GetStateRecoveryFileName() const;
  // The song differs from what was last saved or loaded.
  bool HasUnsavedChanges() const { return history.Dirty(); }
  const UndoHistory& GetHistory() const { return history; }
  // Unsaved edits are kept at least this often while there are any.
  static constexpr double kRecoverySeconds = 30.0;
  int GetSubpage() const { return subpage; }
  int GetSession() const { return session; }
  int GetTrack() const { return track; }
  int GetBar() const { return bar; }
  int GetStepCursor() const { return stepCursor; }
  int GetNoteCursor() const { return noteCursor; }
  int GetOctave() const { return octave; }
  bool IsPlaying() const { return mirror.playing; }
  bool IsRecording() const { return mirror.recording; }
  bool GetLockToScale() const { return lockToScale; }
  bool GetShowHelp() const { return showHelp; }
  bool GetShowAllTracks() const { return showAllTracks; }
  bool GetPitchBlack() const { return pitchBlack; }
  bool GetFollowPlayhead() const { return followPlayhead; }
  bool GetMidiFixedVelocity() const { return midiFixedVelocity; }
  int GetMidiVelocityCurve() const { return midiVelocityCurve; }
  bool GetValueEditActive() const { return valueEdit.active; }
  bool GetEqProgramSelecting() const { return eqProgramSelecting; }
  bool IsMessageActive() const { return messageActive; }
  bool IsMessageError() const { return messageIsError; }
  const std::string& GetMessage() const { return message; }
  double GetMessageTimeLeft() const { return messageTimeLeft; }
  int GetWallpaper() const { return wallpaperNumber; }
  // Screen: overlays no key switches; the program or a test turns them on.
  void SetShowLoudnessMeter(bool on) { showLoudnessMeter = on; }
  void SetVelocityShading(bool on) { velocityShading = on; }
  bool GetVelocityShading() const { return velocityShading; }
  // The help table and the first line of each help page (the page shown is the bar, the last
  // page for bars past the last one).
  static const std::vector<std::string>& HelpLines();
  static int HelpPageFirstLine(int page);
  static int HelpPageCount();
  // Lets the screen tests put the editor into states whose keys belong to other subpages.
  friend class ScreenTestAccess;
  // Mixer and effects subpages (5 to 8).
  int GetMixerTrack() const { return mixerTrack; }
  int GetMixerParam() const { return mixerParam; }
  int GetFxParam() const { return fxParam; }
  int GetExtReverbParam() const { return extReverbParam; }
  int GetExtEqParam() const { return extEqParam; }
  int GetEqProgramIndex() const { return eqProgramIndex; }

  // Sessions, instruments, scales and live notes (subpages 2 to 4, live notes everywhere).
  int GetSessionCursor() const { return sessionCursor; }
  int GetInstrumentCursor() const { return instrumentCursor; }
  int GetScaleCursor() const { return scaleCursor; }
  bool GetNoteKeyHeld(int column) const { return column >= 0 && column < kNoteColumns && noteKeysHeld[column]; }
  // A MIDI keyboard's velocity 0..127 as played: scaled up when the keyboard cannot reach 127
  // (maxVelocity 1..127), then shaped by one of the nine curves 0..8.
  static int LiveVelocity(int velocity, int maxVelocity, int curve);

  static constexpr int kNoteColumns = 37;
  static constexpr int kMaxOctave = 10;
  static constexpr int kBars = 16;
  static constexpr int kStepsPerBar = 16;
  static constexpr double kMessageSeconds = 1.5;

 private:
  // Copy of the player's public state, taken after every frame.
  struct PlayerMirror {
    int32_t trackStep[kTracks] = {};
    int32_t session = 0;
    bool playing = false;
    bool recording = false;
  };

  bool ReadSoundfontsAndStartSynth();
  // Undo history and recovery file, in SequencerHistory.cpp.
  // Names the edit the frame makes for the history; `doneMessage` is shown with "ESC UNDOES"
  // when the edit removed or replaced notes.
  void MarkEdit(const char* label, const char* doneMessage = nullptr, bool isBlock = false);
  void CommitEdits();
  void UndoEdit(bool blockOnly);
  void RedoEdit();
  void ReloadProject();
  void SaveProject();
  void UpdateRecovery(double dt);
  void FinishRecovery();
  // The recovery file to start from instead of the project, or empty.
  std::string ChooseRecoveryFile(const std::string& projectFile);
  // Shows the message now, or after those before it (each then for 3 s).
  void QueueMessage(const std::string& text, bool isError, double seconds = kMessageSeconds);
  void RemoveRecoveryFiles();
  void ShowStartupProblems();
  void LoadOrCreateProject(bool& ok);
  void CopyPlayerMirror();
  void ShowMessage(const std::string& text, bool isError, double seconds = kMessageSeconds);
  void ClearMessage();
  void SelectTrack(int newTrack);
  void ClearBlock();
  int CursorStep() const { return bar * kStepsPerBar + stepCursor; }
  int CursorPitch() const { return noteCursor + 12 * octave; }

  // Frame steps of HandlePageSteps, in their order.
  bool HandleAttributeEditor(double dt, Controls& c);  // true: the frame's key handling ends
  void HandleSubpageCycling(const Controls& c);
  bool CountNoteKeys(const Controls& c);
  void HandleSubpage(const Controls& c);
  void HandleGlobalKeys(const Controls& c);
  void HandleLiveNotes(const Controls& c);

  // One handler per subpage, each in its own file.
  void HandleStepEdit(const Controls& c);
  void HandleSessions(const Controls& c);
  void HandleInstruments(const Controls& c);
  void HandleScales(const Controls& c);
  void HandleMixer(const Controls& c);
  void HandleReverbChorus(const Controls& c);
  void HandleExternalReverb(const Controls& c);
  void HandleExternalEqualizer(const Controls& c);
  // Sessions, instruments, scales and live notes (subpages 2 to 4, live notes everywhere).
  void ChangeInstrumentIndex(int field, int index);
  void StartOrStopPlayback(bool looped);
  void ToggleRecording();
  void UndoRecordingAndStop();
  void CollectKeyboardNotes(const Controls& c, const ScaleNotes& scale, bool scaleLock);
  void CollectMidiNotes(const ScaleNotes& scale, bool scaleLock);
  bool MidiLaunchpadCommand(int note);
  void MergeLiveNote(const LiveNote& live);
  void HandOverLiveNotes();
  void EndLiveNotes();
  // Mixer and effects subpages (5 to 8).
  // Pitch change, layering and baking into notes need a stopped player, no recording and no
  // note key down; otherwise shows "NOTE KEY" or "STOP PLAYBACK" and returns false.
  bool MixerGuardPassed(const Controls& c);
  void MixerChangeSelected(int delta, const Controls& c);
  void MixerMakeVelocityPermanent();
  void MixerMakePitchPermanent();
  // Copies the current track's settings of subpage 6, 7 or 8 to every other track on its soundfont.
  void PropagateEffects(int effectsSubpage);
  void ApplyEqualizer(const double values[kExternalParams]);
  // Arrow presses of the frame without a modifier combination of that arrow held (those
  // belong to other subpages' commands); used by subpages 5 to 8.
  struct ArrowPresses {
    int left = 0, right = 0, up = 0, down = 0;
  };
  static ArrowPresses PlainArrowPresses(const Controls& c);

  // Step edit subpage: helpers of SequencerStepEdit.cpp and the block commands of
  // SequencerBlock.cpp.
  bool CursorNote(Note& out) const;  // the note of the cursor step at the cursor pitch
  bool HandleCursorNoteKeys(const Controls& c);
  bool HandleClipboardKeys(const Controls& c);
  bool HandleLineKeys(const Controls& c);
  bool HandleTransposeKeys(const Controls& c);
  bool HandlePlayKeys(const Controls& c);
  void HandleCursorKeys(const Controls& c);
  bool ShiftSteps(int first, int last, int semitones);  // line/bar transposition, all or nothing
  void HarmonicTransposeStep(int degrees);
  // Harmonic transposition of notes the caller holds: every note must be in the scale ("NOT IN
  // SCALE"), and stay in 0..127 ("NOTE LEAVING RANGE"); false, with the message, otherwise.
  bool NotesInScale(const ScaleNotes& scale, const std::vector<Note>& notes);
  bool HarmonicTransposeNotes(const ScaleNotes& scale, std::vector<Note>& notes, int degrees);
  void UpdateSongLengths();
  bool HandleBlockCommands(const Controls& c);
  bool BlockInCurrentTrack() const { return block.complete && block.session == session && block.track == track; }
  void CopyBlock();
  void MoveBlock();
  void PlaceBlockAtCursor(bool move);
  void ChangeBlockNotes(int operation);
  void RandomizeBlockOffsets();
  void HarmonicTransposeBlock(int degrees);

  // Screen areas, each in its own file.
  void DisplayPitchBlack(QuadList& quads);
  void DisplayWallpaper(QuadList& quads);
  void DisplayKeyboardPanel(QuadList& quads);
  void DisplayGrid(QuadList& quads);
  void DisplayBlock(QuadList& quads, int firstStep, int lowPitch);
  void DisplayMessageLine(QuadList& quads);
  void DisplayLargeIndicators(QuadList& quads);
  // Screen: the remaining areas, one file each.
  void DisplayTrackStrip(QuadList& quads);
  void DisplayStepEditLines(QuadList& quads);
  void DisplayPlayRecordMarkers(QuadList& quads);
  void DisplayHelp(QuadList& quads);
  void DisplayLoudnessMeter(QuadList& quads);
  void DisplaySessionsPanel(QuadList& quads);
  void DisplayInstrumentsPanel(QuadList& quads);
  void DisplayScalesPanel(QuadList& quads);
  void DisplayMixerPanel(QuadList& quads);
  void DisplayReverbChorusPanel(QuadList& quads);
  void DisplayExternalReverbPanel(QuadList& quads);
  void DisplayExternalEqualizerPanel(QuadList& quads);
  // Appends a sprite's quad at (x, y) with its three key colours white turned into `replace`.
  void AddMarker(QuadList& quads, Sprite* sprite, double x, double y, double scale, const Color& replace);
  // Appends the three-row list (entry before, current entry, entry after) of a selection panel.
  void PrintThreeRowList(QuadList& quads, const std::vector<std::string>& entries, int current, double x);
  // Prints text at scale s with its first glyph's lower-left corner at (x, y).
  void PrintText(QuadList& quads, const std::string& text, double x, double y, double s, const Color& color) const;

  // Settings from construction.
  std::string appDirectory;
  std::string projectPrefix;
  ProjectFileWatch projectWatch;  // the project file as last loaded or saved here
  std::string midiInputName;
  std::string midiOutputName;
  std::string midiOutput2Name;
  bool selectDefaultInstrument;
  bool playerFlag;
  int audioBufferSize;
  Color backgroundColor;
  bool launchpadMode;
  int wallpaperNumber;  // 1..6, 0 for none
  bool useEffect;
  std::string effectName;
  bool qminiMode;
  bool blackKeysTransport;
  bool layering;
  int maxMidiVelocity;

  // Owned objects, declared in the order they are created; the destructor releases them in the
  // order the player and the MIDI ports need (see ~Sequencer).
  std::unique_ptr<Rnd> rnd;
  std::unique_ptr<MyFont> font;
  std::unique_ptr<SessionsStore> sessions;
  std::unique_ptr<SFOutput> synth;
  std::unique_ptr<MidiOutput> midiOutput;
  std::unique_ptr<MidiOutput> midiOutput2;
  std::unique_ptr<Player> player;
  std::unique_ptr<MidiInput> midiInput;  // created by Init
  IRender* render = nullptr;       // borrowed
  bool midiInputOk = false;
  bool midiOutputOk = false;
  bool midiOutput2Ok = false;
  bool synthStarted = false;

  // Editor state.
  int32_t page = 0;
  int32_t subpage = SubpageStepEdit;
  PlayerMirror mirror;
  bool lockToScale = true;
  const std::vector<Instruments>* instruments = nullptr;
  bool showHelp = false;
  bool showAllTracks = false;
  bool pitchBlack = false;
  int32_t session = 0;
  int32_t track = 0;
  int32_t bar = 0;
  int32_t stepCursor = 0;
  int32_t noteCursor = 0;
  int32_t octave = 4;
  bool noteQuantization = true;
  bool gateQuantization = true;
  // Note clipboard: one note (with where it came from, for moving it) or one line of notes.
  struct NoteClipboard {
    bool valid = false;
    bool isNote = false;
    Note note{};
    int32_t session = 0;
    int32_t track = 0;
    int32_t step = 0;
    std::vector<Note> line;
  };
  NoteClipboard clipboard;
  // Block of the step edit subpage: begun (CTRL K B) and completed (CTRL K K) in one session
  // and track, from the low note and first step to the high note and last step.
  struct Block {
    bool beginSet = false;
    bool complete = false;
    int32_t session = 0;
    int32_t track = 0;
    int32_t lowNote = 0;
    int32_t firstStep = 0;
    int32_t highNote = 0;
    int32_t lastStep = 0;
  };
  Block block;
  // Numeric value editor (ALT B, ALT V, ALT O), changed with UP / DOWN.
  enum class ValueEditTarget { Off, Tempo, TrackVelocity, TrackVolume };
  struct ValueEditor {
    bool active = false;
    ValueEditTarget target = ValueEditTarget::Off;
  };
  ValueEditor valueEdit;
  bool noteKeysHeld[kNoteColumns] = {};
  bool noteKeyPressed = false;  // a note key went down in this frame
  bool followPlayhead = false;
  bool messageActive = false;
  bool messageIsError = false;
  std::string message;
  double messageTimeLeft = 0;
  bool midiFixedVelocity = true;
  int32_t midiVelocityCurve = 0;
  // Attribute editor of the note under the cursor: field 0 gate, 1 fraction, 2 velocity, 3 offset;
  // `buffer` holds the digits typed so far.
  struct AttributeEditor {
    int32_t field = 2;
    bool active = false;
    std::string buffer;
  };
  AttributeEditor attribEdit;
  int32_t sessionCursor = 0;
  // The session and track a session-page copy took.
  struct SessionClipboard {
    bool valid = false;
    int32_t session = 0;
    int32_t track = 0;
  };
  SessionClipboard sessionClipboard;
  int32_t scaleCursor = 0;
  int32_t instrumentCursor = 2;
  int32_t mixerTrack = 0;
  int32_t mixerParam = 7;
  int32_t fxParam = 0;
  int32_t extReverbParam = 0;
  int32_t extEqParam = 0;
  bool eqProgramSelecting = false;
  int32_t eqProgramIndex = 0;
  double savedEqualizer[kExternalParams] = {};

  // Live notes: the pitch each computer note key and each MIDI key started (-1 none), and per
  // pitch the track and routing it sounds with, so a release ends the note where it began
  // even after an octave, scale or track change.
  struct SoundingLive {
    bool on = false;
    int32_t track = 0;
    LiveNote routing{};
  };
  // Sends `off` on the track and with the routing its note started with.
  void EndLiveNoteWhereItBegan(LiveNote off, const SoundingLive& where);
  struct StartedPitch {
    int16_t pitch = -1;
  };
  struct LiveNotes {
    StartedPitch keyPitch[kNoteColumns];
    StartedPitch midiPitch[kMidiNotes];
    SoundingLive sounding[kMidiNotes];
    bool launchpadTrackSelect = false;
    std::vector<LiveNote> pending;     // started and ended in this frame, handed to the player
    std::vector<LiveNote> releases;    // one release at a time, reused
    std::vector<NoteEvent> midiEvents; // the MIDI input's events of this frame, reused
  };
  LiveNotes liveNotes;

  // Undo history and recovery file.
  UndoHistory history;
  const char* editLabel = nullptr;
  const char* editMessage = nullptr;
  bool editIsBlock = false;
  bool recordingOpen = false;  // the recording so far is one open edit
  std::unique_ptr<BackgroundFileWriter> recoveryWriter;
  double recoveryClock = kRecoverySeconds;  // seconds since the recovery file was last written
  uint64_t recoveryState = 0;               // the history state the recovery file holds
  bool recoveryInUse = false;               // a recovery file of this song may exist
  bool recoveredAtStart = false;
  bool announceRecovery = false;  // say where the next recovery write went
  std::string lastRecoveryPath;
  std::deque<std::pair<std::string, bool>> queuedMessages;

  // Screen.
  bool showLoudnessMeter = false;
  bool velocityShading = true;  // ALT W

  // The page's seven sprites, created by PreparePageSteps.
  std::unique_ptr<Sprite> wallpaperSprite;
  std::unique_ptr<Sprite> pitchBlackSprite;
  std::unique_ptr<Sprite> keyboardPanelSprite;
  std::unique_ptr<Sprite> keyStripSprite;
  std::unique_ptr<Sprite> cursorSprite;
  std::unique_ptr<Sprite> markerASprite;
  std::unique_ptr<Sprite> markerBSprite;

  // Scratch lists reused every frame.
  std::vector<Note> scratchNotes;
};
