#ifndef COMPOUNDDOC_COMPOUNDFILE_H
#define COMPOUNDDOC_COMPOUNDFILE_H

// The compound document: one container file holding named streams in a
// directory of storages. Streams are made, written and read whole by path
// (components separated by a backslash). After every change the header, the
// allocation tables and the directory are written back at once, so Close has
// nothing left to save.
//
// Layout written by this class: 512-byte header, 512-byte big blocks, 64-byte
// small blocks (streams shorter than 4096 bytes), the file kept compact with
// no free block, the small-block table a run of consecutive blocks. Beyond
// 109 allocation-table blocks (files above about 7 MB) the table blocks are
// listed in a chain of DIFAT blocks, each naming 127 table blocks and the next
// DIFAT block.
//
// Reading trusts nothing in the file: damaged headers, tables and directories
// make Open fail or a read return DAMAGED, never read outside a buffer.

#include "compound/block.h"

#include <ios>
#include <string>
#include <vector>

namespace CompoundDoc {

class CompoundFile {
public:
    // Result codes of the path operations.
    enum Result {
        SUCCESS = 1,
        DIRECTORY_NOT_FOUND = -2, // a storage on the path does not exist
        NOT_OPEN = -3,            // no document is open
        FILE_NOT_FOUND = -4,      // no entry at the path (also: empty name)
        NAME_TOO_LONG = -5,       // an entry name of 32 or more characters
        DUPLICATE_NAME = -6,      // an entry of that name exists already
        IO_ERROR = -7,            // the file could not be read or written (disk full, read-only, ...)
        DAMAGED = -8,             // the document's tables or directory are inconsistent
        TOO_LARGE = -9            // the file would reach 4 GiB
    };

    // Special block numbers.
    static constexpr unsigned int FREE = 0xFFFFFFFFu;        // free entry, no link
    static constexpr unsigned int END_OF_CHAIN = 0xFFFFFFFEu; // end of chain, no block
    static constexpr unsigned int TABLE_BLOCK = 0xFFFFFFFDu;  // block holding allocation-table entries
    static constexpr unsigned int DIFAT_BLOCK = 0xFFFFFFFCu;  // block listing allocation-table blocks

    // The 512-byte file header.
    class Header {
    public:
        Header();
        void Initialize();
        void Write(char* buffer);
        void Read(char* buffer);

        unsigned long long fileType;
        unsigned long long classId[2];
        unsigned short minorVersion;
        unsigned short majorVersion;
        unsigned short byteOrder;
        unsigned short bigBlockShift;
        unsigned short smallBlockShift;
        unsigned short reserved1;
        unsigned int reserved2;
        unsigned int reserved3;
        unsigned int batCount;
        unsigned int directoryStart;
        unsigned int reserved4;
        unsigned int smallStreamCutoff;
        unsigned int sbatStart;
        unsigned int sbatCount;
        unsigned int xbatStart;
        unsigned int xbatCount;
        unsigned int batBlocks[109];

        unsigned int bigBlockSize;   // derived: 1 << bigBlockShift
        unsigned int smallBlockSize; // derived: 1 << smallBlockShift
    };

    // One 128-byte directory entry.
    class DirectoryEntry {
    public:
        DirectoryEntry();
        void Write(char* buffer);
        void Read(char* buffer);

        wchar_t name[32];
        unsigned short nameSize;
        unsigned char type; // 1 storage, 2 stream, 5 root
        unsigned char colour;
        unsigned int leftSibling;
        unsigned int rightSibling;
        unsigned int child;
        unsigned long long classId[2];
        unsigned int userFlags;
        unsigned int timeStamps[4];
        unsigned int startBlock;
        unsigned int size;
        unsigned short reservedWord;
    };

    // One node of the in-memory directory tree.
    class PropertyTree {
    public:
        PropertyTree();
        ~PropertyTree();
        PropertyTree(const PropertyTree&) = delete;
        PropertyTree& operator=(const PropertyTree&) = delete;

        PropertyTree* parent;
        DirectoryEntry* entry;
        unsigned int index;
        std::vector<PropertyTree*> children;
    };

    CompoundFile();
    ~CompoundFile();
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;

    // Container. A failed Create or Open leaves the object closed. Narrow
    // paths are used byte for byte (UTF-8); wide paths are converted to UTF-8.
    bool Create(const wchar_t* path);
    bool Create(const char* path);
    bool Open(const wchar_t* path, std::ios_base::openmode mode = std::ios_base::in | std::ios_base::out);
    bool Open(const char* path, std::ios_base::openmode mode = std::ios_base::in | std::ios_base::out);
    int Close();
    bool IsOpen();

    // Directory. Narrow names are UTF-8.
    int ChangeDirectory(const wchar_t* path);
    int ChangeDirectory(const char* path);
    int MakeDirectory(const wchar_t* path);
    int MakeDirectory(const char* path);
    int FileSize(const wchar_t* path, unsigned int& size);
    int FileSize(const char* path, unsigned int& size);

