// wendlop-bench-editor [--data DIR] [--frames N] [--stage N] [--game PROGRAM] [--check-seconds S]
// Opens the editor headless on a built-in stage with the game's own sheets and
// prints microseconds per editor frame (composing the canvas, as the game's
// frame does before presenting) in each view: the stage with its lines, without
// them, the palette, the open list; per paint stroke, which also writes the
// recovery copy; and, while a check of the stage runs in its child process
// (PROGRAM, the game: by default the one of this build), the mean and the
// longest frame over S seconds (default 5), then how long the cancel takes.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "display/display.h"
#include "editor/editor.h"
#include "flow/flow.h"
#include "pack/pack.h"
#include "platform/platform.h"
#include "solve/check_runner.h"

namespace {
double microsecondsSince(std::chrono::steady_clock::time_point start, int count) {
  const std::chrono::duration<double, std::micro> d = std::chrono::steady_clock::now() - start;
  return d.count() / count;
}

double timeFrames(int frames) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < frames; ++i) {
    editorPointerMove(40 + (i * 7) % 560, 40 + (i * 5) % 400);
    editorFrame();
  }
  return microsecondsSince(start, frames);
}
}  // namespace

int main(int argc, char** argv) {
  const char* data = nullptr;
  int frames = 2000, stage = 41;
  double checkSeconds = 5;
  std::string game = (std::filesystem::path(argv[0]).parent_path() / "../../src/wendlop").lexically_normal().string();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) data = argv[++i];
    else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) frames = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--stage") == 0 && i + 1 < argc) stage = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--game") == 0 && i + 1 < argc) game = argv[++i];
    else if (std::strcmp(argv[i], "--check-seconds") == 0 && i + 1 < argc) checkSeconds = std::atof(argv[++i]);
    else {
      std::fputs("Usage: wendlop-bench-editor [--data DIR] [--frames N] [--stage N] [--game PROGRAM] [--check-seconds S]\n",
                 stderr);
      return 2;
    }
  }
  if (frames < 1) frames = 1;
  game = sysAbsolutePath(game.c_str());  // before the data folder becomes the working folder
  sysSetHeadless(true);
  if (!data) data = sysFindDataFolder();
  if (!data || !sysChangeDirectory(data) || !initDisplay()) {
    std::fputs("wendlop-bench-editor: cannot load the game's data (give --data DIR)\n", stderr);
    return 1;
  }
  char temp[] = "/tmp/wendlop-bench-editor-XXXXXX";
  if (!mkdtemp(temp)) return 1;
  setEditorDataFolder(temp);
  findPacks(sysAbsolutePath("packs"), std::string(temp) + "/packs");
  char file[32];
  std::snprintf(file, sizeof file, "map/map%02d.fmf", stage);
  openEditor(file);

  std::printf("editor frame, stage with its lines: %8.1f us\n", timeFrames(frames));
  editor.showLines = false;
  std::printf("editor frame, stage alone:          %8.1f us\n", timeFrames(frames));
  editor.showLines = true;
  editor.mode = EditorMode::Palette;
  std::printf("editor frame, palette:              %8.1f us\n", timeFrames(frames));
  editorKey(SysKeyEscape, 0);
  editorKey('o', 0);
  std::printf("editor frame, open list:            %8.1f us\n", timeFrames(frames));
  editorKey(SysKeyEscape, 0);

  const int strokes = frames / 20 > 10 ? frames / 20 : 10;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < strokes; ++i) {
    const int x = 48 + (i % 17) * 32, y = 48 + (i % 12) * 32;
    editor.tool = Tool{ToolKind::Tile, i % 2 ? 35 : 1};
    editorButton(1, true, x, y);
    editorButton(1, false, x, y);
  }
  std::printf("paint stroke with its recovery copy: %7.1f us\n", microsecondsSince(start, strokes));

  // The stage as it was opened, checked while the editor's frames go on.
  while (!editor.undoStack.empty()) editorUndo();
  setCheckProgram(game);
  editorStartCheck();
  int checkFrames = 0, late = 0;
  double longest = 0, total = 0;
  const auto checkStart = std::chrono::steady_clock::now();
  while (editor.mode == EditorMode::Checking &&
         std::chrono::duration<double>(std::chrono::steady_clock::now() - checkStart).count() < checkSeconds) {
    const auto frameStart = std::chrono::steady_clock::now();
    editorFrame();
    const double us = microsecondsSince(frameStart, 1);
    total += us;
    if (us > longest) longest = us;
    if (us > 16667) ++late;
    ++checkFrames;
    // The game's frames come every 16.7 ms; the check has the rest.
    std::this_thread::sleep_for(std::chrono::microseconds(16667));
  }
  std::printf("editor frame while a check runs:    %8.1f us mean, %.1f us longest, %d of %d frames over 16.7 ms; %s\n",
              checkFrames ? total / checkFrames : 0.0, longest, late, checkFrames, editor.progressLine.c_str());
  if (editor.mode == EditorMode::Checking) {
    const auto cancelStart = std::chrono::steady_clock::now();
    editorKey(SysKeyEscape, 0);
    std::printf("cancel (Escape):                     %7.1f us\n", microsecondsSince(cancelStart, 1));
  }
  if (!editor.messageLines.empty()) std::printf("verdict: %s\n", editor.messageLines[0].c_str());
  std::error_code ignored;
  std::filesystem::remove_all(temp, ignored);
  return 0;
}
