#include "solve/solver.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

#include "app/shell.h"
#include "flow/flow.h"

namespace {
struct Hasher {
  uint64_t h = 0x243F6A8885A308D3ull;
  void add(uint64_t v) {
    h = (h ^ v) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
  }
  void addBytes(const uint8_t* p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      uint64_t v;
      std::memcpy(&v, p + i, 8);
      add(v);
    }
    uint64_t tail = 0;
    std::memcpy(&tail, p + i, n - i);
    add(tail ^ (static_cast<uint64_t>(n) << 56));
  }
};

uint64_t pack(int32_t a, int32_t b) { return static_cast<uint32_t>(a) | static_cast<uint64_t>(static_cast<uint32_t>(b)) << 32; }
}  // namespace

// Every concern of the snapshot and every field of each is taken apart by
// name: a field or concern added to the game no longer compiles here until it
// is either hashed or named below as one that does not decide the rest of an
// attempt. Leaving out a field that matters would merge positions that play
// on differently; hashing one that does not only costs searching again.
uint64_t worldKey(const GameSnapshot& s) {
  const auto& [clock, livePointer, input, game, map, w, table, tiles, track] = s;
  // The clock, the window's pointer and the keys and pads that move it: the
  // frame number stands for the one, a demonstration reads its pointer from
  // the replay.
  [[maybe_unused]] const auto& [baseTime, fraction, skip, skipPhase, drawn] = clock;
  [[maybe_unused]] const auto& [liveX, liveY, liveButton, clickPending, releasePending] = livePointer;
  [[maybe_unused]] const auto& [fromKeys, mouseX, mouseY, mouseButton, keysHeld, keysPressing, subX, subY, pads] =
      input;
  // Only the button decides what the next frame's sample is a press of. The
  // rest is the same through an attempt (scene, stage, DRAG, recording), only
  // drawn (the bonus picture), or the clock (time, replay index); lives and
  // stars follow from the stars gone from the tile layer. The title's and the
  // browser's keys and choices are behind an attempt.
  [[maybe_unused]] const auto& [scene, entered, stage, cleared, drag, savedDrag, selectorHold, fallSpeed, lives, stars,
                                timeLeft, timeFrames, bonus, pointer, recording, demo, replayIndex, sceneKey,
                                browserChoice, browserPointer] = game;
  const auto& [pointerX, pointerY, button, previousButton] = pointer;
  // The cell dragged over matters only with DRAG ON, which the search never plays.
  [[maybe_unused]] const auto& [lastCol, lastRow] = track;
  // The leg swing is only drawn.
  const auto& [x, y, col, row, state, resumeState, stepsLeft, stepDelay, stepTick, rowFrames, timer, clickCooldown,
               walkPhase, walkPhaseTick] = w;
  const auto& [phase16, phase64] = tiles;
  const auto& [hazards, hazardCount] = table;

  Hasher k;
  // The header and the object layer are read at the stage's start only.
  k.addBytes(map.data() + TileLayerOffset, GridRows * GridColumns);
  k.add(pack(x, y));
  k.add(pack(col, row));
  k.add(pack(state, resumeState));
  k.add(pack(stepsLeft, stepDelay));
  k.add(pack(stepTick, rowFrames));
  k.add(pack(timer, clickCooldown));
  k.add(pack(phase16, phase64));
  k.add(pack(button, hazardCount));
  for (int i = 0; i < hazardCount; ++i) {
    const auto& [hx, hy, dx, dy, hcol, hrow, dcol, drow, stepsPerCell, hStepsLeft, hState, tick, period] = hazards[i];
    k.add(static_cast<uint64_t>(hx) | static_cast<uint64_t>(hy) << 16 | static_cast<uint64_t>(static_cast<uint16_t>(dx)) << 32 |
          static_cast<uint64_t>(static_cast<uint16_t>(dy)) << 48);
    k.add(static_cast<uint64_t>(static_cast<uint16_t>(hcol)) | static_cast<uint64_t>(static_cast<uint16_t>(hrow)) << 16 |
          static_cast<uint64_t>(static_cast<uint16_t>(dcol)) << 32 |
          static_cast<uint64_t>(static_cast<uint16_t>(drow)) << 48);
    k.add(static_cast<uint64_t>(static_cast<uint16_t>(stepsPerCell)) |
          static_cast<uint64_t>(static_cast<uint16_t>(hStepsLeft)) << 16 |
          static_cast<uint64_t>(static_cast<uint16_t>(hState)) << 32);
    k.add(pack(tick, period));
  }
  return k.h == 0 ? 1 : k.h;
}

