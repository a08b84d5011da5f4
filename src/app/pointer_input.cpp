// The mouse, the keys and the gamepads made into one live pointer.
#include "app/pointer_input.h"

#include "app/controls.h"
#include "app/pointer_moves.h"
#include "app/settings.h"
#include "app/shell.h"
#include "display/surface.h"

PointerInput pointerInput;

namespace {
enum InputKey : uint8_t { KeySpace = 1, KeyEnter = 2, KeyShift = 4 };

uint8_t keyBit(uint32_t key) {
  switch (key) {
    case SysKeySpace: return KeySpace;
    case SysKeyEnter: return KeyEnter;
    case SysKeyShift: return KeyShift;
    default: return 0;
  }
}

bool anyPadPressing() {
  for (const PadState& pad : pointerInput.pads)
    if (pad.a) return true;
  return false;
}

bool keysOrPadsPressing() { return pointerInput.keysPressing != 0 || anyPadPressing(); }

// The button is down while anything holds it. Going down from up is a press,
// counted even when it is let go again within the frame; going up is a
// release, sampled even when it is pressed again within the frame.
void updateButton() {
  const bool down = pointerInput.mouseButton || keysOrPadsPressing();
  if (down && !livePointer.liveButton) livePointer.liveClickPending = true;
  if (!down && livePointer.liveButton) livePointer.liveReleasePending = true;
  livePointer.liveButton = down;
}

void placePointer(const PointerPoint& to) {
  livePointer.liveX = to.x;
  livePointer.liveY = to.y;
  pointerInput.fromKeys = true;
  pointerInput.subX = pointerInput.subY = 0;
}

// One arrow: a pixel when `fine`, else on the title to the next item, and in
// a stage to the next cell's centre.
void stepPointer(int dx, int dy, bool fine) {
  const int x = livePointer.liveX, y = livePointer.liveY;
  if (fine) {
    placePointer(pixelStep(x, y, dx, dy));
  } else if (flow.scene == Title) {
    // The first arrow after the mouse always starts from [START].
    const TitleItem* from = pointerInput.fromKeys ? titleTargetAt(x, y) : nullptr;
    const TitleItem* to = from ? titleStep(from, dx, dy) : titleStep(nullptr, 0, 0);
    if (to) placePointer(titleItemCentre(*to));
  } else {
    placePointer(cellStep(x, y, dx, dy));
  }
}

bool arrow(uint32_t key, int* dx, int* dy) {
  *dx = *dy = 0;
  switch (key) {
    case SysKeyLeft: *dx = -1; return true;
    case SysKeyRight: *dx = 1; return true;
    case SysKeyUp: *dy = -1; return true;
    case SysKeyDown: *dy = 1; return true;
    default: return false;
  }
}

bool padArrow(uint32_t button, int* dx, int* dy) {
  switch (button) {
    case SysPadLeft: return arrow(SysKeyLeft, dx, dy);
    case SysPadRight: return arrow(SysKeyRight, dx, dy);
    case SysPadUp: return arrow(SysKeyUp, dx, dy);
    case SysPadDown: return arrow(SysKeyDown, dx, dy);
    default: return false;
  }
}

// While paused the pad speaks the pause menu's keys: the d-pad up and down,
// A chooses, B and Start go on.
void padButtonWhilePaused(uint32_t button) {
  switch (button) {
    case SysPadUp: controlKey(SysKeyUp); break;
    case SysPadDown: controlKey(SysKeyDown); break;
    case SysPadA: controlKey(SysKeyEnter); break;
    case SysPadB: controlKey(SysKeyEscape); break;
    case SysPadStart: controlKey(SysKeyPause); break;
    default: break;
  }
}

void padButtonDown(PadState& pad, uint32_t button) {
  if (pauseState.paused) {
    padButtonWhilePaused(button);
    return;
  }
  int dx = 0, dy = 0;
  switch (button) {
    case SysPadA:
      if (pad.a || endDemonstrationByPress()) break;
      pad.a = true;
      updateButton();
      break;
    // Escape's work in a stage (the menu, the end of a demonstration), but
    // never on the title, where Escape would close the game unasked.
    case SysPadB:
      if (flow.scene != Title) controlKey(SysKeyEscape);
      break;
    case SysPadStart: controlKey(SysKeyPause); break;
    case SysPadLeftShoulder: pad.slower = true; break;
    case SysPadRightShoulder: pad.faster = true; break;
    default:
      if (padArrow(button, &dx, &dy)) stepPointer(dx, dy, pad.slower);
      break;
  }
}

void padButtonUp(PadState& pad, uint32_t button) {
  switch (button) {
    case SysPadA:
      pad.a = false;
      updateButton();
      break;
    case SysPadLeftShoulder: pad.slower = false; break;
    case SysPadRightShoulder: pad.faster = false; break;
    default: break;
  }
}

int moveOn(int position, int* sub, int limit) {
  const int whole = *sub / SubPixels;  // toward zero: the rest waits for the next frame
  *sub -= whole * SubPixels;
  const int to = position + whole;
  if (to < 0 || to > limit) *sub = 0;  // pushed against the edge
  return to < 0 ? 0 : (to > limit ? limit : to);
}
}  // namespace

