// The window and its messages on SDL2, and the headless message queue.
#include <SDL.h>
#include <SDL_syswm.h>
#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xatom.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "platform/platform.h"
#include "platform/sdl_window.h"
#include "platform/video.h"
#include "platform/window_fit.h"

namespace {
SDL_Window* window = nullptr;
std::deque<SysEvent> posted;  // messages the program sends itself, and headless input
bool destroyed = false;
int pictureWidth = 640, pictureHeight = 480;

int startScale = 0;  // 0: the largest that fits the screen
bool startScaleRemembered = false;
bool startFullscreen = false;
bool headlessFullscreen = false;
// The window's place and size before it went fullscreen, to go back to.
SDL_Rect windowed{SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480};

// The gamepads open, by slot; SDL names them by instance id in its events.
struct OpenPad {
  SDL_GameController* controller = nullptr;
  SDL_JoystickID id = -1;
};
OpenPad pads[SysPadSlots];
bool padsReady = false;

bool pointerHidden = false;  // the program draws its own pointer over the picture
bool cursorShown = true;     // what SDL was last told

uint32_t packPosition(int x, int y) {
  return (static_cast<uint32_t>(x) & 0xFFFFu) | ((static_cast<uint32_t>(y) & 0xFFFFu) << 16);
}

void drawableSize(int* width, int* height) {
#if SDL_VERSION_ATLEAST(2, 26, 0)
  SDL_GetWindowSizeInPixels(window, width, height);
#else
  SDL_GetWindowSize(window, width, height);
#endif
}

bool insideWindow(int x, int y) {
  int width = 0, height = 0;
  SDL_GetWindowSize(window, &width, &height);
  return x >= 0 && y >= 0 && x < width && y < height;
}

CanvasPoint toPicture(int x, int y) {
  int width = 0, height = 0, pixelWidth = 0, pixelHeight = 0;
  SDL_GetWindowSize(window, &width, &height);
  drawableSize(&pixelWidth, &pixelHeight);
  return windowToCanvas(x, y, width, height, pixelWidth, pixelHeight, pictureWidth, pictureHeight);
}

void showCursor(bool show) {
  if (show == cursorShown) return;
  SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
  cursorShown = show;
}

// The system pointer shows over the bars, where the program draws none.
void placeCursor(const CanvasPoint& point) { showCursor(!(pointerHidden && point.overPicture)); }

// After the window changed size the pointer may be over a bar or the picture
// without having moved.
void placeCursorWhereItIs() {
  if (SDL_GetMouseFocus() != window) return;
  int x = 0, y = 0;
  SDL_GetMouseState(&x, &y);
  placeCursor(toPicture(x, y));
}

// Fullscreen on X11 is the window manager's doing: SDL asks it, and without
// one the window stays as it is while SDL believes it fullscreen. A window
// manager names its own window on the root window and on that window itself,
// so that a name left behind by one that has ended does not count.
bool hasWindowManager() {
#if defined(SDL_VIDEO_DRIVER_X11)
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
  Display* x = info.info.x11.display;
  const Atom check = XInternAtom(x, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  // The window named may be gone: its error must not end the program.
  XSync(x, False);
  int (*before)(Display*, XErrorEvent*) = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  auto named = [&](::Window on) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    ::Window found = None;
    if (XGetWindowProperty(x, on, check, 0, 1, False, XA_WINDOW, &type, &format, &items, &after, &data) == Success &&
        type == XA_WINDOW && format == 32 && items == 1 && data)
      found = static_cast<::Window>(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
    return found;
  };
  const ::Window manager = named(DefaultRootWindow(x));
  const bool alive = manager != None && named(manager) == manager;
  XSync(x, False);
  XSetErrorHandler(before);
  return alive;
#else
  return true;
#endif
}

void sayNoFullscreen() {
  if (sysFirstReport("no fullscreen"))
    std::fprintf(stderr, "wendlop: no fullscreen: the X server has no window manager to make the window fullscreen\n");
}

bool isFullscreenKey(const SDL_Keysym& key) {
  if (key.sym == SDLK_F11) return true;
  return (key.sym == SDLK_RETURN || key.sym == SDLK_KP_ENTER) && (key.mod & KMOD_ALT) != 0;
}

uint32_t keyCode(SDL_Keycode key) {
  switch (key) {
    case SDLK_ESCAPE: return SysKeyEscape;
    case SDLK_F12: return SysKeyF12;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return SysKeyEnter;
    case SDLK_PAUSE: return SysKeyPause;
    case SDLK_UP: return SysKeyUp;
    case SDLK_DOWN: return SysKeyDown;
    case SDLK_LEFT: return SysKeyLeft;
    case SDLK_RIGHT: return SysKeyRight;
    case SDLK_PAGEUP: return SysKeyPageUp;
    case SDLK_PAGEDOWN: return SysKeyPageDown;
    case SDLK_KP_PLUS: return SysKeyKeypadPlus;
    case SDLK_KP_MINUS: return SysKeyKeypadMinus;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return SysKeyShift;
    default: return static_cast<uint32_t>(key) & 0xFFFFu;
  }
}

uint32_t modifierBits(Uint16 mod) {
  uint32_t bits = 0;
  if (mod & KMOD_SHIFT) bits |= SysModShift;
  if (mod & KMOD_CTRL) bits |= SysModCtrl;
  return bits;
}

int padSlot(SDL_JoystickID id) {
  for (int slot = 0; slot < SysPadSlots; ++slot)
    if (pads[slot].controller && pads[slot].id == id) return slot;
  return -1;
}

// SDL announces the pads present at start as well as those plugged in later,
// and may announce one twice.
bool openPad(int deviceIndex, SysEvent* out) {
  const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
  if (id < 0 || padSlot(id) >= 0) return false;
  int slot = 0;
  while (slot < SysPadSlots && pads[slot].controller) ++slot;
  if (slot == SysPadSlots) return false;
  SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
  if (!controller) return false;
  pads[slot] = OpenPad{controller, id};
  *out = {SysMsgPadAdded, static_cast<uint32_t>(slot)};
  return true;
}

bool closePad(SDL_JoystickID id, SysEvent* out) {
  const int slot = padSlot(id);
  if (slot < 0) return false;
  SDL_GameControllerClose(pads[slot].controller);
  pads[slot] = OpenPad{};
  *out = {SysMsgPadRemoved, static_cast<uint32_t>(slot)};
  return true;
}

bool padButton(Uint8 button, uint32_t* out) {
  switch (button) {
    case SDL_CONTROLLER_BUTTON_A: *out = SysPadA; return true;
    case SDL_CONTROLLER_BUTTON_B: *out = SysPadB; return true;
    case SDL_CONTROLLER_BUTTON_X: *out = SysPadX; return true;
    case SDL_CONTROLLER_BUTTON_Y: *out = SysPadY; return true;
    case SDL_CONTROLLER_BUTTON_BACK: *out = SysPadBack; return true;
    case SDL_CONTROLLER_BUTTON_START: *out = SysPadStart; return true;
    case SDL_CONTROLLER_BUTTON_LEFTSHOULDER: *out = SysPadLeftShoulder; return true;
    case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER: *out = SysPadRightShoulder; return true;
    case SDL_CONTROLLER_BUTTON_DPAD_UP: *out = SysPadUp; return true;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN: *out = SysPadDown; return true;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT: *out = SysPadLeft; return true;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: *out = SysPadRight; return true;
    default: return false;
  }
}

// A gamepad's event as the window's message; false for what the game ignores.
bool translatePad(const SDL_Event& e, SysEvent* out) {
  switch (e.type) {
    case SDL_CONTROLLERDEVICEADDED: return openPad(e.cdevice.which, out);
    case SDL_CONTROLLERDEVICEREMOVED: return closePad(e.cdevice.which, out);
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP: {
      const int slot = padSlot(e.cbutton.which);
      uint32_t button = 0;
      if (slot < 0 || !padButton(e.cbutton.button, &button)) return false;
      *out = {e.type == SDL_CONTROLLERBUTTONDOWN ? SysMsgPadButtonDown : SysMsgPadButtonUp,
              sysPadButtonParam(slot, button)};
      return true;
    }
    case SDL_CONTROLLERAXISMOTION: {
      const int slot = padSlot(e.caxis.which);
      if (slot < 0) return false;
      if (e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) {
        *out = {SysMsgPadAxis, sysPadAxisParam(slot, SysPadLeftX, e.caxis.value)};
      } else if (e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY) {
        *out = {SysMsgPadAxis, sysPadAxisParam(slot, SysPadLeftY, e.caxis.value)};
      } else {
        return false;
      }
      return true;
    }
    default:
      return false;
  }
}

// The mouse's messages, in picture coordinates; the right and middle buttons
// have messages of their own.
bool translateMouse(const SDL_Event& e, SysEvent* out) {
  switch (e.type) {
    // Like a window without mouse capture: moves and releases outside the
    // window never reach it, so the last position inside stays. Over the
    // bars they count at the picture's nearest edge.
    case SDL_MOUSEMOTION: {
      if (!insideWindow(e.motion.x, e.motion.y)) return false;
      const CanvasPoint point = toPicture(e.motion.x, e.motion.y);
      placeCursor(point);
      *out = {SysMsgMouseMove, packPosition(point.x, point.y)};
      return true;
    }
    case SDL_MOUSEBUTTONDOWN: {
      const CanvasPoint point = toPicture(e.button.x, e.button.y);
      const uint32_t at = packPosition(point.x, point.y);
      if (e.button.button == SDL_BUTTON_RIGHT) *out = {SysMsgRightButtonDown, at};
      else if (e.button.button == SDL_BUTTON_MIDDLE) *out = {SysMsgMiddleButtonDown, at};
      else if (e.button.button == SDL_BUTTON_LEFT) *out = {SysMsgButtonDown, at};
      else return false;
      return true;
    }
    case SDL_MOUSEBUTTONUP: {
      if (!insideWindow(e.button.x, e.button.y)) return false;
      const CanvasPoint point = toPicture(e.button.x, e.button.y);
      const uint32_t at = packPosition(point.x, point.y);
      if (e.button.button == SDL_BUTTON_RIGHT) *out = {SysMsgRightButtonUp, at};
      else if (e.button.button == SDL_BUTTON_MIDDLE) *out = {SysMsgMiddleButtonUp, at};
      else if (e.button.button == SDL_BUTTON_LEFT) *out = {SysMsgButtonUp, 0};
      else return false;
      return true;
    }
    default:
      return false;
  }
}

// Turns one SDL event into the window's message; false for events the game ignores.
bool translate(const SDL_Event& e, SysEvent* out) {
  switch (e.type) {
    case SDL_QUIT:
      if (destroyed) return false;
      destroyed = true;
      *out = {SysMsgDestroy, 0};
      return true;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
        if (destroyed) return false;
        destroyed = true;
        *out = {SysMsgDestroy, 0};
        return true;
      }
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED) {
        sysWindowExposed();
        *out = {SysMsgPaint, 0};
        return true;
      }
      // A scene showing a still picture presents nothing by itself, and the
      // new size needs its bars drawn.
      if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        placeCursorWhereItIs();
        *out = {SysMsgPaint, 0};
        return true;
      }
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        *out = {SysMsgFocusLost, 0};
        return true;
      }
      return false;
    case SDL_KEYDOWN:
      if (isFullscreenKey(e.key.keysym)) {
        if (!e.key.repeat) sysSetFullscreen(!sysWindowFullscreen());
        return false;
      }
      *out = {SysMsgKeyDown, keyCode(e.key.keysym.sym)};
      // The modifiers go first, as a message of their own, so that a key
      // pressed alone reaches the program exactly as it always has.
      if (const uint32_t mods = modifierBits(e.key.keysym.mod)) {
        posted.push_front(*out);
        *out = {SysMsgKeyModifiers, mods};
      }
      return true;
    case SDL_KEYUP:
      if (e.key.keysym.sym == SDLK_F11) return false;
      *out = {SysMsgKeyUp, keyCode(e.key.keysym.sym)};
      return true;
    case SDL_CONTROLLERDEVICEADDED:
    case SDL_CONTROLLERDEVICEREMOVED:
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
    case SDL_CONTROLLERAXISMOTION: return translatePad(e, out);
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return translateMouse(e, out);
    default:
      return false;
  }
}
}  // namespace

