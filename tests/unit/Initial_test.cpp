// Loading and saving the settings and the message of the day with real files.
#include "core/Initial.h"

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "JapaneseTexts.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class InitialTest : public ::testing::Test {
  protected:
    TTempFolder folder_;
    void SetUp() override {
        directory_ = folder_.Path();
        files_ = TSettingsFiles::ForExecutable(directory_ / "TavoServerDaemon");
    }

    static void Write(const fs::path& file, const std::string& content) {
        std::ofstream(file, std::ios::binary) << content;
    }
    static std::string Read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    TSettings Load() const {
        TSettings settings;
        LoadSettings(settings, files_);
        return settings;
    }

    fs::path directory_;
    TSettingsFiles files_;
};

TEST(SettingsFilesTest, NamedAfterTheExecutable) {
    const auto daemon = TSettingsFiles::ForExecutable("/opt/tavo/TavoServerDaemon");
    EXPECT_EQ(daemon.Ini, "/opt/tavo/TavoServerDaemon.Ini");
    EXPECT_EQ(daemon.Motd, "/opt/tavo/MOTD.txt");
    EXPECT_EQ(TSettingsFiles::ForExecutable("/opt/tavo/TavoServer.exe").Ini,
              "/opt/tavo/TavoServer.Ini");
}

TEST_F(InitialTest, WithoutFilesTheDefaultsAndBuiltInLinesApply) {
    const TSettings settings = Load();
    EXPECT_EQ(settings.ServerName, "TavoServer");
    EXPECT_EQ(settings.ServerInfo, "Simple IRC Server for Win32");
    EXPECT_EQ(settings.Port, 6667);
    EXPECT_EQ(settings.MaxConnection, 10);
    EXPECT_EQ(settings.PingInterval, 120);
    EXPECT_EQ(settings.MaxChannel, 5);
    EXPECT_EQ(settings.MotdLines,
              (Lines{std::string(Texts::MotdDefaultLine1), std::string(Texts::MotdDefaultLine2)}));
}

TEST_F(InitialTest, NumbersFollowTheHexadecimalAndDefaultRules) {
    constexpr int32_t kDefault = 5;  // MaxChannel's built-in value
    // clang-format off
    const std::pair<const char*, int32_t> cases[] = {
        {"0x1A0B", 6667}, {"0X1a0b", 6667}, {"$1A0B", 6667}, {"7000", 7000}, {"-5", -5},
        {"+7", 7}, {"0x1", 1}, {"2147483647", 2147483647},
        {"abc", kDefault}, {"0x", kDefault}, {"$", kDefault}, {"", kDefault},
        {"12abc", kDefault}, {"0x1G", kDefault}, {"$-1", kDefault}, {"+-1", kDefault},
        {"--1", kDefault}, {"1 2", kDefault}, {"2147483648", kDefault}, {"$80000000", kDefault},
    };
    // clang-format on
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        Write(files_.Ini, std::string("[Global]\nMaxChannel=") + text + "\n");
        TSettings settings;
        settings.MaxChannel = 99;  // the default is the built-in value, not the current one
        LoadSettings(settings, files_);
        EXPECT_EQ(settings.MaxChannel, expected);
    }
}

TEST_F(InitialTest, EachNumberIsReadFromItsOwnKey) {
    Write(files_.Ini, "[Global]\r\nPort=0x1A0B\r\nMaxConnection=abc\r\nPingInterval=$3C\r\n");
    const TSettings settings = Load();
    EXPECT_EQ(settings.Port, 6667);
    EXPECT_EQ(settings.MaxConnection, 10);
    EXPECT_EQ(settings.PingInterval, 60);
}

TEST(SplitMotdTest, LinesEndAtCrLfOrCrLfAndAtAZeroByte) {
    EXPECT_EQ(SplitMotd("a\rb\nc\r\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitMotd("a\r\n\r\nb\n\rc\r\n"), (Lines{"a", "", "b", "", "c"}));
    EXPECT_EQ(SplitMotd(std::string_view("ab\r\ncd\0ef\r\ngh", 14)), (Lines{"ab", "cd"}));
    EXPECT_EQ(SplitMotd(std::string_view("\0ab", 3)), Lines{});
    EXPECT_EQ(SplitMotd(""), Lines{});
    EXPECT_EQ(SplitMotd("\r\n"), Lines{""});
}

TEST_F(InitialTest, MotdFileReplacesTheBuiltInLines) {
    Write(files_.Motd, "first\rsecond\n");
    EXPECT_EQ(Load().MotdLines, (Lines{"first", "second"}));
    Write(files_.Motd, "");
    EXPECT_EQ(Load().MotdLines, Lines{});
}

TEST_F(InitialTest, SavedSettingsLoadBack) {
    TSettings saved;
    saved.ServerName = "\x83\x5e\x83\x7b.example";  // code page 932 bytes stay as they are
    saved.ServerInfo = "An IRC server";
    saved.Port = 7001;
    saved.MaxConnection = -3;
    saved.PingInterval = 0;
    saved.MaxChannel = 12;
    saved.MotdLines = {"line one", "", "\x83\x5e line three"};
    SaveSettings(saved, files_);

    const TSettings loaded = Load();
    EXPECT_EQ(loaded.ServerName, saved.ServerName);
    EXPECT_EQ(loaded.ServerInfo, saved.ServerInfo);
    EXPECT_EQ(loaded.Port, saved.Port);
    EXPECT_EQ(loaded.MaxConnection, saved.MaxConnection);
    EXPECT_EQ(loaded.PingInterval, saved.PingInterval);
    EXPECT_EQ(loaded.MaxChannel, saved.MaxChannel);
    EXPECT_EQ(loaded.MotdLines, saved.MotdLines);
    EXPECT_EQ(Read(files_.Motd), "line one\r\n\r\n\x83\x5e line three\r\n");
    EXPECT_EQ(Read(files_.Ini),
              "[Global]\r\nServerName=\x83\x5e\x83\x7b.example\r\nServerInfo=An IRC server\r\n"
              "Port=7001\r\nMaxConnection=-3\r\nPingInterval=0\r\nMaxChannel=12\r\n");
}

TEST_F(InitialTest, SavingKeepsTheRestOfAHandWrittenFile) {
    Write(files_.Ini,
          "; TavoServer settings\n[Window]\nLeft=10\n\n[GLOBAL]\nservername = Old Name\n"
          "; the port\nPort=0x1A0B\nExtra=kept\n\n[Other]\nPort=1\n");
    TSettings settings = Load();
    settings.ServerName = "New";
    SaveSettings(settings, files_);
    EXPECT_EQ(Read(files_.Ini),
              "; TavoServer settings\n[Window]\nLeft=10\n\n[GLOBAL]\nservername = New\n"
              "; the port\nPort=6667\nExtra=kept\nServerInfo=Simple IRC Server for Win32\n"
              "MaxConnection=10\nPingInterval=120\nMaxChannel=5\n\n[Other]\nPort=1\n");
}

TEST_F(InitialTest, UnwritableIniStopsWithTheErrorText) {
    const fs::path notADirectory = directory_ / "file";
    Write(notADirectory, "");
    const TSettingsFiles files{notADirectory / "TavoServer.Ini", directory_ / "MOTD.txt"};
    const std::string expected = files.Ini.string() + std::string(Texts::CannotWriteFile.substr(2));
    ASSERT_TRUE(Texts::CannotWriteFile.starts_with("%s"));
    try {
        SaveSettings(TSettings{}, files);
        ADD_FAILURE() << "SaveSettings did not throw";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), expected);
    }
    EXPECT_FALSE(fs::exists(files.Motd));
}

}  // namespace
