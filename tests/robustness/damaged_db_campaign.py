#!/usr/bin/env python3
"""Damaged listing databases: runs `brevan /W` on many broken copies of real
listing databases and checks that every run ends well.

A run ends well when it either
  - succeeds: status 0, nothing on stderr, and tvdata.xml is well-formed and
    valid against the XMLTV DTD (or, for a table that reads as empty, the
    older guide is left as it was), or
  - fails cleanly: status 1, exactly one line "Brevan: <message>" on stderr,
    and the older tvdata.xml byte for byte as it was,
and in both cases leaves no temporary file in the output folder. Anything
else is counted: crashes (a signal or another status), hangs (the time
limit), and bad outcomes (a damaged or partial guide, stray output, several
messages, a leftover temporary file).

The bases are listings written by `mdbwrite --sample`, pristine and aged
(rows deleted, reclaimed and moved behind overflow pointers, as the guide's
updater leaves them), and, when the shared test data sits beside the
repository, the databases saved by Access itself. The mutants flip bytes in
chosen kinds of pages, zero runs, cut the file, replace it by other files,
bend overflow pointers (to the file's end, foreign pages, missing rows,
themselves, other pointers) and the flags of their targets, and include
crafted files: two that libmdb 1.0 itself cannot survive (a zero-length
usage-map row, a property blob with a record of length 0) and overflow
pointers that go round in a loop. Every mutant follows from the seed and its number, so
`--only N` repeats one. Mutants live in a temporary folder; the ones that do
not end well are kept for a second look.

Short run (CI):  damaged_db_campaign.py --build build --mutants 150
Long run:        damaged_db_campaign.py --build build --mutants 1000

With --cuts, the campaign instead cuts listings at every page boundary, as a
copy or a download broken off leaves them, and every cut must give either the
guide of the whole file, byte for byte, or a clean failure: never status 0
without that guide (an empty table would be one). The listings put their
catalog first (`mdbwrite --catalog-first`), as Access does, so that the cuts
take table pages: definitions, maps, map pages, rows and memos. The full run
also cuts a listing with map pages and, when the shared test data sits beside
the repository, the databases Access saved, which hold no listing.

Short run (CI):  damaged_db_campaign.py --build build --cuts short
Long run:        damaged_db_campaign.py --build build --cuts full
"""

import argparse
import collections
import concurrent.futures
import os
import queue
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

DTD = "/usr/share/xmltv/xmltv.dtd"

OLDER_GUIDE = (
    "<?xml version='1.0'?>\r\n"
    '<tv generator-info-name="older run">\r\n'
    '\t<channel id="OLDER">\r\n\t<display-name lang="de">OLDER</display-name>\r\n\t</channel>\r\n'
    "\t\r\n</tv>\r\n"
).encode()


# --- the Jet file, as far as the mutations need it ---------------------------

class Jet:
    """Pages of a Jet 3 or Jet 4 file and where tables, maps and rows lie."""

    def __init__(self, data):
        self.data = data
        self.jet3 = len(data) > 0x14 and data[0x14] == 0
        self.ps = 2048 if self.jet3 else 4096
        self.rc = 8 if self.jet3 else 12  # row count offset in a data page
        self.map_at, self.free_at = (35, 39) if self.jet3 else (55, 59)
        self.pages = len(data) // self.ps
        self.tdefs, self.data_pages, self.lval, self.owners = [], [], [], {}
        for p in range(1, self.pages):
            kind = data[p * self.ps]
            if kind == 2:
                self.tdefs.append(p)
            elif kind == 1:
                owner = data[p * self.ps + 4:p * self.ps + 8]
                if owner == b"LVAL":
                    self.lval.append(p)
                else:
                    o = struct.unpack("<I", owner)[0]
                    self.owners.setdefault(o, []).append(p)
                    self.data_pages.append(p)
        # The TDEF chains' first pages are those no other TDEF continues to.
        continued = {self.u32(p * self.ps + 4) for p in self.tdefs}
        self.tables = [p for p in self.tdefs if p not in continued]

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def row_span(self, page, row):
        """(start, end) of a row as absolute file offsets, or None."""
        base = page * self.ps
        if page >= self.pages or self.data[base] != 1:
            return None
        rows = self.u16(base + self.rc)
        if row >= rows:
            return None
        start = self.u16(base + self.rc + 2 + 2 * row) & 0x1FFF
        end = self.ps if row == 0 else self.u16(base + self.rc + 2 * row) & 0x1FFF
        return base + start, base + end

    def maps(self):
        """(table page, which, page, row) of each usage and free-space map."""
        found = []
        for t in self.tables:
            for which, at in (("usage", self.map_at), ("free", self.free_at)):
                pg_row = self.u32(t * self.ps + at)
                found.append((t, which, pg_row >> 8, pg_row & 0xFF))
        return found

    def overflow_pointers(self, table):
        """(page, row, file offset) of each live overflow pointer slot of `table`."""
        found = []
        for p in self.owners.get(table, []):
            base = p * self.ps
            for r in range(min(self.u16(base + self.rc), 255)):
                if self.u16(base + self.rc + 2 + 2 * r) & 0xC000 != 0x4000:
                    continue
                span = self.row_span(p, r)
                if span and span[1] - span[0] >= 4:
                    found.append((p, r, span[0]))
        return found

    def user_table(self):
        """The TDEF page of the first table that is not the catalog."""
        others = [t for t in self.tables if t != 2]
        return others[0] if others else None


