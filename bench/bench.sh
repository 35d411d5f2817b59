# ./dev bench [--quick | --runs N] [--seconds N] [--plot]: the benchmarks of bench/bench.cpp
# on the shipped i686 build under 32-bit Wine, in a copy of the test prefix on
# an Xvfb of their own; prints the table and appends it to
# build/bench/results.csv (date, commit, figure, median, base, ratio).
# --plot draws the ratios over the recorded commits into build/bench/trend.png.
# VELO_BENCH_FIGURES="startup viewer" runs only those figures.
# Sourced by ./dev (ROOT, BUILD, its functions).
bench_main() {
  local args=() plot=0 a
  for a in "$@"; do [ "$a" = --plot ] && plot=1 || args+=("$a"); done
  ensure_packages
  mkdir -p "$BUILD/bench"
  if ((plot)); then
    /usr/bin/python3 "$ROOT/bench/plot.py" "$BUILD/bench/results.csv" "$BUILD/bench/trend.png"
    return
  fi
  build i686 bench
  trap stop_all EXIT
  ensure_prefix
  start_xvfb
  export WINEPREFIX=$BUILD/bench-prefix
  rm -rf "$WINEPREFIX"
  cp -a "$BUILD/wineprefix-i686" "$WINEPREFIX"
  trap 'stop_all; WINEPREFIX=$BUILD/bench-prefix /usr/lib/wine/wineserver -k; rm -rf "$BUILD/bench-prefix"' EXIT
  # One wineserver for all runs, with the prefix's services up: no timed run
  # pays for starting them.
  /usr/lib/wine/wineserver -p
  /usr/lib/wine/wine cmd /c exit >/dev/null 2>&1 || true
  local out rc=0 figure commit
  out=$(mktemp)
  for figure in ${VELO_BENCH_FIGURES:-install startup viewer video}; do
    log "$figure"
    /usr/lib/wine/wine "$BUILD/i686/bench/bench.exe" "$figure" "${args[@]}" | tr -d '\r' | tee -a "$out" || rc=1
  done
  # The reference for the video figures: Debian's ffmpeg decoding the same
  # stream natively, ten times over (1000 frames), CPU time over all its threads.
  local ours ref long=$BUILD/bench/sd-long.h264
  ours=$(sed -n 's/^video|//p' "$out")
  for _ in 1 2 3 4 5 6 7 8 9 10; do cat "$BUILD/i686/streams/sd.h264"; done >"$long"
  ref=$(ffmpeg -hide_banner -nostdin -benchmark -i "$long" -f null - 2>&1 | tr '\r' '\n' |
    awk '/^frame=/ {gsub(/frame= */, ""); split($0, f, " "); n = f[1]}
         /bench: utime/ {split($0, t, /[= s]+/); print (t[3] + t[5]) * 1000 / n}' | tail -1)
  if [ -n "$ours" ] && [ -n "$ref" ]; then
    echo "value|ffmpeg -benchmark, CPU time per frame of the same stream|$(printf %.2f "$ref") ms" >>"$out"
    echo "value|CPU time per frame, viewer / ffmpeg|$(awk -v a="$ours" -v b="$ref" 'BEGIN {printf "%.1f", a / b}')" >>"$out"
  fi
  commit=$(git -C "$ROOT" rev-parse --short HEAD)$(git -C "$ROOT" diff --quiet HEAD -- . ':!build' || echo +)
  [ -f "$BUILD/bench/results.csv" ] || echo "date,commit,figure,median_ms,base_ms,base,ratio" >"$BUILD/bench/results.csv"
  log "figures (i686 under 32-bit Wine; medians, each base measured in the same run)"
  printf '%-46s %10s %10s %-6s %6s %s\n' figure median base kind ratio target
  local name median base kind ratio target
  while IFS='|' read -r _ name median base kind ratio target; do
    printf '%-46s %10s %10s %-6s %6s <= %s\n' "$name" "$median" "$base" "$kind" "$ratio" "$target"
    # CSV: quotes inside a quoted field are doubled ("Init").
    echo "$(date -u +%FT%TZ),$commit,\"${name//\"/\"\"}\",$median,$base,$kind,$ratio" >>"$BUILD/bench/results.csv"
  done < <(grep '^figure|' "$out" || true)
  grep '^value|' "$out" | cut -d'|' -f2- | tr '|' ' ' || true
  rm -f "$out"
  ((rc == 0)) || log "a benchmark failed (see above)"
  return $rc
}

bench_main "$@"
