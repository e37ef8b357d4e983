#!/usr/bin/env bash
# Cross-builds the Windows programs into build/windows and tests them under
# Wine (scripts/test.sh calls this when it is executable):
#   1. agreement: in a fresh prefix holding the sample system, the console
#      program's live report equals, line for line, the Linux command's
#      offline report of the same prefix (its drive_c and its registry as
#      regedit exports it, HKEY_CLASSES_ROOT built from it as Windows
#      does), with every section ticked;
#   2. version facts: every executable of the prefix's system32, read with
#      GetFileVersionInfoA / VerQueryValueA inside Wine and offline on Linux;
#      and checks of the live backends that the reports do not reach;
#   3. the window under Xvfb, driven through its buttons by a helper.
# Wine leaves its results in build/windows/wine-test; the comparisons are
# the Linux test program test_windows. Screenshots of the window are saved
# as build/windows/tarnscan-*.png.
set -Eeuo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$SECONDS

cross=x86_64-w64-mingw32-g++-posix
wine=$(command -v wine || true)
[ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; } || true
wineserver=$(command -v wineserver || true)
[ -n "$wineserver" ] || { [ -x /usr/lib/wine/wineserver ] && wineserver=/usr/lib/wine/wineserver; } || true
if ! command -v "$cross" >/dev/null || [ -z "$wine" ] || [ -z "$wineserver" ]; then
  echo "test-windows: skipped (needs $cross and wine)"
  exit 0
fi
jobs=$(nproc)
phase() { echo "-- $* ($((SECONDS - started)) s)"; }
sample=samples/xp-home
patterns=samples/patterns.txt
# The Linux programs come from the release build that scripts/test.sh
# makes; another build folder may be named for a quicker round.
linux_build=${TARNSCAN_LINUX_BUILD:-build/release}
trap 'echo "test-windows: failed: $BASH_COMMAND" >&2' ERR

phase "cross build (build/windows)"
timeout 300 cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
timeout 1200 cmake --build build/windows -j "$jobs"
phase "Linux side ($linux_build)"
if [ ! -f "$linux_build/build.ninja" ]; then
  timeout 300 cmake -S . -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
timeout 1200 cmake --build "$linux_build" -j "$jobs" --target tarnscan test_windows
linux_build=$(cd "$linux_build" && pwd)
linux_tarnscan=$linux_build/tarnscan
bin=$root/build/windows

work=$root/build/windows/wine-test
# A run that was cut short may have left its wine server behind.
if [ -d "$work/prefix" ]; then
  WINEPREFIX=$work/prefix timeout 30 "$wineserver" -k 2>/dev/null || true
