// The stage text format: a stage as people read and review it, and the exact
// 620-byte stage file it stands for.
#pragma once

#include <cstdint>
#include <string>

struct StageCheck {
  bool enclosure = true;    // walls where the walker or a hazard could leave the grid
  bool singleStart = true;  // exactly one walker start, not in the top-left cell
  bool wholePieces = true;  // every quarter of a 2 x 2 piece has its three partners
};

// Compiles stage text into a stage file image. On failure returns false and
// says why (with the line number) in *error.
bool compileStageText(const std::string& text, uint8_t image[620], std::string* error,
                      const StageCheck& check = StageCheck{});

// The text of a stage file image: compiling it, with the rules relaxed, gives
// the same bytes back. False, with the reason in *error, for an image that
// stage text cannot stand for (more different numbers than characters).
bool decompileStage(const uint8_t image[620], std::string* text, std::string* error);

// Checks an image against the rules every shipped stage keeps; "" when it does.
std::string checkStage(const uint8_t image[620], const StageCheck& check);
