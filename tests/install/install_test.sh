#!/usr/bin/env bash
# install_test.sh tree|package BUILD_DIR CMAKE CPACK
#   tree:    cmake --install into a temporary prefix; the desktop entry, icons, help pages and
#            AppStream metadata are there and pass the freedesktop validators.
#   package: cpack -G DEB, unpacked with dpkg -x into a temporary root; the package names its
#            runtime dependencies and the dialout note, and the programs start from that root
#            without writing anything beside themselves.
set -euo pipefail
check=$1 build=$2 cmake=$3 cpack=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
app_id=com.ardentix.kelvora

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_file() { [ -f "$1" ] || fail "missing $1"; }

# A user's home of its own, so nothing here touches the real settings.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# Runs the window program on the offscreen platform, closes it as a logout would (SIGTERM) and
# checks that it closed cleanly and wrote its settings and its auto-test table in the user's
# folders.
run_window_program() {
  local bin=$1
  local before after
  before=$(ls -A "$(dirname "$bin")")
  local rc=0
  timeout --preserve-status -s TERM 3 "$bin" >"$work/kelvora.log" 2>&1 || rc=$?
  [ "$rc" -eq 0 ] || { cat "$work/kelvora.log" >&2; fail "$bin exited with $rc"; }
  after=$(ls -A "$(dirname "$bin")")
  [ "$before" = "$after" ] || fail "the program wrote beside its executable: $(comm -13 <(echo "$before") <(echo "$after"))"
  expect_file "$XDG_CONFIG_HOME/ardentix/KPX.conf"
  expect_file "$XDG_DATA_HOME/ardentix/KPX/Persistent.ini"
}

case $check in
tree)
  prefix=$work/prefix
  "$cmake" --install "$build" --prefix "$prefix" >/dev/null
  for program in kelvora kpx-sim; do [ -x "$prefix/bin/$program" ] || fail "missing bin/$program"; done
  desktop=$prefix/share/applications/$app_id.desktop
  metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
  expect_file "$desktop"
  expect_file "$metainfo"
  expect_file "$prefix/share/icons/hicolor/scalable/apps/$app_id.svg"
  for size in 16 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    expect_file "$png"
    # The PNG header carries width and height as big-endian words at bytes 16 and 20.
    [ "$(od -An -tu4 --endian=big -j16 -N8 "$png" | tr -s ' ')" = " $size $size" ] ||
      fail "$png is not ${size}x${size}"
  done
  for page in kelvora-help kpx-calibration kpx_update; do
    expect_file "$prefix/share/doc/kelvora/help/$page.html"
  done
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
  grep -q "^Icon=$app_id$" "$desktop" || fail "the desktop entry does not name the installed icon"
  grep -q "^Exec=kelvora$" "$desktop" || fail "the desktop entry does not start kelvora"
  ;;
package)
  (cd "$work" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >/dev/null)
  deb=$(ls "$work"/pkg/kelvora_*_amd64.deb 2>/dev/null | head -n1)
  [ -n "$deb" ] || fail "cpack made no kelvora_*.deb"
  depends=$(dpkg-deb -f "$deb" Depends)
  for dep in libqt6widgets6 libmodbus5 libxlsxwriter qt6-qpa-plugins; do
    [[ "$depends" == *"$dep"* ]] || fail "Depends lacks $dep: $depends"
  done
  dpkg-deb -e "$deb" "$work/control"
  grep -q dialout "$work/control/postinst" || fail "the post-install note does not mention dialout"
  root=$work/root
  dpkg-deb -x "$deb" "$root"
  expect_file "$root/usr/share/applications/$app_id.desktop"
  "$root/usr/bin/kpx-sim" --help >/dev/null || fail "kpx-sim --help failed from the package"
  if [ -e "$build/bin/kelvora-cli" ]; then
    "$root/usr/bin/kelvora-cli" --help >/dev/null || fail "kelvora-cli --help failed from the package"
  fi
  run_window_program "$root/usr/bin/kelvora"
  ;;
*) fail "unknown check $check" ;;
esac
echo "PASS: $check"
