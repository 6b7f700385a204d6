#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks what a desktop user gets: the program,
# its menu entry, icons, metainfo, manual page and bash completion, each validated by the
# tool the desktop uses for it.
#   tests/install/install_test.sh BUILD_DIR
set -euo pipefail
build=$1
id=org.corvane.Corvane
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log" >&2; rm -f "$prefix.log"; exit 1; }
rm -f "$prefix.log"

desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
manpage=$prefix/share/man/man1/corvane.1
completion=$prefix/share/bash-completion/completions/corvane
for f in "$prefix/bin/corvane" "$desktop" "$metainfo" "$manpage" "$completion" \
         "$prefix/share/icons/hicolor/scalable/apps/$id.svg" \
         "$prefix/share/doc/corvane/manual/index.md" "$prefix/share/doc/corvane/manual/masks.md"; do
  [ -f "$f" ] || fail "not installed: ${f#"$prefix"/}"
done

# The desktop entry: valid, starts the installed program, names the installed icon.
desktop-file-validate "$desktop" || fail "desktop-file-validate $id.desktop"
grep -qx 'Exec=corvane' "$desktop" || fail "Exec is not corvane"
grep -qx "Icon=$id" "$desktop" || fail "Icon is not $id"
grep -qx 'Terminal=false' "$desktop" || fail "Terminal is not false"

# The icon sizes: a PNG's width and height are bytes 16 to 23 (big-endian).
for size in 16 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
  if [ ! -f "$png" ]; then fail "no ${size}x${size} icon"; continue; fi
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
    awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w $h" = "$size $size" ] || fail "${size}x${size} icon is ${w}x${h}"
done

# The metainfo: valid, and pointing at the installed desktop entry.
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $id.metainfo.xml"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  fail "metainfo launchable is not $id.desktop"
grep -q '<release version="1.04"' "$metainfo" || fail "metainfo has no release 1.04"

# The manual page renders without a warning and names every option (-P-cbou: plain
# characters, no bold or underline sequences).
if ! out=$(groff -man -Tutf8 -ww -P-cbou "$manpage" 2>"$prefix/groff.err"); then fail "groff failed"; fi
[ ! -s "$prefix/groff.err" ] || { cat "$prefix/groff.err" >&2; fail "groff warnings"; }
for word in /autostart --list --plan --run --scheduler --show --set --fields --rename --delete \
            --yes --progress --help --version .CorvaneX crvn.log XDG_RUNTIME_DIR 'EXIT STATUS' \
            'PROFILE FIELDS' 'THE WINDOWS' 'The base-folder selection' 'The review window'; do
  grep -qF -- "$word" <<<"$out" || fail "manual page does not mention $word"
done

# The installed program runs.
version=$("$prefix/bin/corvane" --version) || fail "corvane --version exited with $?"
[[ "$version" == "Corvane 1.04 "* ]] || fail "corvane --version printed '$version'"

# The bash completion, driven as bash drives it, with the installed program on a profile
# store in a scratch HOME: options, profile names (quoted), field names and flag values.
home=$prefix/home
mkdir -p "$home/Left folder"
HOME=$home "$prefix/bin/corvane" --set "Pics 2026" "LeftPath=$home/Left folder" RightPath=/tmp \
  >/dev/null || fail "corvane --set for the completion test exited with $?"
complete_line() { # words... -> the completions, one per line
  HOME=$home PATH=$prefix/bin:$PATH bash -c '
    source "$0"
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _corvane
    printf "%s\n" "${COMPREPLY[@]}"' "$completion" "$@"
}
expect_completion() { # expected, then words
  local expected=$1; shift
  local got; got=$(complete_line "$@")
  grep -qxF -- "$expected" <<<"$got" || fail "completing '$*' gave '${got//$'\n'/ | }', not '$expected'"
}
expect_completion --show corvane --sh
expect_completion --delete corvane --de
expect_completion 'Pics\ 2026' corvane --show Pi
expect_completion 'Pics\ 2026' corvane --set ''
expect_completion --yes corvane --delete 'Pics\ 2026' --y
expect_completion --progress corvane --run 'Pics\ 2026' --pr
expect_completion 'Pics\ 2026' corvane --run --progress Pi
expect_completion ExactMirror= corvane --set 'Pics\ 2026' Exact
expect_completion LastRunResult= corvane --set 'Pics\ 2026' LastRun
expect_completion yes corvane --set 'Pics\ 2026' ExactMirror = y
expect_completion no corvane --set 'Pics\ 2026' Wait =
expect_completion 'LeftPath=/tmp/' corvane --set 'Pics\ 2026' LeftPath=/tm

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "installed tree checked: $prefix"
