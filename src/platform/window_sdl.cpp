// The window and its messages on SDL2, and the headless message queue.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <deque>

#include "platform/platform.h"
#include "platform/video.h"
#include "platform/window_fit.h"

namespace {
SDL_Window* window = nullptr;
std::deque<SysEvent> posted;  // messages the program sends itself, and headless input
bool destroyed = false;
int pictureWidth = 640, pictureHeight = 480;

int startScale = 0;  // 0: the largest that fits the screen
bool startFullscreen = false;
bool headlessFullscreen = false;
// The window's place and size before it went fullscreen, to go back to.
SDL_Rect windowed{SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480};

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
    case SDLK_KP_PLUS: return SysKeyKeypadPlus;
    case SDLK_KP_MINUS: return SysKeyKeypadMinus;
    default: return static_cast<uint32_t>(key) & 0xFFFFu;
  }
}

uint32_t modifierBits(Uint16 mod) {
  uint32_t bits = 0;
  if (mod & KMOD_SHIFT) bits |= SysModShift;
  if (mod & KMOD_CTRL) bits |= SysModCtrl;
  return bits;
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
}  // namespace

SDL_Window* sysSdlWindow() { return window; }

void sysSetWindowStart(int scale, bool fullscreen) {
  startScale = std::clamp(scale, 0, MaxWindowScale);
  startFullscreen = fullscreen;
}

bool sysCreateWindow(const char* caption, int width, int height) {
  pictureWidth = width;
  pictureHeight = height;
  if (sysIsHeadless()) {
    headlessFullscreen = startFullscreen;
    return true;
  }
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    std::fprintf(stderr, "wendlop: cannot open a window: %s\n", SDL_GetError());
    return false;
  }
  // The window opens centred on the first display, so that display's free
  // area (without panels and docks) decides its size. The frame is not known
  // before the window is shown; an allowance stands in for it.
  int scale = startScale;
  if (scale < 1) {
    SDL_Rect usable;
    scale = SDL_GetDisplayUsableBounds(0, &usable) == 0
                ? firstWindowScale(usable.w, usable.h, FrameAllowanceWidth, FrameAllowanceHeight, width, height)
                : 1;
  }
  windowed = SDL_Rect{SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width * scale, height * scale};
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
  return true;
}

void sysSetFullscreen(bool on) {
  if (!window) {
    headlessFullscreen = on;
    return;
  }
  if (on == sysWindowFullscreen()) return;
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
