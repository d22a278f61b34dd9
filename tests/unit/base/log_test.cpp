// The log: whole, stamped lines; a file that never outgrows its cap; and
// failures that stay inside the log.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/log.h"

namespace tavrin {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() /
             ("tavrin-log-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  static Lines Read(const fs::path& path) {
    Lines lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  fs::path folder;
};

struct Recorder final : LogOutput {
  void write(const char* line, size_t length) noexcept override { text.append(line, length); }
  std::string text;
};

TEST_F(LogFile, WritesOneStampedLinePerCallAtOrAboveTheMinimumLevel) {
  FileLogOutput file(folder / "tavrin.log");
  Log log({&file}, LogLevel::Info);
  const std::time_t before = std::time(nullptr);
  log.write(LogLevel::Info, "listener up on %s:%d", "0.0.0.0", 1978);
  log.write(LogLevel::Debug, "not wanted");
  log.write(LogLevel::Error, "peer sent %s", "a\nforged line");
  log.write(LogLevel::Warning, "%s", std::string(2 * Log::kLineCapacity, 'x').c_str());

  Lines lines = Read(folder / "tavrin.log");
  ASSERT_EQ(lines.size(), 3u);
  const std::regex stamped(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\.\d{3} (INFO |ERROR|WARN ) (.*))");
  std::smatch parts;
  ASSERT_TRUE(std::regex_match(lines[0], parts, stamped)) << lines[0];
  EXPECT_EQ(parts[2], "INFO ");
  EXPECT_EQ(parts[3], "listener up on 0.0.0.0:1978");
  // The stamp is this machine's local time, now.
  std::tm stamp{};
  std::istringstream(parts[1].str()) >> std::get_time(&stamp, "%Y-%m-%d %H:%M:%S");
  stamp.tm_isdst = -1;
  EXPECT_LE(std::abs(std::difftime(std::mktime(&stamp), before)), 5.0);

  ASSERT_TRUE(std::regex_match(lines[1], parts, stamped)) << lines[1];
  EXPECT_EQ(parts[2], "ERROR");
  EXPECT_EQ(parts[3], "peer sent a?forged line");
  ASSERT_TRUE(std::regex_match(lines[2], parts, stamped)) << lines[2];
  EXPECT_EQ(lines[2].size() + 1, Log::kLineCapacity);  // cut, newline kept
}

// Four lines fit under the cap; the fifth moves them to tavrin.old.log, and
// the ninth replaces that older file. A second run continues the file.
TEST_F(LogFile, RotatesAtTheCapKeepingOneOlderFile) {
  const fs::path path = folder / "tavrin.log";
  const fs::path older = folder / "tavrin.old.log";
  const std::string body(100 - 30, 'x');  // 30 bytes of stamp and level
  auto writeLines = [&](int from, int to) {
    FileLogOutput file(path, 400);
    Log log({&file});
    for (int i = from; i < to; ++i) log.write(LogLevel::Info, "%03d %.*s", i, 100 - 35, body.c_str());
  };
  writeLines(0, 6);
  writeLines(6, 10);  // restarted: the 2 lines already there count

  auto numbers = [&](const fs::path& file) {
    std::vector<int> found;
    for (const auto& line : Read(file)) {
      EXPECT_EQ(line.size() + 1, 100u) << line;
      found.push_back(std::stoi(line.substr(30, 3)));
    }
    return found;
  };
  EXPECT_EQ(numbers(older), (std::vector<int>{4, 5, 6, 7}));
  EXPECT_EQ(numbers(path), (std::vector<int>{8, 9}));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

// Both files always say which run wrote them, and neither passes the cap
// as counted on disk.
TEST_F(LogFile, EachNewFileBeginsWithTheRunsKeptLines) {
  const fs::path path = folder / "tavrin.log";
  // An earlier run left the file so near its cap that the start line itself
  // begins the next file: it must not be there twice.
  std::ofstream(path) << std::string(989, 'x') << '\n';
  FileLogOutput file(path, 1000);
  Log log({&file});
  log.writeKept(LogLevel::Info, "Tavrin started");
  log.writeKept(LogLevel::Info, "serving: version 1.5.0.0");
  EXPECT_EQ(Read(path).size(), 2u);
  for (int i = 0; i < 200; ++i) {
    log.write(LogLevel::Info, "phone %03d connected", i);
    ASSERT_LE(fs::file_size(path), 1000u);
  }
  for (const fs::path& one : {path, folder / "tavrin.old.log"}) {
    const Lines lines = Read(one);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(lines[0].find("Tavrin started"), std::string::npos) << one;
    EXPECT_NE(lines[1].find("serving: version"), std::string::npos) << one;
    EXPECT_NE(lines[2].find("phone"), std::string::npos) << one;
  }
  EXPECT_NE(Read(path).back().find("phone 199"), std::string::npos);
}

TEST_F(LogFile, UnwritablePathLosesOnlyItsOwnLines) {
  std::ofstream(folder / "plain-file") << "not a folder";
  FileLogOutput file(folder / "plain-file" / "tavrin.log", 300);
  Recorder recorder;
  Log log({&file, &recorder});
  for (int i = 0; i < 10; ++i) log.write(LogLevel::Error, "line %d", i);
  EXPECT_EQ(std::count(recorder.text.begin(), recorder.text.end(), '\n'), 10);
}

// The worker and the main thread log at once, across rotations.
TEST_F(LogFile, ConcurrentWritersKeepLinesWholeAndTheCap) {
  FileLogOutput file(folder / "tavrin.log", 2000);
  Log log({&file});
  auto writer = [&](const char* who) {
    for (int i = 0; i < 300; ++i) log.write(LogLevel::Info, "%s %04d", who, i);
  };
  std::thread worker(writer, "worker");
  writer("main..");
  worker.join();
  const std::regex whole(R"(\S+ \S+ INFO  (worker|main\.\.) \d{4})");
  for (const fs::path& path : {file.path(), file.olderPath()}) {
    EXPECT_LE(fs::file_size(path), 2000u);
    for (const auto& line : Read(path)) EXPECT_TRUE(std::regex_match(line, whole)) << line;
  }
}

}  // namespace
}  // namespace tavrin