SDL_Window* sdlMainWindow() { return window; }

void sysSetWindowStart(int scale, bool fullscreen, bool remembered) {
  startScale = std::clamp(scale, 0, MaxWindowScale);
  startScaleRemembered = remembered;
  startFullscreen = fullscreen;
}

namespace {
// The drivers that show nothing: SDL falls back to one of them when it finds
// no display, and then the game would run unseen.
bool showsNothing(const char* driver) {
  return SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0 ||
         SDL_strcasecmp(driver, "evdev") == 0;
}

const char* setVariable(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

// A Wayland compositor's socket is named in, or found in, XDG_RUNTIME_DIR;
// without either, asking for one only makes the library complain on stderr.
bool waylandReachable() {
  const char* named = setVariable("WAYLAND_DISPLAY");
  return (named && named[0] == '/') || setVariable("XDG_RUNTIME_DIR");
}
}  // namespace

bool sysStartVideo() {
  if (sysIsHeadless() || SDL_WasInit(SDL_INIT_VIDEO)) return true;
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  // Unless SDL_VIDEODRIVER chooses, only the drivers that show a window are
  // tried, in SDL's order.
  const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  const bool chosen = asked && *asked;
  if (!chosen) {
    std::string drivers;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
      const char* driver = SDL_GetVideoDriver(i);
      if (!driver || showsNothing(driver)) continue;
      if (SDL_strcasecmp(driver, "wayland") == 0 && !waylandReachable()) continue;
      drivers += (drivers.empty() ? "" : ",") + std::string(driver);
    }
    // Over an empty SDL_VIDEODRIVER too, which asks for nothing.
    if (!drivers.empty()) SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, drivers.c_str(), SDL_HINT_OVERRIDE);
  }
  const bool started = SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0;
  // SDL_VIDEODRIVER speaks again for a later start (a test's, say).
  if (!chosen) SDL_ResetHint(SDL_HINT_VIDEODRIVER);
  if (!started) {
    const char* x = setVariable("DISPLAY");
    const char* wayland = setVariable("WAYLAND_DISPLAY");
    if (chosen) {
      std::fprintf(stderr, "wendlop: cannot open a window: %s\n", SDL_GetError());
    } else if (!x && !wayland) {
      std::fprintf(stderr, "wendlop: no display: neither DISPLAY nor WAYLAND_DISPLAY is set\n");
    } else {
      std::string names = x ? std::string("DISPLAY=") + x : "";
      if (wayland) names += std::string(x ? " or " : "") + "WAYLAND_DISPLAY=" + wayland;
      std::fprintf(stderr, "wendlop: no display: cannot connect to %s\n", names.c_str());
    }
    return false;
  }
  return true;
}

