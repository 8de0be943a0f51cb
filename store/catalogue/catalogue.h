#pragma once
// The catalogue file (*.sbx): little-endian, no header; a signed 16-bit count, then
// one record per table slot: 384 bytes of cells, a 16-bit name length, the name bytes.

#include "sigboxcore_export.h"
#include "entries/signaturetable.h"

class QFile;

class QIODevice;

enum class CatalogueStatus {
    Ok,          // every record up to the count was read
    ShortRecords,// the file ended before all records (missing slots stay blank)
    CutRecord,   // the file ended inside a record; that record counts as not read
    TooShort,    // fewer than 2 bytes: no count
    BadCount,    // a negative count
    NotCatalogue,// an entry holds a cell value outside 0..255, as no catalogue does
    OpenFailed,
    WriteFailed,
    NotHeld,     // read whole, but its signatures could not be held for a search (out of memory)
};

struct CatalogueResult {
    CatalogueStatus status = CatalogueStatus::Ok;
    int recordsRead = 0;
    // A failure means the table could not be read at all (or the file not written).
    bool failed() const
    {
        return status == CatalogueStatus::TooShort || status == CatalogueStatus::BadCount
            || status == CatalogueStatus::NotCatalogue || status == CatalogueStatus::OpenFailed
            || status == CatalogueStatus::WriteFailed || status == CatalogueStatus::NotHeld;
    }
    // Damage a strict reader (the command-line tool) refuses: fewer entries than counted.
    bool damaged() const { return failed() || recordsRead < entryCount; }
    int entryCount = 0;
};

// Writes every slot, the spare included. Names are written in UTF-8.
SIGBOXCORE_EXPORT bool writeCatalogue(QIODevice &out, const SignatureTable &table);
// Reads into `table`; after a failure the table is empty (count 0). Names that are not
// valid UTF-8 are read as code page 932, the encoding of catalogues from Japanese Windows.
// A file whose entries (as far as they are in it) hold a cell value outside 0..255 is not
// a catalogue and fails; the spare slot and anything after it are not looked at.
SIGBOXCORE_EXPORT CatalogueResult readCatalogue(QIODevice &in, SignatureTable &table);

// Atomic save: a temporary file beside `path` replaces it only when fully written,
// so a failed save leaves an existing catalogue as it was.
SIGBOXCORE_EXPORT CatalogueResult saveCatalogue(const QString &path, const SignatureTable &table);
SIGBOXCORE_EXPORT CatalogueResult loadCatalogue(const QString &path, SignatureTable &table);
// Opens a catalogue file for reading: only a regular file, never waiting (a FIFO, a device
// or a folder is refused at once). False when it cannot be opened so.
SIGBOXCORE_EXPORT bool openCatalogueFile(QFile &in, const QString &path);

// Decodes a catalogue name: UTF-8 when valid, otherwise code page 932.
SIGBOXCORE_EXPORT QString decodeCatalogueName(const QByteArray &bytes);
