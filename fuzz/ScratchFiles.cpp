// The fuzz targets' scratch folder.
#include "fuzz/ScratchFiles.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace fuzz {

namespace {

class TScratchFolder {
  public:
    TScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tavo-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a scratch folder");
        path_ = pattern;
    }
    ~TScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace

const std::filesystem::path& ScratchFolder() {
    static const TScratchFolder folder;
    return folder.Path();
}

void WriteScratchFile(const std::filesystem::path& file, std::string_view content) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out.write(content.data(), static_cast<std::streamsize>(content.size())) || !out.flush())
        throw std::runtime_error("cannot write " + file.string());
}

}  // namespace fuzz
