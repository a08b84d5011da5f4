// The stage editor: draw a stage on the game's own canvas, play it through the
// real scene flow, and keep it in the player's packs. It sits above the scene
// machine: while it is open the shell runs its frames instead of the scenes',
// and a test play hands the scenes the stage being edited.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "solve/solver.h"
#include "world/world.h"

using StageImage = std::array<uint8_t, StageMapSize>;

// ---- What can be placed ---------------------------------------------------
// A tile (its number), a 2 x 2 piece (the number of its top-left quarter), a
// walker start (object 7 or 8) or a hazard (object 10..25). Empty is tile 0.
enum class ToolKind { Tile, Piece, Start, Hazard };
struct Tool {
  ToolKind kind = ToolKind::Tile;
  int code = 32;
  bool operator==(const Tool&) const = default;
};

// The palette: every tile of the catalogue by kind, the pieces, the two walker
// starts and the sixteen hazards, laid out over the canvas in groups.
struct PaletteItem {
  Tool tool;
  int x = 0, y = 0, w = 32, h = 32;  // where it is drawn and chosen, in canvas pixels
};
struct PaletteGroup {
  const char* label;
  int labelX = 0, labelY = 0;
  std::vector<PaletteItem> items;
};
const std::vector<PaletteGroup>& paletteGroups();
// The item under canvas point (x, y), or nullptr.
const PaletteItem* paletteItemAt(int x, int y);

// What a tool, a tile or an object is called on the editor's lines.
std::string toolName(const Tool& tool);
std::string hazardDirection(int code);  // "RIGHT", "UP-RIGHT", ...
std::string hazardSpeed(int code);      // "2 PX A FRAME", "1 PX EVERY 16 FRAMES", ...

// ---- Editing one image ----------------------------------------------------
// Each returns whether the image changed. A piece is placed and erased whole;
// a walker start is unique, so placing one removes the other; a plain wall
// and an object never share a cell (the later one wins). A start cannot go in
// the top-left cell and a hazard not in the top row (the game would not
// start them): those placements are refused, and *refusal says why.
bool placeTool(StageImage& image, int row, int col, const Tool& tool, std::string* refusal = nullptr);
bool eraseCell(StageImage& image, int row, int col);
// The tool that places what the cell shows: its object when it has one, else
// its tile, a quarter of a piece as the whole piece.
Tool pickCell(const StageImage& image, int row, int col);
// One line on what the cell holds ("SWITCH A OPEN", "WALL + HAZARD ...").
std::string describeCell(const StageImage& image, int row, int col);

// An empty stage framed by plain walls.
StageImage emptyStage();
// The title kept in the header: its printable text up to the first zero byte.
std::string stageTitle(const StageImage& image);
void setStageTitle(StageImage& image, const std::string& title);
enum { MaxTitleLength = 20 };

// Reads a stage file's bytes as far as they make sense: every fault is made
// good and said in one line of *problems (wrong size, unknown tiles or
// objects, two walker starts, objects in walls, broken pieces); the image is
// then what the editor opens. Returns false only when there is nothing to
// open (no bytes at all).
bool repairStage(const std::vector<uint8_t>& bytes, StageImage* image, std::vector<std::string>* problems);

// ---- The player's files -----------------------------------------------------
// Where the recovery copy lives: normally the user's data folder
// ($XDG_DATA_HOME/wendlop); "" when there is none. Stages are saved into the
// player's packs (packState.userPacks), through the pack layer.
void setEditorDataFolder(const std::string& folder);
const std::string& editorDataFolder();

// ---- The editor as a whole --------------------------------------------------
enum class EditorMode {
  Closed,
  Editing,
  Palette,
  Ask,        // SAVE / DISCARD / CANCEL, or RESTORE / DISCARD for a recovery copy
  TextInput,  // the stage title, a pack's name
  OpenList,   // a stage to open: every pack found, the built-in one first
  Message,    // lines to read; any key or click goes on
  Testing,    // the scenes play the stage; the editor waits
  Checking,   // a check runs in its own process; its progress is shown
  Watching,   // the scenes play the check's solution as a demonstration
};
enum class EditorAfter { Nothing, Leave, New, Open, Recover };
enum class TextPurpose { Title, PackName };

