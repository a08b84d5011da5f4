#include "solve/check.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <numeric>
#include <set>
#include <sstream>

#include "app/game_state.h"
#include "flow/flow.h"
#include "platform/thread.h"
#include "solve/builtin_efforts.h"
#include "world/world.h"

namespace {
constexpr int FramesPerSecond = 60;
// More than two seconds.
constexpr int StallFrames = 2 * FramesPerSecond + 1;
// How far a click is moved each way to find its window, as the solver report
// measures it.
constexpr int WindowLimit = 600;
constexpr int CanvasColumns = 40;
// The pass that finds the fewest clicks may expand this many positions to
// collect every minimal solution, and this many of them are compared: counts,
// not seconds, so that a stage gets the same answer on every machine.
constexpr long long FinalPositions = 2000;
constexpr size_t MostCandidates = 6;
constexpr int RelaxStep = 8;
// How far the first round of relaxing moves a press, each way: finding the
// presses after it again costs far more than playing them as they are.
constexpr int AdaptRange = 240;
// A search for the presses after it gives up after this many frames.
constexpr long long TailFrames = 20000;

int tileOf(const uint8_t* image, int row, int col) { return image[TileLayerOffset + GridColumns * row + col]; }
int objectOf(const uint8_t* image, int row, int col) {
  return static_cast<int8_t>(image[ObjectLayerOffset + GridColumns * row + col]);
}

// A goal tile, or one that animation or a click can turn into one.
bool mayBeGoal(int tile) {
  std::set<int> seen;
  for (int t = tile; seen.insert(t).second; t = nextTile[t])
    if (tileKind[t] == Goal) return true;
  return false;
}

std::string cell(int row, int col) { return "row " + std::to_string(row) + " column " + std::to_string(col); }

std::string seconds(int frames) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", frames / static_cast<double>(FramesPerSecond));
  return text;
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Lines of at most CanvasColumns, broken between words.
void wrapInto(const std::string& text, std::vector<std::string>* out) {
  std::istringstream words(text);
  std::string line, word;
  while (words >> word) {
    if (word.size() > CanvasColumns) word.resize(CanvasColumns);
    if (!line.empty() && line.size() + 1 + word.size() > CanvasColumns) {
      out->push_back(line);
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  if (!line.empty()) out->push_back(line);
}

// Plays the rest of an attempt from the current Playing frame with these
// presses (those before the current frame already played); true when the
// stage is cleared with every press used.
bool clearsFromHere(const std::vector<Press>& presses) {
  size_t next = 0;
  while (next < presses.size() && presses[next].frame < flow.replayIndex) ++next;
  for (;;) {
    const Press* press = nullptr;
    if (next < presses.size() && presses[next].frame == flow.replayIndex) press = &presses[next++];
    const FrameResult r = playFrame(press);
    if (r != FrameResult::Playing) return r == FrameResult::Clear && next == presses.size();
  }
}

// One press of a solution that clears, moved alone to other frames. The
// attempts start from the solution's own states before the frames they
// change, not from the stage's start. A press may pass its neighbours: the
// search puts presses as early as it can, often a few frames apart, and a
// neighbour is no limit a player meets.
class MovedPress {
 public:
  MovedPress(const std::vector<Press>& presses, size_t i)
      : presses_(presses), i_(i), at_(presses[i].frame), from_(std::max(1, at_ - WindowLimit)) {
    if (!startAttempt(1)) return;
    size_t next = 0;
    for (;;) {
      const int f = flow.replayIndex;
      if (f >= from_) {
        before_.emplace_back();
        saveGame(&before_.back());
      }
      if (f >= at_) break;
      const Press* press = nullptr;
      if (next < i && presses[next].frame == f) press = &presses[next++];
      if (playFrame(press) != FrameResult::Playing) {
        before_.clear();
        return;
      }
    }
  }

  // False when the solution as written does not reach the press.
  bool ready() const { return !before_.empty(); }
  int at() const { return at_; }
  // The frames it may be tried at.
  int earliest() const { return from_; }
  int latest() const { return std::min(static_cast<int>(ReplayRecords) - 2, at_ + WindowLimit); }
  // A press needs the button up in the frame before it: no two come nearer
  // than two frames.
  bool crowded(int f) const {
    for (size_t j = 0; j < presses_.size(); ++j)
      if (j != i_ && std::abs(presses_[j].frame - f) < 2) return true;
    return false;
  }
  Press pressAt(int f) const {
    Press p = presses_[i_];
    p.frame = f;
    return p;
  }
  // Pressed at frame f, and the presses after it as many frames later as
  // it, or else found again from there (on the grid of frames); *tail gets
  // them.
  bool clearsWithRest(int f, SequenceTiming* rest, std::vector<Press>* tail) {
    tail->assign(presses_.begin() + static_cast<long>(i_) + 1, presses_.end());
    for (Press& p : *tail) p.frame += f - at_;
    if (tail->empty() || tail->back().frame <= ReplayRecords - 2) {
      std::vector<Press> shifted(presses_.begin(), presses_.begin() + static_cast<long>(i_));
      shifted.push_back(pressAt(f));
      shifted.insert(shifted.end(), tail->begin(), tail->end());
      restoreGame(before_[static_cast<size_t>(std::min(f, at_) - from_)]);
      if (clearsFromHere(shifted)) return true;
    }
    restoreGame(before_[static_cast<size_t>(std::min(f, at_) - from_)]);
    while (flow.replayIndex < f)
      if (playFrame(nullptr) != FrameResult::Playing) return false;
    Press press = pressAt(f);
    const FrameResult r = playFrame(&press);
    if (r == FrameResult::Clear) return tail->empty();
    return r == FrameResult::Playing && rest->findFromHere(tail);
  }
  bool clearsAt(int f) {
    std::vector<Press> moved = presses_;
    moved[i_].frame = f;
    std::stable_sort(moved.begin(), moved.end(), [](const Press& a, const Press& b) { return a.frame < b.frame; });
    restoreGame(before_[static_cast<size_t>(std::min(f, at_) - from_)]);
    return clearsFromHere(moved);
  }

 private:
  const std::vector<Press>& presses_;
  size_t i_;
  int at_, from_;
  std::vector<GameSnapshot> before_;  // before frames from_ .. at_
};

// The widest run of the frames looked at where `works` says yes, and the one
// of them nearest its middle.
template <typename Works>
int middleOfWidestRun(int from, int to, int step, Works works, int* width) {
  std::vector<int> ok;
  for (int f = from; f <= to; f += step)
    if (works(f)) ok.push_back(f);
  size_t bestStart = 0, bestEnd = 0;
  for (size_t start = 0, k = 1; k <= ok.size(); ++k) {
    if (k == ok.size() || ok[k] != ok[k - 1] + step) {
      if (ok[k - 1] - ok[start] > ok[bestEnd] - ok[bestStart]) {
        bestStart = start;
        bestEnd = k - 1;
      }
      start = k;
    }
  }
  if (ok.empty()) return *width = 0, from;
  *width = ok[bestEnd] - ok[bestStart] + 1;
  const int middle = (ok[bestStart] + ok[bestEnd]) / 2;
  size_t nearest = bestStart;
  for (size_t k = bestStart; k <= bestEnd; ++k)
    if (std::abs(ok[k] - middle) < std::abs(ok[nearest] - middle)) nearest = k;
  return ok[nearest];
}

// Moves the presses of a solution that clears to the middle of the widest
// runs of frames where they still clear, looked for every RelaxStep frames:
// the search finds the earliest frames that work, often at the edge of a
// narrow run when a wide one comes later. The first round takes each press in
// turn and finds the presses after it again for every frame it is tried at,
// as a player who clicks later clicks the rest to suit; the second moves each
// press alone. *runs gets each press's run of the second round, in frames
// looked at, as a first guess at its window.
std::vector<Press> relaxed(std::vector<Press> presses, int step, std::vector<int>* runs) {
  for (size_t i = 0; i < presses.size(); ++i) {
    MovedPress moved(presses, i);
    if (!moved.ready()) return presses;
    const int at = moved.at();
    const int low = std::max({moved.earliest(), at - AdaptRange, i > 0 ? presses[i - 1].frame + 2 : 1});
    const int high = std::min(moved.latest(), at + AdaptRange);
    const std::vector<Press> rest(presses.begin() + static_cast<long>(i) + 1, presses.end());
    SequenceTiming timing(rest, step);
    timing.limitFrames(TailFrames);
    std::vector<std::vector<Press>> tails(static_cast<size_t>(high - low + 1));
    auto works = [&](int f) {
      std::vector<Press>& tail = tails[static_cast<size_t>(f - low)];
      if (f != at) return moved.clearsWithRest(f, &timing, &tail);
      tail = rest;
      return true;
    };
    int width = 0;
    const int chosen = middleOfWidestRun(at - (at - low) / RelaxStep * RelaxStep, high, RelaxStep, works, &width);
    if (width == 0) continue;
    presses.resize(i);
    presses.push_back(moved.pressAt(chosen));
    const std::vector<Press>& tail = tails[static_cast<size_t>(chosen - low)];
    presses.insert(presses.end(), tail.begin(), tail.end());
  }
  // Each press alone; `ids` follows them as they move.
  std::vector<size_t> ids(presses.size());
  std::iota(ids.begin(), ids.end(), 0);
  std::vector<int> widths(presses.size(), 0);
  for (size_t id = 0; id < presses.size(); ++id) {
    const size_t i = static_cast<size_t>(std::find(ids.begin(), ids.end(), id) - ids.begin());
    MovedPress moved(presses, i);
    if (!moved.ready()) break;
    const int at = moved.at();
    auto works = [&](int f) { return !moved.crowded(f) && (f == at || moved.clearsAt(f)); };
    const int chosen = middleOfWidestRun(at - (at - moved.earliest()) / RelaxStep * RelaxStep, moved.latest(),
                                         RelaxStep, works, &widths[id]);
    if (widths[id] > 0) presses[i].frame = chosen;
    std::vector<size_t> order(presses.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return presses[a].frame < presses[b].frame; });
    std::vector<Press> sorted;
    std::vector<size_t> sortedIds;
    for (size_t k : order) {
      sorted.push_back(presses[k]);
      sortedIds.push_back(ids[k]);
    }
    presses.swap(sorted);
    ids.swap(sortedIds);
  }
  runs->clear();
  for (size_t id : ids) runs->push_back(widths[id]);
  return presses;
}

// The narrowest window of a solution that clears: for each press, how far it
// may move alone, earlier and later, and the stage still be cleared (up to
// WindowLimit frames each way, as the solver report measures; neighbours
// passed). Only the narrowest is measured to its end, and the presses whose
// runs were narrowest are measured first. False, early, when the narrowest is
// no wider than `atLeast`.
bool narrowestWindow(const std::vector<Press>& presses, const std::vector<int>& runs, int atLeast, int* width,
                     int* which) {
  std::vector<size_t> order(presses.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return runs[a] < runs[b]; });
  int best = INT_MAX;
  for (size_t i : order) {
    MovedPress moved(presses, i);
    if (!moved.ready()) return false;
    const int at = moved.at();
    // Each side only as far as a window narrower than the best so far;
    // crowded frames are left to the next one tried.
    int earlier = 0, later = 0;
    for (int d = 1; d <= WindowLimit && d < best && at - d >= 1; ++d) {
      if (moved.crowded(at - d)) continue;
      if (!moved.clearsAt(at - d)) break;
      earlier = d;
    }
    for (int d = 1; d <= WindowLimit && earlier + d < best && at + d <= ReplayRecords - 2; ++d) {
      if (moved.crowded(at + d)) continue;
      if (!moved.clearsAt(at + d)) break;
      later = d;
    }
    if (earlier + later + 1 < best) {
      best = earlier + later + 1;
      *which = static_cast<int>(i) + 1;
      if (best <= atLeast) return false;
    }
  }
  *width = best == INT_MAX ? 0 : best;
  return true;
}

bool sameTargets(const std::vector<Press>& a, const std::vector<Press>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].onWalker != b[i].onWalker || (!a[i].onWalker && (a[i].row != b[i].row || a[i].col != b[i].col)))
      return false;
  return true;
}

