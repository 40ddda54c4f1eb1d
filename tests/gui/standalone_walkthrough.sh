#!/usr/bin/env bash
# Plays the standalone PULSKAR-16 under a virtual display the way a musician would: opens the
# preset box, steps through presets with ">" and "<", saves a user preset through the save
# dialog, finds it in the preset browser and deletes it there. Checks the preset files on disk
# after each step and leaves two screenshots (the preset menu and the browser).
#
#   tests/gui/standalone_walkthrough.sh [standalone binary] [screenshot folder]
#
# Needs Xvfb, xdotool and ImageMagick (scripts/install-deps.sh). Runs with a private HOME, so the
# real user's presets are never touched.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
app="${1:-$root/build/PULSKAR16_artefacts/RelWithDebInfo/Standalone/PULSKAR-16}"
shots="${2:-$root/docs}"
[ -x "$app" ] || { echo "no standalone binary at $app" >&2; exit 2; }
mkdir -p "$shots"

work="$(mktemp -d)"
export HOME="$work/home"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_CONFIG_HOME="$HOME/.config"
mkdir -p "$HOME"

display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
app_pid=""
cleanup()
{
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

"$app" >"$work/app.log" 2>&1 &
app_pid=$!

window=""
for _ in $(seq 100); do
    window="$(xdotool search --onlyvisible --name 'PULSKAR-16' 2>/dev/null | head -n1 || true)"
    [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || { echo "the standalone window did not appear" >&2; cat "$work/app.log" >&2; exit 1; }
sleep 1.5

# The editor fills the window inside its resize border (4 pixels without a window manager) and
# below the standalone's title strip; it keeps the panel's aspect ratio.
border="${WALKTHROUGH_BORDER:-4}"
eval "$(xdotool getwindowgeometry --shell "$window")"
win_x=$X win_y=$Y win_w=$WIDTH win_h=$HEIGHT
ed_w=$(( win_w - 2 * border ))
ed_h=$(( (ed_w * 946 + 831) / 1662 ))
ed_x=$(( win_x + border ))
ed_y=$(( win_y + win_h - border - ed_h ))
echo "window ${win_w}x${win_h} at $win_x,$win_y; editor ${ed_w}x${ed_h} at $ed_x,$ed_y"

# Panel coordinates (pixels of the 1662 x 946 artwork) to screen coordinates.
px() { awk -v v="$1" -v w="$ed_w" -v o="$ed_x" 'BEGIN { printf "%d", o + v * w / 1662 + 0.5 }'; }
py() { awk -v v="$1" -v h="$ed_h" -v o="$ed_y" 'BEGIN { printf "%d", o + v * h / 946 + 0.5 }'; }
click_panel() { xdotool mousemove "$(px "$1")" "$(py "$2")" click 1; sleep "${3:-0.4}"; }
click_screen() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-0.4}"; }
key() { xdotool key --clearmodifiers "$@"; sleep 0.3; }
shot() { import -window root "$work/screen.png"; convert "$work/screen.png" -crop "$1" +repage "$2"; }

user_folder() { find "$HOME" -type d -path '*Presets/User' 2>/dev/null | head -n1; }
user_presets() { local f; f="$(user_folder)"; [ -n "$f" ] && ls "$f" 2>/dev/null | grep '\.pk16$' || true; }
factory_count() { find "$HOME" -path '*Presets/Factory/*.pk16' | wc -l; }

fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$(factory_count)" -eq 13 ] || fail "the factory folder does not hold the thirteen presets"

# 1. The preset box: a click on the display window opens the list of every preset.
click_panel 466 875 0.8
shot "${win_w}x${win_h}+${win_x}+${win_y}" "$shots/screenshot-preset-menu.png"
key Escape
sleep 0.4

# 2. Step through the factory presets: three times ">", once "<" (Init -> ... -> Closed HH).
for _ in 1 2 3; do click_panel 914 873 0.5; done
click_panel 809 873 0.5

# 3. SAVE: the save dialog opens in the user folder; type a new name and confirm.
click_panel 1013 873 1.5
dialog="$(xdotool search --onlyvisible --name 'Save PULSKAR-16 Preset' 2>/dev/null | head -n1 || true)"
[ -n "${WALKTHROUGH_DEBUG:-}" ] && import -window root "$shots/debug-save-dialog.png"
[ -n "$dialog" ] || fail "the save dialog did not open"
# The file name field runs along the dialog's lower edge, above its buttons.
eval "$(xdotool getwindowgeometry --shell "$dialog")"
click_screen $(( X + WIDTH / 2 )) $(( Y + HEIGHT - 62 ))
key ctrl+a
xdotool type --delay 40 "Walkthrough Kick"
sleep 0.3
key Return
sleep 1.2
user_presets | grep -qx 'Walkthrough Kick.pk16' || fail "the saved preset is not in the user folder ($(user_presets))"
echo "saved: $(user_presets | tr '\n' ' ')"

# 4. The browser: "Browse Presets..." is the first item of the preset box's pop-up window.
before="$(xdotool search --onlyvisible --name '' 2>/dev/null | sort)"
click_panel 466 875 0.8
popup="$(comm -13 <(echo "$before") <(xdotool search --onlyvisible --name '' 2>/dev/null | sort) | head -n1)"
[ -n "$popup" ] || fail "the preset list did not open"
eval "$(xdotool getwindowgeometry --shell "$popup")"
click_screen $(( X + 80 )) $(( Y + 16 )) 0.8
# The card is 620 x 430, centred in the editor; bands relative to its content origin (x0, y0).
x0=$(( ed_x + ed_w / 2 - 310 + 18 ))
y0=$(( ed_y + ed_h / 2 - 215 + 12 ))
# Click the first row, then End: the list scrolls to the new user preset, marked as current.
click_screen $(( x0 + 200 )) $(( y0 + 134 + 13 ))
key End
sleep 0.4
shot "${ed_w}x${ed_h}+${ed_x}+${ed_y}" "$shots/screenshot-browser.png"

# USER filter, then search for the new preset and select its row.
click_screen $(( x0 + 418 + 80 )) $(( y0 + 74 + 15 ))
click_screen $(( x0 + 76 + 200 )) $(( y0 + 37 + 14 ))
xdotool type --delay 40 "walk"
sleep 0.6
click_screen $(( x0 + 200 )) $(( y0 + 134 + 13 ))

# DELETE, then confirm the question with Return.
click_screen $(( x0 + 388 + 98 )) $(( y0 + 372 + 17 )) 0.8
question="$(xdotool search --onlyvisible --name 'Delete Preset' 2>/dev/null | head -n1 || true)"
[ -n "${WALKTHROUGH_DEBUG:-}" ] && import -window root "$shots/debug-delete-question.png"
[ -n "$question" ] && xdotool windowfocus "$question" 2>/dev/null || true
key Return
sleep 0.8
if user_presets | grep -qx 'Walkthrough Kick.pk16'; then fail "the preset was not deleted"; fi

# CLOSE the browser.
click_screen $(( x0 + 510 + 37 )) $(( y0 + 14 ))
kill -0 "$app_pid" 2>/dev/null || fail "the standalone app quit"
echo "walkthrough passed; screenshots in $shots"
