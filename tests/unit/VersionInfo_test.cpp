// Version blocks: encoding and decoding, the ELF section lookup, the path queries and
// ReadVersionString on this test program, the service program and a file without one.
#include "platform/VersionInfo.h"

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "JapaneseTexts.h"
#include "core/GetVerInfoUnit.h"
#include "platform/ExecutablePath.h"

namespace {

namespace fs = std::filesystem;
using platform::ParseVersionBlock;
using platform::QueryVersionValue;
using platform::ReadVersionBlock;
using platform::VersionNumber;

// This test program's own block, with a translation other than the usual one so that
// ReadVersionString has to take it from the block.
constexpr platform::VersionString kTestStrings[] = {
    {"FileVersion", "9.8.7.6"},
    {"ProductVersion", "9.87"},
    {"Comments", ""},
};
constexpr platform::VersionBlockSource kTestVersion{
    .FileVersion = {9, 8, 7, 6},
    .ProductVersion = {1, 2, 3, 65535},
    .Strings = kTestStrings,
    .Language = 0x0409,
    .CodePage = 0x04b0,
};
TAVO_VERSION_BLOCK(kTestVersion);

constexpr platform::VersionString kJapaneseStrings[] = {{"ProductVersion", "0.652"}};
constexpr platform::VersionBlockSource kJapaneseVersion{
    .FileVersion = {0, 6, 5, 2}, .ProductVersion = {0, 6, 5, 2}, .Strings = kJapaneseStrings};
constexpr auto kJapaneseImage =
    platform::EncodeVersionBlock<platform::EncodedVersionBlockSize(kJapaneseVersion)>(
        kJapaneseVersion);

TEST(VersionInfoTest, ThisProgramCarriesItsBlock) {
    const fs::path self = platform::RunningExecutablePath();
    EXPECT_EQ(self.filename(), "VersionInfo_test");
    const auto block = ReadVersionBlock(self);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->FileVersion, (VersionNumber{9, 8, 7, 6}));
    EXPECT_EQ(block->ProductVersion, (VersionNumber{1, 2, 3, 65535}));
    EXPECT_EQ(block->Language, 0x0409);
    EXPECT_EQ(block->CodePage, 0x04b0);
    EXPECT_EQ(block->Strings.size(), 3u);
    EXPECT_EQ(ReadVersionString(self, "ProductVersion"), "9.87");
    EXPECT_EQ(ReadVersionString(self, "Comments"), "");
    EXPECT_EQ(ReadVersionString(self, "CompanyName"), "");
}

TEST(VersionInfoTest, ServiceProgramReportsItsVersion) {
    const fs::path daemon = TAVO_DAEMON_PATH;
    EXPECT_EQ(ReadVersionString(daemon, "ProductVersion"), "0.652");
    EXPECT_EQ(ReadVersionString(daemon, "FileVersion"), "0.6.5.2");
    EXPECT_EQ(ReadVersionString(daemon, "InternalName"), "TavoServerDaemon");
    EXPECT_EQ(ReadVersionString(daemon, "OriginalFilename"), "TavoServerDaemon.exe");
    EXPECT_EQ(ReadVersionString(daemon, "FileDescription"), Texts::DaemonFileDescription);
    EXPECT_EQ(ReadVersionString(daemon, "Comments"), Texts::DaemonComments);
    const auto block = ReadVersionBlock(daemon);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->FileVersion, (VersionNumber{0, 6, 5, 2}));
    EXPECT_EQ(block->ProductVersion, (VersionNumber{0, 6, 5, 2}));
}

TEST(VersionInfoTest, QueriesNameTheTranslation) {
    const auto block = ParseVersionBlock(kJapaneseImage);
    ASSERT_TRUE(block);
    EXPECT_EQ(QueryVersionValue(*block, "\\VarFileInfo\\Translation"),
              std::string("\x11\x04\xa4\x03", 4));
    EXPECT_EQ(QueryVersionValue(*block, "\\StringFileInfo\\041103a4\\ProductVersion"), "0.652");
    EXPECT_EQ(QueryVersionValue(*block, "\\StringFileInfo\\041103A4\\ProductVersion"), "0.652");
    EXPECT_FALSE(QueryVersionValue(*block, "\\StringFileInfo\\040904b0\\ProductVersion"));
    EXPECT_FALSE(QueryVersionValue(*block, "\\StringFileInfo\\041103a4\\FileVersion"));
    EXPECT_FALSE(QueryVersionValue(*block, "\\StringFileInfo\\041103a4"));
    EXPECT_FALSE(QueryVersionValue(*block, "\\StringFileInfo\\0411003a4\\ProductVersion"));
    EXPECT_FALSE(QueryVersionValue(*block, "\\VarFileInfo"));
}

TEST(VersionInfoTest, EveryTruncatedBlockIsRejected) {
    ASSERT_TRUE(ParseVersionBlock(kJapaneseImage));
    for (std::size_t size = 0; size < kJapaneseImage.size(); ++size) {
        EXPECT_FALSE(ParseVersionBlock(std::span(kJapaneseImage.data(), size))) << size;
    }
}

TEST(VersionInfoTest, FilesWithoutTheSectionHaveNoBlock) {
    EXPECT_FALSE(ReadVersionBlock("/bin/sh"));
    EXPECT_EQ(ReadVersionString("/bin/sh", "ProductVersion"), "");

    const TTempFolder folder;
    const fs::path& directory = folder.Path();
    EXPECT_FALSE(ReadVersionBlock(directory / "missing"));
    EXPECT_FALSE(ReadVersionBlock(directory));
    std::ofstream(directory / "text", std::ios::binary) << "TAVOVER1 is not an ELF file\n";
    EXPECT_FALSE(ReadVersionBlock(directory / "text"));
    // The ELF header of this program without the rest: its section headers are missing.
    std::ifstream self(platform::RunningExecutablePath(), std::ios::binary);
    std::string header(64, '\0');
    self.read(header.data(), 64);
    std::ofstream(directory / "header", std::ios::binary) << header;
    EXPECT_FALSE(ReadVersionBlock(directory / "header"));
}

}  // namespace
