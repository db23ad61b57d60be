#!/usr/bin/env python3
"""Where the bytes of a Unicode Outlook data file go: property values against the node database's,
the heaps' and the tables' own structures, alignment and free space.

    bench/pst_space.py STORE.pst [--by-property]

Reads the file as MS-PST lays it out (header, block B-tree, node B-tree, data and subnode trees,
heaps, BTHs, property and table contexts) without trusting our writer's code. It assumes a sound
file: run pstcheck first.
"""
import struct
import sys
from collections import defaultdict

PAGE = 512
TRAILER = 16

# NDB_CRYPT_PERMUTE (mpbbR), to decode data blocks.
ENCODE = bytes.fromhex(
    "41361362a8216ebbf416cc047f64e85d1ef2cb2a74c55e35d295479e962d9a88"
    "4c7d843fdbac31b6485ff6c4d8398be7233b388ec8c1df25b120a546604e9cfb"
    "aad35651457c550007c92b9d859b09a08fadb30f63ab894bd7a7155a716642bf"
    "264a6b98faea7753b270052cfd593a867ece06eb827857c78d43afb41cd45bcd"
    "e2e9274fc3087280cfb0eff5286dbe304d3492d50e3c2232e5e4f99fc2d10a81"
    "12e1ee918376e397e6618a1779a4b7dc907a5c8c02a6ca69de501a1193b95287"
    "58fced1d37491b6ae0293399bd6cd994f340546ff0c673b8d63e6518441fdd67"
    "10f10c19ecae03a1147ba90bfff8a3c0a201f72ebc2468750dfeba2fb5d0da3d")
DECODE = bytearray(256)
for i, e in enumerate(ENCODE):
    DECODE[e] = i
DECODE = bytes(DECODE)


def align64(n):
    return (n + 63) // 64 * 64


class Store:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.d = f.read()
        d = self.d
        root = 180
        self.eof = struct.unpack_from("<Q", d, root + 4)[0]
        self.amap_free = struct.unpack_from("<Q", d, root + 20)[0]
        self.nbt = struct.unpack_from("<QQ", d, root + 36)
        self.bbt = struct.unpack_from("<QQ", d, root + 52)
        self.crypt = d[513]
        self.blocks = {}  # bid -> (ib, cb)
        self.nodes = {}  # nid -> (bidData, bidSub, parent)
        self.pages = 0
        self.walk(self.bbt[1], self.bbt_leaf)
        self.walk(self.nbt[1], self.nbt_leaf)

    def walk(self, ib, leaf):
        self.pages += 1
        p = self.d[ib:ib + PAGE]
        cent, _, cbent, level = p[488], p[489], p[490], p[491]
        for i in range(cent):
            e = p[i * cbent:(i + 1) * cbent]
            if level > 0:
                self.walk(struct.unpack_from("<Q", e, 16)[0], leaf)
            else:
                leaf(e)

    def bbt_leaf(self, e):
        bid, ib, cb = struct.unpack_from("<QQH", e)
        self.blocks[bid & ~1] = (ib, cb)

    def nbt_leaf(self, e):
        nid, data, sub, parent = struct.unpack_from("<QQQI", e)
        self.nodes[nid & 0xFFFFFFFF] = (data, sub, parent)

    def raw(self, bid):
        ib, cb = self.blocks[bid & ~1]
        return self.d[ib:ib + cb]

    def block(self, bid):
        b = self.raw(bid)
        if bid & 2 or self.crypt != 1:
            return b
        return b.translate(DECODE)

    def data_blocks(self, bid):
        """The data blocks of a data tree, and the internal blocks above them."""
        if bid == 0:
            return [], []
        if not bid & 2:
            return [bid], []
        b = self.raw(bid)
        count = struct.unpack_from("<H", b, 2)[0]
        leaves, internal = [], [bid]
        for i in range(count):
            child = struct.unpack_from("<Q", b, 8 + 8 * i)[0]
            l, n = self.data_blocks(child)
            leaves += l
            internal += n
        return leaves, internal

    def subnodes(self, bid):
        """nid -> (bidData, bidSub), and the SLBLOCKs and SIBLOCKs."""
        if bid == 0:
            return {}, []
        b = self.raw(bid)
        level, count = b[1], struct.unpack_from("<H", b, 2)[0]
        out, internal = {}, [bid]
        for i in range(count):
            if level == 0:
                nid, data, sub = struct.unpack_from("<QQQ", b, 8 + 24 * i)
                out[nid & 0xFFFFFFFF] = (data, sub)
            else:
                child = struct.unpack_from("<Q", b, 8 + 16 * i + 8)[0]
                o, n = self.subnodes(child)
                out.update(o)
                internal += n
        return out, internal


