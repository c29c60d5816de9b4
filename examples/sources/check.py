#!/usr/bin/env python3
"""Checks the example documents: LibreOffice's PDF export of each (page count, text, link
annotations), the hyperlinks, bookmarks and headings inside the .docx (word/document.xml)
and the HYPERLINK fields inside the .doc. Prints one line per document; exits 1 on a fault.

usage: check.py EXAMPLES_DIR LIBREOFFICE_PROFILE_DIR
"""
import glob
import json
import os
import re
import subprocess
import sys
import tempfile
import zipfile
from collections import Counter

# pages of LibreOffice's own PDF export, and a text each document's PDF must contain
EXPECTED = {
    "web-and-file-links": (2, "Links to the web and to files"),
    "absolute-file-links": (1, "Absolute file links"),
    "toc-headings": (7, "2.0.1 Skipped level"),
    "bookmark-links": (3, "Links inside this document"),
    "picture-and-shape-links": (1, "Pictures and shapes with links"),
    "tables-and-images": (3, "Conversion statistics"),
    "chinese-report": (4, "文档转换服务季度报告"),
    "heading-levels": (3, "Level three right under level one"),
    "one-page-letter": (1, "Dear Ms Taylor"),
    "long-manual": (113, "12.8 Maintenance: Reference"),
    "ten-pages": (10, "9 Conclusion"),
    "notes": (1, "Meeting notes"),
    "notes-and-endnotes": (None, "The last footnote."),
    "cross-references": (3, "Figure 2: The outcome"),
    "header-and-note-links": (None, "write to the office"),
}


def kind(target):
    t = target.lower()
    if t.startswith(("http://", "https://")):
        return "web"
    if t.startswith("mailto:"):
        return "mailto"
    if t.startswith("file:") or t.startswith("/"):
        return "file-abs"
    return "file-rel"


def docx_facts(path):
    z = zipfile.ZipFile(path)
    doc = z.read("word/document.xml").decode("utf-8")
    rels = dict(re.findall(r'Id="(rId\d+)"[^>]*Target="([^"]*)"',
                           z.read("word/_rels/document.xml.rels").decode("utf-8")))
    links = Counter()
    for rid in re.findall(r'<w:hyperlink r:id="(rId\d+)"', doc):
        links[kind(rels[rid])] += 1
    anchors = re.findall(r'<w:hyperlink w:anchor="([^"]*)"', doc)
    links["toc"] += sum(1 for a in anchors if a.startswith("_Toc"))
    links["bookmark"] += sum(1 for a in anchors if not a.startswith("_Toc"))
    for rid in re.findall(r'<a:hlinkClick r:id="(rId\d+)"', doc):
        links["on-drawing:" + kind(rels[rid])] += 1
    for field in re.findall(r'<w:instrText[^>]*>\s*(REF|PAGEREF|NOTEREF)\s[^<]*\\h', doc):
        links["field:" + field] += 1
    for note in ("footnote", "endnote"):
        if doc.count("<w:%sReference" % note):
            links[note] += doc.count("<w:%sReference" % note)
    for part in z.namelist():
        if re.fullmatch(r"word/(header|footer|footnotes|endnotes)\d*\.xml", part):
            story = re.sub(r"\d*\.xml$", "", part[len("word/"):])
            count = z.read(part).decode("utf-8").count("<w:hyperlink")
            if count:
                links["in-" + story] += count
    marks = set(re.findall(r'<w:bookmarkStart w:id="\d+" w:name="([^"]*)"', doc))
    missing = [a for a in anchors if a not in marks]
    levels = Counter()
    for para in re.findall(r"<w:p>(?:(?!</w:p>).)*?<w:pStyle w:val=\"Heading(\d)\"", doc):
        levels[int(para)] += 1
    return links, levels, missing


def doc_facts(path):
    text = subprocess.run(["strings", "-el", path], capture_output=True, text=True).stdout
    links = Counter()
    for m in re.finditer(r'HYPERLINK\s+(\\l\s+)?"([^"]*)"', text):
        if m.group(1):
            links["toc" if m.group(2).startswith("_Toc") else "bookmark"] += 1
        else:
            links[kind(m.group(2))] += 1
    for m in re.finditer(r'\b(REF|PAGEREF|NOTEREF)\s+\S+[^\n]*?\\h', text):
        links["field:" + m.group(1)] += 1
    return links


def pdf_links(pdf):
    j = json.loads(subprocess.run(["qpdf", "--json", "--json-key=pages", "--json-key=qpdf", pdf],
                                  capture_output=True, text=True, check=True).stdout)
    objs = j["qpdf"][1]

    def get(v):
        return objs["obj:" + v]["value"] if isinstance(v, str) and v.endswith(" R") else v
    out = Counter()
    for page in j["pages"]:
        annots = get(get(page["object"]).get("/Annots", []))
        for a in annots:
            a = get(a)
            if a.get("/Subtype") != "/Link":
                continue
            action = get(a.get("/A")) or {}
            uri = action.get("/URI")
            out[kind(uri[2:]) if uri else "internal"] += 1
    return out


def fmt(c):
    return " ".join(f"{k}={v}" for k, v in sorted(c.items())) or "none"


def main():
    examples, profile = sys.argv[1], sys.argv[2]
    files = sorted(glob.glob(os.path.join(examples, "*.doc*")) + glob.glob(os.path.join(examples, "sub", "*.doc*")))
    faults = 0
    with tempfile.TemporaryDirectory(prefix="tessaline-examples-check.") as tmp:
        for path in files:
            name = os.path.splitext(os.path.basename(path))[0]
            ext = path.rsplit(".", 1)[1]
            outdir = os.path.join(tmp, ext, os.path.relpath(os.path.dirname(path), examples))
            os.makedirs(outdir, exist_ok=True)
            subprocess.run(["soffice", f"-env:UserInstallation=file://{profile}", "--headless", "--norestore",
                            "--convert-to", "pdf", "--outdir", outdir, path], capture_output=True)
            pdf = os.path.join(outdir, name + ".pdf")
            problems = []
            if not os.path.exists(pdf):
                print(f"FAULT {path}: LibreOffice made no PDF")
                faults += 1
                continue
            info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True).stdout
            pages = int(re.search(r"Pages:\s+(\d+)", info).group(1))
            text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True).stdout
            want_pages, want_text = EXPECTED.get(name, (None, None))
            if want_pages is not None and pages != want_pages:
                problems.append(f"{pages} pages, expected {want_pages}")
            if want_text and want_text not in text:
                problems.append(f"text '{want_text}' missing")
            line = f"{os.path.relpath(path, examples)}: {pages} pages; pdf links: {fmt(pdf_links(pdf))}"
            if ext == "docx":
                links, levels, missing = docx_facts(path)
                line += f"; document.xml links: {fmt(links)}; headings: {fmt(levels)}"
                if missing:
                    problems.append(f"anchors without bookmark: {missing}")
            else:
                line += f"; HYPERLINK and cross-reference fields: {fmt(doc_facts(path))}"
            print(("FAULT " if problems else "ok    ") + line + ("  <- " + "; ".join(problems) if problems else ""))
            faults += bool(problems)
    if faults:
        print(f"{faults} document(s) with faults")
        return 1
    print(f"{len(files)} documents checked")
    return 0


if __name__ == "__main__":
    sys.exit(main())
