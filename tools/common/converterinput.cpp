#include "converterinput.h"

#include "qpdfrepair.h"

ConverterInput::ConverterInput(std::string path) : path_(std::move(path))
{
}

bool ConverterInput::prepare(std::string *why)
{
    rewrite_.clear();
    fallback_.clear();
    QpdfRepair reading(path_);
    const std::string refused = reading.treeRefusal(false);
    if (!refused.empty()) {
        *why = refused;
        return false;
    }
    if (!reading.readersStumble() && !reading.hybridReferences())
        return true;
    std::string failure;
    if (!reading.rewrite(&rewrite_, &failure)) {
        rewrite_.clear();
        fallback_ = failure;
    }
    return true;
}
