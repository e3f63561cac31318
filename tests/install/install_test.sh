#!/usr/bin/env bash
# `cmake --install` into temporary prefixes: each component lays out exactly
# the files the committed manifest lists, the menu entry and the AppStream
# data pass their validators and agree with each other, and the installed
# program starts from its prefix, finding its engine module there.
#
# usage: install_test.sh CMAKE BUILD_DIR SOURCE_DIR VERSION
set -uo pipefail
CMAKE=$1 BUILD=$2 SRC=$3 VERSION=$4
# shellcheck source=tests/install/install_common.sh
source "$SRC/tests/install/install_common.sh"

install_component() {  # install_component PREFIX [COMPONENT]
  "$CMAKE" --install "$BUILD" --prefix "$1" ${2:+--component "$2"} >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; return 1; }
}

# --- the file lists ----------------------------------------------------------
for component in app site; do
  prefix=$work/$component
  manifest "$component" >"$work/$component.want"
  check "component $component installs" install_component "$prefix" "$component"
  files_under "$prefix" >"$work/$component.got"
  check "component $component lays out the manifest's files" \
    same_lines "$work/$component.want" "$work/$component.got"
done
check "the manifest lists files for both components" \
  test -s "$work/app.want" -a -s "$work/site.want"

# A plain install is the program without the optional demo site.
check "install without a component" install_component "$work/default"
files_under "$work/default" >"$work/default.got"
check "a plain install lays out the app component only" same_lines "$work/app.want" "$work/default.got"

# Every install rule names its component; none falls into CMake's default.
check "install of the Unspecified component" install_component "$work/unspecified" Unspecified
check "no install rule without a component" test -z "$(files_under "$work/unspecified" 2>/dev/null)"

# --- what is installed ---------------------------------------------------------
app=$work/app
desktop=$app/share/applications/$APP_ID.desktop
metainfo=$app/share/metainfo/$APP_ID.metainfo.xml

modes_right() {
  local path mode bad=0
  while read -r path; do
    mode=$(stat -c %a "$app/$path")
    case $path in
      bin/*) [[ $mode == 755 ]] ;;
      *) [[ $mode == 644 ]] ;;
    esac || { echo "$path has mode $mode"; bad=1; }
  done <"$work/app.want"
  ((bad == 0))
}
check "programs 755, every other file 644" modes_right

# desktop-file-validate prints nothing at all for a clean entry: no error,
# no warning, no hint.
clean_desktop_entry() {
  local out
  out=$(desktop-file-validate "$desktop" 2>&1) && [[ -z $out ]] || { echo "$out"; return 1; }
}
check "desktop-file-validate: no error, warning or hint" clean_desktop_entry

entry_agrees() {
  local want
  for want in "Name=$CAPTION" "Icon=$APP_ID" "Exec=kivo" "StartupNotify=true" "StartupWMClass=kivo" \
    "Type=Application" "Terminal=false"; do
    grep -qxF "$want" "$desktop" || { echo "no line $want"; return 1; }
  done
  grep -q '^Comment\[zh\]=.*[^ -~]' "$desktop" || { echo "no Chinese comment"; return 1; }
  local size
  for size in 16 22 24 32 48 64 128 256; do
    [[ -f $app/share/icons/hicolor/${size}x$size/apps/$(desktop_key "$desktop" Icon).png ]] ||
      { echo "no ${size}px icon named after Icon="; return 1; }
  done
}
check "menu entry: name, icon at every size, exec, start-up keys" entry_agrees

# appstreamcli exits 0 with only pedantic notes; an info, warning or error
# fails the check.
clean_metainfo() {
  local out
  out=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1) || { echo "$out"; return 1; }
  echo "$out"
  ! grep -Eq '^[IWE]: ' <<<"$out"
}
check "appstreamcli validate --no-net" clean_metainfo

metainfo_agrees() {
  "$PY" - "$metainfo" "$VERSION" "$APP_ID" "$CAPTION" <<'PY'
import re, sys, xml.etree.ElementTree as ET
path, version, app_id, caption = sys.argv[1:]
root = ET.parse(path).getroot()
problems = []
def want(what, got, expect):
    if got != expect:
        problems.append("%s: got %r, want %r" % (what, got, expect))
want("id", root.findtext("id"), app_id)
want("name", root.findtext("name"), caption)
want("launchable", root.findtext("launchable"), app_id + ".desktop")
want("icon", root.findtext("icon"), app_id)
release = root.find("releases/release")
want("release version", release is not None and release.get("version"), version)
date = release.get("date", "") if release is not None else ""
if not re.fullmatch(r"\d{4}-\d{2}-\d{2}", date):
    problems.append("release date %r" % date)
shot = root.find("screenshots/screenshot/image")
if shot is None or not (shot.text or "").startswith("https://"):
    problems.append("no https screenshot")
elif not (shot.get("width", "0").isdigit() and int(shot.get("width")) > 0):
    problems.append("screenshot without a size")
if root.find("content_rating") is None:
    problems.append("no content rating")
print("\n".join(problems))
sys.exit(1 if problems else 0)
PY
}
check "AppStream data: id, name, launchable, icon, release $VERSION, screenshot" metainfo_agrees

# --- the installed program starts from its prefix ------------------------------
check "a private X server" start_x
"$app/bin/kivo" >"$work/kivo.log" 2>&1 &
pids+=($!)
check "the installed program shows its window with the engine from $app/lib/kivo" \
  window_shows "$app/lib/kivo/kivo-web.so" "$(desktop_key "$desktop" StartupWMClass)"
check "the program ends by its id" end_shown
check "the program found its engine" bash -c "! grep -q 'no browser engine' '$work/kivo.log'"

finish
