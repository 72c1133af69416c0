#!/bin/sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# Outrigger is loaded into foreign processes: it may depend on libc (and libdl) only.
needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "NEEDED:" $needed
# Nothing listed would mean readelf could not read the library; grep prints any other dependency.
[ -n "$needed" ] && ! echo "$needed" | grep -Ev '^lib(c|dl)\.so\.'
