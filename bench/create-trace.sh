#!/usr/bin/env bash
# Times `hullwright-cli create --trace` over generated sprites (1,000 by default,
# 64 to 512 pixels a side, the same ones on every run) on one thread and on two,
# against `create` without --trace, which only decodes the images and writes
# the project. Each figure is the best of three runs.
# Usage: bench/create-trace.sh [HULLWRIGHT_CLI] [COUNT]
# Build the program in Release for figures that mean anything (bench/run.sh
# makes build-bench/; the default is build/bin/hullwright-cli).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="$(realpath "${1:-$root/build/bin/hullwright-cli}")"
count="${2:-1000}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$count" <<'PY'
# Sprites of one to three blobs with rough edges, some with a hole, drawn a row
# at a time and written as 8-bit RGBA PNG.
import random, struct, sys, zlib

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

def sprite(rng, path):
    w, h = rng.randint(64, 512), rng.randint(64, 512)
    clear, solid = b"\0\0\0\0", bytes((rng.randrange(256), rng.randrange(256), rng.randrange(256), 255))
    blobs = rng.randint(1, 3)
    band = h // blobs
    rows = []
    for b in range(blobs):
        top = b * band
        cx, rx = rng.uniform(0.35, 0.65) * w, rng.uniform(0.2, 0.45) * w
        ry = band * rng.uniform(0.3, 0.48)
        cy = top + band / 2
        hole = rng.random() < 0.4
        for y in range(top, top + band if b < blobs - 1 else h):
            t = (y + 0.5 - cy) / ry
            if abs(t) >= 1:
                rows.append(clear * w)
                continue
            half = rx * (1 - t * t) ** 0.5 + rng.uniform(-1.5, 1.5)
            left, right = max(0, int(cx - half)), min(w, int(cx + half))
            inner = int(half * 0.4) if hole and abs(t) < 0.4 else 0
            if right <= left:
                rows.append(clear * w)
            elif inner:
                mid = int(cx)
                a, c = max(left, mid - inner), min(right, mid + inner)
                rows.append(clear * left + solid * (a - left) + clear * (c - a) + solid * (right - c) + clear * (w - right))
            else:
                rows.append(clear * left + solid * (right - left) + clear * (w - right))
    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))
    return w * h

rng = random.Random(20261207)
work, count = sys.argv[1], int(sys.argv[2])
pixels = sum(sprite(rng, "%s/sprite%04d.png" % (work, i)) for i in range(count))
print("%d sprites, %.1f megapixels in all" % (count, pixels / 1e6))
PY

export QT_QPA_PLATFORM=offscreen
images=("$work"/sprite*.png)
best() {  # seconds of the fastest of three runs of the command
  local fastest=""
  for _ in 1 2 3; do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    fastest=$(python3 -c "a, b, f = $start, $end, '$fastest'; print(min(b - a, float(f)) if f else b - a)")
  done
  echo "$fastest"
}
create() { "$cli" create "$work/out.hws" --exporters "$root/exporters" --exporter generic-json "$@" "${images[@]}"; }

decode=$(best create --jobs 1)
one=$(best create --trace --jobs 1)
two=$(best create --trace --jobs 2)
holes=$(best create --trace --holes --jobs 2)
python3 - "$count" "$decode" "$one" "$two" "$holes" <<'PY'
import sys
n = int(sys.argv[1]); decode, one, two, holes = map(float, sys.argv[2:])
print("create, decoding only, 1 thread : %7.2f s  %6.2f ms an image" % (decode, decode / n * 1000))
print("create --trace, 1 thread        : %7.2f s  %6.2f ms an image (%.2f x decoding)" % (one, one / n * 1000, one / decode))
print("create --trace, 2 threads       : %7.2f s  %6.2f ms an image" % (two, two / n * 1000))
print("create --trace --holes, 2 threads: %6.2f s  %6.2f ms an image" % (holes, holes / n * 1000))
print("1 thread / 2 threads            : %7.2f" % (one / two))
PY
