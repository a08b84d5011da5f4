// The system services the game needs: clock, files, window messages, keyboard.
// Everything outside src/platform/ reaches SDL, the file system and the clocks
// only through the sys* procedures declared in this folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---- Headless mode -------------------------------------------------------
// Tests and tools run the game without a window, audio device or real clock.
// Set before anything else is started; it holds for the rest of the process.
void sysSetHeadless(bool headless);
bool sysIsHeadless();

// ---- Clock ---------------------------------------------------------------
// Millisecond tick count, unsigned 32-bit, wrapping after 49.7 days.
uint32_t sysTicks();
void sysSleep(uint32_t ms);
// Headless only: the tick count is whatever the test sets.
void sysSetFakeTicks(uint32_t ticks);
void sysAdvanceFakeTicks(uint32_t ms);

// ---- Files (paths relative to the working folder, '/' separated) ---------
// Reads at most `capacity` bytes of a whole file; -1 when it cannot be opened.
long sysReadFile(const char* path, void* buffer, size_t capacity);
// Reads the file at `path` into `bytes`: all of it, or only its first `limit`
// bytes when it is longer, so that no file can make a reader allocate more
// than it allows. Otherwise `why` ends a sentence that starts with the path:
// "is missing", "cannot be read (Permission denied)", "is a folder", ...
enum SysReadResult { SysReadOk = 0, SysReadMissing, SysReadFailed };
SysReadResult sysReadWholeFile(const char* path, size_t limit, std::vector<uint8_t>* bytes, std::string* why);
// Writes to the temporary file `path`.tmp and renames it over `path`, creating
// missing folders first, so that a crash never leaves a half-written file and
// never more than that one temporary file. On failure `why`, when given, ends a
// sentence that starts with the path and carries the system's reason.
bool sysWriteFileAtomic(const char* path, const void* data, size_t n, std::string* why = nullptr);
// True the first time it is asked about `key` in this run, false after: a file
// that fails at every stage start is named on stderr once, not every time.
bool sysFirstReport(const std::string& key);
bool sysIsDirectory(const char* path);
// Removes a file; true when it is gone (also when it was never there).
bool sysRemoveFile(const char* path);
// The names of the entries of a folder, sorted, without "." and ".."; empty
// when it cannot be read.
std::vector<std::string> sysListFolder(const char* path);
bool sysChangeDirectory(const char* path);
// `path` made absolute against the current working folder (it need not exist).
std::string sysAbsolutePath(const char* path);
// Environment variable, or nullptr.
const char* sysGetEnv(const char* name);

