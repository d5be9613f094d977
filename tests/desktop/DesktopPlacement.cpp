// Checks the desktop window as a window manager shows it (run by capture-window.sh:
// Xvfb with openbox): the window has a fixed size, the manager offers neither maximise
// nor full screen nor resizing, and the frame lies in the bottom-right corner of the
// screen's available area when the window is first shown and again after it was
// hidden behind its notification-area icon and brought back with a click. Saves a
// picture of the whole screen at each of the two moments.
//   DesktopPlacement <folder> <port>
// writes <folder>/placement-first-show.png and <folder>/placement-after-restore.png.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <xcb/xcb.h>

#include "desktop/AppIcon.h"
#include "tests/desktop/DesktopTestSupport.h"

namespace {

int failures = 0;

void Check(bool holds, const QString& what) {
    std::printf("%s: %s\n", holds ? "ok" : "FAILED", qPrintable(what));
    failures += holds ? 0 : 1;
}

QString Describe(const QRect& r) {
    return QStringLiteral("%1x%2 at (%3,%4)-(%5,%6)")
        .arg(r.width())
        .arg(r.height())
        .arg(r.x())
        .arg(r.y())
        .arg(r.right())
        .arg(r.bottom());
}

bool FrameInCorner(TMainForm& form) {
    return form.frameGeometry().bottomRight() == form.screen()->availableGeometry().bottomRight();
}

// Waits until the window is shown and framed by the window manager, then (10 s at
// most, for a busy machine) until its frame is in the corner, and a little longer, so
// that a late move would be seen.
bool WaitShownAndFramed(TMainForm& form) {
    const bool shown =
        QTest::qWaitForWindowExposed(&form, 10000) &&
        QTest::qWaitFor([&] { return form.frameGeometry() != form.geometry(); }, 10000);
    [[maybe_unused]] const bool inCorner =
        QTest::qWaitFor([&] { return FrameInCorner(form); }, 10000);  // checked by the caller
    QTest::qWait(700);
    return shown;
}

void CheckPlace(TMainForm& form, const QString& moment, const QString& picture) {
    const QRect area = form.screen()->availableGeometry();
    const QRect frame = form.frameGeometry();
    Check(frame.bottomRight() == area.bottomRight(),
          moment + ": frame " + Describe(frame) + " in the corner of " + Describe(area));
    Check(form.size() == QSize(TMainFormUi::kWidth, TMainFormUi::kHeight),
          moment + QStringLiteral(": the window is %1x%2").arg(form.width()).arg(form.height()));
    const QPixmap screen = form.screen()->grabWindow(0);
    Check(!screen.isNull() && screen.save(picture, "PNG"), moment + ": picture " + picture);
}

// The actions the window manager allows the window (_NET_WM_ALLOWED_ACTIONS).
QString AllowedActions(const TMainForm& form) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(form.winId()),
                                          QStringLiteral("_NET_WM_ALLOWED_ACTIONS")});
    xprop.waitForFinished(5000);
    return QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
}

// Asks the window manager to minimise the window, as its frame's minimise button does
// (ICCCM WM_CHANGE_STATE to IconicState): the window learns of it only from the window
// manager, after the manager has done it. (A window's own setWindowState would change
// its state at once, before the manager has acted on the request.)
void MinimiseThroughTheWindowManager(const QWidget& window) {
    xcb_connection_t* connection =
        qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const char name[] = "WM_CHANGE_STATE";
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name),
                              nullptr),
        &std::free);
    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = static_cast<xcb_window_t>(window.winId());
    request.type = atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
    request.data.data32[0] = 3;  // IconicState
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_send_event(connection, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&request));
    xcb_flush(connection);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: DesktopPlacement <folder> <port>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QApplication::setApplicationName("TavoServer");
    QApplication::setWindowIcon(AppIcon());
    QDir().mkpath(folder);

    TDesktopSetup setup;
    setup.TrayAvailable = true;  // minimising hides the window behind its icon
    TMainForm form(setup.Options());
    form.show();
    Check(WaitShownAndFramed(form), "the window was shown with a frame");
    CheckPlace(form, "first show", folder + "/placement-first-show.png");

    Check(form.minimumSize() == form.maximumSize(), "the window's size is fixed");
    const QString actions = AllowedActions(form);
    std::printf("%s\n", qPrintable(actions));
    Check(actions.contains("_NET_WM_ACTION_MINIMIZE"), "the window manager offers minimise");
    // (openbox offers full screen to every normal window, whatever its hints say)
    for (const char* action :
         {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_RESIZE"})
        Check(!actions.contains(action),
              QStringLiteral("the window manager does not offer ") + action);
    // Maximised or made full-screen by the window manager, the window takes back its
    // size and place.
    for (const Qt::WindowState state : {Qt::WindowMaximized, Qt::WindowFullScreen}) {
        form.setWindowState(state);
        QTest::qWait(500);
        [[maybe_unused]] const bool back = QTest::qWaitFor(  // checked below
            [&] { return form.windowState() == Qt::WindowNoState && FrameInCorner(form); }, 10000);
        QTest::qWait(500);
        const QString name = state == Qt::WindowMaximized ? "maximised" : "full-screen";
        Check(form.size() == QSize(TMainFormUi::kWidth, TMainFormUi::kHeight) &&
                  form.windowState() == Qt::WindowNoState,
              name + QStringLiteral(", the window is %1x%2 in state %3")
                         .arg(form.width())
                         .arg(form.height())
                         .arg(int(form.windowState())));
        Check(
            form.frameGeometry().bottomRight() == form.screen()->availableGeometry().bottomRight(),
            name + ", the frame is back in the corner: " + Describe(form.frameGeometry()));
    }

    // Minimised it hides; a left click on its icon brings it back, in the corner.
    MinimiseThroughTheWindowManager(form);
    Check(QTest::qWaitFor([&] { return !form.isVisible(); }, 5000),
          "minimised, the window hides behind its icon");
    emit form.TrayIcon().activated(QSystemTrayIcon::Trigger);
    Check(WaitShownAndFramed(form), "a click on the icon shows the window again");
    CheckPlace(form, "after a restore", folder + "/placement-after-restore.png");
    return failures == 0 ? 0 : 1;
}
