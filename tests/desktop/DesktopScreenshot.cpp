// Takes pictures of the desktop window as an operator sees it: the window on the
// display it is given (with its window manager's frame and caption), the server
// started with one client connected, first the page "サーバー", then "接続メッセージ".
//   DesktopScreenshot <folder> <port>
// writes <folder>/desktop-server-page.png and <folder>/desktop-motd-page.png.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <cstdio>
#include <memory>

#include "desktop/AppIcon.h"
#include "tests/desktop/DesktopTestSupport.h"

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "DesktopScreenshot: %s\n", what);
    return 1;
}

// Waits until the window manager has framed the window, then puts it in place.
void WaitForFrame(TMainForm& form) {
    const bool framed =
        QTest::qWaitFor([&] { return form.frameGeometry() != form.geometry(); }, 5000);
    if (!framed)
        std::fprintf(stderr,
                     "DesktopScreenshot: no window manager frame; the caption is missing\n");
    form.FormShow();
    QTest::qWait(500);
}

bool SavePage(TMainForm& form, int page, const QString& file) {
    form.Ui().PageControl1->setCurrentIndex(page);
    QTest::qWait(300);
    const QRect frame = form.frameGeometry();
    const QPixmap picture =
        form.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    return !picture.isNull() && picture.save(file, "PNG");
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 3)
        return Fail("usage: DesktopScreenshot <folder> <port>");
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QApplication::setApplicationName("TavoServer");
    QApplication::setWindowIcon(AppIcon());
    if (!QDir().mkpath(folder))
        return Fail("cannot make the folder");

    TDesktopSetup setup;
    setup.WriteIni({std::string("Port=") + argv[2]});
    TMainForm form(setup.Options({"/START"}));
    if (!form.Running())
        return Fail("the server did not start");
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, 20000))
        return Fail("the window was not shown");
    const auto client = std::make_unique<TTestClient>(form.ListeningPort(), "127.0.0.2");
    if (!QTest::qWaitFor([&] { return form.windowTitle() == RunningCaption(1); }, 20000))
        return Fail("the client was not counted");
    WaitForFrame(form);

    if (!SavePage(form, 0, folder + "/desktop-server-page.png") ||
        !SavePage(form, 1, folder + "/desktop-motd-page.png"))
        return Fail("cannot save the pictures");
    return 0;
}
