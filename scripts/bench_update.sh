#!/usr/bin/env bash
# Benchmark of the content update's local work under Wine, beside the GNU
# tools on the same data:
#   HashFile over a 1 GiB file            vs  md5sum
#   LZMA decode + MD5 of an ".lzma" object  vs  xz -d | md5sum
# Data is made once in BENCH_DIR (default: $TMPDIR/vantorel-bench).
# BUILD_DIR overrides "build" (X64_BUILD_DIR its 64-bit tree); BENCH_THREADS
# the decode thread count (default: the number of processors).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
data=${BENCH_DIR:-${TMPDIR:-/tmp}/vantorel-bench}
threads=${BENCH_THREADS:-$(nproc)}
x64=${X64_BUILD_DIR:-$build/x64}
bench="$x64/bench_update.exe"

cmake --build "$x64" --target bench_update >/dev/null
export TEST_ROOT="$build"
source "$here/scripts/wine_env.sh"
wine_env_prepare

mkdir -p "$data"
hashed="$data/hash.bin"
plain="$data/content.bin"
packed="$data/content.bin.lzma"
if [ ! -f "$hashed" ]; then
  echo "making $hashed (1 GiB)"
  head -c $((1 << 30)) /dev/urandom >"$hashed"
fi
if [ ! -f "$packed" ]; then
  # Mixed real-world content: the toolchain's libraries and headers.
  echo "making $packed (256 MiB of libraries and headers)"
  tar cf - /usr/lib/gcc /usr/x86_64-w64-mingw32 /usr/include /usr/lib/x86_64-linux-gnu 2>/dev/null |
    head -c $((256 << 20)) >"$plain" || true
  xz --format=lzma -6 -c "$plain" >"$packed.tmp"
  # xz writes "unknown" as the decoded size; the objects carry the exact size.
  python3 - "$packed.tmp" "$(stat -c %s "$plain")" <<'EOF'
import struct, sys
path, size = sys.argv[1], int(sys.argv[2])
with open(path, "r+b") as f:
    f.seek(5)
    f.write(struct.pack("<Q", size))
EOF
  mv "$packed.tmp" "$packed"
fi

rate() { # bytes seconds
  python3 -c "import sys; print(f'{int(sys.argv[1]) / float(sys.argv[2]) / 1e6:.1f}')" "$1" "$2"
}
timed() { # command... ; prints seconds
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  python3 -c "import sys; print(f'{float(sys.argv[2]) - float(sys.argv[1]):.3f}')" "$start" "$end"
}
best() { sort -n | head -1; }

hash_size=$(stat -c %s "$hashed")
plain_size=$(stat -c %s "$plain")
cat "$hashed" "$packed" >/dev/null # into the page cache

echo "== HashFile over $(($hash_size >> 20)) MiB"
md5_s=$(for _ in 1 2 3; do timed md5sum "$hashed"; done | best)
echo "md5sum:   $md5_s s  $(rate "$hash_size" "$md5_s") MB/s"
hash_out=$(wine "$bench" hash "$(winepath -w "$hashed")" 3)
echo "$hash_out" | sed 's/^/HashFile: /'
hash_s=$(echo "$hash_out" | awk '{print $3}' | best)
echo "HashFile / md5sum: $(python3 -c "print(f'{$md5_s / $hash_s:.2f}x')")"
echo "digests:  $(md5sum "$hashed" | cut -c1-32 | tr a-f A-F) (md5sum)"

echo "== LZMA decode + MD5 of $(($plain_size >> 20)) MiB ($(($(stat -c %s "$packed") >> 20)) MiB packed)"
xz_s=$(for _ in 1 2 3; do timed bash -c "xz -d --format=lzma -c '$packed' | md5sum"; done | best)
echo "xz -d | md5sum:  $xz_s s  $(rate "$plain_size" "$xz_s") MB/s"
dec_out=$(wine "$bench" decode "$(winepath -w "$packed")" 1 3)
echo "$dec_out" | sed 's/^/1 thread:  /'
dec_s=$(echo "$dec_out" | awk '{print $5}' | best)
echo "decode+MD5 / (xz -d | md5sum): $(python3 -c "print(f'{$xz_s / $dec_s:.2f}x')")"
if [ "$threads" -gt 1 ]; then
  wine "$bench" decode "$(winepath -w "$packed")" "$threads" 1 | sed "s/^/$threads threads: /"
fi
echo "digests:  $(xz -d --format=lzma -c "$packed" | md5sum | cut -c1-32 | tr a-f A-F) (xz -d | md5sum)"
