#!/usr/bin/env bash
# Makes the example documents in examples/ from their sources in examples/sources/ with
# LibreOffice: each .fodt source is converted to Word 2007 XML (.docx) and/or Word 97 (.doc).
# long-manual and ten-pages are written by examples/sources/generate.py first.
#
#   bash scripts/make-examples.sh          make every document, then check them
#   bash scripts/make-examples.sh --check  only check the committed documents
#
# LibreOffice runs with private profiles under /tmp, never the user's. It writes links to
# files relative to the document by default; the documents whose point is absolute file links
# are made with a second profile that keeps file URLs absolute.
set -euo pipefail
export PYTHONDONTWRITEBYTECODE=1
cd "$(dirname "$0")/.."
root="$(pwd)"
src="$root/examples/sources"
out="$root/examples"

profile_rel=/tmp/tessaline-examples-profile
profile_abs=/tmp/tessaline-examples-profile-absolute

# name  formats  url-mode  (name.fodt in examples/sources, or written by generate.py)
documents=(
  "web-and-file-links       docx,doc relative"
  "absolute-file-links      docx,doc absolute"
  "toc-headings             docx,doc relative"
  "bookmark-links           docx     relative"
  "picture-and-shape-links  docx,doc relative"
  "tables-and-images        docx     relative"
  "chinese-report           docx,doc relative"
  "heading-levels           doc      relative"
  "one-page-letter          doc      relative"
  "long-manual              docx,doc relative"
  "ten-pages                docx,doc relative"
  "notes-and-endnotes       docx,doc relative"
  "cross-references         docx,doc relative"
  "header-and-note-links    docx,doc relative"
  "sub/notes                docx     relative"
)

command -v soffice >/dev/null || { echo "soffice not found (apt-get install libreoffice-writer-nogui)" >&2; exit 1; }

soffice_in() { # profile dir, then soffice arguments
  local profile="$1"; shift
  soffice "-env:UserInstallation=file://$profile" --headless --norestore "$@"
}

make_profile() { # dir, absolute(yes/no)
  local dir="$1" absolute="$2"
  if [ ! -f "$dir/user/registrymodifications.xcu" ]; then
    soffice_in "$dir" --terminate_after_init >/dev/null 2>&1 || true
  fi
  if [ "$absolute" = yes ] && ! grep -q 'Save/URL' "$dir/user/registrymodifications.xcu"; then
    python3 - "$dir/user/registrymodifications.xcu" <<'PY'
import sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read()
items = "".join(
    '<item oor:path="/org.openoffice.Office.Common/Save/URL"><prop oor:name="%s" oor:op="fuse">'
    '<value>false</value></prop></item>\n' % name for name in ("FileSystem", "Internet"))
open(path, "w", encoding="utf-8").write(text.replace("</oor:items>", items + "</oor:items>"))
PY
  fi
}

if [ "${1:-}" != "--check" ]; then
  # fresh profiles every time, so no setting left from an earlier run changes the output
  rm -rf "$profile_rel" "$profile_abs"
  make_profile "$profile_rel" no
  make_profile "$profile_abs" yes

  work="$(mktemp -d /tmp/tessaline-examples-build.XXXXXX)"
  trap 'rm -rf "$work"' EXIT
  python3 "$src/generate.py" "$work" >/dev/null

  for entry in "${documents[@]}"; do
    read -r name formats mode <<<"$entry"
    base="$(basename "$name")"
    dir="$(dirname "$name")"
    # The source sits in the folder the document will be in, so relative links stay relative.
    stage="$work/stage/$dir"
    mkdir -p "$stage" "$out/$dir"
    if [ -f "$src/$(echo "$name" | tr / -).fodt" ]; then
      cp "$src/$(echo "$name" | tr / -).fodt" "$stage/$base.fodt"
    else
      cp "$work/$base.fodt" "$stage/$base.fodt"
    fi
    profile="$profile_rel"; [ "$mode" = absolute ] && profile="$profile_abs"
    for format in ${formats//,/ }; do
      case "$format" in
        docx) filter='docx:MS Word 2007 XML' ;;
        doc) filter='doc:MS Word 97' ;;
      esac
      rm -f "$stage/$base.$format"
      (cd "$stage" && soffice_in "$profile" --convert-to "$filter" --outdir "$stage" "$base.fodt" >/dev/null 2>&1)
      [ -s "$stage/$base.$format" ] || { echo "LibreOffice did not write $name.$format" >&2; exit 1; }
      cp "$stage/$base.$format" "$out/$name.$format"
      echo "made examples/$name.$format"
    done
  done
fi

[ -f "$profile_rel/user/registrymodifications.xcu" ] || make_profile "$profile_rel" no
python3 "$src/check.py" "$out" "$profile_rel"
