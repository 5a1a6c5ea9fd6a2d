#ifndef GRIDMOLT_BIFF_XFRK_H
#define GRIDMOLT_BIFF_XFRK_H

namespace Biff {
namespace Sheet {

// One entry of a MULRK record: a format and an RK-encoded number, 6 bytes.
class XFRK {
public:
    static const unsigned int WireSize = 6;

    unsigned short xfIndex;
    unsigned int rkValue;

    XFRK() : xfIndex(0), rkValue(0) {}
    XFRK(unsigned short xf, unsigned int rk) : xfIndex(xf), rkValue(rk) {}

    void Read(const char* data);
    void Write(char* data) const;
};

} // namespace Sheet
} // namespace Biff

#endif
