"""Writes the document and archive carving samples into the folder given."""
import gzip
import io
import os
import sqlite3
import struct
import sys
import zipfile
import zlib

out = sys.argv[1]
T = (2024, 5, 1, 12, 30, 0)


def put(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


def info(name, method=zipfile.ZIP_DEFLATED):
    i = zipfile.ZipInfo(name, T)
    i.compress_type = method
    return i


# A plain ZIP: a stored and a deflated entry, a comment.
b = io.BytesIO()
with zipfile.ZipFile(b, "w") as z:
    z.writestr(info("readme.txt", zipfile.ZIP_STORED), "stored entry\n" * 20)
    z.writestr(info("data/numbers.txt"), "".join(f"{i}\n" for i in range(3000)))
    z.comment = b"carving sample"
put("sample.zip", b.getvalue())


# A ZIP written as a stream: sizes in data descriptors (flag bit 3).
class Unseekable(io.RawIOBase):
    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


u = Unseekable()
with zipfile.ZipFile(u, "w", compression=zipfile.ZIP_DEFLATED) as z:
    for name, text in (("a.txt", "alpha\n" * 500), ("b.txt", "beta\n" * 700)):
        with z.open(info(name), "w") as f:
            f.write(text.encode())
put("streamed.zip", bytes(u.data))

# A minimal Word document with its title.
core = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
        '<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/'
        'metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/">'
        '<dc:title>Quarterly &amp; Annual Report</dc:title></cp:coreProperties>')
b = io.BytesIO()
with zipfile.ZipFile(b, "w") as z:
    z.writestr(info("[Content_Types].xml"), '<?xml version="1.0"?><Types/>')
    z.writestr(info("docProps/core.xml"), core)
    z.writestr(info("word/document.xml"),
               '<?xml version="1.0"?><w:document><w:body>' + "<w:p>text</w:p>" * 200 +
               "</w:body></w:document>")
put("sample.docx", b.getvalue())

# A minimal OpenDocument text: the mimetype entry first and stored, a title in meta.xml.
b = io.BytesIO()
with zipfile.ZipFile(b, "w") as z:
    z.writestr(info("mimetype", zipfile.ZIP_STORED), "application/vnd.oasis.opendocument.text")
    z.writestr(info("meta.xml"),
               '<?xml version="1.0"?><office:document-meta xmlns:dc="http://purl.org/dc/'
               'elements/1.1/"><office:meta><dc:title>Minutes</dc:title></office:meta>'
               '</office:document-meta>')
    z.writestr(info("content.xml"), "<office:document-content/>" * 50)
put("sample.odt", b.getvalue())


# A PDF with an incremental update (two cross-reference tables, two %%EOF).
def pdf():
    objs = {
        1: b"<< /Type /Catalog /Pages 2 0 R >>",
        2: b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        3: b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>",
        4: None,
        5: b"<< /Title (Carving \\(sample\\)) /CreationDate (D:20240501123000+02'00') >>",
    }
    content = b"BT /F1 12 Tf 20 100 Td (Hello) Tj ET\n" * 30
    objs[4] = b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream"
    data = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    for n, body in objs.items():
        offsets[n] = len(data)
        data += b"%d 0 obj\n" % n + body + b"\nendobj\n"
    xref = len(data)
    data += b"xref\n0 6\n0000000000 65535 f \n"
    for n in range(1, 6):
        data += b"%010d 00000 n \n" % offsets[n]
    data += b"trailer\n<< /Size 6 /Root 1 0 R /Info 5 0 R >>\nstartxref\n%d\n%%%%EOF\n" % xref
    # The update: a new page content.
    off4 = len(data)
    content = b"BT /F1 12 Tf 20 100 Td (Updated) Tj ET\n"
    data += b"4 0 obj\n<< /Length %d >>\nstream\n" % len(content) + content
    data += b"\nendstream\nendobj\n"
    xref2 = len(data)
    data += b"xref\n0 1\n0000000000 65535 f \n4 1\n%010d 00000 n \n" % off4
    data += (b"trailer\n<< /Size 6 /Root 1 0 R /Info 5 0 R /Prev %d >>\nstartxref\n%d\n%%%%EOF\n"
             % (xref, xref2))
    return bytes(data)


