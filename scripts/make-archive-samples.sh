#!/bin/sh
# Writes the sample archives of samples/ from our own sample logs, packed as
# the members of PC-communication services packed theirs, with the tool that
# made each named:
#
#   samples/sample-short.log  the first twenty remarks of sample.log, which
#                             most archives hold (Shift-JIS, CR LF)
#   samples/forum.lzh   jlha (Debian jlha-utils), one header level a member:
#       ソフト談義.log       level 0, -lh5-: "ソ" is 0x83 0x5C, its second byte
#                           the folder separator of level 0
#       過去ログ/表示.log    level 1, -lh6-: in a folder, "表" is 0x95 0x5C; the
#                           short log in EUC-JP with LF line ends
#       readme.txt          level 2, -lh7-: no log
#   samples/one-log.lzh  jlha, level 2, -lh7-: sample.log whole, in UTF-8 with
#                        LF line ends, alone (an archive of one log)
#   samples/lharc.lzh   scripts/LhaWrite.java through jlha's library
#                       (libjlha-java): ソフト.log at level 0 with -lh1-, as
#                       LHarc 1.x packed it (libarchive lists the archive,
#                       liblhasa unpacks the member), and レベル3.log at
#                       level 3 with -lh5-
#   samples/larc.lzh    scripts/LhaWrite.java: 過去ログ\表示.log at level 0 with
#                       -lz5-, as LArc packed it; libarchive lists it, liblhasa
#                       unpacks it
#   samples/forum.zip   zip (Info-ZIP): ソフト談義.log and 過去ログ/readme.txt,
#                       names in Shift-JIS, not flagged as UTF-8
#   samples/utf8-names.zip  python3's zipfile: ゆーてぃーえふ/サンプル.log, its
#                       name flagged as UTF-8 (Info-ZIP's zip, as packaged,
#                       never sets the flag); the short log in UTF-8
#
# Every member is dated 1996-04-10 23:15 UTC. The script checks what it wrote
# by listing every archive with lha (Debian lhasa) and unzip.
#
# Needs: jlha-utils, zip, unzip, lhasa, python3, iconv.
# Usage:  sh scripts/make-archive-samples.sh   (from anywhere)
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export TZ=UTC

# The short log: sample.log up to its 21st remark.
python3 - "$root/samples/sample.log" "$root/samples/sample-short.log" <<'EOF'
import sys
data = open(sys.argv[1], "rb").read()
cut = data.index(b"\r\n00321/") + 2
open(sys.argv[2], "wb").write(data[:cut])
EOF

stamp=199604102315
sjis() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }

# jlha runs on Java: names from the command line and the disk are read as
# UTF-8, and written into the headers in Shift-JIS.
jlha_sjis() { LC_ALL=C.UTF-8 JAVA_TOOL_OPTIONS=-Dlha.encoding=MS932 jlha "$@" 2>&1 | grep -v JAVA_TOOL_OPTIONS || true; }

mkdir "$tmp/lzh" "$tmp/lzh/過去ログ"
cp samples/sample-short.log "$tmp/lzh/ソフト談義.log"
iconv -f CP932 -t EUC-JP-MS samples/sample-short.log | sed 's/\r$//' > "$tmp/lzh/過去ログ/表示.log"
printf 'These logs are fictitious; see README.md.\r\n' > "$tmp/lzh/readme.txt"
find "$tmp/lzh" -exec touch -t $stamp {} +
rm -f samples/forum.lzh
(cd "$tmp/lzh" && jlha_sjis a0o5q forum.lzh ソフト談義.log \
  && jlha_sjis a1o6q forum.lzh 過去ログ/表示.log \
  && jlha_sjis a2o7q forum.lzh readme.txt)
cp "$tmp/lzh/forum.lzh" samples/forum.lzh

mkdir "$tmp/one"
iconv -f CP932 -t UTF-8 samples/sample.log | sed 's/\r$//' > "$tmp/one/sample.log"
touch -t $stamp "$tmp/one/sample.log"
rm -f samples/one-log.lzh
(cd "$tmp/one" && jlha_sjis a2o7q one-log.lzh sample.log)
cp "$tmp/one/one-log.lzh" samples/one-log.lzh

lhawrite() { java -Dlha.encoding=MS932 -cp /usr/share/java/jlha.jar scripts/LhaWrite.java "$@"; }
lhawrite samples/lharc.lzh -lh1- 0 ソフト.log samples/sample-short.log -lh5- 3 レベル3.log samples/sample-short.log
lhawrite samples/larc.lzh -lz5- 0 '過去ログ\表示.log' samples/sample-short.log

mkdir "$tmp/zip"
mkdir "$tmp/zip/$(sjis 過去ログ)"
cp samples/sample-short.log "$tmp/zip/$(sjis ソフト談義.log)"
cp "$tmp/lzh/readme.txt" "$tmp/zip/$(sjis 過去ログ)/readme.txt"
find "$tmp/zip" -exec touch -t $stamp {} +
rm -f samples/forum.zip
(cd "$tmp/zip" && LC_ALL=C zip -q -X -D "$root/samples/forum.zip" "$(sjis ソフト談義.log)" \
  "$(sjis 過去ログ)/readme.txt")

iconv -f CP932 -t UTF-8 samples/sample-short.log > "$tmp/utf8.log"
python3 - "$tmp/utf8.log" "$root/samples/utf8-names.zip" <<'EOF'
import sys, zipfile
info = zipfile.ZipInfo("ゆーてぃーえふ/サンプル.log", date_time=(1996, 4, 10, 23, 15, 0))
info.compress_type = zipfile.ZIP_DEFLATED
with zipfile.ZipFile(sys.argv[2], "w") as z:
    z.writestr(info, open(sys.argv[1], "rb").read())
EOF

for a in forum one-log lharc larc; do
  lha tq "samples/$a.lzh" >/dev/null || { echo "samples/$a.lzh does not test whole" >&2; exit 1; }
done
for a in forum utf8-names; do
  unzip -tq "samples/$a.zip" >/dev/null || { echo "samples/$a.zip does not test whole" >&2; exit 1; }
done
ls -l samples/*.lzh samples/*.zip samples/sample-short.log
