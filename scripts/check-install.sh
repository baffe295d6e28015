#!/usr/bin/env bash
# Checks the installation: installs the program from a build folder into a
# temporary prefix (never into the system), checks that every file lands where
# a desktop expects it, validates the desktop entry and the AppStream metainfo,
# checks the copyright file and the changelog, and starts the installed binary
# offscreen for a moment.
#
#   scripts/check-install.sh [BUILD_DIR]      (default: $TOLMERA_BUILD_DIR or build)
#
# Needs desktop-file-utils, appstream and file (scripts/install-deps.sh --ci
# installs them); installs no packages itself. Exits non-zero on any failure.
set -uo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="${1:-${TOLMERA_BUILD_DIR:-$here/build}}"
app=tolmera-reader
# Desktop entry, icons and AppStream data are named by the reverse domain name;
# the command, the manual page and the documentation folder by the app name.
id=example.tolmera.reader

failures=0
ok() { echo "ok    $*"; }
fail() {
    echo "FAIL  $*"
    failures=$((failures + 1))
}

for tool in cmake desktop-file-validate appstreamcli file gzip timeout; do
    command -v "$tool" >/dev/null || {
        echo "check-install: $tool is missing (scripts/install-deps.sh --ci installs it)" >&2
        exit 2
    }
done

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 2
fi
cmake --build "$build" --target tolmera-reader tolmera-reader-man tolmera-reader-changelog -j2 >/dev/null || {
    echo "check-install: building $build failed" >&2
    exit 2
}

work=$(mktemp -d "${TMPDIR:-/tmp}/tolmera-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
if cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    ok "cmake --install $build --prefix <temp>"
else
    cat "$work/install.log"
    fail "cmake --install"
    exit 1
fi

share="$prefix/share"
desktop="$share/applications/$id.desktop"
metainfo="$share/metainfo/$id.metainfo.xml"
manpage="$share/man/man1/$app.1.gz"
copyright="$share/doc/$app/copyright"
changelog="$share/doc/$app/changelog.gz"

# Every file in its place, and nothing else.
expected=(
    "bin/$app"
    "share/applications/$id.desktop"
    "share/metainfo/$id.metainfo.xml"
    "share/man/man1/$app.1.gz"
    "share/doc/$app/copyright"
    "share/doc/$app/changelog.gz"
    "share/icons/hicolor/scalable/apps/$id.svg"
)
sizes=(16 22 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for f in "${expected[@]}"; do
    [ -f "$prefix/$f" ] && ok "$f" || fail "$f is missing"
done
( cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort ) >"$work/installed"
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
extra=$(comm -23 "$work/installed" "$work/expected")
[ -z "$extra" ] && ok "no other files installed" || fail "unexpected files installed: $extra"

[ -x "$prefix/bin/$app" ] && ok "bin/$app is executable" || fail "bin/$app is not executable"

# Each PNG has the size its folder names.
for size in "${sizes[@]}"; do
    png="$share/icons/hicolor/${size}x${size}/apps/$id.png"
    [ -f "$png" ] || continue
    if file -b "$png" | grep -q "^PNG image data, $size x $size,"; then
        ok "icon ${size}x${size} is a ${size} x ${size} PNG"
    else
        fail "icon ${size}x${size}: $(file -b "$png")"
    fi
done
svg="$share/icons/hicolor/scalable/apps/$id.svg"
[ -f "$svg" ] && { file -b "$svg" | grep -q SVG && ok "scalable icon is SVG" || fail "scalable icon: $(file -b "$svg")"; }

# The desktop entry.
if [ -f "$desktop" ]; then
    if desktop-file-validate "$desktop" >"$work/dfv.log" 2>&1 && [ ! -s "$work/dfv.log" ]; then
        ok "desktop-file-validate"
    else
        cat "$work/dfv.log"
        fail "desktop-file-validate"
    fi
    exec_key=$(sed -n 's/^Exec=//p' "$desktop")
    icon_key=$(sed -n 's/^Icon=//p' "$desktop")
    [ "${exec_key%% *}" = "$app" ] && [ -x "$prefix/bin/${exec_key%% *}" ] \
        && ok "Exec=$exec_key names the installed binary" || fail "Exec=$exec_key does not name bin/$app"
    [ "$icon_key" = "$id" ] && [ -f "$svg" ] \
        && ok "Icon=$icon_key is in the hicolor theme" || fail "Icon=$icon_key is not the installed icon"
fi

# Qt tells the window system the desktop file name; if it differed from the
# installed entry, the desktop would not match the running window to it.
if [ -x "$prefix/bin/$app" ]; then
    grep -a -q -F "$id" "$prefix/bin/$app" \
        && ok "bin/$app names its desktop entry $id" || fail "bin/$app does not name the desktop id $id"
fi

# The AppStream metainfo: appstreamcli fails on any warning or error. It notes
# (as information only) that it does not know the top-level domain "example".
if [ -f "$metainfo" ]; then
    if appstreamcli validate --no-net "$metainfo" >"$work/as.log" 2>&1; then
        ok "appstreamcli validate --no-net"
    else
        cat "$work/as.log"
        fail "appstreamcli validate --no-net"
    fi
    if appstreamcli validate-tree --no-net "$prefix" >"$work/ast.log" 2>&1; then
        ok "appstreamcli validate-tree --no-net"
    else
        cat "$work/ast.log"
        fail "appstreamcli validate-tree --no-net"
    fi
    grep -q "<id>$id</id>" "$metainfo" && ok "metainfo id is $id" || fail "metainfo id is not $id"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
        && ok "metainfo launches $id.desktop" || fail "metainfo has no launchable $id.desktop"
    grep -q "<project_license>GPL-3.0-or-later</project_license>" "$metainfo" \
        && ok "metainfo licence GPL-3.0-or-later" || fail "metainfo does not give the licence GPL-3.0-or-later"
fi

# The copyright file in Debian's machine-readable format, and the changelog.
if [ -f "$copyright" ]; then
    head -n 1 "$copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' \
        && grep -q '^License: GPL-3.0-or-later$' "$copyright" \
        && ok "copyright is machine-readable, GPL-3.0-or-later" || fail "copyright is not the machine-readable GPL-3.0-or-later file"
fi
if [ -f "$changelog" ]; then
    if gzip -t "$changelog" && gzip -dc "$changelog" | head -n 1 | grep -q "^$app (.*) .*; urgency="; then
        ok "changelog.gz is a gzipped Debian changelog"
    else
        fail "changelog.gz is not a gzipped Debian changelog"
    fi
fi

# The manual page.
if [ -f "$manpage" ]; then
    if gzip -t "$manpage" && gzip -dc "$manpage" | grep -q '^\.TH TOLMERA-READER 1 '; then
        ok "manual page is a gzipped section-1 page"
    else
        fail "manual page is not a gzipped section-1 page"
    fi
    if command -v man >/dev/null; then
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$manpage" 2>&1 >/dev/null)
        [ -z "$warnings" ] && ok "man -l renders without warnings" || fail "man -l: $warnings"
    fi
fi

# The installed binary starts: offscreen it runs until the timeout ends it.
# An empty configuration folder keeps it away from the user's device map.
mkdir -p "$work/config"
XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen timeout 3 "$prefix/bin/$app" >"$work/run.log" 2>&1
status=$?
if [ "$status" -eq 124 ]; then
    ok "bin/$app starts (still running after 3 s)"
else
    cat "$work/run.log"
    fail "bin/$app ended with status $status within 3 s"
fi

if [ "$failures" -ne 0 ]; then
    echo "check-install: $failures check(s) failed"
    exit 1
fi
echo "check-install: all checks passed"
