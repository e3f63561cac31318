# What the page area shows, for suites that tell pages apart by their looks
# (sourced after the desktop, whose shot and geometry it uses). PAGE_BOX is
# the page area, window-relative (PAGE_TOP: another top edge); a desktop may
# define park (the pointer out of the way first), a suite drawn (a shot that
# shows a page at all).
[[ -v PAGE_BOX ]] || PAGE_BOX=(140 90 870 665)
maybe() { if declare -F "$1" >/dev/null; then "$@"; fi; }

same_page() {  # same_page A B: the page areas of A.png and B.png look alike
  geometry || return 1
  "$PY" -c 'import sys; from PIL import Image, ImageChops
box = [int(v) for v in sys.argv[3:7]]
a = Image.open(sys.argv[1]).convert("RGB").crop(box)
b = Image.open(sys.argv[2]).convert("RGB").crop(box)
diff = ImageChops.difference(a, b).convert("L").point(lambda v: 255 if v > 24 else 0)
n = sum(1 for v in diff.getdata() if v)
print("differing pixels", n)
sys.exit(0 if n < 200 else 1)' "$work/$1.png" "$work/$2.png" \
    $((X + PAGE_BOX[0])) $((Y + ${PAGE_TOP:-${PAGE_BOX[1]}})) $((X + PAGE_BOX[2])) $((Y + PAGE_BOX[3]))
}
page_is() {  # page_is SHOT: the page area comes to look as in SHOT.png, polled
  local deadline=$((SECONDS + 15))
  maybe park
  while :; do
    shot page-now
    same_page "$1" page-now && return 0
    ((SECONDS >= deadline)) && return 1
    sleep 0.3
  done
}
settled_page() {  # settled_page NAME [NOT_LIKE]: a shot once the page (unlike NOT_LIKE) stops changing
  local deadline=$((SECONDS + 15)) last=${2:-}
  maybe park
  shot "$1"
  while :; do
    sleep 0.5
    shot page-now
    if same_page "$1" page-now >/dev/null && { ! declare -F drawn >/dev/null || drawn "$1"; }; then
      [[ -z $last ]] || ! same_page "$last" "$1" >/dev/null && return 0
    fi
    cp "$work/page-now.png" "$work/$1.png"
    ((SECONDS >= deadline)) && return 1
  done
}
