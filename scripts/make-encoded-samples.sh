#!/bin/sh
# Writes the sample log in the forms that logs take when they travel: UTF-8
# with LF line ends and EUC-JP with LF line ends, as the usual tools make
# them from samples/sample.log (Shift-JIS, CR LF):
#
#   samples/sample-utf8.log   iconv -f CP932 -t UTF-8,     CR LF -> LF
#   samples/sample-eucjp.log  iconv -f CP932 -t EUC-JP-MS, CR LF -> LF
#
# EUC-JP-MS is the EUC-JP of the Microsoft character set, the one that
# carries every character of the sample ("～" and the like).
#
# Usage:  sh scripts/make-encoded-samples.sh   (from anywhere)
set -eu
cd "$(dirname "$0")/.."
iconv -f CP932 -t UTF-8 samples/sample.log | sed 's/\r$//' > samples/sample-utf8.log
iconv -f CP932 -t EUC-JP-MS samples/sample.log | sed 's/\r$//' > samples/sample-eucjp.log
