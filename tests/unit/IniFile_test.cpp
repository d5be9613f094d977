// Reading and writing ini files: name matching, trimming, the value cap, and writes
// that leave the rest of the file untouched.
#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;
using platform::GetProfileString;
using platform::WriteProfileString;

class IniFileTest : public ::testing::Test {
  protected:
    TTempFolder folder_;
    void SetUp() override {
        directory_ = folder_.Path();
        ini_ = directory_ / "Settings.Ini";
    }

    void WriteIni(const std::string& content) { std::ofstream(ini_, std::ios::binary) << content; }
    std::string ReadIni() const {
        std::ifstream in(ini_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::string Get(std::string_view section, std::string_view key) const {
        return GetProfileString(ini_, section, key, "default");
    }

    fs::path directory_;
    fs::path ini_;
};

TEST_F(IniFileTest, NamesMatchWithoutRegardToLetterCase) {
    WriteIni("[gLoBaL]\r\nservername=Tavo\r\n");
    EXPECT_EQ(Get("Global", "ServerName"), "Tavo");
    EXPECT_EQ(Get("GLOBAL", "SERVERNAME"), "Tavo");
}

TEST_F(IniFileTest, ValuesAreTrimmedAndLoseOnePairOfQuotes) {
    WriteIni(
        "[Global]\n  Name \t=  two  words \t\nQuoted=\"kept inside \"\n"
        "Single='x'\nHalf=\"x\nEmpty=\n");
    EXPECT_EQ(Get("Global", "Name"), "two  words");
    EXPECT_EQ(Get("Global", "Quoted"), "kept inside ");
    EXPECT_EQ(Get("Global", "Single"), "x");
    EXPECT_EQ(Get("Global", "Half"), "\"x");
    EXPECT_EQ(Get("Global", "Empty"), "");
}

TEST_F(IniFileTest, OnlyKeysOfTheNamedSectionCount) {
    WriteIni(
        "Port=1\n[Other]\nPort=2\n[Global]\n;Port=3\n# not a key\nMaxChannel=4\n"
        "[Global]\nPort=5\n[Later]\nPort=6\n");
    EXPECT_EQ(Get("Global", "MaxChannel"), "4");
    EXPECT_EQ(Get("Global", "Port"), "default");  // the first [Global] has no Port
    EXPECT_EQ(Get("Other", "Port"), "2");
}

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(Get("Global", "Port"), "default");
    EXPECT_EQ(GetProfileString(ini_, "Global", "Port", "6667  "), "6667");
    WriteIni("[Global]\nPort=7000\n");
    EXPECT_EQ(Get("Global", "MaxChannel"), "default");
    EXPECT_EQ(Get("Missing", "Port"), "default");
}

TEST_F(IniFileTest, AtMost2047BytesOfAValueAreSeen) {
    const std::string value = std::string(2000, 'a') + std::string(100, 'b');
    WriteIni("[Global]\nServerName=" + value + "\n");
    EXPECT_EQ(Get("Global", "ServerName"), value.substr(0, 2047));
    EXPECT_EQ(GetProfileString(ini_, "Global", "Key", std::string(3000, 'd')).size(), 2047u);
}

TEST_F(IniFileTest, WritingCreatesTheFile) {
    ASSERT_TRUE(WriteProfileString(ini_, "Global", "Port", "7000"));
    ASSERT_TRUE(WriteProfileString(ini_, "Global", "MaxChannel", "9"));
    EXPECT_EQ(ReadIni(), "[Global]\r\nPort=7000\r\nMaxChannel=9\r\n");
}

TEST_F(IniFileTest, WritingChangesOnlyTheValue) {
    WriteIni(
        "; settings\n[Other]\nPort=1\n\n[global]\nPORT =  6667  \nName=x\n\n"
        "; next\n[Later]\nKey=v");
    ASSERT_TRUE(WriteProfileString(ini_, "Global", "Port", "7000"));
    EXPECT_EQ(ReadIni(),
              "; settings\n[Other]\nPort=1\n\n[global]\nPORT =  7000\nName=x\n\n"
              "; next\n[Later]\nKey=v");
}

TEST_F(IniFileTest, NewKeyGoesAfterTheLastLineOfItsSection) {
    WriteIni("[Global]\r\nPort=1\r\n\r\n[Later]\r\nKey=v\r\n");
    ASSERT_TRUE(WriteProfileString(ini_, "Global", "MaxChannel", "5"));
    EXPECT_EQ(ReadIni(), "[Global]\r\nPort=1\r\nMaxChannel=5\r\n\r\n[Later]\r\nKey=v\r\n");
}

TEST_F(IniFileTest, NewSectionGoesToTheEndInTheFilesLineEndStyle) {
    WriteIni("[Other]\nKey=v");
    ASSERT_TRUE(WriteProfileString(ini_, "Global", "Port", "7000"));
    EXPECT_EQ(ReadIni(), "[Other]\nKey=v\n[Global]\nPort=7000\n");
    EXPECT_EQ(Get("Global", "Port"), "7000");
}

TEST_F(IniFileTest, ALastLineEndingInCrKeepsItsValueWhenALineFollowsIt) {
    // A lone LF after the CR would turn the two into one line end and take the CR from
    // the value; the line gets CR LF instead, whatever the file's own style.
    WriteIni("[Other]\nKey=v\r");
    ASSERT_TRUE(WriteProfileString(ini_, "Global", "Port", "7000"));
    EXPECT_EQ(ReadIni(), "[Other]\nKey=v\r\r\n[Global]\nPort=7000\n");
    EXPECT_EQ(Get("Other", "Key"), "v\r");

    WriteIni("[Other]\nKey=v\r");
    ASSERT_TRUE(WriteProfileString(ini_, "Other", "Port", "7000"));
    EXPECT_EQ(ReadIni(), "[Other]\nKey=v\r\r\nPort=7000\n");
    EXPECT_EQ(Get("Other", "Key"), "v\r");
}

TEST_F(IniFileTest, UnwritablePathFails) {
    WriteIni("[Global]\n");
    EXPECT_FALSE(WriteProfileString(ini_ / "Inner.Ini", "Global", "Port", "1"));
    EXPECT_FALSE(WriteProfileString(directory_, "Global", "Port", "1"));
    EXPECT_EQ(ReadIni(), "[Global]\n");
}

}  // namespace

namespace {

TEST_F(IniFileTest, NamedPipeInPlaceOfTheFileIsNoFileAndNeverWaitedOn) {
    ASSERT_EQ(mkfifo(ini_.c_str(), 0600), 0);
    EXPECT_EQ(Get("Global", "Port"), "default");
    EXPECT_FALSE(WriteProfileString(ini_, "Global", "Port", "1"));
}

TEST_F(IniFileTest, WritingThroughALinkChangesTheLinkedFile) {
    const auto real = directory_ / "Real.Ini";
    std::ofstream(real, std::ios::binary) << "[Global]\r\nPort=1\r\n";
    fs::create_symlink(real, ini_);
    ASSERT_TRUE(WriteProfileString(ini_, "Global", "Port", "2"));
    EXPECT_TRUE(fs::is_symlink(ini_));
    EXPECT_EQ(GetProfileString(real, "Global", "Port", ""), "2");
}

}  // namespace
