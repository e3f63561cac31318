#!/usr/bin/env bash
# The Debian packages as CPack makes them: control data, file lists and
# permissions, maintainer scripts (none for kivo; kivo-site's only apply and
# undo its preset), lintian, dependencies apt can meet;
# then kivo installed with dpkg into a scratch root, started there through
# its menu entry under Xvfb until its window shows, and removed again,
# leaving nothing behind.
#
# usage: package_test.sh CPACK BUILD_DIR SOURCE_DIR VERSION
set -uo pipefail
CPACK=$1 BUILD=$2 SRC=$3 VERSION=$4
# shellcheck source=tests/install/install_common.sh
source "$SRC/tests/install/install_common.sh"

arch=$(dpkg --print-architecture)
debs=$work/debs
make_debs() {
  (cd "$BUILD" && "$CPACK" -G DEB -B "$debs") >"$work/cpack.log" 2>&1 || { tail -20 "$work/cpack.log"; return 1; }
}
check "cpack -G DEB" make_debs
app_deb=$debs/kivo_${VERSION}_$arch.deb
site_deb=$debs/kivo-site_${VERSION}_$arch.deb
check "packages kivo and kivo-site $VERSION named as Debian names them" test -f "$app_deb" -a -f "$site_deb"
[[ -f $app_deb && -f $site_deb ]] || { finish; exit 1; }
ls -l "$app_deb" "$site_deb" | awk '{ print "     " $5 " bytes  " $NF }'

