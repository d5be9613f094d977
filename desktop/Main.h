// The desktop host: the operator's window. It loads the settings and the message of
// the day into its edits, starts and stops the server from its menu (telling every
// user when it shuts down), shows the number of connected users in its caption and
// the last connection event in its status bar, hides behind its notification-area
// icon when minimised, and saves the settings when it is destroyed.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/Initial.h"
#include "core/Server.h"
#include "desktop/Cp932Boundary.h"
#include "desktop/GuiThreadCalls.h"
#include "desktop/MainFormUi.h"

struct TMainFormOptions {
    std::filesystem::path ProgramPath;  // the running program: its version block and name
    TSettingsFiles Files;               // the ini file and MOTD.txt
    std::filesystem::path HelpFile;     // TavoServer.hlp
    QStringList Arguments;              // the command line, the program's name first
    TConnectionTimings Timings;
    // Tells the operator something; never waits. By default a message box.
    std::function<void(const QString&)> ShowMessage;
    // Whether the desktop has a notification area. By default Qt's answer.
    std::function<bool()> TrayAvailable;

    // The program at `exe`, with its files beside it.
    static TMainFormOptions ForExecutable(const std::filesystem::path& exe, QStringList arguments);
};

class TMainForm : public QMainWindow, public IServerHost {
    Q_OBJECT
  public:
    static constexpr int kThreadCacheSize = 3;

    // FormCreate: loads the settings into the window, adds the notification-area
    // icon, and applies the switches START and HIDE.
    explicit TMainForm(TMainFormOptions options);
    // Stops a running server, then FormDestroy.
    ~TMainForm() override;

    // The menu's handlers.
    void StartServiceClick();
    void StopServiceClick();
    void Exit1Click();
    void Help1Click();
    // Moves the window's frame to the bottom right corner of the screen's available area.
    void FormShow();
    // The desktop session ends: leave as "終了" does and save the settings now.
    void EndSession();

    // The caption with the number of connected users, while the server runs.
    void SetUserCount(int count);
    bool Running() const { return server_.Running(); }
    // The port the server listens on (the one bound for port 0).
    uint16_t ListeningPort() const { return server_.Port(); }
    const TMainFormUi& Ui() const { return ui_; }
    QSystemTrayIcon& TrayIcon() const { return *trayIcon_; }

    // IServerHost
    int ActiveThreads() const override { return server_.ActiveThreads(); }
    int ActiveConnections() const override { return server_.ActiveConnections(); }
    void ShowError(std::string_view text) override;
    void NotifyLogin(TClientThread& connection) override;
    void NotifyLogout(TClientThread& connection) override;

  signals:
    // "終了" was chosen: the program ends.
    void Finished();

  protected:
    void showEvent(QShowEvent* event) override;    // FormShow
    void moveEvent(QMoveEvent* event) override;    // FormShow's place checked
    void closeEvent(QCloseEvent* event) override;  // FormCloseQuery
    void changeEvent(QEvent* event) override;      // MainFormOnMinimize; no maximised state

  private:
    void FormCreate();
    void FormDestroy();
    void MainFormOnMinimize();
    // The frame as the window manager has it (waiting `waitMs` at most for its answer),
    // or as Qt knows it.
    QRect ShownFrame(int waitMs);
    QPoint CornerFor(const QRect& frame) const;
    void CheckPlace();
    void TrayIconActivated(QSystemTrayIcon::ActivationReason reason);
    void CreateTrayIcon();

    void ShowSettings();
    QString TakeWindowValues(TSettings& settings) const;
    void ShowStopped();
    void ShowStatus(std::string_view cp932);
    void ShowMessage(const QString& text) { options_.ShowMessage(text); }

    TMainFormOptions options_;
    TMainFormUi ui_;
    TSettings settings_;
    TCp932Boundary boundary_;
    QSystemTrayIcon* trayIcon_ = nullptr;  // owned by the window
    QPointer<QTextBrowser> helpWindow_;
    bool closeAllowed_ = false;
    // FormShow's place for the frame is checked after this many more moves at most.
    int placeChecks_ = 0;
    int unframedRetries_ = 0;  // looks at a window shown but not framed yet
    QPoint placeAsked_;        // the position FormShow asked for last
    bool destroyed_ = false;   // FormDestroy has run

    // Declared in this order so that the server, which may still wait for its
    // connection threads, goes first and the GUI thread's request queue outlives it.
    TGuiThreadCalls guiCalls_;
    TServer server_;
};
