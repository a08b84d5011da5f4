// Settings in an INI file, read with inih and written whole.
#include "app/settings.h"

#include <ini.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

Settings settings;

namespace {
// The file and what this run found out about it.
struct SettingsFile {
  std::string path;         // "" for nowhere
  bool unreadable = false;  // there, but could not be read: never written over
  bool toldNotSaved = false;
};
SettingsFile settingsFile;
constexpr size_t MaxSettingsFile = 64 * 1024;  // a settings file is a few hundred bytes
constexpr int MinPointerSpeed = 60, MaxPointerSpeed = 6000;
constexpr int MaxStickDeadZone = 90;  // beyond it the stick would hardly move the pointer at all

struct Parse {
  Settings* out;
  std::vector<std::string> problems;
  bool sawMuted = false;
};


// inih takes a section header without its ']' for a line that is no setting
// and files the settings below it under the section before. Each such header
// is named here, and closed in the text that inih reads, so that what follows
// it counts where the player meant it to.
std::string closeSectionHeaders(const std::string& text, std::vector<std::string>* problems) {
  std::string closed;
  size_t start = 0;
  for (int line = 1; start < text.size(); ++line) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string row = text.substr(start, end - start);
    size_t at = 0;
    if (line == 1 && row.compare(0, 3, "\xEF\xBB\xBF") == 0) at = 3;
    // An indented line continues the value above it, for inih.
    if (at < row.size() && row[at] == '[' && row.find(']', at) == std::string::npos) {
      const size_t comment = std::min(row.find(';', at), row.size());
      std::string name = row.substr(at + 1, comment - at - 1);
      while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
      problems->push_back("line " + std::to_string(line) + ": the section header [" + printable(name) +
                          " has no closing ]");
      row = row.substr(0, at) + "[" + name + "]";
    }
    closed += row;
    if (end < text.size()) closed += '\n';
    start = end + 1;
  }
  return closed;
}

bool readSwitch(const char* value, bool* out) {
  if (!std::strcmp(value, "on") || !std::strcmp(value, "true") || !std::strcmp(value, "yes") ||
      !std::strcmp(value, "1")) {
    *out = true;
    return true;
  }
  if (!std::strcmp(value, "off") || !std::strcmp(value, "false") || !std::strcmp(value, "no") ||
      !std::strcmp(value, "0")) {
    *out = false;
    return true;
  }
  return false;
}

bool readNumber(const char* value, int low, int high, int* out) {
  char* end = nullptr;
  const long n = std::strtol(value, &end, 10);
  if (end == value || *end != '\0' || n < low || n > high) return false;
  *out = static_cast<int>(n);
  return true;
}

int onSetting(void* user, const char* section, const char* name, const char* value) {
  Parse& p = *static_cast<Parse*>(user);
  Settings& s = *p.out;
  const std::string key = std::string(section) + "." + name;
  bool ok = true;
  if (key == "game.drag") {
    ok = readSwitch(value, &s.drag);
  } else if (key == "game.last-stage") {
    ok = readNumber(value, 1, 50, &s.lastStage);
  } else if (key == "game.pause-on-focus-loss") {
    ok = readSwitch(value, &s.pauseOnFocusLoss);
  } else if (key == "window.scale") {
    ok = readNumber(value, 0, 8, &s.scale);
  } else if (key == "window.fullscreen") {
    ok = readSwitch(value, &s.fullscreen);
  } else if (key == "sound.master-volume") {
    ok = readNumber(value, 0, 100, &s.masterVolume);
  } else if (key == "sound.music-volume") {
    ok = readNumber(value, 0, 100, &s.musicVolume);
  } else if (key == "sound.effects-volume") {
    ok = readNumber(value, 0, 100, &s.effectsVolume);
  } else if (key == "sound.muted") {
    p.sawMuted = true;
    ok = readSwitch(value, &s.muted);
  } else if (key == "input.pointer-speed") {
    ok = readNumber(value, MinPointerSpeed, MaxPointerSpeed, &s.pointerSpeed);
  } else if (key == "input.stick-dead-zone") {
    ok = readNumber(value, 0, MaxStickDeadZone, &s.stickDeadZone);
  } else {
    p.problems.push_back("no setting " + printable(key));
    return 1;
  }
  if (!ok) p.problems.push_back(printable(key) + " = " + printable(value) + " is not a value it takes");
  return 1;
}
}  // namespace

