#include "solve/measure.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "flow/flow.h"

namespace {

uint64_t mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 33;
  return h;
}

// Every position expanded, with what it leads to, kept without loss: a
// position forgotten would be expanded again and counted twice.
class PositionTable {
 public:
  PositionTable() { grow(1 << 16); }

  // The set of the position (key, frame, budget), if it is known.
  bool find(uint64_t key, int frame, int budget, int32_t* set) const {
    for (size_t i = start(key, frame, budget);; i = (i + 1) & mask_) {
      const Slot& s = slots_[i];
      if (s.key == 0) return false;
      if (s.key == key && s.frame == frame && s.budget == budget) {
        *set = s.set;
        return true;
      }
    }
  }

  void put(uint64_t key, int frame, int budget, int32_t set) {
    const size_t capacity = mask_ + 1;
    if (limitBytes_ != 0 && capacity * sizeof(Slot) > limitBytes_) full_ = true;
    if ((count_ + 1) * 2 > capacity) {
      // Growing holds the old slots and the new ones at once.
      if (limitBytes_ == 0 || (capacity * 3) * sizeof(Slot) <= limitBytes_) {
        grow(capacity * 2);
      } else {
        full_ = true;
      }
    }
    // Past the limit the table fills on while the search comes to its stop,
    // but never so far that a probe finds no free slot.
    if ((count_ + 1) * 8 > (mask_ + 1) * 7) return;
    place(Slot{key, frame, budget, set});
    ++count_;
  }

  size_t size() const { return count_; }
  void limit(size_t bytes) { limitBytes_ = bytes; }
  bool full() const { return full_; }

 private:
  struct Slot {
    uint64_t key;  // 0: free (world keys are never 0)
    int32_t frame;
    int32_t budget;
    int32_t set;
  };

  size_t start(uint64_t key, int frame, int budget) const {
    return mix(key ^ (static_cast<uint64_t>(frame) << 8 | static_cast<uint64_t>(budget))) & mask_;
  }
  void place(const Slot& s) {
    size_t i = start(s.key, s.frame, s.budget);
    while (slots_[i].key != 0) i = (i + 1) & mask_;
    slots_[i] = s;
  }
  void grow(size_t capacity) {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(capacity, Slot{0, 0, 0, 0});
    mask_ = capacity - 1;
    for (const Slot& s : old)
      if (s.key != 0) place(s);
  }

  std::vector<Slot> slots_;
  size_t mask_ = 0;
  size_t count_ = 0;
  size_t limitBytes_ = 0;
  bool full_ = false;
};

// What became of a position with no press left: only speeds the search up,
// so a slot may be taken over by another position.
class OutcomeCache {
 public:
  OutcomeCache() : slots_(size_t{1} << 22) {}
  // 0 unknown, 1 lost or out of time, 2 cleared.
  int find(uint64_t key, int frame) const {
    const Slot& s = slots_[index(key, frame)];
    return s.key == key && s.frame == frame ? s.outcome : 0;
  }
  void put(uint64_t key, int frame, int outcome) { slots_[index(key, frame)] = Slot{key, frame, outcome}; }

 private:
  struct Slot {
    uint64_t key = 0;
    int32_t frame = 0;
    int32_t outcome = 0;
  };
  size_t index(uint64_t key, int frame) const { return mix(key + static_cast<uint64_t>(frame)) & (slots_.size() - 1); }
  std::vector<Slot> slots_;
};

// Sequences of pressed things, 9 bits each from the low end (first press
// first); 0 ends a sequence, so the empty sequence is 0.
constexpr int TargetBits = 9;
constexpr int MostCounted = 64 / TargetBits;
constexpr size_t MostKept = 200000;

uint64_t targetOf(const Press& p) {
  return p.onWalker ? 1 : 2 + static_cast<uint64_t>(p.row * GridColumns + p.col);
}

class ExhaustiveSearch {
 public:
  ExhaustiveSearch(int stage, const MeasureOptions& o) : stage_(stage), options_(o) {
    step_ = o.step < 1 ? 1 : o.step;
    const size_t depth = static_cast<size_t>(o.maxPresses) + 2;
    here_.resize(depth);
    after_.resize(depth);
    choices_.resize(depth);
    tried_.resize(depth);
    pending_.resize(depth);
    sets_.push_back({});   // 0: no way to clear
    sets_.push_back({0});  // 1: cleared with no further press
    table_.limit(o.tableBytes);
    started_ = std::chrono::steady_clock::now();
  }