// Of the minimal solutions the search met (and every one when it collected
// them all), each relaxed, the one whose narrowest window is widest: the
// timing a player needs at the least, and the solution a demonstration then
// shows.
void chooseSolution(const StageMeasure& m, int step, CheckResult* r, const std::function<void()>& tell) {
  std::vector<std::vector<Press>> candidates = {m.example};
  std::vector<bool> timed = {true};
  auto add = [&](const std::vector<Press>& c, bool withFrames) {
    for (const std::vector<Press>& known : candidates)
      if (sameTargets(known, c)) return;
    candidates.push_back(c);
    timed.push_back(withFrames);
  };
  for (const std::vector<Press>& c : m.clears) add(c, true);
  if (m.solutionsComplete)
    for (const std::vector<Press>& c : m.minimalOrders) add(c, false);
  int widest = -1;
  for (size_t k = 0; k < candidates.size() && k < MostCandidates; ++k) {
    tell();
    std::vector<Press> presses = candidates[k];
    if (!timed[k] && !timeSequence(1, candidates[k], step, &presses)) continue;
    if (!playSolution(1, presses)) continue;
    std::vector<int> runs;
    presses = relaxed(presses, step, &runs);
    // A run seen every RelaxStep frames is at most that much short of the
    // window on each side.
    const int guess = runs.empty() ? 0 : *std::min_element(runs.begin(), runs.end()) + 2 * RelaxStep;
    int width = 0, which = 0, frames = 0;
    if (guess <= widest || !narrowestWindow(presses, runs, widest, &width, &which) || !playSolution(1, presses, &frames))
      continue;
    widest = width;
    r->solution = presses;
    r->windowFrames = width;
    r->windowPress = which;
    r->playingFrames = frames;
  }
}

