#!/usr/bin/env bash
# Builds the .deb, unpacks it into a scratch root and runs the installed
# command-line tools from there; every library the programs load must come
# from a package the .deb depends on.
set -euo pipefail
build=$(cd "$1" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$stage/pkg" > "$stage/cpack.log") || { cat "$stage/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$stage"/pkg/*.deb)
dpkg-deb -x "$deb" "$stage/root"
depends=$(dpkg-deb -f "$deb" Depends)
echo "package: $(basename "$deb")"
echo "depends: $depends"

root=$stage/root
desktop=usr/share/applications/selvantrix.desktop
metainfo=usr/share/metainfo/pl.selvantrix.selvantrix.metainfo.xml
rule=usr/lib/udev/rules.d/60-selvantrix-modemmanager.rules
pages=(usr/share/man/man1/selvantrix.1.gz usr/share/man/man1/selvantrix-cli.1.gz usr/share/man/man1/selvantrix-tdb.1.gz)
for f in usr/bin/selvantrix usr/bin/selvantrix-cli usr/bin/selvantrix-tdb \
         "$desktop" usr/share/icons/hicolor/scalable/apps/selvantrix.svg \
         usr/share/bash-completion/completions/selvantrix-cli "$metainfo" "$rule" "${pages[@]}"; do
  [ -f "$root/$f" ] || fail "$f is not in the package"
done
grep -qx 'Exec=selvantrix' "$root/$desktop" || fail "desktop entry Exec"
grep -q '^Categories=.*Utility' "$root/$desktop" || fail "desktop entry category"
desktop-file-validate "$root/$desktop" || fail "desktop entry invalid"

# Software centres read the metainfo; its newest release is this package's.
appstreamcli validate --no-net "$root/$metainfo" || fail "the metainfo does not validate"
version=$(dpkg-deb -f "$deb" Version)
grep -q "<release version=\"$version\"" "$root/$metainfo" || fail "the metainfo has no release $version"
grep -q '<launchable type="desktop-id">selvantrix.desktop</launchable>' "$root/$metainfo" \
  || fail "the metainfo does not launch the desktop entry"

# Every line of the udev rule is a comment, blank or an adapter ModemManager
# is to leave alone (udevadm of Debian 12 cannot check a rules file).
while IFS= read -r line; do
  [[ -z $line || $line == "#"* ]] && continue
  [[ $line =~ ^ATTRS\{idVendor\}==\"[0-9a-f]{4}\",\ ATTRS\{idProduct\}==\"[0-9a-f]{4}\",\ ENV\{ID_MM_DEVICE_IGNORE\}=\"1\"$ ]] \
    || fail "udev rule line not understood: $line"
done < "$root/$rule"
# Each adapter it is made for.
for id in 0403:6001 0403:6010 0403:6014 0403:6015 067b:2303 10c4:ea60 10c4:ea70 1a86:7523 1a86:5523 1a86:55d4; do
  grep -q "ATTRS{idVendor}==\"${id%:*}\", ATTRS{idProduct}==\"${id#*:}\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"" "$root/$rule" \
    || fail "the udev rule leaves $id to ModemManager"
done

# The manual pages render with every groff warning on, and whatis can read
# their names.
for page in "${pages[@]}"; do
  warnings=$(zcat "$root/$page" | groff -k -man -Tutf8 -ww -z 2>&1) || fail "$page does not render"
  [ -z "$warnings" ] || fail "$page renders with warnings: $warnings"
  lexgrog "$root/$page" > /dev/null || fail "whatis cannot read the name of $page"
done

# The installed tools run on their own, with a home of their own.
export HOME=$stage/home XDG_DATA_HOME=$stage/home/.local/share
mkdir -p "$HOME"
"$root/usr/bin/selvantrix-cli" --help > "$stage/help.txt" || fail "selvantrix-cli --help exit status"
grep -q '^commands:' "$stage/help.txt" || fail "selvantrix-cli --help output"
# The installed manual page tells of every command the installed program has.
commands=$(awk '/^commands:/ {on = 1; next} on && /^  [a-z]/ {print $1} on && !/^  / {on = 0}' "$stage/help.txt")
[ -n "$commands" ] || fail "no commands in selvantrix-cli --help"
zcat "$root/usr/share/man/man1/selvantrix-cli.1.gz" | groff -k -man -Tutf8 -P-cbu -rHY=0 -rLL=200n 2> /dev/null \
  > "$stage/cli-page.txt"
for command in $commands; do
  grep -Eq "^ +$command( |$)" "$stage/cli-page.txt" || fail "the manual page of selvantrix-cli lacks the command $command"
done
# The installed completion, sourced as bash-completion would, asks the
# installed program for its commands.
offered=$(bash -c 'source "$1" && COMP_WORDS=("$2" con) COMP_CWORD=1 && _selvantrix_cli && echo "${COMPREPLY[*]}"' \
            _ "$root/usr/share/bash-completion/completions/selvantrix-cli" "$root/usr/bin/selvantrix-cli") \
  || fail "the installed bash completion does not run"
[ "$offered" = config ] || fail "the installed bash completion offers [$offered] for \"con\""
"$root/usr/bin/selvantrix-tdb" init "$stage/db.tdb" || fail "selvantrix-tdb init"
[ "$("$root/usr/bin/selvantrix-tdb" check "$stage/db.tdb")" = ok ] || fail "the new database does not check ok"

# Each shared library a program names must be the file of a depended-on package.
package_of() {
  local path=$1 candidate
  for candidate in "$path" "$(readlink -f "$path")" "/usr$path" "${path#/usr}"; do
    dpkg -S "$candidate" 2> /dev/null | awk -F: 'NR == 1 {print $1}' | grep . && return 0
  done
  return 1
}
for bin in "$root"/usr/bin/*; do
  for lib in $(objdump -p "$bin" | awk '$1 == "NEEDED" {print $2}'); do
    # awk reads to the end: an early exit would kill ldconfig with SIGPIPE,
    # and pipefail would end the script without a word.
    path=$(ldconfig -p | awk -v l="$lib" '$1 == l && /x86-64|64bit/ && !found {print $NF; found = 1}')
    [ -n "$path" ] || path=$(ldconfig -p | awk -v l="$lib" '$1 == l && !found {print $NF; found = 1}')
    [ -n "$path" ] || fail "$(basename "$bin") needs $lib, which this machine does not have"
    pkg=$(package_of "$path") || fail "no package owns $path"
    [[ ", $depends," == *", $pkg "* || ", $depends," == *", $pkg,"* ]] \
      || fail "$(basename "$bin") needs $lib from $pkg, which the package does not depend on"
  done
done
echo "ok"
