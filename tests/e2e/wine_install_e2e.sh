#!/usr/bin/env bash
# The Windows installer under Wine, in a fresh prefix on its own Xvfb display:
# kivo.exe's version resource read from its bytes and through Windows' calls,
# a silent install (files, Start menu shortcuts, the "Apps" entry), the
# installed program showing its window and the installed demo site answering,
# both halves refusing to run under either, installs without the site
# (/NOSITE), an update keeping that choice and one with the site again
# (/SITE) over the same folder, then a silent uninstall
# that takes away everything the install put there. It ends only the
# processes it started, stops only its own prefix's wineserver and removes
# its temp dir.
#
# usage: wine_install_e2e.sh SETUP_EXE KIVO_EXE KIVO_SITE_EXE KIVO_SITE_BIN SOURCE_DIR VERSION
# KIVO_SITE_EXE is the Windows site the installer carries, KIVO_SITE_BIN the
# site of this machine that the installed program asks for its home page.
# kivo_version_info.exe (a test tool built beside kivo.exe) must sit next to
# KIVO_EXE. The site's port is fixed, so the run moves into a private network
# namespace of its own where it may. KIVO_E2E_KEEP=1 keeps the temp dir.
set -uo pipefail

if (($# != 6)); then
  echo "usage: $0 SETUP_EXE KIVO_EXE KIVO_SITE_EXE KIVO_SITE_BIN SOURCE_DIR VERSION" >&2
  exit 2
fi
if [[ -z ${KIVO_WINE_NETNS:-} ]] && unshare --net true 2>/dev/null; then
  # shellcheck disable=SC2016  # expanded by the inner shell
  KIVO_WINE_NETNS=1 exec unshare --net -- bash -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$@"
fi
setup_exe=$(readlink -f "$1")
kivo_exe=$(readlink -f "$2")
site_exe=$(readlink -f "$3")
site_bin=$(readlink -f "$4")
src=$(readlink -f "$5")
version=$6
info_exe=$(dirname "$kivo_exe")/kivo_version_info.exe
py=/usr/bin/python3

readonly product="Kivo手机电影下载器"
readonly key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kivo'

suite=e2e_wine_install
# shellcheck source=tests/e2e/wine_checks.sh
source "$(dirname "$0")/wine_checks.sh"

for tool in wine winepath wineserver Xvfb xdotool curl "$py"; do
  command -v "$tool" >/dev/null || die "missing tool: $tool"
done
for file in "$setup_exe" "$kivo_exe" "$info_exe" "$site_exe" "$site_bin" \
  "$src/tests/e2e/pe_version.py" "$src/tests/e2e/lnk_info.py"; do
  [[ -f $file ]] || die "missing file: $file (the windows preset builds the installer with makensis)"
done
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "VERSION is not A.B.C: $version"

work=$(mktemp -d /tmp/kivo-wine-install.XXXXXX)
prefix=$work/prefix

# --- the version resource, read without Windows ------------------------------
# What the build put in: project()'s version and the Chinese names, each
# string intact through windres' UTF-8 reading.
cat >"$work/version.want" <<EOF
translation 0804 04b0
fixed $version.0 $version.0
CompanyName example.org
FileDescription $product
FileVersion $version
InternalName kivo
LegalCopyright example.org 版权所有
OriginalFilename kivo.exe
ProductName $product
ProductVersion $version
EOF
"$py" "$src/tests/e2e/pe_version.py" "$kivo_exe" >"$work/version.pe"
check "kivo.exe's version resource holds the version and the Chinese names" \
  diff "$work/version.want" "$work/version.pe"
"$py" "$src/tests/e2e/pe_version.py" "$setup_exe" >"$work/setup_version.pe"
setup_has() { grep -qxF "$1" "$work/setup_version.pe"; }
setup_named() {
  setup_has "ProductName $product" && setup_has "ProductVersion $version" &&
    setup_has "fixed $version.0 $version.0"
}
check "the installer's own version resource names the product and version" setup_named

# The installer and its uninstaller show the program's icon: NSIS stores
# each image of the .ico as it is, one RT_ICON resource each.
carries_icon() { # EXE
  "$py" - "$1" "$src/frame/art/app.ico" <<'EOF'
import struct, sys
exe, ico = (open(path, "rb").read() for path in sys.argv[1:])
count, = struct.unpack_from("<H", ico, 4)
images = [struct.unpack_from("<II", ico, 6 + 16 * i + 8) for i in range(count)]
missing = [size for size, at in images if ico[at:at + size] not in exe]
print(f"{len(missing)} of {count} icon images missing") if missing else None
sys.exit(1 if missing or not count else 0)
EOF
}
check "the installer carries the program's icon" carries_icon "$setup_exe"
check "kivo-site.exe carries it too, for its shortcut" carries_icon "$site_exe"
"$py" "$src/tests/e2e/pe_version.py" "$site_exe" >"$work/site_version.pe"
site_named() {
  grep -qxF "FileDescription $product 演示站点" "$work/site_version.pe" &&
    grep -qxF "OriginalFilename kivo-site.exe" "$work/site_version.pe" &&
    grep -qxF "ProductVersion $version" "$work/site_version.pe"
}
check "... and its version resource names the demo site and the version" site_named
# Wine asks for no rights at all; Windows goes by the manifest, which must
# not ask for an administrator.
as_invoker() { grep -aq 'requestedExecutionLevel level="asInvoker"' "$1"; }
check "the installer asks Windows for no administrator rights" as_invoker "$setup_exe"

# --- display, site, prefix ------------------------------------------------------
display=""
for n in 81 82 83 84 85 86 87 88 89; do
  if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=:$n; break; fi
done
[[ -n $display ]] || die "no free X display among :81..:89"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
poll 10 test -e "/tmp/.X11-unix/X${display#:}" || die "Xvfb did not start on $display"

# The installed program asks the site for its home page at once; a site of
# our own answers it rather than whatever else may listen there.
port_open() { (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null; }
port_open && die "port 8080 is already in use and no private network namespace could be made"
site_log=$work/site.log
: >"$site_log"
"$site_bin" --port 8080 --log "$site_log" >"$work/site.out" 2>&1 &
pids+=($!)
poll 10 port_open || die "kivo-site did not start: $(cat "$work/site.out")"

boot_prefix

wine "$info_exe" "$(winepath -w "$kivo_exe")" 2>/dev/null | tr -d '\r' >"$work/version.win"
check "Windows reads the same version resource (GetFileVersionInfoW)" \
  diff "$work/version.want" "$work/version.win"

# Paths in the prefix with the user's folder name made neutral, one a line.
snapshot() {
  (cd "$prefix/drive_c" && find . -mindepth 1 | sed -E 's|^\./users/[^/]+/|users/USER/|' | sort)
}
snapshot >"$work/before"

# --- silent install ---------------------------------------------------------------
# What an install adds to the prefix: the program's part, and the site's
# (the optional component "演示站点", chosen unless /NOSITE says otherwise).
menu="users/USER/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
sort >"$work/program.want" <<EOF
users/USER/AppData/Local/Programs
users/USER/AppData/Local/Programs/Kivo
users/USER/AppData/Local/Programs/Kivo/kivo.exe
users/USER/AppData/Local/Programs/Kivo/uninstall.exe
$menu/$product.lnk
EOF
sort "$work/program.want" - >"$work/installed.want" <<EOF
users/USER/AppData/Local/Programs/Kivo/kivo-site.exe
$menu/$product 演示站点.lnk
EOF
# silent_install NAME WANT WHAT [OPTION...]: a silent install with these
# options ends with status 0, and the prefix then holds exactly the files
# listed in WANT (WHAT names them) beyond those it had at first.
silent_install() {
  local name=$1 want=$2 what=$3 start=$SECONDS
  shift 3
  timeout 120 wine "$setup_exe" /S "$@" >>"$work/setup.out" 2>&1
  check "$name ends with status 0" test $? -eq 0
  echo "installed in $((SECONDS - start)) s"
  snapshot | comm -13 "$work/before" - >"$work/installed"
  check "... and adds exactly $what" diff "$want" "$work/installed"
}
everything="the program, the site, the uninstaller and both shortcuts"
silent_install "the silent install" "$work/installed.want" "$everything"
user_dir=$(find "$prefix/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)
dir=$user_dir/AppData/Local/Programs/Kivo
lnk="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/$product.lnk"
site_lnk="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/$product 演示站点.lnk"
dir_w=$(winepath -w "$dir")
check "the installed kivo.exe is the one built" cmp -s "$kivo_exe" "$dir/kivo.exe"
check "the installed kivo-site.exe is the one built" cmp -s "$site_exe" "$dir/kivo-site.exe"

"$py" "$src/tests/e2e/lnk_info.py" "$lnk" >"$work/lnk.out"
cat >"$work/lnk.want" <<EOF
target $dir_w\\kivo.exe
workdir $dir_w
icon $dir_w\\kivo.exe 0
EOF
check "the Start menu shortcut starts kivo.exe in its folder with its icon" \
  diff "$work/lnk.want" "$work/lnk.out"
"$py" "$src/tests/e2e/lnk_info.py" "$site_lnk" >"$work/site_lnk.out"
cat >"$work/site_lnk.want" <<EOF
target $dir_w\\kivo-site.exe
workdir $dir_w
EOF
check "the site's own shortcut starts kivo-site.exe in its folder" \
  diff "$work/site_lnk.want" "$work/site_lnk.out"

# The "Apps" entry, exported by reg.exe as UTF-16 so that the Chinese name
# survives (its console output goes through the OEM code page).
reg_values() {
  rm -f "$work/key.reg"
  wine reg export "$key" "$(winepath -w "$work/key.reg")" /y >/dev/null 2>&1 || return 1
  "$py" - "$work/key.reg" <<'EOF'
import re, sys
text = open(sys.argv[1], "rb").read().decode("utf-16").replace("\r\n", "\n")
for name, value in re.findall(r'^"([^"]+)"=(.*)$', text, re.M):
    if value.startswith("dword:"):
        value = str(int(value[6:], 16))
    else:
        value = value[1:-1].replace('\\"', '"').replace("\\\\", "\\")
    print(name, value)
EOF
}
reg_values >"$work/reg.out"
cat >"$work/reg.want" <<EOF
DemoSite 1
DisplayIcon $dir_w\\kivo.exe,0
DisplayName $product
DisplayVersion $version
InstallLocation $dir_w
NoModify 1
NoRepair 1
Publisher example.org
QuietUninstallString "$dir_w\\uninstall.exe" /S
UninstallString "$dir_w\\uninstall.exe"
EOF
apps_values() { grep -v '^EstimatedSize ' "$work/reg.out" | diff "$work/reg.want" -; }
check "the uninstaller is registered for the user with every value \"Apps\" shows" apps_values
# In KiB, the installed files' sum give or take the rounding.
size_kb=$(find "$dir" -type f -printf '%s\n' | awk '{sum += $1} END {print int(sum / 1024)}')
estimated=$(awk '$1 == "EstimatedSize" {print $2}' "$work/reg.out")
check "... and its EstimatedSize is the installed size ($estimated KiB, files $size_kb KiB)" \
  test "${estimated:-0}" -ge $((size_kb - 1)) -a "${estimated:-0}" -le $((size_kb + 1))
listed() { wine uninstaller --list 2>/dev/null | tr -d '\r' | grep -q '^Kivo|||'; }
key_absent() { ! wine reg query "$1" >/dev/null 2>&1; }
check "... and Wine's own uninstaller lists it" listed
check "... and nothing is written for all users" key_absent "${key/HKCU/HKLM}"

# What an untouched install holds, for the checks below.
install_sums() { md5sum "$dir/kivo.exe" "$dir/kivo-site.exe" "$dir/uninstall.exe" "$lnk" "$site_lnk" 2>&1; }
install_sums >"$work/sums"

# --- the installed program ----------------------------------------------------
find_window() { xdotool search --onlyvisible --name "^$product\$" >/dev/null 2>&1; }
logged_home() { grep -q '^GET //xiazai/ ' "$site_log"; }
wine "$dir/kivo.exe" >"$work/kivo.out" 2>&1 &
kivo_pid=$!
pids+=("$kivo_pid")
start=$SECONDS
check "the installed program shows its window" poll 90 find_window
echo "window after $((SECONDS - start)) s"
check "... and asks the site for its home page" poll 30 logged_home

# refused WHAT: neither half may touch an install while WHAT runs. The
# uninstaller runs in place here (_?=) so that its exit status is its own.
untouched() {
  install_sums | diff -q - "$work/sums" >/dev/null && reg_values | diff -q - "$work/reg.out" >/dev/null
}
refused() {
  timeout 120 wine "$dir/uninstall.exe" /S "_?=$dir_w" >>"$work/setup.out" 2>&1
  check "a silent uninstall under the running $1 ends with status 2" test $? -eq 2
  timeout 120 wine "$setup_exe" /S >>"$work/setup.out" 2>&1
  check "a silent install under the running $1 ends with status 2" test $? -eq 2
  check "... and both leave the install as it was" untouched
}
refused program
check "... and the program runs on" kill -0 "$kivo_pid"
check "the installed uninstaller carries the program's icon too" carries_icon "$dir/uninstall.exe"
check "... and asks for no administrator rights either" as_invoker "$dir/uninstall.exe"

kill "$kivo_pid"
wait "$kivo_pid" 2>/dev/null
check "the program ends" poll 30 eval '! find_window'

# --- the installed site -------------------------------------------------------
# On a port of its own: 8080 is this machine's site, the program's.
site_port=$("$py" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
answers() { curl -sf -o /dev/null --max-time 5 "http://127.0.0.1:$site_port/"; }
wine "$dir/kivo-site.exe" --port "$site_port" >"$work/wine_site.out" 2>&1 &
wine_site_pid=$!
pids+=("$wine_site_pid")
start=$SECONDS
check "the installed site answers HTTP on its port" poll 60 answers
echo "site answered after $((SECONDS - start)) s"
refused site
check "... and the site runs on" answers
# A second site on the same port, in a console of its own (a terminal
# here, a window on Windows): it says why it ends and keeps the message
# on screen until a key is pressed.
(sleep 2; printf x) | timeout 60 script -qec "wine '$dir/kivo-site.exe' --port $site_port" \
  "$work/second_site.txt" >/dev/null 2>&1
# Wine's console draws each character with its own escape sequences and
# moves the cursor over spaces: the text is read without either.
held() {
  local text
  text=$(sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$work/second_site.txt" | tr -d ' ')
  [[ $text == *cannotlisten* && $text == *按任意键关闭此窗口* ]]
}
check "a second site on its port says it cannot listen and waits for a key" held
kill "$wine_site_pid"
wait "$wine_site_pid" 2>/dev/null
check "the site ends" poll 30 eval '! answers'

# --- installs without the site, and with it again -------------------------------
# The program's browser has left its cache in the prefix meanwhile; only
# what the installs add counts from here on.
snapshot | comm -23 - "$work/installed" >"$work/before"
silent_install "a silent install with /NOSITE over one with the site" "$work/program.want" \
  "the program, its uninstaller and its shortcut" /NOSITE
# An update with no option keeps the choice last made; /SITE takes it back.
silent_install "a plain silent install over one without the site" "$work/program.want" \
  "still only the program, its uninstaller and its shortcut"
silent_install "a silent install with /SITE over one without" "$work/installed.want" "$everything" /SITE

# --- silent uninstall -------------------------------------------------------------
# The registered command, as "Apps" runs it. The uninstaller copies itself
# to the temp folder and returns at once, so its work is waited for.
leftovers() { snapshot | comm -12 - "$work/installed"; }
removed() { [[ -z $(leftovers) ]]; }
uninstall_start=$SECONDS
timeout 120 wine "$dir/uninstall.exe" /S >>"$work/setup.out" 2>&1
check "the silent uninstall starts with status 0" test $? -eq 0
if poll 60 removed; then
  pass "the uninstall removes every file, both shortcuts and the folders the install made"
else
  fail "the uninstall removes every file, both shortcuts and the folders the install made" \
    "left: $(leftovers | tr '\n' ' ')"
fi
echo "uninstalled in $((SECONDS - uninstall_start)) s"
check "... and the \"Apps\" entry" key_absent "$key"

# Started without /S the installer asks, in Chinese; it is only looked at.
wine "$setup_exe" >>"$work/setup.out" 2>&1 &
ui_pid=$!
pids+=("$ui_pid")
# (NSIS's Chinese caption ends in a space.)
asks() { xdotool search --onlyvisible --name "^$product 安装 ?$" >/dev/null 2>&1; }
check "without /S the installer shows its Chinese window" poll 60 asks
kill "$ui_pid"
wait "$ui_pid" 2>/dev/null

finished=1
((failed == 0))