namespace {
std::optional<std::array<uint8_t, StageMapSize>> attemptImage;
}  // namespace

void setAttemptImage(const uint8_t* image) {
  attemptImage.reset();
  if (image) std::memcpy(attemptImage.emplace().data(), image, StageMapSize);
}

uint64_t worldKey() {
  // Reused: a snapshot is larger than is worth making at every key.
  static GameSnapshot now;
  saveGame(&now);
  return worldKey(now);
}

bool startAttempt(int stage) {
  // A recording of no input: playFrame writes each frame's record just before
  // the frame reads it.
  startDemonstration(stage, "", false);
  if (attemptImage) giveStageImage(attemptImage->data());
  if (!loadStage(stage)) return false;
  // Pictures only every tenth frame, as the game draws when it falls behind:
  // nothing but the pictures depends on it, and drawing is most of a frame.
  frameClock.frameSkip = 10;
  for (int i = 0; i < 8 && flow.scene != Playing; ++i) runFrameWork();
  return flow.scene == Playing;
}

FrameResult playFrame(const Press* press) {
  const int index = flow.replayIndex;
  const int k = index < 0 ? 0 : (index >= ReplayRecords ? ReplayRecords - 1 : index);
  int x = flow.pointer.x, y = flow.pointer.y, button = 0;
  if (press) {
    // Where the replay maker points for the same solution line.
    if (press->onWalker) {
      x = walker.x + 16;
      y = walker.y;
    } else {
      x = press->col * CellSize + 16;
      y = press->row * CellSize + 16;
    }
    button = 1;
  }
  putReplayRecord(k, x, y, button);
  runFrameWork();
  if (flow.scene == Playing) return FrameResult::Playing;
  return flow.scene == StageClear ? FrameResult::Clear : FrameResult::Lost;
}

bool playSolution(int stage, const std::vector<Press>& presses, int* playingFrames) {
  int played = 0;
  if (playingFrames) *playingFrames = 0;
  if (!startAttempt(stage)) return false;
  size_t next = 0;
  for (;;) {
    const Press* press = nullptr;
    if (next < presses.size() && presses[next].frame == flow.replayIndex) press = &presses[next++];
    const FrameResult r = playFrame(press);
    ++played;
    if (playingFrames) *playingFrames = played;
    if (r != FrameResult::Playing) return r == FrameResult::Clear && next == presses.size();
  }
}

std::string formatSolution(const std::vector<Press>& presses) {
  std::string out;
  char line[64];
  for (const Press& p : presses) {
    if (p.onWalker)
      std::snprintf(line, sizeof line, "walker %d\n", p.frame);
    else
      std::snprintf(line, sizeof line, "press %d %d %d\n", p.frame, p.row, p.col);
    out += line;
  }
  return out;
}

namespace {
// What has been searched: a state (by key) at a frame with presses to spare.
// Lossy on purpose: a slot lost to another state only costs a search again.
struct Slot {
  uint64_t key;
  int32_t frame;
  int32_t budget;
};

class Search {
 public:
  Search(int stage, const SolveOptions& o) : stage_(stage), options_(o) {
    const int bits = o.tableBits < 10 ? 10 : (o.tableBits > 28 ? 28 : o.tableBits);
    mask_ = (size_t{1} << bits) - 1;
    table_ = std::make_unique<Slot[]>(mask_ + 1);
    std::memset(table_.get(), 0, sizeof(Slot) * (mask_ + 1));
    const int depth = o.maxPresses + 2;
    here_.resize(depth);
    after_.resize(depth);
    tried_.resize(depth);
    step_ = o.step < 1 ? 1 : o.step;
    started_ = std::chrono::steady_clock::now();
  }

