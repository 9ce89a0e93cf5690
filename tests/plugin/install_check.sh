#!/usr/bin/env bash
# The README's install command: `cmake --install build --component plugin` puts both bundles
# in the installing user's home, where Linux hosts look for plug-ins (~/.vst3, ~/.lv2), whole
# and the same as the build's; an LV2 host that is told no path finds the plug-in there; and
# installing again (a new build over an old one) replaces the bundles.
#
# Usage: install_check.sh BUILD_DIR VST3_BUNDLE LV2_BUNDLE LV2_URI
set -euo pipefail
build=$1
vst3=$2
lv2=$3
uri=$4

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
fail() {
    echo "FAIL: $*" >&2
    find "$home" >&2
    exit 1
}
install_plugin() {
    HOME=$home cmake --install "$build" --component plugin >"$home/install.log" 2>&1 ||
        { cat "$home/install.log" >&2; fail "cmake --install failed"; }
}
same_bundle() { # built installed
    diff -r "$1" "$2" >/dev/null || fail "$2 differs from the built $1"
}

install_plugin
same_bundle "$vst3" "$home/.vst3/BattoMidiFx.vst3"
same_bundle "$lv2" "$home/.lv2/BattoMidiFx.lv2"
[ -f "$home/.vst3/BattoMidiFx.vst3/Contents/$(uname -m)-linux/BattoMidiFx.so" ] ||
    fail "the VST3 bundle has no library for $(uname -m)-linux"
# lilv's default path starts at ~/.lv2.
(unset LV2_PATH; HOME=$home lv2ls >"$home/lv2ls.txt")
grep -qx "$uri" "$home/lv2ls.txt" || fail "lv2ls does not find $uri in ~/.lv2"

# An older install is replaced, not kept beside the new one.
echo stale >"$home/.lv2/BattoMidiFx.lv2/manifest.ttl"
install_plugin
same_bundle "$lv2" "$home/.lv2/BattoMidiFx.lv2"
echo "both bundles installed into ~/.vst3 and ~/.lv2"
