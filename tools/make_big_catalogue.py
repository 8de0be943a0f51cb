#!/usr/bin/env python3
"""make_big_catalogue.py OUT.sbx [PICTURES] [--root DIR]

Writes a catalogue of PICTURES entries (default 1,000,000) as the series Lumo and
`lumo-cli add --split` keep: OUT.sbx, OUT-2.sbx, ... each of at most 32,767 entries
(1,000,000 make 31 files). Signatures are random (seeded, so every run writes the same
files); paths look like a photo library's: ROOT/YYYY/MM/IMG_NNNNNNN.jpg (default ROOT
/home/user/Pictures). No picture file is written: the paths name files that are not there.

For the benchmarks of opening, listing, sorting and searching a library of that size:
    tools/make_big_catalogue.py /tmp/big/photos.sbx
    build/bin/lumo-cli list /tmp/big/photos*.sbx | tail -1
"""
import argparse
import os
import random
import struct

PART = 32767


def part_name(first, number):
    # As the programs name a part: "-N" before the extension, or at the end without one.
    folder, name = os.path.split(first)
    stem, dot, suffix = name.rpartition('.')
    if not dot or not stem:
        return first + '-%d' % number
    return os.path.join(folder, '%s-%d.%s' % (stem, number, suffix))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[2])
    parser.add_argument('out')
    parser.add_argument('pictures', nargs='?', type=int, default=1000000)
    parser.add_argument('--root', default='/home/user/Pictures')
    args = parser.parse_args()
    generator = random.Random(20261209)
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    written = 0
    number = 1
    cells = bytearray(384)
    while written < args.pictures or number == 1:
        count = min(PART, args.pictures - written)
        target = args.out if number == 1 else part_name(args.out, number)
        temporary = target + '.tmp'
        with open(temporary, 'wb') as out:
            out.write(struct.pack('<h', count))
            chunks = []
            for i in range(written, written + count):
                # Each value 0..255 as a little-endian 16-bit number: low byte, then zero.
                cells[0::2] = generator.randbytes(192)
                year = 2004 + i * 20 // max(args.pictures, 1)
                month = 1 + (i // 997) % 12
                path = ('%s/%d/%02d/IMG_%07d.jpg' % (args.root, year, month, i)).encode()
                chunks.append(bytes(cells) + struct.pack('<H', len(path)) + path)
                if len(chunks) == 4096:
                    out.write(b''.join(chunks))
                    chunks.clear()
            out.write(b''.join(chunks))
        os.replace(temporary, target)
        written += count
        number += 1
        if count == 0:
            break
    print('%d pictures in %d files: %s' % (written, number - 1, args.out))


if __name__ == '__main__':
    main()