const char* stopWord(CheckStop s) {
  switch (s) {
    case CheckStop::Time: return "time";
    case CheckStop::Memory: return "memory";
    case CheckStop::Cancelled: return "cancelled";
    case CheckStop::Failed: return "failed";
    default: return "none";
  }
}
const char* verdictWord(CheckVerdict v) {
  switch (v) {
    case CheckVerdict::Clears: return "clears";
    case CheckVerdict::NoWay: return "noway";
    case CheckVerdict::Unplayable: return "unplayable";
    default: return "notsure";
  }
}
}  // namespace

std::string unplayableReason(const uint8_t* image) {
  int starts = 0, startRow = 0, startCol = 0;
  bool goal = false;
  for (int row = 0; row < GridRows; ++row) {
    for (int col = 0; col < GridColumns; ++col) {
      const int code = objectOf(image, row, col);
      if (code == StartFacingLeft || code == StartFacingRight) {
        ++starts;
        startRow = row;
        startCol = col;
      }
      goal = goal || mayBeGoal(tileOf(image, row, col));
    }
  }
  if (starts == 0) return "no walker start";
  // The game would take the last; which one was meant is not for it to guess.
  if (starts > 1) return std::to_string(starts) + " walker starts";
  // The game reads a start there as no start at all.
  if (startRow == 0 && startCol == 0) return "walker start in the top-left cell";
  if (tileKind[tileOf(image, startRow, startCol)] == Solid) return "walker start in a wall at " + cell(startRow, startCol);
  if (!goal) return "no goal";
  return "";
}