field() { dpkg-deb -f "$1" "$2"; }
control_right() {  # control_right DEB PACKAGE SECTION DEPENDENCY...
  local deb=$1 package=$2 section=$3 dep bad=0
  shift 3
  [[ $(field "$deb" Package) == "$package" ]] || { echo "Package $(field "$deb" Package)"; bad=1; }
  [[ $(field "$deb" Version) == "$VERSION" ]] || { echo "Version $(field "$deb" Version)"; bad=1; }
  [[ $(field "$deb" Architecture) == "$arch" ]] || { echo "Architecture $(field "$deb" Architecture)"; bad=1; }
  [[ $(field "$deb" Section) == "$section" ]] || { echo "Section $(field "$deb" Section)"; bad=1; }
  [[ $(field "$deb" Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || { echo "Maintainer $(field "$deb" Maintainer)"; bad=1; }
  [[ $(field "$deb" Homepage) == https://* ]] || { echo "Homepage $(field "$deb" Homepage)"; bad=1; }
  # A synopsis line and an extended description under it.
  [[ $(field "$deb" Description | wc -l) -ge 3 ]] || { echo "description too short"; bad=1; }
  local depends
  depends=$(field "$deb" Depends)
  for dep; do
    [[ ", $depends," == *", $dep"[\ ,]* ]] || { echo "Depends lacks $dep: $depends"; bad=1; }
  done
  ((bad == 0))
}
# libwebkit2gtk comes from the engine module: proof that dpkg-shlibdeps saw
# it, not only the program.
check "kivo control: name, version, section, maintainer, homepage, dependencies" \
  control_right "$app_deb" kivo video libc6 libgtk-3-0 libwebkit2gtk-4.1-0 glib-networking \
  "fonts-wqy-microhei |"
check "kivo-site control: name, version, section, maintainer, homepage, dependencies" \
  control_right "$site_deb" kivo-site web libc6 libcpp-httplib0.11

control_members_are() {  # control_members_are DEB MEMBER...
  local members
  members=$(dpkg-deb --ctrl-tarfile "$1" | tar -t | sed 's|^\./||' | grep -v '^$' | LC_ALL=C sort | tr '\n' ' ')
  shift
  [[ $members == "$* " ]] || { echo "control members: $members"; return 1; }
}
check "kivo has no maintainer scripts" control_members_are "$app_deb" control md5sums
check "kivo-site's maintainer scripts: postinst and prerm" \
  control_members_are "$site_deb" control md5sums postinst prerm
# They may touch the preset's link and nothing else: no unit started, none
# enabled by name against the preset.
scripts_start_nothing() {
  local text
  text=$(dpkg-deb --ctrl-tarfile "$site_deb" | tar -xO ./postinst ./prerm)
  ! grep -Eq 'systemctl [^#]*(start|restart|enable)|deb-systemd-invoke|invoke-rc.d' <<<"$text" ||
    { echo "$text"; return 1; }
}
check "kivo-site's scripts start nothing" scripts_start_nothing

# dpkg-deb -c: MODE OWNER SIZE DATE TIME PATH
contents_right() {  # contents_right DEB COMPONENT
  local deb=$1 bad=0 mode owner path
  dpkg-deb -c "$deb" >"$work/contents" || return 1
  while read -r mode owner _ _ _ path; do
    path=${path#./}
    [[ $owner == root/root ]] || { echo "$path owned by $owner"; bad=1; }
    case $path in
      '' | usr/ | usr/*) ;;
      *) echo "$path is outside /usr"; bad=1 ;;
    esac
    case $mode in
      d*) [[ $mode == drwxr-xr-x ]] ;;
      -*) if [[ $path == usr/bin/* ]]; then [[ $mode == -rwxr-xr-x ]]; else [[ $mode == -rw-r--r-- ]]; fi ;;
      *) false ;;
    esac || { echo "$path has mode $mode"; bad=1; }
  done <"$work/contents"
  awk '$1 !~ /^d/ { sub("^\\./usr/", "", $6); print $6 }' "$work/contents" | LC_ALL=C sort >"$work/$2.deb.got"
  manifest "$2" >"$work/$2.deb.want"
  same_lines "$work/$2.deb.want" "$work/$2.deb.got" || bad=1
  ((bad == 0))
}
check "kivo holds the app component's files under /usr, root-owned, 755/644" contents_right "$app_deb" app
check "kivo-site holds the site component's files under /usr, root-owned, 755/644" contents_right "$site_deb" site

# Errors and warnings fail; the info tags left (hardening-no-bindnow,
# hardening-no-fortify-functions, binary-has-unneeded-section) are the
# build's flags, not the packaging's.
lintian_clean() {
  local out
  out=$(lintian --fail-on error,warning "$app_deb" "$site_deb" 2>&1)
  local rc=$?
  grep -v 'running with root privileges' <<<"$out"
  ((rc == 0)) && ! grep -Eq '^[EW]: ' <<<"$out"
}
check "lintian: no error, no warning" lintian_clean

# Every dependency, alternatives included, names a package apt knows, and
# apt can meet them all here (scripts/install-deps.sh installs them).
apt_can_install() {
  apt-get install --simulate --no-download -q "$app_deb" "$site_deb" >"$work/apt.log" 2>&1 ||
    { tail -15 "$work/apt.log"; return 1; }
  local p
  for p in kivo kivo-site; do
    grep -Eq "^Inst $p |^$p is already the newest version" "$work/apt.log" || { tail -15 "$work/apt.log"; return 1; }
  done
}
check "apt can install both packages with their dependencies" apt_can_install

# As on a system with nothing installed: dpkg's status replaced by an empty
# one, apt must find the whole closure of both packages in the archive's
# lists. Needs those lists (apt-get update).
from_clean_system() {
  : >"$work/empty-status"
  apt-get install --simulate -q -o Dir::State::status="$work/empty-status" "$app_deb" "$site_deb" \
    >"$work/clean.log" 2>&1 || { tail -15 "$work/clean.log"; return 1; }
  local p
  for p in kivo kivo-site glib-networking fonts-wqy-microhei libwebkit2gtk-4.1-0; do
    grep -q "^Inst $p " "$work/clean.log" || { echo "$p would not be installed"; return 1; }
  done
  echo "$(grep -c '^Inst ' "$work/clean.log") packages would be installed"
}
if compgen -G "/var/lib/apt/lists/*_Packages*" >/dev/null; then
  check "from an empty system, apt finds every dependency in the archive" from_clean_system
else
  echo "skipped: no package lists for the clean-system check (apt-get update)"
fi

# --- dpkg into a scratch root ---------------------------------------------------
root=$work/root
admin=var/lib/dpkg
mkdir -p "$root/$admin/info" "$root/$admin/updates" "$root/$admin/triggers"
: >"$root/$admin/status"
# The scratch root has no libraries: the host's serve, so dependencies are
# waived there (apt's check above covers them).
scratch_dpkg() { dpkg --root="$root" --force-depends --log=/dev/null "$@" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; return 1; }; }
if ((EUID == 0)); then
  files_under "$root" >"$work/root.before"
  check "dpkg --root installs kivo" scratch_dpkg -i "$app_deb"
  check "dpkg lists the manifest's files" bash -c \
    "dpkg --root='$root' -L kivo | while read -r p; do [[ -f '$root'\$p ]] && echo \${p#/usr/}; done | LC_ALL=C sort | diff -u '$work/app.deb.want' -"

  # Started as the menu starts it: gio launches the entry, which finds kivo
  # on PATH.
  check "a private X server" start_x
  PATH=$root/usr/bin:$PATH gio launch "$root/usr/share/applications/$APP_ID.desktop" >"$work/launch.log" 2>&1 &
  pids+=($!)
  check "the menu entry starts the installed program; its window shows with the engine from the package" \
    window_shows "$root/usr/lib/kivo/kivo-web.so" \
    "$(desktop_key "$root/usr/share/applications/$APP_ID.desktop" StartupWMClass)"
  check "the program ends by its id" end_shown

  check "dpkg --root purges kivo" scratch_dpkg --purge kivo

  # The site: its scripts run from outside the scratch root (it has no
  # shell), told where it is by DPKG_ROOT.
  site_enabled() {
    [[ -f $root/usr/lib/systemd/user/kivo-site.socket && -f $root/usr/lib/systemd/user/kivo-site.service ]] ||
      { echo "units not installed"; return 1; }
    [[ $(systemctl --root="$root" --global is-enabled kivo-site.socket) == enabled ]] &&
      [[ -L $root/etc/systemd/user/sockets.target.wants/kivo-site.socket ]]
  }
  check "dpkg --root installs kivo-site" scratch_dpkg --force-script-chrootless -i "$site_deb"
  check "its user units are installed and the socket enabled for every user by the preset" site_enabled
  check "dpkg --root purges kivo-site" scratch_dpkg --force-script-chrootless --purge kivo-site
  left_nothing() {
    local left
    # The folders systemctl made for the link may stay, empty, as
    # systemctl leaves them on any system.
    left=$(cd "$root" && find . -mindepth 1 ! -path ./var ! -path ./var/lib ! -path "./$admin" \
      ! -path "./$admin/*" ! \( -type d -path './etc*' -empty \) ! -path ./etc ! -path ./etc/systemd \
      ! -path ./etc/systemd/user ! -path ./etc/systemd/user/sockets.target.wants -printf '%P\n')
    [[ -z $left ]] || { echo "left: $left"; return 1; }
  }
  check "removal leaves nothing outside dpkg's own records" left_nothing
else
  echo "skipped: the scratch-root install needs root (dpkg --root)"
fi

finish
