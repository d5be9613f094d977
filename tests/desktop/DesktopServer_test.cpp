// The desktop window running the real server on loopback: the caption and status bar
// following logins and logouts, the stop with its closing error, failed starts, and
// the settings and message of the day saved on destroy and loaded on create.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QtTest>
#include <chrono>
#include <clocale>
#include <memory>
#include <thread>

#include "tests/desktop/DesktopTestSupport.h"

namespace {

constexpr char kLoginText[] = "クライアントがログインしました。";
constexpr char kLogoutText[] = "クライアントがログアウトしました。";
constexpr char kEndOfStreamText[] = "クライアントエラー：ＥＯＦを受信したため切断しました。";
constexpr int kLoginWaitMs = 20000;  // a new connection's reverse lookup may take 5 s

// A listening socket on all local addresses, holding a port that the server then
// cannot bind.
class TBusyPort {
  public:
    TBusyPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::listen(fd_, 1) == 0)
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~TBusyPort() { ::close(fd_); }
    uint16_t Port() const { return port_; }

  private:
    int fd_;
    uint16_t port_ = 0;
};

void SetServerValues(const TMainFormUi& ui, const QString& serverName) {
    ui.ServerNameEdit->setText(serverName);
    ui.PortMemo->setText("0");
}

std::unique_ptr<TTestClient> Connect(const TMainForm& form, const char* address) {
    return std::make_unique<TTestClient>(form.ListeningPort(), address);
}

}  // namespace

class DesktopServerTest : public QObject {
    Q_OBJECT

  private slots:
    // The program keeps the system's error texts in plain ASCII; so do its tests.
    void initTestCase() { std::setlocale(LC_MESSAGES, "C"); }
    void captionAndStatusBarFollowLoginsAndLogouts();
    void stopSendsTheClosingErrorToRegisteredUsersOnly();
    void stopFinishesWhileConnectionsAreEnding();
    void failedStartsLeaveTheWindowStopped();
    void startWhileRunningAndStopWhileStoppedDoNothing();
    void settingsAndMotdAreSavedOnDestroyAndLoadedOnCreate();
    void exitAndEndOfSessionStopTheServerFirst();
};

void DesktopServerTest::captionAndStatusBarFollowLoginsAndLogouts() {
    TDesktopSetup setup;
    TMainForm form(setup.Options());
    SetServerValues(form.Ui(), QStringLiteral("窓鯖"));
    form.Ui().StartService->trigger();
    QVERIFY(form.Running());
    QVERIFY(form.Ui().StatusBar1->isEnabled());
    QCOMPARE(Caption(form), RunningCaption(0));

    // The count is of connections, registered or not.
    auto first = Connect(form, "127.0.0.2");
    auto second = Connect(form, "127.0.0.3");
    QTRY_COMPARE_WITH_TIMEOUT(Caption(form), RunningCaption(2), kLoginWaitMs);
    QCOMPARE(StatusText(form), QString::fromUtf8(kLoginText));

    // A connection that the server ends shows why.
    second.reset();
    QTRY_COMPARE_WITH_TIMEOUT(Caption(form), RunningCaption(1), kLoginWaitMs);
    QCOMPARE(StatusText(form), QString::fromUtf8(kEndOfStreamText));

    // The server runs with the window's name and reports the program's version.
    const auto welcome = OffGuiThread([&] {
        std::vector<std::string> lines;
        if (RegisterClient(*first, "nick")) {
            first->Send("VERSION");
            lines.push_back(first->ReadLine().value_or(""));
        }
        return lines;
    });
    QCOMPARE(welcome.size(), std::size_t{1});
    const std::string serverName = Cp932("窓鯖");
    QCOMPARE(welcome[0],
             ":" + serverName + " 351 nick TavoServer-0.65 " + serverName + " :TavoServer\r\n");

    // A client that leaves with QUIT logs out.
    const bool closed = OffGuiThread([&] {
        first->Send("QUIT :bye");
        return first->WaitClosed();
    });
    QVERIFY(closed);
    QTRY_COMPARE_WITH_TIMEOUT(StatusText(form), QString::fromUtf8(kLogoutText), kLoginWaitMs);
    QCOMPARE(Caption(form), RunningCaption(0));
}

