#!/bin/sh
# Runs the Windows programs of the windows-x64 build under Wine, headless.
#   wine.sh run PROGRAM [ARG...]   run one program (CTest's emulator)
#   wine.sh start                  make the Wine prefix ready, keep one wineserver and one X
#                                  display (Xvfb) up for the programs that open windows
#   wine.sh stop                   end them again
# The prefix lives outside any clone, once per machine: ${ZQXMLU_CACHE:-~/.cache/zqxmlu}/wine64.
set -eu
cache=${ZQXMLU_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zqxmlu}
export WINEPREFIX="${ZQXMLU_WINEPREFIX:-$cache/wine64}"
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
display_file="$WINEPREFIX/zq-display"
mkdir -p "$(dirname "$WINEPREFIX")"

case ${1:-} in
  run)
    shift
    if [ -z "${DISPLAY:-}" ] && [ -f "$display_file" ]; then
      DISPLAY=$(cat "$display_file")
      export DISPLAY
    fi
    exec wine "$@"
    ;;
  start)
    # Every daemon gets /dev/null, so that none holds the output pipes of CTest.
    if ! { [ -f "$display_file.pid" ] && kill -0 "$(cat "$display_file.pid")" 2>/dev/null; }; then
      fifo=$(mktemp -u)
      mkfifo "$fifo"
      # Xvfb picks a free display and writes its number to the pipe once it listens.
      Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
      echo $! >"$display_file.pid"
      number=$(head -n 1 "$fifo")
      rm -f "$fifo"
      echo ":$number" >"$display_file"
    fi
    DISPLAY=$(cat "$display_file")
    export DISPLAY
    [ -f "$WINEPREFIX/system.reg" ] || wineboot --init </dev/null >/dev/null 2>&1 || true
    wineserver -p </dev/null >/dev/null 2>&1 || true  # (fails when one already runs)
    # Wine's own services and desktop start with the first program and stay with the server:
    # start them here rather than inside a test.
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    ;;
  stop)
    if [ -f "$display_file.pid" ]; then
      kill "$(cat "$display_file.pid")" 2>/dev/null || true
      rm -f "$display_file.pid" "$display_file"
    fi
    wineserver -k 2>/dev/null || true
    ;;
  *)
    echo "usage: wine.sh run PROGRAM [ARG...] | start | stop" >&2
    exit 2
    ;;
esac
