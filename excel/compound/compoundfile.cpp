// Compound document operations: create, open, close, and whole-stream
// writing and reading by path.

#include "compound/compoundfile.h"
#include "compound/littleendian.h"
#include "compound/widetext.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace CompoundDoc {

namespace {

const unsigned long long signature = 0xE11AB1A1E011CFD0ull;

bool NameTerminated(const CompoundFile::DirectoryEntry& e)
{
    for (int i = 0; i < 32; ++i)
        if (e.name[i] == 0)
            return true;
    return false;
}

} // namespace

CompoundFile::CompoundFile()
    : blockBuffer(512, 0), root(nullptr), currentDirectory(nullptr), batSearchFrom(0), sbatSearchFrom(0)
{
}

CompoundFile::~CompoundFile()
{
    Close();
}

int CompoundFile::Close()
{
    bat.clear();
    sbat.clear();
    for (DirectoryEntry* e : dirEntries)
        delete e;
    dirEntries.clear();
    delete root;
    root = nullptr;
    previousDirectories.clear();
    currentDirectory = nullptr;
    batLocations.clear();
    difatLocations.clear();
    sbatLocations.clear();
    batSearchFrom = sbatSearchFrom = 0;
    trackedBig.clear();
    trackedSmall.clear();
    header = Header();
    blockBuffer.assign(512, 0);
    if (file.IsOpen())
        file.Close();
    return 1;
}

bool CompoundFile::IsOpen()
{
    return file.IsOpen();
}

// ---------------------------------------------------------------- create

bool CompoundFile::Create(const wchar_t* path)
{
    Close();
    return file.Create(path) && StartNew();
}

bool CompoundFile::Create(const char* path)
{
    Close();
    return file.Create(path) && StartNew();
}

