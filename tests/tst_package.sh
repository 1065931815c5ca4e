#!/usr/bin/env bash
# The Debian package of a build folder: its control fields, its files at their places, manual pages that render
# without warnings and document every option, exit status and variable of the batch program, and desktop and
# software-centre entries that validate and name what the package holds.
#   tst_package.sh <build-dir> <version> <quorlex-label-batch of that build> <quorlex-label-printer of that build>
# Exits 77 (a skip for ctest) only when a tool it needs is not installed.
set -uo pipefail

build="$1" version="$2" batch="$3" printer="$4"

for tool in cpack file dpkg-shlibdeps dpkg-deb dpkg-parsechangelog man appstreamcli desktop-file-validate; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (./test installs it)"
        exit 77
    fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack did not make the package"
    exit 1
fi
deb="$work/cpack/quorlex-label_${version}_$(dpkg --print-architecture).deb"
if [ ! -f "$deb" ]; then
    echo "FAIL: no $(basename "$deb"); cpack wrote: $(cd "$work/cpack" && echo *.deb)"
    exit 1
fi

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quorlex-label ] || fail "Package is \"$(field Package)\""
[ "$(field Version)" = "$version" ] || fail "Version is \"$(field Version)\", not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is \"$(field Architecture)\""
[ "$(field Section)" = utils ] || fail "Section is \"$(field Section)\""
[ "$(field Priority)" = optional ] || fail "Priority is \"$(field Priority)\""
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer is \"$(field Maintainer)\""
description="$(field Description)"
[ "$(printf '%s\n' "$description" | wc -l)" -ge 3 ] || fail "Description has no extended part"
printf '%s\n' "$description" | awk 'length($0) > 79 { exit 1 }' || fail "Description has lines over 79 characters"
depends="$(field Depends)"
# Linked libraries come from dpkg-shlibdeps; the platform plugins and the font are not linked.
for needed in qt6-qpa-plugins fonts-nanum fonts-wqy-zenhei libqt6widgets6 libqt6serialport6 libqt6svg6 libqt6network6 libqt6gui6 libqt6core6 libc6 libcups2; do
    [[ ", $depends," =~ ,\ ${needed}[\ ,] ]] || fail "Depends lacks $needed: $depends"
done

# Files at their places.
dpkg-deb -c "$deb" | awk '{ print $1, $6 }' >"$work/contents"
expect_file() {
    local mode="$1" path="$2"
    grep -qxF -- "$mode ./$path" "$work/contents" || fail "the package has no $mode $path"
}
expect_file -rwxr-xr-x usr/bin/quorlex-label
expect_file -rwxr-xr-x usr/bin/quorlex-label-batch
expect_file -rwxr-xr-x usr/bin/quorlex-label-printer
expect_file -rw-r--r-- usr/lib/quorlex-label/libquorlex-label-output.so
expect_file -rw-r--r-- usr/lib/quorlex-label/libquorlex-label-cups.so
expect_file -rw-r--r-- usr/lib/quorlex-label/libquorlex-label-preview.so
expect_file -rw-r--r-- usr/lib/quorlex-label/libquorlex-label-serial.so
expect_file -rw-r--r-- usr/lib/quorlex-label/libquorlex-label-printer-window.so
expect_file -rw-r--r-- usr/share/applications/quorlex-label.desktop
expect_file -rw-r--r-- usr/share/applications/quorlex-label-printer.desktop
expect_file -rw-r--r-- usr/share/icons/hicolor/scalable/apps/quorlex-label.svg
expect_file -rw-r--r-- usr/share/metainfo/org.example.quorlex_label.metainfo.xml
expect_file -rw-r--r-- usr/share/man/man1/quorlex-label.1.gz
expect_file -rw-r--r-- usr/share/man/man1/quorlex-label-batch.1.gz
expect_file -rw-r--r-- usr/share/man/man1/quorlex-label-printer.1.gz
expect_file -rw-r--r-- usr/share/doc/quorlex-label/copyright
expect_file -rw-r--r-- usr/share/doc/quorlex-label/changelog.gz
stray="$(grep -v -E ' \./usr/((bin|lib/quorlex-label|share/(applications|icons|metainfo|man|doc))(/.*)?|share/|lib/)?$' "$work/contents")"
[ -z "$stray" ] || fail "files outside the expected folders: $(tr '\n' ' ' <<<"$stray")"

root="$work/root"
dpkg-deb -x "$deb" "$root"
share="$root/usr/share"