  SolveResult run() {
    SolveResult result;
    for (int presses = 0; presses <= options_.maxPresses && !timedOut_; ++presses) {
      if (!startAttempt(stage_)) break;
      path_.clear();
      if (explore(presses, 0)) {
        result.found = true;
        result.presses = path_;
        break;
      }
      if (!timedOut_) result.provenNone = presses;
    }
    result.timedOut = timedOut_;
    result.frames = frames_;
    result.nodes = nodes_;
    result.seconds = elapsed();
    return result;
  }

 private:
  double elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  }

  FrameResult frame(const Press* press) {
    if ((++frames_ & 4095) == 0 && elapsed() > options_.seconds) timedOut_ = true;
    return playFrame(press);
  }

  // True when this state, or the same state earlier with as many presses to
  // spare, has been searched already; otherwise notes it.
  bool seen(int budget) {
    const uint64_t key = worldKey();
    Slot& s = table_[key & mask_];
    if (s.key == key && s.frame <= flow.replayIndex && s.budget >= budget) return true;
    s = Slot{key, flow.replayIndex, budget};
    return false;
  }

  void candidates(const GameSnapshot& at, std::vector<Press>* out) {
    out->clear();
    out->push_back(Press{flow.replayIndex, true, 0, 0});
    for (int row = 0; row < GridRows; ++row) {
      for (int col = 0; col < GridColumns; ++col) {
        const int cls = tileClass[at.stageMap[TileLayerOffset + row * GridColumns + col]];
        if (cls >= SwitchSingle && cls <= SwitchBottomRight) out->push_back(Press{flow.replayIndex, false, row, col});
      }
    }
  }

  // Plays on from the current Playing frame, branching at every grid frame
  // into each press that changes the world. True with the presses in path_
  // when the stage is cleared.
  bool explore(int budget, int depth) {
    for (;;) {
      if (timedOut_) return false;
      const int p = flow.replayIndex;
      const bool gridFrame = p > 0 && p % step_ == 0;
      if (gridFrame && seen(budget)) return false;
      // The frame before a press must have the button up.
      if (!gridFrame || budget == 0 || flow.pointer.button != 0) {
        const FrameResult r = frame(nullptr);
        if (r == FrameResult::Clear) return true;
        if (r == FrameResult::Lost) return false;
        continue;
      }
      ++nodes_;
      GameSnapshot& start = here_[depth];
      saveGame(&start);
      const FrameResult plain = frame(nullptr);
      if (plain == FrameResult::Clear) return true;
      GameSnapshot& next = after_[depth];
      saveGame(&next);
      std::vector<uint64_t>& tried = tried_[depth];
      tried.clear();
      tried.push_back(worldKey());
      // The press acts after the frame's tile animation, on the tiles as the
      // plain frame leaves them.
      std::vector<Press> options;
      restoreGame(start);
      candidates(next, &options);
      for (const Press& press : options) {
        restoreGame(start);
        const FrameResult r = frame(&press);
        if (r == FrameResult::Lost) continue;
        path_.push_back(press);
        if (r == FrameResult::Clear) return true;
        const uint64_t key = worldKey();
        bool same = false;
        for (uint64_t t : tried) same = same || t == key;
        if (!same) {
          tried.push_back(key);
          if (explore(budget - 1, depth + 1)) return true;
        }
        path_.pop_back();
        if (timedOut_) return false;
      }
      restoreGame(next);
      if (plain == FrameResult::Lost) return false;
    }
  }

  int stage_;
  SolveOptions options_;
  int step_ = 4;
  size_t mask_ = 0;
  std::unique_ptr<Slot[]> table_;
  std::vector<GameSnapshot> here_, after_;
  std::vector<std::vector<uint64_t>> tried_;
  std::vector<Press> path_;
  long long frames_ = 0, nodes_ = 0;
  bool timedOut_ = false;
  std::chrono::steady_clock::time_point started_;
};
}  // namespace

SolveResult solveStage(int stage, const SolveOptions& options) {
  SolveOptions o = options;
  if (o.maxPresses < 0) o.maxPresses = 0;
  Search search(stage, o);
  SolveResult result = search.run();
  if (result.found) {
    int frames = 0;
    // The search branched from saved states; a clear counts only when the
    // same presses clear the stage from its start.
    if (playSolution(stage, result.presses, &frames)) {
      result.playingFrames = frames;
    } else {
      result.found = false;
    }
  }
  return result;
}
