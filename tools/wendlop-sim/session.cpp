#include "session.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "app/controls.h"
#include "app/shell.h"
#include "display/display.h"
#include "flow/flow.h"
#include "music/music.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "trace.h"

namespace {

struct NamedKey {
  const char* name;
  uint32_t key;
};
// Keys by the names a script gives them; single letters and digits stand for
// themselves.
const NamedKey namedKeys[] = {
    {"escape", SysKeyEscape}, {"f12", SysKeyF12},       {"pause", SysKeyPause},
    {"enter", SysKeyEnter},   {"return", SysKeyEnter},  {"space", SysKeySpace},
    {"up", SysKeyUp},         {"down", SysKeyDown},     {"left", SysKeyLeft},
    {"right", SysKeyRight},   {"shift", SysKeyShift},   {"+", SysKeyPlus},
    {"-", SysKeyMinus},       {"=", SysKeyEquals},      {"kp+", SysKeyKeypadPlus},
    {"kp-", SysKeyKeypadMinus}, {"pageup", SysKeyPageUp}, {"pagedown", SysKeyPageDown},
    {"tab", SysKeyTab},       {"backspace", SysKeyBackspace}, {"delete", SysKeyDelete},
};

// A gamepad's buttons by SDL's names for them.
const NamedKey padButtons[] = {
    {"a", SysPadA},       {"b", SysPadB},         {"x", SysPadX},
    {"y", SysPadY},       {"back", SysPadBack},   {"start", SysPadStart},
    {"leftshoulder", SysPadLeftShoulder},         {"rightshoulder", SysPadRightShoulder},
    {"dpup", SysPadUp},   {"dpdown", SysPadDown}, {"dpleft", SysPadLeft},
    {"dpright", SysPadRight},
};

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A whole decimal number in [low, high], nothing else.
bool readWhole(const std::string& word, long low, long high, long* out) {
  if (word.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(word.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < low || value > high) return false;
  *out = value;
  return true;
}

// Frames a script may name: well beyond any game, well inside a long.
constexpr long MostFrames = 100000000;

// The pad line's words after `pad`; the script's one gamepad is slot 0.
bool padLine(const std::vector<std::string>& w, SessionInput* in, std::string* why) {
  const std::string what = lower(w[2]);
  if (w.size() == 3 && (what == "added" || what == "removed")) {
    in->padMessage = what == "added" ? SysMsgPadAdded : SysMsgPadRemoved;
    in->padParam = 0;
    return true;
  }
  if (w.size() == 4 && (what == "leftx" || what == "lefty")) {
    long value = 0;
    if (!readWhole(w[3], -32768, 32767, &value)) {
      *why = "a stick's value must be a whole number from -32768 to 32767";
      return false;
    }
    in->padMessage = SysMsgPadAxis;
    in->padParam = sysPadAxisParam(0, what == "leftx" ? SysPadLeftX : SysPadLeftY, static_cast<int>(value));
    return true;
  }
  const std::string state = w.size() == 4 ? lower(w[3]) : "";
  if (state != "down" && state != "up") {
    *why = "expected 'FRAME pad added|removed', 'FRAME pad BUTTON down|up' or 'FRAME pad leftx|lefty VALUE'";
    return false;
  }
  for (const NamedKey& b : padButtons) {
    if (what == b.name) {
      in->padMessage = state == "down" ? SysMsgPadButtonDown : SysMsgPadButtonUp;
      in->padParam = sysPadButtonParam(0, b.key);
      return true;
    }
  }
  *why = "a gamepad has no button called '" + w[2] + "'";
  return false;
}

}  // namespace

bool sessionKey(const std::string& name, uint32_t* key, bool* fullscreenKey) {
  const std::string n = lower(name);
  *fullscreenKey = false;
  if (n == "f11") {
    *fullscreenKey = true;
    *key = 0;
    return true;
  }
  for (const NamedKey& k : namedKeys) {
    if (n == k.name) {
      *key = k.key;
      return true;
    }
  }
  if (n.size() == 1 && std::isalnum(static_cast<unsigned char>(n[0]))) {
    *key = static_cast<unsigned char>(n[0]);
    return true;
  }
  return false;
}

bool parseSession(const std::string& text, std::vector<SessionInput>* out, std::string* error) {
  out->clear();
  std::istringstream lines(text);
  std::string line;
  long lastFrame = 0;
  for (int number = 1; std::getline(lines, line); ++number) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty()) continue;
    auto fail = [&](const std::string& why) {
      *error = "line " + std::to_string(number) + ": " + why;
      return false;
    };
    SessionInput in;
    in.line = number;
    if (!readWhole(w[0], 1, MostFrames, &in.frame)) return fail("the frame must be a whole number from 1");
    if (in.frame < lastFrame) return fail("frame " + w[0] + " comes before the line above");
    if (w.size() == 3 && (w[1] == "key" || w[1] == "keydown" || w[1] == "keyup")) {
      in.kind = w[1] == "key" ? SessionInput::Key : (w[1] == "keydown" ? SessionInput::KeyDown : SessionInput::KeyUp);
      std::string name = w[2];
      for (bool more = true; more && name.size() > 1;) {
        more = false;
        for (const auto& [prefix, bit] : {std::pair<const char*, uint32_t>{"ctrl+", SysModCtrl}, {"shift+", SysModShift}}) {
          if (lower(name).rfind(prefix, 0) == 0 && name.size() > std::strlen(prefix)) {
            in.modifiers |= bit;
            name = name.substr(std::strlen(prefix));
            more = true;
          }
        }
      }
      if (!sessionKey(name, &in.key, &in.fullscreenKey)) return fail("no key is called '" + w[2] + "'");
      if (in.fullscreenKey && in.kind != SessionInput::Key) return fail("F11 is only pressed whole, with 'key'");
    } else if (w.size() >= 3 && w[1] == "pad") {
      in.kind = SessionInput::Pad;
      std::string why;
      if (!padLine(w, &in, &why)) return fail(why);
    } else if (w.size() == 4) {
      long x = 0, y = 0, button = 0;
      if (!readWhole(w[1], 0, 639, &x) || !readWhole(w[2], 0, 479, &y))
        return fail("the pointer must be inside the 640 x 480 picture");
      if (!readWhole(w[3], 0, 3, &button)) return fail("the button must be 0 (none), 1 (left), 2 (middle) or 3 (right)");
      in.x = static_cast<int>(x);
      in.y = static_cast<int>(y);
      in.button = static_cast<int>(button);
    } else {
      return fail("expected 'FRAME x y button', 'FRAME key|keydown|keyup NAME' or 'FRAME pad ...'");
    }
    lastFrame = in.frame;
    out->push_back(in);
  }
  return true;
}

