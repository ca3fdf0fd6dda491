#!/usr/bin/env bash
# Installs a build into a scratch folder the way the package does (/usr under
# DESTDIR) and checks what a desktop finds there: the program in bin/, a valid
# desktop entry that starts it with the themed icon, the icon in each size of
# the hicolor theme, and AppStream metadata that validates with the tree.
#   install-test.sh <build folder> <application id>
set -euo pipefail

build=$1
id=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
usr="$root/usr"
entry="$usr/share/applications/$id.desktop"
metainfo="$usr/share/metainfo/$id.metainfo.xml"
sizes=(32 64 128 256)

expected=(usr/bin/corvane-dutch-patch "usr/share/applications/$id.desktop"
    "usr/share/metainfo/$id.metainfo.xml")
for size in "${sizes[@]}"; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
installed=$(cd "$root" && find . -type f -printf '%P\n' | sort)
[ "$installed" = "$(printf '%s\n' "${expected[@]}" | sort)" ] ||
    fail "installed files differ:"$'\n'"$installed"
[ -x "$usr/bin/corvane-dutch-patch" ] || fail "the program is not executable"

desktop-file-validate "$entry" || fail "desktop entry is not valid"
appstreamcli validate --no-net --explain "$metainfo" || fail "metainfo is not valid"
appstreamcli validate-tree --no-net --explain "$usr" || fail "the installed tree is not valid"

# The entry starts the installed program by name and shows the themed icon.
[ "$(sed -n 's/^Exec=//p' "$entry")" = corvane-dutch-patch ] || fail "Exec is not the program"
[ "$(sed -n 's/^Icon=//p' "$entry")" = "$id" ] || fail "Icon is not $id"
for size in "${sizes[@]}"; do
    cmp "$build/packaging/icons/$id-$size.png" \
        "$usr/share/icons/hicolor/${size}x${size}/apps/$id.png" ||
        fail "the ${size}x${size} icon is not the ${size}-pixel image"
done
echo "installed and valid: ${#expected[@]} files"
