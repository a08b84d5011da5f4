// The song in memory, the sequencer that plays it and the player's own state.
// Internal to the music concern; the game uses music.h only. Tests and tools
// reach in here to drive the sequencer step by step.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

enum { SongBufferSize = 1048576, MaxTracks = 256, SysexScratchSize = 1024 };

enum TrackState : uint8_t { TrackEnded = 0, TrackActive = 1, TrackOverrun = 2 };

// The song as loaded: its tracks back to back, and where each track stands.
struct Song {
  uint8_t* songBuffer = nullptr;  // track data back to back; SongBufferSize bytes while a song is loaded
  int trackCount = 0;
  int division = 48;  // ticks per quarter note
  uint8_t activeTracksAtLoad = 0;
  uint8_t activeTracks = 0;
  int32_t trackStart[MaxTracks] = {};  // entry trackCount holds the end of the last track
  int32_t trackLength[MaxTracks] = {};
  uint8_t trackState[MaxTracks] = {};
  int32_t trackPos[MaxTracks] = {};   // relative to trackStart
  int32_t trackTime[MaxTracks] = {};  // tick of the last event taken; 0x7FFFFFFF once ended
  // Neither a rewind nor a load resets it.
  uint8_t runningStatus[MaxTracks] = {};
};

// Where the loop marker was met: the song goes on from here at its end.
struct LoopPoint {
  int32_t trackPos[MaxTracks] = {};
  int32_t trackTime[MaxTracks] = {};
  uint8_t trackState[MaxTracks] = {};
  uint8_t activeTracks = 0;
  int songTick = 0;
  int tempoBpm = 125;
};

// The sequencer's place in the song and its speed.
struct SequencerState {
  int tempoBpm = 125;    // quarter notes per minute; no load or rewind resets it
  int songTick = 0;
  int tickFraction = 0;  // 1/6000 tick
  bool loopSeen = false;
};

struct MusicPlayer {
  bool ready = false;  // the MIDI output is open
  bool songLoaded = false;
  uint8_t* sysexScratch = nullptr;  // SysexScratchSize bytes while the output is open
  uint8_t headerBuffer[14] = {};
  int bytesRead = 0;       // by the last read of the loader
  int64_t totalBytes = 0;  // running sum of the track lengths read so far
};

extern Song song;
extern LoopPoint loopPoint;
extern SequencerState sequencer;
extern MusicPlayer musicPlayer;

// Shared with the timing thread. The thread steps only while `playing` is set.
extern std::atomic<bool> playing;
// Set while the game is paused: the thread stays out of its steps.
extern std::atomic<bool> holding;
extern std::atomic<bool> threadBusy;

// Byte routines.
bool tagEquals(const uint8_t* bytes, const char* tag);
// A variable-length quantity, reading at most `available` bytes; returns the
// number of bytes the quantity took, or 0 when it does not end within them.
int decodeVarLen(const uint8_t* bytes, int32_t available, int32_t* value);
int varLenSize(int32_t value);
void appendBytes(uint8_t* target, const uint8_t* source, int count);

// Loader.
void releaseSong();
// Fills the song tables from a whole file in memory, copying the track data
// into `buffer` (SongBufferSize bytes). False, with `why` ending a sentence
// that starts with the file's name, when the file is no song we can play.
bool parseSong(const uint8_t* file, size_t size, uint8_t* buffer, std::string* why);

// Sequencer.
void advanceClock();
void runTrack(int track);
void rewindSong();
void saveLoopPoint();
void restoreLoopPoint();

// Player.
void resetDevice();
bool sendLongMessage(const uint8_t* data, int length);
void sendShortMessage(uint32_t message);
void timingThread();
void observeMusic(const char* operation, const char* argument);

// The timing thread's clock and sleep; tests put a fake clock here.
extern uint32_t (*musicClock)();
extern void (*musicSleep)(uint32_t ms);
// How the thread waits while held; returns early when the hold ends.
extern void (*musicHoldWait)();
// Called at the start of every step with its deadline (for measurements).
extern void (*stepObserver)(uint32_t deadline);
