"""Shared pieces for writing LibreOffice flat ODF text (.fodt) documents.

Used by generate.py (the long manual and the ten-page document); the other
sources in this folder are plain .fodt files.
"""
import base64
import struct
import zlib
from xml.sax.saxutils import escape

NS = (
    'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
    'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
    'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
    'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
    'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
    'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" '
    'xmlns:xlink="http://www.w3.org/1999/xlink" '
    'xmlns:dc="http://purl.org/dc/elements/1.1/" '
    'xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0" '
    'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"'
)

STYLES = """ <office:font-face-decls>
  <style:font-face style:name="Liberation Serif" svg:font-family="'Liberation Serif'" style:font-family-generic="roman" style:font-pitch="variable"/>
  <style:font-face style:name="Liberation Sans" svg:font-family="'Liberation Sans'" style:font-family-generic="swiss" style:font-pitch="variable"/>
  <style:font-face style:name="Noto Serif CJK SC" svg:font-family="'Noto Serif CJK SC'" style:font-family-generic="roman" style:font-pitch="variable"/>
  <style:font-face style:name="Noto Sans CJK SC" svg:font-family="'Noto Sans CJK SC'" style:font-family-generic="swiss" style:font-pitch="variable"/>
 </office:font-face-decls>
 <office:styles>
  <style:default-style style:family="paragraph">
   <style:paragraph-properties fo:margin-top="0cm" fo:margin-bottom="0.21cm" fo:line-height="115%"/>
   <style:text-properties style:font-name="Liberation Serif" fo:font-size="11pt" fo:language="en" fo:country="US" style:font-name-asian="Noto Serif CJK SC" style:font-size-asian="11pt" style:language-asian="zh" style:country-asian="CN"/>
  </style:default-style>
  <style:default-style style:family="table-cell">
   <style:table-cell-properties fo:padding="0.1cm"/>
  </style:default-style>
  <style:style style:name="Standard" style:family="paragraph" style:class="text"/>
  <style:style style:name="Text_20_body" style:display-name="Text body" style:family="paragraph" style:parent-style-name="Standard" style:class="text"/>
  <style:style style:name="Title" style:family="paragraph" style:parent-style-name="Standard" style:class="chapter">
   <style:paragraph-properties fo:text-align="center" fo:margin-top="2cm" fo:margin-bottom="0.6cm"/>
   <style:text-properties style:font-name="Liberation Sans" fo:font-size="26pt" fo:font-weight="bold" style:font-name-asian="Noto Sans CJK SC" style:font-size-asian="26pt" style:font-weight-asian="bold"/>
  </style:style>
  <style:style style:name="Subtitle" style:family="paragraph" style:parent-style-name="Standard" style:class="chapter">
   <style:paragraph-properties fo:text-align="center" fo:margin-bottom="1cm"/>
   <style:text-properties style:font-name="Liberation Sans" fo:font-size="14pt" style:font-name-asian="Noto Sans CJK SC" style:font-size-asian="14pt"/>
  </style:style>
  <style:style style:name="Heading" style:family="paragraph" style:parent-style-name="Standard" style:next-style-name="Text_20_body" style:class="text">
   <style:paragraph-properties fo:margin-top="0.42cm" fo:margin-bottom="0.21cm" fo:keep-with-next="always"/>
   <style:text-properties style:font-name="Liberation Sans" fo:font-weight="bold" style:font-name-asian="Noto Sans CJK SC" style:font-weight-asian="bold"/>
  </style:style>
  <style:style style:name="Heading_20_1" style:display-name="Heading 1" style:family="paragraph" style:parent-style-name="Heading" style:next-style-name="Text_20_body" style:default-outline-level="1" style:class="text">
   <style:text-properties fo:font-size="18pt" style:font-size-asian="18pt"/>
  </style:style>
  <style:style style:name="Heading_20_2" style:display-name="Heading 2" style:family="paragraph" style:parent-style-name="Heading" style:next-style-name="Text_20_body" style:default-outline-level="2" style:class="text">
   <style:text-properties fo:font-size="15pt" style:font-size-asian="15pt"/>
  </style:style>
  <style:style style:name="Heading_20_3" style:display-name="Heading 3" style:family="paragraph" style:parent-style-name="Heading" style:next-style-name="Text_20_body" style:default-outline-level="3" style:class="text">
   <style:text-properties fo:font-size="13pt" style:font-size-asian="13pt"/>
  </style:style>
  <style:style style:name="Heading_20_4" style:display-name="Heading 4" style:family="paragraph" style:parent-style-name="Heading" style:next-style-name="Text_20_body" style:default-outline-level="4" style:class="text">
   <style:text-properties fo:font-size="12pt" fo:font-style="italic" style:font-size-asian="12pt"/>
  </style:style>
  <style:style style:name="Contents_20_Heading" style:display-name="Contents Heading" style:family="paragraph" style:parent-style-name="Heading" style:class="index">
   <style:text-properties fo:font-size="16pt" style:font-size-asian="16pt"/>
  </style:style>
  <style:style style:name="Contents_20_1" style:display-name="Contents 1" style:family="paragraph" style:parent-style-name="Standard" style:class="index">
   <style:paragraph-properties fo:margin-bottom="0.1cm"><style:tab-stops><style:tab-stop style:position="17cm" style:type="right" style:leader-style="dotted" style:leader-text="."/></style:tab-stops></style:paragraph-properties>
  </style:style>
  <style:style style:name="Contents_20_2" style:display-name="Contents 2" style:family="paragraph" style:parent-style-name="Contents_20_1" style:class="index">
   <style:paragraph-properties fo:margin-left="0.5cm"><style:tab-stops><style:tab-stop style:position="16.5cm" style:type="right" style:leader-style="dotted" style:leader-text="."/></style:tab-stops></style:paragraph-properties>
  </style:style>
  <style:style style:name="Contents_20_3" style:display-name="Contents 3" style:family="paragraph" style:parent-style-name="Contents_20_1" style:class="index">
   <style:paragraph-properties fo:margin-left="1cm"><style:tab-stops><style:tab-stop style:position="16cm" style:type="right" style:leader-style="dotted" style:leader-text="."/></style:tab-stops></style:paragraph-properties>
  </style:style>
  <style:style style:name="Contents_20_4" style:display-name="Contents 4" style:family="paragraph" style:parent-style-name="Contents_20_1" style:class="index">
   <style:paragraph-properties fo:margin-left="1.5cm"><style:tab-stops><style:tab-stop style:position="15.5cm" style:type="right" style:leader-style="dotted" style:leader-text="."/></style:tab-stops></style:paragraph-properties>
  </style:style>
  <style:style style:name="Table_20_Contents" style:display-name="Table Contents" style:family="paragraph" style:parent-style-name="Standard" style:class="extra">
   <style:paragraph-properties fo:margin-bottom="0cm"/>
  </style:style>
  <style:style style:name="Table_20_Heading" style:display-name="Table Heading" style:family="paragraph" style:parent-style-name="Table_20_Contents" style:class="extra">
   <style:text-properties fo:font-weight="bold" style:font-weight-asian="bold"/>
  </style:style>
  <style:style style:name="Caption" style:family="paragraph" style:parent-style-name="Standard" style:class="extra">
   <style:paragraph-properties fo:text-align="center"/>
   <style:text-properties fo:font-size="10pt" fo:font-style="italic" style:font-size-asian="10pt"/>
  </style:style>
  <style:style style:name="Internet_20_link" style:display-name="Internet link" style:family="text">
   <style:text-properties fo:color="#000080" style:text-underline-style="solid" style:text-underline-width="auto" style:text-underline-color="font-color"/>
  </style:style>
  <style:style style:name="Index_20_Link" style:display-name="Index Link" style:family="text"/>
 </office:styles>
 <office:automatic-styles>
  <style:page-layout style:name="pm1">
   <style:page-layout-properties fo:page-width="21.001cm" fo:page-height="29.7cm" style:print-orientation="portrait" fo:margin-top="2cm" fo:margin-bottom="2cm" fo:margin-left="2cm" fo:margin-right="2cm"/>
  </style:page-layout>
  <style:style style:name="H1PB" style:family="paragraph" style:parent-style-name="Heading_20_1"><style:paragraph-properties fo:break-before="page"/></style:style>
  <style:style style:name="H2PB" style:family="paragraph" style:parent-style-name="Heading_20_2"><style:paragraph-properties fo:break-before="page"/></style:style>
  <style:style style:name="PPB" style:family="paragraph" style:parent-style-name="Text_20_body"><style:paragraph-properties fo:break-before="page"/></style:style>
  <style:style style:name="C1PB" style:family="paragraph" style:parent-style-name="Contents_20_1"><style:paragraph-properties fo:break-before="page"/></style:style>
  <style:style style:name="C2PB" style:family="paragraph" style:parent-style-name="Contents_20_2"><style:paragraph-properties fo:break-before="page"/></style:style>
  <style:style style:name="Tbl" style:family="table"><style:table-properties style:width="17cm" table:align="margins"/></style:style>
  <style:style style:name="TblCell" style:family="table-cell"><style:table-cell-properties fo:padding="0.1cm" fo:border="0.5pt solid #808080"/></style:style>
  <style:style style:name="TblHead" style:family="table-cell"><style:table-cell-properties fo:padding="0.1cm" fo:background-color="#dde4ee" fo:border="0.5pt solid #808080"/></style:style>
  <style:style style:name="fr1" style:family="graphic"><style:graphic-properties style:wrap="none" style:vertical-pos="top" style:vertical-rel="baseline" style:horizontal-pos="center" style:horizontal-rel="paragraph"/></style:style>
 </office:automatic-styles>
 <office:master-styles>
  <style:master-page style:name="Standard" style:page-layout-name="pm1"/>
 </office:master-styles>
"""

