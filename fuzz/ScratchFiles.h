// Real files for the targets that read and write them: a folder of the process's own
// under the system's temporary folder, made at first use and removed with everything
// in it when the process ends.
#pragma once

#include <filesystem>
#include <string_view>

namespace fuzz {

// The process's scratch folder.
const std::filesystem::path& ScratchFolder();
// Replaces the file's content with `content`; throws std::runtime_error when it cannot.
void WriteScratchFile(const std::filesystem::path& file, std::string_view content);

}  // namespace fuzz
