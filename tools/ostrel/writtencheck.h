#ifndef OSTREL_WRITTENCHECK_H
#define OSTREL_WRITTENCHECK_H

#include "appliedrule.h"
#include "fontcache.h"
#include "mupdfheld.h"
#include "unfollowedtext.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class ConverterReading;

// Reads the written file back as a reader would: every page through the
// page tree, every reference of the tree and its pages resolved by the
// generation it names, the content and resources of the pages loaded. A
// written page is measured by its input page: it may lack only what that
// lacked (a page without content is blank to every reader, written or not).
class WrittenCheck
{
public:
    // What the input held, as the engine's library read it.
    struct Input
    {
        int pageCount = 0;
        size_t dangling = 0;     // references to objects the input does not hold
        bool repaired = false;   // read as repaired: every page is loaded whole again
        // Of a repaired input, each page's: whether it has resources and
        // content that all load (whole()).
        std::vector<char> whole;
    };

    // `libraryMessages` counts the library's errors and warnings of this pass.
    WrittenCheck(fz_context *ctx, std::string path, const Input &input, const int *libraryMessages);
    ~WrittenCheck();
    WrittenCheck(const WrittenCheck &) = delete;
    WrittenCheck &operator=(const WrittenCheck &) = delete;

    // What makes the whole file unusable, empty when nothing does; rules
    // whose words are still shown at their place, or whose replacement is
    // not read where it was drawn, land in `unread`.
    std::string verify(const std::vector<AppliedRule> &applied, std::map<int, std::string> *unread);

    // Whether `page` has resources and content streams that all load.
    // Throws MupdfError (call inside guarded()).
    static bool whole(fz_context *ctx, pdf_page *page);

private:
    std::string openWritten();
    std::string checkPage(int index, const std::vector<const AppliedRule *> *rules, std::map<int, std::string> *unread);
    void checkRules(pdf_page *page, const fz_matrix &toShown, const std::vector<const AppliedRule *> &rules,
                    std::map<int, std::string> *unread);
    bool popplerMayDiffer(pdf_page *page, int *shortOperands) const;

    fz_context *ctx_;
    std::string path_;
    const Input &input_;
    const int *libraryMessages_;
    HeldDocument doc_;
    std::unique_ptr<FontCache> fonts_;
    UnfollowedText unfollowed_;
    std::unique_ptr<ConverterReading> converter_;   // made when a replacement text is to be read
};

#endif