int harderThanBuiltins(long long effort) {
  return static_cast<int>(std::count_if(builtinEfforts.begin(), builtinEfforts.end(), [&](long long e) { return e < effort; }));
}

CheckResult checkBefore(const uint8_t* image, const CheckOptions& options) {
  CheckResult r;
  r.budgetSeconds = options.seconds;
  r.budgetBytes = options.memoryBytes;
  r.unplayable = unplayableReason(image);
  if (!r.unplayable.empty()) r.verdict = CheckVerdict::Unplayable;
  return r;
}

CheckResult checkStage(const uint8_t* image, const CheckOptions& options,
                       const std::function<void(const CheckProgress&)>& progress) {
  const uint64_t started = sysMonotonicUs();
  auto elapsed = [&] { return static_cast<double>(sysMonotonicUs() - started) / 1e6; };
  CheckResult r = checkBefore(image, options);
  if (r.verdict == CheckVerdict::Unplayable) return r;
  setAttemptImage(image);
  struct BackToFiles {
    ~BackToFiles() { setAttemptImage(nullptr); }
  } backToFiles;

  CheckProgress last;
  auto tell = [&](const CheckProgress& p) {
    last = p;
    last.seconds = elapsed();
    if (progress) progress(last);
  };
  MeasureOptions o;
  o.maxPresses = std::clamp(options.maxClicks, 0, 7);
  o.step = options.step;
  o.seconds = options.seconds;
  o.finalPositions = FinalPositions;
  o.keepClears = MostCandidates;
  o.tableBytes = options.memoryBytes / 8 * 5;
  o.progress = [&](const MeasureProgress& p) {
    tell(CheckProgress{p.presses, p.provenNone, p.positions, p.proofEffort, 0, false});
  };
  const StageMeasure m = measureStage(1, o);
  r.frames = m.frames;
  if (m.found) {
    r.verdict = CheckVerdict::Clears;
    r.clicks = m.fewest;
    r.effort = m.effort;
    r.solution = m.example;
    r.playingFrames = m.playingFrames;
  } else if (m.timedOut || m.provenNone < o.maxPresses) {
    // Out of time or memory; or a clear that did not play again from the
    // start, which would be the solver's fault: either way unproven.
    r.verdict = CheckVerdict::NotSure;
    r.clicks = m.provenNone;
    r.effort = m.provenNone >= 0 ? last.proofEffort : 0;
    r.stop = m.memoryFull ? CheckStop::Memory : (m.timedOut ? CheckStop::Time : CheckStop::Failed);
  } else {
    r.verdict = CheckVerdict::NoWay;
    r.clicks = m.provenNone;
    r.effort = m.effort;
  }
  r.harderThan = harderThanBuiltins(r.effort);

  CheckProgress timing = last;
  timing.timing = true;
  timing.clicks = r.clicks;
  timing.proofEffort = r.effort;
  if (r.verdict == CheckVerdict::Clears) chooseSolution(m, options.step, &r, [&] { tell(timing); });
  // The hazards as the solution plays, or as the stage plays without a click.
  hazardStalls(1, r.solution, StallFrames, &r.stalls);
  r.seconds = elapsed();
  return r;
}

