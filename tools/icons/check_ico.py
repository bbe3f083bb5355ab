#!/usr/bin/env python3
"""Parse .ico files, print their directory and validate them against the
layout each resource needs.  Usage: check_ico.py FILE.ico [...]

The required layouts are written out here on purpose, independently of the
generator, so a slip in make_icons.py cannot validate itself."""
import struct
import sys
import zlib
from os.path import basename

P = 'png'
REQUIRED = {
    # player launcher, icon group 10
    'OrvalisOpen.ico': [(16, 4), (16, 8), (32, 4), (32, 8), (48, 4), (48, 8),
                        (16, 32), (32, 32), (48, 32), (256, 32)],
    # player launcher, icon groups 20 and 21
    'OrvalisOpenDoc.ico': [(16, 4), (16, 8), (24, 4), (24, 8), (32, 4), (32, 8),
                           (48, 4), (48, 8), (16, 32), (24, 32), (32, 32),
                           (48, 32), (256, 32)],
    'OrvalisOpenCart.ico': [(16, 4), (16, 8), (24, 4), (24, 8), (32, 4), (32, 8),
                            (48, 4), (48, 8), (16, 32), (24, 32), (32, 32),
                            (48, 32), (256, 32)],
    # product launcher, icon group 10: the 256 image is the only PNG anywhere
    'Tidewell.ico': [(16, 4), (16, 8), (24, 8), (32, 4), (32, 8), (48, 4),
                     (48, 8), (256, 32, P), (16, 32), (24, 32), (32, 32),
                     (48, 32)],
    # setup library's folder icon, icon group 10
    'Harnfold.ico': [(16, 4), (16, 8), (32, 4), (32, 8), (48, 4), (48, 8),
                     (16, 32), (32, 32), (48, 32), (256, 32)],
}
PNG_SIG = b'\x89PNG\r\n\x1a\n'


def parse(data):
    """Return (entries, errors); each entry is a dict with the directory
    fields, the image bytes and, once decoded, rgba rows and the AND mask."""
    errs = []
    if len(data) < 6:
        return [], ['file shorter than its header']
    res, typ, n = struct.unpack_from('<HHH', data)
    if (res, typ) != (0, 1):
        errs.append('ICONDIR reserved/type is %d/%d, want 0/1' % (res, typ))
    entries = []
    pos = 6 + 16 * n
    for k in range(n):
        w, h, cc, r, planes, bpp, size, off = struct.unpack_from('<BBBBHHII', data, 6 + 16 * k)
        e = dict(index=k + 1, w=w or 256, h=h or 256, cc=cc, reserved=r,
                 planes=planes, bpp=bpp, size=size, off=off,
                 raw=(w, h), img=data[off:off + size])
        if off != pos:
            errs.append('image %d at offset %d, want %d (images must follow each other)' % (k + 1, off, pos))
        pos = off + size
        if len(e['img']) != size:
            errs.append('image %d runs past the end of the file' % (k + 1))
        entries.append(e)
    if pos != len(data):
        errs.append('file has %d bytes, directory accounts for %d' % (len(data), pos))
    for e in entries:
        try:
            decode(e)
        except (ValueError, struct.error, zlib.error) as x:
            errs.append('image %d: %s' % (e['index'], x))
    return entries, errs


