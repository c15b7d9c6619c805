#!/usr/bin/env bash
# The desktop side of Kest32 as a distribution sees it: the menu entry, the
# AppStream data, the man pages, the bash completion, an install into a
# temporary DESTDIR and the Debian package.
# Usage: check-desktop.sh CHECK SOURCE_DIR BUILD_DIR
#   CHECK: desktop | appstream | man | completion | install | package
# Exit status 0 passed, 1 failed, 77 skipped (a tool is missing; the reason
# is printed).
set -uo pipefail

check=${1:?usage: check-desktop.sh CHECK SOURCE_DIR BUILD_DIR}
src=$(cd "${2:?}" && pwd)
build=$(cd "${3:?}" && pwd)
appstream_id=io.github.kest32.Kest32
with_ui=${KEST_WITH_UI:-1}  # 0: a build without the window, so without its desktop files

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }
skip() { echo "SKIPPED: $*"; exit 77; }
need() { command -v "$1" >/dev/null 2>&1 || skip "$1 is not installed ($2); scripts/install-deps.sh installs it"; }
finish() {
  if [ "$failures" -ne 0 ]; then echo "$check: $failures failure(s)"; exit 1; fi
  echo "$check: passed"
  exit 0
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/kest-desktop-XXXXXX")
trap 'rm -rf "$tmp"' EXIT

case $check in
desktop)
  need desktop-file-validate desktop-file-utils
  entry=$src/data/kest32.desktop
  if out=$(desktop-file-validate "$entry" 2>&1) && [ -z "$out" ]; then ok "desktop-file-validate"
  else fail "desktop-file-validate: $out"; fi
  grep -qx 'Exec=kest32 %f' "$entry" || fail "Exec is not 'kest32 %f'"
  grep -qx 'Icon=kest32' "$entry" || fail "Icon is not kest32"
  grep -q '^MimeType=.*text/x-log;' "$entry" || fail "no text/x-log (*.log) among the MIME types"
  grep -q '^Name\[ja\]=' "$entry" || fail "no Japanese name"
  grep -q '^GenericName\[ja\]=' "$entry" || fail "no Japanese generic name"
  # A file manager offers the entry for *.log only with a MIME database that
  # maps it to one of its types.
  if [ -f /usr/share/mime/packages/freedesktop.org.xml ]; then
    logtype=$(awk -F'"' '/<mime-type type=/ { type = $2 } /<glob pattern="\*\.log"/ { print type }' \
      /usr/share/mime/packages/freedesktop.org.xml)
    [ "$logtype" = text/x-log ] || fail "*.log is '$logtype', not text/x-log, in the MIME database"
  fi
  finish ;;

appstream)
  need appstreamcli appstream
  meta=$build/data/$appstream_id.metainfo.xml
  [ -f "$meta" ] || { fail "$meta was not configured"; finish; }
  if out=$(appstreamcli validate --no-net "$meta" 2>&1); then ok "appstreamcli validate --no-net"
  else fail "appstreamcli validate: $out"; fi
  grep -q '<launchable type="desktop-id">kest32.desktop</launchable>' "$meta" || fail "launchable is not kest32.desktop"
  grep -q '<screenshot type="default">' "$meta" || fail "no default screenshot"
  grep -q '<image>https\?://[^<]*\.png</image>' "$meta" || fail "the screenshot has no image address"
  grep -q '<summary xml:lang="ja">' "$meta" || fail "no Japanese summary"
  [ -f "$src/docs/screenshot.png" ] || fail "docs/screenshot.png, which the metainfo names, is missing (make screenshot)"
  finish ;;

