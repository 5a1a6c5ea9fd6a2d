#!/usr/bin/python3
"""What a PDF's embedded TrueType fonts hold, read with qpdf and fontTools.

  embeddedfonts.py PDF
      one line per embedded font: its name without the subset tag, then the
      outlines of its glyphs that have one (as sorted fingerprints); then one
      line per Type0 font with a ToUnicode map: "type0 ok", or "type0 bad"
      and the first fault of its map or of the dictionaries readers need
  embeddedfonts.py --glyphs FONTFILE TEXT
      the outlines of the glyphs FONTFILE's cmap gives the characters of
      TEXT, as above
"""
import functools
import hashlib
import io
import json
import math
import re
import subprocess
import sys

from fontTools.pens.recordingPen import DecomposingRecordingPen
from fontTools.ttLib import TTFont


@functools.lru_cache(maxsize=None)   # a font file's bytes are wanted for its tables and again for its length
def stream(pdf, ref):
    number = ref.split()[0]
    return subprocess.run(["qpdf", "--show-object=" + number, "--filtered-stream-data", pdf],
                          capture_output=True, check=True).stdout


@functools.lru_cache(maxsize=None)   # its tables are read for its outlines, widths and measures
def font_file(pdf, ref):
    return TTFont(io.BytesIO(stream(pdf, ref)))


def outlines(font, names):
    """Fingerprints of the outlines of glyphs `names`, composites drawn out,
    so the same letter matches whatever number a subset gave it."""
    glyphs = font.getGlyphSet()
    prints = set()
    for name in names:
        pen = DecomposingRecordingPen(glyphs)
        glyphs[name].draw(pen)
        if pen.value:
            prints.add(hashlib.sha1(repr(pen.value).encode()).hexdigest()[:12])
    return sorted(prints)


def well_formed(destination):
    """A UTF-16BE destination: whole code units, surrogates in pairs (the
    strict decoder refuses a lone one)."""
    try:
        return len(destination) % 4 == 0 and bool(bytes.fromhex(destination).decode("utf-16-be"))
    except ValueError:
        return False


def dictionary_faults(pdf, objects, type0):
    """What a Type0 font of Identity-H over an embedded TrueType lacks of
    the entries readers require of it, its descendant and its descriptor."""
    cid = objects.get((type0.get("/DescendantFonts") or [""])[0], {})
    descriptor = objects.get(str(cid.get("/FontDescriptor")), {})
    name = type0.get("/BaseFont")
    wanted = [
        ("type0 /Type", type0.get("/Type"), "/Font"),
        ("type0 /Encoding", type0.get("/Encoding"), "/Identity-H"),
        ("one descendant", len(type0.get("/DescendantFonts", [])), 1),
        ("cidfont /Type", cid.get("/Type"), "/Font"),
        ("cidfont /Subtype", cid.get("/Subtype"), "/CIDFontType2"),
        ("cidfont /BaseFont", cid.get("/BaseFont"), name),
        ("cidfont /CIDSystemInfo", cid.get("/CIDSystemInfo"),
         {"/Registry": "Adobe", "/Ordering": "Identity", "/Supplement": 0}),
        ("descriptor /Type", descriptor.get("/Type"), "/FontDescriptor"),
        ("descriptor /FontName", descriptor.get("/FontName"), name),
        ("descriptor /FontBBox", len(descriptor.get("/FontBBox", [])), 4),
    ]
    faults = ["%s is %r" % (what, got) for what, got, want in wanted if got != want]
    faults += ["cidfont lacks " + key for key in ("/CIDToGIDMap", "/W") if key not in cid]
    faults += ["descriptor lacks " + key for key in
               ("/Flags", "/ItalicAngle", "/Ascent", "/Descent", "/CapHeight", "/StemV", "/FontFile2")
               if not isinstance(descriptor.get(key), (int, float, str))]
    return faults + width_faults(pdf, cid, descriptor) + metric_faults(pdf, objects, descriptor)


