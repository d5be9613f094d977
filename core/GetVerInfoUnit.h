// The program's version text: one string of a file's version block.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The string item (for example "ProductVersion") of file's version block, looked up
// under the block's first translation; empty when the file has no version block or the
// block has no such string.
std::string ReadVersionString(const std::filesystem::path& file, std::string_view item);
