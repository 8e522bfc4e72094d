#!/usr/bin/env bash
# Installs the built library into a fresh prefix and builds tests/install/host.c against that tree
# twice, as a host programmer would: once with pkg-config, once with find_package. Each host runs.
#   install_test.sh <build dir> <work dir> <C compiler>
set -euo pipefail
build=$1 work=$2 cc=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

libdir=$(dirname "$(find "$prefix" -name 'libqz7engine.so' | head -n 1)")
[ -L "$libdir/libqz7engine.so" ] || { echo "no development link libqz7engine.so"; exit 1; }
soname=$(readelf -d "$libdir/libqz7engine.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libqz7engine.so.1 ] || { echo "unexpected SONAME '$soname'"; exit 1; }

# pkg-config: the one compile line the README shows.
export PKG_CONFIG_PATH=$libdir/pkgconfig
"$cc" -std=c11 -Wall -Wextra -Werror "$here/host.c" $(pkg-config --cflags --libs qz7engine) \
  -Wl,-rpath,"$libdir" -o "$work/host_pkgconfig"
"$work/host_pkgconfig"

# find_package: a CMake project that knows only the prefix.
mkdir -p "$work/cmake_host"
cp "$here/host.c" "$work/cmake_host/"
cat > "$work/cmake_host/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(q7host LANGUAGES C)
find_package(qz7engine 1 REQUIRED)
add_executable(host host.c)
target_link_libraries(host PRIVATE qz7engine::qz7engine)
CMAKE
cmake -S "$work/cmake_host" -B "$work/cmake_host/build" -G Ninja -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake_host/build" >/dev/null
"$work/cmake_host/build/host"