namespace {

std::vector<int> frameEffects;
std::vector<std::string> frameMusic;

void noteEffect(int id) { frameEffects.push_back(id); }

void noteMusic(const char* operation, const char* argument) {
  std::string call = operation;
  if (std::strcmp(operation, "load") == 0) {
    const char* file = argument ? argument : "";
    const char* slash = std::strrchr(file, '/');
    call += ":";
    call += slash ? slash + 1 : file;
  }
  frameMusic.push_back(call);
}

uint32_t packPosition(int x, int y) {
  return (static_cast<uint32_t>(x) & 0xFFFFu) | ((static_cast<uint32_t>(y) & 0xFFFFu) << 16);
}

// What the window system would send for this line, given the pointer as the
// lines before left it.
void post(const SessionInput& in, SessionInput* pointer) {
  switch (in.kind) {
    case SessionInput::Key:
      // A key pressed and let go at once, as a tap on the keyboard.
      if (in.fullscreenKey) {
        sysSetFullscreen(!sysWindowFullscreen());
      } else {
        if (in.modifiers) sysPushMessage(SysMsgKeyModifiers, in.modifiers);
        sysPushMessage(SysMsgKeyDown, in.key);
        sysPushMessage(SysMsgKeyUp, in.key);
      }
      return;
    case SessionInput::KeyDown:
      if (in.modifiers) sysPushMessage(SysMsgKeyModifiers, in.modifiers);
      sysPushMessage(SysMsgKeyDown, in.key);
      return;
    case SessionInput::KeyUp: sysPushMessage(SysMsgKeyUp, in.key); return;
    case SessionInput::Pad: sysPushMessage(in.padMessage, in.padParam); return;
    case SessionInput::Pointer: break;
  }
  const uint32_t at = packPosition(in.x, in.y);
  if (in.x != pointer->x || in.y != pointer->y) sysPushMessage(SysMsgMouseMove, at);
  if (in.button != pointer->button) {
    // One button at a time: the one held goes up before another goes down.
    if (pointer->button == 1) sysPushMessage(SysMsgButtonUp, 0);
    if (pointer->button == 2) sysPushMessage(SysMsgMiddleButtonUp, at);
    if (pointer->button == 3) sysPushMessage(SysMsgRightButtonUp, at);
    if (in.button == 1) sysPushMessage(SysMsgButtonDown, at);
    if (in.button == 2) sysPushMessage(SysMsgMiddleButtonDown, at);
    if (in.button == 3) sysPushMessage(SysMsgRightButtonDown, at);
  }
  *pointer = in;
}

void writeSessionTrace(FILE* out, long frame, int ranScene) {
  writeTraceFields(out, frame, ranScene, frameEffects);
  std::fprintf(out,
               ",\"sceneEntered\":%d,\"stageNumber\":%d,\"stagesCleared\":%d,\"selectorHold\":%d,\"dragMode\":%d,"
               "\"savedDragMode\":%d,\"demoPlayback\":%d,\"recording\":%d,\"replayIndex\":%d,\"frameDrawn\":%d,"
               "\"music\":[",
               flow.sceneEntered ? 1 : 0, flow.stageNumber, flow.stagesCleared, flow.selectorHold,
               flow.dragMode ? 1 : 0, flow.savedDragMode ? 1 : 0, flow.demoPlayback ? 1 : 0, flow.recording ? 1 : 0,
               flow.replayIndex, frameReport.drew ? 1 : 0);
  for (size_t i = 0; i < frameMusic.size(); ++i) std::fprintf(out, "%s\"%s\"", i ? "," : "", frameMusic[i].c_str());
  std::fputs("]}\n", out);
}

// The clock a frame needs to be due: the frame clock itself decides, as in
// the main loop, but nothing waits for it.
void makeNextFrameDue() {
  const uint32_t due = frameClock.frameBaseTime + 16;
  if (static_cast<int32_t>(due - sysTicks()) > 0) sysSetFakeTicks(due);
}

}  // namespace

