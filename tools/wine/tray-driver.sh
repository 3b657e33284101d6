# shellcheck shell=bash
# Drives the tray under Wine the way a person would: sourced by the tour and the
# demo, inside tools/wine/wine-session. Takes the built programs from bin
# (build/windows/bin by default); sets dir, server_log and tray_pid.
# shellcheck source=../lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
: "${bin:=$repo_root/build/windows/bin}"
# Where the recording browser writes each URL it is given.
browser_log=$(dirname "$bin")/browser.log
harness() { "$repo_root/tools/wine/wine-run" "$bin/harness.exe" "$@"; }

# wait_for SECONDS COMMAND...: polls every 50 ms.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.05
    done
}

# lay_out_install DIR SETTINGS_JSON: the tray with its icon and the stand-in
# server as Pellox-Desktop.exe, steered by the settings.
lay_out_install() {
    dir=$1
    harness install "$dir" "$2" || return 1
    server_log=$dir/install/stand_in.log
}

start_tray() {
    : >"$browser_log"
    icons_before=$(harness icons 2>/dev/null | tr -d '\r' | awk '{ print $NF }')
    harness run-tray "$dir" </dev/null >/dev/null 2>"$dir/wine-run.err" &
    tray_pid=$!
}

# The Linux processes of the Wine programs under DIR.
pids_from() { harness pids "$1" 2>/dev/null | tr -d '\r'; }

# icon_geometry: the tray's icon, "left top right bottom" on the screen, then the
# area's; nothing while there is none. It is the first that was not there before
# the tray started: an icon whose program was killed (a failed test's) stays
# listed on Wine 10, as on Windows, until the pointer passes over it.
icon_geometry() {
    harness icons 2>/dev/null | tr -d '\r' |
        awk -v before="${icons_before:-}" 'BEGIN { split(before, old) } { for (i in old) if (old[i] == $NF) next; print; exit }'
}
icon_shown() { [ -n "$(icon_geometry)" ]; }
icon_gone() { [ -z "$(icon_geometry)" ]; }
urls() { if [ -f "$browser_log" ]; then wc -l <"$browser_log"; else echo 0; fi; }
has_urls() { [ "$(urls)" -ge "$1" ]; }
logged() { grep -qF -- "$1" "$server_log" 2>/dev/null; }

# hover: rest the pointer on the icon until the tooltip has had time to show.
hover() {
    local left top right bottom
    read -r left top right bottom _ < <(icon_geometry)
    xdotool mousemove $((left + 2)) $((top + 2)) sleep 0.3 mousemove $(((left + right) / 2)) $(((top + bottom) / 2))
    sleep 2.5
}

click() { # BUTTON [REPEAT]
    local left top right bottom
    read -r left top right bottom _ < <(icon_geometry)
    xdotool mousemove $(((left + right) / 2)) $(((top + bottom) / 2)) click --repeat "${2:-1}" --delay 80 "$1"
}

menu_shown() { [ -n "$(harness menus 2>/dev/null)" ]; }
menu_gone() { ! menu_shown; }

# text_id IDS_NAME: the number of a text of the menu.
text_id() { sed -n "s/^#define $1 \([0-9]*\)/\1/p" "$repo_root/src/tray/menu_texts.h"; }

# open_menu: right-click the icon and wait until the menu is drawn on the screen.
open_menu() {
    click 3
    wait_for 20 menu_shown && harness menu-row "$(text_id IDS_OPEN_DASHBOARD)" >/dev/null 2>&1
}

# choose IDS_NAME: click the item that shows that text, in the language the tray speaks.
choose() {
    local left top right bottom
    read -r left top right bottom < <(harness menu-row "$(text_id "$1")" 2>/dev/null | tr -d '\r') ||
        return 1
    xdotool mousemove $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
}

tray_ended() { ! kill -0 "$tray_pid" 2>/dev/null; }
# tray_exit_code SECONDS: the tray's exit status once it has ended, or 124
# when it is still running after that many seconds.
tray_exit_code() {
    wait_for "$1" tray_ended || return 124
    wait "$tray_pid"
}