def flip(buf, rng, lo, hi, count):
    """XORs `count` bytes in buf[lo:hi] with random non-zero values."""
    spots = []
    for _ in range(count):
        if hi <= lo:
            break
        at = rng.randrange(lo, hi)
        buf[at] ^= rng.randrange(1, 256)
        spots.append(at)
    return spots


# --- the two crafted files libmdb 1.0 cannot survive -------------------------

def zero_length_map(data, table):
    """The usage-map row of `table` shortened to zero bytes: libmdb 1.0 copies
    a null map and reads through it."""
    jet = Jet(data)
    pg_row = jet.u32(table * jet.ps + jet.map_at)
    page, row = pg_row >> 8, pg_row & 0xFF
    span = jet.row_span(page, row)
    if span is None:
        return None
    buf = bytearray(data)
    base = page * jet.ps
    at = base + jet.rc + 2 + 2 * row
    flags = jet.u16(at) & 0xE000
    struct.pack_into("<H", buf, at, (span[1] - base) | flags)
    return bytes(buf)


def with_catalog_property(data, table, blob):
    """Gives the catalog row of `table` (Jet 4 only) an inline LvProp value
    `blob`, rebuilding the catalog page around the longer row."""
    jet = Jet(data)
    if jet.jet3:
        return None
    ps, base2 = jet.ps, 2 * jet.ps
    ncols = jet.u16(base2 + 45)
    nridx = jet.u32(base2 + 51)
    at = base2 + 63 + 12 * nridx
    cols = []
    for _ in range(ncols):
        d = data[at:at + 25]
        cols.append({"type": d[0], "num": struct.unpack_from("<H", d, 5)[0],
                     "var": struct.unpack_from("<H", d, 7)[0], "fixed": d[15] & 1,
                     "offset": struct.unpack_from("<H", d, 21)[0]})
        at += 25
    for c in cols:
        n = struct.unpack_from("<H", data, at)[0]
        c["name"] = data[at + 2:at + 2 + n].decode("utf-16-le")
        at += 2 + n
    by_name = {c["name"]: c for c in cols}
    if "LvProp" not in by_name or "Id" not in by_name:
        return None
    lvprop, ident = by_name["LvProp"], by_name["Id"]

    for page in jet.owners.get(2, []):
        pbase = page * ps
        nrows = jet.u16(pbase + jet.rc)
        rows, flags, target = [], [], None
        for r in range(nrows):
            raw = jet.u16(pbase + jet.rc + 2 + 2 * r)
            start, end = jet.row_span(page, r)
            row = bytearray(data[start:end])
            rows.append(row)
            flags.append(raw & 0xE000)
            if len(row) >= 6 and struct.unpack_from("<I", row, 2 + ident["offset"])[0] & 0xFFFFFF == table:
                target = r
        if target is None:
            continue
        row = rows[target]
        n = struct.unpack_from("<H", row, 0)[0]
        mask_len = (n + 7) // 8
        mask_at = len(row) - mask_len
        nvar = struct.unpack_from("<H", row, mask_at - 2)[0]
        offs = [struct.unpack_from("<H", row, mask_at - 2 - 2 * (i + 1))[0] for i in range(nvar)]
        eod = struct.unpack_from("<H", row, mask_at - 2 - 2 * (nvar + 1))[0]
        v = lvprop["var"]
        value = struct.pack("<I", len(blob) | 0x80000000) + bytes(8) + blob
        body = row[:offs[v]] + value + row[offs[v]:eod]
        offs = [o + len(value) if i > v else o for i, o in enumerate(offs)]
        mask = bytearray(row[mask_at:])
        mask[lvprop["num"] // 8] |= 1 << (lvprop["num"] % 8)
        new = bytearray(body)
        new += struct.pack("<H", eod + len(value))
        for i in reversed(range(nvar)):
            new += struct.pack("<H", offs[i])
        new += struct.pack("<H", nvar) + mask
        rows[target] = new

        buf = bytearray(data)
        page_buf = bytearray(ps)
        page_buf[0:14] = data[pbase:pbase + 14]
        end = ps
        for r, row in enumerate(rows):
            start = end - len(row)
            page_buf[start:end] = row
            struct.pack_into("<H", page_buf, jet.rc + 2 + 2 * r, start | flags[r])
            end = start
        free = end - (jet.rc + 2 + 2 * nrows)
        if free < 0:
            return None
        struct.pack_into("<H", page_buf, 2, free)
        buf[pbase:pbase + ps] = page_buf
        return bytes(buf)
    return None


def kkd_zero_record(data, table):
    """A property blob whose first record says it is 0 bytes long: libmdb
    1.0 never advances past it."""
    blob = b"KKD\0" + struct.pack("<IH", 0, 0x80) + bytes(10)
    return with_catalog_property(data, table, blob)


def pointer_loop(data, table, length):
    """The first overflow pointer of `table` pointing to itself (length 1),
    or the first two pointing to each other (length 2)."""
    jet = Jet(data)
    pointers = jet.overflow_pointers(table)
    if len(pointers) < length:
        return None
    buf = bytearray(data)
    ring = pointers[:length]
    for k, (_, _, at) in enumerate(ring):
        page, row, _ = ring[(k + 1) % length]
        struct.pack_into("<I", buf, at, (page << 8) | row)
    return bytes(buf)


# --- mutations ---------------------------------------------------------------

def mutate(kind, base, rng, foreign):
    """Returns (bytes or a special marker, description) for one mutant."""
    data = base["data"]
    jet = base["jet"]
    ps = jet.ps
    buf = bytearray(data)
    user = jet.user_table()

    def page_of(pages):
        return rng.choice(pages) if pages else rng.randrange(jet.pages)

    if kind == "flip-any-page":
        pages = sorted({rng.randrange(jet.pages) for _ in range(rng.randint(1, 3))})
        count = rng.randint(1, 16)
        for p in pages:
            flip(buf, rng, p * ps, (p + 1) * ps, count)
        return bytes(buf), f"{count} bytes flipped in pages {pages}"
    if kind == "flip-tdef":
        p = page_of(jet.tdefs)
        # Mostly the header and column descriptors, sometimes anywhere.
        hi = p * ps + (200 if rng.random() < 0.7 else ps)
        spots = flip(buf, rng, p * ps, hi, rng.randint(1, 4))
        return bytes(buf), f"TDEF page {p}: bytes {[s - p * ps for s in spots]} flipped"
    if kind == "tdef-field":
        p = page_of(jet.tdefs)
        fields = ([("next page", 4, 4), ("num_rows", 12, 4), ("num_var_cols", 23, 2), ("num_cols", 25, 2),
                   ("num_idxs", 27, 4), ("num_ridxs", 31, 4), ("usage map", 35, 4), ("free map", 39, 4)]
                  if jet.jet3 else
                  [("next page", 4, 4), ("def length", 8, 4), ("num_rows", 16, 4), ("max cols", 41, 2),
                   ("num_var_cols", 43, 2), ("num_cols", 45, 2), ("num_idxs", 47, 4), ("num_ridxs", 51, 4),
                   ("usage map", 55, 4), ("free map", 59, 4)])
        if not jet.jet3:
            ncols = min(jet.u16(p * ps + 45), 40)
            start = p * ps + 63 + 12 * min(jet.u32(p * ps + 51), 8)
            for c in range(ncols):
                for name, off, size in (("type", 0, 1), ("col num", 5, 2), ("var index", 7, 2), ("flags", 15, 1),
                                        ("fixed offset", 21, 2), ("size", 23, 2)):
                    at = start + 25 * c + off - p * ps
                    if at + size <= ps:
                        fields.append((f"column {c} {name}", at, size))
        name, off, size = rng.choice(fields)
        value = rng.choice([0, 1, 2, 0xFF, (1 << (8 * size)) - 1, 1 << (8 * size - 1), rng.randrange(1 << (8 * size))])
        if name == "next page" and rng.random() < 0.5:
            value = p  # a chain that returns to itself
        buf[p * ps + off:p * ps + off + size] = value.to_bytes(size, "little")
        return bytes(buf), f"TDEF page {p}: {name} set to {value:#x}"
    if kind in ("flip-map", "map-field"):
        maps = [m for m in jet.maps() if jet.row_span(m[2], m[3])]
        if not maps:
            return mutate("flip-any-page", base, rng, foreign)
        table, which, page, row = rng.choice(maps)
        start, end = jet.row_span(page, row)
        where = f"{which} map of table page {table} (page {page} row {row})"
        if kind == "flip-map":
            spots = flip(buf, rng, start, end, rng.randint(1, 6))
            return bytes(buf), f"{where}: bytes {[s - start for s in spots]} flipped"
        choice = rng.randrange(6)
        if choice == 0:
            buf[start] = rng.choice([1, 2, 0x80, 0xFF])
            return bytes(buf), f"{where}: map type {buf[start]}"
        if choice == 1 and end - start >= 5:
            v = rng.choice([0xFFFFFFFF, 0x7FFFFFFF, jet.pages, jet.pages + 1000, rng.randrange(1 << 32)])
            struct.pack_into("<I", buf, start + 1, v)
            return bytes(buf), f"{where}: first page {v:#x}"
        if choice == 2:
            buf[start + 1:end] = b"\xff" * (end - start - 1)
            return bytes(buf), f"{where}: every bit set"
        if choice == 3:
            buf[start + 1:end] = bytes(end - start - 1)
            return bytes(buf), f"{where}: every bit cleared"
        if choice == 4 and end - start >= 5:
            # A type-1 map whose page numbers point anywhere.
            buf[start] = 1
            for k in range(1, end - start - 3, 4):
                struct.pack_into("<I", buf, start + k, rng.choice([0, 1, 2, jet.pages - 1, jet.pages + 5, rng.randrange(1 << 32)]))
            return bytes(buf), f"{where}: a type 1 map of random pages"
        # The map's row reaching past the page or cut short.
        base_at = page * ps + jet.rc + 2 + 2 * row
        v = rng.choice([0, 1, 0x1FFF, 0x4000 | (start - page * ps), 0x8000 | (start - page * ps), end - page * ps - 1])
        struct.pack_into("<H", buf, base_at, v)
        return bytes(buf), f"{where}: row offset {v:#x}"
    if kind == "flip-catalog":
        pages = [2] + jet.owners.get(2, [])
        p = rng.choice(pages)
        spots = flip(buf, rng, p * ps, (p + 1) * ps, rng.randint(1, 8))
        return bytes(buf), f"catalog page {p}: bytes {[s - p * ps for s in spots]} flipped"
    if kind == "flip-data":
        pages = jet.owners.get(user, []) if user else []
        p = page_of(pages)
        lo = p * ps + (jet.rc + 2 if rng.random() < 0.3 else 0)
        hi = lo + 64 if rng.random() < 0.3 else (p + 1) * ps
        spots = flip(buf, rng, lo, hi, rng.randint(1, 12))
        return bytes(buf), f"data page {p}: bytes {[s - p * ps for s in spots]} flipped"
    if kind == "row-offsets":
        pages = [p for p in jet.data_pages if jet.u16(p * ps + jet.rc) > 0] or jet.data_pages
        p = page_of(pages)
        nrows = jet.u16(p * ps + jet.rc)
        choice = rng.randrange(4)
        if choice == 0 or nrows == 0:
            v = rng.choice([0, 1, 255, 256, 1000, 2000, 0xFFFF])
            struct.pack_into("<H", buf, p * ps + jet.rc, v)
            return bytes(buf), f"data page {p}: row count {nrows} -> {v}"
        r = rng.randrange(nrows)
        at = p * ps + jet.rc + 2 + 2 * r
        old = jet.u16(at)
        v = rng.choice([0, 1, 0x0FFF, 0x1FFF, 0x2000, 0xFFFF, old ^ 0x4000, old ^ 0x8000, (old & 0x1FFF) + 1,
                        max(0, (old & 0x1FFF) - 1), rng.randrange(0x10000)])
        struct.pack_into("<H", buf, at, v)
        return bytes(buf), f"data page {p}: row {r} offset {old:#x} -> {v:#x}"
    if kind == "pointer":
        pointers = jet.overflow_pointers(user) if user else []
        if not pointers:
            return mutate("row-offsets", base, rng, foreign)
        page, row, at = rng.choice(pointers)
        where = f"overflow pointer in row {row} on page {page}"
        old = jet.u32(at)
        to_page, to_row = old >> 8, old & 0xFF
        choice = rng.randrange(9)
        if choice < 5:
            # Elsewhere: past the end, a page of no row of the table, a row
            # past a page's last, itself, another pointer, anywhere.
            other = rng.choice(pointers)
            others = [p for p in jet.tdefs + jet.lval + [0, 1] + jet.data_pages if p not in jet.owners.get(user, [])]
            target = rng.choice([
                (jet.pages + rng.choice([0, 1, 1000]), 0),
                (rng.choice(others) if others else 1, rng.choice([0, 1])),
                (to_page, rng.choice([jet.u16(to_page * ps + jet.rc), 255])),
                (page, row),
                (other[0], other[1]),
                (rng.randrange(1 << 24), rng.randrange(256)),
            ])
            struct.pack_into("<I", buf, at, (target[0] << 8) | target[1])
            return bytes(buf), f"{where}: to row {target[1]} on page {target[0]} (was {to_row} on {to_page})"
        target_at = to_page * ps + jet.rc + 2 + 2 * to_row
        if choice == 5 or jet.row_span(to_page, to_row) is None:
            slot = page * ps + jet.rc + 2 + 2 * row
            v = jet.u16(slot) ^ rng.choice([0x8000, 0x4000, 0xC000])
            struct.pack_into("<H", buf, slot, v)
            return bytes(buf), f"{where}: its own offset {jet.u16(slot):#x} -> {v:#x}"
        old_target = jet.u16(target_at)
        if choice == 6:
            v = old_target & ~0x8000 & 0xFFFF  # the moved row read by the scan as well
        elif choice == 7:
            v = old_target | 0x4000  # the moved row read as another pointer
        else:
            v = (jet.u16(target_at - 2) & 0x1FFF if to_row else ps) | 0xC000  # its bytes reclaimed
        struct.pack_into("<H", buf, target_at, v)
        return bytes(buf), f"{where}: its target's offset {old_target:#x} -> {v:#x}"
    if kind == "flip-lval":
        if not jet.lval:
            return mutate("flip-any-page", base, rng, foreign)
        p = rng.choice(jet.lval)
        nrows = jet.u16(p * ps + jet.rc)
        if nrows and rng.random() < 0.5:
            # The next-row pointer of a chained memo piece: itself, a page
            # before, or anywhere.
            r = rng.randrange(nrows)
            start, _ = jet.row_span(p, r) or (p * ps + ps - 4, 0)
            v = rng.choice([(p << 8) | r, ((p - 1) << 8), (p << 8) | 0xFF, (jet.pages + 3) << 8, rng.randrange(1 << 32)])
            struct.pack_into("<I", buf, start, v)
            return bytes(buf), f"LVAL page {p} row {r}: next pointer {v:#x}"
        spots = flip(buf, rng, p * ps, (p + 1) * ps, rng.randint(1, 8))
        return bytes(buf), f"LVAL page {p}: bytes {[s - p * ps for s in spots]} flipped"
    if kind == "zero-run":
        length = rng.choice([1, 2, 4, 16, 100, 512, 4096, 8192, rng.randint(1, 3 * ps)])
        at = rng.randrange(len(data))
        buf[at:at + length] = bytes(len(buf[at:at + length]))
        return bytes(buf), f"{length} zero bytes at {at}"
    if kind == "truncate":
        n = rng.randrange(len(data))
        return data[:n], f"cut to {n} of {len(data)} bytes"
    if kind == "truncate-pages":
        n = rng.randrange(1, jet.pages)
        return data[:n * ps], f"cut to {n} of {jet.pages} pages"
    if kind == "header":
        choice = rng.randrange(5)
        if choice == 0:
            v = rng.choice([0, 1, 2, 3, 4, 5, 6, 7, 0xFF])
            buf[0x14] = v
            return bytes(buf), f"format version byte {v}"
        if choice == 1:
            # A non-zero database key: every page is read as encrypted.
            for k in range(4):
                buf[0x3E + k] ^= rng.randrange(1, 256)
            return bytes(buf), "database key changed"
        if choice == 2:
            for k in range(2):
                buf[0x3C + k] ^= rng.randrange(1, 256)
            return bytes(buf), "code page changed"
        if choice == 3:
            spots = flip(buf, rng, 0x18, 0x98, rng.randint(1, 8))
            return bytes(buf), f"masked header bytes {spots} flipped"
        spots = flip(buf, rng, 0, ps, rng.randint(1, 8))
        return bytes(buf), f"header page bytes {spots} flipped"
    if kind == "append":
        extra = bytes(rng.randrange(256) for _ in range(rng.choice([1, 100, ps, 3 * ps + 7])))
        return data + extra, f"{len(extra)} random bytes appended"
    if kind == "shuffle-pages":
        a, b = rng.randrange(1, jet.pages), rng.randrange(1, jet.pages)
        buf[a * ps:(a + 1) * ps], buf[b * ps:(b + 1) * ps] = data[b * ps:(b + 1) * ps], data[a * ps:(a + 1) * ps]
        return bytes(buf), f"pages {a} and {b} swapped"
    if kind == "empty":
        return b"", "an empty file"
    if kind == "header-only":
        n = rng.choice([0x18, 0x98, 0x100, ps])
        return data[:n], f"only the first {n} bytes"
    if kind == "foreign":
        name, content = rng.choice(foreign)
        return content, f"another file: {name}"
    raise ValueError(kind)


# Kinds and their weights in the mix; crafted and special cases come first.
KINDS = [
    ("flip-any-page", 12), ("flip-tdef", 10), ("tdef-field", 10), ("flip-map", 6), ("map-field", 8),
    ("flip-catalog", 8), ("flip-data", 10), ("row-offsets", 8), ("pointer", 10), ("flip-lval", 6), ("zero-run", 6),
    ("truncate", 6), ("truncate-pages", 3), ("header", 5), ("append", 1), ("shuffle-pages", 2),
    ("empty", 1), ("header-only", 2), ("foreign", 4),
]


def special_cases(bases):
    """Fixed cases that every run includes: the crafted files, and other
    things standing where the database should be."""
    cases = []
    for b in bases:
        if not b["sample"]:
            continue
        jet = b["jet"]
        user = jet.user_table()
        for table, what in ((user, "the listing table"), (2, "the catalog")):
            data = zero_length_map(b["data"], table)
            if data:
                cases.append(("crafted", b["name"], data, f"zero-length usage-map row of {what}"))
        data = kkd_zero_record(b["data"], user)
        if data:
            cases.append(("crafted", b["name"], data, "property blob with a record of length 0"))
        break
    for b in bases:
        user = b["jet"].user_table()
        if not b["sample"] or not b["jet"].overflow_pointers(user):
            continue
        for length, what in ((1, "an overflow pointer to itself"), (2, "two overflow pointers to each other")):
            data = pointer_loop(b["data"], user, length)
            if data:
                cases.append(("crafted", b["name"], data, what))
        break
    for marker, what in (("missing", "no file at the path"), ("folder", "a folder at the path"),
                         ("fifo", "a named pipe at the path"), ("loop", "a symbolic link to itself"),
                         ("devnull", "a link to /dev/null"), ("unreadable", "a file without read permission")):
        cases.append(("special", "-", marker, what))
    return cases


# --- running brevan ----------------------------------------------------------

class Slot:
    """One worker's installation: a copy of brevan with its INI file, the
    database path and the output folder."""

    def __init__(self, root, index, brevan):
        self.dir = os.path.join(root, f"slot{index}")
        os.makedirs(os.path.join(self.dir, "out"))
        self.exe = os.path.join(self.dir, "brevan")
        shutil.copy2(brevan, self.exe)
        # The database reader and the folder helper are programs of their own, looked for beside brevan.
        for companion in ("brevan-reader", "brevan-folder"):
            shutil.copy2(os.path.join(os.path.dirname(brevan), companion), os.path.join(self.dir, companion))
        self.db = os.path.join(self.dir, "tvdaten.mdb")
        self.out = os.path.join(self.dir, "out")
        with open(os.path.join(self.dir, "brevan.ini"), "w") as f:
            f.write(f"[Default]\nTVMovieTvDataPath={self.db}\nTVMovieUpdatePath=\nmyHTPCPath={self.out}\n")

    def place(self, content):
        if os.path.isdir(self.db) and not os.path.islink(self.db):
            shutil.rmtree(self.db)
        elif os.path.lexists(self.db):
            os.unlink(self.db)
        if isinstance(content, bytes):
            with open(self.db, "wb") as f:
                f.write(content)
        elif content == "folder":
            os.mkdir(self.db)
        elif content == "fifo":
            os.mkfifo(self.db)
        elif content == "loop":
            os.symlink(self.db, self.db)
        elif content == "devnull":
            os.symlink("/dev/null", self.db)
        elif content == "unreadable":
            with open(self.db, "wb") as f:
                f.write(b"\0\1\0\0Standard Jet DB\0" + bytes(4096))
            os.chmod(self.db, 0)
        # "missing": nothing there
        guide = os.path.join(self.out, "tvdata.xml")
        for name in os.listdir(self.out):
            os.unlink(os.path.join(self.out, name))
        with open(guide, "wb") as f:
            f.write(OLDER_GUIDE)


def classify(slot, proc_status, stdout, stderr, elapsed, timed_out):
    """Returns (outcome, detail)."""
    guide = os.path.join(slot.out, "tvdata.xml")
    # The lock file that keeps runs into one folder one at a time stays on purpose.
    left = sorted(n for n in os.listdir(slot.out) if n not in ("tvdata.xml", ".tvdata.xml.lock"))
    if timed_out:
        return "hang", f"no end after {elapsed:.0f} s"
    if proc_status < 0:
        return "crash", f"killed by signal {-proc_status}"
    if proc_status not in (0, 1):
        return "crash", f"status {proc_status}: {stderr[-300:]!r}"
    if left:
        return "bad", f"left in the output folder: {left}"
    if not os.path.isfile(guide):
        return "bad", "tvdata.xml is gone"
    with open(guide, "rb") as f:
        content = f.read()
    lines = stderr.split(b"\n")
    if proc_status == 1:
        if len(lines) != 2 or lines[1] != b"" or not lines[0].startswith(b"Brevan: ") or len(lines[0]) <= 8:
            return "bad", f"status 1 but stderr is not one message: {stderr[:400]!r}"
        if stdout:
            return "bad", f"stray output: {stdout[:200]!r}"
        if content != OLDER_GUIDE:
            return "bad", "the older guide was changed by a failed run"
        return "failure", lines[0][8:].decode("utf-8", "replace")
    if stderr or stdout:
        return "bad", f"status 0 with output: {stderr[:300]!r} {stdout[:100]!r}"
    if content == OLDER_GUIDE:
        return "empty", "the table read as empty; the older guide stays"
    check = subprocess.run(["xmllint", "--noout", "--dtdvalid", DTD, guide], capture_output=True)
    if check.returncode != 0:
        return "bad", f"invalid guide: {check.stderr[:400]!r}"
    return "success", f"{len(content)} bytes"


def run_one(slot, content, limit):
    slot.place(content)
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    # A sanitizer report must not pass for the status of a clean failure.
    env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":exitcode=86").lstrip(":")
    env["UBSAN_OPTIONS"] = (env.get("UBSAN_OPTIONS", "") + ":exitcode=86:halt_on_error=1").lstrip(":")
    start = time.monotonic()
    proc = subprocess.Popen([slot.exe, "/W"], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=env, cwd=slot.dir, start_new_session=True)
    timed_out = False
    try:
        stdout, stderr = proc.communicate(timeout=limit)
    except subprocess.TimeoutExpired:
        timed_out = True
        os.killpg(proc.pid, signal.SIGKILL)
        stdout, stderr = proc.communicate()
    elapsed = time.monotonic() - start
    outcome, detail = classify(slot, proc.returncode, stdout, stderr, elapsed, timed_out)
    return outcome, detail, elapsed


