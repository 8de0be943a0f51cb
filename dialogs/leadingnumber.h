#pragma once
// How the settings dialog reads a box: the number its text starts with. No window here,
// so the tests and the fuzzers reach it directly.

#include <QStringView>
#include <QtGlobal>

#include <optional>

// The whole number the text starts with, after any blanks and one sign. Empty when that
// number is 0 (so also for an empty text or one that does not start with a number) or
// lies outside min .. max: the user has to say what is meant.
std::optional<qint32> readLeadingNumber(QStringView text, qint32 min, qint32 max);
