#!/usr/bin/env python3
"""The committed icons must rebuild byte for byte, and the layout checker
must actually catch the mistakes that would break them in a resource."""
import os
import struct
import subprocess
import sys
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_ico  # noqa: E402


def load(name):
    with open(os.path.join(HERE, 'out', name), 'rb') as f:
        return bytearray(f.read())


def image_offset(data, k):
    return struct.unpack_from('<I', data, 6 + 16 * k + 12)[0]


def put(data, off, fmt, value):
    struct.pack_into(fmt, data, off, value)
    return data


def png_ihdr(d, field, value):
    """Change one IHDR byte of the Tidewell PNG and re-sign the chunk."""
    at = image_offset(d, 7) + 8 + 4
    d[at + 4 + field] = value
    return put(d, at + 4 + 13, '>I', zlib.crc32(bytes(d[at:at + 4 + 13])))


def swap_first_entries(d):
    d[6:22], d[22:38] = d[22:38], d[6:22]
    return d


BROKEN = [
    # (file, what goes wrong, corruption)
    ('Harnfold.ico', 'colour count 0 on a 4-bit image', lambda d: put(d, 6 + 2, '<B', 0)),
    ('Harnfold.ico', 'colour count 16 on an 8-bit image', lambda d: put(d, 6 + 16 + 2, '<B', 16)),
    ('Harnfold.ico', 'first two images out of order', swap_first_entries),
    ('OrvalisOpen.ico', '256 image entered as 255 wide', lambda d: put(d, 6 + 16 * 9, '<B', 255)),
    ('OrvalisOpenCart.ico', 'biSizeImage zeroed',
     lambda d: put(d, image_offset(d, 0) + 20, '<I', 0)),
    ('OrvalisOpenDoc.ico', 'DIB height not doubled for the AND mask',
     lambda d: put(d, image_offset(d, 12) + 8, '<i', 256)),
    ('OrvalisOpen.ico', 'AND mask cleared over transparent 32-bit pixels',
     lambda d: put(d, image_offset(d, 6) + 40 + 16 * 16 * 4, '<B', 0)),
    ('OrvalisOpen.ico', 'colour index under a set AND bit',
     lambda d: put(d, image_offset(d, 1) + 40 + 1024, '<B', 5)),
    ('Tidewell.ico', 'PNG chunk CRC broken',
     lambda d: put(d, image_offset(d, 7) + 8 + 8 + 13, '<B', d[image_offset(d, 7) + 29] ^ 1)),
    ('Tidewell.ico', 'PNG colour type 2 instead of RGBA', lambda d: png_ihdr(d, 9, 2)),
    ('Tidewell.ico', 'file cut short', lambda d: d[:-1]),
]


class Icons(unittest.TestCase):
    def test_committed_icons_rebuild_and_validate(self):
        run = subprocess.run([sys.executable, os.path.join(HERE, 'make_icons.py'), '--check'],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)

    def test_checker_rejects_broken_files(self):
        for name, what, corrupt in BROKEN:
            with self.subTest(what):
                self.assertEqual(check_ico.validate(name, bytes(load(name))), [])
                self.assertNotEqual(check_ico.validate(name, bytes(corrupt(load(name)))), [], what)


if __name__ == '__main__':
    unittest.main()