// Where the stage comes from and where it is saved.
struct StagePlace {
  std::string pack;   // the folder name of one of the player's packs; "" when it has none yet
  int number = 0;     // its NN there
  std::string label;  // "NEW", "BUILT-IN 07", "EXTRA 04", "MY STAGES 03", or a file name
  bool operator==(const StagePlace&) const = default;
};

struct EditorState {
  EditorMode mode = EditorMode::Closed;
  StageImage image{};
  StageImage savedImage{};  // as last saved or opened: differing means unsaved work
  bool unsavedAnyway = false;  // a recovered stage is unsaved whatever it is like
  StagePlace place;
  std::vector<StageImage> undoStack, redoStack;
  Tool tool;
  bool showLines = true;  // the top and bottom lines, and the hazards' marks
  // The pointer, in canvas pixels, and the buttons as the editor saw them.
  int pointerX = 320, pointerY = 240;
  bool painting = false;
  bool erasing = false;
  bool rightDown = false;
  int rightRow = -1, rightCol = -1;  // where the right button went down
  int lastRow = -1, lastCol = -1;    // the cell a stroke was last in
  int strokeRow = 0, strokeCol = 0;  // and where it began
  StageImage strokeStart{};          // the image before the stroke under way
  // Questions, typing, lists and messages.
  EditorAfter after = EditorAfter::Nothing;
  int openPack = 0, openNumber = 0;  // the stage an Open waits to open: its pack (packState) and number
  TextPurpose textPurpose = TextPurpose::Title;
  std::string text;
  bool saveAfterText = false;        // the pack's name was asked for by a save
  int askChoices = 3;                // 3: SAVE DISCARD CANCEL; 2: RESTORE DISCARD
  int listPage = 0;                  // the pack shown, by its place among the packs found
  std::vector<std::string> messageLines;
  std::string notice;                // a short line on the bottom row until the next change
  std::string lastPack = "MY STAGES";
  // The last check: for which image, its progress, and its solution.
  StageImage checkedImage{};
  std::string progressLine;
  std::vector<Press> solution;  // empty unless the check found one for checkedImage
  bool verdictShown = false;    // the message on the canvas is the check's verdict
  // The solution's replay, kept with the stage when it is saved; it belongs
  // to replayFor, and goes when the stage no longer is that.
  std::vector<uint8_t> replay;
  StageImage replayFor{};
};
extern EditorState editor;

void resetEditor();
bool editorOpen();
// The pointer is the editor's (not the scenes', as during a test play).
bool editorTakesPointer();
// Opens the editor over the title: on the file given (nullptr: an empty stage,
// or the recovery copy when the last session ended without saving).
void openEditor(const char* file);
// Leaves the editor for the title when nothing unsaved would be lost, else asks.
void requestLeaveEditor();

// Input, as the window procedure gets it. Keys are the window's key codes;
// `modifiers` the SysMod bits of the key.
void editorKey(uint32_t key, uint32_t modifiers);
void editorPointerMove(int x, int y);
// button: 1 left, 2 middle, 3 right.
void editorButton(int button, bool down, int x, int y);
// One frame of the editor (drawing; during a test play the scenes' frame).
void editorFrame();

// What the keys do, for tests and scripts, without the pointer.
void editorUndo();
void editorRedo();
bool editorSave();  // false when it could not be written (said on the canvas)
void editorNew();
bool editorOpenStage(const StagePlace& place);  // built-in when place.pack is ""
// Stage `number` of the pack found at `packIndex`: a stage of the player's
// own pack opens in place, any other as a copy of no pack.
bool editorOpenPackStage(int packIndex, int number);
void editorStartTest();
// C: checks the stage in a child process; W: watches the solution it found
// (making its replay first), which is then saved with the stage.
void editorStartCheck();
void editorWatch();
// The replay of the check's solution for the stage as it is; false, with a
// line in the notice, when there is no solution for it.
bool editorBuildReplay();
bool editorUnsaved();

// The recovery copy: written after every change, removed when the work is
// saved or given up.
std::string recoveryFile();
bool recoveryWaiting();
