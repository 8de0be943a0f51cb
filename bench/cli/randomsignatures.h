#pragma once
// Random signatures: any two are far apart, so a search over them finds no group
// and has to make every comparison.

#include "entries/signaturetable.h"

#include <QString>

#include <random>

// Names are numbered from `firstName`, so tables made with different ones share no path.
inline SignatureTable randomSignatureTable(int count, unsigned seed = 1, int firstName = 0)
{
    std::mt19937 random(seed);
    SignatureTable table;
    for (int i = 0; i < count; ++i) {
        Signature cells;
        for (int16_t &value : cells)
            value = static_cast<int16_t>(random() % 256);
        table.append(QStringLiteral("/pictures/random_%1.jpg").arg(firstName + i, 5, 10, QLatin1Char('0')), cells);
    }
    return table;
}