TOC_TEMPLATE_LEVEL = """     <text:table-of-content-entry-template text:outline-level="{n}" text:style-name="Contents_20_{n}">
      <text:index-entry-link-start text:style-name="Index_20_Link"/><text:index-entry-text/><text:index-entry-tab-stop style:type="right" style:leader-char="."/><text:index-entry-page-number/><text:index-entry-link-end/>
     </text:table-of-content-entry-template>
"""


def document(title, date, body):
    """A whole .fodt document around BODY (the content of office:text)."""
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        f'<office:document {NS} office:version="1.3" '
        'office:mimetype="application/vnd.oasis.opendocument.text">\n'
        ' <office:meta>\n'
        f'  <dc:title>{escape(title)}</dc:title>\n'
        f'  <meta:creation-date>{date}</meta:creation-date>\n'
        f'  <dc:date>{date}</dc:date>\n'
        ' </office:meta>\n' + STYLES +
        ' <office:body>\n  <office:text>\n' + body +
        '  </office:text>\n </office:body>\n</office:document>\n')


def toc(entries, levels=4, title="Contents"):
    """A table of contents whose entries link to the headings' _Toc bookmarks.

    entries: list of (level, text, bookmark, page, page_break_before)."""
    out = ['   <text:table-of-content text:protected="true" text:name="Table of Contents1">\n',
           f'    <text:table-of-content-source text:outline-level="{levels}">\n',
           f'     <text:index-title-template text:style-name="Contents_20_Heading">{escape(title)}</text:index-title-template>\n']
    for n in range(1, levels + 1):
        out.append(TOC_TEMPLATE_LEVEL.format(n=n))
    out.append('    </text:table-of-content-source>\n    <text:index-body>\n')
    out.append(f'     <text:index-title text:name="Table of Contents1_Head"><text:p text:style-name="Contents_20_Heading">{escape(title)}</text:p></text:index-title>\n')
    for level, text, mark, page, brk in entries:
        style = f"C{level}PB" if brk else f"Contents_20_{level}"
        out.append(f'     <text:p text:style-name="{style}"><text:a xlink:type="simple" xlink:href="#{mark}" '
                   f'text:style-name="Index_20_Link" text:visited-style-name="Index_20_Link">{escape(text)}<text:tab/>{page}</text:a></text:p>\n')
    out.append('    </text:index-body>\n   </text:table-of-content>\n')
    return ''.join(out)