put("sample.pdf", pdf())

# SQLite: a table with a few hundred rows.
path = os.path.join(out, "sample.sqlite")
if os.path.exists(path):
    os.remove(path)
db = sqlite3.connect(path)
db.execute("PRAGMA page_size=1024")
db.execute("CREATE TABLE t (id INTEGER PRIMARY KEY, text TEXT)")
db.executemany("INSERT INTO t (text) VALUES (?)", [(f"row {i} " * 5,) for i in range(300)])
db.commit()
db.close()

# GZIP with a name and an mtime.
raw = "".join(f"line {i}\n" for i in range(2000)).encode()
b = io.BytesIO()
with gzip.GzipFile("numbers.txt", "wb", fileobj=b, mtime=1714566600) as g:
    g.write(raw)
put("sample.gz", b.getvalue())


# RAR 4: marker, archive header, one stored file, end block; header CRCs as the format has them.
def rar4():
    def block(kind, flags, body, add=b""):
        head = struct.pack("<BHH", kind, flags, 7 + len(body)) + body
        return struct.pack("<H", zlib.crc32(head) & 0xFFFF) + head + add

    text = b"stored in a RAR 4 archive\n" * 40
    name = b"note.txt"
    dos = ((2024 - 1980) << 25) | (5 << 21) | (1 << 16) | (12 << 11) | (30 << 5)
    fh = struct.pack("<IIBIIBBHI", len(text), len(text), 2, zlib.crc32(text), dos, 20, 0x30,
                     len(name), 0x20) + name
    return (b"Rar!\x1a\x07\x00" + block(0x73, 0, b"\0" * 6) + block(0x74, 0x8000, fh, text)
            + block(0x7B, 0x4000, b""))


put("sample4.rar", rar4())


# RAR 5: signature, main header, one stored file header with its data, end of archive.
def vint(v):
    o = bytearray()
    while True:
        b = v & 0x7F
        v >>= 7
        o.append(b | (0x80 if v else 0))
        if not v:
            return bytes(o)


def rar5():
    def header(body):
        size = vint(len(body))
        return struct.pack("<I", zlib.crc32(size + body)) + size + body

    text = b"stored in a RAR 5 archive\n" * 40
    name = b"note.txt"
    main = vint(1) + vint(0) + vint(0)
    file_body = (vint(2) + vint(2) + vint(len(text))  # type, flags: data area, data size
                 + vint(0x4) + vint(len(text)) + vint(0x20)  # file flags: CRC, size, attributes
                 + struct.pack("<I", zlib.crc32(text)) + vint(0)  # CRC, method: store
                 + vint(1) + vint(len(name)) + name)  # host OS, name
    return (b"Rar!\x1a\x07\x01\x00" + header(main) + header(file_body) + text
            + header(vint(5) + vint(0) + vint(0)))


put("sample5.rar", rar5())

# Office Open XML workbook and presentation, an EPUB (its mimetype entry first and stored) and a
# JAR: the ZIP-based kinds named by their content.
def office(name, part, body):
    b = io.BytesIO()
    with zipfile.ZipFile(b, "w") as z:
        z.writestr(info("[Content_Types].xml"), '<?xml version="1.0"?><Types/>')
        z.writestr(info(part), '<?xml version="1.0"?>' + body * 100)
    put(name, b.getvalue())


office("sample.xlsx", "xl/workbook.xml", "<sheet/>")
office("sample.pptx", "ppt/presentation.xml", "<p:sld/>")
b = io.BytesIO()
with zipfile.ZipFile(b, "w") as z:
    z.writestr(info("mimetype", zipfile.ZIP_STORED), "application/epub+zip")
    z.writestr(info("META-INF/container.xml"), '<?xml version="1.0"?><container/>')
    z.writestr(info("OEBPS/chapter.xhtml"), "<p>chapter text</p>" * 100)
put("sample.epub", b.getvalue())
b = io.BytesIO()
with zipfile.ZipFile(b, "w") as z:
    z.writestr(info("META-INF/MANIFEST.MF"), "Manifest-Version: 1.0\r\n\r\n")
    z.writestr(info("app/Main.class"), bytes(range(256)) * 8)
put("sample.jar", b.getvalue())
