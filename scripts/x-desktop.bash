# x-desktop.bash - sourced by the scripts that show the program on a private X
# display: a work folder, the processes to end on exit, and Xvfb with openbox.
#
#   source scripts/x-desktop.bash
#   x_work=$(mktemp -d ...); x_desktop_start :97 1000x620x24
#
# Processes started here (and any the caller adds to x_pids) are ended in
# reverse order on exit, then x_work is removed.

x_pids=()
x_work=
x_desktop_cleanup() {
  local i
  for ((i = ${#x_pids[@]} - 1; i >= 0; i--)); do
    kill "${x_pids[i]}" 2>/dev/null || true
    wait "${x_pids[i]}" 2>/dev/null || true
  done
  if [ -n "$x_work" ]; then rm -rf "$x_work"; fi
}
trap x_desktop_cleanup EXIT

# Starts Xvfb on DISPLAY with one screen of GEOMETRY and openbox on it, logs in
# $x_work, and exports DISPLAY once the server answers.
x_desktop_start() { # DISPLAY GEOMETRY
  Xvfb "$1" -screen 0 "$2" -nolisten tcp >"$x_work/xvfb.log" 2>&1 &
  x_pids+=($!)
  export DISPLAY=$1
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  openbox >"$x_work/openbox.log" 2>&1 &
  x_pids+=($!)
}
