// Reading whole files within a limit, and writing files so that no crash, full
// disc or second writer ever leaves a broken file or a heap of temporary ones.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/bytes.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "wendlop-files-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream out(dir_ / name, std::ios::binary);
    out << bytes;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Files in the folder whose names hold ".tmp".
  int temporaries() const {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(dir_))
      n += entry.path().filename().string().find(".tmp") != std::string::npos;
    return n;
  }
  fs::path dir_;
};

TEST(Bytes, LittleAndBigEndianFromAnyAddress) {
  const uint8_t b[] = {0x00, 0x12, 0x34, 0x56, 0x78, 0x9A};
  EXPECT_EQ(readLe16(b + 1), 0x3412);
  EXPECT_EQ(readLe32(b + 1), 0x78563412u);
  EXPECT_EQ(readBe32(b + 1), 0x12345678u);
  EXPECT_EQ(readLe32(b + 2), 0x9A785634u);  // the top bit set is no sign
}

TEST_F(Files, WholeFileUpToTheLimitWithTheSystemsReason) {
  std::vector<uint8_t> bytes = {9};
  std::string why;
  write("ten", "0123456789");
  ASSERT_EQ(sysReadWholeFile(path("ten").c_str(), 100, &bytes, &why), SysReadOk);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123456789");
  // A longer file gives its first `limit` bytes and no more.
  ASSERT_EQ(sysReadWholeFile(path("ten").c_str(), 4, &bytes, &why), SysReadOk);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123");
  write("empty", "");
  ASSERT_EQ(sysReadWholeFile(path("empty").c_str(), 4, &bytes, &why), SysReadOk);
  EXPECT_TRUE(bytes.empty());
  // Larger than one read's chunk.
  const std::string big(200000, 'x');
  write("big", big);
  ASSERT_EQ(sysReadWholeFile(path("big").c_str(), 1 << 20, &bytes, &why), SysReadOk);
  EXPECT_EQ(bytes.size(), big.size());

  EXPECT_EQ(sysReadWholeFile(path("none").c_str(), 4, &bytes, &why), SysReadMissing);
  EXPECT_EQ(why, "is missing");
  EXPECT_EQ(sysReadWholeFile(dir_.c_str(), 4, &bytes, &why), SysReadFailed);
  EXPECT_EQ(why, "is a folder, not a file");
  // A path through a file: the system's own words.
  EXPECT_EQ(sysReadWholeFile(path("ten/x").c_str(), 4, &bytes, &why), SysReadFailed);
  EXPECT_EQ(why, "cannot be read (Not a directory)");
  // A named pipe would hold the game until something wrote to it.
  ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
  EXPECT_EQ(sysReadWholeFile(path("pipe").c_str(), 4, &bytes, &why), SysReadFailed);
  EXPECT_EQ(why, "is not a plain file");
  EXPECT_TRUE(bytes.empty());
}

TEST_F(Files, FirstReportOnlyOncePerKey) {
  const std::string key = path("some file");
  EXPECT_TRUE(sysFirstReport(key));
  EXPECT_FALSE(sysFirstReport(key));
  EXPECT_TRUE(sysFirstReport(key + "2"));
}

