#!/usr/bin/env bash
# Neither program loads libcups, or what it brings (GnuTLS, Kerberos, Avahi), nor QtSerialPort and libudev at
# start: the CUPS library is loaded only when a CUPS queue is used, the serial library on the first serial port.
#   tst_linked_libraries.sh <program>...
set -uo pipefail
failures=0
for program in "$@"; do
    if ! libraries="$(ldd "$program")"; then
        echo "FAIL: ldd could not read $program"
        failures=$((failures + 1))
        continue
    fi
    if unwanted="$(grep -E 'lib(cups|gnutls|krb5|gssapi|avahi|Qt6SerialPort|udev)' <<<"$libraries")"; then
        echo "FAIL: $program loads at start: $unwanted"
        failures=$((failures + 1))
    fi
    grep -q 'libquorlex-label-output' <<<"$libraries" || {
        echo "FAIL: $program does not load the output library"
        failures=$((failures + 1))
    }
done
[ "$failures" -eq 0 ] && echo "PASS: $# programs without libcups and QtSerialPort"
exit $((failures > 0))