void DesktopServerTest::stopSendsTheClosingErrorToRegisteredUsersOnly() {
    TDesktopSetup setup;
    TMainForm form(setup.Options());
    SetServerValues(form.Ui(), QStringLiteral("停止テスト鯖"));
    form.Ui().StartService->trigger();
    auto registered = Connect(form, "127.0.0.4");
    auto unregistered = Connect(form, "127.0.0.5");
    QVERIFY(OffGuiThread([&] { return RegisterClient(*registered, "user1"); }));
    QTRY_COMPARE_WITH_TIMEOUT(Caption(form), RunningCaption(2), kLoginWaitMs);

    form.Ui().StopService->trigger();
    QVERIFY(!form.Running());
    QCOMPARE(Caption(form), StoppedCaption());
    QVERIFY(!form.Ui().StatusBar1->isEnabled());
    QCOMPARE(form.ActiveThreads(), 0);

    // The server has stopped, so reading here needs nothing more from this thread.
    QCOMPARE(registered->ReadLine(),
             std::optional<std::string>("ERROR :ClosingLink: Sorry " + Cp932("停止テスト鯖") +
                                        " ShutDown Now\r\n"));
    QVERIFY(registered->WaitClosed(1000));
    QCOMPARE(registered->ReadLine(0), std::optional<std::string>());
    QVERIFY(unregistered->WaitClosed(1000));
    QCOMPARE(unregistered->ReadLine(0), std::optional<std::string>());
}

void DesktopServerTest::stopFinishesWhileConnectionsAreEnding() {
    TDesktopSetup setup;
    TMainForm form(setup.Options());
    SetServerValues(form.Ui(), "Ending");
    form.Ui().StartService->trigger();
    // More connections than the thread cache holds, all registered.
    std::vector<std::unique_ptr<TTestClient>> clients;
    for (const char* address : {"127.0.0.6", "127.0.0.7", "127.0.0.8", "127.0.0.9"})
        clients.push_back(Connect(form, address));
    const bool allRegistered = OffGuiThread([&] {
        std::vector<std::future<bool>> registrations;
        for (std::size_t i = 0; i < clients.size(); ++i) {
            registrations.push_back(std::async(std::launch::async, [&, i] {
                return RegisterClient(*clients[i], "ending" + std::to_string(i));
            }));
        }
        bool all = true;
        for (auto& registration : registrations)
            all = registration.get() && all;
        return all;
    });
    QVERIFY(allRegistered);
    QTRY_COMPARE_WITH_TIMEOUT(Caption(form), RunningCaption(4), kLoginWaitMs);
    QCOMPARE(StatusText(form), QString::fromUtf8(kLoginText));

    // The clients leave while this thread serves nothing: their connections end and
    // wait for it to run their logout step. The stop must run those steps as it
    // waits for the connections.
    clients.clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto started = std::chrono::steady_clock::now();
    form.Ui().StopService->trigger();
    const auto stopTook = std::chrono::steady_clock::now() - started;
    QVERIFY(!form.Running());
    QCOMPARE(form.ActiveThreads(), 0);
    QCOMPARE(Caption(form), StoppedCaption());
    QVERIFY2(stopTook < std::chrono::seconds(10),
             qPrintable(QString::number(
                 std::chrono::duration_cast<std::chrono::milliseconds>(stopTook).count())));
    const QStringList logoutTexts = {QString::fromUtf8(kEndOfStreamText),
                                     QString::fromUtf8(kLogoutText)};
    QVERIFY2(logoutTexts.contains(StatusText(form)), qPrintable(StatusText(form)));
}

