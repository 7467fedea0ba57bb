#!/usr/bin/env bash
# Checks the installation and the Debian package of a built tree (everything
# built, manual pages included):
#   test-package.sh <build dir>
# 1. cmake --install into a scratch prefix: the executables in bin/,
#    trace.dtd and the README under share/, a manual page per executable.
# 2. cpack -G DEB, then the package is installed with dpkg, run from PATH and
#    removed again. As root, dpkg works on a scratch root whose package
#    database is a copy of this machine's, so the package's dependencies are
#    checked against the installed system while the system itself is left
#    untouched; otherwise the package is unpacked with dpkg -x.
# Prints what it checked; exits non-zero at the first failure.
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d /tmp/gpusim-package-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "test-package: FAILED: $*" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

# --- cmake --install -------------------------------------------------------
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" || { cat "$scratch/install.log"; fail "cmake --install"; }
for file in bin/gpusim bin/gpusim-report share/gpusim/trace.dtd share/doc/gpusim/README.md; do
  [ -f "$prefix/$file" ] || fail "cmake --install left out $file"
done
for program in "$prefix"/bin/*; do
  name=$(basename "$program")
  case $name in gpusim|gpusim-*) ;; *) fail "cmake --install installed $name, which is not a user command" ;; esac
  zcat "$prefix/share/man/man1/$name.1.gz" | grep -q "^\.TH " || fail "no manual page for $name"
done
echo "test-package: cmake --install: $(cd "$prefix" && find . -type f | sort | tr '\n' ' ')"

# --- the Debian package ----------------------------------------------------
(cd "$build" && cpack -G DEB -B "$scratch/cpack") >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack -G DEB"; }
deb=$(ls "$scratch"/cpack/gpusim_*.deb)
echo "test-package: built $(basename "$deb"), Depends: $(dpkg-deb -f "$deb" Depends)"

root=$scratch/root
if [ "$(id -u)" -eq 0 ]; then
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
  cp /var/lib/dpkg/status "$root/var/lib/dpkg/status"
  scratch_dpkg() { dpkg --root="$root" --log=/dev/null "$@"; }
  scratch_dpkg -i "$deb" >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log"; fail "dpkg -i"; }
else
  dpkg -x "$deb" "$root"
fi

# The installed copy, found through PATH.
installed_version=$(PATH="$root/usr/bin:$PATH" gpusim --version)
[ "$(PATH="$root/usr/bin:$PATH" command -v gpusim)" = "$root/usr/bin/gpusim" ] || fail "gpusim is not found on PATH"
[ "$installed_version" = "gpusim $version" ] || fail "installed gpusim --version says '$installed_version'"
(cd "$scratch" && PATH="$root/usr/bin:$PATH" gpusim -N 50 -a run.txt >/dev/null 2>&1 &&
  PATH="$root/usr/bin:$PATH" gpusim-report run.txt >report.txt) || fail "the installed executables do not run"
grep -q "^1    write_ok  *50 " "$scratch/report.txt" || fail "unexpected report: $(cat "$scratch/report.txt")"
echo "test-package: installed copy runs: $installed_version"

if [ "$(id -u)" -eq 0 ]; then
  scratch_dpkg -r gpusim >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log"; fail "dpkg -r"; }
  # dpkg removes the directories it emptied, /usr included.
  left=0
  [ -d "$root/usr" ] && left=$(find "$root/usr" -type f | wc -l)
  [ "$left" -eq 0 ] || fail "dpkg -r left $left files behind"
  state=$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${db:Status-Status}' gpusim 2>/dev/null || true)
  [ "$state" = "not-installed" ] || [ -z "$state" ] || fail "after dpkg -r gpusim is '$state'"
  echo "test-package: dpkg -i, run from PATH, dpkg -r: clean"
fi
echo "test-package: OK"
