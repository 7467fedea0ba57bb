#!/usr/bin/env bash
# Checks the installation and the Debian package of a built tree (everything
# built, manual pages included):
#   test-package.sh <build dir>
# 1. cmake --install into a scratch prefix: the executables in bin/,
#    trace.dtd and the README under share/, a manual page per executable,
#    the copyright file and changelog; every relative link of the installed
#    README and docs resolves there.
# 2. cpack -G DEB: lintian finds no error in it (its warnings are printed),
#    its executables are stripped; then the package is installed with dpkg,
#    run from PATH and removed again. As root, dpkg works on a scratch root whose package
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
for file in bin/gpusim bin/gpusim-report share/gpusim/trace.dtd share/doc/gpusim/README.md \
    share/doc/gpusim/copyright share/doc/gpusim/changelog.gz; do
  [ -f "$prefix/$file" ] || fail "cmake --install left out $file"
done
for program in "$prefix"/bin/*; do
  name=$(basename "$program")
  case $name in gpusim|gpusim-*) ;; *) fail "cmake --install installed $name, which is not a user command" ;; esac
  zcat "$prefix/share/man/man1/$name.1.gz" | grep -q "^\.TH " || fail "no manual page for $name"
done
# The installed documentation is read without the source tree: whatever it
# links (pictures, other pages) is installed beside it.
links=0
while IFS= read -r page; do
  while IFS= read -r target; do
    case $target in *://*|mailto:*|'#'*) continue ;; esac
    target=${target%%#*}
    [ -e "$(dirname "$page")/$target" ] || fail "${page#"$prefix"/} links $target, which is not installed"
    links=$((links + 1))
  done < <(grep -oE '\]\([^) ]+' "$page" | sed 's/^](//')
done < <(find "$prefix/share/doc/gpusim" -name '*.md')
echo "test-package: cmake --install: $(cd "$prefix" && find . -type f | sort | tr '\n' ' ')"
echo "test-package: the installed documentation's $links relative links all resolve"

# --- the Debian package ----------------------------------------------------
(cd "$build" && cpack -G DEB -B "$scratch/cpack") >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack -G DEB"; }
deb=$(ls "$scratch"/cpack/gpusim_*.deb)
echo "test-package: built $(basename "$deb"), Depends: $(dpkg-deb -f "$deb" Depends)"

# lintian: an error fails the test, warnings are shown.
command -v lintian >/dev/null 2>&1 || fail "lintian is not installed (scripts/install-deps.sh installs it)"
lintian_status=0
lintian "$deb" >"$scratch/lintian.log" 2>&1 || lintian_status=$?
sed 's/^/test-package: lintian: /' "$scratch/lintian.log"
[ "$lintian_status" -eq 0 ] || fail "lintian found errors in $(basename "$deb") (status $lintian_status)"
echo "test-package: lintian: no errors"

root=$scratch/root
if [ "$(id -u)" -eq 0 ]; then
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
  cp /var/lib/dpkg/status "$root/var/lib/dpkg/status"
  scratch_dpkg() { dpkg --root="$root" --log=/dev/null "$@"; }
  scratch_dpkg -i "$deb" >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log"; fail "dpkg -i"; }
else
  dpkg -x "$deb" "$root"
fi

unstripped=$(file "$root"/usr/bin/* | grep -v ', stripped$' || true)
[ -z "$unstripped" ] || fail "executables in the package are not stripped: $unstripped"

# The installed copy, found through PATH.
installed_version=$(PATH="$root/usr/bin:$PATH" gpusim --version)
[ "$(PATH="$root/usr/bin:$PATH" command -v gpusim)" = "$root/usr/bin/gpusim" ] || fail "gpusim is not found on PATH"
[ "$installed_version" = "gpusim $version" ] || fail "installed gpusim --version says '$installed_version'"
(cd "$scratch" && PATH="$root/usr/bin:$PATH" gpusim -N 50 -a run.txt >/dev/null 2>&1 &&
  PATH="$root/usr/bin:$PATH" gpusim-report run.txt >report.txt) || fail "the installed executables do not run"
grep -q "^1  *write_ok  *50 " "$scratch/report.txt" || fail "unexpected report: $(cat "$scratch/report.txt")"
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