fi
rm -rf "$work"
mkdir -p "$work/home" "$work/system/registry"
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" HOME=$work/home TZ=UTC LANG=en_US.UTF-8
unset DISPLAY WAYLAND_DISPLAY
xvfb_pid=""
cleanup() {
  timeout 30 "$wineserver" -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

# Every Wine call is bounded: a hung program must not hang the test run.
win() {
  local seconds=$1
  shift
  timeout --kill-after=5 "$seconds" "$wine" "$@"
}
# Unix paths are drive Z: inside Wine.
zpath() { printf 'Z:%s' "${1//\//\\}"; }
# regedit reads these as the Unicode .reg files it writes itself.
utf16_reg() { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; }
prepare() { win 60 "$bin/test-prepare.exe" "$@"; }
reg_string() { prepare reg-string "$@" | tr -d '\r'; }

phase "prefix"
win 180 wineboot -i >/dev/null 2>&1
timeout 120 "$wineserver" -w
# Wine links some profile folders to $HOME; on Windows they are folders.
find "$WINEPREFIX/drive_c/users" -maxdepth 2 -type l -print0 |
  while IFS= read -r -d '' link; do rm "$link" && mkdir "$link"; done
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n' |
  utf16_reg >"$work/no-crash-dialog.reg"
win 60 regedit /S "$(zpath "$work/no-crash-dialog.reg")"

phase "the sample system $sample"
# Wine's shell writes its own "Shell Folders" values whenever a program
# asks for a folder, from "User Shell Folders"; the sample's values go into
# both keys, as on a real XP, so they stay what the scan reads.
prepare settle
for reg in "$sample"/registry/*.reg; do
  win 60 regedit /S "$(zpath "$root/$reg")"
done
prepare mirror-shell-folders
# Wine's HKEY_CLASSES_ROOT lacks the user's classes that Windows merges in.
prepare unshadow-classes >"$work/unshadow-classes.log"
python3 tests/windows/stage_prefix.py copy "$sample" "$WINEPREFIX/drive_c" "$work/kept-wine-files.txt"

# Traces a scan should find, made through the Windows functions an
# installer would use: shortcuts via IShellLinkA, Run entries, files in the
# startup and application-data folders, a hidden system file.
shell_folders='Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
common_startup=$(reg_string HKLM "$shell_folders" 'Common Startup')
common_appdata=$(reg_string HKLM "$shell_folders" 'Common AppData')
user_startup=$(reg_string HKCU "$shell_folders" 'Startup')
user_appdata=$(reg_string HKCU "$shell_folders" 'AppData')
win_dir=$(reg_string HKLM 'SOFTWARE\Microsoft\Windows NT\CurrentVersion' 'SystemRoot')
for folder in "$common_startup" "$common_appdata" "$user_startup" "$user_appdata" \
  'C:\Program Files\Tray Helper'; do
  prepare mkdir "$folder"
done
prepare shortcut "$common_startup\\Notepad.lnk" "$win_dir\\notepad.exe"
prepare shortcut "$common_startup\\Tray Helper.lnk" 'C:\Program Files\Tray Helper\trayhelper.exe' '/background'
prepare shortcut "$user_startup\\Updater.lnk" "$win_dir\\system32\\cmd.exe" '/c exit'
prepare write "$user_startup\\run.bat" $'@echo off\r\nstart hotbar.exe\r\n'
prepare write "$user_startup\\desktop.ini" $'[.ShellClassInfo]\r\n'
prepare copy "$win_dir\\system32\\joy.cpl" 'C:\Program Files\Tray Helper\trayhelper.exe'
prepare copy "$win_dir\\system32\\joy.cpl" "$common_appdata\\toolbar.dll"
prepare write "$user_appdata\\settings.ini" $'[CoolWebSearch]\r\nhome=about:blank\r\n'
prepare copy "$win_dir\\system32\\joy.cpl" "$win_dir\\system32\\tsfilter.dll"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"TrayHelper"="\\"C:\\\\Program Files\\\\Tray Helper\\\\trayhelper.exe\\" /background"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"Updater"="%s\\\\system32\\\\cmd.exe /c exit"\r\n\r\n' \
  "${win_dir//\\/\\\\}" | utf16_reg >"$work/traces.reg"
win 60 regedit /S "$(zpath "$work/traces.reg")"
printf '%s\tHS\n' "$user_startup\\desktop.ini" "$win_dir\\system32\\tsfilter.dll" >"$work/extra-facts.tsv"
python3 tests/windows/stage_prefix.py facts "$sample" "$work/kept-wine-files.txt" "$work/extra-facts.tsv" \
  "$WINEPREFIX/drive_c" "$work/system/files.tsv" "$work/attributes.tsv"
while IFS=$'\t' read -r path letters; do
  prepare attrib "$path" "$letters"
done <"$work/attributes.tsv"

phase "live scans (console program), version facts, backend checks"
# Fragments that Wine's own files hold, so the folder scans list files.
{ cat "$patterns"; printf 'Wine builtin DLL\nlocalhost\n'; } >"$work/patterns.txt"
as_of=$(date -u '+%Y-%m-%d %H:%M:%S')
addons=()
for def in samples/plugins/*.def; do
  [ -e "$def" ] && addons+=(--addon "$(basename "$def")")
done
show_all=AllShellExtensions,AllContextMenuHandlerKeys,AllColumnHandlers,AllWinsock2,AllProtocolHandlers,AllProtocolFilters
declare -A variants=([default]="" [show-all]="--tick $show_all")
for variant in default show-all; do
  # shellcheck disable=SC2086
  (cd "$work" && win 300 "$bin/tarnscan-console.exe" --quiet --as-of "$as_of" \
    --patterns "$(zpath "$work/patterns.txt")" --plugins "$(zpath "$root/samples/plugins")" \
    "${addons[@]}" ${variants[$variant]} --out "$(zpath "$work/live-$variant.txt")" \
    >"$work/live-$variant.log" 2>&1; echo $? >"$work/live-$variant.rc") || true
done
win 300 "$bin/test-version-facts.exe" "$win_dir\\system32" >"$work/version-facts-live.tsv" \
  2>"$work/version-facts-live.log" || true
mkdir -p "$work/scratch"
win 120 "$bin/test-backend-checks.exe" "$(zpath "$work/scratch")" >"$work/backend-checks.tsv" || true

phase "registry export and offline scans (Linux)"
win 120 regedit /E "$(zpath "$work/system/registry/10-hklm.reg")" HKEY_LOCAL_MACHINE
win 120 regedit /E "$(zpath "$work/system/registry/20-hkcu.reg")" HKEY_CURRENT_USER
ln -s "$WINEPREFIX/drive_c" "$work/system/drive_c"
for variant in default show-all; do
  # shellcheck disable=SC2086
  (timeout 300 "$linux_tarnscan" --system "$work/system" --quiet --as-of "$as_of" \
    --patterns "$work/patterns.txt" --plugins samples/plugins "${addons[@]}" \
    ${variants[$variant]} --out "$work/linux-$variant.txt" >"$work/linux-$variant.log" 2>&1;
    echo $? >"$work/linux-$variant.rc") || true
done

phase "the window (Xvfb)"
# The prefix's wine server was started without a display.
timeout 60 "$wineserver" -k || true
timeout 60 "$wineserver" -w || true
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
app=$WINEPREFIX/drive_c/Tarnscan
mkdir -p "$app/plugins"
cp "$bin/Tarnscan.exe" "$patterns" "$app/"
cp samples/plugins/*.def "$app/plugins/" 2>/dev/null || true
printf 'OUTPUT;first\r\n' >"$app/plugins/b.def"
printf 'OUTPUT;second\r\n' >"$app/plugins/A.def"
printf 'not an AddOn\r\n' >"$app/plugins/notes.txt"
(cd "$app/plugins" && ls -1 -- *.def) >"$work/gui-plugins.txt"
shot() { timeout 30 import -window root "$bin/tarnscan-$1.png" || true; }
# A step that fails says which one it was and shows the window as it was.
driver() {
  local rc=0
  win 330 "$bin/test-window-driver.exe" "$@" || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "test-windows: window step \"$*\" failed ($rc)" >&2
    shot "failed-$1"
    sed 's/^/  gui: /' "$work/gui.log" >&2 || true
  fi
  return "$rc"
}
start_window() {
  (cd "$app" && timeout 600 "$wine" Tarnscan.exe >"$work/gui.log" 2>&1; echo $? >"$work/gui.rc") &
  gui_runner=$!
}
# One drive of the window through its buttons; false at the first step
# that fails.
drive_window() {
  driver wait 60 || return 1
  driver memo >"$work/memo-start.txt" || return 1
  driver boxes >"$work/boxes-start.txt" || return 1
  driver addons >"$work/addons-start.txt" || return 1
  shot report
  driver click "Configure Scan Options" || return 1
  driver click "Remove All" 1 || return 1
  driver click "Remove All" 2 || return 1
  driver boxes >"$work/boxes-removed.txt" || return 1
  shot options
  driver click Apply || return 1
  driver click "Start Scan" || return 1
  driver caption 240 "Tarnscan - scan complete!" || true
  driver find-window 60 "Tarnscan.Txt" >"$work/notepad-title.txt" || true
  shot notepad
  driver close-window "Tarnscan.Txt" || true
  driver memo >"$work/memo-scanned.txt" || return 1
  cp "$app/Tarnscan.Txt" "$work/gui-report.txt" 2>/dev/null || true
  driver click "Configure Scan Options" || return 1
  driver click Default || return 1
  driver boxes >"$work/boxes-default.txt" || return 1
  driver click Apply || return 1
  # A whole scan from the window: the same report as the offline command's.
  driver click "Start Scan" || return 1
  driver wait 300 || return 1
  driver find-window 60 "Tarnscan.Txt" >/dev/null || true
  driver close-window "Tarnscan.Txt" || true
  cp "$app/Tarnscan.Txt" "$work/gui-report-default.txt" 2>/dev/null || true
  shot scanned
  driver close 30 || true
}
window_results=(memo-start.txt boxes-start.txt addons-start.txt boxes-removed.txt
  notepad-title.txt memo-scanned.txt gui-report.txt boxes-default.txt gui-report-default.txt)
start_window
# Driving a window from another process can lose an event on its way
# through the display server: after saying which step failed, the whole
# drive runs once more from a fresh start. Twice is a failure.
if ! drive_window; then
  echo "test-windows: driving the window failed; once more from a fresh start" >&2
  timeout 60 "$wineserver" -k || true
  wait "$gui_runner" || true
  for result in "${window_results[@]}"; do rm -f "$work/$result"; done
  rm -f "$app/Tarnscan.Txt"
  start_window
  if ! drive_window; then
    echo "test-windows: driving the window failed again" >&2
    exit 1
  fi
fi
wait "$gui_runner" || true

# Wine rewrites some hardware keys when its services start again with a
# display, so the window's scans are compared with the registry as it was
# then.
mkdir -p "$work/system-gui/registry"
win 120 regedit /E "$(zpath "$work/system-gui/registry/10-hklm.reg")" HKEY_LOCAL_MACHINE
win 120 regedit /E "$(zpath "$work/system-gui/registry/20-hkcu.reg")" HKEY_CURRENT_USER
ln -s "$WINEPREFIX/drive_c" "$work/system-gui/drive_c"
cp "$work/system/files.tsv" "$work/system-gui/"
timeout 300 "$linux_tarnscan" --system "$work/system-gui" --quiet --patterns "$patterns" \
  --plugins "$app/plugins" --out "$work/linux-gui-default.txt" >"$work/linux-gui-default.log" 2>&1 || true
timeout 300 "$linux_tarnscan" --system "$work/system-gui" --quiet --only AddOns \
  --patterns "$patterns" --plugins "$app/plugins" \
  --out "$work/linux-unticked.txt" >"$work/linux-unticked.log" 2>&1 || true

phase "comparisons"
TARNSCAN_WINE_RESULTS=$work timeout 300 "$linux_build/tests/test_windows"
echo "test-windows: passed in $((SECONDS - started)) s"
