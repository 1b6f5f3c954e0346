#!/usr/bin/env bash
# Installs the Debian 12 packages velscan needs that this machine lacks, and
# nothing when none is missing (so it can run before every build).
#
#   tools/setup.sh [demo|tests|ci]      (default: demo)
#
#   demo   what the demo workflow builds with: the compiler, CMake, Ninja,
#          libpng, libcrypto, zlib, nlohmann-json and three.js
#   tests  demo's, and what the test workflow needs: GoogleTest, Google
#          Benchmark and the independent readers the export's checks use
#          (Open3D, Pillow, Chromium, CloudCompare, the PCL tools, Node and
#          the E57 reader pinned by tests/package-lock.json, which `npm ci`
#          installs into tests/node_modules)
#   ci     tests', and what the rest of CI needs: clang's sanitizer runtime
#          (fuzz), the MinGW-w64 cross compiler and its zlib, GoogleTest's
#          sources, Wine, socat, ccache, unzip and dpkg-dev (the packages)
#
# Run it as root; as another user it asks sudo for the apt-get calls only.
set -euo pipefail

demo=(cmake ninja-build g++ libpng-dev libssl-dev zlib1g-dev nlohmann-json3-dev libjs-three)
tests=("${demo[@]}" libgtest-dev libgmock-dev libbenchmark-dev python3-numpy python3-open3d python3-pil
       chromium cloudcompare pcl-tools nodejs)
ci=("${tests[@]}" clang libclang-rt-14-dev googletest g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 wine
    socat ccache unzip dpkg-dev)

case ${1:-demo} in
demo) packages=("${demo[@]}") ;;
tests) packages=("${tests[@]}") ;;
ci) packages=("${ci[@]}") ;;
*)
    sed -n '5,17p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
    ;;
esac

# The E57 reader of the export's check, from the npm registry at the version
# tests/package-lock.json pins, when it is not there yet.
node_readers() {
    [[ ${1:-demo} == demo || -f tests/node_modules/web-e57/package.json ]] && return 0
    echo "setup: installing the Node readers of tests/package-lock.json (npm ci in tests/)"
    (cd tests && npm ci --no-audit --no-fund)
}
cd "$(dirname "$0")/.."

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm comes with some builds of nodejs, as a package of its own with Debian's.
[[ ${1:-demo} == demo ]] || command -v npm >/dev/null || missing+=(npm)
if ((${#missing[@]} == 0)); then
    echo "setup: every package for '${1:-demo}' is installed"
    node_readers "${1:-demo}"
    exit 0
fi

as_root=()
if [[ $(id -u) != 0 ]]; then
    command -v sudo >/dev/null || {
        echo "setup: these packages are missing: ${missing[*]}; run this as root to install them" >&2
        exit 1
    }
    as_root=(sudo)
fi
echo "setup: installing ${missing[*]}"
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
node_readers "${1:-demo}"
