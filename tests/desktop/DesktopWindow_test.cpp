// The desktop window itself: its components as designed, the Japanese font, the
// edits' input filters, the switches, minimising behind the notification-area icon,
// the close button, the help window and the program's version block.
#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTextBrowser>
#include <QtTest>
#include <filesystem>

#include "core/GetVerInfoUnit.h"
#include "desktop/Cp932Boundary.h"
#include "platform/VersionInfo.h"
#include "tests/desktop/DesktopTestSupport.h"

namespace {

// Types `text` as one key press, as an input method or a keyboard layout would.
void TypeText(QWidget* widget, const QString& text) {
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text, Qt::NoModifier);
}

void Paste(QWidget* widget, const QString& clipboardText) {
    QGuiApplication::clipboard()->setText(clipboardText);
    QTest::keyClick(widget, Qt::Key_V, Qt::ControlModifier);
}

void CommitFromInputMethod(QWidget* widget, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(widget, &event);
}

// Every character of every text the window shows.
QString WindowTexts(const QMainWindow& window, const TMainFormUi& ui) {
    QString texts = window.windowTitle();
    for (const QLabel* label : window.findChildren<QLabel*>())
        texts += label->text();
    for (const QAction* action : window.findChildren<QAction*>())
        texts += action->text();
    for (const QMenu* menu : window.findChildren<QMenu*>())
        texts += menu->title();
    for (int page = 0; page < ui.PageControl1->count(); ++page)
        texts += ui.PageControl1->tabText(page);
    return texts;
}

}  // namespace

class DesktopWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void componentsAsDesigned();
    void japaneseTextsHaveGlyphsInTheWindowFont();
    void tabOrderFollowsTheDesign();
    void typedKeysPassTheEditsFilters();
    void pastedAndInputMethodTextPassTheSameFilters();
    void charactersOutsideCodePage932AreRefusedWithAMessage();
    void boundaryKeepsUneditedBytesAndConvertsEditedText();
    void startAndHideSwitches();
    void minimisingHidesBehindTheTrayIconOnlyWhenThereIsOne();
    void closeButtonNeverClosesTheWindow();
    void helpShowsTheHelpFileOrSaysItIsMissing();
    void versionBlockAndTrayTip();
    void windowOpensAtTheBottomRightOfTheScreen();
    void statusBarCutsALongTextWithAnEllipsisAndShowsItWholeAsTooltip();
};