bool sysCreateWindow(const char* caption, int width, int height) {
  pictureWidth = width;
  pictureHeight = height;
  if (sysIsHeadless()) {
    headlessFullscreen = startFullscreen;
    return true;
  }
  if (!sysStartVideo()) return false;
  // The window opens centred on the first display, so that display's free
  // area (without panels and docks) decides its size. The frame is not known
  // before the window is shown; an allowance stands in for it.
  SDL_Rect usable{0, 0, 0, 0};
  const bool screenKnown = SDL_GetDisplayUsableBounds(0, &usable) == 0;
  FirstWindow first;
  if (screenKnown) {
    first = chooseFirstWindow(startScale, startScaleRemembered, usable.w, usable.h, FrameAllowanceWidth,
                              FrameAllowanceHeight, width, height);
  } else {
    first.scale = std::max(startScale, 1);
  }
  windowed = SDL_Rect{SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width * first.scale, height * first.scale};
  if (first.lowered) {
    std::fprintf(stderr, "wendlop: the window's scale %d of the settings does not fit this screen (%d x %d free); "
                         "it opens at %d\n", startScale, usable.w, usable.h, first.scale);
  }
  if (first.tooLarge) {
    // Centred, a window larger than the screen would have its title bar
    // above it, out of reach.
    windowed.x = usable.x;
    windowed.y = usable.y;
    std::fprintf(stderr, "wendlop: --scale %d makes a window of %d x %d, larger than this screen (%d x %d free)\n",
                 startScale, windowed.w, windowed.h, usable.w, usable.h);
  }
  // High-DPI: the window is measured in the desktop's points, and the picture
  // is scaled by its size in pixels, so a desktop at 2x gets sharp pixels.
  Uint32 flags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
  if (startFullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  window = SDL_CreateWindow(caption, windowed.x, windowed.y, windowed.w, windowed.h, flags);
  if (!window) {
    std::fprintf(stderr, "wendlop: cannot open a window: %s\n", SDL_GetError());
    return false;
  }
  SDL_SetWindowMinimumSize(window, width, height);
  // Gamepads are a convenience: without them the game is played as ever.
  padsReady = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
  if (!padsReady) std::fprintf(stderr, "wendlop: no gamepads: %s\n", SDL_GetError());
  if (startFullscreen && !hasWindowManager()) {
    sayNoFullscreen();
    SDL_SetWindowFullscreen(window, 0);
  }
  return true;
}

void sysSetFullscreen(bool on) {
  if (!window) {
    headlessFullscreen = on;
    return;
  }
  if (on == sysWindowFullscreen()) return;
  if (on && !hasWindowManager()) {
    sayNoFullscreen();
    return;
  }
  if (on) {
    SDL_GetWindowPosition(window, &windowed.x, &windowed.y);
    SDL_GetWindowSize(window, &windowed.w, &windowed.h);
  }
  if (SDL_SetWindowFullscreen(window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) return;
  // Not every video driver or window manager puts the window back by itself.
  if (!on) {
    SDL_SetWindowSize(window, windowed.w, windowed.h);
    SDL_SetWindowPosition(window, windowed.x, windowed.y);
  }
  placeCursorWhereItIs();
}

bool sysWindowFullscreen() {
  if (!window) return headlessFullscreen;
  return (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0;
}

int sysWindowScale() {
  int width = windowed.w, height = windowed.h;
  if (!window) {
    if (startScale > 0) return startScale;
  } else if (!sysWindowFullscreen()) {
    SDL_GetWindowSize(window, &width, &height);
  }
  if (pictureWidth <= 0 || pictureHeight <= 0) return 1;
  return std::clamp(std::min(width / pictureWidth, height / pictureHeight), 1, MaxWindowScale);
}

void sysHidePointer() {
  pointerHidden = true;
  if (window) showCursor(false);
}

bool sysPeekMessage(SysEvent* event) {
  if (!posted.empty()) {
    *event = posted.front();
    posted.pop_front();
    return true;
  }
  if (!window) return false;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    if (translate(e, event)) return true;
  }
  return false;
}

void sysWaitMessage(uint32_t ms) {
  if (!posted.empty() || ms == 0) return;
  if (!window) {
    sysSleep(ms);
    return;
  }
  // Leaves the event in SDL's queue for sysPeekMessage.
  SDL_WaitEventTimeout(nullptr, static_cast<int>(ms));
}

void sysPostQuit(int code) { posted.push_back({SysMsgQuit, static_cast<uint32_t>(code)}); }

void sysDestroyWindow() {
  if (destroyed) return;
  destroyed = true;
  // The window disappears at once; its resources go at shut-down, after the
  // display that draws into it.
  if (window) SDL_HideWindow(window);
  posted.push_back({SysMsgDestroy, 0});
}

bool sysShiftHeld() {
  if (!window) return false;
  SDL_PumpEvents();
  return (SDL_GetModState() & KMOD_SHIFT) != 0;
}

void sysSetWindowIcon(const uint32_t* rgba, int width, int height) {
  if (!window || !rgba) return;
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(rgba), width, height, 32,
                                                         width * 4, SDL_PIXELFORMAT_RGBA32);
  if (!icon) return;
  SDL_SetWindowIcon(window, icon);
  SDL_FreeSurface(icon);
}

void sysPushMessage(int message, uint32_t param) { posted.push_back({message, param}); }

void sysShutdownWindow() {
  for (OpenPad& pad : pads) {
    if (pad.controller) SDL_GameControllerClose(pad.controller);
    pad = OpenPad{};
  }
  if (padsReady) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  padsReady = false;
  if (window) {
    SDL_DestroyWindow(window);
    window = nullptr;
  }
  posted.clear();
  destroyed = false;
  pointerHidden = false;
  cursorShown = true;
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}