man)
  need groff groff-base
  for page in "$src/data/man/kest32.1" "$src/data/man/ja/kest32.1"; do
    case $page in */ja/*) macros=(-mja -man) ;; *) macros=(-man) ;; esac
    warnings=$(preconv "$page" | groff "${macros[@]}" -Tutf8 -ww -z 2>&1)
    if [ -n "$warnings" ]; then fail "$page: $warnings"; else ok "$page renders without warnings"; fi
  done
  # Every option of the batch side is documented, in both languages.
  opts=$("$build/kest32" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
  [ -n "$opts" ] || fail "kest32 --help printed no options"
  for page in "$src/data/man/kest32.1" "$src/data/man/ja/kest32.1"; do
    text=$(preconv "$page" | groff -mja -man -Tutf8 2>/dev/null | sed 's/.\x08//g')
    for o in $opts; do
      grep -q -- "$o" <<<"$text" || fail "$page does not mention $o"
    done
  done
  finish ;;

completion)
  need bash bash
  # Completes as bash would, with or without bash-completion's helpers.
  run() {  # $1: with-helpers|plain, $2: the command line up to the cursor
    PATH="$build:$PATH" bash --norc --noprofile -c '
      t_mode=$1 t_script=$2 t_line=$3 t_dir=$4
      if [ "$t_mode" = with-helpers ]; then source /usr/share/bash-completion/bash_completion || exit 3; fi
      source "$t_script" || exit 3
      COMP_LINE=$t_line; COMP_POINT=${#t_line}
      # bash splits words at blanks and at "=" (COMP_WORDBREAKS); right after
      # an "=" the "=" itself is the word under the cursor.
      t_split=${t_line//=/ = }
      read -ra COMP_WORDS <<<"$t_split"
      case $t_line in *" ") COMP_WORDS+=("") ;; esac
      COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
      cd "$t_dir" || exit 3
      _kest32
      [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | tr "\n" " "
    ' _ "$1" "$src/data/bash-completion/kest32" "$2" "$tmp"
  }
  mkdir -p "$tmp/logs"; : >"$tmp/forum.log"; : >"$tmp/notes.txt"; : >"$tmp/image.png"; : >"$tmp/old.LZH"
  cp "$src/samples/forum.lzh" "$tmp/logs/forum.lzh"
  modes=(plain)
  [ -f /usr/share/bash-completion/bash_completion ] && modes+=(with-helpers)
  for mode in "${modes[@]}"; do
    expect() {  # line, expected replies
      local got; got=$(run "$mode" "$1")
      if [ "$got" = "$2" ]; then ok "[$mode] '$1' -> $got"; else fail "[$mode] '$1' gave '$got', not '$2'"; fi
    }
    expect 'kest32 --so' '--sort= '
    expect 'kest32 --sort=' 'content1 content2 remark '
    expect 'kest32 --sort=co' 'content1 content2 '
    expect 'kest32 --encoding=s' 'shift_jis '
    expect 'kest32 --columns=number,d' 'number,date '
    expect 'kest32 --columns=date,' 'date,number date,speaker '
    expect 'kest32 --list --e' '--encoding= --expand-all '
    expect 'kest32 --list --s' '--sort= '                # one command only
    expect 'kest32 --sh' '--show '
    expect 'kest32 --show ' ''                           # a remark number: nothing to offer
    expect 'kest32 --list ' 'forum.log logs notes.txt old.LZH '  # logs, text files, archives, folders
    expect 'kest32 --mem' '--member= --members '
    expect 'kest32 --list --member=x ' 'forum.log logs notes.txt old.LZH '
    expect 'kest32 --list logs/forum.lzh --member=' 'readme.txt ソフト談義.log 過去ログ/表示.log '
    expect 'kest32 --list logs/forum.lzh --member=過' '過去ログ/表示.log '
    expect 'kest32 --list -- --s' ''                     # after "--" only file names
    expect 'kest32 --list ima' 'image.png '              # any file when no log matches
    expect 'kest32 --ex' '--expand-all --export= '
    expect 'kest32 --export=' 'html text '
    expect 'kest32 --export ' 'html text '
    expect 'kest32 --export=html --th' '--thread= '
    expect 'kest32 --export=html --thread=' ''
    expect 'kest32 --export=html -o ' 'forum.log logs notes.txt ' # the file written: names as for a log
    expect 'kest32 --library-s' '--library-search '
    expect 'kest32 --library-search x --s' '--speaker= '   # the library's options
    expect 'kest32 --library-list --l' '--library= --limit= '
    expect 'kest32 --library-add ' 'logs '                 # folders only
    expect 'kest32 --library-search ' ''                  # free text: nothing to offer
  done
  [ ${#modes[@]} -eq 1 ] && echo "note: bash-completion is not installed; checked without its helpers only"
  finish ;;

install)
  need cmake cmake
  dest=$tmp/dest
  if ! out=$(DESTDIR=$dest cmake --install "$build" --prefix /usr 2>&1); then
    fail "cmake --install: $out"; finish
  fi
  usr=$dest/usr
  files=(bin/kest32
         share/man/man1/kest32.1.gz
         share/man/ja/man1/kest32.1.gz
         share/bash-completion/completions/kest32
         share/doc/kest32/README.md
         share/doc/kest32/examples/sample.log)
  if [ "$with_ui" = 1 ]; then
    module=$(cd "$usr" && ls lib*/kest32/kest32-window.so lib/*/kest32/kest32-window.so 2>/dev/null | head -n 1)
    [ -n "$module" ] || fail "the window module kest32-window.so is not installed under /usr/lib"
    files+=(share/applications/kest32.desktop
            share/metainfo/$appstream_id.metainfo.xml
            share/icons/hicolor/scalable/apps/kest32.svg)
  fi
  for f in "${files[@]}"; do
    if [ -f "$usr/$f" ]; then ok "/usr/$f"; else fail "/usr/$f is not installed"; fi
  done
  [ -x "$usr/bin/kest32" ] || fail "/usr/bin/kest32 is not executable"
  if [ -f "$src/help/KEST.HLP" ]; then
    cmp -s "$src/help/KEST.HLP" "$usr/share/kest32/KEST.HLP" && ok "/usr/share/kest32/KEST.HLP" ||
      fail "/usr/share/kest32/KEST.HLP is missing or differs from help/KEST.HLP"
  else
    echo "note: help/KEST.HLP is not in this tree; its install is not checked"
  fi
  if [ -f "$src/README.ja.md" ]; then
    [ -f "$usr/share/doc/kest32/README.ja.md" ] || fail "README.ja.md is not installed"
  fi
  gzip -t "$usr/share/man/man1/kest32.1.gz" "$usr/share/man/ja/man1/kest32.1.gz" || fail "a man page is no valid gzip file"
  if command -v readelf >/dev/null 2>&1 && readelf -d "$usr/bin/kest32" | grep -q "$build"; then
    fail "the installed program still points into the build folder (RUNPATH)"
  fi

  # The installed program runs from there, alone: no Kest.INI named, a home
  # folder of its own, the folder it sits in writable (as /usr/bin is for root).
  home=$tmp/home
  mkdir -p "$home"
  installed() { env -u KEST_INI -u XDG_CONFIG_HOME HOME="$home" "$usr/bin/kest32" "$@"; }
  version=$(installed --version) && [ "$version" = "Kest32 Version 1.50" ] &&
    ok "installed kest32 --version: $version" || fail "installed kest32 --version gave '$version'"
  sample=$usr/share/doc/kest32/examples/sample.log
  list=$(installed --list "$sample") || fail "installed kest32 --list failed"
  expected=$(KEST_INI=$tmp/none.ini "$build/kest32" --list "$src/samples/sample.log")
  [ -n "$list" ] && [ "$list" = "$expected" ] && ok "installed kest32 --list on the sample ($(wc -l <<<"$list") lines)" ||
    fail "installed kest32 --list differs from the build's"
  # Its settings live under XDG: a Kest.INI there decides the order of the list.
  mkdir -p "$home/.config/kest32"
  printf '[Option]\r\nSortType=0\r\n' >"$home/.config/kest32/Kest.INI"
  byNumber=$(installed --list "$sample")
  expected=$(KEST_INI=$tmp/none.ini "$build/kest32" --list --sort=remark "$src/samples/sample.log")
  [ "$byNumber" = "$expected" ] && ok "installed kest32 reads ~/.config/kest32/Kest.INI" ||
    fail "installed kest32 does not read ~/.config/kest32/Kest.INI"
  xdg=$tmp/xdg
  mkdir -p "$xdg/kest32"
  printf '[Option]\r\nSortType=2\r\n' >"$xdg/kest32/Kest.INI"
  full=$(HOME=$home XDG_CONFIG_HOME=$xdg "$usr/bin/kest32" --list "$sample")
  expected=$(KEST_INI=$tmp/none.ini "$build/kest32" --list --sort=content1 "$src/samples/sample.log")
  [ "$full" = "$expected" ] && ok "installed kest32 reads \$XDG_CONFIG_HOME/kest32/Kest.INI" ||
    fail "installed kest32 does not read \$XDG_CONFIG_HOME/kest32/Kest.INI"
  [ -e "$usr/bin/Kest.INI" ] && fail "the installed program left a Kest.INI among the programs"
  if [ "$with_ui" = 1 ]; then
    # The window side starts from the installed path, finds its Qt plugins and
    # keeps running until it is stopped (it is not closed, so writes nothing).
    QT_QPA_PLATFORM=offscreen timeout 3 env -u KEST_INI HOME="$home" "$usr/bin/kest32" "$sample" \
      >/dev/null 2>"$tmp/window.err"
    rc=$?
    [ "$rc" -eq 124 ] && ok "installed window starts and runs" ||
      fail "installed window ended with $rc: $(cat "$tmp/window.err")"
    # The program copied away from its module still runs its batch side, and
    # says what is missing when a window is asked for.
    mkdir -p "$tmp/alone"
    cp "$usr/bin/kest32" "$tmp/alone/"
    [ "$(env -u KEST_INI HOME="$home" "$tmp/alone/kest32" --list "$sample")" = "$list" ] &&
      ok "kest32 without its window module lists the sample" || fail "kest32 without its window module fails to list"
    QT_QPA_PLATFORM=offscreen timeout 10 env -u KEST_INI HOME="$home" "$tmp/alone/kest32" "$sample" \
      >/dev/null 2>"$tmp/alone.err"
    rc=$?
    [ "$rc" -eq 1 ] && grep -q 'kest32-window.so' "$tmp/alone.err" && ok "kest32 without its window module says so" ||
      fail "kest32 without its window module ended with $rc: $(cat "$tmp/alone.err")"
  fi
  finish ;;

package)
  need cpack cmake
  need dpkg-shlibdeps dpkg-dev
  need dpkg-deb dpkg
  out=$tmp/package
  if ! log=$(cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" 2>&1); then
    fail "cpack: $log"; finish
  fi
  deb=$(ls "$out"/kest32_*.deb 2>/dev/null | head -n 1)
  [ -n "$deb" ] || { fail "cpack made no kest32_*.deb: $log"; finish; }
  ok "$(basename "$deb")"
  depends=$(dpkg-deb -f "$deb" Depends)
  # Every shared library the packaged program needs comes from a package that
  # Depends names; and the two it cannot see are there.
  dpkg-deb -x "$deb" "$tmp/unpacked"
  # The program and, with the window, its module (which has the Qt libraries).
  binaries=("$tmp/unpacked/usr/bin/kest32")
  if [ "$with_ui" = 1 ]; then
    module=$(ls "$tmp"/unpacked/usr/lib/*/kest32/kest32-window.so "$tmp"/unpacked/usr/lib/kest32/kest32-window.so 2>/dev/null | head -n 1)
    [ -n "$module" ] && binaries+=("$module") || fail "the package has no window module"
  fi
  needed=$(for b in "${binaries[@]}"; do readelf -d "$b"; done | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort -u)
  [ -n "$needed" ] || fail "no shared libraries found in the packaged program"
  grep -q '^libQt6Widgets' <<<"$needed" || [ "$with_ui" != 1 ] || fail "the packaged window module needs no Qt Widgets"
  names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/:any//; s/^ *//; s/ *$//')
  resolved=$(for b in "${binaries[@]}"; do ldd "$b"; done)
  for lib in $needed; do
    path=$(awk -v l="$lib" '$1 == l && $2 == "=>" { print $3; exit }' <<<"$resolved")
    owner=""
    for p in "$path" "$(readlink -f "$path" 2>/dev/null)"; do
      [ -n "$p" ] && owner=$(dpkg -S "$p" 2>/dev/null | head -n 1 | cut -d: -f1) && [ -n "$owner" ] && break
    done
    [ -n "$owner" ] || { echo "note: no package owns $lib (${path:-not found}) here"; continue; }
    grep -qxF "$owner" <<<"$names" && ok "Depends: $owner ($lib)" ||
      fail "Depends lacks $owner, which has $lib: $depends"
  done
  if [ "$with_ui" = 1 ]; then
    for d in libqt6svg6 fonts-ipafont-gothic; do
      grep -qxF "$d" <<<"$names" && ok "Depends: $d" || fail "Depends lacks $d: $depends"
    done
  fi
  [ "$(dpkg-deb -f "$deb" Package)" = kest32 ] || fail "package name is not kest32"
  description=$(dpkg-deb -f "$deb" Description)
  grep -q 'パソコン通信' <<<"$description" || fail "no Japanese description"
  grep -q 'Shift-JIS text file' <<<"$description" || fail "no English description"
  # A summary line, then the long text: every line one space in, " ." between
  # paragraphs, the summary not repeated.
  summary=$(head -n 1 <<<"$description")
  [ -n "$summary" ] && ! grep -qF -- "$summary" <<<"$(tail -n +2 <<<"$description")" ||
    fail "the summary is missing or repeated in the long description"
  grep -qx ' \.' <<<"$description" || fail "the description has no paragraph break ' .'"
  if tail -n +2 <<<"$description" | grep -qv '^ [^ ]'; then
    fail "long description lines not indented by exactly one space: $description"
  fi
  contents=$(dpkg-deb -c "$deb")
  files=(./usr/bin/kest32 ./usr/share/man/man1/kest32.1.gz ./usr/share/bash-completion/completions/kest32)
  if [ "$with_ui" = 1 ]; then
    files+=(./usr/share/applications/kest32.desktop ./usr/share/metainfo/$appstream_id.metainfo.xml
            ./usr/share/icons/hicolor/scalable/apps/kest32.svg)
  fi
  for f in "${files[@]}"; do
    grep -q " $f\$" <<<"$contents" && ok "$f" || fail "$f is not in the package"
  done
  grep -q ' root/root ' <<<"$contents" || fail "files are not owned by root in the package"
  if grep -v ' root/root ' <<<"$contents" | grep -q .; then fail "files owned by another user than root"; fi
  finish ;;

*)
  echo "check-desktop.sh: unknown check '$check'" >&2
  exit 2 ;;
esac