void DesktopWindowTest::componentsAsDesigned() {
    QMainWindow window;
    const TMainFormUi ui(window);
    QCOMPARE(window.windowTitle(), QStringLiteral("TavoServer  停止中・・・"));
    QCOMPARE(window.size(), QSize(229, 424));
    QCOMPARE(window.minimumSize(), QSize(229, 424));  // a fixed size: no resizing, no maximising
    QCOMPARE(window.maximumSize(), QSize(229, 424));
    QCOMPARE(window.font().pixelSize(), 12);
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

    // The menu bar: "ファイル" with its four items, and "ヘルプ" as an item of its own.
    const QList<QAction*> bar = window.menuBar()->actions();
    QCOMPARE(bar.size(), 2);
    QMenu* file = bar[0]->menu();
    QVERIFY(file != nullptr);
    QCOMPARE(file->title(), QStringLiteral("ファイル"));
    const QList<QAction*> items = file->actions();
    QCOMPARE(items.size(), 4);
    QCOMPARE(items[0], ui.StartService);
    QCOMPARE(items[0]->text(), QStringLiteral("サービス開始"));
    QCOMPARE(items[1], ui.StopService);
    QCOMPARE(items[1]->text(), QStringLiteral("サービス停止"));
    QVERIFY(items[2]->isSeparator());
    QCOMPARE(items[3], ui.Exit1);
    QCOMPARE(items[3]->text(), QStringLiteral("終了"));
    QCOMPARE(bar[1], ui.Help1);
    QCOMPARE(ui.Help1->text(), QStringLiteral("ヘルプ"));
    QVERIFY(ui.Help1->menu() == nullptr);

    // The empty tool bar at the top and the status bar without panels at the bottom.
    QCOMPARE(window.toolBarArea(ui.ToolBar1), Qt::TopToolBarArea);
    QCOMPARE(ui.ToolBar1->minimumHeight(), 29);
    QCOMPARE(ui.ToolBar1->maximumHeight(), 29);
    QVERIFY(ui.ToolBar1->actions().isEmpty());
    QCOMPARE(ui.StatusBar1->minimumHeight(), 25);
    QCOMPARE(ui.StatusBar1->maximumHeight(), 25);
    QVERIFY(!ui.StatusBar1->isEnabled());
    QVERIFY(ui.StatusBar1->currentMessage().isEmpty());

    // The two pages, the first shown.
    QCOMPARE(ui.PageControl1->count(), 2);
    QCOMPARE(ui.PageControl1->widget(0), ui.TabSheet1);
    QCOMPARE(ui.PageControl1->tabText(0), QStringLiteral("サーバー"));
    QCOMPARE(ui.PageControl1->widget(1), ui.TabSheet2);
    QCOMPARE(ui.PageControl1->tabText(1), QStringLiteral("接続メッセージ"));
    QCOMPARE(ui.PageControl1->currentIndex(), 0);

    // Every label above its edit, with the edit's design-time text.
    struct Field {
        const char* label;
        QString labelText;
        QLineEdit* edit;
        QString text;
        bool number;
    };
    const Field fields[] = {
        {"Label4", QStringLiteral("サーバー名："), ui.ServerNameEdit, "ChatServerName", false},
        {"Label6", QStringLiteral("サーバー情報："), ui.ServerInfoEdit, "Local IRC Server", false},
        {"Label2", QStringLiteral("ポート："), ui.PortMemo, "6667", true},
        {"Label1", QStringLiteral("最大接続数："), ui.MaxClientMemo, "10", true},
        {"Label3", QStringLiteral("Ｐｉｎｇを送信する間隔： ( 秒 )"), ui.PingIntervalMemo, "120",
         true},
        {"Label5", QStringLiteral("参加チャンネル最大数："), ui.MaxChannelMemo, "5", true},
    };
    for (const Field& field : fields) {
        const auto* label = ui.TabSheet1->findChild<QLabel*>(field.label);
        QVERIFY2(label != nullptr, field.label);
        QCOMPARE(label->text(), field.labelText);
        QCOMPARE(label->buddy(), field.edit);
        QCOMPARE(field.edit->text(), field.text);
        QCOMPARE(field.edit->alignment().testFlag(Qt::AlignRight), field.number);
    }

    // The message of the day: empty, unwrapped, with both scroll bars.
    QCOMPARE(ui.MOTDMemo->parentWidget(), ui.TabSheet2);
    QVERIFY(ui.MOTDMemo->toPlainText().isEmpty());
    QCOMPARE(ui.MOTDMemo->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(ui.MOTDMemo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(ui.MOTDMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

void DesktopWindowTest::japaneseTextsHaveGlyphsInTheWindowFont() {
    QMainWindow window;
    const TMainFormUi ui(window);
    const QFontInfo font(window.font());
    const QStringList gothicFamilies = {"ＭＳ Ｐゴシック", "MS PGothic", "IPAPGothic",
                                        "IPA Pゴシック"};
    QVERIFY2(gothicFamilies.contains(font.family()), qPrintable(font.family()));
    const QFontMetrics metrics(window.font());
    for (const uint character : WindowTexts(window, ui).toUcs4())
        QVERIFY2(metrics.inFontUcs4(character), qPrintable(QString::number(character, 16)));
}

void DesktopWindowTest::tabOrderFollowsTheDesign() {
    TDesktopSetup setup;
    TMainForm form(setup.Options());
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const TMainFormUi& ui = form.Ui();
    ui.ServerNameEdit->setFocus();
    const QWidget* expected[] = {ui.MaxClientMemo, ui.PortMemo, ui.PingIntervalMemo,
                                 ui.MaxChannelMemo, ui.ServerInfoEdit};
    for (const QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
}

void DesktopWindowTest::typedKeysPassTheEditsFilters() {
    TDesktopSetup setup;
    TMainForm form(setup.Options());
    const TMainFormUi& ui = form.Ui();

    ui.ServerNameEdit->clear();
    QTest::keyClicks(ui.ServerNameEdit, "My Chat Server");
    TypeText(ui.ServerNameEdit, QStringLiteral("鯖"));
    QCOMPARE(ui.ServerNameEdit->text(), QStringLiteral("MyChatServer鯖"));

    ui.ServerInfoEdit->clear();
    QTest::keyClicks(ui.ServerInfoEdit, "Local IRC Server");
    QCOMPARE(ui.ServerInfoEdit->text(), QStringLiteral("Local IRC Server"));

    for (QLineEdit* memo :
         {ui.PortMemo, ui.MaxClientMemo, ui.PingIntervalMemo, ui.MaxChannelMemo}) {
        memo->clear();
        QTest::keyClicks(memo, "6a6-6 .7+");
        TypeText(memo, QStringLiteral("８"));
        QTest::keyClick(memo, Qt::Key_Return);
        QTest::keyClick(memo, Qt::Key_Enter);
        QCOMPARE(memo->text(), QStringLiteral("6667"));
        // Backspace and the cursor keys still work.
        QTest::keyClick(memo, Qt::Key_Backspace);
        QTest::keyClick(memo, Qt::Key_Home);
        QTest::keyClicks(memo, "1");
        QCOMPARE(memo->text(), QStringLiteral("1666"));
    }
    QVERIFY(setup.Messages->isEmpty());
}

void DesktopWindowTest::pastedAndInputMethodTextPassTheSameFilters() {
    TDesktopSetup setup;
    TMainForm form(setup.Options());
    const TMainFormUi& ui = form.Ui();

    ui.PortMemo->clear();
    Paste(ui.PortMemo, "12ab 3\r\n4");
    QCOMPARE(ui.PortMemo->text(), QStringLiteral("1234"));
    QGuiApplication::clipboard()->setText("x5");
    QTest::keyClick(ui.PortMemo, Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(ui.PortMemo->text(), QStringLiteral("12345"));
    CommitFromInputMethod(ui.PortMemo, QStringLiteral("１２6"));
    QCOMPARE(ui.PortMemo->text(), QStringLiteral("123456"));

    ui.ServerNameEdit->clear();
    Paste(ui.ServerNameEdit, QStringLiteral("New Server　日本\r\n"));
    QCOMPARE(ui.ServerNameEdit->text(), QStringLiteral("NewServer　日本"));
    CommitFromInputMethod(ui.ServerNameEdit, QStringLiteral(" 鯖"));
    QCOMPARE(ui.ServerNameEdit->text(), QStringLiteral("NewServer　日本鯖"));

    ui.ServerInfoEdit->clear();
    Paste(ui.ServerInfoEdit, "line one\nline two");
    QCOMPARE(ui.ServerInfoEdit->text(), QStringLiteral("line oneline two"));

    ui.MOTDMemo->clear();
    Paste(ui.MOTDMemo, QStringLiteral("一行目\r\n二行目\r三行目"));
    QCOMPARE(ui.MOTDMemo->toPlainText(), QStringLiteral("一行目\n二行目\n三行目"));
    QVERIFY(setup.Messages->isEmpty());
}

void DesktopWindowTest::charactersOutsideCodePage932AreRefusedWithAMessage() {
    TDesktopSetup setup;
    TMainForm form(setup.Options());
    const TMainFormUi& ui = form.Ui();
    const auto lastMessageNames = [&](const QString& characters) {
        return !setup.Messages->isEmpty() && setup.Messages->last().contains(characters) &&
               setup.Messages->last().contains(QStringLiteral("シフトJIS"));
    };

    ui.ServerInfoEdit->setText("abc");
    TypeText(ui.ServerInfoEdit, QStringLiteral("😀"));
    QCOMPARE(ui.ServerInfoEdit->text(), QStringLiteral("abc"));
    QVERIFY(lastMessageNames(QStringLiteral("😀")));

    Paste(ui.ServerNameEdit, QStringLiteral("a€b"));
    QCOMPARE(ui.ServerNameEdit->text(), QStringLiteral("TavoServer"));
    QVERIFY(lastMessageNames(QStringLiteral("€")));

    CommitFromInputMethod(ui.ServerInfoEdit, QStringLiteral("©"));
    QCOMPARE(ui.ServerInfoEdit->text(), QStringLiteral("abc"));
    QVERIFY(lastMessageNames(QStringLiteral("©")));

    ui.MOTDMemo->setPlainText(QStringLiteral("♪"));
    ui.MOTDMemo->moveCursor(QTextCursor::End);
    TypeText(ui.MOTDMemo, QStringLiteral("€"));
    Paste(ui.MOTDMemo, QStringLiteral("ok😀 ©"));
    QCOMPARE(ui.MOTDMemo->toPlainText(), QStringLiteral("♪"));
    QVERIFY(lastMessageNames(QStringLiteral("😀©")));
    QCOMPARE(setup.Messages->size(), 5);

    // A value that reached an edit some other way is refused at the start, never sent
    // as something else.
    ui.ServerInfoEdit->setText(QStringLiteral("info €"));
    ui.StartService->trigger();
    QVERIFY(!form.Running());
    QCOMPARE(Caption(form), StoppedCaption());
    QVERIFY(lastMessageNames(QStringLiteral("info €")));
}

void DesktopWindowTest::boundaryKeepsUneditedBytesAndConvertsEditedText() {
    TCp932Boundary boundary;
    // A byte that begins no character, and a character with two codes (the second
    // is what converting its text gives).
    const std::string notCp932 =
        "A\x80"
        "B";
    const std::string twoCodes = "\xED\x40";
    const QString shownNotCp932 = boundary.Show(notCp932);
    QCOMPARE(shownNotCp932, QStringLiteral("A\\x80B"));
    QCOMPARE(boundary.Show(twoCodes), QStringLiteral("纊"));
    QCOMPARE(boundary.Take(shownNotCp932), std::optional<std::string>(notCp932));
    QCOMPARE(boundary.Take(QStringLiteral("纊")), std::optional<std::string>(twoCodes));
    // Edited text is converted as it reads.
    QCOMPARE(boundary.Take(shownNotCp932 + "C"), std::optional<std::string>("A\\x80BC"));
    QCOMPARE(boundary.Take(QStringLiteral("日本語")), std::optional<std::string>(Cp932("日本語")));
    QCOMPARE(boundary.Take(QStringLiteral("x😀")), std::optional<std::string>());
    QCOMPARE(CharactersNotInCp932(QStringLiteral("a😀b€😀♪")), QStringLiteral("😀€"));
    QCOMPARE(CharactersNotInCp932(QStringLiteral("全部シフトJIS")), QString());
}

void DesktopWindowTest::startAndHideSwitches() {
    TDesktopSetup setup;
    setup.WriteIni({"Port=0"});
    setup.TrayAvailable = true;
    {
        TMainForm form(setup.Options({"/START", "/HIDE"}));
        QVERIFY(form.Running());
        QCOMPARE(Caption(form), RunningCaption(0));
        form.show();
        QTRY_VERIFY(!form.isVisible());
        QVERIFY(form.TrayIcon().isVisible());
    }
    {
        TMainForm form(setup.Options({"-start"}));
        QVERIFY(form.Running());
        form.show();
        QTest::qWait(50);
        QVERIFY(form.isVisible());
        QVERIFY(!form.isMinimized());
    }
    {
        TMainForm form(setup.Options({"START", "HIDE", "/STARTED", "-"}));
        QVERIFY(!form.Running());
        QVERIFY(!form.isMinimized());
    }
    // Without a notification area HIDE leaves the window minimised where it can be found.
    setup.TrayAvailable = false;
    {
        TMainForm form(setup.Options({"-Hide", "/Start"}));
        QVERIFY(form.Running());
        form.show();
        QTest::qWait(50);
        QVERIFY(form.isVisible());
        QVERIFY(form.isMinimized());
    }
}

void DesktopWindowTest::minimisingHidesBehindTheTrayIconOnlyWhenThereIsOne() {
    TDesktopSetup setup;
    setup.TrayAvailable = true;
    {
        TMainForm form(setup.Options());
        QVERIFY(form.TrayIcon().isVisible());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.showMinimized();
        QTRY_VERIFY(!form.isVisible());
        for (const auto other : {QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick,
                                 QSystemTrayIcon::MiddleClick}) {
            emit form.TrayIcon().activated(other);
            QTest::qWait(20);
            QVERIFY(!form.isVisible());
        }
        emit form.TrayIcon().activated(QSystemTrayIcon::Trigger);
        QVERIFY(form.isVisible());
        QVERIFY(!form.isMinimized());
    }
    setup.TrayAvailable = false;
    {
        TMainForm form(setup.Options());
        QVERIFY(!form.TrayIcon().isVisible());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.showMinimized();
        QTest::qWait(50);
        QVERIFY(form.isVisible());
        QVERIFY(form.isMinimized());
    }
}

void DesktopWindowTest::closeButtonNeverClosesTheWindow() {
    TDesktopSetup setup;
    setup.WriteIni({"Port=0"});
    TMainForm form(setup.Options({"/START"}));
    QSignalSpy finished(&form, &TMainForm::Finished);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    QVERIFY(form.Running());
    QCOMPARE(*setup.Messages, QStringList{QStringLiteral("メニューの終了ボタンを押してください")});
    QCOMPARE(finished.count(), 0);
}

void DesktopWindowTest::helpShowsTheHelpFileOrSaysItIsMissing() {
    TDesktopSetup setup;
    TMainForm form(setup.Options());
    form.Ui().Help1->trigger();
    QCOMPARE(setup.Messages->size(), 1);
    QVERIFY(setup.Messages->first().contains(QStringLiteral("ヘルプファイル")));
    QVERIFY(setup.Messages->first().contains(QStringLiteral("TavoServer.hlp")));
    QVERIFY(form.findChild<QTextBrowser*>("HelpWindow") == nullptr);

    // The built help file, beside the built program.
    const auto builtHelp =
        std::filesystem::path(TAVO_DESKTOP_PATH).parent_path() / "TavoServer.hlp";
    std::filesystem::copy_file(builtHelp, setup.Folder() / "TavoServer.hlp");
    form.Ui().Help1->trigger();
    const auto* help = form.findChild<QTextBrowser*>("HelpWindow");
    QVERIFY(help != nullptr);
    QVERIFY(help->isVisible());
    const QString text = help->toPlainText();
    for (const char* topic :
         {"サービス開始", "サービス停止", "終了", "サーバー名", "サーバー情報", "ポート",
          "最大接続数", "Ｐｉｎｇを送信する間隔", "参加チャンネル最大数", "接続メッセージ",
          "/START", "/HIDE", "シフトJIS"})
        QVERIFY2(text.contains(QString::fromUtf8(topic)), topic);
    QCOMPARE(setup.Messages->size(), 1);
}

void DesktopWindowTest::versionBlockAndTrayTip() {
    const std::filesystem::path program = TAVO_DESKTOP_PATH;
    const std::pair<const char*, std::string> strings[] = {
        {"ProductVersion", "0.65"},
        {"FileVersion", "0.6.5.1"},
        {"ProductName", "TavoServer"},
        {"InternalName", "TavoServer"},
        {"OriginalFilename", "TavoServer.exe"},
        {"FileDescription", Cp932("Ｗｉｎｄｏｗｓ用　簡易ＩＲＣ　Ｓｅｒｖｅｒ")},
        {"CompanyName", ""},
        {"LegalTrademarks", ""},
        {"Comments", ""},
    };
    for (const auto& [item, value] : strings)
        QCOMPARE(ReadVersionString(program, item), value);
    const auto block = platform::ReadVersionBlock(program);
    QVERIFY(block.has_value());
    QVERIFY(block->FileVersion == (platform::VersionNumber{0, 6, 5, 1}));
    QVERIFY(block->ProductVersion == (platform::VersionNumber{0, 6, 5, 1}));

    TDesktopSetup setup;
    {
        TMainForm form(setup.Options());
        QCOMPARE(form.TrayIcon().toolTip(), QStringLiteral("TavoServer Version 0.65"));
    }
    // The tip holds at most 63 bytes of code page 932, never half a character.
    const auto tipOfProgramNamed = [&](const QString& name) {
        const auto link = setup.Folder() / name.toStdString();
        std::filesystem::create_symlink(program, link);
        TMainFormOptions options = setup.Options();
        options.ProgramPath = link;
        return TMainForm(std::move(options)).TrayIcon().toolTip();
    };
    QCOMPARE(tipOfProgramNamed(QString(60, u'a')), QString(60, u'a') + " Ve");
    const QString fits = "a" + QString(31, u'あ');
    QCOMPARE(tipOfProgramNamed(fits), fits);
    QCOMPARE(tipOfProgramNamed("ab" + QString(31, u'あ')), "ab" + QString(30, u'あ'));
}

void DesktopWindowTest::windowOpensAtTheBottomRightOfTheScreen() {
    TDesktopSetup setup;
    TMainForm form(setup.Options());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.frameGeometry().bottomRight(), form.screen()->availableGeometry().bottomRight());
}

void DesktopWindowTest::statusBarCutsALongTextWithAnEllipsisAndShowsItWholeAsTooltip() {
    TDesktopSetup setup;
    TMainForm form(setup.Options());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    TStatusBar& bar = *form.Ui().StatusBar1;

    const QString shortText = QStringLiteral("ログイン");
    bar.showMessage(shortText);
    QCOMPARE(bar.ShownText(), shortText);
    QVERIFY(bar.toolTip().isEmpty());

    const QString longText =
        QStringLiteral("Closing Link: alice[127.0.0.2] (送信が止まったので接続を終了しました)");
    bar.showMessage(longText);
    QCOMPARE(bar.currentMessage(), longText);
    const QString shown = bar.ShownText();
    QVERIFY2(shown.endsWith(QChar(0x2026)), qPrintable(shown));
    QVERIFY(longText.startsWith(shown.chopped(1)));
    QVERIFY(bar.fontMetrics().horizontalAdvance(shown) <= bar.width());
    QCOMPARE(bar.toolTip(), longText);

    bar.clearMessage();
    QVERIFY(bar.toolTip().isEmpty());
}

QTEST_MAIN(DesktopWindowTest)
#include "DesktopWindow_test.moc"