TEST_F(Files, AtomicWriteReplacesWholeAndLeavesNoTemporaryFile) {
  const std::string target = path("deep/er/file.dat");
  std::string why;
  ASSERT_TRUE(sysWriteFileAtomic(target.c_str(), "old", 3, &why)) << why;
  ASSERT_TRUE(sysWriteFileAtomic(target.c_str(), "newer", 5, &why)) << why;
  EXPECT_EQ(read("deep/er/file.dat"), "newer");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "deep" / "er"), {}), 1);

  // A stale temporary file of a save that was killed is taken over.
  write("deep/er/file.dat.tmp", "half a fi");
  ASSERT_TRUE(sysWriteFileAtomic(target.c_str(), "again", 5, &why)) << why;
  EXPECT_EQ(read("deep/er/file.dat"), "again");
  EXPECT_FALSE(fs::exists(dir_ / "deep" / "er" / "file.dat.tmp"));

  // A folder that cannot be made, with the system's reason.
  write("plain", "x");
  EXPECT_FALSE(sysWriteFileAtomic(path("plain/sub/file.dat").c_str(), "x", 1, &why));
  EXPECT_EQ(why, "cannot be written: its folder cannot be made (Not a directory)");
  // The temporary name taken by something that is not a file.
  fs::create_directories(dir_ / "blocked.tmp");
  EXPECT_FALSE(sysWriteFileAtomic(path("blocked").c_str(), "x", 1, &why));
  EXPECT_EQ(why, "cannot be written (Is a directory)");
  EXPECT_FALSE(fs::exists(dir_ / "blocked"));
}

// A full disc, as a limit on the size of files this process may write: the
// old file stays whole and no temporary file is left.
TEST_F(Files, AFullDiscKeepsTheOldFile) {
  write("file.dat", "old contents");
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    const std::vector<uint8_t> data(21600, 7);
    std::string why;
    const bool ok = sysWriteFileAtomic(path("file.dat").c_str(), data.data(), data.size(), &why);
    if (::write(pipeEnds[1], why.data(), why.size()) < 0) _exit(3);
    _exit(ok ? 1 : 0);
  }
  close(pipeEnds[1]);
  char said[200] = {};
  const ssize_t n = ::read(pipeEnds[0], said, sizeof said - 1);
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write claimed success";
  EXPECT_EQ(std::string(said, n > 0 ? n : 0), "cannot be written (File too large)");
  EXPECT_EQ(read("file.dat"), "old contents");
  EXPECT_EQ(temporaries(), 0);
}

// Saves killed at random moments: the file is always a whole old or new one,
// and at most one temporary file is ever left beside it.
TEST_F(Files, SavesKilledAtRandomLeaveAWholeFileAndOneTemporaryAtMost) {
  const std::string target = path("07.dat");
  std::mt19937 random(16);
  for (int kill = 0; kill < 40; ++kill) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::vector<uint8_t> data(21600);
      for (uint8_t round = 1;; ++round) {
        std::fill(data.begin(), data.end(), round);
        sysWriteFileAtomic(target.c_str(), data.data(), data.size());
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    ::kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_LE(temporaries(), 1) << "after kill " << kill;
    if (!fs::exists(target)) continue;  // killed before its first rename
    const std::string bytes = read("07.dat");
    ASSERT_EQ(bytes.size(), 21600u) << "after kill " << kill;
    ASSERT_EQ(bytes.find_first_not_of(bytes[0]), std::string::npos) << "a mixed file after kill " << kill;
  }
}

// Two games saving the same replay at the same moment take turns: the file is
// always one writer's whole.
TEST_F(Files, TwoWritersOfOneFileNeverMixTheirBytes) {
  const std::string target = path("03.dat");
  pid_t writers[2];
  for (int w = 0; w < 2; ++w) {
    writers[w] = fork();
    ASSERT_GE(writers[w], 0);
    if (writers[w] == 0) {
      const std::vector<uint8_t> data(21600, static_cast<uint8_t>('a' + w));
      for (;;) sysWriteFileAtomic(target.c_str(), data.data(), data.size());
    }
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  int checked = 0;
  while (std::chrono::steady_clock::now() < until) {
    const std::string bytes = read("03.dat");
    if (bytes.empty()) continue;  // not written yet
    ASSERT_EQ(bytes.size(), 21600u);
    ASSERT_EQ(bytes.find_first_not_of(bytes[0]), std::string::npos) << "mixed bytes";
    ++checked;
  }
  for (pid_t w : writers) {
    ::kill(w, SIGKILL);
    waitpid(w, nullptr, 0);
  }
  EXPECT_GT(checked, 0);
  EXPECT_LE(temporaries(), 1);
}

}  // namespace
