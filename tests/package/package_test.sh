#!/usr/bin/env bash
# package_test.sh BUILD_DIR: builds the .deb with cpack into a scratch folder, unpacks it with
# dpkg-deb -x and proves it there. Needs the build to be complete (cpack installs from it).
set -euo pipefail
build="$(cd "$1" && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

expected_files="/etc/autoiepcensad/autoiepcensad-run.env
/lib/systemd/system/autoiepcensad-run.service
/lib/systemd/system/autoiepcensad-run@.service
/usr/bin/autoiepcensad
/usr/bin/autoiepcensad-run
/usr/lib/autoiepcensad/firebird-local-access.sh
/usr/lib/autoiepcensad/libautoiepcensad.so
/usr/share/applications/autoiepcensad.desktop
/usr/share/doc/autoiepcensad/changelog.gz
/usr/share/doc/autoiepcensad/copyright
/usr/share/icons/hicolor/16x16/apps/autoiepcensad.png
/usr/share/icons/hicolor/32x32/apps/autoiepcensad.png
/usr/share/man/man1/autoiepcensad-run.1.gz
/usr/share/man/man1/autoiepcensad.1.gz"

echo "== cpack"
(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack"; }
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb="${debs[0]}"
echo "$deb"

echo "== contents"
files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}' | sort)"
[ "$files" = "$expected_files" ] || fail "file list differs:
$(diff <(echo "$expected_files") <(echo "$files") || true)"
depends="$(dpkg-deb -f "$deb" Depends)"
for library in libfbclient2 libqt6widgets6 adduser; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library: $depends"
done
dpkg-deb -e "$deb" "$scratch/control"
for script in postinst prerm postrm; do
  [ -x "$scratch/control/$script" ] || fail "$script is not executable"
  ! grep -Eq 'systemctl +(start|enable|restart)|deb-systemd-invoke +start' "$scratch/control/$script" ||
    fail "$script starts or enables the service"
done
grep -qx /etc/autoiepcensad/autoiepcensad-run.env "$scratch/control/conffiles" || fail "the environment file is no conffile"

echo "== unpacked programs"
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
linked="$(ldd "$root/usr/bin/autoiepcensad")"
[[ "$linked" == *"libautoiepcensad.so => $root/usr/bin/../lib/autoiepcensad/"* ]] ||
  fail "the window program does not find its library through its RPATH: $linked"
help="$("$root/usr/bin/autoiepcensad-run" --help </dev/null)" || fail "--help exited $?"
[[ "$help" == *"--period"* ]] || fail "--help: $help"

export TALVIX_REGISTRY="$scratch/registry.reg"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
"$build/bin/make-demo-db" --out "$scratch/demo.fdb" --goods 30 --lines 1500 --register Demo >/dev/null
status=0
LD_DEBUG=files "$root/usr/bin/autoiepcensad-run" --passes 1 </dev/null >"$scratch/run.out" 2>"$scratch/run.err" ||
  status=$?
cat "$scratch/run.out"
[ "$status" -eq 0 ] || { grep -v "^ *[0-9]*:" "$scratch/run.err" || true; fail "autoiepcensad-run --passes 1 exited $status"; }
grep -q "FIFO piešķiršana pabeigta" "$scratch/run.out" || fail "no completed pass in the output"
grep -q "file=$root/usr/bin/../lib/autoiepcensad/libautoiepcensad.so " "$scratch/run.err" ||
  fail "the host did not load the unpacked library"
! grep -q "file=$build/" "$scratch/run.err" || fail "the host loaded something from the build tree"

echo "== service units"
if command -v systemd-analyze >/dev/null; then
  # The units as shipped, but pointing at the unpacked program, which verify wants to exist; the
  # template through an instance of it.
  mkdir "$scratch/unit"
  for unit in autoiepcensad-run.service autoiepcensad-run@.service; do
    sed "s#/usr/bin/autoiepcensad-run#$root/usr/bin/autoiepcensad-run#" \
      "$root/lib/systemd/system/$unit" >"$scratch/unit/$unit"
  done
  for unit in autoiepcensad-run.service autoiepcensad-run@Veikals.service; do
    report="$(systemd-analyze verify --man=no "$scratch/unit/$unit" 2>&1)" || fail "systemd-analyze verify $unit: $report"
    [ -z "$report" ] || fail "systemd-analyze verify $unit: $report"
    grep -qx "Type=notify" "$scratch/unit/${unit/@Veikals/@}" || fail "$unit is not Type=notify"
    echo "$unit verified"
  done
else
  echo "systemd-analyze not installed: skipped"
fi

echo "== lintian"
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" || fail "lintian reports errors"
else
  echo "lintian not installed: skipped"
fi
echo "package OK"
