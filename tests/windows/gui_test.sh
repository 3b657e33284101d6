#!/usr/bin/env bash
# The tray as a user meets it, under Wine and an X display: the icon in Wine's
# system tray window, real clicks and keys through xdotool, the stand-in
# server's log and the recording browser as witnesses.
# Usage: gui_test.sh BIN_DIR OUT_DIR   (inside scripts/wine-session)
set -uo pipefail
bin=$(cd "$1" && pwd)
out=$2
browser_log=$(dirname "$bin")/browser.log
rm -rf "$out" && mkdir -p "$out" && out=$(cd "$out" && pwd)

passed=0 failed=0
check() { # WHAT COMMAND...
    if "${@:2}"; then
        echo "ok   $1"; passed=$((passed + 1))
    else
        echo "FAIL $1"; failed=$((failed + 1))
    fi
}

source "$(dirname "$0")/../../scripts/tray-driver.sh"
# The tray is started from here, not its own folder, and inherits a value the
# server must not see (in other letter case than the server reads).
cd "$out"
export pellox_no_browser=0

# --- A tour of a server that has both features on and exits when asked.
lay_out_install "$out/tour" "$bin" '{"features":{"media":true,"stream":true,"running":true}}'
start_tray
check "the dashboard opens at start" wait_for 20 has_urls 1
check "the icon appears in the notification area" wait_for 10 icon_shown
check "the server runs in the tray's folder, with PELLOX_NO_BROWSER=1" logged \
    "\"no_browser\":\"1\",\"cwd\":\"$(winpath "$dir/install" | sed 's/\\/\\\\/g')\""
sleep 1
before=$(visible_windows)
hover
check "hovering shows a tooltip" test "$(visible_windows)" -gt "$before"

click 1
sleep 1.5
check "a single click does nothing" test "$(urls)" -eq 1
click 1 2
check "a double click opens the dashboard" wait_for 5 has_urls 2

open_menu && choose 2
check "Share movies, shows & music switches media off" wait_for 5 logged '{\"media\":false}'
open_menu && choose 3
check "Stream this PC switches streaming off" wait_for 5 logged '{\"stream\":false}'

open_menu && choose 4
check "Quit asks the server to exit" wait_for 10 logged '"path":"/api/quit"'
check "the icon is gone by the time the request arrives" icon_gone
check "the server exits by itself and is left alone" wait_for 5 logged '"reason":"quit"'
tray_exit_code # its status is the soak's to check; here it only has to be gone

# --- A server that ignores the quit request is ended after the grace period.
lay_out_install "$out/stubborn" "$bin" '{"ignore_quit":true}'
start_tray
wait_for 20 has_urls 1 && wait_for 10 icon_shown && sleep 1
open_menu && choose 4
check "the stubborn server is asked to quit" wait_for 15 logged '"ignored":true'
asked=$(now_ms)
check "then it is terminated" wait_for 10 eval '! server_running'
ended=$(now_ms)
# Both moments are seen through 50 ms polls, so allow one poll of slack; a
# shutdown without the grace period would end the server within a few ms.
check "no sooner than 600 ms after the request" test $((ended - asked)) -ge 550
check "and not by its own exit" eval '! logged "\"event\":\"exit\""'
tray_exit_code

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