def metric_faults(pdf, objects, descriptor):
    """Where the descriptor's measures are not the font file's own, in
    thousandths of the em, or its flags and stem not those of its face
    (named Bold, Oblique or Italic)."""
    if "/FontFile2" not in descriptor:
        return []
    font = font_file(pdf, descriptor["/FontFile2"])
    scale = 1000 / font["head"].unitsPerEm

    def lround(v):   # halves away from zero, as the program rounds
        return int(math.copysign(math.floor(abs(v * scale) + 0.5), v))

    head, os2, hhea = font["head"], font["OS/2"], font["hhea"]
    typo = os2.fsSelection & 0x80   # the font asks for its typographic ascent and descent
    ascent = os2.sTypoAscender if typo else hhea.ascent
    face = str(descriptor.get("/FontName"))
    italic = "Oblique" in face or "Italic" in face
    wanted = [
        ("/FontBBox", descriptor.get("/FontBBox"), [lround(v) for v in (head.xMin, head.yMin, head.xMax, head.yMax)]),
        ("/Ascent", descriptor.get("/Ascent"), lround(ascent)),
        ("/Descent", descriptor.get("/Descent"), lround(os2.sTypoDescender if typo else hhea.descent)),
        ("/CapHeight", descriptor.get("/CapHeight"), lround(getattr(os2, "sCapHeight", ascent))),
        ("/ItalicAngle", descriptor.get("/ItalicAngle"), font["post"].italicAngle),
        ("/Flags", descriptor.get("/Flags"), 4 + (64 if italic else 0)),
        ("/StemV", descriptor.get("/StemV"), 140 if "Bold" in face else 80),
        ("/FontFile2 /Length1", objects.get(descriptor["/FontFile2"], {}).get("/Length1"),
         len(stream(pdf, descriptor["/FontFile2"]))),
    ]
    return ["descriptor %s is %r, not %r" % (what, got, want) for what, got, want in wanted
            if not (isinstance(got, (int, float, list)) and got == want)]


def width_faults(pdf, cid, descriptor):
    """Where the glyph a code's CIDToGIDMap entry names is not in the font,
    or is not as wide as /W says: the map would draw another glyph."""
    widths = cid.get("/W", [])
    if len(widths) != 2 or not isinstance(widths[1], list) or "/FontFile2" not in descriptor:
        return []
    font = font_file(pdf, descriptor["/FontFile2"])
    order, scale = font.getGlyphOrder(), 1000 / font["head"].unitsPerEm
    gids = stream(pdf, cid["/CIDToGIDMap"])
    for code, width in enumerate(widths[1], start=widths[0]):
        gid = int.from_bytes(gids[2 * code:2 * code + 2], "big")
        if gid >= len(order):
            return ["code %d maps to glyph %d of %d" % (code, gid, len(order))]
        advance = font["hmtx"][order[gid]][0] * scale
        if abs(advance - width) > 1:
            return ["code %d is %s wide, its glyph %d %g" % (code, width, gid, advance)]
    return []


def describe(pdf):
    objects = json.loads(subprocess.run(["qpdf", "--json=1", "--json-key=objects", pdf],
                                        capture_output=True, check=True).stdout)["objects"]
    fonts, type0s = [], []   # printed in this order, whatever the order of the objects
    for value in objects.values():
        if not isinstance(value, dict):
            continue
        if value.get("/Type") == "/FontDescriptor" and "/FontFile2" in value:
            font = font_file(pdf, value["/FontFile2"])
            fonts.append(" ".join([value["/FontName"].split("+")[-1]] + outlines(font, font.getGlyphOrder())))
        if value.get("/Subtype") == "/Type0" and "/ToUnicode" in value:
            text = stream(pdf, value["/ToUnicode"]).decode("latin-1")
            bad = dictionary_faults(pdf, objects, value)
            for count, block in re.findall(r"(\d+)\s+beginbfchar(.*?)endbfchar", text, re.S):
                entries = re.findall(r"<([0-9A-Fa-f]*)>\s*<([0-9A-Fa-f]*)>", block)
                if len(entries) != int(count) or len(entries) > 100:   # at most 100 a block
                    bad.append("block of %s entries" % count)
                bad += ["<%s> <%s>" % e for e in entries if len(e[0]) != 4 or not well_formed(e[1])]
            type0s.append("type0 " + ("bad " + bad[0] if bad else "ok"))
    for line in fonts + type0s:
        print(line)


def glyphs(path, text):
    font = TTFont(path)
    cmap = font.getBestCmap()
    print(*outlines(font, {cmap[ord(c)] for c in text if ord(c) in cmap}))


if __name__ == "__main__":
    if sys.argv[1] == "--glyphs":
        glyphs(sys.argv[2], sys.argv[3])
    else:
        describe(sys.argv[1])