  StageMeasure run() {
    StageMeasure m;
    long long& before = proofEffort_;
    for (int presses = 0; presses <= options_.maxPresses; ++presses) {
      if (!startAttempt(stage_)) break;
      pass_ = presses;
      const int32_t set = walk(presses, 0);
      if (timedOut_) {
        // Out of time in the pass that found a clear: the fewest is known,
        // though not every solution with it.
        if (cleared_) {
          m.found = true;
          m.fewest = presses;
          m.effort = before;
          m.finalEffort = nodes_ - before;
          m.example = firstClear_;
          m.clears = clears_;
        }
        break;
      }
      if (set != 0) {
        m.found = true;
        m.fewest = presses;
        m.effort = before;
        m.finalEffort = nodes_ - before;
        m.solutionsCounted = !capped_;
        m.solutionsComplete = true;
        m.orders = static_cast<long long>(sets_[set].size());
        m.solutions = countChoices(sets_[set]);
        m.example = decode(sets_[set].front());
        m.clears = clears_;
        for (uint64_t s : sets_[set]) {
          if (m.minimalOrders.size() == 64) break;
          m.minimalOrders.push_back(decode(s));
        }
        break;
      }
      m.provenNone = provenNone_ = presses;
      before = nodes_;
      tell();
    }
    if (!m.found) m.effort = nodes_;
    m.timedOut = timedOut_ && !clearStop_;
    m.memoryFull = memoryFull_;
    m.frames = frames_;
    m.seconds = elapsed();
    return m;
  }

  // How many different choices of things to press the sequences make, in
  // whatever order.
  static long long countChoices(const std::vector<uint64_t>& sequences) {
    std::unordered_set<uint64_t> choices;
    for (uint64_t s : sequences) {
      std::vector<uint64_t> targets;
      for (; s != 0; s >>= TargetBits) targets.push_back(s & ((1u << TargetBits) - 1));
      std::sort(targets.begin(), targets.end());
      uint64_t packed = 0;
      for (size_t i = targets.size(); i-- > 0;) packed = packed << TargetBits | targets[i];
      choices.insert(packed);
    }
    return static_cast<long long>(choices.size());
  }

  std::vector<Press> decode(uint64_t sequence) const {
    std::vector<Press> out;
    for (; sequence != 0; sequence >>= TargetBits) {
      const int t = static_cast<int>(sequence & ((1u << TargetBits) - 1));
      out.push_back(t == 1 ? Press{0, true, 0, 0} : Press{0, false, (t - 2) / GridColumns, (t - 2) % GridColumns});
    }
    return out;
  }


 private:
  struct Pending {
    uint64_t key;
    int frame;
    int32_t branches;
  };

