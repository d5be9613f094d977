#include "desktop/Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QMessageBox>
#include <QMoveEvent>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <charconv>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "JapaneseTexts.h"
#include "core/ClientThread.h"
#include "core/GetVerInfoUnit.h"
#include "desktop/AppIcon.h"
#include "desktop/DesktopTexts.h"
#include "desktop/FrameExtents.h"
#include "platform/CodePage.h"
#include "platform/CommandLine.h"
#include "platform/TextEncoding.h"

namespace {

constexpr std::size_t kTrayTipBytes = 63;
// How often, and by how much at most, FormShow's place is corrected after the window
// manager has framed the window.
constexpr int kPlaceChecks = 4;
constexpr int kLargestPlaceCorrection = 200;
// How long a window manager may take to tell the size of its frame.
constexpr int kFrameAnswerMs = 250;
// While a shown window is not framed yet, its place is looked at again this often,
// for two seconds at most: a frame that comes without a move would go unchecked.
constexpr int kUnframedRetryMs = 50;
constexpr int kUnframedRetries = 40;
// States that the window's border does not offer.
constexpr Qt::WindowStates kRefusedStates = Qt::WindowMaximized | Qt::WindowFullScreen;

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString FromCp932(std::string_view cp932) {
    return QString::fromStdString(platform::Cp932ToUtf8(cp932));
}

QString RunningCaption(int count) {
    return Text(DesktopTexts::RunningCaption).arg(count);
}

// The text of a number memo as a decimal integer with an optional sign.
std::optional<int32_t> MemoInteger(const QString& text) {
    const std::string digits = text.toStdString();
    const char* const end = digits.data() + digits.size();
    int32_t value = 0;
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (error != std::errc{} || stop != end)
        return std::nullopt;
    return value;
}

// The memo's lines: a line break ends a line, and a break at the very end starts no
// new one, so an empty memo has no lines.
QStringList MemoLines(const QString& text) {
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(u'\n');
    if (text.endsWith(u'\n'))
        lines.removeLast();
    return lines;
}

// The memo's text for `lines`, read back by MemoLines as the same lines.
QString MemoText(const std::vector<std::string>& lines, TCp932Boundary& boundary) {
    QStringList shown;
    for (const auto& line : lines)
        shown << boundary.Show(line);
    QString text = shown.join(u'\n');
    if (!lines.empty() && lines.back().empty())
        text += u'\n';
    return text;
}

// The program's file name + " Version " + its ProductVersion, cut to the bytes a
// notification-area tip holds, never inside a double-byte character.
QString TrayTip(const std::filesystem::path& program) {
    const std::string name = program.filename().string();
    const std::string tip = platform::Utf8ToCp932(name).value_or(name) + " Version " +
                            ReadVersionString(program, "ProductVersion");
    return FromCp932(platform::CutAtCharacter(tip, kTrayTipBytes));
}

// A message box with the program's title that does not wait to be answered.
void ShowMessageBox(QWidget* parent, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, Text(DesktopTexts::ProgramTitle), text,
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace

TMainFormOptions TMainFormOptions::ForExecutable(const std::filesystem::path& exe,
                                                 QStringList arguments) {
    TMainFormOptions options;
    options.ProgramPath = exe;
    options.Files = TSettingsFiles::ForExecutable(exe);
    options.HelpFile = exe.parent_path() / "TavoServer.hlp";
    options.Arguments = std::move(arguments);
    return options;
}

TMainForm::TMainForm(TMainFormOptions options)
    : options_(std::move(options)),
      ui_(*this),
      server_(*this, options_.ProgramPath, kThreadCacheSize, options_.Timings,
              // A stop waits for connection threads in this (the GUI) thread while they
              // may need it: it keeps running their steps, and handles nothing else.
              [this](const std::function<bool()>& finished) { guiCalls_.ServeUntil(finished); }) {
    if (!options_.ShowMessage)
        options_.ShowMessage = [this](const QString& text) { ShowMessageBox(this, text); };
    if (!options_.TrayAvailable)
        options_.TrayAvailable = &QSystemTrayIcon::isSystemTrayAvailable;

    connect(ui_.StartService, &QAction::triggered, this, &TMainForm::StartServiceClick);
    connect(ui_.StopService, &QAction::triggered, this, &TMainForm::StopServiceClick);
    connect(ui_.Exit1, &QAction::triggered, this, &TMainForm::Exit1Click);
    connect(ui_.Help1, &QAction::triggered, this, &TMainForm::Help1Click);
    const auto showRefusal = [this](const QString& message) { ShowMessage(message); };
    for (auto* edit : {ui_.ServerNameEdit, ui_.ServerInfoEdit, ui_.PortMemo, ui_.MaxClientMemo,
                       ui_.PingIntervalMemo, ui_.MaxChannelMemo})
        connect(edit, &TFilteredLineEdit::Refused, this, showRefusal);
    connect(ui_.MOTDMemo, &TMotdMemo::Refused, this, showRefusal);
    FormCreate();
}

TMainForm::~TMainForm() {
    StopServiceClick();
    FormDestroy();
}

// ---- creation, showing, destruction -------------------------------------------------

void TMainForm::FormCreate() {
    LoadSettings(settings_, options_.Files);
    ShowSettings();
    CreateTrayIcon();
    std::vector<std::string> words;  // the arguments after the program's name
    for (qsizetype i = 1; i < options_.Arguments.size(); ++i)
        words.push_back(options_.Arguments[i].toStdString());
    const std::vector<std::string_view> arguments(words.begin(), words.end());
    if (platform::HasSwitch(arguments, "START"))
        StartServiceClick();
    if (platform::HasSwitch(arguments, "HIDE"))
        setWindowState(windowState() | Qt::WindowMinimized);
}

void TMainForm::ShowSettings() {
    ui_.ServerNameEdit->setText(boundary_.Show(settings_.ServerName));
    ui_.ServerInfoEdit->setText(boundary_.Show(settings_.ServerInfo));
    ui_.PortMemo->setText(QString::number(settings_.Port));
    ui_.MaxClientMemo->setText(QString::number(settings_.MaxConnection));
    ui_.PingIntervalMemo->setText(QString::number(settings_.PingInterval));
    ui_.MaxChannelMemo->setText(QString::number(settings_.MaxChannel));
    ui_.MOTDMemo->setPlainText(MemoText(settings_.MotdLines, boundary_));
}

void TMainForm::CreateTrayIcon() {
    trayIcon_ = new QSystemTrayIcon(AppIcon(), this);
    trayIcon_->setToolTip(TrayTip(options_.ProgramPath));
    connect(trayIcon_, &QSystemTrayIcon::activated, this, &TMainForm::TrayIconActivated);
    if (options_.TrayAvailable())
        trayIcon_->show();
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

// Where a window manager puts the frame for a position asked for depends on the
// manager and on whether the window is shown yet; and before the first show Qt does not
// know the frame at all. So the frame's real place is checked after each move that
// FormShow caused (its window manager's answer: the window's place and the frame's
// widths) and the window is moved by what is missing, a few times at most.
void TMainForm::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (placeChecks_ > 0)
        QTimer::singleShot(0, this, [this] { CheckPlace(); });
}

QRect TMainForm::ShownFrame(int waitMs) {
    const std::optional<QMargins> extents = WindowManagerFrameExtents(*this, waitMs);
    return extents ? geometry().marginsAdded(*extents) : frameGeometry();
}

QPoint TMainForm::CornerFor(const QRect& frame) const {
    const QRect area = screen()->availableGeometry();
    return {area.x() + area.width() - frame.width(), area.y() + area.height() - frame.height()};
}

void TMainForm::CheckPlace() {
    if (placeChecks_ == 0 || !isVisible())
        return;
    const QRect frame = ShownFrame(0);
    if (frame == geometry()) {  // not framed yet
        if (unframedRetries_-- > 0)
            QTimer::singleShot(kUnframedRetryMs, this, [this] { CheckPlace(); });
        return;
    }
    const QPoint missing = CornerFor(frame) - frame.topLeft();
    if (missing.isNull() || missing.manhattanLength() > kLargestPlaceCorrection) {
        placeChecks_ = 0;  // in place, or moved away by someone else
        return;
    }
    --placeChecks_;
    placeAsked_ += missing;
    move(placeAsked_);
}

void TMainForm::FormShow() {
    // Before the first show the window manager is asked for its frame's size.
    placeAsked_ = CornerFor(ShownFrame(kFrameAnswerMs));
    placeChecks_ = kPlaceChecks;
    unframedRetries_ = kUnframedRetries;
    move(placeAsked_);
}

void TMainForm::FormDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    // A memo that holds no integer keeps its setting's previous value; every other
    // value and the message of the day are still saved.
    TakeWindowValues(settings_);
    try {
        SaveSettings(settings_, options_.Files);
    } catch (const std::exception& error) {
        ShowMessage(FromCp932(error.what()));
    }
    trayIcon_->hide();
}

void TMainForm::EndSession() {
    if (!closeAllowed_)
        Exit1Click();
    FormDestroy();
}

// ---- the menu -----------------------------------------------------------------------

void TMainForm::StartServiceClick() {
    if (Running())
        return;
    TSettings settings = settings_;
    if (const QString error = TakeWindowValues(settings); !error.isEmpty()) {
        ShowMessage(error);
        return;
    }
    settings_ = settings;
    ui_.StatusBar1->setEnabled(true);
    setWindowTitle(RunningCaption(0));
    if (const auto failure = server_.Start(settings)) {
        ShowStopped();
        ShowMessage(QString::fromStdString(*failure));
    }
}

void TMainForm::StopServiceClick() {
    if (!Running())
        return;
    ui_.StatusBar1->setEnabled(false);
    server_.Stop(true);
    ShowStopped();
}

void TMainForm::ShowStopped() {
    setWindowTitle(Text(DesktopTexts::StoppedCaption));
    ui_.StatusBar1->setEnabled(false);
}

void TMainForm::Exit1Click() {
    if (Running())
        StopServiceClick();
    closeAllowed_ = true;
    close();
    emit Finished();
}

void TMainForm::Help1Click() {
    QFile file(QString::fromStdString(options_.HelpFile.string()));
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessage(Text(DesktopTexts::HelpFileMissing).arg(file.fileName()));
        return;
    }
    if (!helpWindow_) {
        helpWindow_ = new QTextBrowser(this);
        helpWindow_->setObjectName(QStringLiteral("HelpWindow"));
        helpWindow_->setWindowFlag(Qt::Window);
        helpWindow_->setWindowTitle(Text(DesktopTexts::HelpTitle));
        QFont font = MainFormFont();
        font.setPixelSize(14);
        helpWindow_->setFont(font);
        helpWindow_->resize(520, 600);
    }
    helpWindow_->setHtml(QString::fromUtf8(file.readAll()));
    helpWindow_->show();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}

