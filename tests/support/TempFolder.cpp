#include "tests/support/TempFolder.h"

#include <cstdlib>
#include <stdexcept>

TTempFolder::TTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavo-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp");
    path_ = pattern;
}

TTempFolder::~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
