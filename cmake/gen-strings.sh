#!/bin/sh
# gen-strings.sh IN.txt OUT.gbk OUT.rc
# The string list (UTF-8 lines "id<TAB>text") in GBK for the Linux build, and
# the same as a STRINGTABLE for windres (read with code page 936).
set -e
iconv -f UTF-8 -t GBK "$1" > "$2"
{
  echo '#pragma code_page(936)'
  echo 'STRINGTABLE'
  echo 'BEGIN'
  LC_ALL=C sed -e 's/"/""/g' -e 's/^\([0-9]*\)	\(.*\)$/  \1 "\2"/' "$2"
  echo 'END'
} > "$3"
