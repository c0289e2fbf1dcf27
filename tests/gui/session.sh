# Shared by the GUI tests and scripts/screenshot (sourced, not run): a private X server and one
# persistent wineserver in a Wine prefix of the caller's own. Every Wine command runs under
# timeout and writes to files: Wine's background services inherit the first process's output,
# and a pipe they held would never close.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-setup"
# The driver and the program: wine64 hands a 32-bit program on to 32-bit Wine by itself.
wine=$wine64
xvfb_pid=

# Starts Xvfb on a free display and exports DISPLAY. Returns non-zero when none starts.
start_xvfb() {
  local display
  for display in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] && continue
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    xvfb_pid=$!
    local tries
    for tries in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$display" ] && { export DISPLAY=":$display"; return 0; }
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.05
    done
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
  done
  return 1
}

# Makes the Wine prefix WINEPREFIX on first use and serves it (scripts/wine-setup), after ending
# whatever an earlier, failed session left running in it.
start_wine() {
  export WINEPREFIX
  [ -d "$WINEPREFIX" ] && wine_stop
  wine_setup "$WINEPREFIX"
}

# Ends every Wine process of the prefix and the X server.
stop_session() {
  [ -n "${WINEPREFIX:-}" ] && timeout 30 "$wineserver" -k >/dev/null 2>&1
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
  fi
}

# The Wine path of a Linux path: Z:\ is the Linux root.
winpath() {
  local path=${1//\//\\}
  printf 'Z:%s' "$path"
}

# Runs the test driver with args; prints its output without CRs and returns its exit code.
drive() {
  local out=$session_dir/driver.out code
  timeout 30 "$wine" "$driver" "$@" >"$out" 2>&1 </dev/null
  code=$?
  tr -d '\r' <"$out"
  return $code
}

# The value of NAME in the NAME=VALUE lines of text.
field() {
  local line
  while IFS= read -r line; do
    [ "${line%%=*}" = "$1" ] && { printf '%s' "${line#*=}"; return 0; }
  done <<<"$2"
  return 1
}

# Starts the program with args in folder cwd through the driver, and waits until its main
# dialog is up. Sets program_pid (Windows) and launcher (the driver's bash job).
start_program() {
  local cwd=$1
  shift
  local pid_file=$session_dir/program.pid state tries
  rm -f "$pid_file"
  timeout 120 "$wine" "$driver" launch "$(winpath "$pid_file")" "$(winpath "$cwd")" \
    "$(winpath "$exe")" "$@" >"$session_dir/launch.out" 2>&1 </dev/null &
  launcher=$!
  program_pid=
  for tries in $(seq 1300); do  # the driver waits up to a minute for the dialog
    [ -s "$pid_file" ] && break
    kill -0 "$launcher" 2>/dev/null || break
    sleep 0.05
  done
  [ -s "$pid_file" ] || { echo "the program did not start: $(tr -d '\r' <"$session_dir/launch.out")"; return 1; }
  read -r program_pid state <"$pid_file"
  [ "$state" = ready ] || { echo "the program is $state, not ready"; return 1; }
}

# Waits up to seconds for the launched program to end and sets exit_code to its exit code, or
# to "running". Not to be called in a subshell, which could not wait for the launcher.
await_exit() {
  local tries
  for tries in $(seq $(($1 * 20))); do
    kill -0 "$launcher" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$launcher" 2>/dev/null; then
    exit_code=running
    return 1
  fi
  wait "$launcher"
  exit_code=$?
}
