// The table of fuzz targets and the failure of a check.
#include "fuzz/FuzzTargets.h"

#include <array>

namespace fuzz {

namespace {

constexpr std::array kTargets{
    TTarget{"line_parser", FuzzLineParser},     TTarget{"receive_framing", FuzzReceiveFraming},
    TTarget{"ini_file", FuzzIniFile},           TTarget{"motd_file", FuzzMotdFile},
    TTarget{"version_block", FuzzVersionBlock}, TTarget{"dispatcher", FuzzDispatcher},
};

}  // namespace

void Fail(const std::string& what) {
    throw TCheckFailure(what);
}

std::span<const TTarget> Targets() {
    return kTargets;
}

const TTarget* FindTarget(std::string_view name) {
    for (const TTarget& target : kTargets) {
        if (target.Name == name)
            return &target;
    }
    return nullptr;
}

}  // namespace fuzz
