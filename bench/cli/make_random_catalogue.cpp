// make_random_catalogue N OUT.sbx: N entries with random signatures and made-up paths.

#include "randomsignatures.h"

#include "catalogue/catalogue.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    const int count = argc == 3 ? std::atoi(argv[1]) : -1;
    if (count < 0 || count > SignatureTable::MaxEntries) {
        std::fprintf(stderr, "usage: make_random_catalogue N OUT.sbx   (N from 0 to %d)\n", SignatureTable::MaxEntries);
        return 2;
    }
    if (saveCatalogue(QString::fromLocal8Bit(argv[2]), randomSignatureTable(count)).failed()) {
        std::fprintf(stderr, "make_random_catalogue: %s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
