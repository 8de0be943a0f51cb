#pragma once
// Helpers shared by the store tests: signatures with chosen values.

#include "entries/signaturetable.h"

inline Signature filledSignature(int seed)
{
    Signature s{};
    for (int i = 0; i < pixcore::SignatureValues; ++i)
        s[i] = static_cast<int16_t>((seed * 31 + i * 7) % 256);
    return s;
}
