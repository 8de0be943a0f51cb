#!/usr/bin/env python3
"""make_big_catalogue.py OUT.sbx [PICTURES] [--root DIR] [--copies N [--files DIR]]

Writes a catalogue of PICTURES entries (default 1,000,000) as the series Lumo and
`lumo-cli add --split` keep: OUT.sbx, OUT-2.sbx, ... each of at most 32,767 entries
(1,000,000 make 31 files). Signatures are random (seeded, so every run writes the same
files); paths look like a photo library's: ROOT/YYYY/MM/IMG_NNNNNNN.jpg (default ROOT
/home/user/Pictures). No picture file is written: the paths name files that are not there.

With --copies N every Nth picture is a look-alike of a random earlier one (its signature
moved by at most 2 in each cell), so that a search finds groups all over the set, across
the parts. With --files DIR each picture of such a group is a symbolic link to one of the
JPEGs in DIR, in turn, for what reads the pictures (thumbnails, the keep rules, 比較).

For the benchmarks of opening, listing, sorting and searching a library of that size:
    tools/make_big_catalogue.py /tmp/big/photos.sbx
    build/bin/lumo-cli list /tmp/big/photos*.sbx | tail -1
and of a search's result at that size:
    tools/make_big_catalogue.py /tmp/groups/photos.sbx --copies 10 \
        --root /tmp/groups/Pictures --files /work/data/scale2000
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


def picture_path(args, i):
    year = 2004 + i * 20 // max(args.pictures, 1)
    month = 1 + (i // 997) % 12
    return '%s/%d/%02d/IMG_%07d.jpg' % (args.root, year, month, i)


def link(target, path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if os.path.lexists(path):
        os.remove(path)
    os.symlink(target, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[2])
    parser.add_argument('out')
    parser.add_argument('pictures', nargs='?', type=int, default=1000000)
    parser.add_argument('--root', default='/home/user/Pictures')
    parser.add_argument('--copies', type=int, default=0, metavar='N')
    parser.add_argument('--files', metavar='DIR')
    args = parser.parse_args()
    if args.copies == 1 or args.copies < 0:
        parser.error('--copies takes 2 or more')
    files = []
    if args.files:
        files = sorted(os.path.join(args.files, name) for name in os.listdir(args.files)
                       if name.lower().endswith(('.jpg', '.jpeg')))
        if not files:
            parser.error('no JPEG in ' + args.files)
    generator = random.Random(20261209)
    signatures = []  # every picture's, while copies are made of earlier ones
    linked = set()
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
                original = -1
                if args.copies and i > 0 and i % args.copies == args.copies - 1:
                    original = generator.randrange(i)
                    values = bytes(min(255, max(0, v + generator.randint(-2, 2)))
                                   for v in signatures[original])
                else:
                    values = generator.randbytes(192)
                if args.copies:
                    signatures.append(values)
                # Each value 0..255 as a little-endian 16-bit number: low byte, then zero.
                cells[0::2] = values
                path = picture_path(args, i)
                if files and original >= 0:
                    for picture in (original, i):
                        if picture not in linked:
                            link(files[len(linked) % len(files)], picture_path(args, picture))
                            linked.add(picture)
                path = path.encode()
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
    if linked:
        print('%d of them linked to pictures in %s' % (len(linked), args.files))


if __name__ == '__main__':
    main()
