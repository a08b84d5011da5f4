// The pointer from every source: the mouse, the keyboard's arrows with Space
// and Enter, and gamepads. Whatever moves it, the frame samples the live
// pointer exactly as a mouse leaves it, so the world, the recordings and the
// replays know nothing of keys or pads.
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct PadState {
  bool connected = false;
  bool a = false;                          // held: the button
  bool faster = false, slower = false;     // the right and the left shoulder held
  int16_t leftX = 0, leftY = 0;            // the left stick
  bool operator==(const PadState&) const = default;
};

struct PointerInput {
  // The keys or a pad moved the pointer last: the mouse's position is not
  // taken again until the mouse moves.
  bool fromKeys = false;
  int mouseX = -1, mouseY = -1;  // where the mouse last was; -1 before it said
  bool mouseButton = false;
  uint8_t keysHeld = 0;          // Space, Enter and Shift down (InputKey bits)
  uint8_t keysPressing = 0;      // Space and Enter held as the button
  int subX = 0, subY = 0;        // the sticks' motion not yet a whole pixel, in 1/256
  PadState pads[SysPadSlots];
  bool operator==(const PointerInput&) const = default;
};
extern PointerInput pointerInput;

// The mouse moved to (x, y): false when it had not really moved and the keys
// keep the pointer where they put it.
bool pointerMouseMove(int x, int y);
// The mouse's button as the game's button (not while paused or to end a
// demonstration: the shell decides).
void pointerMouseButton(bool down);

// Space or Enter still held as the button: the system's repeats of it are no
// new key presses.
bool pointerKeyRepeats(uint32_t key);
// A key the pause menu took: it presses nothing when it repeats later.
void pointerKeyTaken(uint32_t key);
// The arrows, Shift, Space and Enter as the pointer's keys, when nothing else took them.
void pointerKeyDown(uint32_t key);
void pointerKeyUp(uint32_t key);
// A gamepad's connection, loss, buttons and stick (SysMsgPad* messages).
void pointerPadMessage(int message, uint32_t param);
// Another window was chosen: the keys and pads let go, as their releases
// may never arrive.
void pointerFocusLost();

// The sticks move the pointer by one frame's worth; the shell calls it just
// before the pointer is sampled.
void stepStickPointer();
