#include "placeindex.h"

#include <algorithm>
#include <cmath>

namespace
{
// Cells of the page a few letters wide.
const float kCellSize = 32;
// A box over more cells than this (a word across the page) is not listed
// in each of them.
const long long kMostCells = 64;

long long cellIndex(float v)
{
    // Kept positive, so a pair of them makes one key.
    return (long long)std::floor(std::max(-1e6f, std::min(1e6f, v)) / kCellSize) + 100000;
}

// (cell, box) pairs made in box order, put in the order std::sort gives
// them: a stable counting pass by row, then one by column, each over the
// rows or columns the boxes span, so time is linear in the pairs.
void sortByCell(std::vector<std::pair<long long, size_t>> *cells)
{
    if (cells->empty())
        return;
    std::vector<std::pair<long long, size_t>> sorted(cells->size());
    std::vector<size_t> start;
    for (const int shift : {0, 32}) {
        const auto part = [shift](long long key) { return (key >> shift) & 0xFFFFFFFFLL; };
        long long low = part(cells->front().first), high = low;
        for (const auto &c : *cells) {
            low = std::min(low, part(c.first));
            high = std::max(high, part(c.first));
        }
        start.assign(size_t(high - low + 2), 0);
        for (const auto &c : *cells)
            ++start[size_t(part(c.first) - low) + 1];
        for (size_t i = 1; i < start.size(); ++i)
            start[i] += start[i - 1];
        for (const auto &c : *cells)
            sorted[start[size_t(part(c.first) - low)]++] = c;
        cells->swap(sorted);
    }
}

// Asked for every box near every area.
bool meets(const fz_rect &box, const fz_rect &area)
{
    return box.x0 < area.x1 && box.x1 >= area.x0 && box.y0 < area.y1 && box.y1 >= area.y0;
}
}

PlaceIndex::PlaceIndex(std::vector<fz_rect> boxes) : boxes_(std::move(boxes))
{
    cells_.reserve(boxes_.size());
    for (size_t i = 0; i < boxes_.size(); ++i) {
        const fz_rect &b = boxes_[i];
        const long long x0 = cellIndex(b.x0), x1 = cellIndex(b.x1), y0 = cellIndex(b.y0), y1 = cellIndex(b.y1);
        if ((x1 - x0 + 1) * (y1 - y0 + 1) > kMostCells) {
            large_.push_back(i);
            continue;
        }
        for (long long x = x0; x <= x1; ++x)
            for (long long y = y0; y <= y1; ++y)
                cells_.emplace_back((x << 32) | y, i);
    }
    sortByCell(&cells_);
}

std::vector<size_t> PlaceIndex::meeting(const fz_rect &area) const
{
    std::vector<size_t> found;
    const long long x0 = cellIndex(area.x0), x1 = cellIndex(area.x1);
    const long long y0 = cellIndex(area.y0), y1 = cellIndex(area.y1);
    // An area of more cells than there are boxes is read box by box.
    if (double(x1 - x0 + 1) * double(y1 - y0 + 1) > double(boxes_.size())) {
        for (size_t i = 0; i < boxes_.size(); ++i)
            if (meets(boxes_[i], area))
                found.push_back(i);
        return found;
    }
    for (const size_t i : large_)
        if (meets(boxes_[i], area))
            found.push_back(i);
    for (long long x = x0; x <= x1; ++x)
        for (long long y = y0; y <= y1; ++y) {
            const long long key = (x << 32) | y;
            for (auto cell = std::lower_bound(cells_.begin(), cells_.end(), std::make_pair(key, size_t(0)));
                 cell != cells_.end() && cell->first == key; ++cell)
                if (meets(boxes_[cell->second], area))
                    found.push_back(cell->second);
        }
    // A box over several cells is met in each.
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}
