#pragma once
// The application's own icon, and the two image lists of the main window: imlLumo (tool bar, by key) and imlJpeg (list
// rows: 1 = picture present, 2 = picture missing). Icons come from the desktop's theme
// where it has them, else from our own 16 x 16 drawings.

#include <QIcon>
#include <QString>

class LumoIcons
{
public:
    // Keys: Cancel, New, Open, Save, Like, Add, Del, Folder, View, List.
    static QIcon imlLumo(const QString &key);
    static QIcon imlJpeg(int image);
    // Our own drawing for a key, without asking the theme.
    static QPixmap drawn(const QString &key);
    // The program's icon (app/data/lumo.svg, the one the launcher shows) at the sizes
    // window managers and the version box ask for.
    static QIcon application();
};
