#include "appidentity.h"

#include "lumoicons.h"

#include <QApplication>

void applyAppIdentity()
{
    QApplication::setApplicationVersion(QStringLiteral(LUMO_VERSION));
    QApplication::setApplicationDisplayName(QStringLiteral("Lumo"));
    // The version box shows the comment: the product's name and what it does.
    qApp->setProperty("comment", QCoreApplication::translate("AppIdentity", "Lumo — よく似たJPEG画像を探します"));
    QApplication::setWindowIcon(LumoIcons::application());
    // Lets the desktop match the windows to their launcher and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(LUMO_APP_ID));
}
