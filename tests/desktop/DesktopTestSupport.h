// What the desktop window's tests share: a window whose files live in a fresh folder
// and whose messages are recorded instead of shown, and a way to talk to the running
// server from another thread while this (the GUI) thread keeps serving the window.
#pragma once

#include <QString>
#include <QStringList>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "desktop/Main.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestClient.h"

// A folder standing in for the program's folder, and the options of a window there.
class TDesktopSetup {
  public:
    TDesktopSetup();

    // The window's options: the built program's version block, the settings files and
    // help file in the folder, the command line "TavoServer" + `switches`.
    TMainFormOptions Options(const QStringList& switches = {});
    // Writes the ini file with these "Key=value" lines in section Global.
    void WriteIni(const std::vector<std::string>& lines) const;

    std::filesystem::path Folder() const { return folder_.Path(); }
    TSettingsFiles Files() const { return TSettingsFiles::ForExecutable(Folder() / "TavoServer"); }

    // What the window told the operator, oldest first.
    std::shared_ptr<QStringList> Messages = std::make_shared<QStringList>();
    // Whether the window finds a notification area.
    bool TrayAvailable = false;

  private:
    TTempFolder folder_;
};

// Runs `work` in its own thread and waits for it, while this thread keeps serving
// the window (the server's connections need it for their main-thread steps).
template <class Work>
auto OffGuiThread(Work work) {
    auto result = std::async(std::launch::async, std::move(work));
    // The work's own reads time out; if it still runs after this, get() waits for it.
    [[maybe_unused]] const bool ready = QTest::qWaitFor(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        60000);
    return result.get();
}

// The lines a client received up to and including the first that contains `needle`;
// empty when it did not come.
std::vector<std::string> LinesUntil(TTestClient& client, std::string_view needle);
// NICK and USER; true when the welcome ends (the end of the message of the day).
bool RegisterClient(TTestClient& client, std::string_view nick);

std::string ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes);
// UTF-8 text as the code page 932 bytes the server sends.
std::string Cp932(std::string_view utf8);

// The window's caption and status bar text.
QString Caption(const TMainForm& form);
QString StatusText(const TMainForm& form);
QString RunningCaption(int users);
QString StoppedCaption();