CheckResult checkStoppedAt(const CheckProgress& p, CheckStop stop, const CheckOptions& options) {
  CheckResult r;
  r.stop = stop;
  r.budgetSeconds = options.seconds;
  r.budgetBytes = options.memoryBytes;
  r.seconds = p.seconds;
  if (p.timing) {
    // The search was over and had found a clear: only its timing is missing.
    r.verdict = CheckVerdict::Clears;
    r.clicks = p.clicks;
  } else {
    r.verdict = CheckVerdict::NotSure;
    r.clicks = p.provenNone;
  }
  r.effort = r.clicks >= 0 ? p.proofEffort : 0;
  r.harderThan = harderThanBuiltins(r.effort);
  return r;
}

std::vector<std::string> checkReport(const CheckResult& r) {
  std::vector<std::string> lines;
  const std::string k = std::to_string(r.clicks);
  const std::string clicks = k + (r.clicks == 1 ? " click" : " clicks");
  switch (r.verdict) {
    case CheckVerdict::Unplayable:
      lines.push_back("unplayable: " + r.unplayable);
      return lines;
    case CheckVerdict::Clears:
      lines.push_back("clears in " + clicks);
      break;
    case CheckVerdict::NoWay:
      lines.push_back("no way with up to " + clicks);
      break;
    case CheckVerdict::NotSure:
      // Only a check stopped from outside before its first pass ended knows
      // nothing; on its own the pass without a click always ends.
      lines.push_back(r.clicks < 0 ? "not sure: stopped before the first answer" : "not sure beyond " + clicks);
      break;
  }
  if (r.verdict == CheckVerdict::Clears) {
    lines.push_back("harder than " + std::to_string(r.harderThan) + " of 50 built-in stages (effort " +
                    std::to_string(r.effort) + ")");
  } else if (r.verdict == CheckVerdict::NotSure && r.clicks >= 0) {
    lines.push_back("harder than at least " + std::to_string(r.harderThan) + " of 50 built-in stages (effort " +
                    std::to_string(r.effort) + " so far)");
  }
  if (r.verdict == CheckVerdict::Clears && r.windowPress > 0) {
    lines.push_back("narrowest window " + std::to_string(r.windowFrames) + " frames (" + seconds(r.windowFrames) +
                    "), click " + std::to_string(r.windowPress) + " of " + std::to_string(r.solution.size()));
  }
  for (const HazardStall& h : r.stalls) {
    lines.push_back("hazard " + std::to_string(h.hazard + 1) + " stands still " + seconds(h.frames) + " at " +
                    cell(h.row, h.col) + " from " + seconds(h.from) + (h.toEnd ? " to the end" : "") +
                    (r.solution.empty() ? " (without a click)" : ""));
  }
  switch (r.stop) {
    case CheckStop::Time: {
      char text[64];
      std::snprintf(text, sizeof text, "stopped: out of time (%g s)", r.budgetSeconds);
      lines.push_back(text);
      break;
    }
    case CheckStop::Memory:
      lines.push_back("stopped: memory full (" + std::to_string(r.budgetBytes >> 20) + " MiB)");
      break;
    case CheckStop::Cancelled:
      lines.push_back("stopped: cancelled");
      break;
    case CheckStop::Failed:
      lines.push_back("stopped: the check failed");
      break;
    case CheckStop::None:
      break;
  }
  return lines;
}