  double elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  }

  FrameResult frame(const Press* press) {
    if ((++frames_ & 4095) == 0) {
      if (elapsed() > options_.seconds) timedOut_ = true;
      tell();
    }
    if (cleared_ && options_.finalPositions >= 0 && nodes_ - proofEffort_ > options_.finalPositions)
      timedOut_ = clearStop_ = true;
    if (table_.full()) timedOut_ = memoryFull_ = true;
    return playFrame(press);
  }

  void tell() const {
    if (!options_.progress) return;
    options_.progress(MeasureProgress{pass_, provenNone_, nodes_, proofEffort_, frames_, elapsed()});
  }

  // Sets are kept once each: most positions lead to one of a few.
  int32_t keep(std::vector<uint64_t>&& set) {
    if (set.size() > MostKept) {
      set.resize(MostKept);
      capped_ = true;
    }
    uint64_t h = set.size();
    for (uint64_t s : set) h = mix(h ^ s);
    std::vector<int32_t>& same = interned_[h];
    for (int32_t i : same)
      if (sets_[i] == set) return i;
    sets_.push_back(std::move(set));
    same.push_back(static_cast<int32_t>(sets_.size() - 1));
    return same.back();
  }

  int32_t unite(int32_t a, int32_t b) {
    if (a == 0 || a == b) return b;
    if (b == 0) return a;
    std::vector<uint64_t> u;
    u.reserve(sets_[a].size() + sets_[b].size());
    std::set_union(sets_[a].begin(), sets_[a].end(), sets_[b].begin(), sets_[b].end(), std::back_inserter(u));
    if (u.size() == sets_[a].size()) return a;
    if (u.size() == sets_[b].size()) return b;
    return keep(std::move(u));
  }

  // Every sequence of the set with this target pressed first.
  int32_t prepend(uint64_t target, int32_t set) {
    if (set == 0) return 0;
    std::vector<uint64_t> out;
    out.reserve(sets_[set].size());
    for (uint64_t s : sets_[set]) out.push_back(target | s << TargetBits);
    return keep(std::move(out));
  }

  // The cells a press can switch, a piece by its top-left quarter, after the
  // frame's tile animation.
  void candidates(std::vector<Press>* out) const {
    out->clear();
    out->push_back(Press{flow.replayIndex, true, 0, 0});
    for (int row = 0; row < GridRows; ++row) {
      for (int col = 0; col < GridColumns; ++col) {
        const int cls = tileClass[tileAt(row, col)];
        if (cls >= SwitchSingle && cls <= SwitchBottomRight) out->push_back(Press{flow.replayIndex, false, row, col});
      }
    }
  }

  void noteClear(const Press* last) {
    keepClear(last);
    if (cleared_) return;
    cleared_ = true;
    firstClear_ = path_;
    if (last) firstClear_.push_back(*last);
    // Stops the search as the clock would; run() tells the two apart.
    if (options_.finalPositions == 0) timedOut_ = clearStop_ = true;
  }

  // A clear with another sequence of things pressed than those kept so far.
  void keepClear(const Press* last) {
    if (static_cast<int>(clears_.size()) >= options_.keepClears) return;
    std::vector<Press> clear = path_;
    if (last) clear.push_back(*last);
    // Each press was noted with the frame after the one it was made in.
    for (Press& p : clear) p.frame -= 1;
    for (const std::vector<Press>& kept : clears_) {
      bool same = kept.size() == clear.size();
      for (size_t i = 0; same && i < clear.size(); ++i) same = targetOf(kept[i]) == targetOf(clear[i]);
      if (same) return;
    }
    clears_.push_back(std::move(clear));
  }

  // Plays on from here and returns the set of press sequences, of at most
  // `budget` presses, that clear the stage from here.
  int32_t walk(int budget, int depth) {
    std::vector<Pending>& pending = pending_[depth];
    pending.clear();
    int32_t tail = 0;
    for (;;) {
      if (timedOut_) return 0;
      const int p = flow.replayIndex;
      if (p > 0 && p % step_ == 0 && flow.pointer.button == 0) {
        const uint64_t key = worldKey();
        if (budget == 0) {
          if (const int known = zero_.find(key, p)) {
            tail = known == 2 ? 1 : 0;
            break;
          }
          pending.push_back(Pending{key, p, 0});
        } else {
          int32_t known = 0;
          if (table_.find(key, p, budget, &known)) {
            tail = known;
            break;
          }
          ++nodes_;
          FrameResult plain = FrameResult::Playing;
          const int32_t branches = expand(budget, depth, &plain);
          if (timedOut_) return 0;
          pending.push_back(Pending{key, p, branches});
          if (plain == FrameResult::Clear) {
            tail = 1;
            noteClear(nullptr);
            break;
          }
          if (plain == FrameResult::Lost) break;
          continue;
        }
      }
      const FrameResult r = frame(nullptr);
      if (r == FrameResult::Clear) {
        tail = 1;
        noteClear(nullptr);
      }
      if (r != FrameResult::Playing) break;
    }
    // Each position leads to what its presses lead to and to all that the
    // positions after it on the same unpressed run lead to.
    int32_t set = tail;
    for (size_t i = pending.size(); i-- > 0;) {
      const Pending& n = pending[i];
      set = unite(n.branches, set);
      if (budget == 0) {
        zero_.put(n.key, n.frame, set != 0 ? 2 : 1);
      } else {
        table_.put(n.key, n.frame, budget, set);
      }
    }
    return set;
  }

  // Tries every press that changes the world at this frame and leaves the
  // game after the frame played without one; *plain says how that ended.
  int32_t expand(int budget, int depth, FrameResult* plain) {
    GameSnapshot& start = here_[depth];
    saveGame(&start);
    *plain = frame(nullptr);
    GameSnapshot& next = after_[depth];
    saveGame(&next);
    std::vector<uint64_t>& tried = tried_[depth];
    tried.clear();
    tried.push_back(worldKey());
    std::vector<Press>& presses = choices_[depth];
    candidates(&presses);
    int32_t set = 0;
    for (const Press& press : presses) {
      restoreGame(start);
      const FrameResult r = frame(&press);
      if (r == FrameResult::Lost) continue;
      if (r == FrameResult::Clear) {
        noteClear(&press);
        set = unite(set, prepend(targetOf(press), 1));
        continue;
      }
      // A press that leaves the same world as another (a second quarter of
      // a piece, a cell under the walker) is the same move.
      const uint64_t key = worldKey();
      if (std::find(tried.begin(), tried.end(), key) != tried.end()) continue;
      tried.push_back(key);
      path_.push_back(press);
      const int32_t after = walk(budget - 1, depth + 1);
      path_.pop_back();
      if (timedOut_) break;
      set = unite(set, prepend(targetOf(press), after));
    }
    restoreGame(next);
    return set;
  }

  int stage_;
  MeasureOptions options_;
  int step_ = 4;
  bool capped_ = false;
  PositionTable table_;
  OutcomeCache zero_;
  std::vector<std::vector<uint64_t>> sets_;
  std::unordered_map<uint64_t, std::vector<int32_t>> interned_;
  std::vector<GameSnapshot> here_, after_;
  std::vector<std::vector<uint64_t>> tried_;
  std::vector<std::vector<Press>> choices_;
  std::vector<std::vector<Pending>> pending_;
  std::vector<Press> path_;        // the presses that led here
  std::vector<Press> firstClear_;  // the first clear reached, with its frames
  bool cleared_ = false;
  long long frames_ = 0, nodes_ = 0;
  bool timedOut_ = false;
  bool clearStop_ = false;   // stopped after the first clear, as asked
  std::vector<std::vector<Press>> clears_;
  bool memoryFull_ = false;
  int pass_ = 0, provenNone_ = -1;
  long long proofEffort_ = 0;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace

StageMeasure measureStage(int stage, const MeasureOptions& options) {
  MeasureOptions o = options;
  o.maxPresses = std::clamp(o.maxPresses, 0, MostCounted);
  StageMeasure m = ExhaustiveSearch(stage, o).run();
  if (m.found) {
    std::vector<Press> timed = m.example;
    int frames = 0;
    // The first clear's own frames are those of the frame before each press;
    // a search that stopped at it finds them again like a complete one.
    const bool haveFrames = !m.solutionsComplete && o.finalPositions < 0;
    if ((haveFrames || SequenceTiming(m.example, o.step).find(stage, &timed)) && playSolution(stage, timed, &frames)) {
      m.example = timed;
      m.playingFrames = frames;
    } else {
      m.found = false;
      m.example.clear();
    }
  }
  return m;
}

SequenceTiming::SequenceTiming(const std::vector<Press>& order, int step) : order_(order), step_(step < 1 ? 1 : step) {}

bool SequenceTiming::find(int stage, std::vector<Press>* out) {
  return startAttempt(stage) && findFromHere(out);
}

bool SequenceTiming::findFromHere(std::vector<Press>* out) {
  path_.clear();
  marked_.clear();
  played_ = 0;
  const bool found = go(0);
  // A search that gave up proved nothing of what it marked.
  if (limit_ > 0 && played_ > limit_)
    for (uint64_t m : marked_) failed_.erase(m);
  if (!found) return false;
  *out = path_;
  return true;
}

FrameResult SequenceTiming::frame(const Press* press) {
  ++played_;
  return playFrame(press);
}

bool SequenceTiming::go(size_t next) {
  // Marks that lead to the clear found are no failures: they are taken back,
  // so that a later find from another frame may pass them.
  std::vector<uint64_t> marks;
  auto succeed = [&] {
    for (uint64_t m : marks) failed_.erase(m);
    return true;
  };
  for (;;) {
    const int p = flow.replayIndex;
    if (next < order_.size() && p > 0 && p % step_ == 0 && flow.pointer.button == 0) {
      // Each (world, frame, presses made) is tried once: it failed before.
      const uint64_t key = worldKey();
      const uint64_t mark = mix(key ^ static_cast<uint64_t>(p) << 32 ^ next);
      if (limit_ > 0 && played_ > limit_) return false;
      if (!failed_.insert(mark).second) return false;
      marks.push_back(mark);
      if (limit_ > 0) marked_.push_back(mark);
      GameSnapshot before;
      saveGame(&before);
      Press press = order_[next];
      press.frame = p;
      const FrameResult r = frame(&press);
      path_.push_back(press);
      if (r == FrameResult::Clear && next + 1 == order_.size()) return succeed();
      if (r == FrameResult::Playing && go(next + 1)) return succeed();
      path_.pop_back();
      restoreGame(before);
    }
    const FrameResult r = frame(nullptr);
    if (r == FrameResult::Clear) return next == order_.size() && succeed();
    if (r == FrameResult::Lost) return false;
  }
}

