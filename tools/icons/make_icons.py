#!/usr/bin/env python3
"""Deterministic generator for the project's .ico files (see README.md).

  make_icons.py [--out DIR]      write the icons (default: out/ beside this file)
  make_icons.py --check          regenerate into a temp dir, compare with out/
                                 byte for byte and validate every layout
  make_icons.py --preview FILE   contact sheet PNG of every image in out/

Drawings place their shapes with plain float arithmetic (+ - * / and sqrt,
which IEEE 754 rounds the same way on every machine), rounded once to a
1/16-unit grid; coverage, gradients, blending and quantising are all integer
math, so the output bytes never depend on the platform."""
import filecmp
import math
import os
import struct
import sys
import tempfile
import zlib
from fractions import Fraction
from itertools import accumulate

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, 'out')
D = 4096  # design units per icon side; drawings use 0..256 on a 1/16 grid


def q(v):
    return int(round(v * 16))


# ---------------------------------------------------------------- shapes
# A shape answers, for one row of sub-samples, which sample columns it covers
# as sorted half-open intervals.  Sample j of N lies at (2j+1)*D once design
# units are scaled by M = 2N, so every test below is exact integer math.

def first(lo):  # first sample index whose centre is >= lo
    return -((D - lo) // (2 * D))


def span(lo, hi, n, closed):
    a = max(first(lo), 0)
    b = min(((hi - D) // (2 * D)) + 1 if closed else first(hi), n)
    return [(a, b)] if a < b else []


class Shape:
    def __or__(self, o):
        return Op(self, o, lambda a, b: a or b)

    def __and__(self, o):
        return Op(self, o, lambda a, b: a and b)

    def __sub__(self, o):
        return Op(self, o, lambda a, b: a and not b)


class Op(Shape):
    def __init__(self, a, b, fn):
        self.a, self.b, self.fn = a, b, fn

    def spans(self, y, m, n):
        sa, sb = self.a.spans(y, m, n), self.b.spans(y, m, n)
        out = []
        edges = sorted({x for s in sa + sb for x in s})
        for lo, hi in zip(edges, edges[1:]):
            if self.fn(any(a <= lo < b for a, b in sa), any(a <= lo < b for a, b in sb)):
                if out and out[-1][1] == lo:
                    out[-1] = (out[-1][0], hi)
                else:
                    out.append((lo, hi))
        return out


class Ellipse(Shape):
    def __init__(self, cx, cy, rx, ry=None):
        self.p = [q(v) for v in (cx, cy, rx, rx if ry is None else ry)]

    def spans(self, y, m, n):
        cx, cy, rx, ry = (v * m for v in self.p)
        dy = y - cy
        if abs(dy) > ry:
            return []
        h = math.isqrt(rx * rx * (ry * ry - dy * dy)) // ry
        return span(cx - h, cx + h, n, True)


class RRect(Shape):
    def __init__(self, x0, y0, x1, y1, r=0):
        self.p = [q(v) for v in (x0, y0, x1, y1, r)]

    def spans(self, y, m, n):
        x0, y0, x1, y1, r = (v * m for v in self.p)
        if not y0 <= y < y1:
            return []
        dy = max(y0 + r - y, y - (y1 - r), 0)
        h = math.isqrt(r * r - dy * dy)
        return span(x0 + r - h, x1 - r + h, n, False)


class Poly(Shape):
    def __init__(self, *pts):
        self.p = [(q(x), q(y)) for x, y in pts]

    def spans(self, y, m, n):
        xs = []
        pts = [(x * m, v * m) for x, v in self.p]
        for (x0, y0), (x1, y1) in zip(pts, pts[1:] + pts[:1]):
            if min(y0, y1) <= y < max(y0, y1):
                xs.append(x0 + Fraction((y - y0) * (x1 - x0), y1 - y0))
        xs.sort()
        out = []
        for lo, hi in zip(xs[::2], xs[1::2]):
            out += span(lo, hi, n, False)
        return out


def union(*shapes):
    s = shapes[0]
    for t in shapes[1:]:
        s = s | t
    return s


def rpoly(pts, r):
    """Convex polygon through pts with corners rounded to radius r."""
    n = len(pts)
    area = sum(pts[i][0] * pts[i - 1][1] - pts[i - 1][0] * pts[i][1] for i in range(n))
    sgn = 1 if area > 0 else -1
    inner = []
    for i in range(n):
        (px, py), (x, y), (nx, ny) = pts[i - 1], pts[i], pts[(i + 1) % n]
        ux, uy = unit(px - x, py - y)
        vx, vy = unit(nx - x, ny - y)
        bx, by = unit(ux + vx, uy + vy)
        d = r / abs(ux * by - uy * bx)
        inner.append((x + bx * d, y + by * d))
    edge = []
    for (x0, y0), (x1, y1) in zip(inner, inner[1:] + inner[:1]):
        ex, ey = unit(x1 - x0, y1 - y0)
        ox, oy = -ey * r * sgn, ex * r * sgn
        edge += [(x0 + ox, y0 + oy), (x1 + ox, y1 + oy)]
    return union(Poly(*edge), *[Ellipse(x, y, r) for x, y in inner])


def unit(x, y):
    d = math.sqrt(x * x + y * y)
    return x / d, y / d


# ---------------------------------------------------------------- fills
def rgb(h, a=255):
    return (int(h[0:2], 16), int(h[2:4], 16), int(h[4:6], 16), a)


class Lin:
    """Linear gradient from c0 at (x0,y0) to c1 at (x1,y1)."""

    def __init__(self, c0, c1, x0, y0, x1, y1):
        self.c, self.p = (c0, c1), [q(v) for v in (x0, y0, x1, y1)]

    def at(self, x, y, k):
        x0, y0, x1, y1 = (v * k for v in self.p)
        dx, dy = x1 - x0, y1 - y0
        den = dx * dx + dy * dy
        t = min(max((x - x0) * dx + (y - y0) * dy, 0), den)
        return tuple((a * (den - t) + b * t + den // 2) // den for a, b in zip(*self.c))


class Rad:
    """Radial gradient from c0 at the centre to c1 at radius r."""

    def __init__(self, c0, c1, cx, cy, r):
        self.c, self.p = (c0, c1), [q(v) for v in (cx, cy, r)]

    def at(self, x, y, k):
        cx, cy, r = (v * k for v in self.p)
        t = min(math.isqrt((x - cx) ** 2 + (y - cy) ** 2), r)
        return tuple((a * (r - t) + b * t + r // 2) // r for a, b in zip(*self.c))


class Solid:
    def __init__(self, c):
        self.c = c

    def at(self, x, y, k):
        return self.c


# ---------------------------------------------------------------- raster
# The classic 16-colour palette every 4-bit icon is drawn in.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER, GREY, RED, LIME, YELLOW, \
    BLUE, FUCHSIA, AQUA, WHITE = range(16)


def render(layers, s, ss):
    """Paint (shape, fill) layers with ss*ss samples per pixel; straight RGBA rows."""
    n, f = s * ss, 255 * ss * ss
    cr, cg, cb, ca = ([0] * (s * s) for _ in range(4))  # premultiplied, alpha scale f
    for shape, fill in layers:
        for py in range(s):
            cnt = [0] * (n + 1)
            for i in range(py * ss, py * ss + ss):
                for a, b in shape.spans((2 * i + 1) * D, 2 * n, n):
                    cnt[a] += 1
                    cnt[b] -= 1
            cum = [0] + list(accumulate(accumulate(cnt[:n])))
            yc = (2 * py + 1) * D
            for px in range(s):
                c = cum[px * ss + ss] - cum[px * ss]
                if not c:
                    continue
                r, g, b, a = fill.at((2 * px + 1) * D, yc, 2 * s)
                a *= c
                k, inv = py * s + px, f - a
                cr[k] = r * a + (cr[k] * inv + f // 2) // f
                cg[k] = g * a + (cg[k] * inv + f // 2) // f
                cb[k] = b * a + (cb[k] * inv + f // 2) // f
                ca[k] = a + (ca[k] * inv + f // 2) // f
    px = []
    for k in range(s * s):
        a = ca[k]
        if a * 255 * 2 < f:  # rounds to alpha 0: fully transparent black
            px.append((0, 0, 0, 0))
        else:
            px.append(((cr[k] + a // 2) // a, (cg[k] + a // 2) // a,
                       (cb[k] + a // 2) // a, (a * 255 + f // 2) // f))
    return [px[y * s:(y + 1) * s] for y in range(s)]


def median_cut(counts, boxes):
    """Up to `boxes` representative colours for a {rgb: count} histogram."""
    def spread(b, i):
        return max(c[0][i] for c in b) - min(c[0][i] for c in b)
    todo = [sorted(counts.items())]
    while len(todo) < boxes:
        cand = [(max(spread(b, i) for i in range(3)), -k) for k, b in enumerate(todo) if len(b) > 1]
        if not cand:
            break
        k = -max(cand)[1]
        ch = max(range(3), key=lambda i: (spread(todo[k], i), -i))
        b = sorted(todo[k], key=lambda c: (c[0][ch], c[0]))
        total, run, cut = sum(c[1] for c in b), 0, 1
        for cut in range(1, len(b)):  # split at the weighted median
            run += b[cut - 1][1]
            if 2 * run >= total:
                break
        todo[k:k + 1] = [b[:cut], b[cut:]]
    pal = set()
    for b in todo:
        w = sum(c[1] for c in b)
        pal.add(tuple((sum(c[0][i] * c[1] for c in b) + w // 2) // w for i in range(3)))
    return sorted(pal)


def nearest(pal, c, cache):
    if c not in cache:
        cache[c] = min(range(len(pal)), key=lambda i: (sum((a - b) ** 2 for a, b in zip(pal[i], c)), i))
    return cache[c]


def indexed(rows, bpp):
    """Palette and index rows for a 4- or 8-bit image; index 0 (black) is transparent."""
    solid = [p[:3] for row in rows for p in row if p[3] >= 128]
    if bpp == 4:
        pal = VGA
    else:
        counts = {}
        for c in solid:
            counts[c] = counts.get(c, 0) + 1
        pal = [(0, 0, 0)] + median_cut(counts, 255)
        pal += [(0, 0, 0)] * (256 - len(pal))
    cache = {}
    idx = [[nearest(pal, p[:3], cache) if p[3] >= 128 else 0 for p in row] for row in rows]
    mask = [[p[3] < 128 for p in row] for row in rows]
    return pal, idx, mask


# ---------------------------------------------------------------- encoders
def dib(s, bpp, rows):
    """BITMAPINFOHEADER + palette + XOR + AND mask, rows bottom-up."""
    xs, ms = (s * bpp + 31) // 32 * 4, (s + 31) // 32 * 4
    if bpp == 32:
        pal, mask = [], [[p[3] == 0 for p in row] for row in rows]
        xor = [b''.join(bytes((b, g, r, a)) for r, g, b, a in row) for row in rows]
    else:
        pal, idx, mask = indexed(rows, bpp)
        per = 8 // bpp
        xor = [bytes(sum(v << (8 - bpp * (j + 1)) for j, v in enumerate(row[i:i + per]))
                     for i in range(0, s, per)) for row in idx]
    andm = [bytes(sum(1 << (7 - j) for j, m in enumerate(row[i:i + 8]) if m)
                  for i in range(0, s, 8)) for row in mask]
    body = b''.join(r.ljust(xs, b'\0') for r in xor[::-1]) + \
        b''.join(r.ljust(ms, b'\0') for r in andm[::-1])
    head = struct.pack('<IiiHHIIiiII', 40, s, 2 * s, 1, bpp, 0, len(body), 0, 0, 0, 0)
    return head + b''.join(bytes((b, g, r, 0)) for r, g, b in pal) + body


def png(rows):
    """RGBA PNG with unfiltered scanlines in stored (uncompressed) deflate
    blocks: zlib builds differ in their compressed output, stored ones don't."""
    raw = b''.join(b'\0' + b''.join(bytes(p) for p in row) for row in rows)
    z = [b'\x78\x01']
    for i in range(0, len(raw), 65535):
        part = raw[i:i + 65535]
        z.append(struct.pack('<BHH', i + 65535 >= len(raw), len(part), 0xFFFF ^ len(part)) + part)
    z.append(struct.pack('>I', zlib.adler32(raw)))

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    s = len(rows)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', s, s, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', b''.join(z)) + chunk(b'IEND', b''))


def ico(images):
    """images: (size, bpp, bytes) in directory order."""
    head = struct.pack('<HHH', 0, 1, len(images))
    off = 6 + 16 * len(images)
    for s, bpp, data in images:
        head += struct.pack('<BBBBHHII', s & 255, s & 255, 16 if bpp == 4 else 0, 0, 1, bpp,
                            len(data), off)
        off += len(data)
    return head + b''.join(d for _, _, d in images)


# ---------------------------------------------------------------- designs
# Each design takes the pixel size and returns (shape, fill, vga) layers.
# vga is the 4-bit palette colour of the layer, or None to leave it out of
# the hard-edged 4-bit picture (shadows, gloss, fine detail).

def pxgrid(s):
    """Design units per pixel, and a snap to whole pixels below 48 px so
    small images get crisp straight edges."""
    p = 256 / s
    return p, (lambda v: round(v / p) * p) if s < 48 else (lambda v: v)


def shadow(cx, cy, rx, ry):
    """Soft contact shadow: stacked faint ellipses, darkest in the middle."""
    return [(Ellipse(cx, cy, rx * (1 - i / 8), ry * (1 - i / 8)), Solid((0, 0, 0, 14)), None)
            for i in range(6)]


def play_disc(cx, cy, r, s):
    """Blue disc with a white play mark: the brand used on the player's icons."""
    p = 256 / s
    rim = max(p, r * 0.055)
    out = [(Ellipse(cx, cy, r), Lin(rgb('2A7BD8'), rgb('0B3C8C'), 0, cy - r, 0, cy + r), NAVY),
           (Ellipse(cx, cy, r - rim), Lin(rgb('5CC2FF'), rgb('1452C4'), 0, cy - r, 0, cy + r), BLUE)]
    if r > 5 * p:  # gloss only where there is room for it
        gy = cy - r * 0.42
        out.append((Ellipse(cx, gy, r * 0.74, r * 0.5) & Ellipse(cx, cy, r - rim),
                    Lin(rgb('FFFFFF', 120), rgb('FFFFFF', 0), 0, gy - r * 0.5, 0, gy + r * 0.5), None))
    k = 1 if r > 5 * p else 1.15  # tiny discs need a bolder mark
    tri = [(cx - r * 0.34 * k, cy - r * 0.54 * k), (cx - r * 0.34 * k, cy + r * 0.54 * k),
           (cx + r * 0.6 * k, cy)]
    rr = r * 0.1 if r > 5 * p else 0
    if r > 5 * p:
        out.append((rpoly([(x, y + r * 0.04) for x, y in tri], rr), Solid((0, 30, 90, 70)), None))
    body = rpoly(tri, rr) if rr else Poly(*tri)
    out.append((body, Lin(rgb('FFFFFF'), rgb('D8E6F6'), 0, cy - r * 0.54, 0, cy + r * 0.54), WHITE))
    return out


def player(s):
    if s >= 48:
        return shadow(128, 238, 100, 14) + play_disc(128, 124, 114, s)
    return play_disc(128, 128, 120 if s == 16 else 124, s)  # full frame, half a pixel in


def doc(s):
    p, sn = pxgrid(s)
    x0, x1, y0, y1 = sn(44), sn(212), sn(12) if s < 48 else 12, sn(248) if s < 48 else 244
    f, w = sn(60), max(p, 4)
    k = w * 0.414  # inset along the 45-degree fold edge
    out = shadow(128, 246, 96, 8) if s >= 48 else []
    page = [(x0, y0), (x1 - f, y0), (x1, y0 + f), (x1, y1), (x0, y1)]
    inner = [(x0 + w, y0 + w), (x1 - f - k + w, y0 + w), (x1 - w, y0 + f + k - w),
             (x1 - w, y1 - w), (x0 + w, y1 - w)]
    out += [(Poly(*page), Solid(rgb('7A8594')), GREY),
            (Poly(*inner), Lin(rgb('FFFFFF'), rgb('E3E9F0'), 0, y0, 0, y1), WHITE)]
    if s >= 32:  # text lines: shorter beside the fold
        lh = max(p, 6)
        gap = max(2 * p, 16) if s < 256 else 18
        y = y0 + max(2 * p, 26)
        ln = 0
        while y + lh < y0 + (y1 - y0) * 0.5:
            right = x1 - f - 2 * p if y < y0 + f else x1 - 3 * w - (14 if ln % 3 == 2 else 0)
            out.append((RRect(sn(x0 + 3 * w), sn(y), sn(right), sn(y) + lh, lh / 2 if s >= 48 else 0),
                        Solid(rgb('B4BFCC')), SILVER))
            y += gap
            ln += 1
    fold = [(x1 - f, y0), (x1 - f, y0 + f), (x1, y0 + f)]
    out += [(Poly(*fold), Solid(rgb('7A8594')), GREY),
            (Poly((x1 - f + w, y0 + 2 * k + w), (x1 - f + w, y0 + f - w), (x1 - 2 * k - w, y0 + f - w)),
             Lin(rgb('C5D0DC'), rgb('F6F9FB'), x1 - f, y0 + f, x1 - f / 2, y0 + f / 2), SILVER)]
    r = 56 if s >= 48 else (4.5 * p if s == 16 else sn(60))
    return out + play_disc(128, y1 - r - max(1.5 * p, 22), r, s)


def cart(s):
    p, sn = pxgrid(s)
    out = shadow(128, 242, 92, 9) if s >= 48 else []
    w, r, rt = max(p, 5), max(2 * p, 22), max(p, 14)
    x0, x1, top, mid, bot, tx0, tx1 = (sn(v) for v in (12, 244, 20, 184, 240, 44, 212))
    # wide case on top, narrower board edge below: the cartridge silhouette
    out += [(RRect(x0, top, x1, mid, r) | RRect(tx0, sn(120), tx1, bot, rt), Solid(rgb('1E242B')), BLACK),
            (RRect(x0 + w, top + w, x1 - w, mid - w, r - w) | RRect(tx0 + w, sn(120), tx1 - w, bot - w, rt - w),
             Lin(rgb('7A8693'), rgb('39424D'), 0, top, 0, bot), GREY)]
    if s >= 48:
        out.append((RRect(x0 + w, top + w, x1 - w, top + w + 5, r - w), Solid(rgb('FFFFFF', 60)), None))
    lx0, lx1, ly0, ly1 = (sn(v) for v in (36, 220, 40, 158))
    out += [(RRect(lx0, ly0, lx1, ly1, max(p, 10)), Solid(rgb('8C3A08')), MAROON),
            (RRect(lx0 + w, ly0 + w, lx1 - w, ly1 - w, max(p, 10) - w),
             Lin(rgb('FFC65C'), rgb('EE6A1C'), 0, ly0, 0, ly1), RED)]
    if s >= 48:  # stripes along the bottom of the label
        for i in range(2):
            out.append((RRect(lx0 + w, ly1 - 28 + i * 10, lx1 - w, ly1 - 23 + i * 10),
                        Solid(rgb('FFFFFF', 90)), None))
    cy = (ly0 + ly1) / 2 - (8 if s >= 48 else 0)
    h = (ly1 - ly0) * 0.26 if s >= 48 else max((ly1 - ly0) * 0.3, 2 * p)
    tri = [(128 - h * 0.75, cy - h), (128 - h * 0.75, cy + h), (128 + h, cy)]
    out.append(((rpoly(tri, h * 0.15) if s >= 48 else Poly(*tri)), Solid(rgb('FFFFFF')), WHITE))
    # edge connector with gold contacts
    cx0, cx1 = sn(68), sn(188)
    out.append((RRect(cx0, sn(196), cx1, bot - w, max(p, 4) if s >= 48 else 0), Solid(rgb('15191E')), BLACK))
    if s >= 48:
        n = 9 if s > 48 else 5
        step = (cx1 - cx0 - 12) / n
        for i in range(n):
            xa = cx0 + 6 + i * step + step * 0.2
            out.append((RRect(xa, 204, xa + step * 0.6, bot - w, 0),
                        Lin(rgb('FFE38C'), rgb('C58B1C'), 0, 204, 0, bot), YELLOW))
    return out


def wave(x0, x1, y, n, a, t):
    """Wavy stroke of n alternating arcs, each rising a above or below y,
    t thick with round ends.  Neighbouring arcs share a tangent where they
    meet, so each is cut along the line through its circle's centre."""
    wdt = (x1 - x0) / n
    r = (wdt * wdt / 4 + a * a) / (2 * a)
    parts = [Ellipse(x0, y, t / 2), Ellipse(x1, y, t / 2)]
    for i in range(n):
        up = 1 if i % 2 == 0 else -1
        cx, cy = x0 + wdt * (i + 0.5), y + (r - a) * up
        ring = Ellipse(cx, cy, r + t / 2) - Ellipse(cx, cy, r - t / 2)
        k = 3 * (r + t) / r  # reach well past the ring in every direction of the sector
        wedge = Poly((cx, cy), (cx + k * (x0 + wdt * i - cx), cy + k * (y - cy)), (cx, cy - k * r * up),
                     (cx + k * (x0 + wdt * (i + 1) - cx), cy + k * (y - cy)))
        parts.append(ring & wedge)
    return union(*parts)


def tide(s):
    p, sn = pxgrid(s)
    out = []
    if s >= 48:
        out = [(RRect(16 + i * 2, 28 + i, 240 - i * 2, 244 - i, 48), Solid((0, 0, 0, 12)), None)
               for i in range(5)]
        x0, y0, x1, y1 = 16, 12, 240, 236
    else:
        x0, y0, x1, y1 = 0, 0, 256, 256
    r, w = max(3 * p, 48) if s >= 32 else 2 * p, max(p, 5)
    out += [(RRect(x0, y0, x1, y1, r), Solid(rgb('083B6E')), NAVY),
            (RRect(x0 + w, y0 + w, x1 - w, y1 - w, r - w),
             Lin(rgb('3ED0EE'), rgb('0B4F96'), 0, y0, 0, y1), TEAL)]
    if s >= 48:
        out.append((RRect(x0 + w, y0 + w, x1 - w, 110, r - w),
                    Lin(rgb('FFFFFF', 60), rgb('FFFFFF', 0), 0, y0, 0, 110), None))
    # the tide: wavy crests in the upper half
    if s >= 48:
        out += [(wave(52, 204, 58, 4, 17, 15), Solid(rgb('FFFFFF')), WHITE),
                (wave(52, 204, 104, 4, 17, 15), Solid(rgb('BDEFFF')), AQUA)]
    else:  # whole-pixel strokes on pixel boundaries stay crisp
        n, yw = (4, (48, 104)) if s == 32 else (3, (48, 96)) if s == 24 else (3, (64,))
        for yy, col, v in zip(yw, (rgb('FFFFFF'), rgb('BDEFFF')), (WHITE, AQUA)):
            out.append((wave(sn(40), sn(216), sn(yy), n, 2 * p if s == 32 else 1.5 * p, 2 * p), Solid(col), v))
    # the well: a stone cylinder seen from the front, dark water inside
    big = s >= 32
    wx, wt, wb = (60, 150, 194) if big else (sn(40), 168, 216)
    rx, ry = 128 - wx, (22 if big else 2 * p)
    wall = RRect(wx, wt, 256 - wx, wb) | Ellipse(128, wb, rx, ry)
    out += [(wall, Lin(rgb('D8C398'), rgb('8A7450'), 0, wt, 0, wb + ry), SILVER if big else GREY),
            (Ellipse(128, wt, rx, ry), Solid(rgb('F1E4C4')), WHITE if big else SILVER),
            (Ellipse(128, wt, rx - max(p, 12), ry - max(p, 8) if big else p),
             Lin(rgb('02182E'), rgb('0E4C80'), 0, wt - ry, 0, wt + ry), NAVY)]
    if s >= 48:  # stone courses, staggered joints and a glint on the water
        face = wall - Ellipse(128, wt, rx, ry)
        mortar = Solid(rgb('6E5A3A', 170))
        for yy in (wt + 15, wt + 30):
            out.append(((Ellipse(128, yy, rx, ry) - Ellipse(128, yy - 4, rx, ry)) & face
                        & RRect(0, yy, 256, 256), mortar, None))
        if s > 48:
            for ya, xs in zip((wt, wt + 15, wt + 30), ((92, 164), (74, 128, 182), (100, 156))):
                for x in xs:
                    d = (x - 128) / rx
                    yb = ya + ry * math.sqrt(1 - d * d)
                    out.append((RRect(x - 2, yb, x + 2, yb + 15) & face, mortar, None))
        out.append((Ellipse(106, wt + 5, 24, 4), Solid(rgb('FFFFFF', 70)), None))
    return out


def folder(s):
    p, sn = pxgrid(s)
    out = shadow(128, 232, 112, 10) if s >= 48 else []
    w = max(p, 5)
    x0, x1, yb = sn(16) if s >= 32 else 0, sn(240) if s >= 32 else 256, sn(228) if s >= 32 else sn(240)
    yt, yp, yf = sn(36), sn(56), sn(96)  # tab top, back panel top, front flap top
    rr = max(p, 14)
    back = RRect(x0, yp, x1, yb, rr) | RRect(x0, yt, sn(100), yp + rr, rr) | \
        Poly((sn(100) - rr, yt), (sn(100), yt), (sn(120), yp), (sn(100) - rr, yp + 1))
    back_in = RRect(x0 + w, yp + w, x1 - w, yb - w, rr - w) | RRect(x0 + w, yt + w, sn(100) - w * 0.6, yp + rr, rr - w)
    out += [(back, Solid(rgb('A7671A')), OLIVE),
            (back_in, Lin(rgb('EDB24C'), rgb('C98026'), 0, yt, 0, yb), OLIVE)]
    if s >= 24:  # a sheet of paper peeking out between back and front
        px0, px1 = sn(32) if s >= 32 else x0 + 2 * p, sn(224) if s >= 32 else x1 - 2 * p
        out += [(RRect(px0, sn(68), px1, yf + 8, max(p, 6)), Solid(rgb('A8AFB8')), GREY),
                (RRect(px0 + w * 0.8, sn(68) + w * 0.8, px1 - w * 0.8, yf + 8, max(p, 6) - w * 0.8),
                 Solid(rgb('FDFDFD')), WHITE)]
    out += [(RRect(x0, yf, x1, yb, rr), Solid(rgb('B57A22')), OLIVE),
            (RRect(x0 + w, yf + w, x1 - w, yb - w, rr - w),
             Lin(rgb('FFDA7E'), rgb('F2AE3E'), 0, yf, 0, yb), YELLOW)]
    if s >= 48:
        out.append((RRect(x0 + w, yf + w, x1 - w, yf + w + 4), Solid(rgb('FFF0C4')), None))
    r = 40 if s >= 48 else (5.5 * p if s == 32 else 0)
    if r:
        out += play_disc(x1 - r - 2 * w - 6, yb - r - 2 * w - 6, r, s)
    return out


DESIGNS = [
    ('OrvalisOpen.ico', player, [(16, 4), (16, 8), (32, 4), (32, 8), (48, 4), (48, 8),
                                 (16, 32), (32, 32), (48, 32), (256, 32)]),
    ('OrvalisOpenDoc.ico', doc, [(16, 4), (16, 8), (24, 4), (24, 8), (32, 4), (32, 8), (48, 4),
                                 (48, 8), (16, 32), (24, 32), (32, 32), (48, 32), (256, 32)]),
    ('OrvalisOpenCart.ico', cart, [(16, 4), (16, 8), (24, 4), (24, 8), (32, 4), (32, 8), (48, 4),
                                   (48, 8), (16, 32), (24, 32), (32, 32), (48, 32), (256, 32)]),
    ('Tidewell.ico', tide, [(16, 4), (16, 8), (24, 8), (32, 4), (32, 8), (48, 4), (48, 8),
                            (256, 32, 'png'), (16, 32), (24, 32), (32, 32), (48, 32)]),
    ('Harnfold.ico', folder, [(16, 4), (16, 8), (32, 4), (32, 8), (48, 4), (48, 8),
                              (16, 32), (32, 32), (48, 32), (256, 32)]),
]


def layers(design, s, vga):
    if vga:
        return [(sh, Solid(VGA[v] + (255,))) for sh, _, v in design(s) if v is not None]
    return [(sh, fl) for sh, fl, _ in design(s)]


def build(name, design, layout):
    cache, images = {}, []
    for s, bpp, *fmt in layout:
        vga = bpp == 4
        if (s, vga) not in cache:
            cache[s, vga] = render(layers(design, s, vga), s, 1 if vga else (4 if s > 64 else 8))
        rows = cache[s, vga]
        images.append((s, bpp, png(rows) if fmt else dib(s, bpp, rows)))
    return ico(images)


def write_all(out):
    os.makedirs(out, exist_ok=True)
    for name, design, layout in DESIGNS:
        with open(os.path.join(out, name), 'wb') as f:
            f.write(build(name, design, layout))


def check():
    import check_ico
    bad = 0
    names = sorted(n for n, _, _ in DESIGNS)
    if sorted(os.listdir(OUT)) != names or sorted(check_ico.REQUIRED) != names:
        print('out/ holds %r, want %r' % (sorted(os.listdir(OUT)), names))
        bad = 1
    with tempfile.TemporaryDirectory() as tmp:
        write_all(tmp)
        for name in names:
            fresh, kept = os.path.join(tmp, name), os.path.join(OUT, name)
            if not os.path.exists(kept) or not filecmp.cmp(fresh, kept, shallow=False):
                print('%s differs from a fresh build' % name)
                bad = 1
            with open(fresh, 'rb') as f:
                errs = check_ico.validate(name, f.read())
            for e in errs:
                print('%s: %s' % (name, e))
            bad |= bool(errs)
    print('icons: %s' % ('FAILED' if bad else 'ok'))
    return bad


def preview(path):
    """Every image of every icon, stored pixels decoded back, on a checkerboard."""
    import check_ico
    rows = []
    for name, _, _ in DESIGNS:
        with open(os.path.join(OUT, name), 'rb') as f:
            ents, _ = check_ico.parse(f.read())
        rows.append([e['rgba'] for e in ents])
    zoom, gap = 4, 8
    shown = [[len(im) * (1 if len(im) > 48 else zoom) for im in r] for r in rows]
    width = max(sum(r) + gap * len(r) for r in shown) + gap
    height = sum(max(r) + gap for r in shown) + gap
    sheet = [[(200, 200, 200, 255) if (x // 8 + y // 8) % 2 else (255, 255, 255, 255)
              for x in range(width)] for y in range(height)]
    y0 = gap
    for r, sizes in zip(rows, shown):
        x0 = gap
        for im, size in zip(r, sizes):
            z = size // len(im)
            for y in range(size):
                for x in range(size):
                    sr, sg, sb, sa = im[y // z][x // z]
                    d = sheet[y0 + y][x0 + x]
                    sheet[y0 + y][x0 + x] = tuple((s * sa + t * (255 - sa) + 127) // 255
                                                  for s, t in zip((sr, sg, sb), d[:3])) + (255,)
            x0 += size + gap
        y0 += max(sizes) + gap
    raw = b''.join(b'\0' + b''.join(bytes(p) for p in row) for row in sheet)
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n')
        for kind, body in ((b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)),
                           (b'IDAT', zlib.compress(raw, 9)), (b'IEND', b'')):
            f.write(struct.pack('>I', len(body)) + kind + body +
                    struct.pack('>I', zlib.crc32(kind + body)))


def main(argv):
    sys.path.insert(0, HERE)
    if argv[:1] == ['--check']:
        return check()
    if argv[:1] == ['--preview'] and len(argv) == 2:
        return preview(argv[1])
    if argv in ([], ['--out']) or (argv[:1] == ['--out'] and len(argv) == 2):
        write_all(argv[1] if len(argv) == 2 else OUT)
        return 0
    print(__doc__)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
