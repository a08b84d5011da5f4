// Importing and exporting packs: good, damaged and hostile archives and
// folders, with nothing left behind by a refusal, and an export that imports
// back byte for byte.
#include <archive.h>
#include <archive_entry.h>

#include "pack/pack_fixture.h"
#include "pack/share.h"

using namespace testgame;

namespace {

struct Member {
  std::string name;
  std::string bytes;
  int type = AE_IFREG;
  std::string link = "";   // a symbolic link's target, or a hard link's
};

// An archive made here member by member, as a hostile one could be.
std::string makeArchive(const std::vector<Member>& members, bool zip = true) {
  std::string out;
  archive* a = archive_write_new();
  if (zip) {
    archive_write_set_format_zip(a);
  } else {
    archive_write_set_format_pax_restricted(a);
    archive_write_add_filter_gzip(a);
  }
  auto write = [](archive*, void* user, const void* buffer, size_t n) -> la_ssize_t {
    static_cast<std::string*>(user)->append(static_cast<const char*>(buffer), n);
    return static_cast<la_ssize_t>(n);
  };
  archive_write_open2(a, &out, nullptr, write, nullptr, nullptr);
  for (const Member& m : members) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, m.name.c_str());
    archive_entry_set_filetype(e, static_cast<unsigned>(m.type));
    archive_entry_set_perm(e, 0644);
    if (m.type == AE_IFLNK) archive_entry_set_symlink(e, m.link.c_str());
    if (m.type == AE_IFREG && !m.link.empty()) archive_entry_set_hardlink(e, m.link.c_str());
    archive_entry_set_size(e, static_cast<la_int64_t>(m.bytes.size()));
    archive_write_header(a, e);
    if (!m.bytes.empty()) archive_write_data(a, m.bytes.data(), m.bytes.size());
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
  return out;
}

class Share : public PackTest {
 protected:
  void SetUp() override {
    PackTest::SetUp();
    std::filesystem::create_directories(user());
    findTestPacks();
  }
  std::string stage() {
    const Image image = stageImage(goalTiles, walkerAt1);
    return std::string(reinterpret_cast<const char*>(image.data()), StageMapSize);
  }
  std::string ini(const std::string& name = "Shared") { return "[pack]\nname = " + name + "\n"; }
  // A good pack of two stages under the folder `top` ("" for the top).
  std::vector<Member> goodMembers(const std::string& top = "shared/") {
    return {{top + "pack.ini", ini()},
            {top + "map/map01.fmf", stage()},
            {top + "map/map02.fmf", stage()},
            {top + "replay/01.dat", std::string(21600, '\0')}};
  }
  std::string writeArchive(const std::string& bytes, const std::string& name = "in.zip") {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  // Imports and returns the exit code, with what was printed and said.
  int import(const std::string& source, bool replace = false) {
    findTestPacks();
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    const int code = importPack(source, replace, stdout);
    printed_ = testing::internal::GetCapturedStdout();
    said_ = testing::internal::GetCapturedStderr();
    return code;
  }
  // A refusal: exit 1, one line, and nothing at all left among the packs.
  void expectRefused(const std::string& source, const std::string& reason) {
    const auto before = tree(user());
    EXPECT_EQ(import(source), 1) << source << ": " << reason << printed_;
    EXPECT_NE(said_.find(reason), std::string::npos) << said_;
    EXPECT_EQ(std::count(said_.begin(), said_.end(), '\n'), 1) << said_;
    EXPECT_EQ(tree(user()), before) << reason;
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(user())) entries += !e.path().empty();
    EXPECT_EQ(entries, 0u) << reason;
  }
  // A refusal that leaves the packs there as they were.
  void expectRefusedKeeping(const std::string& source, const std::string& reason) {
    const auto before = tree(user());
    EXPECT_EQ(import(source), 1);
    EXPECT_NE(said_.find(reason), std::string::npos) << said_;
    EXPECT_EQ(tree(user()), before);
  }
  std::string printed_, said_;
};

TEST_F(Share, AGoodArchiveIsVerifiedAndInstalledWithItsVerdict) {
  for (bool zip : {true, false}) {
    std::filesystem::remove_all(user());
    std::filesystem::create_directories(user());
    const std::string path = writeArchive(makeArchive(goodMembers(), zip), zip ? "in.zip" : "in.tar.gz");
    ASSERT_EQ(import(path), 0) << said_;
    EXPECT_EQ(printed_,
              "stage 01: cleared by its solution in 0 clicks\nstage 02: no solution\nverified: 1 of 2\n"
              "installed Shared (2 stages) in " + (user() / "shared").string() + "\n");
    EXPECT_EQ(read(user() / "shared" / "map" / "map02.fmf"), stage());
    const PackVerdict v = readPackVerdict((user() / "shared").string());
    EXPECT_TRUE(v.known);
    EXPECT_EQ(v.verified(), 1);
    // The game is back at its start, and the new pack is found.
    EXPECT_EQ(flow.scene, Title);
    findTestPacks();
    EXPECT_GE(packIndex("Shared"), 0);
  }
  // The pack's files at the top of the archive do as well.
  std::filesystem::remove_all(user() / "shared");
  EXPECT_EQ(import(writeArchive(makeArchive(goodMembers("")))), 0) << said_;
}

