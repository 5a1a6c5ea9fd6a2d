#!/usr/bin/python3
"""Writes compound documents laid out the way other writers lay them out,
so that our reader and writer meet more than their own layout: table blocks
at the end, free blocks in the middle, chains out of order, unused
directory entries, a red-black sibling tree with both colours, a small-block
table that is a chain with a free block, and (for large files) table blocks
listed through DIFAT blocks whose chain ends with a free marker.

usage: make_foreign_cfb.py small OUT     (the committed fixture foreign_small.cfb)
       make_foreign_cfb.py difat OUT     (about 7.5 MB, made by the tests)

Stream i holds bytes ((k * 31 + seed) & 0xFF) for k in range(size); the
tests compute the same bytes.
"""
import struct
import sys

FREE, END, FAT, DIF = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC


def content(size, seed):
    return bytes(((k * 31 + seed) & 0xFF) for k in range(size))


class Doc:
    def __init__(self, sectors):
        self.sectors = [b"\xAB" * 512 for _ in range(sectors)]  # junk in free sectors
        self.fat = {}

    def chain(self, blocks, data):
        for i, b in enumerate(blocks):
            piece = data[i * 512:(i + 1) * 512]
            self.sectors[b] = piece + b"\0" * (512 - len(piece))
            self.fat[b] = blocks[i + 1] if i + 1 < len(blocks) else END


def entry(name, etype, colour, left, right, child, start, size):
    raw = name.encode("utf-16-le")
    e = raw + b"\0" * (64 - len(raw))
    e += struct.pack("<HBB", len(raw) + 2 if name else 0, etype, colour)
    e += struct.pack("<III", left, right, child)
    e += (b"\x11" * 16 if etype == 5 else b"\0" * 16)  # class id
    e += struct.pack("<I", 0)
    e += struct.pack("<IIII", 0x01D2A3B4, 0x5566, 0x01D2A3B5, 0x7788) if etype in (1, 5) else b"\0" * 16
    e += struct.pack("<IIH", start, size, 0) + b"\0\0"
    assert len(e) == 128
    return e


def header(bat_blocks, dir_start, sbat_start, sbat_count, difat_start, difat_count):
    h = b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16
    h += struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + b"\0" * 10
    h += struct.pack("<IIIIIIII", len(bat_blocks), dir_start, 0, 4096, sbat_start, sbat_count,
                     difat_start, difat_count)
    slots = list(bat_blocks[:109]) + [FREE] * (109 - min(109, len(bat_blocks)))
    h += struct.pack("<109I", *slots)
    assert len(h) == 512
    return h


def finish(doc, bat_blocks, difat_blocks, hdr):
    for b in bat_blocks:
        doc.fat[b] = FAT
    for b in difat_blocks:
        doc.fat[b] = DIF
    n = len(bat_blocks) * 128
    table = [doc.fat.get(k, FREE) for k in range(n)]
    for i, b in enumerate(bat_blocks):
        doc.sectors[b] = struct.pack("<128I", *table[i * 128:(i + 1) * 128])
    rest = bat_blocks[109:]
    for i, b in enumerate(difat_blocks):
        part = rest[i * 127:(i + 1) * 127]
        part = part + [FREE] * (127 - len(part))
        nxt = difat_blocks[i + 1] if i + 1 < len(difat_blocks) else FREE  # free marker, not END
        doc.sectors[b] = struct.pack("<128I", *(part + [nxt]))
    return hdr + b"".join(doc.sectors)


def small(out):
    # sectors: 0 free junk, 1 SBAT (first), 2 directory, 3-5 Workbook, 6 free,
    # 7 mini stream, 8 free, 9-15 Workbook, 16 mini stream, 17 SBAT (second,
    # all free), 18 directory, 19 BAT
    doc = Doc(20)
    wb = content(5000, 1)
    doc.chain([3, 4, 5, 9, 10, 11, 12, 13, 14, 15], wb)
    # mini stream: Summary (200 bytes, mini 0-3), DocSummary (300, mini 4-8),
    # Ole (20, mini 9); DocSummary's mini blocks out of order.
    mini = bytearray(640)
    sbat = {}

    def put_small(blocks, data):
        for i, m in enumerate(blocks):
            piece = data[i * 64:(i + 1) * 64]
            mini[m * 64:m * 64 + len(piece)] = piece
            sbat[m] = blocks[i + 1] if i + 1 < len(blocks) else END

    put_small([0, 1, 2, 3], content(200, 2))
    put_small([8, 4, 7, 5, 6], content(300, 3))
    put_small([9], content(20, 4))
    doc.chain([7, 16], bytes(mini))
    sbat_table = [sbat.get(k, FREE) for k in range(256)]
    doc.chain([1, 17], struct.pack("<256I", *sbat_table))
    d = b"".join([
        entry("Root Entry", 5, 0, FREE, FREE, 3, 7, 640),
        entry("Workbook", 2, 1, FREE, FREE, FREE, 3, 5000),
        b"\0" * 128,
        entry("\x05SummaryInformation", 2, 1, 1, 4, FREE, 0, 200),
        entry("\x05DocumentSummaryInformation", 2, 0, FREE, 6, FREE, 8, 300),
        b"\0" * 128,
        entry("ObjectPool", 1, 1, FREE, FREE, 7, 0, 0),
        entry("Ole", 2, 1, FREE, FREE, FREE, 9, 20),
    ])
    doc.chain([2, 18], d)
    data = finish(doc, [19], [], header([19], 2, 1, 2, END, 0))
    with open(out, "wb") as f:
        f.write(data)


def difat(out):
    # One stream of 7.5 MB whose chain runs backwards through the file, table
    # blocks at the end, DIFAT block in the middle.
    size = 15000 * 512 + 100
    blocks_needed = (size + 511) // 512
    stream_blocks = list(range(blocks_needed, 0, -1))  # 15001 .. 1, backwards
    dir_block = 0
    difat_block = blocks_needed + 1
    total_guess = blocks_needed + 2
    bat_count = (total_guess + 128 + 127) // 128
    bat_blocks = list(range(total_guess, total_guess + bat_count))
    total = total_guess + bat_count
    assert bat_count > 109 and bat_count * 128 >= total and bat_count - 109 <= 127
    doc = Doc(total)
    doc.chain(stream_blocks, content(size, 5))
    d = b"".join([
        entry("Root Entry", 5, 0, FREE, FREE, 1, END, 0),
        entry("Big", 2, 1, FREE, FREE, FREE, stream_blocks[0], size),
        b"\0" * 256,
    ])
    doc.chain([dir_block], d)
    data = finish(doc, bat_blocks, [difat_block], header(bat_blocks, dir_block, END, 0, difat_block, 1))
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    {"small": small, "difat": difat}[sys.argv[1]](sys.argv[2])
