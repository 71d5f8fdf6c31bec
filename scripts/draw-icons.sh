#!/usr/bin/env bash
# Redraws the application icon and the four tray-state icons in resources/.
# Run from the repository root as:  scripts/draw-icons.sh
# Needs ImageMagick 6 (`convert`) and python3; output is byte-for-byte reproducible.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
res=resources
mkdir -p "$res"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# --- Application icon: drawn at 8x and box-filtered down to 32x32 so the edges
# get real alpha coverage instead of jaggies.
arc() {  # arc CX CY R HALF-ANGLE -> MVG polyline (IM's own arc primitives close the shape)
  awk -v cx="$1" -v cy="$2" -v r="$3" -v a="$4" 'BEGIN {
    printf "polyline"
    for (d = -a; d <= a; d += 3) printf " %.1f,%.1f", cx + r * cos(d * 0.0174533), cy + r * sin(d * 0.0174533)
    print "" }'
}
shape='polygon 12,92 68,92 124,36 124,220 68,164 12,164'
waves="stroke-linecap round stroke-linejoin round
  $(arc 124 128 40 45) $(arc 124 128 76 45) $(arc 124 128 112 45)"
convert -size 256x256 \
  -define gradient:center=60,70 -define gradient:radii=180,180 radial-gradient:white-black \
  \( xc:'#35850D' xc:'#6CBC44' xc:'#8ED062' xc:'#FFFFD7' +append \) -clut \
  \( -size 256x256 xc:black -fill white -draw "$shape" \) \
  -alpha off -compose CopyOpacity -composite -compose Over \
  -fill none -stroke '#1E5206' -strokewidth 7 -draw "$shape" -draw 'line 68,92 68,164' \
  -strokewidth 22 -draw "$waves" -stroke '#A6F6C4' -strokewidth 10 -draw "$waves" \
  -filter Box -resize 32x32 -depth 8 "rgba:$tmp/sonalto.rgba"

# --- Tray icons are pixel art: every pixel is placed on purpose so that the
# 16x16 images stay crisp, and the ICO containers are written by hand because
# the tray wants classic palette images with a 1-bit AND mask. Each icon
# also holds the small-icon sizes of 125%, 150% and 200% scaling (20, 24, 32),
# drawn from the same shapes, so the tray never shows a stretched 16x16.
python3 - "$tmp" "$res" <<'PY'
import math, struct, sys

tmp, res = sys.argv[1], sys.argv[2]

def hexrgb(h):
    return tuple(int(h[i:i + 2], 16) for i in (1, 3, 5))

def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))

def coverage(x, y, inside, n=4):
    hits = sum(inside(x + (i + .5) / n, y + (j + .5) / n) for i in range(n) for j in range(n))
    return hits / (n * n)

GREEN = dict(shadow='#35850D', mid='#6CBC44', light='#FFFFD7', rim='#35850D',
             badge='#D3A921', badge_lo='#A67C0E', badge_hi='#F3D968', band='#FFF8D2',
             wave='#A6F6C4', edge='#35850D')
RED = dict(shadow='#6A0000', mid='#B3261A', light='#FFB39B', rim='#4A0000',
           badge='#FF0D00', badge_lo='#B80900', badge_hi='#FF6A4A', band='#FFD9CC',
           wave='#DB5A88', edge='#6A0000')

BODY_C, BODY_R = 6.5, 6.3
BADGE_C, BADGE_R = 11.6, 3.7
WAVE_C, WAVE_R = 7, (4, 7)

def body_colour(p, x, y):
    # Lit from the upper left, like a ball: diffuse ramp plus a small specular spot.
    nx, ny = (x - BODY_C) / BODY_R, (y - BODY_C) / BODY_R
    nz = math.sqrt(max(0.0, 1 - nx * nx - ny * ny))
    lx, ly, lz = -0.55, -0.55, 0.63
    d = max(0.0, nx * lx + ny * ly + nz * lz)
    hx, hy, hz = lx, ly, lz + 1
    hn = math.sqrt(hx * hx + hy * hy + hz * hz)
    s = max(0.0, (nx * hx + ny * hy + nz * hz) / hn) ** 18
    base = mix(hexrgb(p['shadow']), hexrgb(p['mid']), min(1.0, d / 0.75))
    return mix(base, hexrgb(p['light']), min(1.0, s * 1.3))

def badge_colour(p, x, y):
    dx, dy = x - BADGE_C, y - BADGE_C
    if math.hypot(dx, dy) > BADGE_R - 1.0:
        return hexrgb(p['rim'])
    if abs(dx - dy) < 1.0:          # the "crossed out" stripe
        return hexrgb(p['band'])
    t = (dx + dy) / (2 * BADGE_R) + 0.5
    lo, mid, hi = hexrgb(p['badge_lo']), hexrgb(p['badge']), hexrgb(p['badge_hi'])
    return mix(hi, mid, t * 2) if t < 0.5 else mix(mid, lo, (t - 0.5) * 2)

def quarter_arc(r, c=WAVE_C):
    # Midpoint circle, lower-right quadrant only: a clean 1px stroke with no
    # doubled pixels on the diagonal.
    pts, x, y, err = set(), r, 0, 1 - r
    while x >= y:
        pts |= {(c + x, c + y), (c + y, c + x)}
        y += 1
        if err < 0:
            err += 2 * y + 1
        else:
            x -= 1
            err += 2 * (y - x) + 1
    return pts

