# ./dev package: the 32-bit release as dist/VELODvr-1.0.0.1-win32.zip.
# Sourced by ./dev, which provides ensure_packages and build.
ensure_packages
build i686 VELODvr
mkdir -p "$ROOT/dist"
stage=$(mktemp -d)
cp "$BUILD/i686/app/VELODvr.exe" "$stage/VELODvr.exe"
i686-w64-mingw32-strip "$stage/VELODvr.exe"
cp "$ROOT/tools/release-readme.txt" "$stage/README.txt"
rm -f "$ROOT/dist/VELODvr-1.0.0.1-win32.zip"
(cd "$stage" && zip -q -X "$ROOT/dist/VELODvr-1.0.0.1-win32.zip" VELODvr.exe README.txt)
rm -rf "$stage"
ls -l "$ROOT/dist/VELODvr-1.0.0.1-win32.zip"
