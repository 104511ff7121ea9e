#!/bin/sh
# Prints the install prefix of a static OpenSSL libcrypto cross-built for a mingw-w64 target
# (x86_64 or i686), building it first when the cache does not hold it yet. The sources are the
# upstream tarball of Debian's OpenSSL source package for the release the machine runs; the
# build lands in ${ZQXMLU_CACHE:-$XDG_CACHE_HOME/zqxmlu} (default ~/.cache/zqxmlu), outside any
# clone, keyed by version and target, so it is made once per machine.
#   scripts/openssl-mingw.sh x86_64|i686
# Progress goes to stderr; stdout carries only the prefix.
set -eu
target=${1:?usage: openssl-mingw.sh x86_64|i686}
case $target in
  x86_64) config=mingw64 ;;
  i686) config=mingw ;;
  *) echo "openssl-mingw.sh: unknown target $target" >&2; exit 2 ;;
esac
cache=${ZQXMLU_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zqxmlu}
mkdir -p "$cache"
# The newest tarball already fetched wins; otherwise ask apt which one the release's main suite
# holds (the security suite's entry for a newer version may not answer).
tarball=$(ls "$cache"/src/openssl_*.orig.tar.gz 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$tarball" ]; then
  . /etc/os-release
  mkdir -p "$cache/src"
  if ! apt-get source --print-uris "openssl/$VERSION_CODENAME" >/dev/null 2>&1; then
    # No source entries yet: derive them from the machine's own binary entries.
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && grep -q '^Types: deb$' "$f" || continue
      sed 's/^Types: deb$/Types: deb-src/' "$f" |
        $sudo tee "/etc/apt/sources.list.d/zqxmlu-src-$(basename "$f")" >/dev/null
    done
    if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list; then
      grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
        $sudo tee /etc/apt/sources.list.d/zqxmlu-src.list >/dev/null
    fi
    $sudo apt-get update -qq >&2
  fi
  (cd "$cache/src" && apt-get source --download-only "openssl/$VERSION_CODENAME" >&2)
  tarball=$(ls "$cache"/src/openssl_*.orig.tar.gz | sort -V | tail -n 1)
fi
version=$(basename "$tarball" .orig.tar.gz)
version=${version#openssl_}
prefix="$cache/openssl-$version-$target-w64-mingw32"
if [ ! -f "$prefix/.complete" ]; then
  echo "openssl-mingw.sh: building libcrypto $version for $target-w64-mingw32 into $prefix" >&2
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  tar -xzf "$tarball" -C "$work"
  cd "$work"/openssl-*
  ./Configure "$config" no-shared no-tests --prefix="$prefix" --libdir=lib \
    --cross-compile-prefix="$target-w64-mingw32-" >&2
  make -j"$(nproc)" build_generated >&2
  make -j"$(nproc)" libcrypto.a >&2
  rm -rf "$prefix"
  mkdir -p "$prefix/lib" "$prefix/include"
  cp libcrypto.a "$prefix/lib/"
  cp -R include/openssl "$prefix/include/"
  touch "$prefix/.complete"
fi
echo "$prefix"
