// Pointer sampling, and the recording and playback of replays.
#include <cstdio>
#include <cstring>
#include <string>

#include "display/display.h"
#include "flow/flow.h"
#include "pack/pack.h"
#include "platform/platform.h"

uint8_t replayBuffer[ReplayBytes];

namespace {
// Where replays are read from and written to.
struct ReplayFiles {
  std::string userFolder;  // "" until the shell names it; then ends in '/'
  bool fileSet = false;    // `file` is read instead of the stage's replays
  std::string file;        // "" for a recording of no input
};
ReplayFiles replayFiles;

// The player's own recording of the stage: the built-in pack's in the
// recordings folder itself, every other pack's in a folder of its own there.
std::string userReplayName() {
  char name[24];
  std::snprintf(name, sizeof name, "%02d.dat", flow.stageNumber);
  return replayFiles.userFolder + packRecordingFolder() + name;
}

// A short file plays as no input after its end, as a recording's unused tail
// does: what an earlier demonstration left in the buffer must not replay.
bool readReplayFile(const char* path) {
  const long got = sysReadFile(path, replayBuffer, sizeof replayBuffer);
  if (got < 0) return false;
  std::memset(replayBuffer + got, 0, sizeof replayBuffer - static_cast<size_t>(got));
  return true;
}

int clampedIndex() {
  const int i = flow.replayIndex;
  return i < 0 ? 0 : (i >= ReplayRecords ? ReplayRecords - 1 : i);
}
}  // namespace

void resetReplay() {
  std::memset(replayBuffer, 0, sizeof replayBuffer);
  replayFiles = ReplayFiles{};
}

void setUserReplayFolder(const char* folder) {
  std::string& f = replayFiles.userFolder;
  f = folder ? folder : "";
  if (!f.empty() && f.back() != '/') f += '/';
}


void putReplayRecord(int index, int x, int y, int button) {
  if (index < 0 || index >= ReplayRecords) return;
  uint8_t* record = replayBuffer + index * ReplayRecordSize;
  record[0] = static_cast<uint8_t>(x);
  record[1] = static_cast<uint8_t>(x >> 8);
  record[2] = static_cast<uint8_t>(y);
  record[3] = static_cast<uint8_t>(y >> 8);
  record[4] = static_cast<uint8_t>(button);
}

void samplePointer(LivePointer& live) {
  PointerSample& p = flow.pointer;
  p.previousButton = p.button;
  if (flow.demoPlayback) {
    const uint8_t* record = replayBuffer + clampedIndex() * ReplayRecordSize;
    p.x = record[0] | (record[1] << 8);
    p.y = record[2] | (record[3] << 8);
    p.button = record[4];
  } else {
    p.x = live.liveX;
    p.y = live.liveY;
    const bool releaseUnseen = live.liveReleasePending && p.previousButton != 0;
    p.button = !releaseUnseen && (live.liveButton || live.liveClickPending) ? 1 : 0;
    if (!releaseUnseen) live.liveClickPending = false;
    live.liveReleasePending = false;
  }
}

void recordingStep() {
  if (flow.recording) {
    char index[16];
    std::snprintf(index, sizeof index, "%d", flow.replayIndex);
    drawText(35, 0, index);
    putReplayRecord(clampedIndex(), flow.pointer.x, flow.pointer.y, flow.pointer.button);
  }
  if (flow.replayIndex < ReplayRecords - 1) flow.replayIndex += 1;
}

bool saveReplay() {
  // Never into the data folder, which may be the installed one that every
  // user of the machine shares. The shell has said already that there is no
  // user folder when recording was asked for without one.
  if (replayFiles.userFolder.empty()) return false;
  const std::string path = userReplayName();
  std::string why;
  if (sysWriteFileAtomic(path.c_str(), replayBuffer, sizeof replayBuffer, &why)) return true;
  // Every lost recording is said, with the system's reason: the player may
  // free the disc or mend the folder before the next stage is cleared.
  std::fprintf(stderr, "wendlop: replay not saved: %s %s\n", path.c_str(), why.c_str());
  return false;
}

void setReplayFile(const char* path) {
  replayFiles.fileSet = path != nullptr;
  replayFiles.file = path ? path : "";
}

bool loadReplay() {
  if (replayFiles.fileSet) {
    if (replayFiles.file.empty()) {
      std::memset(replayBuffer, 0, sizeof replayBuffer);
      return true;
    }
    return readReplayFile(replayFiles.file.c_str());
  }
  if (!replayFiles.userFolder.empty() && readReplayFile(userReplayName().c_str())) {
    return true;
  }
  return readReplayFile(packReplayPath(flow.stageNumber).c_str());
}
