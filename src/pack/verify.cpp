// Proving an imported pack: each solution is replayed headless through the
// game's own scene flow, as the title's DEMO plays it.
#include <cstdio>

#include "app/game_state.h"
#include "app/shell.h"
#include "flow/flow.h"
#include "pack/share.h"
#include "platform/platform.h"

namespace {
// A solution runs inside one stage's 60 seconds; this bounds a broken one.
constexpr long MostFrames = 20000;
}  // namespace

PackVerdict verifyPack(const Pack& pack, FILE* out) {
  const PackState before = packState;
  PackVerdict verdict;
  verdict.known = true;
  verdict.stages = pack.stageCount;
  for (int stage = 1; stage <= pack.stageCount; ++stage) {
    const auto s = static_cast<size_t>(stage);
    const std::string solution = replayPathIn(pack.folder, stage);
    if (!sysPathExists(solution.c_str())) {
      verdict.outcome[s] = PackVerdict::NoSolution;
    } else {
      startDemonstration(stage, solution.c_str(), false);
      packState = PackState{};
      packState.packs.push_back(pack);
      bool cleared = false, leftTitle = false;
      int clicks = 0;
      for (long frame = 0; frame < MostFrames; ++frame) {
        const Scene ran = flow.scene;
        runFrameWork();
        if (ran == Playing && isPress(flow.pointer)) ++clicks;
        if (ran == StageClear) cleared = true;
        if (ran != Title) leftTitle = true;
        if (leftTitle && flow.scene == Title) break;
      }
      verdict.outcome[s] = cleared ? PackVerdict::Cleared : PackVerdict::Fails;
      verdict.clicks[s] = cleared ? clicks : 0;
    }
    if (out) std::fprintf(out, "%s\n", verdictLine(verdict, stage).c_str());
  }
  if (out) std::fprintf(out, "%s\n", verdictSummary(verdict).c_str());
  resetGame();
  packState = before;
  return verdict;
}