    // Streams, written and read whole.
    int MakeFile(const wchar_t* path);
    int MakeFile(const char* path);
    int WriteFile(const wchar_t* path, const char* data, unsigned int size);
    int WriteFile(const wchar_t* path, const std::vector<char>& data, unsigned int size);
    int WriteFile(const char* path, const char* data, unsigned int size);
    int WriteFile(const char* path, const std::vector<char>& data, unsigned int size);
    // `data` must hold the stream's size in bytes (see FileSize).
    int ReadFile(const wchar_t* path, char* data);
    int ReadFile(const wchar_t* path, std::vector<char>& data);
    int ReadFile(const char* path, char* data);
    int ReadFile(const char* path, std::vector<char>& data);

    // The absolute path ("\\a\\b") of every stream in the document,
    // storages depth first; empty while no document is open.
    void StreamPaths(std::vector<std::wstring>& paths);

    // Splits at the last backslash that is not the first character; the
    // caller deletes both new strings (parentPath is left untouched when
    // there is no parent part).
    void SplitPath(const wchar_t* path, wchar_t*& parentPath, wchar_t*& name);

private:
    // header and tables
    bool StartNew();
    bool LoadAll();
    bool LoadHeader();
    int SaveHeader();
    bool LoadBAT();
    int SaveBAT();
    bool LoadProperties();
    int SaveProperties();
    int SaveAll();

    // tree and paths
    PropertyTree* FindProperty(PropertyTree* node, const wchar_t* name);
    PropertyTree* FindProperty(const wchar_t* path);
    PropertyTree* FindProperty(unsigned int index);
    int MakeProperty(const wchar_t* path, DirectoryEntry* entry);
    int MakeDirectoryUnsaved(const wchar_t* path);
    void InsertPropertyTree(PropertyTree* parent, DirectoryEntry* entry, unsigned int index);
    void UpdateChildrenIndices(PropertyTree* node);
    void IncreasePropertyReferences(PropertyTree* node, unsigned int i);
    void DecreasePropertyReferences(PropertyTree* node, unsigned int i);
    void DeletePropertyTree(PropertyTree* node);

    // allocation and stream data
    void LinkBlocks(unsigned int from, unsigned int to, bool big);
    bool GetBlockIndices(unsigned int start, std::vector<unsigned int>& indices, bool big);
    unsigned int DataSize(unsigned int start, bool big);
    unsigned int GetFreeBlockIndex(bool big);
    bool ExpandBATArray(bool big);
    void IncreaseLocationReferences(unsigned int inserted);
    void DecreaseLocationReferences(const std::vector<unsigned int>& removed);
    int ReadData(unsigned int start, char* buffer, unsigned int size, bool big);
    int ReadMiniStream(std::vector<char>& data);
    int WriteData(const char* data, unsigned int size, unsigned int& start, bool big);
    int WriteBig(const char* data, unsigned int size, unsigned int& start);
    int WriteSmall(const char* data, unsigned int size, unsigned int& start);
    int FreeBlocks(std::vector<unsigned int>& indices, bool big);
    int FreeBigBlocks(std::vector<unsigned int> indices);
    int FreeSmallBlocks(std::vector<unsigned int> indices);
    bool WriteFilledBlock(unsigned int index, char fill);
    bool InsertBlock(unsigned int index, char fill);
    unsigned int UsedEntries(const std::vector<unsigned int>& table) const;
    unsigned int FileBlocks() const;
    bool IsBigStream(const DirectoryEntry* e) const;

    int WriteFileImpl(const wchar_t* path, const char* data, unsigned int size);
    int ReadFileImpl(const wchar_t* path, char* data, std::vector<char>* vector);
    int StreamChain(const DirectoryEntry* e, bool& big, std::vector<unsigned int>& chain);

    std::vector<char> blockBuffer;
    Block file;
    Header header;
    std::vector<unsigned int> bat;
    std::vector<unsigned int> sbat;
    PropertyTree* root;
    PropertyTree* currentDirectory;
    std::vector<DirectoryEntry*> dirEntries;
    std::vector<PropertyTree*> previousDirectories;

    // Where the tables live: every table block in table order, the DIFAT
    // blocks in chain order and the small-block table blocks in order.
    std::vector<unsigned int> batLocations;
    std::vector<unsigned int> difatLocations;
    std::vector<unsigned int> sbatLocations;
    // No free entry lies below these; keeps allocation linear.
    unsigned int batSearchFrom;
    unsigned int sbatSearchFrom;
    // Block numbers held in local variables of running operations, renumbered
    // together with the stored ones when blocks move.
    std::vector<unsigned int*> trackedBig;
    std::vector<unsigned int*> trackedSmall;
};

bool operator<(const CompoundFile::DirectoryEntry& a, const CompoundFile::DirectoryEntry& b);
bool operator>(const CompoundFile::DirectoryEntry& a, const CompoundFile::DirectoryEntry& b);

} // namespace CompoundDoc

#endif