class Heap:
    def __init__(self, blocks):
        self.blocks = blocks
        self.items = {}  # hid -> bytes
        self.overhead = 0  # headers, page maps, the odd byte before a map
        for index, b in enumerate(blocks):
            imap = struct.unpack_from("<H", b, 0)[0]
            calloc = struct.unpack_from("<H", b, imap)[0]
            starts = struct.unpack_from("<%dH" % (calloc + 1), b, imap + 4)
            for i in range(calloc):
                hid = (index << 16) | ((i + 1) << 5)
                self.items[hid] = b[starts[i]:starts[i + 1]]
            self.overhead += len(b) - (starts[calloc] - starts[0])
        first = blocks[0]
        self.client, self.root = first[3], struct.unpack_from("<I", first, 4)[0]

    def bth(self, hid):
        h = self.items[hid]
        key, data, levels, root = h[1], h[2], h[3], struct.unpack_from("<I", h, 4)[0]
        records, index_items = [], [hid]

        def walk(hid, level):
            if hid == 0:
                return
            item = self.items[hid]
            index_items.append(hid)
            if level == 0:
                for i in range(0, len(item), key + data):
                    records.append((item[i:i + key], item[i + key:i + key + data]))
            else:
                for i in range(0, len(item), key + 4):
                    walk(struct.unpack_from("<I", item, i + key)[0], level - 1)

        walk(root, levels)
        return records, index_items


CELL = {0x2: 2, 0x3: 4, 0x4: 4, 0xA: 4, 0xB: 1, 0x5: 8, 0x6: 8, 0x7: 8, 0x14: 8, 0x40: 8}


