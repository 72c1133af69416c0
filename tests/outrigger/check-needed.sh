#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Outrigger is loaded into foreign processes: it may depend on libc (and libdl) only.
set -e
needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "NEEDED: $needed"
for lib in $needed; do
  case "$lib" in
    libc.so.*|libdl.so.*) ;;
    *) echo "error: $1 needs $lib"; exit 1 ;;
  esac
done