def message_shape(text):
    """A message with its paths, numbers and quoted parts blanked, so that
    like messages count together."""
    text = re.sub(r"/\S*", "<path>", text)
    text = re.sub(r'"[^"]*"', '"…"', text)
    return re.sub(r"\d+", "N", text)


# --- cuts at every page boundary ----------------------------------------------

CUT_LISTINGS = {
    "short": [
        ("small", ["--channels", "3", "--days", "2", "--per-day", "8-12", "--long-share", "30"]),
        ("aged", ["--channels", "4", "--days", "2", "--per-day", "20-30", "--deleted-share", "20",
                  "--moved-share", "20"]),
    ],
    # Over 512 data pages: a usage map of map pages, the last pages of the file.
    "full": [("large", ["--channels", "8", "--days", "7", "--per-day", "40-60", "--long-share", "40"])],
}


def run_cuts(args, work):
    """Cuts each listing at every page boundary; returns the exit status."""
    mdbwrite = os.path.join(args.build, "mdbwrite")
    listings = CUT_LISTINGS["short"] + (CUT_LISTINGS["full"] if args.cuts == "full" else [])
    slots = queue.Queue()
    for k in range(args.jobs):
        slots.put(Slot(work, k, os.path.join(args.build, "brevan")))
    keep = args.keep or os.path.join(work, "kept")
    counts = collections.Counter()
    shapes = collections.Counter()
    lock = threading.Lock()

    def attempt(content):
        slot = slots.get()
        try:
            outcome, detail, _ = run_one(slot, content, args.limit)
            path = os.path.join(slot.out, "tvdata.xml")
            guide = b""
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    guide = f.read()
            return outcome, detail, guide
        finally:
            slots.put(slot)

    files = []
    for name, extra in listings:
        path = os.path.join(work, name + ".mdb")
        subprocess.run([mdbwrite, path, "--sample", "--catalog-first", "--seed", str(args.seed % 100000)] + extra,
                       check=True)
        files.append((name, path, True))
    # The full run cuts the databases Access saved too (Jet 3 among them):
    # they hold no listing, so each cut must fail cleanly.
    shared = args.shared or os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "shared",
                                         "testdata", "access")
    if args.cuts == "full" and os.path.isdir(shared):
        files += [(n, os.path.join(shared, n), False) for n in sorted(os.listdir(shared)) if n.lower().endswith(".mdb")]

    started = time.monotonic()
    for name, path, listing in files:
        with open(path, "rb") as f:
            data = f.read()
        outcome, detail, whole = attempt(data)
        if listing and outcome != "success":
            print(f"[{name}] the whole listing does not convert: {outcome} {detail}")
            counts["bad"] += 1
            continue
        jet = Jet(data)
        pages = jet.pages

        def cut(n):
            outcome, detail, guide = attempt(data[:n * jet.ps])
            if outcome == "success" and (not listing or guide != whole):
                outcome, detail = "bad", "a guide other than the whole listing's"
            elif outcome == "empty":
                outcome = "bad"
            with lock:
                counts[outcome] += 1
                if outcome == "failure":
                    shapes[message_shape(detail)] += 1
                if args.verbose or outcome not in ("success", "failure"):
                    print(f"[{name}] cut to {n} of {pages} pages: {outcome.upper()} {detail}", flush=True)
                if outcome not in ("success", "failure"):
                    os.makedirs(keep, exist_ok=True)
                    with open(os.path.join(keep, f"{name}-cut-{n}.mdb"), "wb") as f:
                        f.write(data[:n * jet.ps])

        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            for f in [pool.submit(cut, n) for n in range(1, pages)]:
                f.result()
    print("\nmessages of the clean failures:")
    for shape, n in shapes.most_common(25):
        print(f"  {n:5}  {shape}")
    failed = sum(n for k, n in counts.items() if k not in ("success", "failure"))
    if failed:
        print(f"\ncuts that did not end well are kept in {keep}")
    print(f"\ncut files ({', '.join(n for n, _, _ in files)}): {sum(counts.values())} cuts in "
          f"{time.monotonic() - started:.0f} s: {counts['success']} whole guides, {counts['failure']} clean failures, "
          f"{failed} other outcomes")
    return 1 if failed else 0


