// pack.ini, finding packs, the current pack's paths, and the verdict file.
#include "pack/pack.h"

#include <set>

#include "pack/pack_fixture.h"
#include "pack/share.h"

using namespace testgame;

namespace {

TEST(PackIni, EveryFieldIsReadAndBounded) {
  PackInfo info;
  std::string problem;
  ASSERT_TRUE(parsePackIni("[pack]\nname = Extra\nauthor = A. Maker\nlicense = CC-BY-4.0\nversion = 1\n"
                           "description = ten stages of lifts\n",
                           &info, &problem))
      << problem;
  EXPECT_EQ(info, (PackInfo{"Extra", "A. Maker", "CC-BY-4.0", "1", "ten stages of lifts"}));
  // What is written reads back the same.
  PackInfo back;
  ASSERT_TRUE(parsePackIni(formatPackIni(info), &back, &problem));
  EXPECT_EQ(back, info);

  const std::string longField(MostPackField + 1, 'x');
  const std::string longName(MostPackName + 1, 'x');
  for (const std::string& bad : std::vector<std::string>{std::string("[pack]\nauthor = nobody\n"), "[pack]\nname = \n", "[pack]\nname = ../up\n",
        "[pack]\nname = " + longName + "\n", "[pack]\nname = A]B\n", "[pack]\nname = .hidden\n",
        "[pack]\nname = A\nauthor = " + longField + "\n", "[pack]\nname = A\ncolour = red\n",
        "[pack]\nname = A\n[other]\nname = B\n", "[pack]\nname = A\nname = B\n",
        "[pack]\nname = A\ndescription = tab\there\n", std::string("[pack]\nname = A\0B\n", 19),
        "[pack]\nname = A\nnot a line\n", std::string(5000, ';'),
        // found by the fuzzer: written back as "author = ;", which reads as a comment
        "[pack]\nname =x\nauthor =;\n"}) {
    EXPECT_FALSE(parsePackIni(bad, &info, &problem)) << bad;
    EXPECT_FALSE(problem.empty());
  }
  EXPECT_TRUE(validPackName("My Pack-2_b.x"));
  EXPECT_EQ(packFolderName("My Pack"), "my-pack");
}

class Packs : public PackTest {};

TEST_F(Packs, FoundInBothFoldersAndBadOnesAreLeftOutWithALine) {
  writePack(installed() / "extra", "Extra", 10);
  writePack(user() / "mine", "Mine", 3);
  writePack(user() / "again", "EXTRA", 2);           // a name found already
  std::filesystem::create_directories(user() / "empty" / "map");  // no pack.ini
  std::ofstream(user() / "empty" / "pack.ini") << "[pack]\nname = Empty\n";
  writePack(user() / ".import-abc123", "Half", 1);  // an import under way
  // Stages run from 01 up to the first gap.
  writePack(user() / "gap", "Gap", 4);
  std::filesystem::remove(user() / "gap" / "map" / "map03.fmf");

  testing::internal::CaptureStderr();
  findTestPacks();
  const std::string said = testing::internal::GetCapturedStderr();
  ASSERT_EQ(packState.packs.size(), 4u);
  EXPECT_TRUE(packState.packs[0].builtIn);
  EXPECT_EQ(packState.packs[0].info.name, "Wendlop");
  EXPECT_EQ(packState.packs[0].stageCount, BuiltInStages);
  EXPECT_EQ(packState.packs[1].info.name, "Extra");
  EXPECT_TRUE(packState.packs[1].installed);
  EXPECT_EQ(packState.packs[2].info.name, "Gap");
  EXPECT_EQ(packState.packs[2].stageCount, 2);
  EXPECT_EQ(packState.packs[3].info.name, "Mine");
  EXPECT_FALSE(packState.packs[3].installed);
  EXPECT_NE(said.find("again is left out: a pack named EXTRA was found first"), std::string::npos) << said;
  EXPECT_NE(said.find("empty is left out: has no map/map01.fmf"), std::string::npos) << said;
  EXPECT_EQ(said.find(".import"), std::string::npos) << said;
  EXPECT_EQ(packIndex("mine"), 3);

  // No folders at all: the built-in pack alone, and nothing said.
  testing::internal::CaptureStderr();
  findPacks((dir_ / "none").string(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(packState.packs.size(), 1u);
}

TEST_F(Packs, TheCurrentPackGivesThePathsOfItsStagesAndSolutions) {
  // Before any pack is found the game plays the built-in stages, from the data folder.
  EXPECT_TRUE(currentPack().builtIn);
  EXPECT_EQ(packStageCount(), BuiltInStages);
  EXPECT_EQ(packStagePath(7), "map/map07.fmf");
  EXPECT_EQ(packReplayPath(7), "replay/07.dat");
  EXPECT_EQ(packRecordingFolder(), "");

  writePack(user() / "mine", "My Own", 3);
  findTestPacks();
  choosePack(packIndex("My Own"));
  const std::string folder = (user() / "mine").string();
  EXPECT_EQ(packStageCount(), 3);
  EXPECT_EQ(packStagePath(2), folder + "/map/map02.fmf");
  EXPECT_EQ(packReplayPath(12), folder + "/replay/12.dat");
  EXPECT_EQ(packRecordingFolder(), "my-own/");
  choosePack(9);  // no such pack: the choice stands
  EXPECT_EQ(currentPack().info.name, "My Own");

  // pack.ini written by the game reads back.
  const PackInfo info{"Written", "me", "CC0", "2", "one line"};
  std::string why;
  ASSERT_TRUE(writePackIni(folder, info, &why)) << why;
  PackInfo back;
  ASSERT_TRUE(readPackIni(folder, &back, &why)) << why;
  EXPECT_EQ(back, info);
  EXPECT_FALSE(writePackIni(folder, PackInfo{"bad/name", "", "", "", ""}, &why));
}

// The pack Extra ships installed, made from assets/packs/extra by the tools
// (the regen tests compare their bytes): nothing else stands in its folder,
// and each of its demonstrations clears its stage, as an import proves it.
TEST_F(Packs, ExtraIsMadeFromItsSourcesAndEachSolutionClearsItsStage) {
  namespace fs = std::filesystem;
  const fs::path source = fs::path(WENDLOP_SOURCE_DIR) / "assets/packs/extra";
  const fs::path shipped = fs::path(WENDLOP_SOURCE_DIR) / "data/packs/extra";
  std::set<std::string> made = {"pack.ini"}, found;
  for (const auto& e : fs::directory_iterator(source / "stages")) made.insert("map/" + e.path().stem().string() + ".fmf");
  for (const auto& e : fs::directory_iterator(source / "solutions"))
    made.insert("replay/" + e.path().stem().string() + ".dat");
  for (const auto& e : fs::recursive_directory_iterator(shipped))
    if (!e.is_directory()) found.insert(fs::relative(e.path(), shipped).string());
  EXPECT_EQ(found, made);

  Pack pack;
  std::string problem;
  ASSERT_TRUE(readPack(shipped.string(), &pack, &problem)) << problem;
  EXPECT_EQ(pack.info.name, "Extra");
  EXPECT_GE(pack.stageCount, 10);
  const PackVerdict verdict = verifyPack(pack, nullptr);
  EXPECT_EQ(verdict.verified(), pack.stageCount) << verdictSummary(verdict);
}

TEST(PackVerdictFile, ReadsBackAndAnythingDamagedIsUnknown) {
  PackVerdict v;
  v.known = true;
  v.stages = 3;
  v.outcome[1] = PackVerdict::Cleared;
  v.clicks[1] = 1;
  v.outcome[2] = PackVerdict::Fails;
  v.outcome[3] = PackVerdict::NoSolution;
  PackVerdict back;
  ASSERT_TRUE(parsePackVerdict(formatPackVerdict(v), &back));
  EXPECT_EQ(back, v);
  EXPECT_EQ(v.verified(), 1);
  EXPECT_EQ(verdictLine(v, 1), "stage 01: cleared by its solution in 1 click");
  EXPECT_EQ(verdictLine(v, 2), "stage 02: its solution does not clear it");
  EXPECT_EQ(verdictLine(v, 3), "stage 03: no solution");
  EXPECT_EQ(verdictSummary(v), "verified: 1 of 3");
  for (const char* bad : {"", "; stages 3\n[verified]\n01 = 1\n02 = fails\n",  // a stage unsaid
                          "; stages 1\n[verified]\n02 = 1\n", "; stages 1\n[verified]\n01 = -1\n",
                          "; stages 1\n[other]\n01 = 1\n", "; stages 100\n",
                          // found by the fuzzer: a stage said twice
                          "; stages 2\n[verified]\n01 = 4\n02 = fails\n01 = none\n"}) {
    EXPECT_FALSE(parsePackVerdict(bad, &back)) << bad;
    EXPECT_FALSE(back.known);
  }
}

}  // namespace