// ---- Window and its messages ---------------------------------------------
enum SysMessage {
  SysMsgNone = 0,
  SysMsgQuit,        // the quit message: ends the main loop
  SysMsgDestroy,     // the window is being destroyed (close control, or sysDestroyWindow)
  SysMsgPaint,       // part of the window must be shown again (expose)
  SysMsgKeyDown,     // param: key code, 27 Escape, 123 F12, others as given
  SysMsgMouseMove,   // param: x in the low 16 bits, y in the high 16 bits
  SysMsgButtonDown,  // left button; param as for a move
  SysMsgButtonUp,    // left button; no position
  SysMsgFocusLost,   // the window no longer has the keyboard (another window was chosen)
  SysMsgKeyUp,       // param: key code as for SysMsgKeyDown; the system's repeats come as more key-downs
  SysMsgPadAdded,    // a gamepad was connected; param: its slot (see below)
  SysMsgPadRemoved,  // param: the slot of the gamepad lost
  SysMsgPadButtonDown,  // param: sysPadButtonParam(slot, SysPadButton)
  SysMsgPadButtonUp,    // as for the button going down
  SysMsgPadAxis,        // param: sysPadAxisParam(slot, SysPadAxis, value from -32768 to 32767)
  // Sent just before a SysMsgKeyDown whose key was pressed with Shift or Ctrl
  // held (param: SysMod* bits); keys pressed alone come without it.
  SysMsgKeyModifiers,
  SysMsgRightButtonDown,   // param: position, as for a move
  SysMsgRightButtonUp,     // param: position, as for a move
  SysMsgMiddleButtonDown,  // param: position, as for a move
  SysMsgMiddleButtonUp,    // param: position, as for a move
};
enum SysModifier : uint32_t {
  SysModShift = 1,
  SysModCtrl = 2,
};
struct SysEvent {
  int message;
  uint32_t param;
};
// Key codes: characters as themselves (lower case), the others as below.
enum SysKey : uint32_t {
  SysKeyBackspace = 8,
  SysKeyTab = 9,
  SysKeyDelete = 127,
  SysKeyEnter = 13,  // either Enter key
  SysKeyEscape = 27,
  SysKeySpace = 32,
  SysKeyPlus = 43,
  SysKeyMinus = 45,
  SysKeyEquals = 61,  // the unshifted '+' key of most layouts
  SysKeyF12 = 123,
  SysKeyPause = 0x10001,
  SysKeyUp = 0x10002,
  SysKeyDown = 0x10003,
  SysKeyKeypadPlus = 0x10004,
  SysKeyKeypadMinus = 0x10005,
  SysKeyLeft = 0x10006,
  SysKeyRight = 0x10007,
  SysKeyShift = 0x10008,  // either Shift key
  SysKeyPageUp = 0x10009,
  SysKeyPageDown = 0x1000A,
};

// Gamepads, whatever their make, as the common layout of four face buttons
// (A at the bottom), a d-pad, two shoulders, Back and Start. Each connected
// pad has a slot, 0 to SysPadSlots - 1, from its connection until it is lost;
// a slot freed may be given to the next pad connected.
enum { SysPadSlots = 16 };
enum SysPadButton : uint32_t {
  SysPadA = 0,
  SysPadB,
  SysPadX,
  SysPadY,
  SysPadBack,
  SysPadStart,
  SysPadLeftShoulder,
  SysPadRightShoulder,
  SysPadUp,
  SysPadDown,
  SysPadLeft,
  SysPadRight,
};
enum SysPadAxis : uint32_t {
  SysPadLeftX = 0,  // -32768 left .. 32767 right
  SysPadLeftY = 1,  // -32768 up .. 32767 down
};
constexpr uint32_t sysPadButtonParam(int slot, uint32_t button) {
  return (static_cast<uint32_t>(slot) & 0xFFu) << 24 | (button & 0xFFu);
}
constexpr uint32_t sysPadAxisParam(int slot, uint32_t axis, int value) {
  return (static_cast<uint32_t>(slot) & 0xFFu) << 24 | (axis & 0xFFu) << 16 | (static_cast<uint32_t>(value) & 0xFFFFu);
}
constexpr int sysPadSlotOf(uint32_t param) { return static_cast<int>(param >> 24); }
constexpr uint32_t sysPadButtonOf(uint32_t param) { return param & 0xFFu; }
constexpr uint32_t sysPadAxisOf(uint32_t param) { return (param >> 16) & 0xFFu; }
constexpr int sysPadValueOf(uint32_t param) { return static_cast<int16_t>(param & 0xFFFFu); }

