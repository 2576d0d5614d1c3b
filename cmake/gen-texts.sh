#!/bin/sh
# gen-texts.sh TABLE.txt OUT.h
# A module's player-visible texts, written in UTF-8 in TABLE.txt, as a header
# of GBK string constants that the compiler sees whole (so printf formats
# among them are checked like any literal).
#
# Table lines: "kName<TAB>text", where text is what would stand between the
# quotes of a C string literal (\r, \n, \\ and \" as in C). Blank lines and
# lines starting with "#" are comments. The build stops on a text that has
# no GBK form, a malformed line or a name given twice.
#
# Every byte of a double-byte GBK character is written as an octal escape:
# the second byte may be 0x5C (a backslash) and must not start an escape.
set -e
table=$1
out=$2
mkdir -p "$(dirname "$out")"
gbk="$out.gbk.tmp"
trap 'rm -f "$gbk" "$out.tmp"' EXIT
iconv -f UTF-8 -t GBK "$table" > "$gbk"
LC_ALL=C awk -v table="$table" '
  BEGIN {
    for (i = 128; i < 256; i++)
      ord[sprintf("%c", i)] = i
    print "// Generated from " table " by cmake/gen-texts.sh: edit the table, not this file."
    print "// The texts in GBK (code page 936), as the system shows them."
    print "#pragma once"
    print ""
    print "namespace zdl {"
    print ""
  }
  function fail(why) {
    printf "%s:%d: %s\n", table, NR, why > "/dev/stderr"
    failed = 1
    exit 1
  }
  /^#/ || /^$/ { next }
  {
    if (index($0, "\r"))
      fail("carriage return in a line (the table must have Unix line ends)")
    tab = index($0, "\t")
    if (tab == 0)
      fail("no tab between name and text")
    name = substr($0, 1, tab - 1)
    text = substr($0, tab + 1)
    if (name !~ /^k[A-Za-z0-9_]+$/)
      fail("name \"" name "\" is not a constant name (kSomething)")
    if (name in seen)
      fail("name " name " given twice")
    seen[name] = 1
    literal = ""
    len = length(text)
    for (i = 1; i <= len; i++) {
      c = substr(text, i, 1)
      if (c in ord && ord[c] >= 129) {
        if (i == len)
          fail("text of " name " ends inside a character")
        literal = literal sprintf("\\%03o", ord[c])
        i++
        c = substr(text, i, 1)
        literal = literal sprintf("\\%03o", (c in ord) ? ord[c] : ord2(c))
      } else {
        literal = literal c
      }
    }
    printf "inline constexpr char %s[] = \"%s\";\n", name, literal
  }
  function ord2(c,    k) {
    for (k = 1; k < 128; k++)
      if (sprintf("%c", k) == c)
        return k
    fail("unexpected byte in " name)
  }
  END {
    if (failed)
      exit 1
    print ""
    print "} // namespace zdl"
  }
' "$gbk" > "$out.tmp"
mv "$out.tmp" "$out"