bool pointerMouseMove(int x, int y) {
  PointerInput& in = pointerInput;
  if (in.fromKeys && x == in.mouseX && y == in.mouseY) return false;
  in.fromKeys = false;
  in.mouseX = x;
  in.mouseY = y;
  livePointer.liveX = x;
  livePointer.liveY = y;
  return true;
}

void pointerMouseButton(bool down) {
  pointerInput.mouseButton = down;
  if (down) {
    livePointer.liveButton = true;
    livePointer.liveClickPending = true;
  } else if (!keysOrPadsPressing()) {
    livePointer.liveButton = false;
    livePointer.liveReleasePending = true;
  }
}

bool pointerKeyRepeats(uint32_t key) { return (pointerInput.keysPressing & keyBit(key)) != 0; }

void pointerKeyTaken(uint32_t key) { pointerInput.keysHeld |= keyBit(key) & (KeySpace | KeyEnter); }

void pointerKeyDown(uint32_t key) {
  PointerInput& in = pointerInput;
  const uint8_t bit = keyBit(key);
  if (bit == KeyShift) {
    in.keysHeld |= KeyShift;
    return;
  }
  if (bit) {
    // Still down since the menu took it, or since it ended a demonstration.
    if (in.keysHeld & bit) return;
    in.keysHeld |= bit;
    if (pauseState.paused || endDemonstrationByPress()) return;
    in.keysPressing |= bit;
    updateButton();
    return;
  }
  int dx = 0, dy = 0;
  if (!pauseState.paused && arrow(key, &dx, &dy)) stepPointer(dx, dy, (in.keysHeld & KeyShift) != 0);
}

void pointerKeyUp(uint32_t key) {
  PointerInput& in = pointerInput;
  const uint8_t bit = keyBit(key);
  if (!bit) return;
  in.keysHeld &= static_cast<uint8_t>(~bit);
  if (in.keysPressing & bit) {
    in.keysPressing &= static_cast<uint8_t>(~bit);
    updateButton();
  }
}

void pointerPadMessage(int message, uint32_t param) {
  const int slot = message == SysMsgPadAdded || message == SysMsgPadRemoved ? static_cast<int>(param)
                                                                             : sysPadSlotOf(param);
  if (slot < 0 || slot >= SysPadSlots) return;
  PadState& pad = pointerInput.pads[slot];
  switch (message) {
    case SysMsgPadAdded:
      pad = PadState{};
      pad.connected = true;
      showNotice("GAMEPAD CONNECTED");
      break;
    case SysMsgPadRemoved:
      // A pad pulled out while A is held lets go of the button.
      pad = PadState{};
      updateButton();
      showNotice("GAMEPAD DISCONNECTED");
      break;
    case SysMsgPadButtonDown:
      pad.connected = true;
      padButtonDown(pad, sysPadButtonOf(param));
      break;
    case SysMsgPadButtonUp:
      pad.connected = true;
      padButtonUp(pad, sysPadButtonOf(param));
      break;
    case SysMsgPadAxis:
      pad.connected = true;
      if (sysPadAxisOf(param) == SysPadLeftX) pad.leftX = static_cast<int16_t>(sysPadValueOf(param));
      if (sysPadAxisOf(param) == SysPadLeftY) pad.leftY = static_cast<int16_t>(sysPadValueOf(param));
      break;
    default: break;
  }
}

void pointerFocusLost() {
  PointerInput& in = pointerInput;
  in.keysHeld = 0;
  in.keysPressing = 0;
  for (PadState& pad : in.pads) {
    const bool connected = pad.connected;
    pad = PadState{};
    pad.connected = connected;
  }
  updateButton();
}

void stepStickPointer() {
  PointerInput& in = pointerInput;
  int dx = 0, dy = 0;
  for (const PadState& pad : in.pads) {
    if (!pad.connected || (pad.leftX == 0 && pad.leftY == 0)) continue;
    const StickGear gear = pad.faster ? GearFast : (pad.slower ? GearSlow : GearNormal);
    const PointerPoint motion = stickMotion(pad.leftX, pad.leftY, settings.stickDeadZone, settings.pointerSpeed, gear);
    dx += motion.x;
    dy += motion.y;
  }
  if (dx == 0 && dy == 0) {
    in.subX = in.subY = 0;
    return;
  }
  in.subX += dx;
  in.subY += dy;
  const int x = moveOn(livePointer.liveX, &in.subX, CanvasWidth - 1);
  const int y = moveOn(livePointer.liveY, &in.subY, CanvasHeight - 1);
  if (x == livePointer.liveX && y == livePointer.liveY) return;
  livePointer.liveX = x;
  livePointer.liveY = y;
  in.fromKeys = true;
}
