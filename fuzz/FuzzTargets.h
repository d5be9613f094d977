// The fuzz targets: each entry function takes one input of any bytes, drives one
// part of the server with it and checks what that part promises, throwing
// TCheckFailure when a promise is broken. The libFuzzer programs (FuzzerMain.cpp)
// and the replay test of the kept inputs run the same functions.
#pragma once

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace fuzz {

class TCheckFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& what);
inline void Require(bool condition, std::string_view what) {
    if (!condition)
        Fail(std::string(what));
}

using TEntry = void (*)(std::string_view input);

struct TTarget {
    std::string_view Name;  // also the name of its folders under fuzz/corpus and fuzz/regressions
    TEntry Entry;
};

void FuzzLineParser(std::string_view input);
void FuzzReceiveFraming(std::string_view input);
void FuzzIniFile(std::string_view input);
void FuzzMotdFile(std::string_view input);
void FuzzVersionBlock(std::string_view input);
void FuzzDispatcher(std::string_view input);

std::span<const TTarget> Targets();
// The target of that name; nullptr when there is none.
const TTarget* FindTarget(std::string_view name);

}  // namespace fuzz
