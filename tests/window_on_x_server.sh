#!/usr/bin/env bash
# Runs the window under a real X server, Xvfb started here when there is no
# DISPLAY: the on-screen checks and screenshot of window_on_screen, then the
# shipped program started on the photo as `make run` starts it, which must show
# its window of 1240 x 566 client pixels with the application icon in its 16, 32
# and 48 pixel images, and open the photo without a message box. A whole-number
# QT_SCALE_FACTOR multiplies those sizes and Xvfb's screen, and names the
# screenshot window-scale-N.png.
#
# window_on_x_server.sh <window_on_screen> <morvane> <photo> <library> <library folder> <artifacts>
set -euo pipefail
driver=$1 program=$2 photo=$3 library=$4 library_dir=$5 artifacts=$6
mkdir -p "$artifacts"
scale=${QT_SCALE_FACTOR:-1}
[[ $scale =~ ^[1-9][0-9]*$ ]] || { echo "QT_SCALE_FACTOR=$scale: want a whole number" >&2; exit 1; }
screenshot=$artifacts/window.png
[ "$scale" = 1 ] || screenshot=$artifacts/window-scale-$scale.png

started=()
# The X server goes last, after the clients it serves.
cleanup() {
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do
    pid=${started[i]}
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  # Xvfb picks a free display itself and writes its number to the pipe, so test
  # runs side by side never race for one. -noreset: by default the server resets
  # when its last client leaves, and a client connecting just then is refused.
  display_file=$(mktemp)
  screen_size=$((1600 * scale))x$((900 * scale))x24
  Xvfb -displayfd 3 -screen 0 "$screen_size" -nolisten tcp -noreset 3>"$display_file" 2>/dev/null &
  started+=($!)
  for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
  done
  [ -s "$display_file" ] || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(tr -d '\n' <"$display_file")"
  rm -f "$display_file"
fi
export QT_QPA_PLATFORM=xcb
# Under AddressSanitizer: libxkbcommon-x11 hands strndup a keymap name that is not
# NUL-terminated (within the length it gives), which strict string checks
# report although nothing is read beyond the length.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:strict_string_checks=0"

"$driver" "$photo" "$library" "$library_dir" "$screenshot"
echo "screenshot: $screenshot"

"$program" "$photo" &
program_pid=$!
started+=($program_pid)
# The program's own top-level windows carry its class; Qt's unmapped 1 x 1
# leader window carries only the title. The window is taken once it is viewable.
shown_window() {
  local id tree info
  tree=$(xwininfo -root -tree 2>/dev/null) || return 0
  for id in $(awk '/\("morvane" "morvane"\)/ {print $1}' <<<"$tree"); do
    info=$(xwininfo -id "$id" 2>/dev/null) || continue
    if [[ $info == *"Map State: IsViewable"* ]]; then
      echo "$id"
      return 0
    fi
  done
  return 0
}
window=""
for _ in $(seq 200); do
  window=$(shown_window)
  [ -n "$window" ] && break
  kill -0 "$program_pid" 2>/dev/null || { echo "morvane ended before showing its window" >&2; exit 1; }
  sleep 0.1
done
size=""
[ -n "$window" ] && size=$(xwininfo -id "$window" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w " x " h}')
want="$((1240 * scale)) x $((566 * scale))"
[ "$size" = "$want" ] || { echo "morvane's window: '${size:-not shown}', want $want" >&2; exit 1; }
echo "morvane shows its window: $size"

icons=$(xprop -id "$window" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | tr '\n' ' ' || true)
for side in 16 32 48; do
  want=$((side * scale))
  grep -q "Icon ($want x $want)" <<<"$icons" || { echo "morvane's icon lacks $want x $want: $icons" >&2; exit 1; }
done
echo "morvane's icon: $icons"

# A message box would be a second window of the program's class. The photo is
# opened before the program's event loop starts, so by the time its window shows,
# a box would be up within the second.
sleep 1
windows=$(xwininfo -root -tree | grep -c '("morvane" "morvane")' || true)
[ "$windows" = 1 ] || { echo "morvane shows $windows windows: a message box over the photo?" >&2; exit 1; }
echo "morvane opened the photo without a message"