bool timeSequence(int stage, const std::vector<Press>& order, int step, std::vector<Press>* out) {
  return SequenceTiming(order, step).find(stage, out);
}

bool pressWindows(int stage, const std::vector<Press>& presses, std::vector<PressWindow>* out, int limit) {
  out->clear();
  int played = 0;
  if (!playSolution(stage, presses, &played)) return false;
  for (size_t i = 0; i < presses.size(); ++i) {
    // A press needs the button up in the frame before it, so it may come no
    // nearer than two frames to its neighbours.
    const int low = i > 0 ? presses[i - 1].frame + 2 : 1;
    const int high = i + 1 < presses.size() ? presses[i + 1].frame - 2 : ReplayRecords - 2;
    PressWindow w;
    std::vector<Press> moved = presses;
    for (int side = -1; side <= 1; side += 2) {
      int& reach = side < 0 ? w.earlier : w.later;
      bool& open = side < 0 ? w.earlierOpen : w.laterOpen;
      open = true;
      for (int d = 1; d <= limit; ++d) {
        const int f = presses[i].frame + side * d;
        if (f < low || f > high) break;
        moved[i].frame = f;
        if (!playSolution(stage, moved, nullptr)) {
          open = false;
          break;
        }
        reach = d;
      }
    }
    out->push_back(w);
  }
  return true;
}

bool hazardStalls(int stage, const std::vector<Press>& presses, int minFrames, std::vector<HazardStall>* out) {
  out->clear();
  if (!startAttempt(stage)) return false;
  std::vector<HazardStall> runs(static_cast<size_t>(hazardTable.hazardCount));
  auto close = [&](size_t i, bool toEnd) {
    if (runs[i].frames >= minFrames) {
      runs[i].toEnd = toEnd;
      out->push_back(runs[i]);
    }
    runs[i].frames = 0;
  };
  size_t next = 0;
  for (;;) {
    const int frame = flow.replayIndex;
    const Press* press = nullptr;
    if (next < presses.size() && presses[next].frame == frame) press = &presses[next++];
    const FrameResult r = playFrame(press);
    // Hazards wait while the walker stands on the goal; that is no stall.
    if (walker.state != AtGoal) {
      for (size_t i = 0; i < runs.size(); ++i) {
        const Hazard& h = hazardTable.hazards[i];
        if (h.state == 1) {
          if (runs[i].frames == 0) runs[i] = HazardStall{static_cast<int>(i), h.row, h.col, frame, 0, false};
          ++runs[i].frames;
        } else {
          close(i, false);
        }
      }
    }
    if (r != FrameResult::Playing) {
      for (size_t i = 0; i < runs.size(); ++i) close(i, true);
      std::sort(out->begin(), out->end(), [](const HazardStall& a, const HazardStall& b) {
        return a.from != b.from ? a.from < b.from : a.hazard < b.hazard;
      });
      return r == FrameResult::Clear && next == presses.size();
    }
  }
}

bool parseSolution(const std::string& text, std::vector<Press>* out, std::string* error) {
  out->clear();
  std::istringstream in(text);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (const size_t semi = line.find(';'); semi != std::string::npos) line.resize(semi);
    std::istringstream words(line);
    std::string verb;
    if (!(words >> verb)) continue;
    Press p;
    std::string rest;
    bool ok = false;
    if (verb == "press") {
      ok = static_cast<bool>(words >> p.frame >> p.row >> p.col) && insideGrid(p.row, p.col);
    } else if (verb == "walker") {
      p.onWalker = true;
      ok = static_cast<bool>(words >> p.frame);
    }
    if (!ok || (words >> rest) || p.frame < 1 || p.frame >= ReplayRecords - 1) {
      *error = "line " + std::to_string(number) + ": expected 'press FRAME ROW COL' or 'walker FRAME'";
      return false;
    }
    out->push_back(p);
  }
  std::stable_sort(out->begin(), out->end(), [](const Press& a, const Press& b) { return a.frame < b.frame; });
  return true;
}
