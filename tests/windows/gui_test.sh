#!/usr/bin/env bash
# The tray as a user meets it, under Wine and an X display: the icon in the
# notification area, real clicks and keys through xdotool, the stand-in
# server's log and the recording browser as witnesses.
# Usage: gui_test.sh BIN_DIR OUT_DIR   (inside tools/wine/wine-session)
set -uo pipefail
bin=$(cd "$1" && pwd)
out=$2
rm -rf "$out" && mkdir -p "$out" && out=$(cd "$out" && pwd)

# shellcheck source=../../tools/wine/tray-driver.sh
source "$(dirname "$0")/../../tools/wine/tray-driver.sh"
# require WHAT COMMAND...: a check that nothing after it can pass without.
require() { check "$@" || fail "nothing after it can pass"; }

# Whatever the outcome, nothing started here outlives the test: a tray left
# running would keep the named mutex and turn every later tray into a second copy.
trap 'kill $(pids_from "$out") 2>/dev/null' EXIT

# --- A tour of a server that has both features on and exits when asked.
lay_out_install "$out/tour" '{"features":{"media":true,"stream":true,"running":true}}' || fail "laying out the install"
start_tray
require "the dashboard opens at start" wait_for 20 has_urls 1
require "the icon appears in the notification area" wait_for 10 icon_shown
sleep 1
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
check "the server exits by itself and is left alone" wait_for 5 logged '"reason":"quit"'
check "the tray ends with status 0" tray_exit_code

checks_passed