void DesktopServerTest::failedStartsLeaveTheWindowStopped() {
    TDesktopSetup setup;
    TMainForm form(setup.Options());
    const TMainFormUi& ui = form.Ui();
    const auto expectStopped = [&] {
        QVERIFY(!form.Running());
        QCOMPARE(Caption(form), StoppedCaption());
        QVERIFY(!ui.StatusBar1->isEnabled());
    };

    ui.PortMemo->setText("0");
    ui.MaxClientMemo->clear();
    ui.StartService->trigger();
    expectStopped();
    QCOMPARE(*setup.Messages, QStringList{QStringLiteral("'' は整数ではありません")});

    ui.MaxClientMemo->setText("10");
    ui.PingIntervalMemo->setText("99999999999");
    ui.StartService->trigger();
    expectStopped();
    QCOMPARE(setup.Messages->last(), QStringLiteral("'99999999999' は整数ではありません"));

    ui.PingIntervalMemo->setText("120");
    ui.PortMemo->setText("65536");
    ui.StartService->trigger();
    expectStopped();
    QVERIFY(setup.Messages->last().contains("65536"));

    const TBusyPort busy;
    QVERIFY(busy.Port() != 0);
    ui.PortMemo->setText(QString::number(busy.Port()));
    ui.StartService->trigger();
    expectStopped();
    QCOMPARE(setup.Messages->size(), 4);
    // In Japanese, with the system's own text after it.
    QCOMPARE(setup.Messages->last(),
             QStringLiteral("ポート %1 はほかのプログラムが使っています (Address already in use)")
                 .arg(busy.Port()));

    // Once the values are right the same window starts.
    ui.PortMemo->setText("0");
    ui.StartService->trigger();
    QVERIFY(form.Running());
    QCOMPARE(Caption(form), RunningCaption(0));
    QCOMPARE(setup.Messages->size(), 4);
}

void DesktopServerTest::startWhileRunningAndStopWhileStoppedDoNothing() {
    TDesktopSetup setup;
    TMainForm form(setup.Options());
    form.Ui().StopService->trigger();
    QVERIFY(!form.Running());
    QCOMPARE(Caption(form), StoppedCaption());

    SetServerValues(form.Ui(), "Twice");
    form.Ui().StartService->trigger();
    const uint16_t port = form.ListeningPort();
    auto client = Connect(form, "127.0.0.10");
    QVERIFY(OffGuiThread([&] { return RegisterClient(*client, "twice"); }));
    QTRY_COMPARE_WITH_TIMEOUT(Caption(form), RunningCaption(1), kLoginWaitMs);

    // A second start keeps the server, its registry and its connections as they are.
    form.Ui().StartService->trigger();
    QCOMPARE(form.ListeningPort(), port);
    QCOMPARE(Caption(form), RunningCaption(1));
    const auto whois = OffGuiThread([&] {
        client->Send("WHOIS twice");
        return LinesUntil(*client, " 318 ");
    });
    QVERIFY(!whois.empty());
    QVERIFY(whois.front().find(" 311 twice twice ~user ") != std::string::npos);

    form.Ui().StopService->trigger();
    form.Ui().StopService->trigger();
    QVERIFY(!form.Running());
    QCOMPARE(Caption(form), StoppedCaption());
    QVERIFY(setup.Messages->isEmpty());
}

