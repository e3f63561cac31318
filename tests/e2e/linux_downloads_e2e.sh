#!/usr/bin/env bash
# End-to-end test of the Linux program's downloads: a film's download link
# clicked in the page, the desktop's file chooser answered as a person
# would, the download window followed to the end, and the saved file
# compared with what the site serves. Then a cancel, a site that stops
# half-way, an unwritable folder, a download carried on while the window
# is hidden in the tray, and the exit that asks while downloads run. No
# partial file may stay behind on any of these paths.
#
# usage: linux_downloads_e2e.sh KIVO KIVO_SITE SOURCE_DIR
set -uo pipefail
KIVO=$1
SITE=$2
SRC=$3
# Slow enough that a film takes a few seconds: progress can be seen and a
# download stopped half-way.
SITE_ARGS=(--slow=131072)
TRAY_AT_START=1
# shellcheck source=tests/e2e/linux_desktop.sh
source "$SRC/tests/e2e/linux_desktop.sh"

# shellcheck source=tests/e2e/download_steps.sh
source "$SRC/tests/e2e/download_steps.sh"

clear_list() {  # the band's "clear finished" button
  local win area
  win=$(dialog "下载 - $CAPTION")
  xdotool windowactivate --sync "$win" >/dev/null 2>&1
  window_box "$win"
  shot now
  area=$(find_color "$BUTTON" "$BX" "$BY" $((BX + BW)) $((BY + BH)) --min 100 | awk '$4 >= 16' | head -1)
  [[ -n $area ]] || return 1
  read -r cx cy _ <<<"$area"
  click_screen "$cx" "$cy"
  wait_for 5 eval '! list_shows "$FAILED" 3 --tolerance 60'
}
list_shows() {  # list_shows COLOUR: the colour is somewhere in the download window
  local win
  win=$(dialog "下载 - $CAPTION")
  window_box "$win"
  shot now
  find_color "$1" "$BX" "$BY" $((BX + BW)) $((BY + BH)) --min "${2:-20}" "${@:3}" >/dev/null
}
site_file() {  # site_file ID OUT: the film's bytes as the site serves them
  curl -s -o "$2" "http://127.0.0.1:8080/download/$1.mp4"
}

# --- a film downloaded to the end -------------------------------------------
check "a film page is one click from the ranking" open_film
check "its download link asks where to save it" click_download
check "  with the download window showing the download" wait_for 10 list_up
curl -sI "http://127.0.0.1:8080/download/$film.mp4" >"$work/film.headers"
name=$(disposition_name "$work/film.headers")
check "the site suggests a Chinese file name" test -n "$name"
answer_folder "$dl/"
check "the download window shows above the main window" wait_for 10 list_above_main
check "  leaving the keyboard with the main window" wait_for 10 main_active
check "the download writes a partial file first" wait_for 10 has_partial
check "  and no file of the chosen name until it is complete" test ! -e "$dl/$name"
check "the window shows the bar part-way" wait_for 10 list_shows "$BAR"
cp "$work/now.png" "$work/download-running.png"
# The site's own copy, fetched meanwhile at the same pace.
site_file "$film" "$work/film.mp4" &
site_copy=$!
check "the film arrives under the suggested name" wait_for 60 test -e "$dl/$name"
wait "$site_copy"
check "  with the site's bytes exactly" cmp "$work/film.mp4" "$dl/$name"
check "  and nothing partial beside it" no_partials
check "  the site sent it once, whole" \
  test "$(grep -c "^GET /download/$film.mp4 200" "$log")" -ge 1
check "a done download offers open, show in folder and send to a phone" wait_for 10 done_buttons
cp "$work/now.png" "$work/download-done.png"
# What the desktop opens files and folders with: a stub of the test's own.
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s"\n' "$work/opened.out" >"$work/stub-open"
chmod +x "$work/stub-open"
mkdir -p "$XDG_DATA_HOME/applications"
printf '%s\n' '[Desktop Entry]' 'Type=Application' 'Name=Stub opener' "Exec=$work/stub-open %u" \
  'MimeType=video/mp4;inode/directory;' 'NoDisplay=true' \
  >"$XDG_DATA_HOME/applications/kivo-stub-open.desktop"
printf '%s\n' '[Default Applications]' 'video/mp4=kivo-stub-open.desktop' \
  'inode/directory=kivo-stub-open.desktop' >"$XDG_CONFIG_HOME/mimeapps.list"
click_row_button 1
check "open hands the film to the desktop's handler" wait_for 10 grep -qxF "$dl/$name" "$work/opened.out"
click_row_button 2
check "show in folder opens its folder" wait_for 10 grep -qxF "$dl" "$work/opened.out"
wmctrl -c "下载 - $CAPTION"
check "the download window closes" wait_for 10 eval '! list_up'
main_front
xdotool key --delay 60 ctrl+j
check "Ctrl+J brings it back" wait_for 10 list_up

# --- cancelled half-way ------------------------------------------------------------
check "a second download asks again" click_download
answer "$dl/cancelled.mp4"
check "  and runs" wait_for 10 has_partial
running_button() { [[ $(row_buttons | wc -l) == 1 ]]; }
check "a running download offers cancel" wait_for 10 running_button
click_row_button 1 1
check "cancel removes the partial file" wait_for 10 no_partials
check "  and writes no file" test ! -e "$dl/cancelled.mp4"
sleep 1
check "  nor later" eval 'no_partials && test ! -e "$dl/cancelled.mp4"'

