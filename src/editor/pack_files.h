// The player's packs as folders: $DATA/packs/<folder>/pack.ini, map/mapNN.fmf
// with its stage text map/mapNN.txt beside it, and replay/NN.dat. Everything
// the editor writes into a pack goes through here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

enum { MaxPackStages = 99 };

std::string packsFolder();  // "" when there is no user data folder
std::string packStagePath(const std::string& folder, int number);
std::string packReplayPath(const std::string& folder, int number);
// The pack folders there are, sorted, and the stage numbers in one.
std::vector<std::string> listPacks();
std::vector<int> packStages(const std::string& folder);
// The first number from 1 that the pack does not use yet; 0 when it is full.
int nextFreeStage(const std::string& folder);
// Makes the pack's pack.ini when it has none. False with *why when it cannot.
bool ensurePack(const std::string& folder, const std::string& name, std::string* why);
// The stage file and, beside it, its text; each written whole or not at all.
// The text is left out, and *textWhy says why, for the rare image that stage
// text cannot stand for; the stage is saved all the same.
bool writePackStage(const std::string& folder, int number, const std::array<uint8_t, 620>& image, std::string* why,
                    std::string* textWhy);
bool writePackReplay(const std::string& folder, int number, const uint8_t* bytes, size_t n, std::string* why);
// Whether `path` is a stage file of a pack: its folder and number.
bool packStageOfPath(const std::string& path, std::string* folder, int* number);
