#ifndef OSTREL_MARKEDTEXTS_H
#define OSTREL_MARKEDTEXTS_H

#include <mupdf/pdf.h>

#include <set>
#include <string>
#include <vector>

// The texts a document gives for what a page shows, apart from its glyphs:
// /ActualText, /Alt and /E of marked content (property lists written in
// the content or named by the resources) and of structure elements. Where
// words of a page are replaced, these texts read the replacement where
// they held the words, so nothing of the old words stays to be read.
class MarkedTexts
{
public:
    struct Change
    {
        std::string old;           // UTF-8
        std::string replacement;   // UTF-8; empty for words a picture replaces
    };

    // `text` (UTF-8) with each old text of `changes` replaced, the longest
    // first; the same text where none occurs.
    static std::string changed(const std::string &text, const std::vector<Change> &changes);
    // A text string of the content or a dictionary (PDFDocEncoding or UTF-16) as UTF-8. Throws MupdfError.
    static std::string utf8Of(fz_context *ctx, const std::string &written);

    // The bytes of a property list written in content, from its "<<" to its
    // ">>", with the strings of its text entries changed; the same bytes
    // where none changes. Throws MupdfError.
    static std::string changedProperties(fz_context *ctx, const std::string &bytes, const std::vector<Change> &changes);

    // Changes the text entries of `dictionary`. Throws MupdfError.
    static void changeDictionary(fz_context *ctx, pdf_obj *dictionary, const std::vector<Change> &changes);

    // Changes the text entries of the structure elements that hold any of
    // `mcids` on `page`, and of the elements above them. The walk of the
    // structure tree is bounded in count, at any depth, and passes over
    // cycles.
    // Throws MupdfError.
    static void changeStructure(fz_context *ctx, pdf_document *doc, pdf_obj *page, const std::set<int> &mcids,
                                const std::vector<Change> &changes);
};

#endif
