#pragma once
// The window kind of the viewer and the settings dialog: a fixed dialog border, a title
// with a close box, no minimise or maximise button. Given an owner, such a window stays
// in front of it and has no task-bar entry of its own.

#include <Qt>

inline constexpr Qt::WindowFlags FixedDialogFlags = Qt::Dialog | Qt::CustomizeWindowHint
    | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
    | Qt::MSWindowsFixedSizeDialogHint;