def heading(level, text, mark=None, page_break=False):
    style = {1: "H1PB", 2: "H2PB"}.get(level) if page_break else None
    style = style or f"Heading_20_{level}"
    inner = escape(text)
    if mark:
        inner = f'<text:bookmark-start text:name="{mark}"/>{inner}<text:bookmark-end text:name="{mark}"/>'
    return f'   <text:h text:style-name="{style}" text:outline-level="{level}">{inner}</text:h>\n'


def link(href, text):
    return (f'<text:a xlink:type="simple" xlink:href="{escape(href)}" text:style-name="Internet_20_link" '
            f'text:visited-style-name="Internet_20_link">{escape(text)}</text:a>')


def para(content, style="Text_20_body"):
    return f'   <text:p text:style-name="{style}">{content}</text:p>\n'


def table(name, rows, widths_cm):
    """rows: lists of cell contents (already escaped XML); the first row is the header."""
    out = [f'   <table:table table:name="{name}" table:style-name="Tbl">\n']
    for w in widths_cm:
        out.append(f'    <table:table-column/>\n')
    for i, row in enumerate(rows):
        out.append('    <table:table-row>\n')
        for cell in row:
            cs, ps = ("TblHead", "Table_20_Heading") if i == 0 else ("TblCell", "Table_20_Contents")
            out.append(f'     <table:table-cell table:style-name="{cs}" office:value-type="string">'
                       f'<text:p text:style-name="{ps}">{cell}</text:p></table:table-cell>\n')
        out.append('    </table:table-row>\n')
    out.append('   </table:table>\n')
    return ''.join(out)


def png(width, height, pixel):
    """A small RGB PNG; pixel(x, y) gives an (r, g, b) tuple."""
    raw = b''.join(b'\x00' + b''.join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def bar_chart(values, colour=(46, 94, 170)):
    """A tiny bar chart picture, 96 x 64 pixels."""
    top = max(values)

    def pixel(x, y):
        i = x * len(values) // 96
        h = values[i] * 56 // top
        if x % (96 // len(values)) < 2:
            return (255, 255, 255)
        return colour if 63 - y < h else (245, 245, 245)
    return png(96, 64, pixel)


def image(name, data, width_cm, height_cm, href=None):
    b64 = base64.b64encode(data).decode()
    frame = (f'<draw:frame draw:style-name="fr1" draw:name="{name}" text:anchor-type="as-char" '
             f'svg:width="{width_cm}cm" svg:height="{height_cm}cm" draw:z-index="0">'
             f'<draw:image><office:binary-data>{b64}</office:binary-data></draw:image></draw:frame>')
    if href:
        frame = f'<draw:a xlink:type="simple" xlink:href="{escape(href)}">{frame}</draw:a>'
    return frame
