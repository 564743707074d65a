#!/usr/bin/env bash
# Makes the metadata fuzzer's seed corpus from tests/data/samples: each sample cut after its scan
# header (the read path never looks further), so the seeds stay small and fast.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-$here/../build/fuzz/corpus/metadata}"
mkdir -p "$out"
python3 - "$here/../tests/data/samples" "$out" <<'PY'
import os, sys
src, dst = sys.argv[1], sys.argv[2]
for name in sorted(os.listdir(src)):
    if not name.lower().endswith(('.jpg', '.jpeg')):
        continue
    data = open(os.path.join(src, name), 'rb').read()
    pos, end = 2, len(data)
    while pos + 4 <= len(data):
        while pos < len(data) and data[pos] == 0xFF and pos + 1 < len(data) and data[pos + 1] == 0xFF:
            pos += 1
        marker = data[pos + 1]
        length = data[pos + 2] << 8 | data[pos + 3]
        if marker == 0xDA:
            end = pos + 2 + length + 64
            break
        pos += 2 + length
    open(os.path.join(dst, name), 'wb').write(data[:min(end, len(data))])
PY
echo "$out"
