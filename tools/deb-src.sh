#!/usr/bin/env bash
# Writes source-package entries (deb-src) for the package sources this machine
# already uses for binary packages, so that `apt-get source` fetches from the
# same archive, mirror or proxy as `apt-get install`, with the same suites,
# components, keys and options.
#
# Usage: tools/deb-src.sh LIST PARTS OUT
#   LIST   the one-line sources file (apt's Dir::Etc::SourceList)
#   PARTS  the folder of further *.list and *.sources files (Dir::Etc::SourceParts)
#   OUT    the path, without extension, of the files to write: OUT.sources
#          gets the deb822 entries, OUT.list the one-line ones
# Each entry keeps its own format and every field and option but its type;
# disabled entries and entries that already have a deb-src twin are left
# out, and so are OUT's own files. A file is rewritten only when its content
# changes; the script prints the path of each file it wrote or removed.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 LIST PARTS OUT" >&2; exit 2; }
list=$1 parts=${2%/} out=$3

inputs=()
[ -f "$list" ] && inputs+=("$list")
if [ -d "$parts" ]; then
  # apt reads the parts in this order, and only files with these extensions.
  while IFS= read -r f; do
    case $f in "$out.sources" | "$out.list") continue ;; esac
    inputs+=("$f")
  done < <(find "$parts" -maxdepth 1 -type f \( -name '*.list' -o -name '*.sources' \) | LC_ALL=C sort)
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
: >"$tmp/sources"
: >"$tmp/list"
if [ ${#inputs[@]} -gt 0 ]; then
  awk -v sources="$tmp/sources" -v list="$tmp/list" '
    # deb822: paragraphs of "Field: value" lines, continuation lines start
    # with white space; field names are case-insensitive.
    function flush(   i, t, n, types, has_deb, has_src) {
      if (nlines == 0) return
      n = split(para_types, types, /[ \t]+/)
      for (i = 1; i <= n; i++) {
        if (types[i] == "deb") has_deb = 1
        if (types[i] == "deb-src") has_src = 1
      }
      if (has_deb && !has_src && tolower(para_enabled) != "no") {
        if (written_paragraphs++) print "" > sources
        for (i = 1; i <= nlines; i++) {
          t = lines[i]
          if (i == types_line) t = substr(t, 1, index(t, ":")) " deb-src"
          print t > sources
        }
      }
      nlines = 0; types_line = 0; para_types = ""; para_enabled = ""
    }
    FNR == 1 { flush(); deb822 = (FILENAME ~ /\.sources$/) }
    deb822 && /^#/ { next }
    deb822 && /^[ \t]*$/ { flush(); next }
    deb822 {
      lines[++nlines] = $0
      if ($0 !~ /^[ \t]/) {
        field = tolower(substr($0, 1, index($0, ":") - 1))
        value = substr($0, index($0, ":") + 1)
        gsub(/^[ \t]+|[ \t]+$/, "", value)
        if (field == "types") { para_types = value; types_line = nlines }
        if (field == "enabled") para_enabled = value
      }
      next
    }
    # One-line: "type [options] uri suite [component...]"; apt cuts the
    # line at its first "#".
    {
      sub(/#.*/, "")
      if ($1 != "deb" && $1 != "deb-src") next
      rest = $0
      sub(/^[ \t]*deb(-src)?[ \t]+/, "", rest)
      sub(/[ \t]+$/, "", rest)
      if ($1 == "deb-src") { have_src[rest] = 1; next }
      wanted[++nwanted] = rest
    }
    END {
      flush()
      for (i = 1; i <= nwanted; i++)
        if (!(wanted[i] in have_src) && !(wanted[i] in done)) {
          print "deb-src " wanted[i] > list
          done[wanted[i]] = 1
        }
    }' "${inputs[@]}"
fi

for ext in sources list; do
  target=$out.$ext
  if [ -s "$tmp/$ext" ]; then
    if ! cmp -s "$tmp/$ext" "$target"; then
      install -m 644 "$tmp/$ext" "$target"
      echo "$target"
    fi
  elif [ -e "$target" ]; then
    rm -f "$target"
    echo "$target"
  fi
done
