#pragma once
// Helpers shared by the store tests: signatures with chosen values, files with chosen bytes.

#include "entries/signaturetable.h"

#include <QFile>

inline Signature filledSignature(int seed)
{
    Signature s{};
    for (int i = 0; i < pixcore::SignatureValues; ++i)
        s[i] = static_cast<int16_t>((seed * 31 + i * 7) % 256);
    return s;
}

// Writes `bytes` as the whole of the file at `path`; false when it cannot.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
