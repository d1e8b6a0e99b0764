#!/usr/bin/env bash
# Makes the carving samples of documents and archives under tests/data/carve/: ZIP files and
# ZIP-based documents, PDF, SQLite, GZIP (python3), 7z (7z from p7zip-full) and RAR (built byte
# by byte: no tool here writes RAR archives).
set -euo pipefail
cd "$(dirname "$0")/../.."
out=tests/data/carve
mkdir -p "$out"
python3 tools/carve-samples/archives.py "$out"
if command -v 7z >/dev/null; then
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    seq 1 2000 >"$tmp/numbers.txt"
    printf 'carving sample\n' >"$tmp/note.txt"
    touch -d '2024-05-01 12:30:00' "$tmp/numbers.txt" "$tmp/note.txt"
    rm -f "$out/sample.7z"
    (cd "$tmp" && 7z a -bd -mx=5 sample.7z numbers.txt note.txt >/dev/null)
    cp "$tmp/sample.7z" "$out/sample.7z"
fi
