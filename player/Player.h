// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/Scales.h"
#include "model/SessionsStore.h"
#include "player/NoteQueues.h"
#include "player/Playhead.h"

class SFOutput;
struct ProjectSnapshot;
class MidiOutput;

// A note played on the MIDI keyboard, with the current track's playback fields filled in by
// the editor.
struct LiveNote {
  uint8_t note = 0;
  uint8_t velocity = 0;
  uint8_t noteOff = 0;  // non-zero for a key release
  uint8_t channel = 0;
  uint8_t output = 0;
  uint8_t pitchChange = 64;
};

// One message the player sent, as seen by an observer (tests, and a future level display).
struct SentNote {
  bool on = false;
  int destination = 0;  // 0 synthesizer, 1 first MIDI output, 2 second MIDI output
  int track = 0;        // for the synthesizer: the track whose instrument plays it
  int channel = 0;      // MIDI channel on outputs 1 and 2
  int note = 0;         // as sent (transposed)
  int velocity = 0;
  double time = 0;      // MIDI outputs: when it is due on the player's clock (GetClockTime)
};

// Turns the song model into timed note events and sends them to the synthesizer and the two
// MIDI outputs. Sequencer thread only; takes no locks. Pointers are borrowed; the synthesizer
// and the outputs may be null (nothing is sent there then).
class Player {
 public:
  Player(SessionsStore* sessions, SFOutput* synth, MidiOutput* midiOut1, MidiOutput* midiOut2, bool unused,
         bool launchpadMode, bool layering);
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  void Init();
  // Advances playback by `elapsed` seconds; crosses at most one step boundary per call.
  void Update(double elapsed);
  void Play(bool song);
  void Continue();
  void Stop();
  void SetPlayhead(int session, int track, int step);
  void SetPlayheadLooping(int session, int track, int startStep, int endStep);
  void TurnOffLooping() { looping = false; }
  void SetSession(int session);
  void SetSong(const Song& s) { song = s; }
  Song GetSong() const { return song; }
  void SetTrack(int track);
  int GetTrack() const { return track; }
  Playhead GetPlayhead() const { return playhead; }
  bool IsPlaying() const { return playing; }
  bool IsPlayingSong() const { return playingSong; }
  bool IsLooping() const { return looping; }
  int GetBPM() const { return bpm; }
  void SetBPM(int value) { bpm = value; }
  bool GetNoteQuantization() const { return noteQuantization; }
  void SetNoteQuantization(bool on) { noteQuantization = on; }
  bool GetGateQuantization() const { return gateQuantization; }
  void SetGateQuantization(bool on) { gateQuantization = on; }
  ScaleInfo GetScale() const { return scale; }
  void SetScale(const ScaleInfo& info);
  bool GetLaunchpadLightingNotes() const { return launchpadLightingNotes; }
  void SetLaunchpadLightingNotes(bool on);
  void SendNoteOnOffLayered(bool on, int track, int note, int velocity);
  // Ends everything sounding on one track at once (live notes included).
  void Flush(int track);

  // Live play and recording.
  void SetRecording(bool on);
  bool GetRecording() const { return recording; }
  void UndoRecording();
  void PlayLiveNotes(const std::vector<LiveNote>& notes);
  void StepRecording(const std::vector<LiveNote>& notes, int step);

  // Project file and export, implemented in project/. Each returns whether it succeeded.
  bool SaveProject(const std::string& fileName);
  // The project file's text, as SaveProject writes it, and the copy it is made from.
  void ProjectText(std::string& out);
  void TakeSnapshot(ProjectSnapshot& out) const;
  bool LoadProject(const std::string& fileName, bool selectDefaultInstrument);
  // What the last LoadProject met that the user should hear of.
  struct LoadReport {
    int ignoredLines = 0;
    bool newerVersion = false;
  };
  LoadReport GetLoadReport() const { return lastLoad; }
  bool ExportToMidi(const std::string& fileName, bool endOverlaps, bool applyPitch, bool applyLayers,
                    bool applyFixedVelocity);