// ---- closing and minimising -----------------------------------------------------------

void TMainForm::closeEvent(QCloseEvent* event) {
    if (closeAllowed_) {
        event->accept();
        return;
    }
    event->ignore();
    QApplication::beep();
    ShowMessage(Text(DesktopTexts::UseExitMenu));
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    if (isMinimized())
        MainFormOnMinimize();
    // Its border offers minimise only: a window manager that maximises the window or
    // makes it full-screen anyway (openbox offers full screen to every window) is
    // answered with the window's own size and place.
    if (windowState() & kRefusedStates)
        QTimer::singleShot(0, this, [this] { setWindowState(windowState() & ~kRefusedStates); });
}

void TMainForm::MainFormOnMinimize() {
    // Without a notification area the minimised window keeps its taskbar button,
    // the only way back to it.
    if (!options_.TrayAvailable())
        return;
    QTimer::singleShot(0, this, [this] {
        if (isMinimized())
            hide();
    });
}

void TMainForm::TrayIconActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger)
        return;
    showNormal();
    raise();
    activateWindow();
}

// ---- values between the window and the settings ----------------------------------------

QString TMainForm::TakeWindowValues(TSettings& settings) const {
    QString firstError;
    const auto fail = [&](const char* message, const QString& text) {
        if (firstError.isEmpty())
            firstError = Text(message).arg(text);
    };
    const auto takeText = [&](const QLineEdit& edit, std::string& value) {
        if (auto bytes = boundary_.Take(edit.text()))
            value = std::move(*bytes);
        else
            fail(DesktopTexts::SettingNotShiftJis, edit.text());
    };
    const auto takeNumber = [&](const QLineEdit& memo, int32_t& value) {
        if (const auto number = MemoInteger(memo.text()))
            value = *number;
        else
            fail(DesktopTexts::NotAnInteger, memo.text());
    };
    takeText(*ui_.ServerNameEdit, settings.ServerName);
    takeText(*ui_.ServerInfoEdit, settings.ServerInfo);
    takeNumber(*ui_.PortMemo, settings.Port);
    takeNumber(*ui_.MaxClientMemo, settings.MaxConnection);
    takeNumber(*ui_.PingIntervalMemo, settings.PingInterval);
    takeNumber(*ui_.MaxChannelMemo, settings.MaxChannel);

    std::vector<std::string> motd;
    bool motdConverts = true;
    for (const QString& line : MemoLines(ui_.MOTDMemo->toPlainText())) {
        if (auto bytes = boundary_.Take(line)) {
            motd.push_back(std::move(*bytes));
        } else {
            fail(DesktopTexts::SettingNotShiftJis, line);
            motdConverts = false;
        }
    }
    if (motdConverts)
        settings.MotdLines = std::move(motd);
    return firstError;
}

// ---- the server's side ------------------------------------------------------------------

void TMainForm::ShowError(std::string_view text) {
    guiCalls_.Post([this, error = std::string(text)] { ShowMessage(FromCp932(error)); });
}

void TMainForm::ShowStatus(std::string_view cp932) {
    ui_.StatusBar1->showMessage(FromCp932(cp932));
}

void TMainForm::SetUserCount(int count) {
    if (Running())
        setWindowTitle(RunningCaption(count));
}

void TMainForm::NotifyLogin(TClientThread&) {
    guiCalls_.Invoke([this] {
        ShowStatus(Texts::StatusLogin);
        SetUserCount(ActiveThreads());
    });
}

void TMainForm::NotifyLogout(TClientThread& connection) {
    // The ending connection still holds its socket, so it is not counted.
    guiCalls_.Invoke([&] {
        ShowStatus(connection.CloseReason.empty() ? std::string_view(Texts::StatusLogout)
                                                  : connection.CloseReason);
        SetUserCount(ActiveThreads() - 1);
    });
}
