#!/usr/bin/env python3
"""Writes the sources of the two generated examples into OUTDIR:

  long-manual.fodt  a 113-page operator's manual: title page, a four-page table of
                    contents (levels 1-2, hyperlinked), 12 chapters of 8 sections,
                    each section on its own page with links, tables and headings 3-4
  ten-pages.fodt    exactly ten pages: title and contents page, nine chapters

Each chapter and section starts a new page and fits on it, so the page numbers in
the tables of contents are known here; make-examples.sh checks them against
LibreOffice's own PDF export.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fodt import document, toc, heading, link, para, table, image, bar_chart  # noqa: E402

TOPICS = [
    ("Installation", "installing the service on a new machine"),
    ("Configuration", "the settings file and its sections"),
    ("Document Queue", "how documents wait for conversion"),
    ("Output Folders", "where finished files are written"),
    ("Hyperlinks", "web, file and in-document links"),
    ("Bookmarks and Outline", "headings that become the outline"),
    ("Security", "passwords and permissions of the output"),
    ("Fonts", "which fonts are embedded and why"),
    ("Printing", "the virtual printer and its spool files"),
    ("Monitoring", "logs, counters and alerts"),
    ("Troubleshooting", "common faults and their remedies"),
    ("Maintenance", "upgrades, backups and clean-up"),
]
SECTIONS = ["Overview", "Requirements", "Procedure", "Options", "Examples",
            "Limits", "Checks", "Reference"]
SITES = ["https://www.debian.org/doc/", "http://www.example.com/manual/",
         "https://www.libreoffice.org/get-help/documentation/", "https://www.iso.org/standard/75839.html",
         "http://www.example.org/support/", "https://www.w3.org/TR/"]

LOREM = ("The operator checks each step before continuing, and records the result in the "
         "maintenance log so that the next shift can see what was done and why. ")


def toc_mark(n):
    return f"_Toc{100200300 + n * 7}"


def long_manual():
    entries = []
    body = []
    page = 6
    n = 0
    plan = []
    for c, (topic, _) in enumerate(TOPICS):
        plan.append((1, f"{c + 1}. {topic}", toc_mark(n), page))
        n += 1
        page += 1
        for s, sec in enumerate(SECTIONS):
            plan.append((2, f"{c + 1}.{s + 1} {topic}: {sec}", toc_mark(n), page))
            n += 1
            page += 1
    for i, (level, text, mark, pg) in enumerate(plan):
        entries.append((level, text, mark, pg, i > 0 and i % 30 == 0))

    body.append(para("Operator’s Manual", "Title"))
    body.append(para("Document conversion service, release 4.2", "Subtitle"))
    body.append(para("This manual describes how to install, configure and run the conversion "
                     "service. The latest edition is published at " +
                     link("https://www.example.com/manuals/conversion-service/4.2/", "www.example.com/manuals") +
                     "; questions go to " + link("mailto:manuals@example.com", "manuals@example.com") +
                     ". Release notes are kept next to this file in " +
                     link("sub/notes.docx", "sub/notes.docx") + "."))
    body.append(para("Chapters: " + ", ".join(link("#" + m, t.split(". ", 1)[1])
                                               for (lv, t, m, _) in plan if lv == 1) + "."))
    body.append('   <text:p text:style-name="PPB"/>\n')
    body.append(toc(entries, levels=2))

    for c, (topic, what) in enumerate(TOPICS):
        base = c * 9
        body.append(heading(1, plan[base][1], plan[base][2], page_break=True))
        body.append(para(f"This chapter covers {what}. It has eight sections; each begins on a new page. "
                         + LOREM * 2))
        rows = [["Section", "Page", "Link"]]
        for s, sec in enumerate(SECTIONS):
            lv, text, mark, pg = plan[base + 1 + s]
            rows.append([f"{c + 1}.{s + 1} {sec}", str(pg), link("#" + mark, "go to section")])
        body.append(table(f"Chapter{c + 1}", rows, [6, 3, 8]))
        body.append(para("See also " + link(SITES[c % len(SITES)], SITES[c % len(SITES)]) + "."))
        for s, sec in enumerate(SECTIONS):
            lv, text, mark, pg = plan[base + 1 + s]
            body.append(heading(2, text, mark, page_break=True))
            site = SITES[(c + s) % len(SITES)]
            other = plan[(base + 1 + s + 13) % len(plan)]
            body.append(para(f"This section explains {sec.lower()} for {what}. " + LOREM +
                             "Further details are available at " + link(site, site) + ". " +
                             "A related topic is " + link("#" + other[2], other[1]) +
                             f", on page {other[3]}. " + LOREM))
            body.append(heading(3, f"{c + 1}.{s + 1}.1 Before you begin"))
            body.append(para("Make sure the queue is empty and the output folder is writable. " + LOREM))
            if s % 2 == 0:
                body.append(table(f"Table{c + 1}_{s + 1}", [
                    ["Setting", "Default", "Meaning"],
                    ["Timeout", "300 s", "How long a job may wait for its pages"],
                    ["Bookmarks", "on", "Headings become the outline of the output"],
                    ["Links", "on", "Hyperlinks stay clickable in the output"],
                ], [5, 3, 9]))
            if s % 3 == 1:
                body.append(heading(4, f"{c + 1}.{s + 1}.1.1 Note on older versions"))
                body.append(para("Versions before 4.0 stored this setting elsewhere; see " +
                                 link("http://www.example.org/legacy/settings.html", "the legacy settings page") +
                                 ". " + LOREM))
            if s == 4 and c % 4 == 0:
                body.append(para(image(f"Chart{c + 1}", bar_chart([3 + c % 5, 5, 8, 6, 9, 4]), 6, 4,
                                       href="https://www.example.com/statistics/"), "Caption"))
                body.append(para("Figure: jobs per hour in the reference installation.", "Caption"))
            body.append(heading(3, f"{c + 1}.{s + 1}.2 Result"))
            body.append(para("When the step succeeds the status line turns green. " + LOREM))
    return document("Operator’s Manual", "2024-03-04T10:00:00", ''.join(body)), page - 1


def ten_pages():
    chapters = ["Summary", "Background", "Method", "Results", "Discussion", "Costs",
                "Schedule", "Risks", "Conclusion"]
    plan = []
    for i, ch in enumerate(chapters):
        plan.append((1, f"{i + 1} {ch}", f"_Toc{200400500 + i * 11}", i + 2))
    body = [para("Quarterly Project Report", "Title"),
            para("Ten pages: a title page with contents, then one chapter per page", "Subtitle"),
            toc([(lv, t, m, pg, False) for (lv, t, m, pg) in plan], levels=1)]
    for i, (lv, text, mark, pg) in enumerate(plan):
        body.append(heading(1, text, mark, page_break=True))
        body.append(para(f"This chapter is page {pg} of the report. " + LOREM * 3 +
                         "Project page: " + link("https://www.example.com/projects/q3/", "www.example.com/projects/q3") +
                         "; contact " + link("mailto:pm@example.com", "pm@example.com") + "."))
        body.append(heading(2, f"{i + 1}.1 Key figures"))
        body.append(table(f"Figures{i + 1}", [
            ["Item", "Planned", "Actual"],
            ["Documents", str(1000 + 100 * i), str(980 + 97 * i)],
            ["Pages", str(12000 + 900 * i), str(11800 + 930 * i)],
        ], [7, 5, 5]))
        body.append(heading(2, f"{i + 1}.2 Notes"))
        nxt = plan[(i + 1) % len(plan)]
        body.append(para(LOREM * 2 + "Next: " + link("#" + nxt[2], nxt[1]) + "."))
        if i % 3 == 0:
            body.append(para(image(f"Chart{i + 1}", bar_chart([2 + i, 4, 3, 6, 5, 7]), 5, 3.3), "Caption"))
    return document("Quarterly Project Report", "2024-03-05T10:00:00", ''.join(body)), 10


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    for name, (text, pages) in (("long-manual", long_manual()), ("ten-pages", ten_pages())):
        with open(os.path.join(out, name + ".fodt"), "w", encoding="utf-8") as f:
            f.write(text)
        print(f"{name}.fodt: {pages} pages expected")


if __name__ == "__main__":
    main()
