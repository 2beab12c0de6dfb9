// The log file on the real C runtime: its name, its sharing and its line ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <sstream>

#include "common/log/log.h"
#include "platform/handles.h"
#include "tests/support/log_parts.h"

namespace zv {
namespace {

std::string TempFolder() {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  std::string folder = std::string(base) + "zvlogtest" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> LogFiles(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  const zv::UniqueFind find(FindFirstFileA((folder + "\\*.log").c_str(), &data));
  if (!find) return names;
  do names.push_back(data.cFileName);
  while (FindNextFileA(find.get(), &data));
  return names;
}

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = TempFolder();
    saved_ = Output2FILE::Stream();
  }
  void TearDown() override {
    Output2FILE::Stream() = saved_;
    for (auto& name : LogFiles(folder_)) DeleteFileA((folder_ + "\\" + name).c_str());
    RemoveDirectoryA(folder_.c_str());
  }
  std::string folder_;
  FILE* saved_ = nullptr;
  std::vector<FILE*> opened_;
};

TEST_F(LogFileTest, NameLevelAndCrLfLines) {
  FILELog::ReportingLevel() = logDEBUG4;
  const std::time_t before = std::time(nullptr);
  ASSERT_TRUE(OpenLogFile(folder_, "app"));
  FILE* stream = Output2FILE::Stream();
  EXPECT_EQ(FILELog::ReportingLevel(), logDEBUG3);

  FILE_LOG(logINFO) << "ZedudeVeri started";
  FILE_LOG(logDEBUG2) << "two tabs";
  FILE_LOG(logDEBUG4) << "filtered";

  const auto files = LogFiles(folder_);
  ASSERT_EQ(files.size(), 1u);
  const std::string& name = files[0];
  // YYYYmmdd-HHMMSS_app.log, from the local time of the open.
  ASSERT_EQ(name.size(), 15u + 8u);
  EXPECT_EQ(name.substr(8, 1), "-");
  EXPECT_EQ(name.substr(15), "_app.log");
  char expected[32];
  std::strftime(expected, sizeof expected, "%Y%m%d", std::localtime(&before));
  EXPECT_EQ(name.substr(0, 8), expected);

  // Flushed after every line: readable while the file is still open.
  const std::string text = ReadAll(folder_ + "\\" + name);
  EXPECT_NE(text.find(" INFO: ZedudeVeri started\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" DEBUG2: \t\ttwo tabs\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("filtered"), std::string::npos);
  EXPECT_EQ(text.find("\n\n"), std::string::npos);
  fclose(stream);
}

TEST_F(LogFileTest, SecondOpenInTheSameSecondGetsNoFile) {
  // Retry until both opens fall into one second.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::time_t start = std::time(nullptr);
    ASSERT_TRUE(OpenLogFile(folder_, "app"));
    FILE* first = Output2FILE::Stream();
    const bool secondOpened = OpenLogFile(folder_, "app");
    FILE* second = Output2FILE::Stream();
    const bool sameSecond = std::time(nullptr) == start;
    if (second) fclose(second);
    fclose(first);
    if (!sameSecond) continue;
    EXPECT_FALSE(secondOpened);
    EXPECT_EQ(second, nullptr);
    // With the stream gone, logging formats and writes nothing.
    FILE_LOG(logINFO) << "lost";
    return;
  }
  FAIL() << "could not place two opens in one second";
}

TEST_F(LogFileTest, AgentAndControlSuffixesNeverCollide) {
  ASSERT_TRUE(OpenLogFile(folder_, "app"));
  FILE* agent = Output2FILE::Stream();
  ASSERT_TRUE(OpenLogFile(folder_, "ocx"));
  FILE* control = Output2FILE::Stream();
  FILE_LOG(logINFO) << "to the second file";
  fclose(agent);
  fclose(control);
  EXPECT_EQ(LogFiles(folder_).size(), 2u);
}

TEST_F(LogFileTest, OverlongPathOrNoFolderOpensNothing) {
  // No folder (an unresolved Documents folder) must not mean the drive root.
  for (const std::string& folder : {folder_ + "\\" + std::string(240, 'd'), std::string()}) {
    EXPECT_FALSE(OpenLogFile(folder, "app")) << folder;
    EXPECT_EQ(Output2FILE::Stream(), nullptr);
  }
}

// The product's C++ library is the reference here: 32-bit long, its pointer width.
TEST(LogPartsWin, FormattedAsTheStreamDid) { zv::test::ExpectPartsFormattedAsTheStreamDid(); }

TEST(LogTextWin, WideTextsUseTheAnsiCodePage) {
  EXPECT_EQ(LogText(u"exec option : -DebugLog 1"), "exec option : -DebugLog 1");
  EXPECT_EQ(LogText(u""), "");
}

}  // namespace
}  // namespace zv