std::vector<std::string> checkCanvasLines(const CheckResult& r) {
  std::vector<std::string> lines;
  std::vector<std::string> report = checkReport(r);
  // Shorter words where the report's would not fit in a line.
  if (r.verdict == CheckVerdict::Clears || (r.verdict == CheckVerdict::NotSure && r.clicks >= 0)) {
    report[1] = std::string(r.verdict == CheckVerdict::Clears ? "harder than " : "harder than at least ") +
                std::to_string(r.harderThan) + " of 50";
  }
  size_t stall = 0;
  for (std::string& line : report) {
    if (line.rfind("narrowest", 0) == 0) line = "narrowest window " + std::to_string(r.windowFrames) + " frames (" + seconds(r.windowFrames) + ")";
    if (line.rfind("hazard ", 0) == 0 && stall < r.stalls.size()) {
      const HazardStall& h = r.stalls[stall++];
      char text[64];
      std::snprintf(text, sizeof text, "hazard at row %d col %d still %.1f s", h.row, h.col,
                    h.frames / static_cast<double>(FramesPerSecond));
      line = text;
    }
    wrapInto(upper(line), &lines);
  }
  return lines;
}

std::string checkProgressLine(const CheckProgress& p) {
  if (p.timing) return "TIMING THE SOLUTION";
  std::string line = "TRYING " + std::to_string(p.clicks) + (p.clicks == 1 ? " CLICK: " : " CLICKS: ") +
                     std::to_string(p.positions) + " POSITIONS";
  if (line.size() > CanvasColumns) line.resize(CanvasColumns);
  return line;
}

