#!/usr/bin/env bash
# Regenerates the README's screenshots in docs/ from the real program: runs
# the demo (scripts/run-demo.sh) on a private Xvfb and keeps its three
# pictures as small PNGs.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/report-failures.sh"
cd "$root"

shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
bash scripts/run-demo.sh --headless --out "$shots"

mkdir -p docs
# demo's name | name in docs/
for pair in address-dialog:address-dialog progress:progress-window message:completion-message; do
    # Few colours and no metadata: the pictures stay a few kilobytes and
    # change only when what they show changes.
    convert "$shots/${pair%%:*}.png" -strip -define png:exclude-chunks=date,time \
        "PNG8:docs/${pair##*:}.png"
done
ls -l docs/*.png
