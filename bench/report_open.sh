#!/usr/bin/env bash
# How long headless Chromium takes to open the run report of a 64 MiB image (8192 blocks):
#   opened_ms   from the start of navigation to the page loaded, styled and laid out, as the
#               page itself measures it;
#   shown_ms    the browser's whole time to take a screenshot of the page (painted), less its
#               time for an empty page.
# Medians of RUNS opens.  Usage: bench/report_open.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/report_bench" page "$work/report.html"
python3 - "$work/report.html" "$work/timed.html" <<'PY'
import sys
page = open(sys.argv[1], encoding="utf-8").read()
probe = """<script>addEventListener('load', () => {
  document.body.getBoundingClientRect();
  const out = document.createElement('pre');
  out.id = 'opened';
  out.textContent = performance.now().toFixed(0);
  document.body.appendChild(out);
});</script>
"""
open(sys.argv[2], "w", encoding="utf-8").write(page.replace("</body>", probe + "</body>"))
PY
echo '<!DOCTYPE html><html><body></body></html>' > "$work/empty.html"

browser=(chromium --headless --no-sandbox --disable-gpu --no-first-run --hide-scrollbars
  --user-data-dir="$work/profile" --window-size=1000,1400)
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
now_ms() { date +%s%3N; }
shot_ms() {
  local start
  start=$(now_ms)
  "${browser[@]}" --screenshot="$work/shot.png" "file://$1" > /dev/null 2>&1
  echo $(($(now_ms) - start))
}

"${browser[@]}" --dump-dom "file://$work/empty.html" > /dev/null 2>&1  # the profile made once
opened=$(for _ in $(seq "$runs"); do
  "${browser[@]}" --dump-dom "file://$work/timed.html" 2> /dev/null |
    sed -n 's/.*<pre id="opened">\([0-9]*\)<\/pre>.*/\1/p'
done | median)
empty=$(for _ in $(seq "$runs"); do shot_ms "$work/empty.html"; done | median)
page=$(for _ in $(seq "$runs"); do shot_ms "$work/report.html"; done | median)
echo "page_bytes $(stat -c %s "$work/report.html")"
echo "opened_ms $opened"
echo "shown_ms $((page - empty)) (browser $page ms, empty page $empty ms)"
