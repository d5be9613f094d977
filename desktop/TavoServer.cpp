// Entry of the desktop program TavoServer: the operator's window and its event loop,
// until "終了" is chosen or the desktop session ends.
#include <QApplication>
#include <QSessionManager>
#include <clocale>

#include "desktop/AppIcon.h"
#include "desktop/DesktopTexts.h"
#include "desktop/Main.h"
#include "platform/ExecutablePath.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Qt takes the locale from the environment; the system's error texts (after the
    // Japanese text of a port that cannot be bound) stay plain ASCII.
    std::setlocale(LC_MESSAGES, "C");
    QApplication::setApplicationName(QString::fromUtf8(DesktopTexts::ProgramTitle));
    QApplication::setWindowIcon(AppIcon());
    // Hidden behind its notification-area icon the window still runs the program.
    QApplication::setQuitOnLastWindowClosed(false);

    TMainForm form(TMainFormOptions::ForExecutable(platform::RunningExecutablePath(),
                                                   QApplication::arguments()));
    QObject::connect(&form, &TMainForm::Finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager&) { form.EndSession(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, &TMainForm::EndSession);
    form.show();
    return QApplication::exec();
}
