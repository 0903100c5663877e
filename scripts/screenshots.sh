#!/usr/bin/env bash
# Pictures of the console window for the eye and the docs, taken from the Windows build under Wine: the
# window with some lines, its open "Reports" menu, and the About box. Needs DISPLAY and a running Wine
# (scripts/test.sh starts both). Usage: screenshots.sh BIN_DIR OUT_DIR
set -u
bin=$1 out=$2
mkdir -p "$out"
work=$(mktemp -d)

# Wine settings for this run only, each put back as it was at the end: the tests' windows stay as they are.
restore=()
reg() {
    /usr/lib/wine/wine64 reg "$@" </dev/null 2>/dev/null
}
# set_for_this_run KEY NAME VALUE
set_for_this_run() {
    local before
    before=$(reg query "$1" /v "$2" | sed -n "s/^ *$2 *REG_SZ *//p" | tr -d '\r')
    if [ -n "$before" ]; then
        restore+=("reg add '$1' /v '$2' /t REG_SZ /d '$before' /f")
    else
        restore+=("reg delete '$1' /v '$2' /f")
    fi
    reg add "$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null
}
# shellcheck disable=SC2317 # run by the EXIT trap
put_back() {
    local command
    for command in "${restore[@]}"; do
        eval "$command" >/dev/null
    done
}
trap 'put_back; rm -rf "$work"' EXIT
# The title bars. Under Xvfb no window manager draws them, and Wine leaves them to one by default: told
# that none decorates its windows, Wine draws the frames and captions itself, as Windows does.
set_for_this_run 'HKCU\Software\Wine\X11 Driver' Decorated N
# The glyphs of the caption buttons are Wine's Marlett font (fonts-wine), which this Wine looks for in the
# wrong folder (Z:\usr\share\wine\../fonts): the folder is named to it.
[ -d /usr/share/wine/fonts ] && set_for_this_run 'HKCU\Software\Wine\Fonts' Path 'Z:\usr\share\wine\fonts'

# The root window alone shows Wine's pop-ups (menus, dialogs) black: each of the host's windows is taken by
# itself and laid over it at its place on the screen, bottom to top.
capture_screen() {
    local target=$1 crop=$2 layers=() id geometry
    xwd -root -silent 2>/dev/null | convert xwd:- "$work/screen.png" 2>/dev/null || return 1
    while read -r id geometry; do
        xwd -id "$id" -silent 2>/dev/null | convert xwd:- "$work/$id.png" 2>/dev/null || continue
        layers+=("$work/$id.png" -geometry "$geometry" -composite)
    done < <(xwininfo -root -tree 2>/dev/null | grep '"console_host.exe"' |
        sed -n 's/^ *\(0x[0-9a-f]*\) .* \([0-9]*\)x\([0-9]*\)+-*[0-9]*+-*[0-9]* *\(+-*[0-9]*+-*[0-9]*\)$/\1 \2 \3 \4/p' |
        awk '$2 > 1 && $3 > 1 { print $1, $4 }' | tac)
    convert "$work/screen.png" "${layers[@]}" -crop "$crop" +repage "$target" 2>/dev/null
}

# A Windows path for the host (Wine maps / to drive Z:).
winpath() {
    echo "Z:${1//\//\\}"
}

# Waits for a host process; a failed one shows the end of its output.
wait_for_host() {
    local host_status=0
    wait "$1" || host_status=$?
    [ "$host_status" -eq 0 ] && return 0
    echo "$(basename "$2" .log) failed (exit $host_status):" >&2
    tail -n 20 "$2" >&2
    return 1
}

waitfor() {
    for _ in $(seq 300); do
        [ -e "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# Every host has a time limit: a window or box that never comes fails the pictures, never hangs the caller.
KITBAG_SETTINGS="$work/settings.ini" timeout -k 10 180 /usr/lib/wine/wine64 "$bin/console_host.exe" \
    simple "Capture graph built: 2 streams\n" trace "Frames delivered: 250 in 10.0 s\n" \
    logerror "Audio device lost, switching to the default device\n" lines "worker" 6 \
    reports 3 display \
    sleep 1500 touch "$(winpath "$work/window")" wait-for "$(winpath "$work/window.taken")" \
    open-reports-menu sleep 1000 touch "$(winpath "$work/menu")" wait-for "$(winpath "$work/menu.taken")" \
    close-menus menu-command about wait-title "About Console" sleep 1000 touch "$(winpath "$work/about")" \
    wait-for "$(winpath "$work/about.taken")" dismiss "About Console" close \
    </dev/null >"$work/host.log" 2>&1 &
host=$!

# Whether the host shows a window of that title on the display, as its caption shows it.
has_title() {
    xwininfo -root -tree 2>/dev/null | grep -qF "\"$1\": (\"console_host.exe\""
}

status=0
for shot in window menu about; do
    name=console-$shot.png
    rm -f "$out/$name"
    if waitfor "$work/$shot" && capture_screen "$out/$name" 960x560+0+0 && [ -s "$out/$name" ]; then
        echo "screenshot $out/$name"
    else
        echo "screenshot $name not taken" >&2
        status=1
    fi
    if ! has_title "Corvane Console"; then
        echo "screenshot $name: no window titled \"Corvane Console\" on the display" >&2
        status=1
    fi
    touch "$work/$shot.taken"
done
wait_for_host "$host" "$work/host.log" || status=1

# A counting alert box, on a Wine desktop of its own: it draws the window frames, so the countdown in the
# caption shows.
rm -f "$out/console-alert.png"
KITBAG_SETTINGS="$work/settings.ini" timeout -k 10 180 /usr/lib/wine/wine64 explorer /desktop=shots,800x420 \
    "$bin/console_host.exe" lines "worker" 3 answer-boxes-when "$(winpath "$work/alert.taken")" \
    clog 6 "Capture device lost: recording stopped" </dev/null >"$work/alert.log" 2>&1 &
host=$!
for _ in $(seq 100); do
    xwininfo -root -tree 2>/dev/null | grep -q '"1[0-3] - .*Console.dll"' && break
    sleep 0.1
done
if capture_screen "$out/console-alert.png" 800x420+0+0 && [ -s "$out/console-alert.png" ]; then
    echo "screenshot $out/console-alert.png"
else
    echo "screenshot console-alert.png not taken" >&2
    status=1
fi
touch "$work/alert.taken"
wait_for_host "$host" "$work/alert.log" || status=1
exit $status
