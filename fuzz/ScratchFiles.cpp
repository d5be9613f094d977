// The fuzz targets' scratch folder.
#include "fuzz/ScratchFiles.h"

#include <fstream>
#include <stdexcept>
#include <string>

#include "tests/support/TempFolder.h"

namespace fuzz {

const std::filesystem::path& ScratchFolder() {
    static const TTempFolder folder;
    return folder.Path();
}

void WriteScratchFile(const std::filesystem::path& file, std::string_view content) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out.write(content.data(), static_cast<std::streamsize>(content.size())) || !out.flush())
        throw std::runtime_error("cannot write " + file.string());
}

}  // namespace fuzz