TEST_F(Share, ASolutionThatDoesNotClearIsSaid) {
  // A stage whose walker walks away from the goal and falls to its end.
  auto members = goodMembers();
  // The goal lies behind a wall: the walker paces until time is up.
  const Image away = stageImage({"####################", "#...#G.............#"}, walkerAt1);
  members[2].bytes = std::string(reinterpret_cast<const char*>(away.data()), StageMapSize);
  members.push_back({"shared/replay/02.dat", std::string(600, '\0')});
  ASSERT_EQ(import(writeArchive(makeArchive(members))), 0) << said_;
  EXPECT_NE(printed_.find("stage 02: its solution does not clear it\nverified: 1 of 2\n"), std::string::npos)
      << printed_;
}

TEST_F(Share, NamesTakenAreRefusedUnlessReplaced) {
  const std::string path = writeArchive(makeArchive(goodMembers()));
  ASSERT_EQ(import(path), 0);
  const auto first = tree(user());
  expectRefusedKeeping(path, "a pack named Shared is there already");
  EXPECT_EQ(tree(user()), first);

  // --replace puts the new one in place of the old, whole.
  auto members = goodMembers();
  members.push_back({"shared/map/map03.fmf", stage()});
  ASSERT_EQ(import(writeArchive(makeArchive(members), "v2.zip"), true), 0) << said_;
  EXPECT_EQ(readPackVerdict((user() / "shared").string()).stages, 3);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(user()), {}), 1);

  // The built-in pack's name and an installed pack's never.
  writePack(installed() / "extra", "Extra", 1);
  for (const char* name : {"Wendlop", "extra"}) {
    auto named = goodMembers();
    named[0].bytes = ini(name);
    EXPECT_EQ(import(writeArchive(makeArchive(named), "named.zip"), true), 1) << name;
  }
}

