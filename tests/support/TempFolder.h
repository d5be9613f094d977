// A fresh, empty folder under the system's temporary folder for tests that work
// with real files, removed with everything in it when the object goes away.
#pragma once

#include <filesystem>
#include <string>

class TTempFolder {
  public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};