SessionEnd runSession(const std::vector<SessionInput>& script, const SessionOptions& options) {
  SessionEnd end;
  const long last = options.frames > 0 ? options.frames : (script.empty() ? 0 : script.back().frame);
  const int canvasEvery = options.canvasEvery < 1 ? 1 : options.canvasEvery;
  playEffectObserver = noteEffect;
  musicObserver = noteMusic;
  SessionInput pointer;  // as the window starts: at its centre, no button
  pointer.x = 320;
  pointer.y = 240;
  size_t next = 0;
  for (long frame = 1; frame <= last; ++frame) {
    frameEffects.clear();
    frameMusic.clear();
    for (; next < script.size() && script[next].frame == frame; ++next) post(script[next], &pointer);
    end.frames = frame;
    if (!dispatchMessages()) {
      end.byKey = true;
      break;
    }
    if (pauseState.paused) {
      // No frame runs; the session's clock goes on, as the wall clock would.
      pausedTick();
      sysAdvanceFakeTicks(frame % 3 == 0 ? 16 : 17);
      continue;
    }
    const int ranScene = flow.scene;
    makeNextFrameDue();
    runFrame();
    if (options.trace) writeSessionTrace(options.trace, frame, ranScene);
    if (!frameReport.presented) continue;
    ++end.presented;
    if (options.canvasDir.empty() || end.canvasFailed || (end.presented - 1) % canvasEvery != 0) continue;
    char path[4096];
    std::snprintf(path, sizeof path, "%s/frame-%06ld.png", options.canvasDir.c_str(), frame);
    if (saveCanvasPicture(path)) {
      ++end.canvasesWritten;
    } else {
      end.canvasFailed = true;
    }
  }
  end.scene = flow.scene;
  playEffectObserver = nullptr;
  musicObserver = nullptr;
  return end;
}
