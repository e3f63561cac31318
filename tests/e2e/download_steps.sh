# The steps of a download as a person takes them, shared by the suites
# that download: a film page reached from the ranking, its download button,
# the file chooser answered by typing, and the download window's buttons.
# Sourced after linux_desktop.sh; expects PY, SRC, work, log and win.

dl=$work/dl
mkdir -p "$dl" "$work/Downloads" "$XDG_CONFIG_HOME"
# The user's download folder, where the chooser starts.
printf 'XDG_DOWNLOAD_DIR="%s"\n' "$work/Downloads" >"$XDG_CONFIG_HOME/user-dirs.dirs"

BAR=59,151,225      # a progress bar's filled part
BUTTON=36,149,207   # the download window's buttons
FAILED=176,0,0      # a failure's text
RANK=58,137,208     # the site's rank badges and download button

dialog() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
chooser_up() { [[ -n $(dialog 保存文件) ]]; }
chooser_gone() { ! chooser_up; }
list_up() { [[ -n $(dialog "下载 - $CAPTION") ]]; }
partials() { find "$dl" -name '*.part*' | wc -l; }
no_partials() { (($(partials) == 0)); }
has_partial() { (($(partials) > 0)); }
# The window manager's stacking order, bottom to top, as decimal ids.
stacking() {
  xprop -root _NET_CLIENT_LIST_STACKING | tr -s ', ' '\n' | grep '^0x' |
    while read -r id; do echo $((id)); done
}
# above WINDOW: it is stacked above the main window.
above_main() {
  local order mine main
  [[ -n $1 ]] || return 1
  order=$(stacking)
  mine=$(grep -nxF "$1" <<<"$order" | cut -d: -f1)
  main=$(grep -nxF "$win" <<<"$order" | cut -d: -f1)
  [[ -n $mine && -n $main ]] && ((mine > main))
}
list_above_main() { above_main "$(dialog "下载 - $CAPTION")"; }
main_active() { [[ $(xdotool getactivewindow 2>/dev/null) == "$win" ]]; }
# find WHAT [find_color options]: the areas of colour WHAT in the last shot,
# inside the window (or box) given as X0 Y0 X1 Y1 on the screen.
find_color() { "$PY" "$SRC/tests/e2e/find_color.py" "$work/now.png" "$@"; }
click_screen() { xdotool mousemove --sync "$1" "$2" click 1; }
# The download window may lie over the main window: the main one to the
# front before a click into it.
main_front() { xdotool windowactivate --sync "$win" >/dev/null 2>&1; }

# window_box WIN: sets BX BY BW BH
window_box() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  BX=$X BY=$Y BW=$WIDTH BH=$HEIGHT
}

# A film page, reached as a person would: the ranking, then its fourth film
# (of almost 2 MB: 15 s at the site's pace).
open_film() {
  main_front
  click_category 4
  wait_for 10 logged /xiazai/3.html || return 1
  sleep 0.5
  geometry
  local area
  # The badges are squares; the same blue also underlines the page's title.
  area=$(shot now && find_color "$RANK" $((X + 130)) $((Y + 80)) $((X + 885)) $((Y + 670)) |
    awk '$4 >= 10 && $3 < 40' | sed -n 4p)
  [[ -n $area ]] || { echo "no ranked film"; return 1; }
  read -r cx cy _ <<<"$area"
  local before
  before=$(grep -c '^GET /film/' "$log")
  click_screen $((cx + 40)) "$cy"
  wait_for 10 test "$(grep -c '^GET /film/' "$log")" -gt "$before" || return 1
  film=$(grep -o '^GET /film/[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
}
# Clicks the film page's download button; the chooser comes.
click_download() {
  main_front
  sleep 0.5
  geometry
  local area
  download_button() {
    shot now
    area=$(find_color "$RANK" $((X + 130)) $((Y + 80)) $((X + 885)) $((Y + 670)) --min 200 |
      awk '$4 >= 20' | head -1)
    [[ -n $area ]]
  }
  wait_for 10 download_button || { echo "no download button"; return 1; }
  read -r cx cy _ <<<"$area"
  click_screen "$cx" "$cy"
  wait_for 20 chooser_up
}
# answer PATH: types where to save it into the chooser, as a person would,
# the chooser brought to the front first (a window activated late may have
# come over it).
answer() {
  xdotool windowactivate --sync "$(dialog 保存文件)" >/dev/null 2>&1
  xdotool key --delay 60 ctrl+a BackSpace
  xdotool type --delay 40 "$1"
  xdotool key --delay 60 Return
  wait_for 10 chooser_gone
}
# answer_folder DIR/: keeps the chooser's name for the file, typing only
# the folder before it (the name is selected when the chooser opens).
answer_folder() {
  xdotool windowactivate --sync "$(dialog 保存文件)" >/dev/null 2>&1
  xdotool key --delay 60 Home
  xdotool type --delay 40 "$1"
  xdotool key --delay 60 Return
  wait_for 10 chooser_gone
}
# The download window's buttons in the row of the newest download: left
# to right "打开 打开文件夹 发送到手机" when done, "取消" while it runs. The first
# button from the top is the band's "clear"; the row's come next.
row_buttons() {
  local win
  win=$(dialog "下载 - $CAPTION")
  [[ -n $win ]] || return 1
  xdotool windowactivate --sync "$win" >/dev/null 2>&1
  window_box "$win"
  # Off the buttons: a hovered one is another colour.
  point_at 1 1
  shot now
  find_color "$BUTTON" "$BX" "$BY" $((BX + BW)) $((BY + BH)) --min 100 |
    awk '$4 >= 16' | tail -n +2 | awk 'NR == 1 { y = $2 } $2 == y'
}
disposition_name() {  # disposition_name HEADERS: the file name they suggest (filename*, decoded)
  "$PY" -c '
import sys, urllib.parse
for line in open(sys.argv[1], encoding="latin-1"):
    if line.lower().startswith("content-disposition:"):
        star = line.split("filename*=", 1)[1].strip().split(";")[0]
        print(urllib.parse.unquote(star.split("'"''"'", 1)[1]))' "$1"
}
done_buttons() { [[ $(row_buttons | wc -l) == 3 ]]; }
# click_row_button N [COUNT]: the newest row's Nth button from the left,
# once the row shows all its COUNT buttons (3 when done: none hovered).
click_row_button() {
  local area
  row_shows() {
    local all
    all=$(row_buttons) && [[ $(wc -l <<<"$all") == "${2:-3}" ]] && area=$(sed -n "$1p" <<<"$all")
  }
  wait_for 10 row_shows "$@" || return 1
  read -r cx cy _ <<<"$area"
  click_screen "$cx" "$cy"
}
