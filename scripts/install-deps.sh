#!/usr/bin/env bash
# Installs the build and test tools gpusim needs on a Debian machine when they
# are missing, and the daemons the cluster tests start for themselves (a
# one-node Slurm cluster with munge, an sshd on the loopback address). As
# root it uses apt-get; otherwise it names what to install.
#   install-deps.sh         everything ./test.sh uses
#   install-deps.sh --run   only what ./run.sh needs to build and run the main
#                           job: the compiler and build tools (no test or
#                           benchmark libraries, gnuplot, help2man, packaging
#                           tools or daemons)
set -euo pipefail
run_only=false
[ "${1:-}" = "--run" ] && run_only=true

# GoogleTest and Google Benchmark build the tests and benchmarks; xmllint
# checks the XML traces in the tests; gnuplot draws gpusim-report's pictures
# (the tests draw some); help2man makes the manual pages; dpkg-dev and file
# let cpack build the Debian package, lintian checks it; clang and its
# libFuzzer runtime build the fuzz targets; Slurm, munge and ssh serve the
# cluster tests.
PACKAGES=(cmake g++ make ninja-build googletest libgtest-dev libgmock-dev libbenchmark-dev libxml2-utils
          gnuplot-nox help2man dpkg-dev file lintian clang libclang-rt-dev
          slurm-wlm munge openssh-server openssh-client)

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v make >/dev/null 2>&1 || missing+=(make)
command -v ninja >/dev/null 2>&1 || missing+=(ninja-build)
if ! $run_only; then
  command -v xmllint >/dev/null 2>&1 || missing+=(libxml2-utils)
  [ -f /usr/include/gtest/gtest.h ] || missing+=(googletest libgtest-dev)
  [ -f /usr/include/gmock/gmock.h ] || missing+=(libgmock-dev)
  [ -f /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
  command -v gnuplot >/dev/null 2>&1 || missing+=(gnuplot-nox)
  command -v help2man >/dev/null 2>&1 || missing+=(help2man)
  command -v dpkg-shlibdeps >/dev/null 2>&1 || missing+=(dpkg-dev)
  command -v file >/dev/null 2>&1 || missing+=(file)
  command -v lintian >/dev/null 2>&1 || missing+=(lintian)
  command -v clang++ >/dev/null 2>&1 || missing+=(clang)
  compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a" >/dev/null || missing+=(libclang-rt-dev)
  { command -v srun && command -v slurmctld && command -v slurmd; } >/dev/null 2>&1 || missing+=(slurm-wlm)
  { command -v munged && command -v mungekey; } >/dev/null 2>&1 || missing+=(munge)
  [ -x /usr/sbin/sshd ] || missing+=(openssh-server)
  { command -v ssh && command -v ssh-keygen; } >/dev/null 2>&1 || missing+=(openssh-client)
fi

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
else
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them as root with: apt-get install -y ${missing[*]}" >&2
  echo "(everything the build uses: apt-get install -y ${PACKAGES[*]})" >&2
  exit 1
fi
