// Where the hazards will go: while a stage waits for its first click, and
// while the game is paused, holding Tab draws each hazard's path for the next
// five seconds as a faint trail. The paths come from running the world ahead
// from a copy of the game, which is then put back: nothing of the game's state
// changes, and every frame is as it was while the key is up.
#pragma once

#include <vector>

struct PathPreview {
  bool held = false;  // Tab is down
  bool operator==(const PathPreview&) const = default;
};
extern PathPreview pathPreview;

enum {
  PreviewFrames = 300,        // five seconds of frames
  PreviewMarkEvery = 60,      // a mark on each path at every whole second
};

// One hazard's sprite position (its top-left corner, as drawn) after each of
// the next frames; shorter when the hazard is gone before the end.
struct HazardPath {
  int hazard = 0;  // its record in the hazard table
  std::vector<int> x, y;
};

// The paths of the hazards still about over the next `frames` Playing frames
// with no click, from the game as it stands. The game is saved first and put
// back after.
std::vector<HazardPath> lookAhead(int frames);

// Whether the scene under way is one whose hazards the preview can show: a
// stage waiting for its first click, or one in play (reached while paused).
bool previewShowsPaths();

// Draws the paths of the next five seconds over the canvas as it is.
void drawHazardPaths();

// Tab down or up (the key repeats while held). True when the preview is shown
// or hidden by it, so that a picture that stands still must be drawn again.
bool previewKey(bool down);
