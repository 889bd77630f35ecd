#!/usr/bin/env bash
# The till bundle: build-win32/smartdriver-<version>-win32.zip holds what a till needs and what an
# integrator checks it with (the stripped DLL, the C interface, the three tools, the SDK headers, a sample
# Kestmark.INI, README-till.txt and the licence), and build-win32/smartdriver-<version>-win32-debug.zip
# holds the DLL's debug information. Builds what is missing first; prints the files and their sizes.
#   scripts/package-win32.sh               (BUILD_DIR=build-win32, JOBS=N as for build-win32.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${BUILD_DIR:-build-win32}"
BUILD_DIR="$build_dir" scripts/build-win32.sh --target smartdriver smartdriver-c smartdriver-host smartdriver-log \
  smartdriver-emulator >/dev/null
command -v zip >/dev/null || { echo "package-win32: zip is missing (scripts/setup.sh installs it)" >&2; exit 1; }
# The binutils' prefix of the build's compiler (i686-w64-mingw32, or x86_64-w64-mingw32 for the test build).
prefix="$(sed -n 's|^CMAKE_CXX_COMPILER_AR:FILEPATH=.*/\([^/]*-w64-mingw32\)-gcc-ar.*|\1|p' "$build_dir/CMakeCache.txt")"
prefix="${prefix:-i686-w64-mingw32}"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")"
[ -n "$version" ] || { echo "package-win32: no project version in $build_dir/CMakeCache.txt" >&2; exit 1; }
bin="$build_dir/bin"
# The 64-bit test build's bundle (where 32-bit programs cannot run, CI checks that one) says so in its name.
suffix=win32
[ "$prefix" = x86_64-w64-mingw32 ] && suffix=win64
name="smartdriver-$version-$suffix"
stage="$build_dir/package"
rm -rf "$stage" "$build_dir/$name.zip" "$build_dir/$name-debug.zip"
mkdir -p "$stage/$name/include" "$stage/debug"

for file in smartdriver.dll smartdriver-c.dll smartdriver-host.exe smartdriver-log.exe smartdriver-emulator.exe; do
  [ -f "$bin/$file" ] || { echo "package-win32: the build made no $bin/$file" >&2; exit 1; }
  cp "$bin/$file" "$stage/$name/"
done
# The DLL ships stripped, its debug information in a file of its own that a debugger finds by its link.
# A build that already split them gives both; otherwise they are split here.
if [ -f "$bin/smartdriver.dll.debug" ]; then
  cp "$bin/smartdriver.dll.debug" "$stage/debug/"
else
  "$prefix-objcopy" --only-keep-debug "$stage/$name/smartdriver.dll" "$stage/debug/smartdriver.dll.debug"
  "$prefix-strip" --strip-debug "$stage/$name/smartdriver.dll"
  (cd "$stage/debug" && "$prefix-objcopy" --add-gnu-debuglink=smartdriver.dll.debug "../$name/smartdriver.dll")
fi
# The tools are for checking a till, not for debugging it.
for file in smartdriver-c.dll smartdriver-host.exe smartdriver-log.exe smartdriver-emulator.exe; do
  "$prefix-strip" --strip-debug "$stage/$name/$file"
done
# The MinGW runtime DLLs go along only when a bundled file imports them.
runtime=()
imports="$("$prefix-objdump" -p "$stage/$name"/*.dll "$stage/$name"/*.exe | sed -n 's/^[[:space:]]*DLL Name: //p')"
for dll in libstdc++-6.dll libgcc_s_dw2-1.dll libwinpthread-1.dll; do
  if grep -qixF "$dll" <<<"$imports"; then
    [ -f "$bin/$dll" ] || { echo "package-win32: the bundle needs $dll, which is not in $bin" >&2; exit 1; }
    cp "$bin/$dll" "$stage/$name/"
    runtime+=("$dll")
  fi
done
cp -R include/smartdriver "$stage/$name/include/"

# Texts for Windows: CRLF line ends; the readme in UTF-8 with its mark, so that Notepad shows the Cyrillic.
crlf() { sed 's/$/\r/'; }
printf '%s\n' "; Settings of the card-terminal driver: copy to C:\\ZEMO\\Kestmark.INI and set IP, Port and Portbn." \
  "; Built-in values are shown; a missing key keeps its built-in value." \
  "[RemoteDiscount]" \
  "; host of both servers, a name or a dotted address" "IP=localhost" \
  "; discount server port" "Port=6010" \
  "; cashless server port" "Portbn=6010" \
  "; how long an operation waits for its reply, in milliseconds" "bWaitTimeOut=10000" \
  "; 0 switches the operation log off" "bEnableLog=1" | crlf >"$stage/$name/Kestmark.INI.sample"
if [ ${#runtime[@]} -gt 0 ]; then
  runtime_ru="  ${runtime[*]}
                           библиотеки среды выполнения: положите рядом с smartdriver.dll."
  runtime_en="  ${runtime[*]}
                           the runtime's DLLs: put them beside smartdriver.dll."
else
  runtime_ru="Драйверу нужен только файл smartdriver.dll: других DLL рядом с ним не требуется."
  runtime_en="The driver needs smartdriver.dll alone: no other DLL has to stand beside it."
fi
{
  printf '\xef\xbb\xbf'
  VERSION="$version" RUNTIME_RU="$runtime_ru" RUNTIME_EN="$runtime_en" awk '
    { gsub(/@VERSION@/, ENVIRON["VERSION"]) }
    /^@RUNTIME_RU@$/ { print ENVIRON["RUNTIME_RU"]; next }
    /^@RUNTIME_EN@$/ { print ENVIRON["RUNTIME_EN"]; next }
    { print }' scripts/till/README-till.txt | crlf
} >"$stage/$name/README-till.txt"
crlf <LICENSE >"$stage/$name/LICENSE"

# Fixed times and order, so that the same build gives the same zip.
find "$stage" -exec touch -h -d "@${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}" {} +
(cd "$stage" && find "$name" | LC_ALL=C sort | zip -X -q "../$name.zip" -@)
(cd "$stage/debug" && zip -X -q "../../$name-debug.zip" smartdriver.dll.debug)
echo "package-win32: $build_dir/$name.zip"
unzip -l "$build_dir/$name.zip"
echo "package-win32: $build_dir/$name-debug.zip"
unzip -l "$build_dir/$name-debug.zip"
