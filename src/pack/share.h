// Sharing packs: reading one from an archive (.zip, .tar.gz) or a folder with
// every file checked, installing it into the player's packs with each
// solution replayed, and writing one out for others.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "pack/pack.h"

enum : size_t {
  MostArchiveBytes = 8u << 20,  // the archive itself
  MostPackBytes = 4u << 20,     // every file of a pack together
  MostPackEntries = 400,
  MostTextForm = 16384,
  MostReplayBytes = 21600,
};

// A pack's files by their names inside the pack ("pack.ini", "map/map01.fmf").
struct PackFiles {
  PackInfo info;
  int stages = 0;
  std::map<std::string, std::vector<uint8_t>> files;
};

// Reads an archive held in memory: every member a plain file or folder with
// a name inside the pack, within the limits. False with the reason.
bool readPackArchive(const uint8_t* data, size_t size, PackFiles* out, std::string* problem);
// Reads a folder the same way (links and anything else but files and folders
// are refused).
bool readPackFolder(const std::string& folder, PackFiles* out, std::string* problem);
// The pack in the files: one folder holding it, or its files at the top, is
// taken out; every name, size, tile and object code and walker start is
// checked, and the stages must run from 01 without gaps. False with the reason.
bool checkPackFiles(PackFiles* pack, std::string* problem);
// A stage file's problem, "" when it has none: its size, unknown tile or
// object codes, not exactly one walker start (and not in the top-left cell).
std::string stageFileProblem(const std::vector<uint8_t>& image);

// Replays each stage's solution headless through the game's own frames, as
// the title's DEMO plays it, saying one line a stage and the last line on
// `out` (nullptr for silence). The game is put back to its start after.
PackVerdict verifyPack(const Pack& pack, FILE* out);

// `wendlop --import SOURCE [--replace]` and `wendlop --export NAME FILE`:
// the process's exit code; a refusal is one line on stderr and 1. The packs
// must have been found (findPacks) first.
int importPack(const std::string& source, bool replace, FILE* out);
// The program run as `wendlop --import` (importSource given) or `--export`
// (exportName and exportFile given): headless, with the packs found beside
// the game's data and among the player's, and nothing else of the game started.
int packCommand(const char* importSource, bool replace, const char* exportName, const char* exportFile);
int exportPack(const std::string& name, const std::string& file, FILE* out);
// The archive of a pack's files as --export writes it (".zip" or ".tar.gz"
// by the name), each under the folder `top`/.
bool writePackArchive(const PackFiles& pack, const std::string& top, bool zip, std::vector<uint8_t>* out,
                      std::string* problem);
