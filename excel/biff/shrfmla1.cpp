#include "biff/shrfmla1.h"

namespace Biff {
namespace Sheet {

ShrFmla1::ShrFmla1()
    : ShrFmla(Code)
{
}

ShrFmla1::~ShrFmla1() = default;

} // namespace Sheet
} // namespace Biff