# --- the site stops half-way -------------------------------------------------------
check "a third download asks again" click_download
answer "$dl/broken.mp4"
check "  and runs" wait_for 10 has_partial
clear_list
kill "$site_pid"
wait "$site_pid" 2>/dev/null
check "the site stopping half-way fails the download cleanly" wait_for 20 list_shows "$FAILED" 3 --tolerance 60
cp "$work/now.png" "$work/download-failed.png"
check "  leaving no partial file" wait_for 10 no_partials
check "  and no file of the chosen name" test ! -e "$dl/broken.mp4"
start_site
check "the program still answers" kill -0 "$kivo_pid"

# --- a folder that cannot be written ---------------------------------------------------
mkdir -p "$work/ro"
trap 'umount -l "$work/ro" 2>/dev/null; cleanup' EXIT
if mount -t tmpfs -o ro,size=64k tmpfs "$work/ro" 2>/dev/null; then
  clear_list
  click_download
  answer "$work/ro/film.mp4"
  check "a read-only folder fails the download with a reason" wait_for 20 list_shows "$FAILED" 3 --tolerance 60
  check "  leaving nothing there" test -z "$(ls -A "$work/ro")"
  umount "$work/ro"
else
  echo "skip read-only folder: cannot mount here"
fi

# --- hidden in the tray, the download goes on --------------------------------------------
check "a fourth download asks again" click_download
answer "$dl/hidden.mp4"
check "  and runs" wait_for 10 has_partial
click_at $((888 - 43 + 18)) 9
check "the window hides to the tray" wait_for 10 hidden
check "the download goes on and completes while hidden" wait_for 60 test -e "$dl/hidden.mp4"
check "  with the site's bytes" cmp "$work/film.mp4" "$dl/hidden.mp4"
check "  and nothing partial" no_partials

start_tray
wait_for 20 tray_icon
click_tray 1
check "the window shows again" wait_for 10 window_found

# --- downloads no page shows: a hidden frame's, and one the server refuses ------------------
# A site of the test's own in the demo site's place: one page starts a
# download from a hidden frame a moment after it loaded, another links a
# file the server does not have.
kill "$site_pid"
wait "$site_pid" 2>/dev/null
cat >"$work/odd_site.py" <<'PY'
import http.server, sys
FILM = bytes(range(256)) * 1200
PAGES = {
    "/xiazais/index.html": "<p>loading</p><script>setTimeout(function () {"
        "var f = document.createElement('iframe'); f.style.display = 'none';"
        "f.src = '/hidden-frame.mp4'; document.body.appendChild(f); }, 1500);</script>",
    "/tv/": "<a href='/missing.mp4' download style='display:block;height:500px;"
        "background:#3a89d0'>missing</a>",
}
class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def log_message(self, *args):
        pass
    def send(self, status, kind, body, extra=()):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)
    def do_GET(self):
        with open(sys.argv[2], "a") as log:
            log.write("GET %s\n" % self.path)
        if self.path == "/hidden-frame.mp4":
            self.send(200, "video/mp4", FILM,
                      [("Content-Disposition", 'attachment; filename="hidden-frame.mp4"')])
        elif self.path in PAGES:
            self.send(200, "text/html; charset=utf-8", PAGES[self.path].encode())
        else:
            self.send(404, "text/html", b"<p>no such file</p>")
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
PY
olog=$work/odd-site.log
"$PY" "$work/odd_site.py" 8080 "$olog" >"$work/odd-site.out" 2>&1 &
odd_pid=$!
pids+=($odd_pid)
wait_for 10 curl -sf -o /dev/null http://127.0.0.1:8080/tv/
clear_list
main_front
click_category 5
wait_for 10 grep -qxF "GET /xiazais/index.html" "$olog"
click_at $((888 - 43 + 18)) 9
check "with the window hidden, a hidden frame's download still asks" wait_for 20 chooser_up
answer_folder "$dl/"
check "  and is saved" wait_for 20 eval 'test "$(stat -c %s "$dl/hidden-frame.mp4" 2>/dev/null)" = 307200'
check "  in the download window" list_up
click_tray 1
wait_for 10 window_found
main_front
click_category 6
wait_for 10 grep -qxF "GET /tv/" "$olog"
sleep 0.5
click_at 500 300
check "a link to a file the server does not have fails with a reason" \
  wait_for 20 list_shows "$FAILED" 3 --tolerance 60
check "  without asking where to save it" chooser_gone
check "  and saves nothing" eval 'test -z "$(ls -A "$work/Downloads")" && no_partials'
kill "$odd_pid"
wait "$odd_pid" 2>/dev/null
start_site
check "the film page again" open_film

# --- the exit asks while a download runs ---------------------------------------------------
check "a last download asks" click_download
answer "$dl/last.mp4"
check "  and runs" wait_for 10 has_partial
boxes() { xdotool search --onlyvisible --name "^$CAPTION\$" 2>/dev/null | wc -l; }
question_up() { (($(boxes) >= 2)); }
tray_menu Down Down Down Down Return
check "退出软件 asks first while a download runs" wait_for 10 question_up
shot exit-question
xdotool key --delay 60 Escape
check "  Escape answers cancel: the program runs on" wait_for 10 eval '! question_up'
check "  and so does the download" eval 'kill -0 "$kivo_pid" && has_partial'
tray_menu Down Down Down Down Return
check "asked again" wait_for 10 question_up
xdotool key --delay 60 alt+o
check "confirmed, the program ends" wait_for 15 eval '! kill -0 "$kivo_pid" 2>/dev/null'
check "  leaving no partial file" wait_for 5 no_partials
check "  and no file of the cancelled download" test ! -e "$dl/last.mp4"
check "nothing on the way was a toolkit warning or critical" \
  not grep -E 'CRITICAL|WARNING \*\*' "$work/kivo.log"

echo "site log: $(wc -l <"$log") requests"
echo "$passed passed, $failed failed"
((failed == 0))
