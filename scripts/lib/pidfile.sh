# Sourced by the scripts that start a private daemon and remember it by a pid
# file. stop_by_pidfile FILE: ends the process named in FILE (if any), waits up
# to 5 s for it to go, and removes FILE.
stop_by_pidfile() {
  local file=$1 pid
  [[ -f $file ]] || return 0
  pid=$(cat "$file")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  rm -f "$file"
}
