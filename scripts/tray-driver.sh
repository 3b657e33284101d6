# Drives the tray under Wine the way a person would: sourced by the GUI test
# and the demo. Expects DISPLAY and WINEPREFIX (scripts/wine-session) and sets
# dir, bin, server_log and tray_pid for its callers, who set browser_log.
wine_run=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine-run

# wait_for SECONDS COMMAND...: polls every 50 ms.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.05
    done
}

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# lay_out_install DIR BIN_DIR SETTINGS_JSON: the tray with its icon and the
# stand-in server as Pellox-Desktop.exe, steered by the settings.
lay_out_install() {
    dir=$1 bin=$2
    rm -rf "$dir"
    mkdir -p "$dir/install" "$dir/appdata"
    cp "$2/Pellox-Desktop-Tray.exe" "$dir/install/"
    if [ -f "$2/icon.ico" ]; then cp "$2/icon.ico" "$dir/install/"; fi
    cp "$2/stand_in_server.exe" "$dir/install/Pellox-Desktop.exe"
    printf '%s' "$3" >"$dir/install/stand_in.json"
    server_log=$dir/install/stand_in.log
}

# Wine sets APPDATA from its own profile; cmd hands the tray ours.
start_tray() {
    : >"$browser_log"
    "$wine_run" cmd /c "set APPDATA=$(winpath "$dir/appdata")& $(winpath "$dir/install/Pellox-Desktop-Tray.exe")" \
        </dev/null >/dev/null 2>"$dir/wine-run.err" &
    tray_pid=$!
}

# The Linux processes of Wine programs started from DIR, found by a literal
# match: a folder name may hold any character.
pids_from() {
    local path p
    path=$(winpath "$1")
    for p in /proc/[0-9]*; do
        if tr '\0' ' ' 2>/dev/null <"$p/cmdline" | grep -qF -- "$path"; then echo "${p#/proc/}"; fi
    done
}

# icon_geometry: the first icon in the notification area, "left top right bottom"
# on the screen, then the area's; nothing while there is none.
icon_geometry() { "$wine_run" "$bin/notification_area.exe" 2>/dev/null | head -1 | tr -d '\r'; }
icon_shown() { [ -n "$(icon_geometry)" ]; }
icon_gone() { [ -z "$(icon_geometry)" ]; }
urls() { if [ -f "$browser_log" ]; then wc -l <"$browser_log"; else echo 0; fi; }
has_urls() { [ "$(urls)" -ge "$1" ]; }
logged() { grep -qF -- "$1" "$server_log" 2>/dev/null; }
count_logged() { grep -cF -- "$1" "$server_log" 2>/dev/null || true; }

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

# open_menu: right-click the icon and wait until the menu has read the server.
open_menu() {
    local before
    before=$(count_logged '"path":"/api/features"')
    click 3
    wait_for 5 test "$(count_logged '"path":"/api/features"')" -gt "$before" || return 1
    sleep 0.7 # the menu is tracked once the answer is in
}

choose() { # STEPS: pick the item that many steps down (separators are skipped)
    local keys=()
    for ((i = 0; i < $1; i++)); do keys+=(Down); done
    xdotool key --delay 100 "${keys[@]}" Return
}

# tray_exit_code [SECONDS]: the tray's exit status once it has ended, or 124
# when it is still running after that many seconds (10).
tray_exit_code() {
    wait_for "${1:-10}" eval '! kill -0 "$tray_pid" 2>/dev/null' || return 124
    wait "$tray_pid"
}
