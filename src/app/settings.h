// The player's settings, kept between runs in the user's settings folder as
// settings.ini. Without the file every setting has the value the game has
// always started with.
#pragma once

#include <string>

struct Settings {
  bool drag = true;              // the title's DRAG switch as it was last left
  int lastStage = 1;             // the stage last started or demonstrated from the title
  bool pauseOnFocusLoss = true;  // another window chosen while a stage is in play
  int scale = 0;                 // window scale 1..8; 0: the largest that fits the screen
  bool fullscreen = false;
  int masterVolume = 100;        // percent; the music and effects volumes are scaled by it
  int musicVolume = 100;
  int effectsVolume = 100;
  int pointerSpeed = 640;        // pixels a second with a gamepad's stick pushed all the way
  int stickDeadZone = 20;        // percent of the stick's travel that does not move the pointer
  bool muted = false;            // silent, with the volumes kept for when it is not
  bool operator==(const Settings&) const = default;
};
extern Settings settings;

// Reads `text` (an INI file) into *out, starting from the defaults. Whatever
// is wrong (a line that is no setting, a value out of range or of the wrong
// kind) keeps its default and is named in *problems, "" when nothing is;
// bytes that are not printable are named as \xNN. A section header without
// its ']' is named, and the lines below it still count in that section. A
// file without `muted` comes from before it: there a master volume of 0 was
// how the game kept a mute, so it reads as muted at the full volume.
// Text from a file or the command line as a terminal may be shown it: printable
// bytes as they are, any other as \xNN.
std::string printable(const std::string& text);

void parseSettings(const std::string& text, Settings* out, std::string* problems);
std::string formatSettings(const Settings& s);

// Where the settings file lives; "" for nowhere (then nothing is read or saved).
void setSettingsFile(const std::string& path);
// Reads the file into `settings`; a missing file gives the defaults, a bad one
// one line on stderr.
void loadSettings();
// Writes `settings` whole, through a temporary file; false when it cannot.
bool saveSettings();