  SessionsStore* GetSessions() const { return sessions; }
  SFOutput* GetSynth() const { return synth; }
  // Every message sent from now on is also reported here (empty function: none).
  void SetSendObserver(std::function<void(const SentNote&)> observer) { sendObserver = std::move(observer); }

  // Step length in seconds at the current tempo (a sixteenth note).
  double StepDuration() const { return 240.0 / bpm * 0.0625; }

  // The time line of MIDI messages, in seconds on the monotonic clock (MonotonicSeconds): each
  // Update covers the span from GetClockTime() to GetClockTime() + elapsed, and every message
  // carries the time within it where the step grid puts it. Messages sent outside Update (stop,
  // live notes) carry GetClockTime(). The caller sets the clock when Update's elapsed times
  // stopped adding up to the real time (at the start, after a stall).
  void SetClockTime(double seconds) { clockTime = seconds; }
  double GetClockTime() const { return clockTime; }
  // MIDI clock on both MIDI outputs: 24 clocks per quarter note (6 per step) on the step grid,
  // free-running at the tempo while stopped; Start on Play, Song Position Pointer and Continue
  // on Continue, Stop on Stop.
  void SetMidiClock(bool on) { midiClock = on; }

 private:
  static constexpr int kClocksPerStep = 6;
  // `time` < 0: the present, GetClockTime().
  void Route(bool on, int track, int note, int velocity, int channel, int output, int pitchChange,
             double time = -1);
  void SendSynth(bool on, int track, int note, int velocity);
  void SendMidi(int destination, bool on, int note, int velocity, int channel, double time);
  // A system real-time message to both MIDI outputs.
  void SendTransport(unsigned char status, double time);
  // The clocks at positions from c0 to c1 of the step (crossing into the next step when
  // `crossed`, whose clocks are left out unless `newStep`); c1 is the position at t1.
  void SendClocks(double c0, double c1, bool crossed, double t1, double stepDuration, bool newStep);
  // Stop without the MIDI Stop message: the loop's restart inside Update.
  void Halt();
  void AdvanceTrackSteps();
  void ResetTrackStepsToStart();
  bool SoundsInSession(int track) const;

  SessionsStore* sessions;
  std::unique_ptr<SessionsStore> backup;
  SFOutput* synth;
  MidiOutput* midiOut1;
  MidiOutput* midiOut2;
  std::unique_ptr<NoteOffQueue> noteOffs;
  std::unique_ptr<NoteCompletionQueue> completions;
  int32_t bpm = 120;
  Song song;
  bool playing = false;
  bool playingSong = false;
  bool recording = false;
  bool noteQuantization = true;
  bool gateQuantization = true;
  Playhead playhead;
  int32_t track = 0;
  ScaleInfo scale{};
  bool looping = false;
  int32_t loopTrack = 0;
  int32_t loopStartStep = 0;
  int32_t loopEndStep = 0;
  bool launchpadMode;
  bool launchpadLightingNotes = false;
  bool layering;
  LoadReport lastLoad;

  double clockTime = 0;
  bool midiClock = false;
  double clockFraction = 0;  // the clock's position within a step while stopped
  // Set by Play and Continue, sent at the start of the next Update's span.
  enum class Transport { kNone, kStart, kContinue } transportPending = Transport::kNone;

  std::function<void(const SentNote&)> sendObserver;
  // Scratch lists reused every frame so that Update does not allocate in steady state.
  std::vector<Note> gathered[kTracks];
  std::vector<Note> scratch;
  std::vector<NoteOffQueueEntry> due;
  std::vector<NoteOffQueueEntry> flushed;
  std::vector<NoteCompletionQueueEntry> completed;
  std::vector<double> gatheredTimes[kTracks];  // the time of each note in gathered
};

// The note a track's pitch change makes of `note`: note + pitch - 64 within 0..127.
int TransposedNote(int note, int pitchChange);
