#!/usr/bin/env bash
# No program loads libcups, or what it brings (GnuTLS, Kerberos, Avahi), nor QtSerialPort and libudev at
# start: the CUPS library is loaded only when a CUPS queue is used, the serial library on the first serial port.
# The virtual printer loads no widgets either: its window's library is loaded only for --window.
#   tst_linked_libraries.sh <program>...
set -uo pipefail
failures=0
for program in "$@"; do
    if ! libraries="$(ldd "$program")"; then
        echo "FAIL: ldd could not read $program"
        failures=$((failures + 1))
        continue
    fi
    # The printer needs QtNetwork, which brings Kerberos; it must bring neither CUPS nor widgets.
    unwanted_pattern='lib(cups|gnutls|krb5|gssapi|avahi|Qt6SerialPort|udev)'
    [ "$(basename "$program")" = quorlex-label-printer ] &&
        unwanted_pattern='lib(cups|avahi|Qt6SerialPort|udev|Qt6Widgets|quorlex-label-printer-window)'
    if unwanted="$(grep -E "$unwanted_pattern" <<<"$libraries")"; then
        echo "FAIL: $program loads at start: $unwanted"
        failures=$((failures + 1))
    fi
    # The window and the batch send through the shared output library; the printer only answers, without it.
    if [ "$(basename "$program")" = quorlex-label-printer ]; then
        if grep -q 'libquorlex-label-output' <<<"$libraries"; then
            echo "FAIL: $program loads the output library"
            failures=$((failures + 1))
        fi
    elif ! grep -q 'libquorlex-label-output' <<<"$libraries"; then
        echo "FAIL: $program does not load the output library"
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] && echo "PASS: $# programs without libcups and QtSerialPort, the printer without widgets"
exit $((failures > 0))