// Starts the window system. Without a display to show a window on it says so
// in one line on stderr and fails, rather than let SDL fall back to a driver
// that shows nothing; such a driver counts only when SDL_VIDEODRIVER names it.
// sysCreateWindow starts it when it has not been started.
bool sysStartVideo();
// Creates the window for a picture of width x height. It opens at a whole
// multiple of that size (see sysSetWindowStart), the user may resize it down
// to width x height, and the picture is drawn at the largest whole multiple
// that fits, centred between black bars. Pointer positions reach the program
// in picture pixels; over the bars they are clamped to the picture's edge.
// F11 and Alt+Enter switch between the window and fullscreen and never reach
// the program as key messages.
bool sysCreateWindow(const char* caption, int width, int height);
// How sysCreateWindow opens the window: scale 1 to 8 at that multiple of the
// picture, 0 at the largest that fits the screen's usable area with the
// window's frame; fullscreen opens it fullscreen, and leaving fullscreen then
// gives the window that the scale says. A scale that does not fit is kept,
// with a line on stderr, and the window opens at the screen's top-left
// corner; a remembered one (from the settings) is lowered to what fits, with
// a line. Fullscreen without a window manager to grant it stays a window,
// with a line.
void sysSetWindowStart(int scale, bool fullscreen, bool remembered = false);
// Fullscreen on the desktop's own mode, or back to the window's size and place
// from before. Headless this only records the choice.
void sysSetFullscreen(bool on);
bool sysWindowFullscreen();
// The window's size as a window (while fullscreen, the one it goes back to) as
// the largest whole multiple of the picture it holds, 1 to 8: the scale that
// opens the same window again.
int sysWindowScale();
// Hides the system pointer while it is over the picture (the program draws its
// own there); over the bars it stays visible.
void sysHidePointer();
// Takes the next waiting message off the queue; false when none waits.
bool sysPeekMessage(SysEvent* event);
// Waits until a message may be waiting or `ms` milliseconds have passed,
// whichever comes first; in headless mode it returns at once.
void sysWaitMessage(uint32_t ms);
void sysPostQuit(int code);
void sysDestroyWindow();
bool sysShiftHeld();
// Sets the window icon from pixels of 4 bytes in memory order red, green,
// blue, alpha (no effect headless).
void sysSetWindowIcon(const uint32_t* rgba, int width, int height);
// Headless only: queue a message as if the window system had sent it.
void sysPushMessage(int message, uint32_t param);
// Releases the window and the video system at shut-down.
void sysShutdownWindow();

// ---- Folders --------------------------------------------------------------
// The game's data folder: $WENDLOP_DATA, else the installed one beside the
// program (a build folder links it to the source tree's data/). nullptr when
// there is none, or when the folder found is not the game's (it has no map/
// and bmp/); `problem`, if given, then says so in words for the player,
// where it looked or what it found.
const char* sysFindDataFolder(std::string* problem = nullptr);
// The user's own data folder ($XDG_DATA_HOME/wendlop or ~/.local/share/wendlop),
// nullptr when neither variable says where it is.
const char* sysUserDataFolder();
// The user's settings folder ($XDG_CONFIG_HOME/wendlop or ~/.config/wendlop),
// nullptr when neither variable says where it is.
const char* sysUserConfigFolder();

// ---- Folder trees ---------------------------------------------------------
// What a folder holds, without following links: an entry that is neither a
// plain file nor a folder (a link, a device, a pipe) is said to be `other`.
struct SysFolderEntry {
  std::string name;
  enum Kind { File, Folder, Other } kind = Other;
  uint64_t size = 0;  // of a file
};
// The entries of `path` but "." and "..", sorted by name; false with the
// system's reason when it cannot be read.
bool sysListFolder(const char* path, std::vector<SysFolderEntry>* entries, std::string* why);
// Makes `folder` and every missing folder above it; false, with errno saying
// why, when one cannot be made or a file stands in the way.
bool sysMakeFolders(const std::string& folder);
// True when something (a link too) stands at `path`.
bool sysPathExists(const char* path);
// A new empty folder "PARENT/PREFIXxxxxxx" (the parent made first when
// missing); "" with the reason in `why` when it cannot be made.
std::string sysMakeTempFolder(const char* parent, const char* prefix, std::string* why);
// Renames `from` to `to` when nothing stands at `to` (a folder is never
// merged into another); false with the reason.
bool sysRenameNew(const char* from, const char* to, std::string* why);
// Removes `path` and, for a folder, all it holds (links are removed, never
// followed); true when nothing is left of it.
bool sysRemoveTree(const char* path);