def decode(e):
    img = e['img']
    if img[:8] == PNG_SIG:
        e['fmt'] = P
        return decode_png(e, img)
    e['fmt'] = 'bmp'
    hs, w, h2, planes, bpp, comp, simg, _, _, used, _ = struct.unpack_from('<IiiHHIIiiII', img)
    if (hs, w, h2, planes, bpp, comp) != (40, e['w'], 2 * e['h'], 1, e['bpp'], 0):
        raise ValueError('BITMAPINFOHEADER size/w/h/planes/bpp/compression = %r'
                         % ((hs, w, h2, planes, bpp, comp),))
    if used != 0:
        raise ValueError('biClrUsed is %d, want 0' % used)
    ncol = 1 << bpp if bpp <= 8 else 0
    xstride, astride = (w * bpp + 31) // 32 * 4, (w + 31) // 32 * 4
    pix = 40 + 4 * ncol
    if simg != (xstride + astride) * h2 // 2:
        raise ValueError('biSizeImage %d, want %d' % (simg, (xstride + astride) * h2 // 2))
    if len(img) != pix + simg:
        raise ValueError('BMP image has %d bytes, want %d' % (len(img), pix + simg))
    pal = [tuple(img[40 + 4 * i:43 + 4 * i][::-1]) for i in range(ncol)]
    h = h2 // 2
    rows, mask, idx = [], [], []
    for y in range(h - 1, -1, -1):  # bottom-up on disk
        xr = img[pix + y * xstride:pix + (y + 1) * xstride]
        ar = img[pix + h * xstride + y * astride:][:astride]
        mask.append([ar[x >> 3] >> (7 - (x & 7)) & 1 for x in range(w)])
        if bpp == 32:
            rows.append([tuple(xr[4 * x:4 * x + 3][::-1]) + (xr[4 * x + 3],) for x in range(w)])
        else:
            ir = [xr[x * bpp // 8] >> (8 - bpp - x * bpp % 8) & (1 << bpp) - 1 for x in range(w)]
            idx.append(ir)
            rows.append([pal[i] + (0 if m else 255,) for i, m in zip(ir, mask[-1])])
    e.update(rgba=rows, mask=mask, idx=idx, pal=pal)


def decode_png(e, img):
    pos, chunks = 8, []
    while pos < len(img):
        n, = struct.unpack_from('>I', img, pos)
        kind, body = img[pos + 4:pos + 8], img[pos + 8:pos + 8 + n]
        crc, = struct.unpack_from('>I', img, pos + 8 + n)
        if crc != zlib.crc32(kind + body):
            raise ValueError('PNG chunk %r has a bad CRC' % kind)
        chunks.append((kind, body))
        pos += 12 + n
    kinds = [k for k, _ in chunks]
    if kinds[0] != b'IHDR' or kinds[-1] != b'IEND' or b'IDAT' not in kinds:
        raise ValueError('PNG chunks out of order: %r' % kinds)
    w, h, depth, ctype, comp, filt, lace = struct.unpack('>IIBBBBB', chunks[0][1])
    if (w, h, depth, ctype, comp, filt, lace) != (e['w'], e['h'], 8, 6, 0, 0, 0):
        raise ValueError('IHDR is %r' % ((w, h, depth, ctype, comp, filt, lace),))
    raw = zlib.decompress(b''.join(b for k, b in chunks if k == b'IDAT'))
    stride = 4 * w + 1
    if len(raw) != h * stride or any(raw[y * stride] != 0 for y in range(h)):
        raise ValueError('PNG scanlines are not %d unfiltered rows' % h)
    e['rgba'] = [[tuple(raw[y * stride + 1 + 4 * x:][:4]) for x in range(w)] for y in range(h)]


def validate(name, data):
    """All layout errors for one file; empty when it is fit to embed."""
    entries, errs = parse(data)
    want = REQUIRED.get(basename(name))
    if want is None:
        return errs + ['no required layout for %s' % name]
    got = [(e['w'], e['bpp']) + ((P,) if e.get('fmt') == P else ()) for e in entries]
    if got != [tuple(x) for x in want]:
        errs.append('layout %r, want %r' % (got, want))
    for e in entries:
        if 'rgba' not in e:
            continue
        k, s, bpp = e['index'], e['w'], e['bpp']
        if e['h'] != s or e['raw'] != ((0, 0) if s == 256 else (s, s)):
            errs.append('image %d: directory size bytes %r' % (k, e['raw']))
        if (e['cc'], e['reserved'], e['planes']) != ((16 if bpp == 4 else 0), 0, 1):
            errs.append('image %d: colour count/reserved/planes %d/%d/%d'
                        % (k, e['cc'], e['reserved'], e['planes']))
        alphas = {p[3] for row in e['rgba'] for p in row}
        if alphas <= {0}:
            errs.append('image %d is empty' % k)
        if e['fmt'] == P:
            continue
        if bpp == 32:
            if not alphas - {0, 255}:
                errs.append('image %d: 32-bit image without soft alpha' % k)
            bad = any(m != (p[3] == 0) or (m and p != (0, 0, 0, 0))
                      for row, mrow in zip(e['rgba'], e['mask']) for p, m in zip(row, mrow))
        else:
            bad = e['pal'][0] != (0, 0, 0) or any(
                m and i for row, mrow in zip(e['idx'], e['mask']) for i, m in zip(row, mrow))
        if bad:
            errs.append('image %d: AND mask does not match the transparent pixels' % k)
    return errs


def describe(name, data):
    entries, _ = parse(data)
    out = ['%s: %d bytes, %d images' % (basename(name), len(data), len(entries))]
    for e in entries:
        out.append('  %2d  %3dx%-3d  %2d bpp  colours %2d  %-3s  %6d bytes @ %d'
                   % (e['index'], e['w'], e['h'], e['bpp'], e['cc'],
                      e.get('fmt', '?'), e['size'], e['off']))
    return '\n'.join(out)


def main(paths):
    failed = False
    for path in paths:
        with open(path, 'rb') as f:
            data = f.read()
        print(describe(path, data))
        for err in validate(path, data):
            failed = True
            print('  ERROR: ' + err)
    return 1 if failed or not paths else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
