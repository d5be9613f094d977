// Every input kept for the fuzz targets, their seed corpora and the inputs that once
// broke them (fuzz/corpus/<target>, fuzz/regressions/<target>), runs through its
// target in every flavour of the normal build, so that a fault found once stays fixed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/FuzzTargets.h"

namespace fuzz {

// Names the target in the test's messages.
void PrintTo(const TTarget& target, std::ostream* out) {
    *out << target.Name;
}

}  // namespace fuzz

namespace {

const std::filesystem::path kFuzzFolder = std::filesystem::path(TAVO_SOURCE_DIR) / "fuzz";

std::vector<std::filesystem::path> KeptInputs(std::string_view target) {
    std::vector<std::filesystem::path> files;
    for (const char* kind : {"corpus", "regressions"}) {
        const auto folder = kFuzzFolder / kind / target;
        if (!std::filesystem::is_directory(folder))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.is_regular_file())
                files.push_back(entry.path());
        }
    }
    return files;
}

std::string Content(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FuzzRegressions : public testing::TestWithParam<fuzz::TTarget> {};

TEST_P(FuzzRegressions, EveryKeptInputPassesItsTarget) {
    const fuzz::TTarget& target = GetParam();
    const auto files = KeptInputs(target.Name);
    EXPECT_FALSE(files.empty()) << "no seed corpus for " << target.Name;
    for (const auto& file : files) {
        try {
            target.Entry(Content(file));
        } catch (const fuzz::TCheckFailure& failure) {
            ADD_FAILURE() << file << ": " << failure.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegressions,
                         testing::ValuesIn(fuzz::Targets().begin(), fuzz::Targets().end()),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
