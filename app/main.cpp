// The program entry: one instance per user, then the main window.

#include "appidentity.h"
#include "frmLumo.h"
#include "singleinstance.h"

#include "outside/appsettings.h"
#include "outside/uilanguage.h"

#include <QApplication>
#include <QDir>
#include <QLocale>

#include <cstdio>
#include <cstring>

namespace {
const char Help[] =
    "Usage: lumo [CATALOGUE]\n"
    "Finds look-alike JPEG pictures. Opens CATALOGUE (a *.sbx file) once the window is shown;\n"
    "the whole argument text is its path. Only one Lumo runs per user: a second start hands\n"
    "CATALOGUE to the running one, which comes to the front and opens it, and ends.\n"
    "\n"
    "  --help       show this help\n"
    "  --version    print the version\n";
}

int main(int argc, char *argv[])
{
    // Answered before any window or lock, so they work without a display and beside a
    // running Lumo. A catalogue with such a name is opened as ./--version.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("lumo %s\n", LUMO_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(Help, stdout);
        return 0;
    }

    // The lock and the hand-over come before the window's application object, so a second
    // start needs no display.
    SingleInstance instance(QStringLiteral("lumo"));
    if (!instance.tryAcquire()) {
        QCoreApplication core(argc, argv);
        QStringList arguments = QCoreApplication::arguments();
        arguments.removeFirst();
        // The running Lumo opens the catalogue; a relative name means this start's folder.
        const QString name = frmLumo::commandLineName(arguments.join(QLatin1Char(' ')));
        if (instance.handOver(name.isEmpty() ? name : QDir::current().absoluteFilePath(name)))
            return 0;
        std::fputs("lumo: another Lumo is running but did not answer; try again, or close it first\n", stderr);
        return 1;
    }

    QApplication app(argc, argv);
    // Listening at once: a second start reaches this one as soon as it holds the lock.
    instance.listen();
    // The language comes before the identity and every window: they take their texts from it.
    {
        const AppSettings settings;
        const QString setting = settings.readString(UiLanguageSetting::Key, UiLanguageSetting::Auto);
        if (!installUiLanguage(chooseUiLanguage(setting, QLocale::system().name())))
            std::fputs("lumo: the translation could not be loaded; the texts stay Japanese\n", stderr);
    }
    applyAppIdentity();

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const QString commandLine = arguments.join(QLatin1Char(' '));

    frmLumo window;
    QObject::connect(&instance, &SingleInstance::requested, &window, &frmLumo::openHandedOver);
    window.show();
    // Shown first, so the window is on screen before a catalogue is read.
    window.openCommandLine(commandLine);
    return app.exec();
}
