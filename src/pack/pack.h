// Stage packs: a folder of stages with their solutions and a pack.ini, found
// in the installed packs/ folder and in the player's own; the fifty built-in
// stages are the pack "Wendlop", whose folder is the data folder itself.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

enum {
  BuiltInStages = 50,  // the built-in pack's rules count fifty whatever the folder holds
  MostPackStages = 99,
  MostPackName = 24,
  MostPackField = 80,  // author, license, version, description
};

// pack.ini's [pack] section.
struct PackInfo {
  std::string name, author, license, version, description;
  bool operator==(const PackInfo&) const = default;
};

struct Pack {
  PackInfo info;
  std::string folder;  // absolute; "" for the built-in pack (the working folder, the data)
  int stageCount = 0;
  bool builtIn = false;
  bool installed = false;  // beside the game, not the player's own
  bool operator==(const Pack&) const = default;
};

// The packs found, the built-in one first, and the one being played.
struct PackState {
  std::vector<Pack> packs;
  int current = 0;
  std::string installedPacks;  // the packs folder beside the game's data
  std::string userPacks;       // the player's packs folder; "" when there is none
  bool operator==(const PackState&) const = default;
};
extern PackState packState;

// ---- pack.ini ---------------------------------------------------------------
// Reads pack.ini's text; false with the first problem in *problem. Every field
// is bounded, plain printable text on one line; the name is also a folder's
// and a section's name, so it keeps to letters, digits, ' ', '-', '_' and '.'.
bool parsePackIni(const std::string& text, PackInfo* out, std::string* problem);
std::string formatPackIni(const PackInfo& info);
bool validPackName(const std::string& name);
// Reads or writes FOLDER/pack.ini (written whole, through a temporary file).
bool readPackIni(const std::string& folder, PackInfo* out, std::string* problem);
bool writePackIni(const std::string& folder, const PackInfo& info, std::string* why);
// The folder name a pack of this name gets among the player's packs.
std::string packFolderName(const std::string& name);

// ---- Finding packs ----------------------------------------------------------
// map/map01.fmf, map02.fmf, ... up to the first missing one, at most 99.
int countPackStages(const std::string& folder);
// Reads the pack in `folder`; false with the reason.
bool readPack(const std::string& folder, Pack* out, std::string* problem);
// The built-in pack, then the packs of the installed folder and of the
// player's, in the order of their folder names; a folder that is no pack is
// named in one line on stderr and left out, and so is a second pack of a
// name already found.
void findPacks(const std::string& installedPacks, const std::string& userPacks);
// Finds the packs again in the same folders, without a word on stderr, after
// one was made or grew: the pack being played stays chosen, and a pack chosen
// by its folder (--pack DIR) stays among them.
void refreshPacks();
bool samePackName(const std::string& a, const std::string& b);
// The pack of this name, or -1.
int packIndex(const std::string& name);

// ---- The pack being played ---------------------------------------------------
const Pack& currentPack();
void choosePack(int index);
// Chooses the pack of that name, or the one in that folder (which joins the
// packs found); false with a line to say when there is none.
bool choosePackNamed(const std::string& nameOrFolder, std::string* problem);
// The stages of the current pack: the selector runs 1..n and ALL CLEAR takes n.
int packStageCount();
// Paths of stage n's file and shipped solution in the current pack, as the
// game opens them: relative to the data folder for the built-in pack.
std::string packStagePath(int stage);
std::string packReplayPath(int stage);
std::string stagePathIn(const std::string& folder, int stage);
std::string replayPathIn(const std::string& folder, int stage);
// Where the player's own recordings of the current pack's stages go, below
// the recordings folder: "" for the built-in pack, "PACKFOLDER/" otherwise.
std::string packRecordingFolder();

// ---- The player's own packs ------------------------------------------------
// Packs the player may write into: those in the player's packs folder. The
// built-in pack, the installed ones and any other folder are only read.
bool ownPack(const Pack& pack);
// Whether packs of the player's own were found.
bool anyOwnPack();
// The folder of the player's pack in folder `folderName` of the packs folder;
// "" when the player has no packs folder or the name is none of a pack's.
std::string ownPackFolder(const std::string& folderName);
// Whether `path` is a stage file map/mapNN.fmf of a folder in the player's
// packs folder: that folder's name and the stage's number.
bool ownPackStageOfPath(const std::string& path, std::string* folderName, int* stage);
// Writes FOLDER/pack.ini for a new pack of this name (the author from $USER
// where it is plain text), unless the folder has one. False with *why.
bool ensurePackIni(const std::string& folder, const std::string& name, std::string* why);
// Writes stage n of the pack in FOLDER, and beside it its text form
// map/mapNN.txt, each whole or not at all. The rare image that the text
// cannot stand for is saved without it (an old text is removed), *textWhy
// saying why. A verdict of an import no longer holds and is removed.
bool writePackStage(const std::string& folder, int stage, const uint8_t* image, std::string* why,
                    std::string* textWhy);
// Writes or removes stage n's solution replay/NN.dat in FOLDER.
bool writePackReplay(const std::string& folder, int stage, const uint8_t* bytes, size_t n, std::string* why);
bool removePackReplay(const std::string& folder, int stage);

// ---- The verdict of an import ------------------------------------------------
// Each stage's solution replayed when the pack was imported, kept in the
// pack's folder as `verified`.
struct PackVerdict {
  enum Outcome : uint8_t { Unknown = 0, Cleared, Fails, NoSolution };
  bool known = false;  // the pack has a verdict
  int stages = 0;
  std::array<uint8_t, MostPackStages + 1> outcome{};
  std::array<int, MostPackStages + 1> clicks{};  // of a solution that clears
  int verified() const;
  bool operator==(const PackVerdict&) const = default;
};
bool parsePackVerdict(const std::string& text, PackVerdict* out);
std::string formatPackVerdict(const PackVerdict& verdict);
// The verdict in FOLDER/verified; one that is missing or damaged is not known.
PackVerdict readPackVerdict(const std::string& folder);
// The line the import prints for stage n, and the last line.
std::string verdictLine(const PackVerdict& verdict, int stage);
std::string verdictSummary(const PackVerdict& verdict);
