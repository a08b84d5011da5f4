// A whole game from start-up, driven by a script of input changes: the input
// format, and running it frame after frame through the game's own main loop
// with a clock that never waits.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One line of a session script. Frames count from 1, the first frame the
// frame clock lets through; a line acts before its frame runs.
struct SessionInput {
  // Key: pressed and let go in this frame; KeyDown, KeyUp: one of the two.
  // Pad: one gamepad's message (connected, lost, a button, the left stick).
  enum Kind { Pointer, Key, KeyDown, KeyUp, Pad };
  long frame = 0;
  Kind kind = Pointer;
  // Pointer: from this frame on, until the next pointer line; the button held
  // is 0 none, 1 left, 2 middle, 3 right.
  int x = 0, y = 0, button = 0;
  uint32_t key = 0;              // the keys' code
  uint32_t modifiers = 0;        // Key, KeyDown: SysMod bits held with it ("ctrl+z", "shift+s")
  bool fullscreenKey = false;    // Key: F11, which the window system keeps to itself
  int padMessage = 0;            // Pad: the message and its parameter
  uint32_t padParam = 0;
  int line = 0;                  // in the script, for messages
};

// Reads a script: `FRAME x y button`, `FRAME key NAME`, `FRAME keydown NAME`,
// `FRAME keyup NAME` (NAME may start with `ctrl+` and `shift+`), `FRAME pad
// added|removed`, `FRAME pad BUTTON down|up`, `FRAME pad leftx|lefty VALUE`,
// `#` comments, blank lines. Lines must not go back in frames. False with
// "line N: why" in *error.
bool parseSession(const std::string& text, std::vector<SessionInput>* out, std::string* error);

// The key code a name stands for (Escape, F12, P, M, +, -, Enter, ...); false
// for a name the game has no key for.
bool sessionKey(const std::string& name, uint32_t* key, bool* fullscreenKey);

struct SessionOptions {
  long frames = 0;  // the last frame to run; 0: the script's last frame
  FILE* trace = nullptr;
  std::string canvasDir;  // empty: no pictures
  int canvasEvery = 1;
};

struct SessionEnd {
  long frames = 0;      // frames of the session's clock that passed
  int scene = 0;        // the scene at the end
  bool byKey = false;   // a key closed the program; else the frame limit ended it
  long presented = 0;   // pictures that went to the window
  long canvasesWritten = 0;
  bool canvasFailed = false;
};

// Runs a game already started (startGame) through the script.
SessionEnd runSession(const std::vector<SessionInput>& script, const SessionOptions& options);
