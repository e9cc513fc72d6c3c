#!/bin/sh
# Each man page given formats with no warning from groff (man --warnings) and has a NAME.
# Arguments: the pages.
command -v man >/dev/null || { echo "man is not installed (apt-get install man-db)" && exit 1; }
falhou=0
for p in "$@"; do
  avisos=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$p" 2>&1 >/dev/null)
  [ -z "$avisos" ] || { echo "$p: $avisos" && falhou=1; }
  LC_ALL=C.UTF-8 man -l "$p" 2>/dev/null | grep -q '^NAME' || { echo "$p: sem NAME" && falhou=1; }
done
exit $falhou
