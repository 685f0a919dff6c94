#!/usr/bin/env bash
# Takes the help file's pictures (shell/help/images/*.png) from the running program.
#   bash shell/help/capture.sh [build-folder]        (default: build-run, as scripts/run builds it)
# Needs Xvfb, openbox, xdotool and ImageMagick, which are only for making the pictures and are not
# build dependencies:  apt-get install xvfb openbox xdotool imagemagick x11-utils (xclip, if there,
# shows how many lines the column copy put on the clipboard)
# The program runs under its own Xvfb display with a throw-away HOME on the sample database, so
# nothing of a real user's settings or data sources is touched. The clicks are positions in the
# window, so a changed layout needs the positions below adjusted; look at the pictures after a run.
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-build-run}"
case "$build" in /*) ;; *) build="$repo/$build" ;; esac
bin="$build/bin"
out="$repo/shell/help/images"

for tool in Xvfb openbox xdotool import convert xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "capture: $tool is missing (apt-get install xvfb openbox xdotool imagemagick x11-utils)" >&2; exit 1; }
done
if [ ! -x "$bin/Tabulon" ] || [ ! -x "$bin/tabulon-sample" ]; then
  echo "capture: build Tabulon and tabulon-sample in $build first" >&2; exit 1
fi
# A list beside the program would be read instead of the throw-away one.
[ ! -e "$bin/DataSources.ini" ] || { echo "capture: $bin/DataSources.ini would hide the sample list; move it away" >&2; exit 1; }

tmp=$(mktemp -d /tmp/tabulon-capture.XXXXXX)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

export HOME="$tmp/home"
export XDG_RUNTIME_DIR="$tmp/run"
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME WAYLAND_DISPLAY
mkdir -p "$HOME/.config/Tabulon" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$bin/tabulon-sample" "$HOME/.local/share/Tabulon" >/dev/null
cp "$HOME/.local/share/Tabulon/DataSources.ini" "$HOME/.config/Tabulon/"

# The pictures are the whole screen: the main window fills it.
W=900 H=640
display=${CAPTURE_DISPLAY:-99} # the first free display from here on
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
export DISPLAY=":$display"
Xvfb "$DISPLAY" -screen 0 "${W}x${H}x24" -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { echo "capture: Xvfb did not start" >&2; cat "$tmp/xvfb.log" >&2; exit 1; }
# A window manager gives the dialogs their title bars and the keyboard focus.
openbox >"$tmp/openbox.log" 2>&1 &
pids+=($!)
sleep 1

QT_QPA_PLATFORM=xcb "$bin/Tabulon" >"$tmp/tabulon.log" 2>&1 &
pids+=($!)
sleep 5 # past the splash window and start-up's own pause
main=$(timeout 30 xdotool search --sync --onlyvisible --name '^Tabulon' | head -n1) || {
  echo "capture: no Tabulon window appeared" >&2; cat "$tmp/tabulon.log" >&2; exit 1; }
# The inside of the main window goes to the screen's top left corner, its title bar above the
# screen; the strip left below it is cropped away.
xdotool windowmove --sync "$main" 0 0
xdotool windowsize --sync "$main" "$W" $((H - 19))
sleep 1

# Positions are screen positions with the main window filling the screen, as set up above;
# inside a dialog they count from the dialog's top left corner (origin), wherever it opened.
click() { xdotool mousemove "$1" "$2" sleep 0.2 click "${3:-1}"; sleep "${4:-1}"; }
dblclick() { xdotool mousemove "$1" "$2" sleep 0.2 click --repeat 2 --delay 80 1; sleep "${3:-3}"; }
typed() { xdotool type --delay 30 "$1"; sleep 0.3; }
key() { xdotool key --clearmodifiers "$@"; sleep 1; }
# xdotool reports a managed window's place shifted by the frame, alike for the main window and
# a dialog; the difference between the two is where the dialog's inside begins on the screen.
eval "$(xdotool getwindowgeometry --shell "$main" | sed -n 's/^\([XY]\)=/M\1=/p')"
origin() {
  local win X Y
  win=$(timeout 10 xdotool search --sync --onlyvisible --name "^$1\$" | head -n1) || {
    echo "capture: the window \"$1\" did not open" >&2; exit 1; }
  eval "$(xdotool getwindowgeometry --shell "$win" | grep '^[XY]=')"
  OX=$((X - MX)) OY=$((Y - MY))
}
at() { click $((OX + $1)) $((OY + $2)) "${3:-1}" "${4:-1}"; }
# The active window's title must be the one named (the keyboard goes where the user expects).
check_focus() {
  local active
  active=$(xdotool getactivewindow getwindowname 2>/dev/null || true)
  case "$active" in
    *"$1"*|Tabulon*) echo "capture: keyboard with \"$active\"" ;;
    *) echo "capture: the keyboard went to \"$active\", not \"$1\"" >&2 ;;
  esac
}
# A tool window closed with Escape once it has the keyboard.
close_window() {
  local win
  win=$(timeout 10 xdotool search --sync --onlyvisible --name "^$1\$" | head -n1) || return 0
  xdotool windowactivate --sync "$win" key Escape
  sleep 1
}
# The main window's area; a dialog reaching below it needs the taller crop.
shot() {
  import -window root -crop "${W}x${2:-$((H - 19))}+0+0" +repage "$tmp/$1.png"
  convert "$tmp/$1.png" -strip -colors 256 PNG8:"$out/$1.png"
  echo "capture: $out/$1.png ($(stat -c %s "$out/$1.png") bytes)"
}

mkdir -p "$out"

# Data Sources window, maximised inside the main window (View > Browser).
key F2
click 11 67 1 2       # expand "Sample": connects
click 85 85 1 2       # its "Tables" folder
click 119 38          # toolbar: Details (a fresh user starts with small icons)
xdotool mousemove 600 400
shot browser

# New Data Source, from the tree's menu on "Sample", with the PostgreSQL page of the builder.
click 70 67
click 70 67 3
click 150 101 1 1.5   # "New Data Source"
origin "New Data Source"
at 218 21; typed "Sales 2026"
at 218 49; typed "Sales figures of this year"
at 51 133             # "Connection"
at 181 162 1 0.6      # kind of database
at 87 185             # "PostgreSQL server"
at 212 199; typed localhost
at 212 227; typed 5432
at 212 255; typed sales
at 212 283; typed anna
at 297 348            # "Use"
shot new-data-source "$H"
at 309 388            # "Cancel": the list stays as it was

# A query window on Customers (double click in the list).
click 85 85 1 2       # "Tables" again: clicking the data source emptied the list
dblclick 241 103
xdotool mousemove 600 560
shot results

# The column menu over a cell of CompanyName.
click 230 215 3 1.5
shot column-menu
key Escape

# Tools > Sort rows, CompanyName selected.
click 157 8
click 195 73 1 1.5
origin "Sort Rows"
at 62 94
at 237 161            # ">"
shot sort
at 423 337            # "Cancel"

# Edit > Find, searching for "Wilson"; Cancel gives the keyboard back to the query window, so F3
# finds the next one there.
key ctrl+f
origin Find
at 183 21; typed Wilson
at 345 21 1 1.5       # "Find Next"
shot find
at 345 62             # "Cancel"
key F3
check_focus "Sample : Tables : Customers"

# A whole column copied: every row of the table reaches the clipboard, not only those on screen.
click 230 106 3 1.5   # the heading of CompanyName: the column menu on the whole column
key c
if command -v xclip >/dev/null; then
  copied=$(xclip -o -selection clipboard | tr -d '\r' | wc -l)
  echo "capture: copied $((copied + 1)) lines of CompanyName"
fi

# View Row on the third row: the Row Details window shows that row.
click 230 167 3 1.5   # a cell of the third row
click 290 504 1 1.5   # " View Row", the menu's last item
shot row-details "$H"
close_window "Row Details"

# A second table, then Window > Cascade: every window keeps a usable size, its title in view.
key F2
click 85 85 1 2       # "Tables"
dblclick 228 157      # Orders (the list shows details now)
key alt+w
key c
shot cascade
