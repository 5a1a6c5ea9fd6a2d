#!/usr/bin/env python3
"""Writes the hostile PDFs of this folder (see README.md). Run it here."""
import struct
import zlib


def pdf(objects):
    out = b"%PDF-1.4\n"
    offsets = []
    for i, body in enumerate(objects):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % (i + 1) + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % o for o in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return out


def stream(content, compress=True):
    if compress:
        data = zlib.compress(content, 9)
        return b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(data) + data + b"\nendstream"
    return b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream"


def pages(count, width, height, content, extra=(), resources=b""):
    """`count` pages of one size sharing one content stream (object 3)."""
    kids = b" ".join(b"%d 0 R" % (4 + i) for i in range(count))
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [%s] /Count %d >>" % (kids, count),
               stream(content)]
    objects += [b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Contents 3 0 R%s >>"
                % (width, height, resources) for _ in range(count)]
    return pdf(objects + list(extra))


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


write("nested-states.pdf", pages(2, 300, 200, b"q " * 200000 + b"0 0 10 10 re f"))
write("huge-page.pdf", pages(1, 200000, 200000, b"0 0 10 10 re f"))
write("big-page.pdf", pages(1, 16000, 16000, b"0 0 10 10 re f"))
write("slow-pages.pdf", pages(20, 600, 800, b"0 0 1 1 re f " * 200000))
cmap = (b"/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /C def\n"
        b"1 begincodespacerange <00> <FF> endcodespacerange\n"
        b"3 beginbfchar <41> <0008> <42> <001F> <54> <0054> endbfchar\n"
        b"1 beginbfrange <61> <7A> <0061> endbfrange\n"
        b"endcmap CMapName currentdict /CMap defineresource pop end end")
write("control-characters.pdf",
      pages(1, 300, 200, b"BT /F1 12 Tf 50 150 Td (TabAleBx) Tj ET",
            [b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode %d 0 R >>" % 6, stream(cmap, False)],
            b" /Resources << /Font << /F1 5 0 R >> >>"))

# Twelve levels of forms, each drawing the next four times: 4^12 drawings
# from a few kilobytes.
nested = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
          b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R"
          b" /Resources << /XObject << /X 5 0 R >> >> >>",
          stream(b"/X Do", False)]
for level in range(12):
    last = level == 11
    form = stream(b"0 0 1 1 re f" if last else b"/X Do " * 4, False)
    resources = b"" if last else b"/Resources << /XObject << /X %d 0 R >> >> " % (6 + level)
    nested.append(form.replace(b"<< ", b"<< /Type /XObject /Subtype /Form /BBox [0 0 300 200] " + resources, 1))
write("nested-forms.pdf", pdf(nested))
# A page tree that claims two billion pages and holds one.
write("huge-count.pdf", pdf([b"<< /Type /Catalog /Pages 2 0 R >>",
                             b"<< /Type /Pages /Kids [3 0 R] /Count 2147483647 >>",
                             b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] >>"]))
# A page tree of 30 levels whose every node lists the next one twice: a
# billion paths to its one page, counted as one page at the root.
dag = [b"<< /Type /Catalog /Pages 2 0 R >>"]
dag += [b"<< /Type /Pages /Kids [%d 0 R %d 0 R] /Count 1 >>" % (3 + level, 3 + level) for level in range(30)]
write("page-tree-paths.pdf", pdf(dag + [b"<< /Type /Page /MediaBox [0 0 300 200] >>"]))
# One page; the information object's table entry points into the page.
info = pages(1, 300, 200, b"BT /F1 12 Tf 50 150 Td (Kept) Tj ET", [b"<< /Title (Info) >>"],
             b" /Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>")
info = info.replace(b"/Root 1 0 R >>", b"/Root 1 0 R /Info 5 0 R >>")
entries = info[info.index(b"xref\n"):].split(b"\n")
entries[7] = b"%010d 00000 n " % (int(entries[6][:10]) + 7)
write("bad-info-offset.pdf", info[:info.index(b"xref\n")] + b"\n".join(entries))


def png(width, height):
    """A white picture of one bit a pixel: small as a file, huge decoded."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    row = b"\0" + b"\xff" * ((width + 7) // 8)
    packer = zlib.compressobj(9)
    data = b"".join(packer.compress(row) for _ in range(height)) + packer.flush()
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 1, 0, 0, 0, 0))
            + chunk(b"IDAT", data) + chunk(b"IEND", b""))


write("huge-picture.png", png(20000, 20000))
