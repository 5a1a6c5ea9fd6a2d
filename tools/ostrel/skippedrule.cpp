#include "skippedrule.h"

#include "messagetext.h"

std::string SkippedRule::line(int line, const std::string &page, const std::string &what, const std::string &why)
{
    const size_t shown = MessageText::kShownCharacters;
    return "line " + std::to_string(line) + ", page " + (page.size() > shown ? page.substr(0, shown) + "..." : page)
        + ", " + what + ": " + why + "; rule skipped";
}

std::string SkippedRule::line(int line, int64_t page, const std::string &what, const std::string &why)
{
    return SkippedRule::line(line, std::to_string(page), what, why);
}