# --- main --------------------------------------------------------------------

def make_bases(args, work):
    mdbwrite = os.path.join(args.build, "mdbwrite")
    bases = []
    samples = [
        ("sample-small", ["--channels", "3", "--days", "2", "--per-day", "8-12", "--long-share", "30"]),
        ("sample", []),
        ("sample-long-memos", ["--channels", "2", "--days", "2", "--per-day", "10-15", "--long-share", "60",
                               "--max-desc", "9000"]),
        # As the updater leaves it: deleted, reclaimed and moved rows.
        ("sample-aged", ["--channels", "4", "--days", "2", "--per-day", "20-30", "--deleted-share", "20",
                         "--moved-share", "20"]),
    ]
    for name, extra in samples:
        path = os.path.join(work, name + ".mdb")
        subprocess.run([mdbwrite, path, "--sample", "--seed", str(args.seed % 100000)] + extra, check=True)
        with open(path, "rb") as f:
            data = f.read()
        bases.append({"name": name, "data": data, "jet": Jet(data), "sample": True})
    shared = args.shared
    if shared is None:
        shared = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "shared", "testdata", "access")
    if os.path.isdir(shared):
        for name in sorted(os.listdir(shared)):
            if name.lower().endswith(".mdb"):
                with open(os.path.join(shared, name), "rb") as f:
                    data = f.read()
                bases.append({"name": name, "data": data, "jet": Jet(data), "sample": False})
    return bases