# The programs find their own libraries where the package puts them, the batch draws its pictures with the
# preview library, and libcups is loaded only for a CUPS queue: without the CUPS library a queue fails with
# the file that is missing, and other ports still work.
for program in quorlex-label quorlex-label-batch; do
    missing="$(ldd "$root/usr/bin/$program" | grep 'not found')" && fail "$program from the package misses: $missing"
done
one_label=(--size 3M --item AB --version V1)
"$root/usr/bin/quorlex-label-batch" "${one_label[@]}" --preview "$work/pictures" >/dev/null 2>&1 &&
    [ -s "$work/pictures/job-00001.png" ] || fail "--preview from the package drew no picture"
rm "$root/usr/lib/quorlex-label/libquorlex-label-cups.so"
without="$("$root/usr/bin/quorlex-label-batch" "${one_label[@]}" --port cups:labels 2>&1)"
[ $? -eq 1 ] && grep -q 'libquorlex-label-cups.so, which is missing (install the package quorlex-label again)' <<<"$without" ||
    fail "without the CUPS library, a CUPS queue says: $without"
"$root/usr/bin/quorlex-label-batch" "${one_label[@]}" --dry-run >/dev/null ||
    fail "without the CUPS library, --dry-run fails"
listed="$("$root/usr/bin/quorlex-label-batch" --list-ports 2>&1)"
grep -q 'CUPS queues are not listed: CUPS queues need' <<<"$listed" || fail "--list-ports without the CUPS library: $listed"
rm "$root/usr/lib/quorlex-label/libquorlex-label-serial.so"
without="$(QUORLEX_LABEL_COM1=/dev/ttyS0 "$root/usr/bin/quorlex-label-batch" "${one_label[@]}" --port com1 2>&1)"
[ $? -eq 1 ] && grep -q 'libquorlex-label-serial.so, which is missing (install the package quorlex-label again)' <<<"$without" ||
    fail "without the serial library, COM1 says: $without"

zcat "$share/doc/quorlex-label/changelog.gz" >"$work/changelog"
changelog_version="$(dpkg-parsechangelog -l "$work/changelog" -S Version 2>&1)"
[ "$changelog_version" = "$version" ] || fail "the changelog's newest entry is \"$changelog_version\", not $version"

# Manual pages: they render at 80 columns without a warning, with the sections a reader looks for.
render() { MANWIDTH=80 man -l --warnings "$1" 2>"$work/man-warnings"; }
for page in quorlex-label quorlex-label-batch quorlex-label-printer; do
    text="$(render "$share/man/man1/$page.1.gz")"
    if [ -s "$work/man-warnings" ]; then
        fail "$page(1) renders with warnings: $(head -c 2000 "$work/man-warnings")"
    fi
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT "EXIT STATUS" EXAMPLES "SEE ALSO"; do
        grep -qx "$section" <<<"$text" || fail "$page(1) has no $section section"
    done
    grep -q "Quorlex Label $version" <<<"$text" || fail "$page(1) does not carry version $version"
done

# Whatever the batch program's --help lists, its manual page documents: every option as a tagged paragraph,
# every variable in ENVIRONMENT, every exit status in EXIT STATUS.
help="$("$batch" --help)" || fail "quorlex-label-batch --help failed"
# The tag lines of .TP and .TQ paragraphs, with roff's \- read as -.
batch_tags="$(zcat "$share/man/man1/quorlex-label-batch.1.gz" | awk '/^\.T[PQ]/ { getline; print }' | sed 's/\\-/-/g')"
batch_text="$(render "$share/man/man1/quorlex-label-batch.1.gz")"
section_of() { awk -v want="$1" '/^[A-Z]/ { inside = ($0 == want); next } inside' <<<"$2"; }
options="$(sed -n '/^Options:$/,/^$/p' <<<"$help" | grep -oE '^ +(-[a-z], )?--[a-z][a-z-]*' | grep -oE -- '--[a-z-]+')"
[ "$(wc -l <<<"$options")" -ge 10 ] || fail "too few options read from --help: $options"
for option in $options; do
    grep -qE -- "(^|[ \"])$option([ \"]|\$)" <<<"$batch_tags" ||
        fail "quorlex-label-batch(1) has no paragraph for $option"
done
variables="$(grep -oE 'QUORLEX_[A-Z0-9_]+' <<<"$help" | sort -u)"
[ -n "$variables" ] || fail "no environment variables read from --help"
for variable in $variables; do
    for page in quorlex-label quorlex-label-batch; do
        page_text="$(render "$share/man/man1/$page.1.gz")"
        section_of ENVIRONMENT "$page_text" | grep -qE "^ +$variable\$" ||
            fail "$page(1) does not describe $variable under ENVIRONMENT"
    done
