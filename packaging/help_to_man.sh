#!/usr/bin/env bash
# Writes the manual page of a command-line tool from its own --help, so the
# page lists exactly what the program takes.
# Usage: help_to_man.sh PROGRAM NAME VERSION SUMMARY DESCRIPTION SEE_ALSO OUTPUT
#   NAME         the program's name on the page (selvantrix-cli)
#   SUMMARY      the line after the name in NAME (what whatis prints)
#   DESCRIPTION  a paragraph for DESCRIPTION
#   SEE_ALSO     pages to refer to, "selvantrix(1) selvantrix-tdb(1)"
#
# The help is read as the tools print it: a first line "usage: NAME ...",
# optionally a heading line ("commands:"), command lines indented by two
# blanks with the help set off from the usage by two or more blanks (or by
# one where the usage fills its 36 columns), lines indented deeper going on
# with the help of the command above, and unindented notes at the end
# ("Exit status: ..." among them).
set -euo pipefail
[ $# -eq 7 ] || { echo "usage: $0 PROGRAM NAME VERSION SUMMARY DESCRIPTION SEE_ALSO OUTPUT" >&2; exit 2; }
program=$1 name=$2 version=$3 summary=$4 description=$5 see_also=$6 output=$7

help=$("$program" --help) || { echo "$0: $program --help failed" >&2; exit 1; }
case "$help" in "usage: $name "*) ;; *) echo "$0: $program --help does not begin with \"usage: $name\"" >&2; exit 1 ;; esac

# The page is written beside OUTPUT and moved into place whole, so a failed
# run leaves no half page for the install to pick up.
tmp=$output.tmp
printf '%s\n' "$help" | LC_ALL=C awk -v name="$name" -v version="$version" -v summary="$summary" \
    -v description="$description" -v see_also="$see_also" -v date="$(LC_ALL=C date -u ${SOURCE_DATE_EPOCH:+-d @$SOURCE_DATE_EPOCH} '+%B %Y')" '
  # Text as troff sets it: backslashes and minus signs escaped, and a line
  # never starting with a control character.
  function roff(text) {
    gsub(/\\/, "\\e", text)
    gsub(/-/, "\\-", text)
    if (text ~ /^[.'\'']/) text = "\\&" text
    return text
  }
  function flush_item() {
    if (usage == "") return
    split(usage, words, " ")
    rest = substr(usage, length(words[1]) + 1)
    print ".TP"
    print "\\fB" roff(words[1]) "\\fR" roff(rest)
    if (help_text != "") print roff(help_text)
    usage = ""
    help_text = ""
  }
  function section(title) {
    if (title != current) print ".SH " title
    current = title
  }
  NR == 1 {
    upper = toupper(name)
    print ".\\\" Made from the output of \"" name " --help\" at build time; edit the program, not this page."
    print ".TH " roff(upper) " 1 \"" date "\" \"Selvantrix " version "\" \"User Commands\""
    print ".SH NAME"
    print roff(name) " \\- " roff(summary)
    print ".SH SYNOPSIS"
    print ".B " roff(name)
    print roff(substr($0, length("usage: " name) + 2))
    print ".SH DESCRIPTION"
    print roff(description)
    next
  }
  /^[^ ].*:$/ && !notes { flush_item(); section("COMMANDS"); next }
  /^  [^ ]/ && !notes {
    flush_item()
    section("COMMANDS")
    line = substr($0, 3)
    if (match(line, /  +/)) {
      usage = substr(line, 1, RSTART - 1)
      help_text = substr(line, RSTART + RLENGTH)
    } else if (length($0) > 40 && substr($0, 39, 1) == " " && substr($0, 40, 1) != " ") {
      usage = substr($0, 3, 36)
      help_text = substr($0, 40)
    } else {
      usage = line
    }
    next
  }
  /^   / && !notes {
    sub(/^ +/, "")
    help_text = help_text == "" ? $0 : help_text " " $0
    next
  }
  /^$/ { next }
  # The notes at the end run on as one paragraph; an exit status has a
  # section of its own, where man page readers look for it.
  {
    flush_item()
    notes = 1
    if (sub(/^Exit status: */, "")) section("EXIT STATUS")
    else if (current != "NOTES") section("NOTES")
    print roff($0)
  }
  END {
    flush_item()
    n = split(see_also, pages, " ")
    if (n == 0) exit
    print ".SH SEE ALSO"
    for (i = 1; i <= n; i++) {
      page = pages[i]
      sub(/\(/, " (", page)
      print ".BR " roff(page) (i < n ? "," : "")
    }
  }
' > "$tmp"
mv "$tmp" "$output"
