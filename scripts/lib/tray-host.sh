# Sourced by the benchmark scripts: a virtual X display with a tray host on
# it, for the figures of the tool with its tray icon.
#
#   start_tray_host WORK_DIR   sets display (":N", or "" when no display
#                              number from :90 to :120 is free), xvfb_pid and
#                              tray_pid; logs go to WORK_DIR
#   stop_tray_host             ends both (safe to call twice)

xvfb_pid=""
tray_pid=""
display=""

start_tray_host() {
  local work="$1" n
  display=""
  for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      display=":$n"
      break
    fi
  done
  [ -n "$display" ] || return 0
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
  DISPLAY="$display" trayer --edge top --align right --widthtype request --height 24 \
    >"$work/trayer.log" 2>&1 &
  tray_pid=$!
  sleep 1
}

stop_tray_host() {
  [ -n "$tray_pid" ] && kill "$tray_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  tray_pid=""
  xvfb_pid=""
}