bool CompoundFile::StartNew()
{
    header = Header();
    bat.assign(128, FREE);
    bat[0] = TABLE_BLOCK;
    bat[1] = END_OF_CHAIN;
    batLocations.assign(1, 0);
    DirectoryEntry* rootEntry = new DirectoryEntry;
    const wchar_t* rootName = L"Root Entry";
    for (int i = 0; rootName[i] != 0; ++i)
        rootEntry->name[i] = rootName[i];
    rootEntry->nameSize = 22;
    rootEntry->type = 5;
    dirEntries.push_back(rootEntry);
    root = new PropertyTree;
    root->entry = rootEntry;
    root->index = 0;
    currentDirectory = root;
    // A document that cannot be written whole is no document.
    if (SaveAll() != SUCCESS) {
        Close();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- open

namespace {

// Opening a document never creates or empties the file: a mode with the out
// bit opens the existing file for reading and writing.
std::ios_base::openmode ExistingFileMode(std::ios_base::openmode mode)
{
    if (mode & std::ios_base::out)
        mode |= std::ios_base::in;
    return mode & ~std::ios_base::trunc & ~std::ios_base::app;
}

} // namespace

bool CompoundFile::Open(const wchar_t* path, std::ios_base::openmode mode)
{
    Close();
    return file.Open(path, ExistingFileMode(mode)) && LoadAll();
}

bool CompoundFile::Open(const char* path, std::ios_base::openmode mode)
{
    Close();
    return file.Open(path, ExistingFileMode(mode)) && LoadAll();
}

bool CompoundFile::LoadAll()
{
    if (!LoadHeader() || !LoadBAT() || !LoadProperties()) {
        Close(); // a failed open leaves nothing half open
        return false;
    }
    return true;
}

bool CompoundFile::LoadHeader()
{
    blockBuffer.assign(512, 0);
    if (file.BlockCount() < 1 || !file.Read(0, blockBuffer.data()))
        return false;
    header.Read(blockBuffer.data());
    if (header.fileType != signature)
        return false;
    // Only the block sizes of version 3 are handled; anything else would
    // make every offset computed below meaningless.
    if (header.bigBlockShift != 9 || header.smallBlockShift != 6 || header.byteOrder != 0xFFFE)
        return false;
    blockBuffer.resize(header.bigBlockSize);
    file.SetBlockSize(header.bigBlockSize);
    return true;
}

bool CompoundFile::LoadBAT()
{
    const unsigned int fileBlocks = FileBlocks();
    if (header.batCount == 0 || header.batCount > fileBlocks)
        return false;
    const unsigned int inHeader = std::min(header.batCount, 109u);
    for (unsigned int s = 0; s < inHeader; ++s) {
        if (header.batBlocks[s] >= fileBlocks)
            return false;
        batLocations.push_back(header.batBlocks[s]);
    }

    // Table blocks beyond 109: the published DIFAT chain, or (files written
    // by earlier versions) a run of further table blocks.
    auto readDifat = [&](bool collect) {
        if (header.xbatCount > fileBlocks)
            return false;
        unsigned int d = header.xbatStart;
        for (unsigned int c = 0; c < header.xbatCount; ++c) {
            if (!collect && d == END_OF_CHAIN)
                break;
            if (d >= fileBlocks || !file.Read(d + 1, blockBuffer.data()))
                return false;
            difatLocations.push_back(d);
            for (unsigned int t = 0; t < 127; ++t) {
                if (!collect || batLocations.size() >= header.batCount)
                    break;
                unsigned int v = 0;
                LittleEndian::Read(blockBuffer, v, 4ul * t, 4);
                if (v >= fileBlocks)
                    return false;
                batLocations.push_back(v);
            }
            LittleEndian::Read(blockBuffer, d, 4ul * 127, 4);
            if (collect && batLocations.size() >= header.batCount)
                break;
        }
        return !collect || batLocations.size() == header.batCount;
    };
    bool legacyRun = false;
    if (header.batCount > 109) {
        if (!readDifat(true))
            return false;
    } else if (header.xbatCount > 0) {
        legacyRun = true;
    }

    auto readTable = [&](std::vector<unsigned int>& table, const std::vector<unsigned int>& locations) {
        table.assign(locations.size() * 128, FREE);
        for (std::size_t b = 0; b < locations.size(); ++b) {
            if (!file.Read(locations[b] + 1, blockBuffer.data()))
                return false;
            for (unsigned int j = 0; j < 128; ++j)
                LittleEndian::Read(blockBuffer, table[b * 128 + j], 4ul * j, 4);
        }
        return true;
    };
    if (!readTable(bat, batLocations))
        return false;
    if (legacyRun) {
        // A DIFAT block is marked as such in the table; a run of further
        // table blocks needs all 109 header slots in use.
        if (header.xbatStart < bat.size() && bat[header.xbatStart] == DIFAT_BLOCK) {
            if (!readDifat(false))
                return false;
        } else {
            if (header.batCount != 109 || header.xbatStart >= fileBlocks
                || header.xbatCount > fileBlocks - header.xbatStart)
                return false;
            for (unsigned int x = 0; x < header.xbatCount; ++x)
                batLocations.push_back(header.xbatStart + x);
            if (!readTable(bat, batLocations))
                return false;
        }
    }

    if (header.sbatCount > 0) {
        if (header.sbatCount > fileBlocks)
            return false;
        unsigned int s = header.sbatStart;
        for (unsigned int c = 0; c < header.sbatCount; ++c) {
            if (s >= fileBlocks || s >= bat.size())
                return false;
            sbatLocations.push_back(s);
            s = bat[s];
        }
        if (!readTable(sbat, sbatLocations))
            return false;
    }

    // Table blocks are marked as such, whatever the file says, so that they
    // are never handed out as free blocks when the document is written.
    for (unsigned int loc : batLocations)
        if (loc < bat.size())
            bat[loc] = TABLE_BLOCK;
    for (unsigned int loc : difatLocations)
        if (loc < bat.size())
            bat[loc] = DIFAT_BLOCK;

    // A block may serve one table only once.
    std::vector<unsigned int> all(batLocations);
    all.insert(all.end(), difatLocations.begin(), difatLocations.end());
    all.insert(all.end(), sbatLocations.begin(), sbatLocations.end());
    std::sort(all.begin(), all.end());
    if (std::adjacent_find(all.begin(), all.end()) != all.end())
        return false;
    batSearchFrom = sbatSearchFrom = 0;
    return true;
}

bool CompoundFile::LoadProperties()
{
    std::vector<unsigned int> chain;
    if (!GetBlockIndices(header.directoryStart, chain, true) || chain.empty())
        return false;
    // Every block of the chain must be in the file before the entries are
    // sized by the chain's length (a chain has no repeats, so then the
    // directory is no larger than the file).
    const unsigned int fileBlocks = FileBlocks();
    for (unsigned int k : chain)
        if (k >= fileBlocks)
            return false;
    const std::size_t slots = chain.size() * 4;
    std::vector<DirectoryEntry> raw(slots);
    for (std::size_t b = 0; b < chain.size(); ++b) {
        if (!file.Read(chain[b] + 1, blockBuffer.data()))
            return false;
        for (std::size_t j = 0; j < 4; ++j)
            raw[b * 4 + j].Read(blockBuffer.data() + 128 * j);
    }
    if (raw[0].type != 5 || !NameTerminated(raw[0]))
        return false;

    // Walk the stored links once, refusing links that leave the list, lead
    // back to a placed entry or name an unused entry.
    std::vector<char> placed(slots, 0);
    std::vector<std::vector<unsigned int>> childrenOf(slots);
    // No recursion anywhere: storages may nest as deep as the file allows.
    std::vector<unsigned int> storages(1, 0u);
    placed[0] = 1;
    while (!storages.empty()) {
        const unsigned int storage = storages.back();
        storages.pop_back();
        std::vector<unsigned int> pending;
        if (raw[storage].child != FREE)
            pending.push_back(raw[storage].child);
        while (!pending.empty()) {
            const unsigned int c = pending.back();
            pending.pop_back();
            if (c >= slots || placed[c])
                return false;
            const DirectoryEntry& e = raw[c];
            if ((e.type != 1 && e.type != 2) || !NameTerminated(e) || e.name[0] == 0)
                return false;
            placed[c] = 1;
            childrenOf[storage].push_back(c);
            if (e.leftSibling != FREE)
                pending.push_back(e.leftSibling);
            if (e.rightSibling != FREE)
                pending.push_back(e.rightSibling);
            if (e.type == 1)
                storages.push_back(c);
        }
    }

    // Entries nothing links to are unused; the others keep their order.
    std::vector<unsigned int> newIndex(slots, FREE);
    for (std::size_t s = 0; s < slots; ++s) {
        if (!placed[s])
            continue;
        newIndex[s] = static_cast<unsigned int>(dirEntries.size());
        dirEntries.push_back(new DirectoryEntry(raw[s]));
        // Relinked below by our own shape, in which every node is black.
        dirEntries.back()->colour = 1;
    }
    std::vector<PropertyTree*> nodes(dirEntries.size(), nullptr);
    root = new PropertyTree;
    root->entry = dirEntries[0];
    root->index = 0;
    nodes[0] = root;
    root->entry->leftSibling = root->entry->rightSibling = FREE;
    for (std::size_t s = 0; s < slots; ++s) {
        if (!placed[s])
            continue;
        PropertyTree* node = nodes[newIndex[s]];
        std::vector<unsigned int> kids;
        for (unsigned int c : childrenOf[s])
            kids.push_back(newIndex[c]);
        std::sort(kids.begin(), kids.end());
        for (unsigned int k : kids) {
            PropertyTree* child = new PropertyTree;
            child->parent = node;
            child->entry = dirEntries[k];
            child->index = k;
            node->children.push_back(child);
            nodes[k] = child;
        }
    }
    // Storages are visited before their children (slot order need not say
    // so), so relink after every node exists.
    for (PropertyTree* node : nodes) {
        if (!node)
            return false;
        UpdateChildrenIndices(node);
    }
    currentDirectory = root;
    return true;
}

// ---------------------------------------------------------------- saving

int CompoundFile::SaveHeader()
{
    header.batCount = static_cast<unsigned int>(batLocations.size());
    for (unsigned int s = 0; s < 109; ++s)
        header.batBlocks[s] = s < batLocations.size() ? batLocations[s] : FREE;
    header.xbatStart = difatLocations.empty() ? END_OF_CHAIN : difatLocations[0];
    header.xbatCount = static_cast<unsigned int>(difatLocations.size());
    header.sbatStart = sbatLocations.empty() ? END_OF_CHAIN : sbatLocations[0];
    header.sbatCount = static_cast<unsigned int>(sbatLocations.size());
    std::memset(blockBuffer.data(), 0, blockBuffer.size());
    header.Write(blockBuffer.data());
    return file.Write(0, blockBuffer.data()) ? SUCCESS : IO_ERROR;
}

int CompoundFile::SaveBAT()
{
    // Documents read from other writers may list more table blocks than
    // their DIFAT blocks can hold once converted; make room first.
    for (;;) {
        const std::size_t need = batLocations.size() > 109 ? (batLocations.size() - 109 + 126) / 127 : 0;
        if (difatLocations.size() >= need)
            break;
        const unsigned int k = GetFreeBlockIndex(true);
        if (k == FREE)
            return IO_ERROR;
        bat[k] = DIFAT_BLOCK;
        difatLocations.push_back(k);
    }
    auto writeTable = [this](const std::vector<unsigned int>& table, const std::vector<unsigned int>& locations) {
        for (std::size_t b = 0; b < locations.size(); ++b) {
            for (unsigned int j = 0; j < 128; ++j) {
                const std::size_t at = b * 128 + j;
                LittleEndian::Write(blockBuffer, at < table.size() ? table[at] : FREE, 4ul * j, 4);
            }
            if (!file.Write(locations[b] + 1, blockBuffer.data()))
                return false;
        }
        return true;
    };
    if (!writeTable(bat, batLocations))
        return IO_ERROR;
    for (std::size_t d = 0; d < difatLocations.size(); ++d) {
        for (unsigned int t = 0; t < 127; ++t) {
            const std::size_t at = 109 + d * 127 + t;
            LittleEndian::Write(blockBuffer, at < batLocations.size() ? batLocations[at] : FREE, 4ul * t, 4);
        }
        const unsigned int next = d + 1 < difatLocations.size() ? difatLocations[d + 1] : END_OF_CHAIN;
        LittleEndian::Write(blockBuffer, next, 4ul * 127, 4);
        if (!file.Write(difatLocations[d] + 1, blockBuffer.data()))
            return IO_ERROR;
    }
    if (!writeTable(sbat, sbatLocations))
        return IO_ERROR;
    return SUCCESS;
}

int CompoundFile::SaveProperties()
{
    const std::size_t count = dirEntries.size();
    std::vector<char> buffer(((count + 3) / 4) * 512, 0);
    for (std::size_t i = 0; i < count; ++i)
        dirEntries[i]->Write(buffer.data() + 128 * i);
    unsigned int start = header.directoryStart;
    const int result = WriteBig(buffer.data(), static_cast<unsigned int>(buffer.size()), start);
    header.directoryStart = start;
    return result;
}

int CompoundFile::SaveAll()
{
    // The directory first: growing it may take a block, which the tables
    // written after it must already show.
    int result = SaveProperties();
    if (result == SUCCESS)
        result = SaveBAT();
    if (result == SUCCESS)
        result = SaveHeader();
    return result;
}

// ---------------------------------------------------------------- streams

int CompoundFile::MakeFile(const wchar_t* path)
{
    if (!root)
        return NOT_OPEN;
    if (!file.CanWrite())
        return IO_ERROR;
    const std::wstring text = ToUtf16Units(path);
    DirectoryEntry* entry = new DirectoryEntry;
    entry->type = 2;
    int result;
    {
        previousDirectories.push_back(currentDirectory);
        result = MakeProperty(text.c_str(), entry);
        currentDirectory = previousDirectories.back();
        previousDirectories.pop_back();
    }
    if (result != SUCCESS)
        delete entry;
    const int saved = SaveAll();
    return saved != SUCCESS ? saved : result;
}

int CompoundFile::MakeFile(const char* path)
{
    const std::wstring wide = Utf8ToUtf16Units(path);
    return MakeFile(wide.c_str());
}

int CompoundFile::WriteFileImpl(const wchar_t* path, const char* data, unsigned int size)
{
    if (!root)
        return NOT_OPEN;
    const std::wstring text = ToUtf16Units(path);
    PropertyTree* node = FindProperty(text.c_str());
    if (!node || node->entry->type != 2)
        return FILE_NOT_FOUND;
    if (!file.CanWrite() || (size > 0 && !data))
        return IO_ERROR;
    DirectoryEntry* e = node->entry;
    // Refuse at once what would take the file to 4 GiB: the new stream's
    // blocks with their share of table blocks, on top of what stays.
    {
        const unsigned long long blocks = (static_cast<unsigned long long>(size) + 511) / 512;
        const unsigned long long total = FileBlocks() + blocks + blocks / 127 + blocks / (127 * 128) + 16;
        if ((total + 1) * 512 > Block::maxFileSize)
            return TOO_LARGE;
    }

    const unsigned int old = e->size;
    unsigned int start = e->startBlock;
    int result = SUCCESS;
    if (old < 4096 && size >= 4096) {
        result = WriteSmall(nullptr, 0, start);
        e->startBlock = start;
        if (result == SUCCESS)
            result = WriteBig(data, size, start);
    } else if (old < 4096) {
        result = WriteSmall(data, size, start);
    } else if (size < 4096) {
        result = WriteBig(nullptr, 0, start);
        e->startBlock = start;
        if (result == SUCCESS)
            result = WriteSmall(data, size, start);
    } else {
        result = WriteBig(data, size, start);
    }
    e->startBlock = start;
    e->size = size;
    const int saved = SaveAll();
    if (result != SUCCESS)
        return result;
    return saved;
}

int CompoundFile::WriteFile(const wchar_t* path, const char* data, unsigned int size)
{
    return WriteFileImpl(path, data, size);
}

int CompoundFile::WriteFile(const wchar_t* path, const std::vector<char>& data, unsigned int size)
{
    if (size > data.size())
        return IO_ERROR;
    return WriteFileImpl(path, data.data(), size);
}

int CompoundFile::WriteFile(const char* path, const char* data, unsigned int size)
{
    const std::wstring wide = Utf8ToUtf16Units(path);
    return WriteFileImpl(wide.c_str(), data, size);
}

int CompoundFile::WriteFile(const char* path, const std::vector<char>& data, unsigned int size)
{
    const std::wstring wide = Utf8ToUtf16Units(path);
    return WriteFile(wide.c_str(), data, size);
}

int CompoundFile::StreamChain(const DirectoryEntry* e, bool& big, std::vector<unsigned int>& chain)
{
    // A stream's bytes lie in the file, so no stream is longer than the
    // file: this bounds what a reader sizes by the stated length.
    if (e->size > file.FileSize() || !GetBlockIndices(e->startBlock, chain, big))
        return DAMAGED;
    const unsigned long long room = static_cast<unsigned long long>(chain.size()) * (big ? 512 : 64);
    return room < e->size ? DAMAGED : SUCCESS;
}

int CompoundFile::ReadFileImpl(const wchar_t* path, char* data, std::vector<char>* vector)
{
    if (vector)
        vector->clear();
    if (!root)
        return NOT_OPEN;
    const std::wstring text = ToUtf16Units(path);
    const DirectoryEntry* e = nullptr;
    bool big = true;
    if (text == L"\\") {
        e = dirEntries[0]; // the mini stream
    } else {
        PropertyTree* node = FindProperty(text.c_str());
        if (!node)
            return FILE_NOT_FOUND;
        e = node->entry;
        big = e->size >= 4096;
    }
    // Check the chain before sizing anything by the stored length.
    std::vector<unsigned int> chain;
    const int checked = StreamChain(e, big, chain);
    if (checked != SUCCESS)
        return checked;
    if (vector) {
        vector->resize(e->size);
        data = vector->data();
    }
    if (e->size == 0)
        return SUCCESS;
    const int result = ReadData(e->startBlock, data, e->size, big);
    if (result != SUCCESS && vector)
        vector->clear();
    return result;
}

int CompoundFile::ReadFile(const wchar_t* path, char* data)
{
    return ReadFileImpl(path, data, nullptr);
}

int CompoundFile::ReadFile(const wchar_t* path, std::vector<char>& data)
{
    return ReadFileImpl(path, nullptr, &data);
}

int CompoundFile::ReadFile(const char* path, char* data)
{
    const std::wstring wide = Utf8ToUtf16Units(path);
    return ReadFileImpl(wide.c_str(), data, nullptr);
}

int CompoundFile::ReadFile(const char* path, std::vector<char>& data)
{
    const std::wstring wide = Utf8ToUtf16Units(path);
    return ReadFileImpl(wide.c_str(), nullptr, &data);
}

} // namespace CompoundDoc