def foreign_files(args, bases):
    rng = random.Random(args.seed)
    files = [
        ("a text file", b"Programme listings for this week\n" * 50),
        ("an XMLTV guide", OLDER_GUIDE),
        ("an image", b"\x89PNG\r\n\x1a\n" + bytes(rng.randrange(256) for _ in range(5000))),
        ("zeros", bytes(65536)),
        ("random bytes", bytes(rng.randrange(256) for _ in range(65536))),
        ("a Jet header and random pages", bases[0]["data"][:4096] + bytes(rng.randrange(256) for _ in range(5 * 4096))),
        ("a Jet header and nothing else", b"\0\1\0\0Standard Jet DB\0\1\0\0\0"),
        ("an ACE header on a Jet 4 file", bases[0]["data"][:4] + b"Standard ACE DB\0\2" + bases[0]["data"][0x15:]),
    ]
    with open(os.path.join(args.build, "brevan"), "rb") as f:
        files.append(("the brevan executable", f.read()))
    return files


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, help="build folder holding brevan and mdbwrite")
    parser.add_argument("--mutants", type=int, default=150, help="random mutants besides the fixed cases")
    parser.add_argument("--seed", type=int, default=20240607)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--limit", type=float, default=90, help="seconds a run may take before it counts as hung")
    parser.add_argument("--shared", help="folder of Access-made databases (default: ../shared/testdata/access)")
    parser.add_argument("--keep", help="folder for the mutants that do not end well (default: in the work folder)")
    parser.add_argument("--only", type=int, action="append", help="run only mutant N (repeatable)")
    parser.add_argument("--verbose", action="store_true", help="one line per mutant")
    parser.add_argument("--cuts", choices=("short", "full"),
                        help="cut listings at every page boundary instead (short: two small ones)")
    args = parser.parse_args()

    for tool in ("brevan", "brevan-reader", "brevan-folder", "mdbwrite"):
        if not os.access(os.path.join(args.build, tool), os.X_OK):
            sys.exit(f"{tool} not found in {args.build}")
    if shutil.which("xmllint") is None or not os.path.isfile(DTD):
        sys.exit(f"xmllint and {DTD} are needed")

    work = tempfile.mkdtemp(prefix="brevan-damaged-")
    started = time.monotonic()
    try:
        if args.cuts:
            return run_cuts(args, work)
        bases = make_bases(args, work)
        foreign = foreign_files(args, bases)

        # The fixed cases, then the random mutants; each from its own seed.
        jobs = []
        for kind, base_name, content, what in special_cases(bases):
            jobs.append((len(jobs), kind, base_name, content, what))
        fixed = len(jobs)
        names, weights = zip(*KINDS)
        for i in range(args.mutants):
            rng = random.Random(f"{args.seed}:{i}")
            kind = rng.choices(names, weights)[0]
            # Our listings three times as often as the Access-made files,
            # which hold no listing table and end at the table lookup;
            # pointers are bent where the listing has them.
            pool = [b for b in bases if kind != "pointer" or b["name"].endswith("-aged")] or bases
            base = rng.choices(pool, [3 if b["sample"] else 1 for b in pool])[0]
            jobs.append((fixed + i, kind, base["name"], (base, rng), None))
        if args.only:
            jobs = [j for j in jobs if j[0] in args.only]

        slots = queue.Queue()
        for k in range(args.jobs):
            slots.put(Slot(work, k, os.path.join(args.build, "brevan")))
        keep = args.keep or os.path.join(work, "kept")
        lock = threading.Lock()
        results = []

        def work_on(job):
            number, kind, base_name, payload, what = job
            if isinstance(payload, tuple):
                base, rng = payload
                content, what = mutate(kind, base, rng, foreign)
            else:
                content = payload
            slot = slots.get()
            try:
                outcome, detail, elapsed = run_one(slot, content, args.limit)
                if outcome in ("crash", "hang", "bad") and isinstance(content, bytes):
                    os.makedirs(keep, exist_ok=True)
                    with open(os.path.join(keep, f"mutant-{number}.mdb"), "wb") as f:
                        f.write(content)
            finally:
                # Leave nothing unreadable or odd behind for the next run.
                if os.path.lexists(slot.db) and not os.path.islink(slot.db) and os.path.isfile(slot.db):
                    os.chmod(slot.db, 0o600)
                slots.put(slot)
            with lock:
                results.append((number, kind, base_name, what, outcome, detail, elapsed))
                if args.verbose or outcome in ("crash", "hang", "bad"):
                    print(f"#{number} {kind} [{base_name}] {what}: {outcome.upper()} {detail} ({elapsed:.1f} s)",
                          flush=True)

        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            for f in [pool.submit(work_on, j) for j in jobs]:
                f.result()

        counts = collections.Counter(r[4] for r in results)
        per_kind = collections.defaultdict(collections.Counter)
        for r in results:
            per_kind[r[1]][r[4]] += 1
        print("\nby kind (successes / empty / clean failures / crashes / hangs / bad):")
        for kind in sorted(per_kind):
            c = per_kind[kind]
            print(f"  {kind:15} {c['success']:4} {c['empty']:4} {c['failure']:4} {c['crash']:4} {c['hang']:4} {c['bad']:4}")
        shapes = collections.Counter(message_shape(r[5]) for r in results if r[4] == "failure")
        print("\nmessages of the clean failures:")
        for shape, n in shapes.most_common(25):
            print(f"  {n:5}  {shape}")
        slowest = sorted(results, key=lambda r: -r[6])[:5]
        print("\nslowest runs:")
        for r in slowest:
            print(f"  #{r[0]} {r[1]} [{r[2]}] {r[3]}: {r[4]} in {r[6]:.1f} s")
        if any(counts[k] for k in ("crash", "hang", "bad")):
            print(f"\nmutants that did not end well are kept in {keep}")
        total = time.monotonic() - started
        print(f"\ndamaged databases: seed {args.seed}, {len(results)} runs ({fixed} fixed cases) in {total:.0f} s: "
              f"{counts['success']} successes with a valid guide, {counts['empty']} successes on an empty table, "
              f"{counts['failure']} clean failures, {counts['crash']} crashes, {counts['hang']} hangs, "
              f"{counts['bad']} bad outcomes")
        return 0 if not any(counts[k] for k in ("crash", "hang", "bad")) else 1
    finally:
        if not args.keep:
            kept = os.path.join(work, "kept")
            if os.path.isdir(kept) and os.listdir(kept):
                # Keep only what is worth a look.
                for name in os.listdir(work):
                    path = os.path.join(work, name)
                    if name != "kept":
                        shutil.rmtree(path, ignore_errors=True) if os.path.isdir(path) else os.unlink(path)
            else:
                shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
