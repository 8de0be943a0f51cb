#pragma once
// Opening and saving catalogues and reading pictures, with the failures put into the
// one-line messages the tool prints: "lumo-cli: <file>: <reason>".

#include "commandcontext.h"

#include "catalogue/picturecollection.h"
#include "entries/signaturetable.h"

#include <QString>

#include <optional>

void reportProblem(CommandContext &context, const QString &file, const QString &reason);
// A path as the file system spells it, for a message: valid UTF-8 as it stands, every
// other byte as \xNN.
QString printablePath(const QByteArray &nativePath);

// The path the system opens for `argument`: a relative one gets the working folder in
// front; then it is cleaned of "/./", ".." and doubled '/' without changing the file it
// names (cleanFullPath: "lnk/../b.jpg" is another file than "b.jpg" when lnk is a link).
// The path a catalogue stores for it.
QString absolutePath(const QString &argument);

// Why `path` cannot be opened for reading ("no such file", "permission denied", ...).
QString readProblem(const QString &path);
// Why a picture gave no signature: the file's own problem, else "cannot read picture".
QString pictureProblem(const QString &path);

// Reads a catalogue, refusing damaged ones; reports the failure and returns false.
bool openCatalogue(const QString &path, SignatureTable &table, CommandContext &context);
// Reads several catalogues as one collection, refusing damaged ones; reports the first
// failure and returns false.
bool openCollection(const QStringList &paths, PictureCollection &collection, CommandContext &context);
// Saves atomically; reports the failure and returns false.
bool storeCatalogue(const QString &path, const SignatureTable &table, CommandContext &context);

// The signature of a picture file, or nothing when it cannot be decoded. Thread-safe.
std::optional<Signature> signatureOfFile(const QString &path);
