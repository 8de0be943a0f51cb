#pragma once
// Shared helpers: pictures and catalogues made to order, and running commands.

#include "entries/signaturetable.h"

#include <QColor>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

// Runs `lumo-cli ARGUMENTS` in this process.
CliRun runCli(const QStringList &arguments);
// ...with `input` on its standard input.
CliRun runCli(const QStringList &arguments, const QByteArray &input);
// Runs the built lumo-cli binary, without any display, in `workingDirectory` if given;
// `inChild` runs in the child just before lumo-cli starts (to set limits on it); `input`
// goes to its standard input. The environment is this process's as it is now (GLib reads
// HOME and XDG_DATA_HOME only once per process, so a test that changes them runs lumo-cli so).
CliRun runCliProcess(const QStringList &arguments, const QString &workingDirectory = QString(),
                     const std::function<void()> &inChild = {}, const QByteArray &input = {});

// A 96 x 64 JPEG: the top half `top`, the bottom half `bottom`.
void writePicture(const QString &path, QColor top, QColor bottom = QColor());
// `count` JPEGs pic_00.jpg ... in `folder`, each of a different colour.
QStringList writePictures(const QString &folder, int count);
void writeText(const QString &path, const QByteArray &content);
QByteArray readBytes(const QString &path);

// Signatures with known check values: every cell mid grey...
Signature greySignature();
// ...with `count` cells from `first` white: 10 such cells against grey still give 0, 11 give 465.
Signature whitePatch(int first, int count);
// ...with 11 cells `value` redder: exactly `value` against grey.
Signature checkValueAgainstGrey(int value);

// The paths of a catalogue's entries, in order (a failure when it is damaged).
QStringList listedPaths(const QString &catalogue);
// Writes a catalogue of entries named /pictures/p<i>.jpg with the given signatures.
void writeTestCatalogue(const QString &path, const std::vector<Signature> &signatures);
QString pictureName(int index);
