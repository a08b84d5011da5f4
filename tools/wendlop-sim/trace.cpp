#include "trace.h"

#include "flow/flow.h"
#include "world/world.h"

void writeTraceFields(FILE* out, long frame, int ranScene, const std::vector<int>& frameEffects) {
  const Walker& w = walker;
  std::fprintf(out, "{\"f\":%ld,\"scene\":%d,\"w\":[%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d],\"h\":[", frame, ranScene,
               w.x, w.y, w.col, w.row, w.state, w.resumeState, w.stepsLeft, w.stepDelay, w.stepTick, w.rowFrames,
               w.timer, w.clickCooldown, w.walkPhase);
  for (int i = 0; i < hazardTable.hazardCount; ++i) {
    const Hazard& h = hazardTable.hazards[i];
    std::fprintf(out, "%s[%u,%u,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d]", i ? "," : "", h.x, h.y, h.col, h.row, h.dx, h.dy,
                 h.dcol, h.drow, h.stepsPerCell, h.stepsLeft, h.state, h.tick, h.period);
  }
  std::fputs("],\"tiles\":\"", out);
  for (int i = 0; i < GridRows * GridColumns; ++i) std::fprintf(out, "%02x", stageMap[TileLayerOffset + i]);
  const PointerSample& p = flow.pointer;
  std::fprintf(out, "\",\"lives\":%d,\"stars\":%d,\"time\":%d,\"tf\":%d,\"ptr\":[%d,%d,%d,%d],\"fx\":[", flow.lives,
               flow.stars, flow.timeLeft, flow.timeFrames, p.x, p.y, p.button, p.previousButton);
  for (size_t i = 0; i < frameEffects.size(); ++i) std::fprintf(out, "%s%d", i ? "," : "", frameEffects[i]);
  std::fputc(']', out);
}