def main():
    path = sys.argv[1]
    by_property = "--by-property" in sys.argv
    s = Store(path)
    size = len(s.d)
    cat = defaultdict(int)
    props = defaultdict(int)
    nblocks = len(s.blocks)
    cat["header, density list and reserved space before the first map"] = 0x4400
    amaps = (s.eof - 0x4400 + 253952 - 1) // 253952
    map_pages = 0
    for i in range(amaps):
        map_pages += 1 + (i % 8 == 0) + (i >= 128 and (i - 128) % 496 == 0) + \
            (i >= 8192 and (i - 8192) % 31744 == 0)
    cat["allocation map pages"] = map_pages * PAGE
    cat["B-tree pages"] = s.pages * PAGE
    cat["free space"] = s.amap_free
    cat["block trailers"] = nblocks * TRAILER
    cat["block alignment padding"] = sum(align64(cb + TRAILER) - cb - TRAILER
                                         for _, cb in s.blocks.values())
    seen = set()

    def internal(bids, what):
        for bid in bids:
            if bid not in seen:
                seen.add(bid)
                cat[what] += s.blocks[bid & ~1][1]

    def plain(bid, what):
        leaves, inner = s.data_blocks(bid)
        internal(inner, "data-tree blocks (XBLOCK, XXBLOCK)")
        for b in leaves:
            if b not in seen:
                seen.add(b)
                cat[what] += s.blocks[b & ~1][1]

    def heap_node(bid, subs, kind):
        leaves, inner = s.data_blocks(bid)
        internal(inner, "data-tree blocks (XBLOCK, XXBLOCK)")
        if any(b in seen for b in leaves):
            return  # a shared empty table
        for b in leaves:
            seen.add(b)
        blocks = [s.block(b) for b in leaves]
        if not blocks or blocks[0][2] != 0xEC:
            for b in blocks:
                cat["other node data"] += len(b)
            return
        h = Heap(blocks)
        cat[kind + ": heap headers and page maps"] += h.overhead
        used = set()
        if h.client == 0xBC:
            records, index = s_bth = h.bth(h.root)
            for hid in index:
                used.add(hid)
                cat[kind + ": BTH header and records"] += len(h.items[hid])
            for k, v in records:
                pid, ptype, hnid = struct.unpack("<HHI", k + v)
                if ptype in CELL and CELL[ptype] <= 4:
                    props[pid, ptype] += CELL[ptype]
                    continue
                if hnid & 0x1F == 0:
                    if hnid:
                        used.add(hnid)
                        n = len(h.items[hnid])
                        cat[kind + ": values in the heap"] += n
                        props[pid, ptype] += n
                elif hnid in subs:
                    data, _ = subs[hnid]
                    before = cat[kind + ": values in subnodes"]
                    plain(data, kind + ": values in subnodes")
                    props[pid, ptype] += cat[kind + ": values in subnodes"] - before
        elif h.client == 0x7C:
            info = h.items[h.root]
            used.add(h.root)
            cat[kind + ": TCINFO"] += len(info)
            ccols = info[1]
            row_size = struct.unpack_from("<H", info, 8)[0]
            hid_index, hnid_rows = struct.unpack_from("<II", info, 10)
            cols = [struct.unpack_from("<IHBB", info, 22 + 8 * i) for i in range(ccols)]
            records, index = h.bth(hid_index)
            for hid in index:
                used.add(hid)
                cat[kind + ": row index (BTH)"] += len(h.items[hid])
            rows = b""
            if hnid_rows & 0x1F == 0 and hnid_rows:
                used.add(hnid_rows)
                rows = h.items[hnid_rows]
                cat[kind + ": row matrix"] += len(rows)
            elif hnid_rows in subs:
                leaves2, inner2 = s.data_blocks(subs[hnid_rows][0])
                internal(inner2, "data-tree blocks (XBLOCK, XXBLOCK)")
                for b in leaves2:
                    seen.add(b)
                    blk = s.block(b)
                    whole = len(blk) // row_size * row_size
                    rows += blk[:whole]
                    cat[kind + ": row matrix"] += whole
                    cat[kind + ": row matrix block padding"] += len(blk) - whole
            for r in range(len(rows) // row_size if row_size else 0):
                row = rows[r * row_size:(r + 1) * row_size]
                for tag, off, cb, bit in cols:
                    if CELL.get(tag & 0xFFFF) is None and cb == 4:
                        hnid = struct.unpack_from("<I", row, off)[0]
                        if hnid & 0x1F == 0 and hnid and hnid in h.items and hnid not in used:
                            used.add(hnid)
                            cat[kind + ": cell values"] += len(h.items[hnid])
                        elif hnid in subs:
                            plain(subs[hnid][0], kind + ": cell values")
        for hid, item in h.items.items():
            if hid not in used:
                cat[kind + ": other heap items"] += len(item)

    def node(nid, data, sub, top):
        kinds = {0x04: "messages", 0x05: "attachments", 0x11: "attachment tables",
                 0x12: "recipient tables", 0x02: "folders", 0x0E: "contents tables"}
        t = nid & 0x1F
        if t == 0x01 and not top:
            return  # a value's subnode: counted by its owner
        kind = kinds.get(t, "other nodes")
        subs, inner = s.subnodes(sub)
        internal(inner, "subnode-tree blocks (SLBLOCK, SIBLOCK)")
        heap_node(data, subs, kind)
        for snid, (sdata, ssub) in sorted(subs.items()):
            node(snid, sdata, ssub, False)

    for nid, (data, sub, _) in sorted(s.nodes.items()):
        node(nid, data, sub, True)
    for bid, (ib, cb) in s.blocks.items():
        if bid not in seen:
            cat["blocks of no node found"] += cb

    values = sum(v for k, v in cat.items() if "values in" in k)
    print("%s: %d bytes" % (path, size))
    for k, v in sorted(cat.items(), key=lambda kv: -kv[1]):
        print("  %-58s %12d  %5.1f%%" % (k, v, 100.0 * v / size))
    accounted = sum(cat.values())
    print("  %-58s %12d  %5.1f%%" % ("(not accounted for)", size - accounted,
                                      100.0 * (size - accounted) / size))
    print("property values of messages, attachments and folders: %d bytes (%.1f%%); the rest %.1f%%"
          % (values, 100.0 * values / size, 100.0 - 100.0 * values / size))
    if by_property:
        total = sum(props.values())
        for (pid, ptype), v in sorted(props.items(), key=lambda kv: -kv[1])[:25]:
            print("  0x%04X%04X %12d  %5.1f%%" % (pid, ptype, v, 100.0 * v / total))


if __name__ == "__main__":
    main()
