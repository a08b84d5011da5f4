// The tile catalogue and the tile layer's own animation.
#include <array>

#include "world/world.h"

namespace {
struct Catalogue {
  std::array<uint8_t, 256> kind{}, next{}, cls{}, sound{};
};

constexpr Catalogue buildCatalogue() {
  Catalogue t{};
  auto set = [&t](int tile, int kind, int cls, int next, int sound) {
    t.kind[tile] = static_cast<uint8_t>(kind);
    t.cls[tile] = static_cast<uint8_t>(cls);
    t.next[tile] = static_cast<uint8_t>(next);
    t.sound[tile] = static_cast<uint8_t>(sound);
  };
  // Switch blocks, timed block, breakable block.
  set(1, Empty, SwitchSingle, 35, 2);
  set(35, Solid, SwitchSingle, 1, 2);
  set(2, Empty, SwitchSingle, 34, 2);
  set(34, Solid, SwitchSingle, 2, 5);
  set(3, Empty, SwitchSingle, 48, 10);
  set(48, Solid, AnimEvery16, 49, 0);
  set(49, Solid, AnimEvery16, 50, 0);
  set(50, Solid, AnimEvery16, 51, 0);
  set(51, Solid, AnimEvery16, 3, 0);
  set(33, Solid, SwitchSingle, 0, 4);
  // Slow floor and the block it toggles with, through one-frame in-betweens.
  set(46, SlowFloor, SwitchSingle, 47, 2);
  set(47, SlowFloor, AnimEveryFrame, 62, 0);
  set(62, Solid, SwitchSingle, 63, 2);
  set(63, Solid, AnimEveryFrame, 46, 0);
  // 2 x 2 pieces: quarters top-left, top-right, bottom-left, bottom-right.
  constexpr int quarterClass[4] = {SwitchTopLeft, SwitchTopRight, SwitchBottomLeft, SwitchBottomRight};
  constexpr int quarterOffset[4] = {0, 1, 16, 17};
  for (int q = 0; q < 4; ++q) {
    int o = quarterOffset[q];
    set(4 + o, Empty, quarterClass[q], 40 + o, 2);   // switch piece, open
    set(40 + o, Solid, quarterClass[q], 4 + o, 5);   // switch piece, closed
    set(6 + o, Empty, quarterClass[q], 8 + o, 10);   // timed piece, open
    set(8 + o, Solid, AnimEvery16, 10 + o, 0);       // timed piece counting down
    set(10 + o, Solid, AnimEvery16, 12 + o, 0);
    set(12 + o, Solid, AnimEvery16, 14 + o, 0);
    set(14 + o, Solid, AnimEvery16, 6 + o, 0);
    set(38 + o, Solid, quarterClass[q], 44 + o, 4);  // breakable piece
    set(44 + o, Empty, AnimEvery16, 0, 0);           // crumbling piece
  }
  // Blinking block: closed 42, 43; open 58, 59.
  set(42, Solid, AnimEvery64, 43, 0);
  set(43, Solid, AnimEvery64, 58, 0);
  set(58, Empty, AnimEvery64, 59, 0);
  set(59, Empty, AnimEvery64, 42, 0);
  for (int wall : {32, 36, 37, 52, 53}) set(wall, Solid, Fixed, 0, 0);
  set(64, DeadlyFloor, Fixed, 0, 0);
  set(65, DeadlySide, Fixed, 0, 0);
  set(66, DeadlySide, Fixed, 0, 0);
  set(80, Star, Fixed, 0, 0);
  for (int i = 0; i < 8; ++i) set(96 + i, Lift, AnimEveryFrame, i == 7 ? 96 : 97 + i, 0);
  set(144, Goal, Fixed, 0, 0);
  set(145, Goal, Fixed, 0, 0);
  return t;
}

constexpr Catalogue catalogue = buildCatalogue();
}  // namespace

extern const std::array<uint8_t, 256> tileKind = catalogue.kind;
extern const std::array<uint8_t, 256> nextTile = catalogue.next;
extern const std::array<uint8_t, 256> tileClass = catalogue.cls;
extern const std::array<uint8_t, 256> tileSound = catalogue.sound;

TileAnimation tileAnimation;

void updateTiles() {
  TileAnimation& a = tileAnimation;
  a.phase16 = (a.phase16 + 1) % 16;
  a.phase64 = (a.phase64 + 1) % 64;
  for (int row = GridRows - 1; row >= 0; --row) {
    for (int col = 0; col < GridColumns; ++col) {
      uint8_t* cell = tileCell(row, col);
      const int t = *cell;
      const int cls = tileClass[t];
      if (cls == AnimEveryFrame) *cell = nextTile[t];
      if (cls == AnimEvery16 && a.phase16 == 0) *cell = nextTile[t];
      if (cls == AnimEvery64 && a.phase64 == 0) *cell = nextTile[t];
      // A star in the bottom row has nothing below it in the layer and stays.
      if (t == StarTile && row + 1 < GridRows && tileKind[*tileCell(row + 1, col)] == Empty) {
        *cell = 0;
        *tileCell(row + 1, col) = StarTile;
      }
    }
  }
}