TEST_F(Share, HostileAndDamagedArchivesAreRefusedAndLeaveNothing) {
  std::filesystem::remove_all(user());
  std::filesystem::create_directories(user());
  struct Case {
    const char* what;
    std::vector<Member> members;
    const char* reason;
    bool tar = false;  // links and devices are tar's
  };
  auto with = [&](Member extra) {
    auto m = goodMembers();
    m.push_back(extra);
    return m;
  };
  auto replaced = [&](size_t i, std::string bytes) {
    auto m = goodMembers();
    m[i].bytes = std::move(bytes);
    return m;
  };
  Image twoStarts = stageImage(goalTiles, {"....................", ".>...<.............."});
  Image unknownTile = stageImage(goalTiles, walkerAt1);
  tileByte(unknownTile, 3, 3) = 200;
  Image unknownObject = stageImage(goalTiles, walkerAt1);
  objectByte(unknownObject, 3, 3) = 40;
  auto bytesOf = [](const Image& image) { return std::string(reinterpret_cast<const char*>(image.data()), StageMapSize); };
  const std::vector<Case> cases = {
      {"a path up and out", with({"shared/../../evil", "x"}), "is not a plain name"},
      {"a path up inside", with({"shared/map/../../x", "x"}), "is not a plain name"},
      {"an absolute name", with({"/etc/evil", "x"}), "is not a plain name"},
      {"a symbolic link", with({"shared/map/map03.fmf", "", AE_IFLNK, "/etc/passwd"}), "is a link"},
      {"a symbolic link in a tar", with({"shared/map/map03.fmf", "", AE_IFLNK, "../../x"}), "is a link", true},
      {"a hard link", with({"shared/map/map03.fmf", "", AE_IFREG, "shared/map/map01.fmf"}), "is a link", true},
      {"a device", with({"shared/dev", "", AE_IFCHR}), "is a link or no plain file", true},
      {"a huge member", with({"shared/map/map09.txt", std::string(5u << 20, 'a')}), "too large"},
      {"a stage one byte short", replaced(1, stage().substr(1)), "is 619 bytes long"},
      {"a long solution", replaced(3, std::string(21601, '\0')), "a solution has at most 21600"},
      {"two walker starts", replaced(1, bytesOf(twoStarts)), "has 2 walker starts"},
      {"an unknown tile", replaced(1, bytesOf(unknownTile)), "unknown tile code 200"},
      {"an unknown object", replaced(1, bytesOf(unknownObject)), "unknown object code 40"},
      {"a gap", with({"shared/map/map04.fmf", stage()}), "map/map04.fmf belongs to no stage"},
      {"a stranger file", with({"shared/run.sh", "#!/bin/sh"}), "run.sh, which is no file of a pack"},
      {"no pack.ini", {{"shared/map/map01.fmf", stage()}}, "it has no pack.ini"},
      {"two folders", with({"other/pack.ini", "x"}), "it has no pack.ini"},
      {"a bad name", replaced(0, "[pack]\nname = ../x\n"), "the name '../x'"},
      {"too deep", with({"shared/map/a/b.fmf", "x"}), "is not a plain name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    expectRefused(writeArchive(makeArchive(c.members, !c.tar), c.tar ? "in.tar.gz" : "in.zip"), c.reason);
  }
  // Damaged: not an archive, cut short, a byte changed, empty.
  // A text form that does not compress, so that a cut falls inside a member.
  std::string noise(12000, ' ');
  uint32_t seed = 12345;
  for (char& c : noise) c = static_cast<char>('a' + (seed = seed * 1103515245u + 12345u) % 26);
  auto noisy = goodMembers();
  noisy.push_back({"shared/map/map01.txt", noise});
  const std::string good = makeArchive(noisy, false);
  std::string changed = good;
  changed[changed.size() / 2] = static_cast<char>(changed[changed.size() / 2] ^ 0xFF);
  expectRefused(writeArchive("PK\x03\x04 not really"), "");
  expectRefused(writeArchive(good.substr(0, good.size() / 2), "cut.tar.gz"), "");
  expectRefused(writeArchive(changed, "changed.tar.gz"), "");
  const std::string zip = makeArchive(noisy);
  expectRefused(writeArchive(zip.substr(0, zip.size() / 4)), "");
  expectRefused(writeArchive(""), "");
  expectRefused((dir_ / "missing.zip").string(), "is missing");
  // More than 99 stages cannot be named; more members than a pack has are refused.
  std::vector<Member> crowd = goodMembers();
  for (int i = 0; i < 500; ++i) crowd.push_back({"shared/x" + std::to_string(i), ""});
  expectRefused(writeArchive(makeArchive(crowd)), "more than 400 members");
  expectRefused(writeArchive(makeArchive(with({"shared/map/map100.fmf", stage()}))), "no file of a pack");
}

TEST_F(Share, FoldersAreCheckedTheSameWay) {
  const auto folder = writePack(dir_ / "src" / "p", "Folder Pack", 2, {1});
  ASSERT_EQ(import(folder.string()), 0) << said_;
  EXPECT_EQ(read(user() / "folder-pack" / "map" / "map01.fmf"), read(folder / "map" / "map01.fmf"));
  std::filesystem::remove_all(user() / "folder-pack");
  std::filesystem::create_symlink("/etc/passwd", folder / "map" / "map03.fmf");
  expectRefused(folder.string(), "is a link");
}

TEST_F(Share, AnExportImportsBackByteForByte) {
  const auto folder = writePack(user() / "mine", "Mine", 3, {1, 3});
  std::ofstream(folder / "map" / "map02.txt") << "title Two\n";
  std::ofstream(folder / "pack.ini") << "[pack]\nname = Mine\nauthor = Me\nlicense = CC0\nversion = 3\n"
                                        "description = three of mine\n";
  const auto original = tree(folder);
  findTestPacks();
  for (const char* name : {"out.zip", "out.tar.gz"}) {
    SCOPED_TRACE(name);
    const std::string archive = (dir_ / name).string();
    testing::internal::CaptureStdout();
    ASSERT_EQ(exportPack("Mine", archive, stdout), 0);
    testing::internal::GetCapturedStdout();
    // Exported twice, the same bytes.
    const std::string once = read(archive);
    testing::internal::CaptureStdout();
    ASSERT_EQ(exportPack("mine", archive, stdout), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(read(archive), once);

    ASSERT_EQ(import(archive, true), 0) << said_;
    auto back = tree(folder);
    // The import adds its verdict and nothing else.
    auto verdict = std::find_if(back.begin(), back.end(), [](const auto& f) { return f.first == "verified"; });
    ASSERT_NE(verdict, back.end());
    back.erase(verdict);
    EXPECT_EQ(back, original);
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(exportPack("Wendlop", (dir_ / "w.zip").string(), stdout), 1);
  EXPECT_EQ(exportPack("Nobody", (dir_ / "n.zip").string(), stdout), 1);
  EXPECT_EQ(exportPack("Mine", (dir_ / "m.rar").string(), stdout), 1);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 3) << said;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "w.zip"));
}

}  // namespace