void DesktopServerTest::settingsAndMotdAreSavedOnDestroyAndLoadedOnCreate() {
    TDesktopSetup setup;
    setup.WriteIni({"ServerName=" + Cp932("旧サーバー"), "ServerInfo=Old info", "Port=6000",
                    "MaxConnection=25", "PingInterval=-5", "MaxChannel=7"});
    // Japanese lines, one with a character that has two codes, one with a byte that
    // begins no character, and an empty last line.
    const std::string motd = Cp932("ようこそ、窓の鯖へ！") + "\r\n" + "\xED\x40" + Cp932("と①") +
                             "\r\n" + "bad \x80 byte\r\n" + "\r\n";
    WriteFileBytes(setup.Files().Motd, motd);
    {
        TMainForm form(setup.Options());
        const TMainFormUi& ui = form.Ui();
        QCOMPARE(ui.ServerNameEdit->text(), QStringLiteral("旧サーバー"));
        QCOMPARE(ui.ServerInfoEdit->text(), QStringLiteral("Old info"));
        QCOMPARE(ui.PortMemo->text(), QStringLiteral("6000"));
        QCOMPARE(ui.MaxClientMemo->text(), QStringLiteral("25"));
        QCOMPARE(ui.PingIntervalMemo->text(), QStringLiteral("-5"));
        QCOMPARE(ui.MaxChannelMemo->text(), QStringLiteral("7"));
        QCOMPARE(ui.MOTDMemo->toPlainText(),
                 QStringLiteral("ようこそ、窓の鯖へ！\n纊と①\nbad \\x80 byte\n\n"));
        // The window's values go back into the files; a memo without an integer
        // keeps its previous value.
        ui.ServerNameEdit->setText(QStringLiteral("新サーバー"));
        ui.PortMemo->setText("7001");
        ui.MaxClientMemo->clear();
    }
    const std::string ini = ReadFileBytes(setup.Files().Ini);
    for (const std::string& line :
         {"ServerName=" + Cp932("新サーバー"), std::string("ServerInfo=Old info"),
          std::string("Port=7001"), std::string("MaxConnection=25"), std::string("PingInterval=-5"),
          std::string("MaxChannel=7")})
        QVERIFY2(ini.find(line) != std::string::npos, line.c_str());
    QCOMPARE(ReadFileBytes(setup.Files().Motd), motd);
    {
        TMainForm form(setup.Options());
        const TMainFormUi& ui = form.Ui();
        QCOMPARE(ui.ServerNameEdit->text(), QStringLiteral("新サーバー"));
        QCOMPARE(ui.PortMemo->text(), QStringLiteral("7001"));
        QCOMPARE(ui.MaxClientMemo->text(), QStringLiteral("25"));
        // An edited message of the day is saved as edited, line by line.
        ui.MOTDMemo->setPlainText(QStringLiteral("新しい一行目\n二行目"));
    }
    QCOMPARE(ReadFileBytes(setup.Files().Motd),
             Cp932("新しい一行目") + "\r\n" + Cp932("二行目") + "\r\n");
}

void DesktopServerTest::exitAndEndOfSessionStopTheServerFirst() {
    TDesktopSetup setup;
    {
        TMainForm form(setup.Options());
        QSignalSpy finished(&form, &TMainForm::Finished);
        form.show();
        SetServerValues(form.Ui(), "Leaving");
        form.Ui().StartService->trigger();
        auto client = Connect(form, "127.0.0.11");
        QVERIFY(OffGuiThread([&] { return RegisterClient(*client, "leaver"); }));

        form.Ui().Exit1->trigger();
        QVERIFY(!form.Running());
        QVERIFY(!form.isVisible());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(client->ReadLine(),
                 std::optional<std::string>("ERROR :ClosingLink: Sorry Leaving ShutDown Now\r\n"));
    }
    {
        // The end of the desktop session stops the server and saves at once.
        setup.TrayAvailable = true;
        TMainForm form(setup.Options());
        form.Ui().ServerInfoEdit->setText("Saved at the end");
        SetServerValues(form.Ui(), "Session");
        form.Ui().StartService->trigger();
        QVERIFY(form.Running());
        form.EndSession();
        QVERIFY(!form.Running());
        QVERIFY(!form.TrayIcon().isVisible());
        QVERIFY(ReadFileBytes(setup.Files().Ini).find("ServerInfo=Saved at the end") !=
                std::string::npos);
    }
    QVERIFY(setup.Messages->isEmpty());
}

QTEST_MAIN(DesktopServerTest)
#include "DesktopServer_test.moc"
