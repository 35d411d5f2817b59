#!/usr/bin/env bash
# Takes the screenshots in docs/: the start-up dialog in its three languages,
# the viewer connected to a recorder (a listener on loopback), and the
# control as hosted before the viewer hides its language buttons, and the
# viewer playing four RTSP channels from the test server.
# Needs a built tree (./dev test) and python3 for the listener and server.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" LC_ALL=zh_CN.UTF-8
WINE=/usr/lib/wine/wine64
EXE=$BUILD/x86_64/app/VELODvr.exe
SHOW=$BUILD/x86_64/tools/velo_show.exe

work=$(mktemp -d)
cp -a "$BUILD/wineprefix-x86_64" "$work/prefix"
export WINEPREFIX=$work/prefix
mkfifo "$work/fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/fifo" >/dev/null 2>&1 &
xvfb=$!
read -r n <"$work/fifo"
export DISPLAY=:$n
python3 -c 'import socket,time
s=socket.socket(); s.bind(("127.0.0.1",37777)); s.listen(8)
conns=[]
end=time.time()+120
s.settimeout(1)
while time.time()<end:
    try: conns.append(s.accept()[0])
    except Exception: pass' &
listener=$!

# shot NAME CROP [velo_show options...]: one run in a fresh folder.
shot() {
  local name=$1 crop=$2; shift 2
  local dir=$work/$name
  mkdir -p "$dir"
  [ -n "${LANG_INDEX:-}" ] && printf '[Language]\r\nLang=%s\r\n' "$LANG_INDEX" >"$dir/QlUserCfg.ini"
  "$WINE" "$SHOW" "Z:$EXE" "Z:$dir" "$@" >/dev/null &
  local pid=$!
  for _ in $(seq 1 300); do [ -f "$dir/.velo-ready" ] && break; sleep 0.2; done
  sleep "${SETTLE:-0.5}"
  import -window root -crop "$crop" +repage "$ROOT/docs/$name.png"
  touch "$dir/.velo-close"
  wait "$pid" || true
  echo "docs/$name.png"
}

LANG_INDEX=0 shot startup-english 530x580+375+222
LANG_INDEX=1 shot startup-simplified 530x580+375+222
LANG_INDEX=2 shot startup-traditional 530x580+375+222
LANG_INDEX= shot viewer 1280x1024+0+0 --viewer 127.0.0.1 37777
LANG_INDEX= shot viewer-control 1280x1024+0+0 --viewer 127.0.0.1 37777 --language-windows

# Four channels: two moving test pictures and two colours.
streams=$BUILD/x86_64/streams
python3 "$ROOT/tests/servers/rtsp_server.py" --port-file "$work/rtsp.port" --stream "/ch1=$streams/sd.h264" \
  --stream "/ch2=$streams/moving.h264" --stream "/ch3=$streams/green.h264" --stream "/ch4=$streams/blue.h264" &
for _ in $(seq 1 100); do [ -s "$work/rtsp.port" ] && break; sleep 0.1; done
read -r rtsp control <"$work/rtsp.port"
exec 5<>"/dev/tcp/127.0.0.1/$control"  # the server lives while this is open
SETTLE=4 LANG_INDEX= shot viewer-video 1280x1024+0+0 --viewer "rtsp://127.0.0.1:$rtsp/ch{ch}" 554
exec 5>&-

kill "$listener" 2>/dev/null || true
/usr/lib/wine/wineserver -k
kill "$xvfb" 2>/dev/null || true
rm -rf "$work"