def render(p, muted, size=16):
    # The shapes are laid out on the 16-pixel grid; k scales them to `size`.
    k = size / 16
    img = [[None] * size for _ in range(size)]
    in_body = lambda x, y: math.hypot(x / k - BODY_C, y / k - BODY_C) <= BODY_R
    in_badge = lambda x, y: math.hypot(x / k - BADGE_C, y / k - BADGE_C) <= BADGE_R
    for y in range(size):
        for x in range(size):
            if coverage(x, y, in_body) >= 0.5:
                img[y][x] = body_colour(p, (x + .5) / k, (y + .5) / k)
            if muted and coverage(x, y, in_badge) >= 0.5:
                img[y][x] = badge_colour(p, (x + .5) / k, (y + .5) / k)
    if not muted:
        # From 24 pixels on, each stroke is two pixels wide.
        radii = [round(r * k) + extra for r in WAVE_R for extra in range(1 + (size >= 24))]
        wave = set().union(*(quarter_arc(r, round(WAVE_C * k)) for r in radii))
        # Pale strokes disappear on a light taskbar, so they sit in a dark 1px
        # outline; the outline also keeps them apart from the body's own shading.
        for x, y in wave:
            for ex in (x - 1, x, x + 1):
                for ey in (y - 1, y, y + 1):
                    if 0 <= ex < size and 0 <= ey < size and (ex, ey) not in wave:
                        img[ey][ex] = hexrgb(p['edge'])
        for x, y in wave:
            img[y][x] = hexrgb(p['wave'])
    return img

def ico_image(width, bits, header_extra, xor_rows, and_rows, colours_used=0):
    # A BITMAPINFOHEADER image; rows are bottom-up and the bitmap height counts
    # XOR and AND planes together.
    body = b''.join(reversed(xor_rows)) + b''.join(reversed(and_rows))
    bih = struct.pack('<IiiHHIIiiII', 40, width, width * 2, 1, bits, 0,
                      len(body), 0, 0, colours_used, 0)
    return width, bits, bih + header_extra + body

def ico(*images):
    # One ICONDIRENTRY per image, the images after the directory in its order.
    offset = 6 + 16 * len(images)
    entries, data = b'', b''
    for width, bits, image in images:
        entries += struct.pack('<BBBBHHII', width, width, 0, 0, 1, bits, len(image),
                               offset + len(data))
        data += image
    return struct.pack('<HHH', 0, 1, len(images)) + entries + data

def and_row(transparent_bits):
    w = len(transparent_bits)
    v = 0
    for b in transparent_bits:
        v = (v << 1) | b
    v <<= (-w) % 32
    return v.to_bytes(((w + 31) // 32) * 4, 'big')

def packed_row(indices, bits):
    # Pixels packed most significant first, each row padded to a whole DWORD.
    v = 0
    for i in indices:
        v = (v << bits) | i
    width = len(indices) * bits
    v <<= (-width) % 32
    return v.to_bytes(((width + 31) // 32) * 4, 'big')

def image_indexed(name, img):
    # Palette images at the smallest depth their colours fit, carrying only the
    # colours they use: the program stays small and every pixel stays the same.
    palette = [(0, 0, 0)]           # index 0 is what masked pixels carry
    for row in img:
        for c in row:
            if c is not None and c not in palette:
                palette.append(c)
    assert len(palette) <= 256, name
    bits = next(b for b in (1, 4, 8) if len(palette) <= 1 << b)
    pal = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    xor = [packed_row([palette.index(c) if c else 0 for c in row], bits) for row in img]
    mask = [and_row([c is None for c in row]) for row in img]
    return ico_image(len(img), bits, pal, xor, mask, len(palette))

def write_indexed(name, colours, muted):
    # The 16-pixel image first: it is the one a reader of the file meets first.
    with open(f'{res}/{name}.ico', 'wb') as f:
        f.write(ico(*(image_indexed(name, render(colours, muted, size))
                      for size in (16, 20, 24, 32))))

def write_32bpp(name, rgba, w):
    px = [rgba[i:i + 4] for i in range(0, len(rgba), 4)]
    # Antialiased strokes leave a barely visible fringe; clear it so the AND
    # mask and the alpha channel agree on where the icon ends.
    px = [p if p[3] >= 24 else b'\0\0\0\0' for p in px]
    rows = [px[y * w:(y + 1) * w] for y in range(w)]
    xor = [b''.join(bytes((p[2], p[1], p[0], p[3])) for p in row) for row in rows]
    mask = [and_row([p[3] == 0 for p in row]) for row in rows]
    with open(f'{res}/{name}.ico', 'wb') as f:
        f.write(ico(ico_image(w, 32, b'', xor, mask)))

write_indexed('enmuteon', GREEN, True)
write_indexed('enmuteoff', GREEN, False)
write_indexed('dimuteon', RED, True)
write_indexed('dimuteoff', RED, False)
with open(f'{tmp}/sonalto.rgba', 'rb') as f:
    write_32bpp('sonalto', f.read(), 32)
PY

echo "icons written to $res/"
