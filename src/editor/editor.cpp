// The editor's session: the stage being made and its history, the pointer and
// keys, the palette, questions and lists, saving and the recovery copy, and
// the test play through the scene machine.
#include "editor/editor.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/controls.h"
#include "app/frame_clock.h"
#include "app/game_state.h"
#include "display/display.h"
#include "display/surface.h"
#include "flow/flow.h"
#include "music/music.h"
#include "pack/pack.h"
#include "platform/platform.h"
#include "solve/check_runner.h"
#include "solve/replay_build.h"
#include "sound/sound.h"
#include "sound/sound_bank.h"

EditorState editor;

namespace {
// Where a reason is of no use: the file is optional.
std::string ignoredWhy;
std::string dataFolder;
// The game as it was when a test play started, put back when it ends; and
// the image the scenes play meanwhile.
GameSnapshot beforeTest;
StageImage testImage{};
bool testLeftReady = false;
std::string pendingFile;  // a file to open once the recovery question is answered
StagePlace placeBeforeAsking;  // where the stage was saved before Shift+S asked for another pack
std::vector<std::string> listTitles;  // of the open list's page, by stage number
std::vector<int> listNumbers;

constexpr int ListColumns = 10;
constexpr int ListFirstRow = 6;
constexpr int ListFirstColumn = 5;
constexpr int AskRow = 15;

struct AskButton {
  const char* text;
  int column;
  char key;
};
constexpr AskButton saveButtons[] = {{"[SAVE]", 6, 's'}, {"[DISCARD]", 15, 'd'}, {"[CANCEL]", 27, 'c'}};
constexpr AskButton recoverButtons[] = {{"[RESTORE]", 8, 'r'}, {"[DISCARD]", 22, 'd'}};

int cellRow(int y) { return y / CellSize; }
int cellCol(int x) { return x / CellSize; }

void say(const std::string& line) { editor.notice = line; }

void showMessage(std::vector<std::string> lines) {
  editor.messageLines = std::move(lines);
  editor.mode = EditorMode::Message;
}

// ---- The recovery copy ------------------------------------------------------
std::string recoveryPlaceFile() { return dataFolder + "/editor/recovery.place"; }

std::string placeWritten;  // what the recovery's place file holds, to write it only when it changes

void removeRecovery() {
  placeWritten.clear();
  if (dataFolder.empty()) return;
  sysRemoveFile(recoveryFile().c_str());
  sysRemoveFile(recoveryPlaceFile().c_str());
}

// After every change: unsaved work is on the disc, saved work leaves nothing.
void noteChange() {
  if (dataFolder.empty()) return;
  if (!editorUnsaved()) {
    removeRecovery();
    return;
  }
  const std::string place = editor.place.pack + "\n" + std::to_string(editor.place.number) + "\n" + editor.place.label + "\n";
  std::string why;
  // The place first: a copy found without it is still a stage, with no home.
  if (place != placeWritten && sysWriteFileAtomic(recoveryPlaceFile().c_str(), place.data(), place.size(), nullptr))
    placeWritten = place;
  if (!sysWriteFileAtomic(recoveryFile().c_str(), editor.image.data(), editor.image.size(), &why) &&
      sysFirstReport("editor-recovery"))
    std::fprintf(stderr, "wendlop: the editor's recovery copy %s\n", why.c_str());
}

void pushUndo(const StageImage& before) {
  editor.undoStack.push_back(before);
  editor.redoStack.clear();
}

// A whole new document: no history, nothing unsaved unless `saved` differs.
void startDocument(const StageImage& image, const StageImage& saved, const StagePlace& place) {
  editor.image = image;
  editor.savedImage = saved;
  editor.unsavedAnyway = false;
  editor.place = place;
  editor.undoStack.clear();
  editor.redoStack.clear();
  if (image != saved) editor.undoStack.push_back(saved);
  editor.painting = editor.erasing = editor.rightDown = false;
  editor.solution.clear();
  editor.replay.clear();
  editor.mode = EditorMode::Editing;
  noteChange();
}

std::string twoDigits(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

std::string upper(std::string s) {
  for (char& ch : s)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  return s;
}

std::string fileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderNameOf(const std::string& folder) { return fileName(folder); }

// The name in pack.ini of the player's pack in that folder, else the folder's.
std::string ownPackName(const std::string& folderName) {
  PackInfo info;
  return readPackIni(ownPackFolder(folderName), &info, nullptr) ? info.name : folderName;
}

// Opens the bytes of a file, made good as far as they can be.
bool openBytes(const std::vector<uint8_t>& bytes, const StagePlace& place, const std::string& shownName) {
  StageImage image{};
  std::vector<std::string> problems;
  if (!repairStage(bytes, &image, &problems)) {
    showMessage({upper(shownName), "CANNOT BE OPENED:", problems.empty() ? "" : problems[0]});
    return false;
  }
  // What was repaired is a change the player has not saved; undo shows the file.
  StageImage raw{};
  std::memcpy(raw.data(), bytes.data(), bytes.size() < raw.size() ? bytes.size() : raw.size());
  startDocument(image, problems.empty() ? image : raw, place);
  if (!problems.empty()) {
    problems.insert(problems.begin(), upper(shownName) + ":");
    showMessage(problems);
  }
  return true;
}

bool openFile(const std::string& path, const StagePlace& place) {
  std::vector<uint8_t> bytes;
  std::string why;
  if (sysReadWholeFile(path.c_str(), 64 * 1024, &bytes, &why) != SysReadOk) {
    startDocument(emptyStage(), emptyStage(), StagePlace{"", 0, "NEW"});
    showMessage({upper(fileName(path)), "CANNOT BE READ:", upper(why)});
    return false;
  }
  if (!openBytes(bytes, place, fileName(path))) return false;
  // A pack's stage comes with its solution, if it has one.
  if (!place.pack.empty()) {
    std::vector<uint8_t> replay;
    if (sysReadWholeFile(replayPathIn(ownPackFolder(place.pack), place.number).c_str(), ReplayBytes, &replay,
                         &ignoredWhy) ==
            SysReadOk &&
        !replay.empty()) {
      editor.replay = replay;
      editor.replayFor = editor.savedImage;
    }
  }
  return true;
}

void restoreRecovery() {
  std::vector<uint8_t> bytes, placeBytes;
  sysReadWholeFile(recoveryFile().c_str(), 64 * 1024, &bytes, &ignoredWhy);
  sysReadWholeFile(recoveryPlaceFile().c_str(), 4096, &placeBytes, &ignoredWhy);
  StagePlace place{"", 0, "RECOVERED"};
  std::string text(placeBytes.begin(), placeBytes.end());
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  if (lines.size() >= 3) {
    const int number = std::atoi(lines[1].c_str());
    if (!ownPackFolder(lines[0]).empty() && number >= 1 && number <= MostPackStages) {
      place.pack = lines[0];
      place.number = number;
    }
    place.label = lines[2].substr(0, 24);
  }
  StageImage image{};
  std::vector<std::string> problems;
  if (!repairStage(bytes, &image, &problems)) {
    removeRecovery();
    startDocument(emptyStage(), emptyStage(), StagePlace{"", 0, "NEW"});
    return;
  }
  // Unsaved by definition: the file where it belongs, if any, is what was saved.
  StageImage saved = emptyStage();
  if (!place.pack.empty()) {
    std::vector<uint8_t> old;
    if (sysReadWholeFile(stagePathIn(ownPackFolder(place.pack), place.number).c_str(), StageMapSize, &old,
                         &ignoredWhy) == SysReadOk &&
        old.size() == StageMapSize)
      std::memcpy(saved.data(), old.data(), StageMapSize);
  }
  startDocument(image, image, place);
  // Its history is gone with the run that made it; it stays unsaved until it is saved.
  editor.savedImage = saved;
  editor.unsavedAnyway = true;
  noteChange();
  say("RECOVERED: SAVE IT TO KEEP IT");
}

void openPending() {
  const std::string file = pendingFile;
  pendingFile.clear();
  if (file.empty()) {
    startDocument(emptyStage(), emptyStage(), StagePlace{"", 0, "NEW"});
    return;
  }
  StagePlace place{"", 0, upper(fileName(file)).substr(0, 24)};
  int number = 0;
  std::string folder;
  if (ownPackStageOfPath(file, &folder, &number))
    place = StagePlace{folder, number, upper(ownPackName(folder)) + " " + twoDigits(number)};
  openFile(file, place);
}

void closeEditor() {
  clearCheck();
  removeRecovery();
  editor.mode = EditorMode::Closed;
  setScene(Title);
}

// What a question was asked for, once it is answered with SAVE or DISCARD.
void carryOut(EditorAfter after) {
  editor.after = EditorAfter::Nothing;
  switch (after) {
    case EditorAfter::Nothing: editor.mode = EditorMode::Editing; break;
    case EditorAfter::Leave: closeEditor(); break;
    case EditorAfter::New:
      startDocument(emptyStage(), emptyStage(), StagePlace{"", 0, "NEW"});
      break;
    case EditorAfter::Open: {
      editor.mode = EditorMode::Editing;
      editorOpenPackStage(editor.openPack, editor.openNumber);
      break;
    }
    case EditorAfter::Recover: break;
  }
}

void ask(EditorAfter after) {
  editor.after = after;
  editor.askChoices = 3;
  editor.mode = EditorMode::Ask;
}

void answer(char key) {
  if (editor.askChoices == 2) {
    if (key == 'r') {
      restoreRecovery();
    } else if (key == 'd') {
      removeRecovery();
      openPending();
    }
    return;
  }
  const EditorAfter after = editor.after;
  if (key == 's') {
    editor.mode = EditorMode::Editing;
    if (editorSave()) carryOut(after);
    // A save that needs the pack's name asks for it and carries on from there.
    else if (editor.mode == EditorMode::TextInput) editor.after = after;
    else editor.after = EditorAfter::Nothing;
  } else if (key == 'd') {
    editor.savedImage = editor.image;  // given up: nothing is unsaved any more
    editor.unsavedAnyway = false;
    removeRecovery();
    carryOut(after);
  } else if (key == 'c' || key == SysKeyEscape) {
    editor.after = EditorAfter::Nothing;
    editor.mode = EditorMode::Editing;
  }
}

// ---- Typing -----------------------------------------------------------------
void startTyping(TextPurpose purpose, const std::string& text) {
  editor.textPurpose = purpose;
  editor.text = text;
  editor.mode = EditorMode::TextInput;
}

char typedCharacter(uint32_t key, uint32_t modifiers) {
  const bool shift = modifiers & SysModShift;
  if (key >= 'a' && key <= 'z') return static_cast<char>(shift ? key - 'a' + 'A' : key);
  if (key < 32 || key > 126) return 0;
  if (!shift) return static_cast<char>(key);
  static const char plain[] = "1234567890-=[]\\;',./`";
  static const char shifted[] = "!@#$%^&*()_+{}|:\"<>?~";
  for (int i = 0; plain[i]; ++i)
    if (plain[i] == static_cast<char>(key)) return shifted[i];
  return static_cast<char>(key);
}

void finishTyping() {
  const std::string text = editor.text;
  editor.mode = EditorMode::Editing;
  if (editor.textPurpose == TextPurpose::Title) {
    if (text != stageTitle(editor.image)) {
      pushUndo(editor.image);
      setStageTitle(editor.image, text);
      noteChange();
    }
    return;
  }
  std::string name = text;
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (name.empty()) name = "MY STAGES";
  if (!validPackName(name)) {
    // The name is a folder's too: nothing that could lead out of the packs.
    editor.place = placeBeforeAsking;
    editor.after = EditorAfter::Nothing;
    showMessage({"NOT SAVED: A PACK'S NAME HAS", "LETTERS, DIGITS, BLANKS, - _ AND .", "AND DOES NOT START WITH ."});
    return;
  }
  // A pack found already is saved into only when it is the player's own; a
  // new one gets its folder among them.
  const int found = packIndex(name);
  const std::string folder =
      found >= 0 ? folderNameOf(packState.packs[static_cast<size_t>(found)].folder) : packFolderName(name);
  PackInfo there;
  std::string refusal;
  if (found >= 0 && !ownPack(packState.packs[static_cast<size_t>(found)]))
    refusal = upper(name) + " IS NOT ONE OF YOUR PACKS";
  else if (found < 0 && readPackIni(ownPackFolder(folder), &there, nullptr) && !samePackName(there.name, name))
    refusal = "ITS FOLDER HOLDS " + upper(there.name);
  if (!refusal.empty()) {
    editor.place = placeBeforeAsking;
    editor.after = EditorAfter::Nothing;
    showMessage({"NOT SAVED:", refusal});
    return;
  }
  editor.lastPack = name;
  editor.place.pack = folder;
  editor.place.number = 0;
  const EditorAfter after = editor.after;
  editor.after = EditorAfter::Nothing;
  if (editorSave() && after != EditorAfter::Nothing) carryOut(after);
}

void typeKey(uint32_t key, uint32_t modifiers) {
  const size_t most = editor.textPurpose == TextPurpose::Title ? MaxTitleLength : 24;
  if (key == SysKeyEscape) {
    editor.mode = EditorMode::Editing;
    editor.after = EditorAfter::Nothing;
    if (editor.textPurpose == TextPurpose::PackName) editor.place = placeBeforeAsking;
  } else if (key == SysKeyEnter) {
    finishTyping();
  } else if (key == SysKeyBackspace || key == SysKeyDelete) {
    if (!editor.text.empty()) editor.text.pop_back();
  } else if (const char ch = typedCharacter(key, modifiers); ch && editor.text.size() < most) {
    editor.text += ch;
  }
}

// ---- The open list ------------------------------------------------------------
// Before the packs are found there is the built-in one alone.
int listPageCount() { return packState.packs.empty() ? 1 : static_cast<int>(packState.packs.size()); }

const Pack& packListed(int index) {
  return packState.packs.empty() ? currentPack() : packState.packs[static_cast<size_t>(index)];
}

const Pack& listPack() { return packListed(editor.listPage); }

void loadListPage() {
  if (editor.listPage < 0) editor.listPage = listPageCount() - 1;
  if (editor.listPage >= listPageCount()) editor.listPage = 0;
  listNumbers.clear();
  listTitles.assign(MostPackStages + 1, "");
  const Pack& pack = listPack();
  for (int n = 1; n <= pack.stageCount && n <= MostPackStages; ++n) listNumbers.push_back(n);
  for (int n : listNumbers) {
    std::vector<uint8_t> bytes;
    if (sysReadWholeFile(stagePathIn(pack.folder, n).c_str(), StageMapSize, &bytes, &ignoredWhy) == SysReadOk) {
      StageImage image{};
      std::memcpy(image.data(), bytes.data(), bytes.size() < image.size() ? bytes.size() : image.size());
      listTitles[static_cast<size_t>(n)] = stageTitle(image);
    }
  }
}

std::string listPageName() {
  const Pack& pack = listPack();
  return pack.builtIn ? "BUILT-IN STAGES" : "PACK " + upper(pack.info.name);
}

// The stage number under text cell (column, row) of the list, or 0.
int listNumberAt(int column, int row) {
  for (size_t i = 0; i < listNumbers.size(); ++i) {
    const int c = ListFirstColumn + static_cast<int>(i % ListColumns) * 3;
    const int r = ListFirstRow + static_cast<int>(i / ListColumns) * 2;
    if (row == r && column >= c && column < c + 2) return listNumbers[i];
  }
  return 0;
}

void chooseFromList(int number) {
  editor.mode = EditorMode::Editing;
  if (editorUnsaved()) {
    editor.openPack = editor.listPage;
    editor.openNumber = number;
    ask(EditorAfter::Open);
  } else {
    editorOpenPackStage(editor.listPage, number);
  }
}

void turnListPage(int step) {
  editor.listPage = (editor.listPage + step + listPageCount()) % listPageCount();
  loadListPage();
}

// ---- Painting -------------------------------------------------------------------
void paintCell(int row, int col) {
  if (!insideGrid(row, col)) return;
  if (editor.erasing) {
    eraseCell(editor.image, row, col);
    return;
  }
  std::string refusal;
  if (!placeTool(editor.image, row, col, editor.tool, &refusal) && !refusal.empty()) say(refusal);
}

// Every cell on the way from the last one, so that a quick stroke leaves no gaps.
void strokeTo(int row, int col) {
  int r = editor.lastRow, c = editor.lastCol;
  if (r < 0) {
    r = row;
    c = col;
    paintCell(r, c);
  }
  while (r != row || c != col) {
    const int dr = row - r, dc = col - c;
    if (std::abs(dr) >= std::abs(dc)) r += dr > 0 ? 1 : -1;
    else c += dc > 0 ? 1 : -1;
    // A piece drawn along a stroke is laid whole beside the last one, not over it.
    const bool piece = !editor.erasing && editor.tool.kind == ToolKind::Piece;
    if (!piece || ((r - editor.strokeRow) % 2 == 0 && (c - editor.strokeCol) % 2 == 0)) paintCell(r, c);
  }
  editor.lastRow = row;
  editor.lastCol = col;
}

void beginStroke(int row, int col, bool erasing) {
  editor.strokeStart = editor.image;
  editor.erasing = erasing;
  editor.lastRow = editor.lastCol = -1;
  // Where the stroke began: pieces along it keep to its 2 x 2 grid.
  editor.strokeRow = row;
  editor.strokeCol = col;
  editor.notice.clear();
  strokeTo(row, col);
}

void endStroke() {
  editor.painting = editor.erasing = false;
  editor.lastRow = editor.lastCol = -1;
  if (editor.image != editor.strokeStart) {
    pushUndo(editor.strokeStart);
    noteChange();
  }
}

// ---- Test play ---------------------------------------------------------------------
bool hasStart(const StageImage& image, std::string* why) {
  int starts = 0;
  for (int k = 0; k < GridRows * GridColumns; ++k) {
    const int code = static_cast<int8_t>(image[ObjectLayerOffset + k]);
    if (code == StartFacingLeft || code == StartFacingRight) {
      ++starts;
      if (k == 0) {
        *why = "NO START IN THE TOP-LEFT CELL";
        return false;
      }
    }
  }
  if (starts == 0) *why = "NO WALKER START: PUT ONE FROM THE PALETTE";
  return starts > 0;
}

void endTest(const char* how) {
  if (pauseState.paused) resumeGame();
  stopSong();
  unloadSong();
  restoreGame(beforeTest);
  giveStageImage(nullptr);
  restartFrameClock();
  editor.mode = EditorMode::Editing;
  if (*how) say(how);
}

// ---- Drawing -----------------------------------------------------------------------
// Two characters for a hazard: which way it sets off (R D L U, \\ down-right,
// / up-right) and how fast (F 2 px a frame, N 1 px, S 1 px every 4 frames,
// V every 16).
std::string hazardMark(int code) {
  const std::string dir = hazardDirection(code), speed = hazardSpeed(code);
  if (dir.empty()) return "";
  const char way = dir == "DOWN-RIGHT" ? '\\' : dir == "UP-RIGHT" ? '/' : dir[0];
  const char pace = speed[0] == '2' ? 'F' : speed == "1PX/FRAME" ? 'N' : speed == "1PX/4F" ? 'S' : 'V';
  return std::string{way, pace};
}

int darkColour() { return nearestColour(0, 0, 0); }
int panelColour() { return nearestColour(24, 24, 48); }
int lightColour() { return nearestColour(96, 96, 160); }

void drawStage() {
  drawBackdrop(1);
  for (int r = 0; r < GridRows; ++r)
    for (int c = 0; c < GridColumns; ++c) drawTile(c * CellSize, r * CellSize, editor.image[TileLayerOffset + GridColumns * r + c]);
  // As a stage start shows them: the walker standing in its start cell, the
  // hazards centred on theirs.
  for (int r = 0; r < GridRows; ++r) {
    for (int c = 0; c < GridColumns; ++c) {
      const int code = static_cast<int8_t>(editor.image[ObjectLayerOffset + GridColumns * r + c]);
      if (code == StartFacingLeft || code == StartFacingRight) {
        // A start over open space falls first, and shows so.
        const int below = r + 1 < GridRows ? static_cast<int>(editor.image[TileLayerOffset + GridColumns * (r + 1) + c]) : static_cast<int>(OutsideTile);
        const int frame = tileKind[below] == Empty ? FrameFacing : code == StartFacingLeft ? FrameWalkLeft : FrameWalkRight;
        drawWalker(c * CellSize, r * CellSize, frame);
      }
      if (code >= FirstHazardCode && code <= LastHazardCode) drawEffect(c * CellSize - 16, r * CellSize - 16, FrameHazard);
    }
  }
  if (!editor.showLines) return;
  // Which way each hazard sets off, and how fast.
  for (int r = 0; r < GridRows; ++r) {
    for (int c = 0; c < GridColumns; ++c) {
      const int code = static_cast<int8_t>(editor.image[ObjectLayerOffset + GridColumns * r + c]);
      if (code < FirstHazardCode || code > LastHazardCode) continue;
      const std::string mark = hazardMark(code);
      drawText(c * 2, r * 2 + 1, mark.c_str());
    }
  }
}

void drawLine(int row, const std::string& text) { drawText(0, row, text.substr(0, 40).c_str()); }

void drawEditingLines() {
  if (!editor.showLines) return;
  const int row = cellRow(editor.pointerY), col = cellCol(editor.pointerX);
  std::string top = toolName(editor.tool);
  char where[40];
  std::snprintf(where, sizeof where, "COL %02d ROW %02d", col, row);
  drawLine(0, top);
  drawText(27, 0, where);
  drawLine(1, describeCell(editor.image, row, col));
  std::string bottom = editor.notice;
  if (bottom.empty()) {
    const std::string title = stageTitle(editor.image);
    bottom = (title.empty() ? "(NO TITLE)" : title) + "  " + editor.place.label + (editorUnsaved() ? " *" : "");
  }
  drawLine(29, bottom.substr(0, 34));
  drawText(34, 29, "K KEYS");
}

void drawPalette() {
  const int panel = panelColour(), dark = darkColour(), light = lightColour(), pointed = nearestColour(200, 200, 80);
  fillBox(0, 0, CanvasWidth, CanvasHeight, panel);
  const PaletteItem* hover = paletteItemAt(editor.pointerX, editor.pointerY);
  for (const PaletteGroup& g : paletteGroups()) {
    drawTextAt(g.labelX, g.labelY, g.label);
    for (const PaletteItem& item : g.items) {
      if (item.tool == editor.tool) fillBox(item.x - 2, item.y - 2, item.w + 4, item.h + 4, light);
      if (&item == hover) fillBox(item.x - 2, item.y - 2, item.w + 4, item.h + 4, pointed);
      fillBox(item.x, item.y, item.w, item.h, dark);
      if (item.tool.kind == ToolKind::Hazard) fillBox(item.x + CellSize, item.y, item.w - CellSize, item.h, panel);
      const int code = item.tool.code;
      switch (item.tool.kind) {
        case ToolKind::Tile: drawTile(item.x, item.y, code); break;
        case ToolKind::Piece:
          for (int k = 0; k < 4; ++k) drawTile(item.x + (k % 2) * CellSize, item.y + (k / 2) * CellSize, code + (k % 2) + (k / 2) * 16);
          break;
        case ToolKind::Start:
          drawFramePart(code == StartFacingLeft ? FrameWalkLeft : FrameWalkRight, 16, 32, 32, 32, item.x, item.y);
          break;
        case ToolKind::Hazard: {
          drawFramePart(FrameHazard, 16, 16, 32, 32, item.x, item.y);
          drawTextAt(item.x + CellSize, item.y + 8, hazardMark(code).c_str());
          break;
        }
      }
    }
  }
  drawLine(0, hover ? toolName(hover->tool) : "CHOOSE WHAT TO PAINT");
  drawLine(1, hover && hover->tool.kind == ToolKind::Hazard ? "F N S V: 2PX/F 1PX/F 1PX/4F 1PX/16F" : "");
}

void drawPanel(int top, int bottom) { fillBox(16, top * TextCell - 8, CanvasWidth - 32, (bottom - top) * TextCell + 16, panelColour()); }

void drawCentred(int row, const std::string& text) {
  const std::string t = text.substr(0, 38);
  drawText((40 - static_cast<int>(t.size())) / 2, row, t.c_str());
}

void drawAsk() {
  drawPanel(8, 17);
  if (editor.askChoices == 2) {
    drawCentred(9, "THE EDITOR WAS LEFT WITHOUT SAVING.");
    drawCentred(11, "RESTORE THE UNSAVED STAGE?");
    for (const AskButton& b : recoverButtons) drawText(b.column, AskRow, b.text);
    return;
  }
  drawCentred(9, "THIS STAGE HAS UNSAVED CHANGES.");
  drawCentred(11, editor.place.pack.empty() ? "SAVE IT IN ONE OF YOUR PACKS?" : "SAVE THEM?");
  for (const AskButton& b : saveButtons) drawText(b.column, AskRow, b.text);
}

void drawTyping() {
  drawPanel(8, 17);
  drawCentred(9, editor.textPurpose == TextPurpose::Title ? "STAGE TITLE" : "SAVE IN WHICH PACK?");
  if (editor.textPurpose == TextPurpose::PackName) drawCentred(10, "(A NEW NAME MAKES A NEW PACK)");
  const std::string shown = editor.text + "_";
  drawText(6, 12, shown.c_str());
  drawCentred(15, "ENTER: OK    ESCAPE: CANCEL");
}

void drawList() {
  fillBox(0, 0, CanvasWidth, CanvasHeight, panelColour());
  drawText(2, 3, "\x1d");
  drawCentred(3, listPageName());
  drawText(37, 3, "\x1c");
  for (size_t i = 0; i < listNumbers.size(); ++i) {
    const int c = ListFirstColumn + static_cast<int>(i % ListColumns) * 3;
    const int r = ListFirstRow + static_cast<int>(i / ListColumns) * 2;
    drawText(c, r, twoDigits(listNumbers[i]).c_str());
  }
  if (listNumbers.empty()) drawCentred(10, "NO STAGES IN THIS PACK");
  if (!ownPack(listPack())) drawCentred(4, "READ ONLY: SAVED AS A COPY");
  const int number = listNumberAt(editor.pointerX / TextCell, editor.pointerY / TextCell);
  drawLine(0, number ? twoDigits(number) + " " + listTitles[number] : "OPEN WHICH STAGE?");
  drawCentred(27, "\x1d \x1c: OTHER SETS   ESCAPE: BACK");
}

void drawMessage() {
  const int n = static_cast<int>(editor.messageLines.size());
  const int top = 14 - n;
  drawPanel(top - 1, top + n * 2 + 2);
  for (int i = 0; i < n; ++i) drawCentred(top + i * 2, editor.messageLines[i]);
  drawCentred(top + n * 2 + 1, "CLICK OR PRESS A KEY");
}

void drawChecking() {
  drawPanel(10, 17);
  drawCentred(11, "CHECKING THE STAGE");
  drawCentred(13, editor.progressLine);
  drawCentred(15, "ESCAPE STOPS");
}

const std::vector<std::string> keyHelp = {
    "LEFT BUTTON: PAINT   RIGHT DRAG: ERASE",
    "DELETE: ERASE THE CELL POINTED AT",
    "TAB OR RIGHT CLICK: PALETTE",
    "MIDDLE BUTTON: PICK   H: LINES",
    "CTRL+Z: UNDO   CTRL+Y: REDO",
    "R: STAGE TITLE   N: NEW   O: OPEN",
    "S: SAVE   SHIFT+S: SAVE IN A PACK",
    "T: TEST PLAY   C: CHECK   W: WATCH",
    "ESCAPE: LEAVE",
};
}  // namespace

// ---- The session ---------------------------------------------------------------
void setEditorDataFolder(const std::string& folder) { dataFolder = folder; }
const std::string& editorDataFolder() { return dataFolder; }
std::string recoveryFile() { return dataFolder.empty() ? "" : dataFolder + "/editor/recovery.fmf"; }

bool recoveryWaiting() {
  if (dataFolder.empty()) return false;
  std::vector<uint8_t> bytes;
  return sysReadWholeFile(recoveryFile().c_str(), 1, &bytes, &ignoredWhy) == SysReadOk;
}

void resetEditor() {
  // A check under way is the runner's, not the editor's: the game's reset,
  // which the check itself runs in its child, leaves it alone.
  editor = EditorState{};
  beforeTest = GameSnapshot{};
  testImage = StageImage{};
  pendingFile.clear();
  placeBeforeAsking = StagePlace{};
  placeWritten.clear();
  listTitles.clear();
  listNumbers.clear();
  giveStageImage(nullptr);
}

bool editorOpen() { return editor.mode != EditorMode::Closed; }
bool editorTakesPointer() {
  return editorOpen() && editor.mode != EditorMode::Testing && editor.mode != EditorMode::Watching;
}
bool editorUnsaved() { return editor.unsavedAnyway || editor.image != editor.savedImage; }

void openEditor(const char* file) {
  const std::string lastPack = editor.lastPack;
  editor = EditorState{};
  editor.lastPack = lastPack;
  editor.mode = EditorMode::Editing;
  stopSong();
  unloadSong();
  pendingFile = file ? file : "";
  if (recoveryWaiting()) {
    editor.after = EditorAfter::Recover;
    editor.askChoices = 2;
    editor.mode = EditorMode::Ask;
    return;
  }
  openPending();
}

void requestLeaveEditor() {
  if (editorUnsaved()) ask(EditorAfter::Leave);
  else closeEditor();
}

namespace {
// Undo and redo are the same step between the two histories.
void stepHistory(std::vector<StageImage>& from, std::vector<StageImage>& to, const char* nothingLeft) {
  if (from.empty()) {
    say(nothingLeft);
    return;
  }
  to.push_back(editor.image);
  editor.image = from.back();
  from.pop_back();
  editor.notice.clear();
  noteChange();
}
}  // namespace

void editorUndo() { stepHistory(editor.undoStack, editor.redoStack, "NOTHING TO UNDO"); }
void editorRedo() { stepHistory(editor.redoStack, editor.undoStack, "NOTHING TO REDO"); }

bool editorSave() {
  if (packState.userPacks.empty()) {
    showMessage({"NOTHING CAN BE SAVED:", "NO FOLDER FOR YOUR OWN FILES", "(SET XDG_DATA_HOME OR HOME)"});
    return false;
  }
  if (editor.place.pack.empty()) {
    placeBeforeAsking = editor.place;
    startTyping(TextPurpose::PackName, editor.lastPack);
    return false;
  }
  const std::string folder = ownPackFolder(editor.place.pack);
  std::string why, textWhy;
  if (!ensurePackIni(folder, editor.lastPack, &why)) {
    showMessage({"NOT SAVED:", upper(why)});
    return false;
  }
  int number = editor.place.number;
  // The first gap, or the end: a pack's stages run from 01 without one.
  if (number < 1) number = countPackStages(folder) + 1;
  if (number > MostPackStages) {
    showMessage({"NOT SAVED:", "PACK " + upper(ownPackName(editor.place.pack)) + " HAS 99 STAGES"});
    return false;
  }
  const std::string stagePath = stagePathIn(folder, number);
  if (!writePackStage(folder, number, editor.image.data(), &why, &textWhy)) {
    std::fprintf(stderr, "wendlop: stage not saved: %s %s\n", stagePath.c_str(), why.c_str());
    showMessage({"NOT SAVED:", upper(why)});
    return false;
  }
  if (!textWhy.empty())
    std::fprintf(stderr, "wendlop: saved %s without its stage text: %s\n", stagePath.c_str(), textWhy.c_str());
  // The solution goes with the stage it solves; an old one of another stage
  // would show a demonstration that fails.
  bool replaySaved = false;
  if (!editor.replay.empty() && editor.replayFor == editor.image) {
    replaySaved = writePackReplay(folder, number, editor.replay.data(), editor.replay.size(), &why);
    if (!replaySaved)
      std::fprintf(stderr, "wendlop: solution not saved: %s %s\n", replayPathIn(folder, number).c_str(), why.c_str());
  } else {
    removePackReplay(folder, number);
  }
  // The new pack or stage joins the packs found: the title and the open list see it.
  refreshPacks();
  editor.place.number = number;
  editor.place.label = upper(ownPackName(editor.place.pack)) + " " + twoDigits(number);
  editor.savedImage = editor.image;
  editor.unsavedAnyway = false;
  removeRecovery();
  say("SAVED: " + editor.place.label + (replaySaved ? " WITH ITS SOLUTION" : ""));
  return true;
}

void editorNew() {
  if (editorUnsaved()) ask(EditorAfter::New);
  else carryOut(EditorAfter::New);
}

bool editorOpenStage(const StagePlace& place) {
  if (place.pack.empty()) return editorOpenPackStage(0, place.number);
  return openFile(stagePathIn(ownPackFolder(place.pack), place.number), place);
}

bool editorOpenPackStage(int packIndex, int number) {
  if (packIndex < 0 || packIndex >= listPageCount()) return false;
  const Pack& pack = packListed(packIndex);
  const std::string path = stagePathIn(pack.folder, number);
  const std::string label = (pack.builtIn ? std::string("BUILT-IN") : upper(pack.info.name)) + " " + twoDigits(number);
  if (ownPack(pack)) {
    editor.lastPack = pack.info.name;
    return openFile(path, StagePlace{folderNameOf(pack.folder), number, label});
  }
  // The built-in stages and installed packs are read only: they open as a
  // stage of no pack, saved as a copy.
  return openFile(path, StagePlace{"", 0, label});
}

void editorStartTest() {
  std::string why;
  if (!hasStart(editor.image, &why)) {
    say(why);
    return;
  }
  saveGame(&beforeTest);
  testImage = editor.image;
  testLeftReady = false;
  giveStageImage(testImage.data());
  // A test is no game: nothing recorded, no progress, no demonstration.
  flow.recording = false;
  flow.demoPlayback = false;
  flow.stageNumber = 0;
  newGameReset();
  walkerReset();
  resetSkipPhase();
  setScene(StageReady);
  editor.mode = EditorMode::Testing;
}

void editorStartCheck() {
  editor.checkedImage = editor.image;
  editor.solution.clear();
  editor.progressLine = "STARTING";
  startCheck(editor.image.data(), CheckOptions{});
  editor.mode = EditorMode::Checking;
}

namespace {
void showVerdict() {
  const CheckResult& result = checkResult();
  std::vector<std::string> lines = checkCanvasLines(result);
  if (result.verdict == CheckVerdict::Clears && !result.solution.empty()) {
    editor.solution = result.solution;
    lines.push_back("W: WATCH AND KEEP THE SOLUTION");
  }
  clearCheck();
  showMessage(lines);
  editor.verdictShown = true;
}

void stepCheck() {
  CheckProgress progress;
  const CheckRun run = pollCheck(&progress);
  if (run == CheckRun::Running) editor.progressLine = checkProgressLine(progress);
  else showVerdict();
}

// Sets the scenes up to play the stage being edited as a demonstration of
// the replay buffer, from its start, with nothing recorded or counted.
void startDemonstrationOfStage() {
  testImage = editor.image;
  giveStageImage(testImage.data());
  flow.recording = false;
  flow.demoPlayback = true;
  flow.dragMode = false;
  flow.stageNumber = 0;
  walkerReset();
  resetSkipPhase();
  setScene(NewGame);
}
}  // namespace

bool editorBuildReplay() {
  if (editor.solution.empty() || editor.checkedImage != editor.image) {
    say(editor.solution.empty() ? "NO SOLUTION YET: C CHECKS THE STAGE" : "THE STAGE CHANGED: C CHECKS IT AGAIN");
    return false;
  }
  if (!editor.replay.empty() && editor.replayFor == editor.image) return true;
  // Played out at once, unseen and unheard; the game is put back after.
  GameSnapshot before;
  saveGame(&before);
  holdSong();
  const bool bank = soundBank.ready;
  soundBank.ready = false;
  frameClock.frameSkip = 1 << 30;  // the scenes draw on none of these frames
  std::memset(replayBuffer, 0, sizeof replayBuffer);
  startDemonstrationOfStage();
  int playing = 0;
  std::string why;
  const bool built = buildReplay(editor.solution, &playing, &why);
  stopSong();
  unloadSong();
  releaseHeldSong();
  soundBank.ready = bank;
  restoreGame(before);
  giveStageImage(nullptr);
  restartFrameClock();
  if (!built) {
    // The check played this very stage; a solution that does not replay is a fault of ours.
    std::fprintf(stderr, "wendlop: the check's solution does not replay: %s\n", why.c_str());
    say("THE SOLUTION DOES NOT REPLAY");
    return false;
  }
  editor.replay.assign(replayBuffer, replayBuffer + ReplayBytes);
  editor.replayFor = editor.image;
  return true;
}

void editorWatch() {
  if (!editorBuildReplay()) return;
  // A saved stage gets its solution at once; an unsaved one with its next save.
  if (!editorUnsaved() && !editor.place.pack.empty()) {
    std::string why;
    const std::string folder = ownPackFolder(editor.place.pack);
    if (writePackReplay(folder, editor.place.number, editor.replay.data(), editor.replay.size(), &why))
      say("SOLUTION SAVED WITH " + editor.place.label);
    else
      std::fprintf(stderr, "wendlop: solution not saved: %s %s\n", replayPathIn(folder, editor.place.number).c_str(),
                   why.c_str());
  } else {
    say("SOLUTION KEPT FOR THE NEXT SAVE");
  }
  saveGame(&beforeTest);
  std::memcpy(replayBuffer, editor.replay.data(), ReplayBytes);
  startDemonstrationOfStage();
  editor.mode = EditorMode::Watching;
}

// ---- Input ------------------------------------------------------------------------
void editorKey(uint32_t key, uint32_t modifiers) {
  const bool ctrl = modifiers & SysModCtrl, shift = modifiers & SysModShift;
  switch (editor.mode) {
    case EditorMode::Closed: return;
    case EditorMode::Testing:
    case EditorMode::Watching:
      if (key == SysKeyEscape || key == SysKeyF12) endTest(editor.mode == EditorMode::Testing ? "TEST ENDED" : "");
      else controlKey(key);
      return;
    case EditorMode::Checking:
      if (key == SysKeyEscape) {
        cancelCheck();
        showVerdict();
      } else {
        controlKey(key);
      }
      return;
    case EditorMode::Message:
      editor.mode = EditorMode::Editing;
      if (editor.verdictShown && key == 'w') editorWatch();
      editor.verdictShown = false;
      return;
    case EditorMode::Ask: answer(key == SysKeyEscape ? 'c' : static_cast<char>(key)); return;
    case EditorMode::TextInput: typeKey(key, modifiers); return;
    case EditorMode::OpenList:
      if (key == SysKeyEscape) editor.mode = EditorMode::Editing;
      if (key == SysKeyUp) turnListPage(-1);
      if (key == SysKeyDown || key == SysKeyTab) turnListPage(1);
      return;
    case EditorMode::Palette:
      if (key == SysKeyEscape || key == SysKeyTab) editor.mode = EditorMode::Editing;
      else controlKey(key);
      return;
    case EditorMode::Editing: break;
  }
  if (ctrl) {
    if (key == 'z' && !shift) editorUndo();
    if ((key == 'z' && shift) || key == 'y') editorRedo();
    if (key == 's') editorSave();
    return;
  }
  switch (key) {
    case SysKeyTab: editor.mode = EditorMode::Palette; break;
    case SysKeyEscape: requestLeaveEditor(); break;
    case 'h': editor.showLines = !editor.showLines; break;
    case 'k': showMessage(keyHelp); break;
    case 'r': startTyping(TextPurpose::Title, stageTitle(editor.image)); break;
    case 'n': editorNew(); break;
    case 'o':
      editor.mode = EditorMode::OpenList;
      loadListPage();
      break;
    case 's':
      if (shift) {
        // Asked afresh for the pack; giving up the question keeps the old place.
        const StagePlace old = editor.place;
        editor.place.pack.clear();
        editor.place.number = 0;
        editorSave();
        placeBeforeAsking = old;
      } else {
        editorSave();
      }
      break;
    case SysKeyDelete:
    case SysKeyBackspace: {
      // One cell, without a stroke of the right button.
      const StageImage before = editor.image;
      if (eraseCell(editor.image, cellRow(editor.pointerY), cellCol(editor.pointerX))) {
        pushUndo(before);
        noteChange();
      }
      break;
    }
    case 't': editorStartTest(); break;
    case 'c': editorStartCheck(); break;
    case 'w': editorWatch(); break;
    default: controlKey(key); break;
  }
}

void editorPointerMove(int x, int y) {
  editor.pointerX = x;
  editor.pointerY = y;
  if (editor.mode != EditorMode::Editing) return;
  const int row = cellRow(y), col = cellCol(x);
  if (!insideGrid(row, col)) return;
  if (editor.rightDown && !editor.erasing && (row != editor.rightRow || col != editor.rightCol)) {
    // A right button that moves off its cell erases; one that stays opens the palette.
    const int r = editor.rightRow, c = editor.rightCol;
    beginStroke(r, c, true);
    editor.painting = true;
  }
  if (editor.painting && (row != editor.lastRow || col != editor.lastCol)) strokeTo(row, col);
}

void editorButton(int button, bool down, int x, int y) {
  editor.pointerX = x;
  editor.pointerY = y;
  const int row = cellRow(y), col = cellCol(x);
  switch (editor.mode) {
    case EditorMode::Closed:
    case EditorMode::Testing:
    case EditorMode::Watching:
    case EditorMode::Checking: return;
    case EditorMode::Message:
      if (down) {
        editor.mode = EditorMode::Editing;
        editor.verdictShown = false;
      }
      return;
    case EditorMode::Palette:
      if (!down) return;
      if (button == 3) {
        editor.mode = EditorMode::Editing;
      } else if (button == 1) {
        if (const PaletteItem* item = paletteItemAt(x, y)) {
          editor.tool = item->tool;
          editor.mode = EditorMode::Editing;
          playEffect(SoundSwitch);
        }
      }
      return;
    case EditorMode::Ask:
      if (!down || button != 1 || y / TextCell != AskRow) return;
      if (editor.askChoices == 2) {
        for (const AskButton& b : recoverButtons)
          if (x / TextCell >= b.column && x / TextCell < b.column + static_cast<int>(std::strlen(b.text))) answer(b.key);
      } else {
        for (const AskButton& b : saveButtons)
          if (x / TextCell >= b.column && x / TextCell < b.column + static_cast<int>(std::strlen(b.text))) answer(b.key);
      }
      return;
    case EditorMode::TextInput: return;
    case EditorMode::OpenList: {
      if (!down || button != 1) return;
      const int c = x / TextCell, r = y / TextCell;
      if (r == 3 && c <= 3) turnListPage(-1);
      else if (r == 3 && c >= 36) turnListPage(1);
      else if (const int number = listNumberAt(c, r)) chooseFromList(number);
      return;
    }
    case EditorMode::Editing: break;
  }
  if (button == 1) {
    if (down) {
      if (editor.painting) endStroke();
      if (!insideGrid(row, col)) return;
      editor.painting = true;
      beginStroke(row, col, false);
    } else if (editor.painting && !editor.rightDown) {
      endStroke();
    }
  } else if (button == 2) {
    if (down && insideGrid(row, col)) {
      editor.tool = pickCell(editor.image, row, col);
      say("PICKED " + toolName(editor.tool));
    }
  } else if (button == 3) {
    if (down) {
      if (editor.painting) endStroke();
      editor.rightDown = insideGrid(row, col);
      editor.rightRow = row;
      editor.rightCol = col;
    } else if (editor.rightDown) {
      editor.rightDown = false;
      if (editor.painting) endStroke();
      else editor.mode = EditorMode::Palette;
    }
  }
}

void editorFrame() {
  if (editor.mode == EditorMode::Watching) {
    runScene();
    // A demonstration ends on the title, after its clear, a miss, or Escape.
    if (flow.scene == Title || flow.scene == GameOver || flow.scene == AllClear) endTest("");
    return;
  }
  if (editor.mode == EditorMode::Checking) stepCheck();
  if (editor.mode == EditorMode::Testing) {
    runScene();
    if (flow.scene != StageReady) testLeftReady = true;
    // A clear, a miss, or the pause menu's way out ends the test; the stage
    // never goes on to the next one.
    if (flow.scene == Title || flow.scene == GameOver || flow.scene == AllClear || flow.scene == DemoStart)
      endTest("TEST ENDED");
    else if (flow.scene == StageReady && testLeftReady)
      endTest(flow.stagesCleared > 0 ? "TEST: CLEAR!" : "TEST: MISS");
    return;
  }
  advanceSkipPhase();
  drawStage();
  switch (editor.mode) {
    case EditorMode::Editing: drawEditingLines(); break;
    case EditorMode::Palette: drawPalette(); break;
    case EditorMode::Ask: drawAsk(); break;
    case EditorMode::TextInput: drawTyping(); break;
    case EditorMode::OpenList: drawList(); break;
    case EditorMode::Message: drawMessage(); break;
    case EditorMode::Checking: drawChecking(); break;
    default: break;
  }
  drawCursor(editor.pointerX, editor.pointerY);
  frameClock.frameDrawn = true;
}
