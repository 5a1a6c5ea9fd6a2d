// Block allocation and stream data: the big-block table, the small-block
// table, the table blocks and the chains that hold every stream.
//
// The file is kept compact: a new block goes at the end (or, for a further
// small-block table block, right after the table's run) and freed blocks are
// cut out of the file. Every stored block number is renumbered after such a
// move. Each step costs one pass over the tables at most, never one pass per
// block.

#include "compound/compoundfile.h"
#include "compound/littleendian.h"

#include <algorithm>
#include <cstring>

namespace CompoundDoc {

namespace {

// Block numbers above this are markers, not blocks.
const unsigned int lastRegular = 0xFFFFFFF9u;

bool IsBlock(unsigned int r)
{
    return r <= lastRegular;
}

// Number of entries of the sorted list below r.
unsigned int CountBelow(const std::vector<unsigned int>& sorted, unsigned int r)
{
    return static_cast<unsigned int>(std::lower_bound(sorted.begin(), sorted.end(), r) - sorted.begin());
}

bool Contains(const std::vector<unsigned int>& sorted, unsigned int r)
{
    return std::binary_search(sorted.begin(), sorted.end(), r);
}

// Renumbers one table after entries were cut out of it: chains pass over the
// removed entries, the entries go and every reference moves down. Linear in
// the table: a prefix count answers "how many removed below r" at once.
void CloseUpTable(std::vector<unsigned int>& table, const std::vector<unsigned int>& removed)
{
    const std::size_t n = table.size();
    std::vector<unsigned int> below(n + 1, 0);
    for (unsigned int r : removed)
        if (r < n)
            below[r + 1] = 1;
    for (std::size_t i = 0; i < n; ++i)
        below[i + 1] += below[i];
    const unsigned int total = static_cast<unsigned int>(removed.size());
    auto isRemoved = [&](unsigned int v) { return v < n ? below[v + 1] != below[v] : Contains(removed, v); };
    auto countBelow = [&](unsigned int v) { return v < n ? below[v] : CountBelow(removed, v); };

    const std::size_t limit = removed.size() + 1;
    for (std::size_t i = 0; i < n; ++i) {
        if (below[i + 1] != below[i])
            continue; // removed itself: its entry goes
        unsigned int& value = table[i];
        std::size_t steps = 0;
        while (IsBlock(value) && isRemoved(value)) {
            if (value >= n || ++steps > limit) {
                value = CompoundFile::END_OF_CHAIN; // a loop among removed entries
                break;
            }
            value = table[value];
        }
    }
    std::size_t write = 0;
    for (std::size_t read = 0; read < n; ++read)
        if (below[read + 1] == below[read])
            table[write++] = table[read];
    for (; write < n; ++write)
        table[write] = CompoundFile::FREE;
    for (unsigned int& value : table)
        if (IsBlock(value))
            value -= std::min(countBelow(value), total);
}

// Keeps a block number held by a running operation up to date while blocks
// move; removed again however the operation ends.
class Tracked {
public:
    Tracked(std::vector<unsigned int*>& list, unsigned int* ref) : list_(list) { list_.push_back(ref); }
    ~Tracked() { list_.pop_back(); }
    Tracked(const Tracked&) = delete;
    Tracked& operator=(const Tracked&) = delete;

private:
    std::vector<unsigned int*>& list_;
};

} // namespace

unsigned int CompoundFile::FileBlocks() const
{
    const unsigned int count = file.BlockCount();
    return count > 0 ? count - 1 : 0;
}

bool CompoundFile::IsBigStream(const DirectoryEntry* e) const
{
    return e->type == 2 && e->size >= 4096;
}

unsigned int CompoundFile::UsedEntries(const std::vector<unsigned int>& table) const
{
    std::size_t n = table.size();
    while (n > 0 && table[n - 1] == FREE)
        --n;
    return static_cast<unsigned int>(n);
}

void CompoundFile::LinkBlocks(unsigned int from, unsigned int to, bool big)
{
    std::vector<unsigned int>& table = big ? bat : sbat;
    if (from < table.size())
        table[from] = to;
}

bool CompoundFile::GetBlockIndices(unsigned int start, std::vector<unsigned int>& indices, bool big)
{
    // A chain read from a file may loop or leave the table: it may not be
    // longer than the table has entries.
    indices.clear();
    const std::vector<unsigned int>& table = big ? bat : sbat;
    unsigned int k = start;
    while (k != END_OF_CHAIN) {
        if (k >= table.size() || indices.size() >= table.size())
            return false;
        indices.push_back(k);
        k = table[k];
    }
    return true;
}

unsigned int CompoundFile::DataSize(unsigned int start, bool big)
{
    std::vector<unsigned int> chain;
    if (!GetBlockIndices(start, chain, big))
        return 0;
    return static_cast<unsigned int>(chain.size() * (big ? 512u : 64u));
}

bool CompoundFile::WriteFilledBlock(unsigned int index, char fill)
{
    std::memset(blockBuffer.data(), fill, blockBuffer.size());
    return file.Write(index + 1, blockBuffer.data());
}

bool CompoundFile::InsertBlock(unsigned int index, char fill)
{
    std::memset(blockBuffer.data(), fill, blockBuffer.size());
    return file.Insert(index + 1, blockBuffer.data());
}

unsigned int CompoundFile::GetFreeBlockIndex(bool big)
{
    for (;;) {
        std::vector<unsigned int>& table = big ? bat : sbat;
        unsigned int& from = big ? batSearchFrom : sbatSearchFrom;
        for (std::size_t k = from; k < table.size(); ++k) {
            if (table[k] == FREE) {
                table[k] = END_OF_CHAIN;
                from = static_cast<unsigned int>(k + 1);
                return static_cast<unsigned int>(k);
            }
        }
        from = static_cast<unsigned int>(table.size());
        if (!ExpandBATArray(big))
            return FREE;
    }
}

bool CompoundFile::ExpandBATArray(bool big)
{
    if (big) {
        // The table is full, so every block below its length is in use and
        // the new table block goes right after them.
        const unsigned int i = static_cast<unsigned int>(bat.size());
        if (static_cast<unsigned long long>(i) + 2 >= Block::maxFileSize / 512 || !WriteFilledBlock(i, '\xFF'))
            return false;
        batLocations.push_back(i);
        bat.push_back(TABLE_BLOCK);
        bat.resize(bat.size() + 127, FREE);
        // Table blocks beyond the header's 109 slots are listed in DIFAT
        // blocks of 127 numbers each.
        if (batLocations.size() > 109) {
            const std::size_t need = (batLocations.size() - 109 + 126) / 127;
            while (difatLocations.size() < need) {
                const unsigned int k = GetFreeBlockIndex(true);
                if (k == FREE || !WriteFilledBlock(k, '\xFF'))
                    return false;
                bat[k] = DIFAT_BLOCK;
                difatLocations.push_back(k);
            }
        }
        return true;
    }

    unsigned int i = FREE;
    if (sbatLocations.empty()) {
        i = GetFreeBlockIndex(true);
        if (i == FREE || !WriteFilledBlock(i, '\xFF'))
            return false;
    } else {
        bool run = true;
        for (std::size_t j = 1; j < sbatLocations.size() && run; ++j)
            run = sbatLocations[j] == sbatLocations[0] + j;
        const unsigned int next = sbatLocations.back() + 1;
        if (run && next < bat.size() && bat[next] == FREE) {
            i = next;
            bat[i] = END_OF_CHAIN;
            if (!WriteFilledBlock(i, '\xFF'))
                return false;
        } else if (run && next <= FileBlocks()) {
            // Keep the table one run: the blocks after it move up by one.
            if (UsedEntries(bat) == bat.size() && !ExpandBATArray(true))
                return false;
            if (!InsertBlock(next, '\xFF'))
                return false;
            IncreaseLocationReferences(next);
            bat.insert(bat.begin() + next, END_OF_CHAIN);
            bat.pop_back(); // a free entry: the table keeps its length
            i = next;
        } else {
            i = GetFreeBlockIndex(true);
            if (i == FREE || !WriteFilledBlock(i, '\xFF'))
                return false;
        }
        // The table's blocks are chained first to last for other readers.
        LinkBlocks(sbatLocations.back(), i, true);
    }
    sbatLocations.push_back(i);
    sbat.resize(sbat.size() + 128, FREE);
    return true;
}

void CompoundFile::IncreaseLocationReferences(unsigned int inserted)
{
    auto bump = [inserted](unsigned int& r) {
        if (IsBlock(r) && r >= inserted)
            ++r;
    };
    for (unsigned int& r : batLocations)
        bump(r);
    for (unsigned int& r : difatLocations)
        bump(r);
    for (unsigned int& r : sbatLocations)
        bump(r);
    for (unsigned int& r : bat)
        bump(r);
    bump(header.directoryStart);
    for (std::size_t e = 0; e < dirEntries.size(); ++e)
        if (e == 0 || IsBigStream(dirEntries[e]))
            bump(dirEntries[e]->startBlock);
    for (unsigned int* r : trackedBig)
        bump(*r);
}

void CompoundFile::DecreaseLocationReferences(const std::vector<unsigned int>& removed)
{
    auto lower = [&removed](unsigned int& r) {
        if (IsBlock(r))
            r -= CountBelow(removed, r);
    };
    for (unsigned int& r : batLocations)
        lower(r);
    for (unsigned int& r : difatLocations)
        lower(r);
    for (unsigned int& r : sbatLocations)
        lower(r);
    CloseUpTable(bat, removed);
    lower(header.directoryStart);
    for (std::size_t e = 0; e < dirEntries.size(); ++e)
        if (e == 0 || IsBigStream(dirEntries[e]))
            lower(dirEntries[e]->startBlock);
    for (unsigned int* r : trackedBig)
        lower(*r);
    batSearchFrom = 0;
}

int CompoundFile::FreeBlocks(std::vector<unsigned int>& indices, bool big)
{
    return big ? FreeBigBlocks(indices) : FreeSmallBlocks(indices);
}

int CompoundFile::FreeBigBlocks(std::vector<unsigned int> removed)
{
    std::sort(removed.begin(), removed.end());
    removed.erase(std::unique(removed.begin(), removed.end()), removed.end());
    while (!removed.empty() && removed.back() >= FileBlocks())
        removed.pop_back();
    while (!removed.empty()) {
        DecreaseLocationReferences(removed);
        std::vector<unsigned int> fileIndices(removed);
        for (unsigned int& k : fileIndices)
            ++k;
        if (!file.Erase(fileIndices))
            return IO_ERROR;

        // Table blocks whose entries are all free go as well, together with
        // DIFAT blocks no longer needed; removing them may free another.
        removed.clear();
        std::size_t length = bat.size();
        unsigned int used = UsedEntries(bat);
        auto drop = [&](unsigned int block) {
            if (block < bat.size())
                bat[block] = FREE;
            removed.push_back(block);
            while (used > 0 && bat[used - 1] == FREE)
                --used;
        };
        while (batLocations.size() > 1 && length >= 128 && used + 128 <= length) {
            const unsigned int block = batLocations.back();
            batLocations.pop_back();
            length -= 128;
            drop(block);
            const std::size_t need = batLocations.size() > 109 ? (batLocations.size() - 109 + 126) / 127 : 0;
            while (difatLocations.size() > need) {
                const unsigned int d = difatLocations.back();
                difatLocations.pop_back();
                drop(d);
            }
        }
        bat.resize(length);
        std::sort(removed.begin(), removed.end());
    }
    return SUCCESS;
}

int CompoundFile::FreeSmallBlocks(std::vector<unsigned int> removed)
{
    std::sort(removed.begin(), removed.end());
    removed.erase(std::unique(removed.begin(), removed.end()), removed.end());
    while (!removed.empty() && removed.back() >= sbat.size())
        removed.pop_back();
    if (removed.empty())
        return SUCCESS;

    // The mini stream closes up over the removed small blocks.
    std::vector<char> mini;
    int result = ReadMiniStream(mini);
    if (result != SUCCESS)
        return result;
    std::vector<char> kept;
    kept.reserve(mini.size());
    for (std::size_t b = 0; b * 64 < mini.size(); ++b) {
        if (Contains(removed, static_cast<unsigned int>(b)))
            continue;
        const std::size_t n = std::min<std::size_t>(64, mini.size() - b * 64);
        kept.insert(kept.end(), mini.begin() + static_cast<std::ptrdiff_t>(b * 64),
                    mini.begin() + static_cast<std::ptrdiff_t>(b * 64 + n));
    }

    // Small block numbers: the table and every small stream's start.
    CloseUpTable(sbat, removed);
    for (std::size_t e = 1; e < dirEntries.size(); ++e) {
        DirectoryEntry* entry = dirEntries[e];
        if (entry->type == 2 && entry->size < 4096 && IsBlock(entry->startBlock))
            entry->startBlock -= CountBelow(removed, entry->startBlock);
    }
    for (unsigned int* r : trackedSmall)
        if (IsBlock(*r))
            *r -= CountBelow(removed, *r);
    sbatSearchFrom = 0;

    DirectoryEntry* rootEntry = dirEntries[0];
    unsigned int start = rootEntry->startBlock;
    result = WriteBig(kept.data(), static_cast<unsigned int>(kept.size()), start);
    rootEntry->startBlock = start;
    rootEntry->size = static_cast<unsigned int>(kept.size());
    if (result != SUCCESS)
        return result;

    // Table blocks of the small-block table whose entries are all free.
    std::vector<unsigned int> tableBlocks;
    std::size_t length = sbat.size();
    const unsigned int used = UsedEntries(sbat);
    while (!sbatLocations.empty() && length >= 128 && used <= length - 128) {
        tableBlocks.push_back(sbatLocations.back());
        sbatLocations.pop_back();
        length -= 128;
    }
    sbat.resize(length);
    return FreeBigBlocks(tableBlocks);
}

int CompoundFile::ReadMiniStream(std::vector<char>& data)
{
    const DirectoryEntry* rootEntry = dirEntries[0];
    std::vector<unsigned int> chain;
    if (!GetBlockIndices(rootEntry->startBlock, chain, true))
        return DAMAGED;
    if (static_cast<unsigned long long>(chain.size()) * 512 < rootEntry->size || rootEntry->size > file.FileSize())
        return DAMAGED;
    data.assign(rootEntry->size, 0);
    return ReadData(rootEntry->startBlock, data.data(), rootEntry->size, true);
}

int CompoundFile::ReadData(unsigned int start, char* buffer, unsigned int size, bool big)
{
    std::vector<unsigned int> chain;
    if (!GetBlockIndices(start, chain, big))
        return DAMAGED;
    const unsigned int unit = big ? 512u : 64u;
    if (static_cast<unsigned long long>(chain.size()) * unit < size)
        return DAMAGED;
    const unsigned int blocks = static_cast<unsigned int>((static_cast<unsigned long long>(size) + unit - 1) / unit);
    const unsigned int fileBlocks = FileBlocks();

    if (big) {
        const unsigned int full = size / 512;
        // Whole blocks must lie wholly inside the file (the last one may be cut short).
        for (unsigned int i = 0; i < blocks; ++i)
            if (chain[i] >= fileBlocks || (i < full && (static_cast<std::uint64_t>(chain[i]) + 2) * 512 > file.FileSize()))
                return DAMAGED;
        for (unsigned int i = 0; i < full;) {
            unsigned int j = i + 1;
            while (j < full && chain[j] == chain[j - 1] + 1)
                ++j;
            if (!file.ReadRun(chain[i] + 1, j - i, buffer + static_cast<std::size_t>(i) * 512))
                return IO_ERROR;
            i = j;
        }
        if (full < blocks) {
            // Only the stream's own bytes of its last block must be present.
            const std::uint64_t offset = (static_cast<std::uint64_t>(chain[full]) + 1) * 512;
            if (!file.ReadBytes(offset, size - full * 512, buffer + static_cast<std::size_t>(full) * 512))
                return DAMAGED;
        }
        return SUCCESS;
    }

    // Small blocks are read straight from the big blocks of the mini stream.
    const DirectoryEntry* rootEntry = dirEntries[0];
    std::vector<unsigned int> mini;
    if (!GetBlockIndices(rootEntry->startBlock, mini, true))
        return DAMAGED;
    for (unsigned int i = 0; i < blocks; ++i) {
        const unsigned int k = chain[i];
        const unsigned long long at = static_cast<unsigned long long>(k) * 64;
        if (at / 512 >= mini.size() || at + 64 > rootEntry->size + 63ull || mini[at / 512] >= fileBlocks)
            return DAMAGED;
        const std::uint64_t offset = (static_cast<std::uint64_t>(mini[at / 512]) + 1) * 512 + at % 512;
        const std::size_t n = std::min<std::size_t>(64, size - static_cast<std::size_t>(i) * 64);
        if (offset + n > file.FileSize())
            return DAMAGED;
        if (!file.ReadBytes(offset, n, buffer + static_cast<std::size_t>(i) * 64))
            return IO_ERROR;
    }
    return SUCCESS;
}

int CompoundFile::WriteData(const char* data, unsigned int size, unsigned int& start, bool big)
{
    return big ? WriteBig(data, size, start) : WriteSmall(data, size, start);
}

int CompoundFile::WriteBig(const char* data, unsigned int size, unsigned int& start)
{
    if (size == 0 && start == END_OF_CHAIN)
        return SUCCESS;
    Tracked tracked(trackedBig, &start);
    std::vector<unsigned int> chain;
    if (!GetBlockIndices(start, chain, true))
        return DAMAGED;
    const std::size_t needed = (static_cast<std::size_t>(size) + 511) / 512;
    if (chain.size() > needed) {
        std::vector<unsigned int> surplus(chain.begin() + static_cast<std::ptrdiff_t>(needed), chain.end());
        if (needed == 0)
            start = END_OF_CHAIN;
        else
            bat[chain[needed - 1]] = END_OF_CHAIN;
        const int result = FreeBigBlocks(surplus);
        if (result != SUCCESS)
            return result;
        // The kept blocks may have moved down.
        if (!GetBlockIndices(start, chain, true))
            return DAMAGED;
    }
    while (chain.size() < needed) {
        const unsigned int k = GetFreeBlockIndex(true);
        if (k == FREE)
            return FileBlocks() + 2 >= Block::maxFileSize / 512 ? TOO_LARGE : IO_ERROR;
        if (chain.empty())
            start = k;
        else
            bat[chain.back()] = k;
        chain.push_back(k);
    }

    // Whole blocks go straight from the caller's buffer, a run of
    // consecutive blocks per call; the last block is padded with zeros.
    const std::size_t full = size / 512;
    for (std::size_t i = 0; i < full;) {
        std::size_t j = i + 1;
        while (j < full && chain[j] == chain[j - 1] + 1)
            ++j;
        if (!file.WriteRun(chain[i] + 1, static_cast<unsigned int>(j - i), data + i * 512))
            return IO_ERROR;
        i = j;
    }
    if (full < needed) {
        std::memset(blockBuffer.data(), 0, blockBuffer.size());
        std::memcpy(blockBuffer.data(), data + full * 512, size - full * 512);
        if (!file.Write(chain[full] + 1, blockBuffer.data()))
            return IO_ERROR;
    }
    return SUCCESS;
}

int CompoundFile::WriteSmall(const char* data, unsigned int size, unsigned int& start)
{
    if (size == 0 && start == END_OF_CHAIN)
        return SUCCESS;
    Tracked tracked(trackedSmall, &start);
    DirectoryEntry* rootEntry = dirEntries[0];
    if (size != 0 && rootEntry->startBlock == END_OF_CHAIN) {
        const unsigned int i = GetFreeBlockIndex(true);
        if (i == FREE || !WriteFilledBlock(i, 0))
            return IO_ERROR;
        rootEntry->startBlock = i;
        rootEntry->size = 512;
    }
    std::vector<unsigned int> chain;
    if (!GetBlockIndices(start, chain, false))
        return DAMAGED;
    const std::size_t needed = (static_cast<std::size_t>(size) + 63) / 64;
    if (needed > chain.size()) {
        while (chain.size() < needed) {
            const unsigned int k = GetFreeBlockIndex(false);
            if (k == FREE)
                return IO_ERROR;
            if (chain.empty())
                start = k;
            else
                sbat[chain.back()] = k;
            chain.push_back(k);
        }
    } else if (chain.size() > needed) {
        std::vector<unsigned int> surplus(chain.begin() + static_cast<std::ptrdiff_t>(needed), chain.end());
        if (needed == 0)
            start = END_OF_CHAIN;
        else
            sbat[chain[needed - 1]] = END_OF_CHAIN;
        const int result = FreeSmallBlocks(surplus);
        if (result != SUCCESS)
            return result;
        if (!GetBlockIndices(start, chain, false))
            return DAMAGED;
    }

    // The mini stream's length covers every small block in use; its chain
    // grows (new blocks zero-filled) or shrinks to match. Only the small
    // blocks of this stream are then written, where they lie in the file,
    // so a small write costs its own bytes, not the whole mini stream.
    const unsigned int miniSize = static_cast<unsigned int>(UsedEntries(sbat)) * 64;
    const std::size_t bigNeeded = (static_cast<std::size_t>(miniSize) + 511) / 512;
    std::vector<unsigned int> mini;
    if (!GetBlockIndices(rootEntry->startBlock, mini, true))
        return DAMAGED;
    if (mini.size() > bigNeeded) {
        std::vector<unsigned int> surplus(mini.begin() + static_cast<std::ptrdiff_t>(bigNeeded), mini.end());
        if (bigNeeded == 0)
            rootEntry->startBlock = END_OF_CHAIN;
        else
            bat[mini[bigNeeded - 1]] = END_OF_CHAIN;
        const int result = FreeBigBlocks(surplus);
        if (result != SUCCESS)
            return result;
        if (!GetBlockIndices(rootEntry->startBlock, mini, true))
            return DAMAGED;
    }
    while (mini.size() < bigNeeded) {
        const unsigned int k = GetFreeBlockIndex(true);
        if (k == FREE || !WriteFilledBlock(k, 0))
            return IO_ERROR;
        if (mini.empty())
            rootEntry->startBlock = k;
        else
            bat[mini.back()] = k;
        mini.push_back(k);
    }
    rootEntry->size = miniSize;

    char piece[512];
    for (std::size_t i = 0; i < needed;) {
        // consecutive small blocks inside one big block go in one call
        const std::size_t at = static_cast<std::size_t>(chain[i]) * 64;
        if (at / 512 >= mini.size())
            return DAMAGED;
        std::size_t j = i + 1;
        while (j < needed && chain[j] == chain[j - 1] + 1 && (static_cast<std::size_t>(chain[j]) * 64) / 512 == at / 512)
            ++j;
        const std::size_t bytes = (j - i) * 64;
        const std::size_t have = std::min<std::size_t>(bytes, size - i * 64);
        std::memcpy(piece, data + i * 64, have);
        std::memset(piece + have, 0, bytes - have); // no stale bytes after the end
        const std::uint64_t offset = (static_cast<std::uint64_t>(mini[at / 512]) + 1) * 512 + at % 512;
        if (!file.WriteBytes(offset, bytes, piece))
            return IO_ERROR;
        i = j;
    }
    return SUCCESS;
}

} // namespace CompoundDoc
