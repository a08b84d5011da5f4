// The hazard path preview: the world run ahead from a saved copy of the game,
// and the paths drawn as faint trails over the picture.
#include "app/preview.h"

#include <cstring>

#include "app/game_state.h"
#include "display/display.h"
#include "display/surface.h"
#include "flow/flow.h"
#include "world/world.h"

PathPreview pathPreview;

namespace {
// The hazard's body is drawn low in its 64 x 64 frame: this is its middle.
constexpr int BodyX = 32, BodyY = 36;
// The trail's colour, a light warm red like the hazards themselves, and how
// far each mark goes toward it from the picture below.
constexpr int TrailRed = 255, TrailGreen = 96, TrailBlue = 104;
// The path fades after its first half, so that the way a hazard goes first
// stands out where it comes back over its own path.
constexpr int FarPercent = 25;   // the path's second half
constexpr int NearPercent = 45;  // its first half
constexpr int MarkPercent = 75;  // a ring where the hazard will be at each whole second

enum Mark : uint8_t { NoMark = 0, FarMark, NearMark, SecondMark, MarkKinds };
uint8_t marks[CanvasHeight][CanvasWidth];

void mark(int x, int y, Mark m) {
  if (x < 0 || y < 0 || x >= CanvasWidth || y >= CanvasHeight) return;
  if (marks[y][x] < m) marks[y][x] = m;
}

void dot(int cx, int cy, Mark m) {
  for (int dy = -2; dy <= 2; ++dy)
    for (int dx = -2; dx <= 2; ++dx)
      if (dx * dx + dy * dy <= 5) mark(cx + dx, cy + dy, m);
}

void ring(int cx, int cy) {
  for (int dy = -7; dy <= 7; ++dy)
    for (int dx = -7; dx <= 7; ++dx) {
      const int d = dx * dx + dy * dy;
      if (d >= 20 && d <= 49) mark(cx + dx, cy + dy, SecondMark);
    }
}

// For each colour of the table, the entry nearest to it moved `percent` of the
// way toward the trail's colour; the sprite sheet's key is never chosen.
void tintTable(int percent, uint8_t out[256]) {
  for (int i = 0; i < 256; ++i) {
    const int r = gamePalette[i][0] + (TrailRed - gamePalette[i][0]) * percent / 100;
    const int g = gamePalette[i][1] + (TrailGreen - gamePalette[i][1]) * percent / 100;
    const int b = gamePalette[i][2] + (TrailBlue - gamePalette[i][2]) * percent / 100;
    out[i] = static_cast<uint8_t>(nearestColour(r, g, b, SpriteSheet.key));
  }
}
}  // namespace

std::vector<HazardPath> lookAhead(int frames) {
  GameSnapshot saved;
  saveGame(&saved);
  std::vector<HazardPath> paths;
  for (int i = 0; i < hazardTable.hazardCount; ++i)
    if (hazardTable.hazards[i].state != HazardStopped) paths.push_back(HazardPath{i, {}, {}});
  // What a Playing frame does to the hazards and to the tiles they turn at,
  // in its order. The walker is left standing: hazards never look at it, save
  // that they wait while it is on the goal, and it cannot reach the goal in a
  // stage left without clicks; so nothing it would do (sounds, stars, a miss)
  // can come of the preview.
  for (int f = 0; f < frames; ++f) {
    if (walker.state != AtGoal) moveHazards();
    updateTiles();
    for (HazardPath& p : paths) {
      const Hazard& h = hazardTable.hazards[p.hazard];
      if (h.state == HazardStopped) continue;  // for good: its path ends here
      p.x.push_back(h.x);
      p.y.push_back(h.y);
    }
  }
  restoreGame(saved);
  return paths;
}

bool previewShowsPaths() { return flow.scene == StageReady || flow.scene == Playing; }

void drawHazardPaths() {
  if (!display.displayReady || !display.drawing) return;
  const std::vector<HazardPath> paths = lookAhead(PreviewFrames);
  std::memset(marks, 0, sizeof marks);
  for (const HazardPath& p : paths) {
    for (size_t k = 0; k < p.x.size(); ++k) {
      // A hazard's position is unsigned: one that wrapped past the left or
      // top edge is off the picture.
      const int x = p.x[k] + BodyX, y = p.y[k] + BodyY;
      dot(x, y, static_cast<int>(k) < PreviewFrames / 2 ? NearMark : FarMark);
      if ((k + 1) % PreviewMarkEvery == 0) ring(x, y);
    }
  }
  // The tables follow the colour table, which a frame never changes: made
  // again only when it has.
  static uint8_t tint[MarkKinds][256];
  static uint8_t tintFor[256][3];
  static bool tintMade = false;
  if (!tintMade || std::memcmp(tintFor, gamePalette, sizeof tintFor) != 0) {
    for (int i = 0; i < 256; ++i) tint[NoMark][i] = static_cast<uint8_t>(i);
    tintTable(FarPercent, tint[FarMark]);
    tintTable(NearPercent, tint[NearMark]);
    tintTable(MarkPercent, tint[SecondMark]);
    std::memcpy(tintFor, gamePalette, sizeof tintFor);
    tintMade = true;
  }
  for (int y = 0; y < CanvasHeight; ++y)
    for (int x = 0; x < CanvasWidth; ++x)
      if (marks[y][x]) FrameCanvas[y][x] = tint[marks[y][x]][FrameCanvas[y][x]];
}

bool previewKey(bool down) {
  if (pathPreview.held == down) return false;
  pathPreview.held = down;
  return true;
}
