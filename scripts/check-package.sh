#!/usr/bin/env bash
# Builds the Debian package and checks what can be checked without installing
# it: its contents, the extracted programs' --version, the desktop entries,
# the metainfo, the man pages, lintian, and the maintainer scripts run twice
# against a scratch folder instead of /var/lib/wdx.
# Usage: scripts/check-package.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-${WDX_BUILD_DIR:-$here/build}}" && pwd)"
version="$(sed -n 's/^project(WDXTools VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb="$build/wdx-tools_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no package $deb"
echo "== $deb"
dpkg-deb -f "$deb" Package Version Depends

dpkg-deb -c "$deb" >"$work/list"
for f in usr/bin/WDXMonitor usr/bin/WDXClntAdmin usr/bin/WDXReg usr/bin/WDXBrokerSim \
    usr/share/applications/com.corvanta.WDXMonitor.desktop usr/share/applications/com.corvanta.WDXClntAdmin.desktop \
    usr/share/metainfo/com.corvanta.WDXMonitor.metainfo.xml usr/share/metainfo/com.corvanta.WDXClntAdmin.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/wdx-tools.svg usr/share/wdx/Documentation/NPXDeploy.chm \
    usr/share/doc/wdx-tools/copyright usr/share/doc/wdx-tools/changelog.gz \
    usr/share/doc/wdx-tools/protocol.md usr/share/doc/wdx-tools/store.md; do
  grep -q " \./$f\( \|$\)" "$work/list" || fail "$f is not in the package"
done
for size in 16 22 24 32 48 64 128 256; do
  grep -q "\./usr/share/icons/hicolor/${size}x${size}/apps/wdx-tools.png" "$work/list" || fail "no ${size} px icon"
done
for man in "$here"/dist/man/*.1; do
  grep -q "\./usr/share/man/man1/$(basename "$man").gz" "$work/list" || fail "$(basename "$man") is not in the package"
done

dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
for p in "$work"/root/usr/bin/*; do
  name="$(basename "$p")"
  [ "$name" = WDXMonitor ] && continue # its command line knows only -debug; About tells its version
  out="$("$p" --version)" || fail "$name --version failed"
  [ "$out" = "$name $version" ] || fail "$name --version says '$out', not '$name $version'"
  echo "$out"
done
strings -n 3 "$work/root/usr/bin/WDXMonitor" | grep -x "$version" >/dev/null || fail "WDXMonitor does not carry $version"

desktop-file-validate "$work"/root/usr/share/applications/*.desktop
appstreamcli validate --no-net "$work"/root/usr/share/metainfo/*.xml
for man in "$work"/root/usr/share/man/man1/*.gz; do
  warnings="$(MANWIDTH=80 man --warnings -l "$man" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "$(basename "$man"): $warnings"
done
lintian --tag-display-limit 0 --fail-on error "$deb"

# The maintainer scripts, twice each, on a scratch System store (as root only:
# they make a group). The programs are the extracted ones.
if [ "$(id -u)" -eq 0 ]; then
  group="wdxc$$"
  store="$work/var/lib/wdx"
  for s in postinst prerm postrm; do
    sed -e "s#/var/lib/wdx#$store#g" -e "s#^GROUP=.*#GROUP=$group#" "$work/control/$s" >"$work/$s"
  done
  export PATH="$work/root/usr/bin:$PATH"
  unset WDX_USER_STORE
  run() { WDX_SYSTEM_STORE=/nonexistent/elsewhere.sqlite sh "$work/$1" "$2" 2>&1; }
  cleanup_group() { getent group "$group" >/dev/null && groupdel "$group" || true; }
  trap 'cleanup_group; rm -rf "$work"' EXIT
  run postinst configure && run postinst configure
  [ "$(stat -c '%U:%G %a' "$store")" = "root:$group 2775" ] || fail "store folder is $(stat -c '%U:%G %a' "$store")"
  [ "$(stat -c '%G %A' "$store/system-store.sqlite")" = "$group -rw-rw-r--" ] ||
    fail "store file is $(stat -c '%G %A' "$store/system-store.sqlite"), not the group's to write"
  reg() { WDX_SYSTEM_STORE="$store/system-store.sqlite" WDXReg "$@"; }
  reg query 'HKLM\SOFTWARE\Corvanta\VKR_Client' -v ClientDir | grep -q '/usr/share/wdx/Client' || fail "ClientDir not set"
  reg add 'HKLM\SOFTWARE\Corvanta\VKR_Client' -v ClientDir -d /opt/mine -f >/dev/null
  run postinst configure
  reg query 'HKLM\SOFTWARE\Corvanta\VKR_Client' -v ClientDir | grep -q '/opt/mine' || fail "ClientDir overwritten"
  # Remove keeps it; purge keeps a store holding definitions, and says so.
  reg add 'HKLM\SOFTWARE\Corvanta\VKR_Client\B1' -v HostName -d h >/dev/null
  run prerm remove && run postrm remove && run prerm remove
  run postrm purge | tee "$work/purge.out"
  [ -f "$store/system-store.sqlite" ] || fail "purge deleted a store holding definitions"
  grep -q "kept" "$work/purge.out" || fail "purge did not say it kept the store"
  run postrm purge >/dev/null
  # Without definitions purge deletes the store, its folder and the group.
  reg delete 'HKLM\SOFTWARE\Corvanta\VKR_Client\B1' -f >/dev/null
  run prerm remove && run postrm purge && run postrm purge
  [ ! -e "$store" ] || fail "purge left $store"
  ! getent group "$group" >/dev/null || fail "purge left the group"
  echo "maintainer scripts: twice each, remove keeps, purge keeps definitions: ok"
fi
echo "check-package: ok"
