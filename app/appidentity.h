#pragma once
// Who the program says it is: name, version, the comment of the version box, the icon of
// its windows and the desktop ID that ties them to the launcher.

// Call once, right after the QApplication is made.
void applyAppIdentity();
