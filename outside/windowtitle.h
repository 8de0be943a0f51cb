#pragma once
// A window title shows "[*]" only as the marker of unsaved changes, and drops it from any
// other text. A path may hold those three characters, so it is written with them doubled.

#include <QString>

QString literalWindowTitle(QString text);