std::string encodeCheckProgress(const CheckProgress& p) {
  char line[160];
  std::snprintf(line, sizeof line, "progress %d %d %lld %lld %.2f %d\n", p.clicks, p.provenNone, p.positions,
                p.proofEffort, p.seconds, p.timing ? 1 : 0);
  return line;
}

bool decodeCheckProgress(const std::string& line, CheckProgress* out) {
  std::istringstream in(line);
  std::string word;
  CheckProgress p;
  int timing = 0;
  if (!(in >> word) || word != "progress" ||
      !(in >> p.clicks >> p.provenNone >> p.positions >> p.proofEffort >> p.seconds >> timing)) {
    return false;
  }
  p.timing = timing != 0;
  *out = p;
  return true;
}

std::string encodeCheckResult(const CheckResult& r) {
  std::ostringstream out;
  out << "verdict " << verdictWord(r.verdict) << "\n";
  out << "clicks " << r.clicks << "\n";
  out << "stop " << stopWord(r.stop) << " " << r.budgetSeconds << " " << r.budgetBytes << "\n";
  if (!r.unplayable.empty()) out << "unplayable " << r.unplayable << "\n";
  out << "effort " << r.effort << " " << r.harderThan << "\n";
  out << "window " << r.windowFrames << " " << r.windowPress << "\n";
  out << "frames " << r.playingFrames << " " << r.frames << " " << r.seconds << "\n";
  for (const HazardStall& h : r.stalls)
    out << "stall " << h.hazard << " " << h.row << " " << h.col << " " << h.from << " " << h.frames << " " << h.toEnd << "\n";
  out << formatSolution(r.solution);
  out << "end\n";
  return out.str();
}

bool decodeCheckResult(const std::string& text, CheckResult* out) {
  CheckResult r;
  std::istringstream in(text);
  bool ended = false, verdict = false;
  std::string solution;
  for (std::string line; !ended && std::getline(in, line);) {
    std::istringstream words(line);
    std::string key;
    words >> key;
    bool ok = true;
    if (key == "verdict") {
      std::string v;
      words >> v;
      verdict = true;
      if (v == "clears") {
        r.verdict = CheckVerdict::Clears;
      } else if (v == "noway") {
        r.verdict = CheckVerdict::NoWay;
      } else if (v == "unplayable") {
        r.verdict = CheckVerdict::Unplayable;
      } else {
        ok = v == "notsure";
        r.verdict = CheckVerdict::NotSure;
      }
    } else if (key == "clicks") {
      ok = static_cast<bool>(words >> r.clicks);
    } else if (key == "stop") {
      std::string s;
      ok = static_cast<bool>(words >> s >> r.budgetSeconds >> r.budgetBytes);
      const CheckStop all[] = {CheckStop::None, CheckStop::Time, CheckStop::Memory, CheckStop::Cancelled, CheckStop::Failed};
      bool known = false;
      for (CheckStop c : all) {
        if (s == stopWord(c)) {
          r.stop = c;
          known = true;
        }
      }
      ok = ok && known;
    } else if (key == "unplayable") {
      std::getline(words >> std::ws, r.unplayable);
    } else if (key == "effort") {
      ok = static_cast<bool>(words >> r.effort >> r.harderThan);
    } else if (key == "window") {
      ok = static_cast<bool>(words >> r.windowFrames >> r.windowPress);
    } else if (key == "frames") {
      ok = static_cast<bool>(words >> r.playingFrames >> r.frames >> r.seconds);
    } else if (key == "stall") {
      HazardStall h;
      ok = static_cast<bool>(words >> h.hazard >> h.row >> h.col >> h.from >> h.frames >> h.toEnd);
      r.stalls.push_back(h);
    } else if (key == "press" || key == "walker") {
      solution += line + "\n";
    } else if (key == "end") {
      ended = true;
    } else {
      ok = false;
    }
    if (!ok) return false;
  }
  std::string error;
  if (!ended || !verdict || !parseSolution(solution, &r.solution, &error)) return false;
  *out = r;
  return true;
}