done
statuses="$(sed -n '/^Exit status:$/,/^$/p' <<<"$help" | grep -oE '^ +[0-9]+ ' | tr -d ' ')"
[ -n "$statuses" ] || fail "no exit statuses read from --help"
for status in $statuses; do
    section_of "EXIT STATUS" "$batch_text" | grep -qE "^ +$status( |\$)" ||
        fail "quorlex-label-batch(1) does not explain exit status $status"
done

# Every option the printer's --help lists has a paragraph in its manual page, and so has every exit status.
printer_help="$("$printer" --help)" || fail "quorlex-label-printer --help failed"
printer_tags="$(zcat "$share/man/man1/quorlex-label-printer.1.gz" | awk '/^\.T[PQ]/ { getline; print }' | sed 's/\\-/-/g')"
printer_text="$(render "$share/man/man1/quorlex-label-printer.1.gz")"
printer_options="$(sed -n '/^Options:$/,/^$/p' <<<"$printer_help" | grep -oE '^ +(-[a-z], )?--[a-z][a-z-]*' | grep -oE -- '--[a-z-]+')"
[ "$(wc -l <<<"$printer_options")" -ge 10 ] || fail "too few options read from the printer's --help: $printer_options"
for option in $printer_options; do
    grep -qE -- "(^|[ \"])$option([ \"]|\$)" <<<"$printer_tags" ||
        fail "quorlex-label-printer(1) has no paragraph for $option"
done
for status in $(sed -n '/^Exit status:$/,/^$/p' <<<"$printer_help" | grep -oE '^ +[0-9]+ ' | tr -d ' '); do
    section_of "EXIT STATUS" "$printer_text" | grep -qE "^ +$status( |\$)" ||
        fail "quorlex-label-printer(1) does not explain exit status $status"
done

# The desktop entries validate without a hint, and name a program and an icon the package installs.
for desktop in "$share/applications/quorlex-label.desktop" "$share/applications/quorlex-label-printer.desktop"; do
    report="$(desktop-file-validate "$desktop" 2>&1)" || fail "desktop-file-validate $desktop failed"
    [ -z "$report" ] || fail "desktop-file-validate reports: $report"
    exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
    [ -x "$root/usr/bin/$exec_name" ] || fail "$desktop starts \"$exec_name\", which the package does not install"
    icon_name="$(sed -n 's/^Icon=//p' "$desktop")"
    [ -f "$share/icons/hicolor/scalable/apps/$icon_name.svg" ] || fail "$desktop's icon \"$icon_name\" is not installed"
done
# The printer's entry opens its window, which the package can load.
grep -q '^Exec=quorlex-label-printer --window$' "$share/applications/quorlex-label-printer.desktop" ||
    fail "the printer's desktop entry does not open its window"
missing="$(ldd "$root/usr/lib/quorlex-label/libquorlex-label-printer-window.so" | grep 'not found')" &&
    fail "the printer's window library from the package misses: $missing"
# The installed printer finds its window library beside its other libraries: it opens the window and stays
# until it is ended (timeout's status 124), not ending at once with the library missing.
opened="$(QT_QPA_PLATFORM=offscreen timeout 3 "$root/usr/bin/quorlex-label-printer" --window --listen 127.0.0.1:0 \
    --out "$work/labels" 2>&1 </dev/null)"
status=$?
[ "$status" -eq 124 ] || fail "the installed printer's --window ended with status $status: ${opened:0:300}"

# The software-centre entry validates (without fetching its addresses) and names this release and the desktop
# entry.
metainfo="$share/metainfo/org.example.quorlex_label.metainfo.xml"
report="$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1)" || fail "appstreamcli validate: $report"
newest="$(grep -oE '<release [^>]*version="[^"]+"' "$metainfo" | head -1 | sed 's/.*version="\([^"]*\)"/\1/')"
[ "$newest" = "$version" ] || fail "the metainfo's newest release is \"$newest\", not $version"
grep -q '<screenshot type="default">' "$metainfo" || fail "the metainfo has no default screenshot"
launchable="$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")"
[ -f "$share/applications/$launchable" ] || fail "the metainfo launches \"$launchable\", which is not installed"

if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "PASS: $(basename "$deb"), $(wc -l <"$work/contents") entries, $(wc -w <<<"$options") options documented"
