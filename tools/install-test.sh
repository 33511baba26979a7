#!/usr/bin/env bash
# Installs a build into a temporary prefix, starts the installed programs and
# builds the two Debian packages. Run inside a network namespace of its own
# (tools/netns-run): both programs bind the system's fixed ports.
#   tools/install-test.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: install-test.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Waits until something listens on a TCP port of this namespace.
listening() {
  local port=$1 pid=$2
  for _ in $(seq 600); do
    if ss -Hltn "sport = :$port" | grep -q .; then return 0; fi
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
lib=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
lib=${lib:-lib}
for f in bin/solvane bin/kestrane share/kestrane/defaultpic.jpg share/applications/kestrane.desktop \
         "$lib/solvane/liblintra.so" "$lib/solvane/libvelmar.so" "$lib/kestrane/liblintra.so" "$lib/kestrane/libvelmar.so"; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
# The installed programs must not lean on the build tree.
for f in "$prefix/bin/solvane" "$prefix/bin/kestrane"; do
  runpath=$(readelf -d "$f" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  case "$runpath" in
    '$ORIGIN/../'*) ;;
    *) fail "$f has run path '$runpath'" ;;
  esac
  if env -u LD_LIBRARY_PATH ldd "$f" | grep -E "not found|$build"; then fail "$f does not find its libraries in the prefix"; fi
done

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
mkdir -p "$HOME"

# The installed display server on a private X server answers a text command.
"$here/tools/xvfb-test" "$prefix/bin/solvane" >"$work/solvane.log" 2>&1 &
pids+=($!)
listening 30101 "${pids[0]}" || { cat "$work/solvane.log" >&2; fail "the installed solvane does not listen"; }
exec 3<>/dev/tcp/127.0.0.1/30101
printf 'getframe\r\n' >&3
answer=""
read -r -t 20 -N 4 answer <&3 || true
exec 3>&-
[ -n "$answer" ] || fail "the installed solvane does not answer getframe"
echo "installed solvane answers getframe: $answer"
kill -TERM "${pids[0]}"; wait "${pids[0]}" 2>/dev/null || true
pids=()

# The installed console on the demo project comes up and opens its command port.
ffmpeg -v error -y -f lavfi -i "testsrc2=size=320x180:rate=25" -t 2 -pix_fmt yuv420p "$work/clip.mp4"
ffmpeg -v error -y -f lavfi -i "smptebars=size=320x180" -frames:v 1 "$work/picture.png"
# A build tool: in a sanitized build, what it leaves at exit does not matter.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
  "$build/bin/kestrane_demo_project" "$work/demo.vadra" "$work/picture.png" "$work/clip.mp4" 127.0.0.2 \
  >"$work/demo.log" 2>&1 || { cat "$work/demo.log" >&2; fail "the demo project was not written"; }
QT_QPA_PLATFORM=offscreen "$prefix/bin/kestrane" start >"$work/kestrane.log" 2>&1 &
pids+=($!)
listening 30101 "${pids[0]}" || { cat "$work/kestrane.log" >&2; fail "the installed kestrane did not come up"; }
echo "installed kestrane came up on the demo project"
kill -TERM "${pids[0]}"; wait "${pids[0]}" 2>/dev/null || true
pids=()

# The two packages, their dependencies and contents.
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
server_deb=$(ls "$work"/pkg/solvane_*.deb) || fail "no solvane package"
console_deb=$(ls "$work"/pkg/kestrane_*.deb) || fail "no kestrane package"
dpkg-deb --field "$server_deb" Depends | tee "$work/server.depends"
dpkg-deb --field "$console_deb" Depends | tee "$work/console.depends"
for d in libgl1-mesa-dri libqt5gui5 libavcodec libc6; do grep -q "$d" "$work/server.depends" || fail "solvane does not depend on $d"; done
for d in fonts-wqy-microhei libqt5widgets5 libc6; do grep -q "$d" "$work/console.depends" || fail "kestrane does not depend on $d"; done
dpkg-deb --contents "$server_deb" >"$work/server.contents"
dpkg-deb --contents "$console_deb" >"$work/console.contents"
grep -q '\./usr/bin/solvane$' "$work/server.contents" || fail "solvane package lacks the program"
grep -q "/usr/lib/.*solvane/liblintra.so" "$work/server.contents" || fail "solvane package lacks its libraries"
if grep -q 'kestrane' "$work/server.contents"; then fail "solvane package holds console files"; fi
for f in '\./usr/bin/kestrane$' 'usr/share/kestrane/defaultpic.jpg' 'usr/share/applications/kestrane.desktop'; do
  grep -q "$f" "$work/console.contents" || fail "kestrane package lacks $f"
done
echo "packages: $(basename "$server_deb") $(basename "$console_deb")"
