// The program entry: one instance per user, then the main window.

#include "frmLumo.h"
#include "singleinstance.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(LUMO_VERSION));
    QApplication::setApplicationDisplayName(QStringLiteral("Lumo"));
    app.setProperty("comment", QStringLiteral("Lumo"));

    // Qt's own dialogs (file and folder pickers) speak Japanese like the rest of the program.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);

    SingleInstance instance(QCoreApplication::applicationName());
    if (!instance.tryAcquire())
        return 0;

    frmLumo window;
    window.show();
    // Shown first, so the window is on screen before a catalogue is read.
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    window.openCommandLine(arguments.join(QLatin1Char(' ')));
    return app.exec();
}