std::string printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  return out;
}

void parseSettings(const std::string& text, Settings* out, std::string* problems) {
  *out = Settings{};
  Parse p{out, {}};
  // inih reads up to the first NUL: a file with one stops there, and says so.
  const std::string read = closeSectionHeaders(text.substr(0, text.find('\0')), &p.problems);
  const size_t unclosed = p.problems.size();
  const int badLine = ini_parse_string(read.c_str(), onSetting, &p);
  if (badLine > 0) p.problems.insert(p.problems.begin() + static_cast<long>(unclosed),
                                     "line " + std::to_string(badLine) + " is not a setting");
  if (text.find('\0') != std::string::npos) p.problems.push_back("the file holds a NUL byte");
  if (!p.sawMuted && out->masterVolume == 0) {
    out->muted = true;
    out->masterVolume = 100;
  }
  problems->clear();
  for (const std::string& problem : p.problems) {
    if (!problems->empty()) *problems += "; ";
    *problems += problem;
  }
}

std::string formatSettings(const Settings& s) {
  auto onOff = [](bool b) { return b ? "on" : "off"; };
  char text[2048];
  std::snprintf(text, sizeof text,
                "; Wendlop's settings. The game writes this file whenever one of them changes.\n"
                "[game]\n"
                "drag = %s\n"
                "last-stage = %d\n"
                "pause-on-focus-loss = %s\n"
                "\n"
                "[window]\n"
                "; 1 to 8, or 0 for the largest that fits the screen\n"
                "scale = %d\n"
                "fullscreen = %s\n"
                "\n"
                "[sound]\n"
                "; percent, 0 to 100; master scales the other two\n"
                "master-volume = %d\n"
                "music-volume = %d\n"
                "effects-volume = %d\n"
                "; on: silent (M), the volumes above kept for when it is off\n"
                "muted = %s\n"
                "\n"
                "[input]\n"
                "; pixels of the 640 x 480 picture a second, with a gamepad's stick pushed all the way (60 to 6000)\n"
                "pointer-speed = %d\n"
                "; percent of the stick's travel around its centre that does not move the pointer (0 to 90)\n"
                "stick-dead-zone = %d\n",
                onOff(s.drag), s.lastStage, onOff(s.pauseOnFocusLoss), s.scale, onOff(s.fullscreen),
                s.masterVolume, s.musicVolume, s.effectsVolume, onOff(s.muted), s.pointerSpeed, s.stickDeadZone);
  return text;
}

void setSettingsFile(const std::string& path) {
  settingsFile = SettingsFile{};
  settingsFile.path = path;
}

void loadSettings() {
  settings = Settings{};
  settingsFile.unreadable = false;
  if (settingsFile.path.empty()) return;
  std::vector<uint8_t> bytes;
  std::string why;
  switch (sysReadWholeFile(settingsFile.path.c_str(), MaxSettingsFile + 1, &bytes, &why)) {
    case SysReadMissing: return;  // no file yet: the defaults
    case SysReadFailed:
      // Not written over either: the player's file may only be out of reach.
      settingsFile.unreadable = true;
      std::fprintf(stderr, "wendlop: %s %s; the defaults stand, and changes are not saved in this run\n",
                   settingsFile.path.c_str(), why.c_str());
      return;
    case SysReadOk: break;
  }
  std::string problems;
  if (bytes.size() > MaxSettingsFile) {
    problems = "it is larger than a settings file can be";
  } else {
    parseSettings(std::string(bytes.begin(), bytes.end()), &settings, &problems);
  }
  if (!problems.empty())
    std::fprintf(stderr, "wendlop: %s: %s; the defaults stand for those\n", settingsFile.path.c_str(),
                 problems.c_str());
  if (bytes.size() > MaxSettingsFile) settings = Settings{};
}

bool saveSettings() {
  if (settingsFile.path.empty() || settingsFile.unreadable) return false;
  const std::string text = formatSettings(settings);
  std::string why;
  if (sysWriteFileAtomic(settingsFile.path.c_str(), text.data(), text.size(), &why)) return true;
  if (!settingsFile.toldNotSaved)
    std::fprintf(stderr, "wendlop: settings not saved: %s %s\n", settingsFile.path.c_str(), why.c_str());
  settingsFile.toldNotSaved = true;
  return false;
}
