# ./dev bench [--quick | --runs N]: builds the benchmark programs, runs them
# in full (10 timed runs of everything, or as asked) on an Xvfb of their own
# in a copy of the test prefix, and prints the table of figures.
#
# Sourced by ./dev: ROOT, BUILD, WINE, WINEPREFIX and its functions
# (ensure_packages, build, start_xvfb, stop_all, ensure_prefix, log) are
# there. Everything started here is stopped here.

bench_main() {
  local args=("$@")
  ensure_packages
  log "building the program and the benchmarks (x86_64), and the i686 program for its size"
  build x86_64 VELODvr bench_floor bench_startup bench_viewer bench_install bench_sizes bench_skin_paint
  build i686 VELODvr

  start_xvfb
  trap stop_all EXIT
  ensure_prefix
  # The benchmarks install, remove and reinstall the control: they work in
  # a copy, and the test prefix stays as the tests expect it.
  local base=$WINEPREFIX
  export WINEPREFIX=$BUILD/bench-prefix
  rm -rf "$WINEPREFIX"
  cp -a "$base" "$WINEPREFIX"
  trap 'stop_all; rm -rf "$BUILD/bench-prefix"' EXIT
  # One wineserver for all runs, with the prefix's services already up:
  # no timed run pays for starting them.
  /usr/lib/wine/wineserver -p
  "$WINE" cmd /c exit >/dev/null 2>&1 || true
  sleep 2

  local dir=$BUILD/x86_64/bench out rc=0 b
  out=$(mktemp)
  for b in bench_startup bench_viewer bench_install; do
    log "$b"
    "$WINE" "$dir/$b.exe" "${args[@]}" | tr -d '\r' | tee -a "$out" || rc=1
  done
  log "bench_sizes"
  "$WINE" "$dir/bench_sizes.exe" "Z:$BUILD/i686/app/VELODvr.exe" "Z:$BUILD/x86_64/app/VELODvr.exe" |
    tr -d '\r' | tee -a "$out" || rc=1
  log "bench_skin_paint"
  "$WINE" "$dir/bench_skin_paint.exe" | tr -d '\r' | tail -n 1 || rc=1

  log "figures (x86_64 under wine64; each time a median, each floor measured in the same run)"
  printf '%-56s %-36s %-12s %-6s %s\n' "figure" "value" "floor" "ratio" "target"
  local name value floor ratio target
  while IFS='|' read -r _ name value floor ratio target; do
    printf '%-56s %-36s %-12s %-6s %s\n' "$name" "$value" "$floor" "$ratio" "$target"
  done < <(grep '^figure|' "$out" || true)
  rm -f "$out"
  ((rc == 0)) || log "a benchmark failed (see above)"
  return $rc
}

bench_main "$@"
