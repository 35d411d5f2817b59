# ./dev soak: the long form of the soak run (tests/ui/soak_test.cpp). Sourced
# by ./dev, whose functions and variables it uses.
#
# 1,000 language switches (by button and by arrow key), 1,000 hover/press
# cycles over the skin buttons, 200 additions and 200 deletions of
# address-book entries and 50 viewer openings, each phase with the kernel
# handles, GDI objects, windows, menus and icons of the program counted
# before and after. The program runs in a fresh copy of the test prefix on a
# display of its own (tests/ui/fresh-prefix); the largest drifts are printed
# at the end, and the run fails when any count did not come back.
ensure_packages
log "building x86_64"
build x86_64 VELODvr velo_probe quality_test
start_xvfb
trap stop_all EXIT
ensure_prefix
log "soak, long form"
soak_log=$BUILD/soak.log
soak_started=$(date +%s)
soak_rc=0
VELO_SOAK=long "$ROOT/tests/ui/fresh-prefix" "$BUILD/x86_64/tests/ui/quality_test.exe" \
  --gtest_filter='Measurement.CountsFollowObjectsAsTheyComeAndGo:Soak.*' >"$soak_log" 2>&1 || soak_rc=$?
log "results ($(($(date +%s) - soak_started)) s, full output in $soak_log)"
grep -E '^(soak:|  (start|end|first|largest)|\[ +(OK|FAILED) +\])' "$soak_log" || true
if [ "$soak_rc" != 0 ]; then
  grep -E -A6 'Failure' "$soak_log" | head -60 || true
  exit 1
fi
