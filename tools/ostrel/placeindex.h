#ifndef OSTREL_PLACEINDEX_H
#define OSTREL_PLACEINDEX_H

#include <mupdf/fitz.h>

#include <utility>
#include <vector>

// Boxes on a page as shown (read words, or the middles of drawn glyphs as
// boxes of no size), looked up by area in time that follows what lies near
// it, so a page of many rules is checked in time linear in its glyphs and
// rules.
class PlaceIndex
{
public:
    explicit PlaceIndex(std::vector<fz_rect> boxes);

    // The indices of the boxes that meet `area`, each once, in no set order.
    // A box of no size meets it when its point lies inside, the area's
    // right and bottom edges left out (as fz_is_point_inside_rect tells it).
    std::vector<size_t> meeting(const fz_rect &area) const;

private:
    std::vector<fz_rect> boxes_;
    std::vector<std::pair<long long, size_t>> cells_;   // (cell, box) for each cell a box covers, sorted
    std::vector<size_t> large_;                         // boxes over too many cells, looked at for every area
};

#endif
