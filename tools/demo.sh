#!/usr/bin/env bash
# Sets up this machine, builds the system and shows it working: two display
# servers, each in a network namespace of its own joined to this one by a
# veth pair (198.18.1.2 and 198.18.2.2), each drawing on a private X server,
# and the console on your display with a small demo project (one device per
# server, a generated picture and clip on a layer) that connects to both,
# sends them the media and plays. Nothing reaches a real interface.
#
# Without a display the console runs on a private X server too, and a
# screenshot of it is saved as build/demo/console.png.
#
#   tools/demo.sh            everything above; Ctrl+C or closing the console ends it
#   SV_DEMO_SECONDS=N        without a display: how long to wait for the servers (default 120)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

if [ -z "${SV_DEMO_INSIDE:-}" ]; then
  tools/install-deps.sh
  cmake -S . -B build -G Ninja >/dev/null
  cmake --build build -j "$(nproc)" --target solvane kestrane kestrane_demo_project
  # The rest runs in a private network namespace of its own.
  export SV_DEMO_INSIDE=1
  exec tools/netns-run "$0" "$@"
fi

run=$here/build/demo
rm -rf "$run"
mkdir -p "$run/media" "$run/config"
servers=(1 2)

cleanup() {
  set +e
  for k in "${servers[@]}"; do
    if [ -f "$run/server$k.pid" ]; then
      pid=$(cat "$run/server$k.pid")
      kill -TERM "$pid" 2>/dev/null
      for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -KILL "$pid" 2>/dev/null
    fi
    tools/netns-veth delete "$k" 2>/dev/null
  done
}
trap cleanup EXIT

echo "Making the demo media."
ffmpeg -v error -y -f lavfi -i "testsrc2=size=640x360:rate=25" -t 10 -pix_fmt yuv420p "$run/media/clip.mp4"
ffmpeg -v error -y -f lavfi -i "smptebars=size=640x360" -frames:v 1 "$run/media/picture.png"
ffmpeg -v error -y -i "$run/media/clip.mp4" -frames:v 1 "$run/media/clip.mp4.png"

ips=()
for k in "${servers[@]}"; do
  tools/netns-veth create "$k"
  mkdir -p "$run/server$k"
  # The pid file names the display server itself, so it can be ended
  # cleanly; the display file names its private X server, for screenshots.
  tools/netns-veth start "$k" tools/xvfb-test bash -c 'echo $$ >"$0"; echo "$DISPLAY" >"$0.display"; exec "$@"' \
    "$run/server$k.pid" "$here/build/bin/solvane" --base-dir "$run/server$k"
  ips+=("198.18.$k.2")
done
for ip in "${ips[@]}"; do
  echo "Waiting for the display server at $ip."
  ok=""
  for _ in $(seq 600); do
    if timeout 1 bash -c "</dev/tcp/$ip/30100" 2>/dev/null; then ok=1; break; fi
    sleep 0.1
  done
  [ -n "$ok" ] || { echo "The display server at $ip did not start; see $run." >&2; exit 1; }
done

export XDG_CONFIG_HOME=$run/config
"$here/build/bin/kestrane_demo_project" "$run/demo.vadra" "$run/media/picture.png" "$run/media/clip.mp4" "${ips[@]}"

# "start": the console opens the project of its settings, connects and plays.
if [ -n "${DISPLAY:-}" ]; then
  echo "Starting the console on $DISPLAY. Close it to end the demo."
  "$here/build/bin/kestrane" start
  exit 0
fi

echo "No display: the console runs on a private X server; its screenshot goes to $run/console.png."
export SV_DEMO_RUN=$run
tools/xvfb-test bash -c '
  "$0" start >"$SV_DEMO_RUN/console.log" 2>&1 &
  console=$!
  # Until both servers hold the media (the console connected and sent them).
  for _ in $(seq $(( ${SV_DEMO_SECONDS:-120} * 2 ))); do
    if [ -f "$SV_DEMO_RUN/server1/media/clip.mp4" ] && [ -f "$SV_DEMO_RUN/server2/media/clip.mp4" ]; then break; fi
    sleep 0.5
  done
  sleep 2
  ffmpeg -v error -y -f x11grab -video_size 1920x1080 -i "$DISPLAY" -frames:v 1 "$SV_DEMO_RUN/console.png"
  kill "$console" 2>/dev/null
  wait "$console" 2>/dev/null || true
' "$here/build/bin/kestrane"
for k in "${servers[@]}"; do
  if [ -f "$run/server$k.pid.display" ]; then
    # Its X server listens only inside its namespace.
    tools/netns-veth exec "$k" ffmpeg -v error -y -f x11grab -i "$(cat "$run/server$k.pid.display")" \
      -frames:v 1 "$run/server$k.png" || true
  fi
  if [ -f "$run/server$k/media/clip.mp4" ]; then
    echo "Display server 198.18.$k.2 holds the demo media; its screen: $run/server$k.png."
  else
    echo "Display server 198.18.$k.2 did not get the demo media; see $run/console.log." >&2
  fi
done
echo "Screenshot: $run/console.png"
