#include "xlsworkbook.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <new>
#include <stdexcept>
#include <deque>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "biff/sizesum.h"
#include "compound/block.h"
#include "compound/widetext.h"

namespace Biff {

namespace {

using RowBlock = Worksheet::CellTable::RowBlock;
using CellBlock = Worksheet::CellTable::RowBlock::CellBlock;

const unsigned short kBofCode = 0x0809;
const unsigned short kGlobalsType = 0x0005;
const unsigned short kWorksheetType = 0x0010;
const unsigned short kSheetSelected = 0x0200;
const int kRowsPerBlock = 32;
// The longest text a BIFF8 cell holds.
const size_t kMaxCellText = 32767;
// The largest stream the container (and the 32-bit stream offsets of the
// records) can carry.
const unsigned long long kMaxStream = 0xFFFFFFFFull;
// What loading may build from a file (its streams, the cell grids with
// their texts and formulas) at most: so many bytes per byte of the file,
// and a fixed allowance that covers the row index of a full-height sheet.
const unsigned long long kLoadBytesPerFileByte = 64;
const unsigned long long kLoadAllowance = 8ull << 20;
// The longest sheet name spreadsheet programs accept.
const size_t kMaxSheetName = 31;

bool IsWideName(const SmallString& name) { return (name.options & 0x01) != 0; }

bool NameEquals(const SmallString& name, const char* text)
{
    return !IsWideName(name) && name.narrowText != nullptr && std::strcmp(name.narrowText, text) == 0;
}

bool NameEquals(const SmallString& name, const wchar_t* text)
{
    return IsWideName(name) && name.wideText != nullptr && std::wcscmp(name.wideText, text) == 0;
}

// A sheet name as the file holds it: a wide name in UTF-16 units (characters
// above U+FFFF as surrogate pairs), like cell texts.
std::string SheetNameUnits(const char* name) { return name; }

std::wstring SheetNameUnits(const wchar_t* name) { return CompoundDoc::ToUtf16Units(name); }

// Names spreadsheet programs take as they stand: 1 to 31 characters, none
// of them one of [ ] : * ? / \ (anything else gets renamed or repaired).
template <typename Text>
bool UsableName(const Text& units)
{
    if (units.empty() || units.size() > kMaxSheetName)
        return false;
    for (const auto c : units) {
        switch (c) {
        case '[': case ']': case ':': case '*': case '?': case '/': case '\\':
            return false;
        default:
            break;
        }
    }
    return true;
}

// Whether a wide cell text goes into the string table unchanged: UTF-16
// units only, within the cell limit.
bool IsStoredAsIs(std::wstring_view text)
{
    if (text.size() > kMaxCellText)
        return false;
    for (wchar_t c : text)
        if (static_cast<unsigned long>(c) > 0xFFFF)
            return false;
    return true;
}

// Cell text as it goes into the string table: wide characters beyond the
// 16-bit range become surrogate pairs (a file carries UTF-16 units), and the
// text is cut at the cell limit without splitting a pair; `cut` tells whether
// it was.
std::wstring StoredWideText(const wchar_t* text, size_t length, bool& cut)
{
    std::wstring units;
    units.reserve(std::min(length, kMaxCellText));
    size_t i = 0;
    for (; i < length; ++i) {
        const unsigned long c = static_cast<unsigned long>(text[i]) & 0xFFFFFFFFul;
        const size_t need = (c > 0xFFFF && c <= 0x10FFFF) ? 2 : 1;
        if (units.size() + need > kMaxCellText)
            break;
        if (need == 2) {
            units.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
            units.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<wchar_t>(c > 0xFFFF ? 0xFFFD : c));
        }
    }
    cut = i < length;
    // Cut short: never keep the first half of a pair whose second half went.
    if (cut && !units.empty()) {
        const unsigned long last = static_cast<unsigned long>(units.back());
        const unsigned long next = static_cast<unsigned long>(text[i]) & 0xFFFFFFFFul;
        if (last >= 0xD800 && last <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF)
            units.pop_back();
    }
    return units;
}

double RKToDouble(unsigned int rk)
{
    double d;
    if (rk & 2u) {
        d = static_cast<double>(static_cast<int>(rk) >> 2);
    } else {
        const unsigned long long bits = static_cast<unsigned long long>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&d, &bits, sizeof(d));
    }
    return (rk & 1u) ? d / 100.0 : d;
}

std::string ParentDirectory(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a save really goes: a symbolic link is followed so that the link
// survives and the file it names is replaced.
std::string SaveTarget(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* resolved = realpath(path.c_str(), nullptr);
        if (resolved != nullptr) {
            std::string target(resolved);
            std::free(resolved);
            return target;
        }
    }
    return path;
}

// Room for a stream image of `size` bytes, to be released with free; null
// when there is not enough memory.
char* AllocateStream(size_t size)
{
    return static_cast<char*>(std::malloc(size == 0 ? 1 : size));
}

void SyncDirectory(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

// ---------------------------------------------------------------- RK values

unsigned int GetRKValueFromInteger(int i)
{
    return (static_cast<unsigned int>(i) << 2) | 2u;
}

unsigned int GetRKValueFromDouble(double d)
{
    const int a = static_cast<int>(static_cast<unsigned int>(TruncToInt(d)) * 100u);
    const int b = TruncToInt(d * 100.0);
    double value = d;
    unsigned int divided = 0;
    if (a != b) {
        value = d * 100.0;
        divided = 1;
    }
    unsigned long long bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return (static_cast<unsigned int>(bits >> 32) & 0xFFFFFFFCu) + divided;
}

bool CanStoreAsRKValue(double d)
{
    const int hundredfold = TruncToInt(d * 100.0);
    const int tenThousandfold = TruncToInt(d * 10000.0);
    if (static_cast<int>(static_cast<unsigned int>(hundredfold) * 100u) != tenThousandfold)
        return false;
    // The RK form keeps only 30 bits; anything it would round is written whole.
    const double back = RKToDouble(GetRKValueFromDouble(d));
    return std::memcmp(&back, &d, sizeof(d)) == 0;
}

bool CanStoreAsRKInteger(int i)
{
    return i >= -(1 << 29) && i < (1 << 29);
}

// ---------------------------------------------------------------- life

XlsWorkbook::XlsWorkbook() {}

XlsWorkbook::XlsWorkbook(const char* filename)
{
    Load(filename);
}

XlsWorkbook::~XlsWorkbook()
{
    Close();
    // Sheet objects someone still counts must not reach back into a dead workbook.
    for (RefCount::SmartPtr<XlsWorksheet>& sheet : sheetViews_)
        sheet->excel_ = nullptr;
}

void XlsWorkbook::Close()
{
    if (file_.IsOpen())
        file_.Close();
    path_.clear();
}

void XlsWorkbook::New(int sheets)
{
    workbook_ = Workbook();
    worksheets_.clear();
    workbook_.fonts.assign(1, Workbook::Font());
    workbook_.XFs.assign(21, Workbook::XF());
    workbook_.styles.assign(6, Workbook::Style());
    workbook_.boundSheets.assign(1, Workbook::BoundSheet());
    worksheets_.assign(1, Worksheet());
    carriedStreams_.clear();
    UpdateBiffWorksheet();
    for (int i = 1; i < sheets; ++i)
        AddWorksheet(-1);
}

// ---------------------------------------------------------------- loading

namespace {

// Pairs names with the substreams read: a name whose sheet was not read goes,
// a sheet without a name gets a free "Sheet%d".
void MatchNames(Workbook& globals, std::vector<Worksheet>& sheets)
{
    if (globals.boundSheets.size() > sheets.size())
        globals.boundSheets.resize(sheets.size());
    int n = 1;
    while (globals.boundSheets.size() < sheets.size()) {
        char name[32];
        bool taken = true;
        while (taken) {
            std::snprintf(name, sizeof(name), "Sheet%d", n++);
            taken = false;
            for (const Workbook::BoundSheet& sheet : globals.boundSheets)
                taken = taken || NameEquals(sheet.name, name);
        }
        globals.boundSheets.emplace_back();
        globals.boundSheets.back().name.Assign(name);
    }
}

// Reads the globals and the worksheet substreams that follow them into
// fresh objects. False, with the reason in `error`, for a stream that is not
// a whole, readable workbook or whose cells would take more than `budget`
// bytes.
bool ReadStream(const char* data, unsigned long size, unsigned long long budget, Workbook& globals,
                std::vector<Worksheet>& sheets, unsigned long& consumed, std::string& error)
{
    consumed = 0;
    error = "the workbook stream is damaged or not BIFF8";
    if (data == nullptr || size < 4 || size > kMaxStream)
        return false;
    const unsigned int total = static_cast<unsigned int>(size);
    unsigned int p = 0;
    bool haveGlobals = false;
    while (p + 4 <= total) {
        const unsigned int code = static_cast<unsigned char>(data[p]) | (static_cast<unsigned char>(data[p + 1]) << 8);
        if (code != kBofCode)
            break;
        BOF bof;
        const unsigned int bofSize = bof.Read(data + p, total - p);
        if (bofSize == 0)
            return false;
        unsigned int n = 0;
        if (bof.type == kGlobalsType) {
            // A second globals substream would describe another workbook.
            if (haveGlobals)
                break;
            // Encryption starts right after the BOF.
            if (total - p - bofSize >= 2 &&
                (static_cast<unsigned char>(data[p + bofSize]) | (static_cast<unsigned char>(data[p + bofSize + 1]) << 8)) ==
                    Workbook::FilePassCode) {
                error = "the workbook is encrypted (protected by a password)";
                return false;
            }
            n = globals.Read(data + p, total - p);
            haveGlobals = true;
        } else if (bof.type == kWorksheetType && haveGlobals) {
            sheets.emplace_back();
            n = sheets.back().Read(data + p, total - p);
        } else {
            // Charts, macro sheets and the like end what this engine reads.
            p += bofSize;
            break;
        }
        if (n == 0 || n > total - p)
            return false;
        p += n;
    }
    if (!haveGlobals)
        return false;
    MatchNames(globals, sheets);

    // Every sheet becomes a grid of cells, each text cell holding its own
    // copy of its string: a few bytes can name a far corner in many rows or
    // one long string from many cells, so what the grids would take is
    // bounded by the size of the file.
    unsigned long long bytes = size;
    for (Worksheet& sheet : sheets)
        bytes += XlsWorksheet::GridBytesFor(sheet, globals.sharedStringTable.strings);
    if (bytes > budget) {
        error = "the workbook would take far more memory than its file size warrants (" +
                std::to_string(bytes >> 20) + " MiB); it is refused as damaged or hostile";
        return false;
    }
    consumed = p;
    return true;
}

// Moves globals in without copying the string table, which can hold
// millions of strings.
void TakeGlobals(Workbook& to, Workbook& from)
{
    std::vector<LargeString> strings;
    strings.swap(from.sharedStringTable.strings);
    to = std::move(from);
    to.sharedStringTable.strings.swap(strings);
}

// Whether a stream path of the document names the stream this engine
// rewrites itself (names compare without case in a compound document).
bool IsWorkbookStream(const std::wstring& path)
{
    static const wchar_t kName[] = L"\\Workbook";
    if (path.size() != std::wcslen(kName))
        return false;
    for (size_t i = 0; i < path.size(); ++i)
        if (std::towupper(static_cast<wint_t>(path[i])) != std::towupper(static_cast<wint_t>(kName[i])))
            return false;
    return true;
}

} // namespace

unsigned long XlsWorkbook::Read(const char* data, unsigned long size)
{
    try {
        Workbook globals;
        std::vector<Worksheet> sheets;
        unsigned long consumed = 0;
        std::string error;
        if (!ReadStream(data, size, kLoadAllowance + kLoadBytesPerFileByte * size, globals, sheets, consumed, error))
            return 0;
        std::vector<CarriedStream> none;
        return Adopt(globals, sheets, none) ? consumed : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    } catch (const std::length_error&) {
        return 0;
    }
}

bool XlsWorkbook::Load(const char* filename)
{
    if (filename == nullptr) {
        lastError_ = "no file name";
        return false;
    }
    return LoadPath(filename);
}

bool XlsWorkbook::Load(const wchar_t* filename)
{
    if (filename == nullptr) {
        lastError_ = "no file name";
        return false;
    }
    bool ok = false;
    const std::string path = CompoundDoc::Block::ToUtf8(filename, ok);
    if (!ok) {
        Close();
        lastError_ = "the file name is not valid text";
        return false;
    }
    return LoadPath(path);
}

bool XlsWorkbook::LoadPath(const std::string& path)
{
    Close();
    // Memory running out anywhere in loading is a failed load like any other.
    try {
        if (LoadDocument(path))
            return true;
    } catch (const std::bad_alloc&) {
        lastError_ = "not enough memory to load the workbook";
    } catch (const std::length_error&) {
        lastError_ = "not enough memory to load the workbook";
    }
    // Whichever step failed, the document is closed here.
    file_.Close();
    return false;
}

bool XlsWorkbook::LoadDocument(const std::string& path)
{
    struct stat st;
    // Only regular files: opening a FIFO or device could block or never end.
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        lastError_ = "cannot open the file: " + std::string(std::strerror(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        lastError_ = "not a regular file";
        return false;
    }
    if (!file_.Open(path.c_str(), std::ios_base::in)) {
        lastError_ = "not a compound document, or one that cannot be read";
        return false;
    }
    std::vector<char> stream;
    const int read = file_.ReadFile("Workbook", stream);
    if (read != 1) {
        lastError_ = "the document holds no readable \"Workbook\" stream";
        return false;
    }
    // The document's other streams (summary information and the like) go
    // into every file this workbook is saved as. Streams that share blocks
    // in a damaged document could add up to more than the file holds.
    const unsigned long long fileSize = static_cast<unsigned long long>(st.st_size);
    unsigned long long streamBytes = stream.size();
    std::vector<CarriedStream> carried;
    std::vector<std::wstring> paths;
    file_.StreamPaths(paths);
    for (const std::wstring& streamPath : paths) {
        if (IsWorkbookStream(streamPath))
            continue;
        CarriedStream item;
        item.path = streamPath;
        if (file_.ReadFile(streamPath.c_str(), item.data) != CompoundDoc::CompoundFile::SUCCESS)
            continue; // a name that does not lead back to its stream cannot be written again either
        streamBytes += item.data.size();
        if (streamBytes > fileSize) {
            lastError_ = "the document's streams overlap; it is damaged";
            return false;
        }
        carried.push_back(std::move(item));
    }
    file_.Close();

    Workbook globals;
    std::vector<Worksheet> sheets;
    unsigned long consumed = 0;
    const unsigned long long budget = kLoadAllowance + kLoadBytesPerFileByte * fileSize - (streamBytes - stream.size());
    if (!ReadStream(stream.data(), stream.size(), budget, globals, sheets, consumed, lastError_))
        return false;
    // The stream image is no longer needed while the cells are built.
    std::vector<char>().swap(stream);
    if (!Adopt(globals, sheets, carried)) {
        lastError_ = "not enough memory to load the workbook";
        return false;
    }
    path_ = path;
    lastError_.clear();
    return true;
}

bool XlsWorkbook::Adopt(Workbook& globals, std::vector<Worksheet>& sheets, std::vector<CarriedStream>& streams)
{
    Workbook previous;
    TakeGlobals(previous, workbook_);
    TakeGlobals(workbook_, globals);
    worksheets_.swap(sheets);
    std::vector<RefCount::SmartPtr<XlsWorksheet>> views;
    try {
        BuildSheetViews(views);
    } catch (const std::bad_alloc&) {
        // The sheet objects callers hold still describe the workbook as it was.
        TakeGlobals(workbook_, previous);
        worksheets_.swap(sheets);
        return false;
    } catch (const std::length_error&) {
        TakeGlobals(workbook_, previous);
        worksheets_.swap(sheets);
        return false;
    }
    for (RefCount::SmartPtr<XlsWorksheet>& sheet : sheetViews_)
        sheet->excel_ = nullptr;
    sheetViews_.swap(views);
    carriedStreams_.swap(streams);
    return true;
}

// ---------------------------------------------------------------- saving

bool XlsWorkbook::Save()
{
    if (path_.empty()) {
        lastError_ = "no file is open";
        return false;
    }
    return SaveTo(SaveTarget(path_));
}

bool XlsWorkbook::SaveAs(const char* filename)
{
    Close();
    if (filename == nullptr || *filename == '\0') {
        lastError_ = "no file name";
        return false;
    }
    const std::string target = SaveTarget(filename);
    if (!SaveTo(target))
        return false;
    path_ = target;
    return true;
}

bool XlsWorkbook::SaveAs(const wchar_t* filename)
{
    Close();
    if (filename == nullptr || *filename == L'\0') {
        lastError_ = "no file name";
        return false;
    }
    bool ok = false;
    const std::string path = CompoundDoc::Block::ToUtf8(filename, ok);
    if (!ok) {
        lastError_ = "the file name is not valid text";
        return false;
    }
    return SaveAs(path.c_str());
}

std::string XlsWorkbook::CellName(size_t row, size_t column)
{
    std::string name;
    for (size_t n = column + 1; n > 0; n = (n - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
    return name + std::to_string(row + 1);
}

bool XlsWorkbook::CellFormatsKnown()
{
    // A cell record holds 16 bits of XF index, and a reader takes one past
    // the list as damage: either would change how the cell looks.
    const size_t formats = std::min<size_t>(workbook_.XFs.size(), 0x10000);
    for (size_t s = 0; s < sheetViews_.size(); ++s) {
        const XlsWorksheet& sheet = *sheetViews_[s];
        const std::vector<std::vector<XlsCell>>& rows = sheet.cells_;
        // Cells a load kept beyond the grid's width are not written.
        const size_t width = static_cast<size_t>(sheet.GetTotalCols());
        for (size_t r = 0; r < rows.size(); ++r) {
            for (size_t c = 0; c < rows[r].size() && c < width; ++c) {
                const int xf = rows[r][c].GetXFormatIdx();
                if (xf >= 0 && static_cast<size_t>(xf) < formats)
                    continue;
                lastError_ = "cell " + CellName(r, c) + " of sheet " + std::to_string(s + 1) +
                             " has cell format " + std::to_string(xf) + ", but the workbook has only " +
                             std::to_string(workbook_.XFs.size());
                return false;
            }
        }
    }
    return true;
}

bool XlsWorkbook::BuildStream(StreamBuffer& stream, unsigned long long& size)
{
    if (!CellFormatsKnown())
        return false;
    UpdateWorksheets();
    // Each part is sized once (sizing walks every string and cell), and the
    // same sizes place the sheets as AdjustBoundSheetBOFPositions would.
    const unsigned long long globalsSize = workbook_.RecordSize();
    unsigned long long total = globalsSize;
    std::vector<unsigned long long> sheetSizes;
    sheetSizes.reserve(worksheets_.size());
    bool fits = total < SaturatedSize;
    for (size_t i = 0; fits && i < worksheets_.size(); ++i) {
        sheetSizes.push_back(worksheets_[i].RecordSize());
        fits = sheetSizes.back() < SaturatedSize;
        total += sheetSizes.back();
    }
    if (!fits || total > kMaxStream) {
        lastError_ = "the workbook would be larger than 4 GiB";
        return false;
    }
    unsigned long long position = globalsSize;
    for (size_t i = 0; i < worksheets_.size() && i < workbook_.boundSheets.size(); ++i) {
        workbook_.boundSheets[i].bofPosition = static_cast<unsigned int>(position);
        position += sheetSizes[i];
    }
    AdjustDBCellPositions();
    // Every record writes each of its bytes (gaps as zeros), so the buffer is
    // not cleared first: that would touch the whole stream once more.
    stream.reset(AllocateStream(static_cast<size_t>(total)));
    if (!stream) {
        lastError_ = "not enough memory for the workbook";
        return false;
    }
    size = total;
    if (Write(stream.get()) != total) {
        lastError_ = "a record of the workbook cannot be written";
        return false;
    }
    return true;
}

bool XlsWorkbook::SaveTo(const std::string& target)
{
    StreamBuffer stream(nullptr, std::free);
    unsigned long long streamSize = 0;
    if (!BuildStream(stream, streamSize))
        return false;

    struct stat old;
    const bool exists = ::stat(target.c_str(), &old) == 0;
    // Never replace what is not a plain file, nor a file we may not write.
    if (exists && !S_ISREG(old.st_mode)) {
        lastError_ = "the name belongs to something that is not a regular file";
        return false;
    }
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        lastError_ = "no permission to write the file";
        return false;
    }

    // The new file is written completely beside the old one and renamed over
    // it only once it is known to be whole.
    const std::string dir = ParentDirectory(target);
    // Keep the temporary name within the length a file name may have.
    const std::string base = BaseName(target).substr(0, 200);
    std::string temp;
    int fd = -1;
    const unsigned long long seed =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        reinterpret_cast<std::uintptr_t>(this) ^ static_cast<unsigned long long>(::getpid());
    for (unsigned int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        char suffix[40];
        std::snprintf(suffix, sizeof(suffix), ".%llx.%u.tmp", seed, attempt);
        temp = (dir == "/" ? std::string() : dir) + "/." + base + suffix;
        fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        lastError_ = "cannot create a file in the folder: " + std::string(std::strerror(errno));
        return false;
    }

    bool ok = file_.Create(temp.c_str()) && file_.MakeFile("Workbook") == 1;
    if (ok) {
        int written = file_.WriteFile("Workbook", stream.get(), static_cast<unsigned int>(streamSize));
        // The streams the loaded document held beside the workbook.
        for (size_t i = 0; written == CompoundDoc::CompoundFile::SUCCESS && i < carriedStreams_.size(); ++i) {
            const CarriedStream& carried = carriedStreams_[i];
            written = file_.MakeFile(carried.path.c_str());
            if (written == CompoundDoc::CompoundFile::SUCCESS)
                written = file_.WriteFile(carried.path.c_str(), carried.data, static_cast<unsigned int>(carried.data.size()));
        }
        ok = written == 1;
        if (!ok)
            lastError_ = written == CompoundDoc::CompoundFile::TOO_LARGE
                             ? "the file would be larger than 4 GiB"
                             : "the disk did not take the data (full, or a write error)";
    } else {
        lastError_ = "cannot create the document";
    }
    if (file_.IsOpen())
        file_.Close();
    if (ok && exists)
        ::fchmod(fd, old.st_mode & 07777);
    // Data the disk has not taken (full disk, write error) shows up here at the latest.
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        lastError_ = "the disk did not take the data: " + std::string(std::strerror(errno));
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        lastError_ = "the disk did not take the data: " + std::string(std::strerror(errno));
    }
    if (ok) {
        // Only a file that opens again and holds the whole stream replaces the old one.
        CompoundDoc::CompoundFile check;
        unsigned int size = 0;
        ok = check.Open(temp.c_str(), std::ios_base::in) && check.FileSize("Workbook", size) == 1 &&
             size == streamSize;
        check.Close();
        if (!ok)
            lastError_ = "the written file does not read back whole";
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        lastError_ = "cannot replace the file: " + std::string(std::strerror(errno));
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncDirectory(dir);
    lastError_.clear();
    return true;
}

unsigned long long XlsWorkbook::StreamSize()
{
    unsigned long long total = workbook_.RecordSize();
    if (total >= SaturatedSize)
        return kMaxStream + 1;
    for (Worksheet& sheet : worksheets_) {
        const unsigned long long size = sheet.RecordSize();
        if (size >= SaturatedSize)
            return kMaxStream + 1;
        total += size;
    }
    return total;
}

unsigned long long XlsWorkbook::Write(char* data)
{
    unsigned long long p = workbook_.Write(data);
    if (p == 0)
        return 0;
    for (Worksheet& sheet : worksheets_) {
        const unsigned int n = sheet.Write(data + p);
        if (n == 0)
            return 0;
        p += n;
    }
    return p;
}

// ---------------------------------------------------------------- records from cells

void XlsWorkbook::UpdateWorksheets()
{
    worksheets_.clear();
    worksheets_.resize(sheetViews_.size());
    // A loaded file may have carried any BOF; the stream written opens the
    // globals with the one a reader expects.
    workbook_.bof = Workbook().bof;
    Workbook::SharedStringTable& sst = workbook_.sharedStringTable;
    sst.totalStrings = 0;
    sst.uniqueStrings = 0;
    sst.strings.clear();
    cutCells_.clear();

    // Texts are looked up as views into the cells' own storage (the cells do
    // not change during a save), so a repeated text costs no allocation; the
    // table's strings are built once, at the end, in index order. Texts that
    // had to be converted or cut live in the deques, which never move them.
    struct Text {
        const void* text;
        size_t length;
        size_t hash;
        bool wide;
    };
    std::vector<Text> uniqueTexts;
    std::deque<std::string> narrowStore;
    std::deque<std::wstring> wideStore;
    unsigned long long textCells = 0;

    // Open addressing over table positions: one probe array, no allocation
    // per text. Entry: upper 32 bits of the hash, then position + 1 (0: free).
    // Sized for a text in every grid cell, up to a bound, so that a large
    // workbook is not rehashed on the way.
    unsigned long long gridCells = 0;
    for (const RefCount::SmartPtr<XlsWorksheet>& sheet : sheetViews_)
        gridCells += static_cast<unsigned long long>(sheet->GetTotalRows()) * static_cast<unsigned long long>(sheet->GetTotalCols());
    size_t capacity = 1024;
    while (capacity < 2 * gridCells && capacity < (size_t(1) << 22))
        capacity *= 2;
    std::vector<unsigned long long> slots(capacity, 0);
    size_t mask = slots.size() - 1;
    auto insertSlot = [&](size_t hash, unsigned int position) {
        const unsigned long long tag = static_cast<unsigned long long>(hash >> 32) << 32;
        size_t i = hash & mask;
        while (slots[i] != 0)
            i = (i + 1) & mask;
        slots[i] = tag | (static_cast<unsigned long long>(position) + 1);
    };
    // Index of a text, entering it when new; the table stays at most half full.
    auto indexOf = [&](const Text& item) -> unsigned int {
        if (2 * (uniqueTexts.size() + 1) > slots.size()) {
            slots.assign(slots.size() * 2, 0);
            mask = slots.size() - 1;
            for (size_t k = 0; k < uniqueTexts.size(); ++k)
                insertSlot(uniqueTexts[k].hash, static_cast<unsigned int>(k));
        }
        const size_t bytes = item.length * (item.wide ? sizeof(wchar_t) : 1);
        const unsigned long long tag = static_cast<unsigned long long>(item.hash >> 32) << 32;
        for (size_t i = item.hash & mask;; i = (i + 1) & mask) {
            const unsigned long long entry = slots[i];
            if (entry == 0) {
                const unsigned int position = static_cast<unsigned int>(uniqueTexts.size());
                slots[i] = tag | (static_cast<unsigned long long>(position) + 1);
                uniqueTexts.push_back(item);
                return position;
            }
            if ((entry & 0xFFFFFFFF00000000ull) != tag)
                continue;
            const unsigned int position = static_cast<unsigned int>(entry & 0xFFFFFFFFull) - 1;
            const Text& known = uniqueTexts[position];
            if (known.wide == item.wide && known.length == item.length && std::memcmp(known.text, item.text, bytes) == 0)
                return position;
        }
    };
    // The probe is a cache miss for most new texts, so a text waits in a short
    // queue after its slot is asked for; lookups still happen in cell order,
    // which gives the table its order.
    struct Waiting {
        Text text;
        Sheet::LabelSST* record;
    };
    const size_t kLookahead = 8;
    Waiting waiting[kLookahead];
    size_t waitHead = 0;
    size_t waitCount = 0;
    auto resolveOldest = [&]() {
        Waiting& w = waiting[waitHead];
        w.record->sstIndex = indexOf(w.text);
        waitHead = (waitHead + 1) % kLookahead;
        --waitCount;
    };
    // Whether the text had to be cut to the cell limit.
    auto lookUp = [&](const XlsCell* cell, Sheet::LabelSST* record) -> bool {
        Text item;
        bool cut = false;
        if (cell->Type() == XlsCell::STRING) {
            std::string_view text(cell->GetString(), cell->GetStringLength());
            if (text.size() > kMaxCellText) {
                narrowStore.emplace_back(text.substr(0, kMaxCellText));
                text = narrowStore.back();
                cut = true;
            }
            item = {text.data(), text.size(), 0, false};
        } else {
            std::wstring_view text(cell->GetWString(), cell->GetStringLength());
            if (!IsStoredAsIs(text)) {
                wideStore.push_back(StoredWideText(text.data(), text.size(), cut));
                text = wideStore.back();
            }
            item = {text.data(), text.size(), 0, true};
        }
        const size_t bytes = item.length * (item.wide ? sizeof(wchar_t) : 1);
        // The width is part of the key: equal characters of the two widths
        // are two strings.
        item.hash = std::hash<std::string_view>{}(std::string_view(static_cast<const char*>(item.text), bytes)) ^
                    (item.wide ? 0x9E3779B97F4A7C15ull : 0);
        __builtin_prefetch(&slots[item.hash & mask]);
        if (waitCount == kLookahead)
            resolveOldest();
        waiting[(waitHead + waitCount) % kLookahead] = {item, record};
        ++waitCount;
        ++textCells;
        return cut;
    };

    for (size_t s = 0; s < sheetViews_.size(); ++s) {
        const XlsWorksheet& view = *sheetViews_[s];
        Worksheet& model = worksheets_[s];
        const int R = view.GetTotalRows();
        const int M = view.GetTotalCols();

        model.index.firstUsedRowIndex = 0;
        model.index.lastUsedRowIndexPlusOne = static_cast<unsigned int>(R);
        model.colInfos = view.colInfos_;
        model.dimensions.firstUsedRowIndex = 0;
        model.dimensions.lastUsedRowIndexPlusOne = static_cast<unsigned int>(R);
        model.dimensions.firstUsedColIndex = 0;
        model.dimensions.lastUsedColIndexPlusOne = static_cast<unsigned short>(M);
        if (s > 0)
            model.window2.options &= static_cast<unsigned short>(~kSheetSelected);

        std::vector<RowBlock>& blocks = model.cellTable.rowBlocks;
        blocks.resize(static_cast<size_t>((R + kRowsPerBlock - 1) / kRowsPerBlock));
        model.index.dbCellPositions.assign(blocks.size(), 0);

        for (int r = 0; r < R; ++r) {
            RowBlock& block = blocks[static_cast<size_t>(r / kRowsPerBlock)];
            if (r % kRowsPerBlock == 0) {
                const int rowsHere = std::min(kRowsPerBlock, R - r);
                block.cellBlocks.reserve(static_cast<size_t>(rowsHere) * static_cast<size_t>(M));
                block.rows.reserve(static_cast<size_t>(rowsHere));
            }
            block.rows.emplace_back();
            block.rows.back().rowIndex = static_cast<unsigned short>(r);
            block.rows.back().lastCellColIndexPlusOne = static_cast<unsigned short>(M);
            block.dbcell.offsets.push_back(0);

            for (int c = 0; c < M;) {
                const XlsCell* cell = view.Cell(r, c);
                CellBlock* cb = new CellBlock;
                block.cellBlocks.emplace_back(cb);
                const unsigned short xf = static_cast<unsigned short>(cell->GetXFormatIdx());
                switch (cell->Type()) {
                case XlsCell::INT:
                case XlsCell::DOUBLE: {
                    const int kind = cell->Type();
                    const bool isInt = kind == XlsCell::INT;
                    auto rkable = [isInt](const XlsCell* x) {
                        return isInt ? CanStoreAsRKInteger(x->GetInteger()) : CanStoreAsRKValue(x->GetDouble());
                    };
                    const bool first = rkable(cell);
                    int end = c + 1;
                    if (first) {
                        while (end < M) {
                            const XlsCell* next = view.Cell(r, end);
                            if (next->Type() != kind || !rkable(next))
                                break;
                            ++end;
                        }
                    }
                    auto rkOf = [isInt](const XlsCell* x) {
                        return isInt ? GetRKValueFromInteger(x->GetInteger()) : GetRKValueFromDouble(x->GetDouble());
                    };
                    if (end - c >= 2) {
                        cb->SetType(Sheet::MulRK::Code);
                        Sheet::MulRK* rec = static_cast<Sheet::MulRK*>(cb->record);
                        rec->rowIndex = static_cast<unsigned short>(r);
                        rec->firstColIndex = static_cast<unsigned short>(c);
                        rec->lastColIndex = static_cast<unsigned short>(end - 1);
                        rec->xfRKs.resize(static_cast<size_t>(end - c));
                        for (int k = c; k < end; ++k) {
                            const XlsCell* x = view.Cell(r, k);
                            rec->xfRKs[static_cast<size_t>(k - c)].xfIndex = static_cast<unsigned short>(x->GetXFormatIdx());
                            rec->xfRKs[static_cast<size_t>(k - c)].rkValue = rkOf(x);
                        }
                        c = end;
                        continue;
                    }
                    if (first) {
                        cb->SetType(Sheet::RK::Code);
                        Sheet::RK* rec = static_cast<Sheet::RK*>(cb->record);
                        rec->rowIndex = static_cast<unsigned short>(r);
                        rec->colIndex = static_cast<unsigned short>(c);
                        rec->xfIndex = xf;
                        rec->value = rkOf(cell);
                    } else {
                        cb->SetType(Sheet::Number::Code);
                        Sheet::Number* rec = static_cast<Sheet::Number*>(cb->record);
                        rec->rowIndex = static_cast<unsigned short>(r);
                        rec->colIndex = static_cast<unsigned short>(c);
                        rec->xfIndex = xf;
                        rec->value = cell->GetDouble();
                    }
                    break;
                }
                case XlsCell::STRING:
                case XlsCell::WSTRING: {
                    cb->SetType(Sheet::LabelSST::Code);
                    Sheet::LabelSST* rec = static_cast<Sheet::LabelSST*>(cb->record);
                    rec->rowIndex = static_cast<unsigned short>(r);
                    rec->colIndex = static_cast<unsigned short>(c);
                    rec->xfIndex = xf;
                    // The index is filled in when the lookup leaves the queue.
                    if (lookUp(cell, rec))
                        cutCells_.push_back({static_cast<int>(s), r, c});
                    break;
                }
                case XlsCell::FORMULA: {
                    cb->SetType(Sheet::Formula::Code);
                    Sheet::Formula* rec = static_cast<Sheet::Formula*>(cb->record);
                    rec->rowIndex = static_cast<unsigned short>(r);
                    rec->colIndex = static_cast<unsigned short>(c);
                    rec->xfIndex = xf;
                    cell->get_formula(cb);
                    break;
                }
                default: {
                    cb->SetType(Sheet::Blank::Code);
                    Sheet::Blank* rec = static_cast<Sheet::Blank*>(cb->record);
                    rec->rowIndex = static_cast<unsigned short>(r);
                    rec->colIndex = static_cast<unsigned short>(c);
                    rec->xfIndex = xf;
                    break;
                }
                }
                ++c;
            }
        }

        // Merged ranges, rows first; only materialised cells can carry spans.
        for (size_t r = 0; r < view.cells_.size(); ++r) {
            const std::vector<XlsCell>& line = view.cells_[r];
            const size_t width = std::min(line.size(), static_cast<size_t>(M));
            for (size_t c = 0; c < width; ++c) {
                const XlsCell& cell = line[c];
                if (cell.GetMergedRows() < 2 && cell.GetMergedColumns() < 2)
                    continue;
                Worksheet::MergedCells::MergedCell range;
                range.firstRowIndex = static_cast<unsigned short>(r);
                range.lastRowIndex = static_cast<unsigned short>(
                    std::min<size_t>(r + std::max<unsigned short>(cell.GetMergedRows(), 1) - 1, XlsWorksheet::kMaxRows - 1));
                range.firstColIndex = static_cast<unsigned short>(c);
                range.lastColIndex = static_cast<unsigned short>(
                    std::min<size_t>(c + std::max<unsigned short>(cell.GetMergedColumns(), 1) - 1, XlsWorksheet::kMaxCols - 1));
                model.mergedCells.mergedCells.push_back(range);
            }
        }
    }

    while (waitCount > 0)
        resolveOldest();
    sst.totalStrings = static_cast<unsigned int>(textCells);
    // Each string is made and filled in one visit: the table can be larger
    // than any cache, and a second walk over it would miss again.
    sst.strings.reserve(uniqueTexts.size());
    for (const Text& item : uniqueTexts) {
        sst.strings.emplace_back();
        if (item.wide) {
            sst.strings.back().Assign(static_cast<const wchar_t*>(item.text), item.length);
        } else {
            const std::string text(static_cast<const char*>(item.text), item.length);
            sst.strings.back().Assign(text.c_str());
        }
    }
    sst.uniqueStrings = static_cast<unsigned int>(uniqueTexts.size());
}

void XlsWorkbook::AdjustStreamPositions()
{
    AdjustBoundSheetBOFPositions();
    AdjustDBCellPositions();
}

void XlsWorkbook::AdjustBoundSheetBOFPositions()
{
    unsigned long long p = workbook_.RecordSize();
    const size_t sheets = std::min(worksheets_.size(), workbook_.boundSheets.size());
    for (size_t i = 0; i < sheets; ++i) {
        workbook_.boundSheets[i].bofPosition = static_cast<unsigned int>(p);
        p += worksheets_[i].RecordSize();
    }
}

void XlsWorkbook::AdjustDBCellPositions()
{
    std::vector<unsigned int> sizes; // of the cell records of one block
    for (size_t i = 0; i < worksheets_.size() && i < workbook_.boundSheets.size(); ++i) {
        Worksheet& sheet = worksheets_[i];
        unsigned long long p = workbook_.boundSheets[i].bofPosition;
        p += sheet.bof.RecordSize() + sheet.index.RecordSize() + sheet.colInfos.RecordSize() +
             sheet.dimensions.RecordSize();
        std::vector<RowBlock>& blocks = sheet.cellTable.rowBlocks;
        if (sheet.index.dbCellPositions.size() < blocks.size())
            sheet.index.dbCellPositions.resize(blocks.size(), 0);
        for (size_t b = 0; b < blocks.size(); ++b) {
            RowBlock& block = blocks[b];
            const std::vector<RefCount::SmartPtr<CellBlock>>& cells = block.cellBlocks;
            unsigned long long rowsSize = 0;
            for (Worksheet::CellTable::RowBlock::Row& row : block.rows)
                rowsSize += row.RecordSize();
            unsigned long long distance = rowsSize;
            p += rowsSize;
            sizes.assign(cells.size(), 0);
            for (size_t k = 0; k < cells.size(); ++k) {
                if (cells[k] && cells[k]->record != nullptr)
                    sizes[k] = cells[k]->RecordSize();
                distance += sizes[k];
            }
            p += distance - rowsSize;
            sheet.index.dbCellPositions[b] = static_cast<unsigned int>(p);
            block.dbcell.firstRowOffset = static_cast<unsigned int>(distance);
            // One offset per row; the count fixes the DBCELL's size.
            block.dbcell.offsets.assign(block.rows.size(), 0);
            p += block.dbcell.RecordSize();

            // Offset of each row's first cell: from the end of the first ROW
            // record for row 0 of the block, from the previous row's first cell after.
            unsigned long long o = rowsSize - (block.rows.empty() ? 0 : block.rows.front().RecordSize());
            size_t cursor = 0;
            for (size_t k = 0; k < block.rows.size(); ++k) {
                for (; cursor < cells.size(); ++cursor) {
                    if (sizes[cursor] == 0)
                        continue;
                    if (block.rows[k].rowIndex <= cells[cursor]->RowIndex()) {
                        block.dbcell.offsets[k] = static_cast<unsigned short>(o);
                        break;
                    }
                    o += sizes[cursor];
                }
                o = 0;
            }
        }
    }
}

void XlsWorkbook::AdjustExtSSTPositions()
{
    const unsigned long long start = workbook_.SSTPosition();
    Workbook::SharedStringTable& sst = workbook_.sharedStringTable;
    const std::vector<unsigned int> offsets = sst.StringOffsets();
    const std::vector<unsigned int>& splits = sst.continueOffsets;
    Workbook::ExtSST& ext = workbook_.extSST;
    const size_t perBucket = 10;
    const size_t buckets = (offsets.size() + perBucket - 1) / perBucket;
    ext.stringsPerBucket = static_cast<unsigned short>(perBucket);
    ext.streamPositions.assign(buckets, 0);
    ext.recordOffsets.assign(buckets, 0);
    ext.reservedWords.assign(buckets, 0);
    size_t split = 0; // split points at or before the current string
    for (size_t b = 0; b < buckets; ++b) {
        const unsigned int offset = offsets[b * perBucket];
        while (split < splits.size() && splits[split] <= offset)
            ++split;
        const unsigned int pieceStart = split == 0 ? 0 : splits[split - 1];
        ext.streamPositions[b] = static_cast<unsigned int>(start + 4 + offset + 4ull * split);
        ext.recordOffsets[b] = static_cast<unsigned short>(offset - pieceStart + 4);
    }
}

// ---------------------------------------------------------------- sheets

Worksheet* XlsWorkbook::WorksheetModel(int sheetIndex)
{
    if (sheetIndex < 0 || static_cast<size_t>(sheetIndex) >= worksheets_.size())
        return nullptr;
    return &worksheets_[static_cast<size_t>(sheetIndex)];
}

const Worksheet* XlsWorkbook::GetWorksheetRecords(int sheetIndex) const
{
    if (sheetIndex < 0 || static_cast<size_t>(sheetIndex) >= worksheets_.size())
        return nullptr;
    return &worksheets_[static_cast<size_t>(sheetIndex)];
}

void XlsWorkbook::UpdateBiffWorksheet()
{
    std::vector<RefCount::SmartPtr<XlsWorksheet>> views;
    BuildSheetViews(views);
    for (RefCount::SmartPtr<XlsWorksheet>& sheet : sheetViews_)
        sheet->excel_ = nullptr;
    sheetViews_.swap(views);
}

void XlsWorkbook::BuildSheetViews(std::vector<RefCount::SmartPtr<XlsWorksheet>>& views)
{
    views.clear();
    views.reserve(worksheets_.size());
    for (size_t i = 0; i < worksheets_.size(); ++i) {
        views.emplace_back(new XlsWorksheet(this, static_cast<int>(i)));
        views.back()->colInfos_.colInfos = worksheets_[i].colInfos.colInfos;
    }
}

void XlsWorkbook::RenumberSheets()
{
    for (size_t i = 0; i < sheetViews_.size(); ++i)
        sheetViews_[i]->sheetIndex_ = static_cast<int>(i);
}

int XlsWorkbook::GetTotalWorkSheets() const
{
    return static_cast<int>(worksheets_.size());
}

XlsWorksheet* XlsWorkbook::GetWorksheet(int sheetIndex)
{
    if (sheetIndex < 0 || static_cast<size_t>(sheetIndex) >= sheetViews_.size())
        return nullptr;
    return sheetViews_[static_cast<size_t>(sheetIndex)].get();
}

template <typename Char>
int XlsWorkbook::FindSheet(const Char* name) const
{
    if (name == nullptr)
        return -1;
    const auto units = SheetNameUnits(name);
    for (size_t i = 0; i < workbook_.boundSheets.size(); ++i) {
        if (NameEquals(workbook_.boundSheets[i].name, units.c_str()))
            return static_cast<int>(i);
    }
    return -1;
}

XlsWorksheet* XlsWorkbook::GetWorksheet(const char* name)
{
    return GetWorksheet(FindSheet(name));
}

XlsWorksheet* XlsWorkbook::GetWorksheet(const wchar_t* name)
{
    return GetWorksheet(FindSheet(name));
}

XlsWorksheet* XlsWorkbook::InsertSheet(int sheetIndex)
{
    const size_t at = sheetIndex < 0 ? worksheets_.size() : static_cast<size_t>(sheetIndex);
    workbook_.boundSheets.insert(workbook_.boundSheets.begin() + static_cast<std::ptrdiff_t>(at), Workbook::BoundSheet());
    worksheets_.insert(worksheets_.begin() + static_cast<std::ptrdiff_t>(at), Worksheet());
    // Only the first sheet of a workbook starts selected.
    worksheets_[at].window2.options &= static_cast<unsigned short>(~kSheetSelected);
    XlsWorksheet* sheet = new XlsWorksheet(this, static_cast<int>(at));
    sheetViews_.insert(sheetViews_.begin() + static_cast<std::ptrdiff_t>(at), RefCount::SmartPtr<XlsWorksheet>(sheet));
    RenumberSheets();
    return sheet;
}

template <typename Char>
XlsWorksheet* XlsWorkbook::AddNamedWorksheet(const Char* name, int sheetIndex)
{
    if (name == nullptr)
        return nullptr;
    const auto units = SheetNameUnits(name);
    if (!UsableName(units) || sheetIndex < -1 || sheetIndex > GetTotalWorkSheets() || FindSheet(units.c_str()) >= 0)
        return nullptr;
    XlsWorksheet* sheet = InsertSheet(sheetIndex);
    workbook_.boundSheets[static_cast<size_t>(sheet->sheetIndex_)].name.Assign(units.c_str());
    return sheet;
}

XlsWorksheet* XlsWorkbook::AddWorksheet(const char* name, int sheetIndex)
{
    return AddNamedWorksheet(name, sheetIndex);
}

XlsWorksheet* XlsWorkbook::AddWorksheet(const wchar_t* name, int sheetIndex)
{
    return AddNamedWorksheet(name, sheetIndex);
}

XlsWorksheet* XlsWorkbook::AddWorksheet(int sheetIndex)
{
    if (sheetIndex < -1 || sheetIndex > GetTotalWorkSheets())
        return nullptr;
    // At most as many names are taken as there are sheets, so this ends.
    for (long long n = static_cast<long long>(GetTotalWorkSheets()) + 1;; ++n) {
        char name[32];
        std::snprintf(name, sizeof(name), "Sheet%lld", n);
        if (XlsWorksheet* sheet = AddWorksheet(name, sheetIndex))
            return sheet;
    }
}

bool XlsWorkbook::DeleteWorksheet(int sheetIndex)
{
    if (sheetIndex < 0 || static_cast<size_t>(sheetIndex) >= workbook_.boundSheets.size() ||
        static_cast<size_t>(sheetIndex) >= worksheets_.size() || static_cast<size_t>(sheetIndex) >= sheetViews_.size())
        return false;
    const std::ptrdiff_t at = sheetIndex;
    workbook_.boundSheets.erase(workbook_.boundSheets.begin() + at);
    worksheets_.erase(worksheets_.begin() + at);
    sheetViews_[static_cast<size_t>(at)]->excel_ = nullptr;
    sheetViews_.erase(sheetViews_.begin() + at);
    RenumberSheets();
    return true;
}

bool XlsWorkbook::DeleteWorksheet(const char* name)
{
    return DeleteWorksheet(FindSheet(name));
}

bool XlsWorkbook::DeleteWorksheet(const wchar_t* name)
{
    return DeleteWorksheet(FindSheet(name));
}

template <typename Char>
bool XlsWorkbook::RenameSheet(int sheetIndex, const Char* to)
{
    if (to == nullptr)
        return false;
    const auto units = SheetNameUnits(to);
    if (sheetIndex < 0 || sheetIndex >= GetTotalWorkSheets() || !UsableName(units) || FindSheet(units.c_str()) >= 0)
        return false;
    return workbook_.boundSheets[static_cast<size_t>(sheetIndex)].name.Assign(units.c_str());
}

bool XlsWorkbook::RenameWorksheet(int sheetIndex, const char* to)
{
    return RenameSheet(sheetIndex, to);
}

bool XlsWorkbook::RenameWorksheet(int sheetIndex, const wchar_t* to)
{
    return RenameSheet(sheetIndex, to);
}

bool XlsWorkbook::RenameWorksheet(const char* from, const char* to)
{
    const int index = FindSheet(from);
    return index >= 0 && RenameSheet(index, to);
}

bool XlsWorkbook::RenameWorksheet(const wchar_t* from, const wchar_t* to)
{
    const int index = FindSheet(from);
    return index >= 0 && RenameSheet(index, to);
}

const char* XlsWorkbook::GetAnsiSheetName(int sheetIndex)
{
    if (sheetIndex < 0 || static_cast<size_t>(sheetIndex) >= workbook_.boundSheets.size())
        return nullptr;
    const SmallString& name = workbook_.boundSheets[static_cast<size_t>(sheetIndex)].name;
    return IsWideName(name) ? nullptr : name.narrowText;
}

const wchar_t* XlsWorkbook::GetUnicodeSheetName(int sheetIndex)
{
    if (sheetIndex < 0 || static_cast<size_t>(sheetIndex) >= workbook_.boundSheets.size())
        return nullptr;
    const SmallString& name = workbook_.boundSheets[static_cast<size_t>(sheetIndex)].name;
    return IsWideName(name) ? name.wideText : nullptr;
}

bool XlsWorkbook::GetSheetName(int sheetIndex, char* name)
{
    const char* text = GetAnsiSheetName(sheetIndex);
    if (text == nullptr || name == nullptr)
        return false;
    std::strcpy(name, text);
    return true;
}

bool XlsWorkbook::GetSheetName(int sheetIndex, wchar_t* name)
{
    const wchar_t* text = GetUnicodeSheetName(sheetIndex);
    if (text == nullptr || name == nullptr)
        return false;
    std::wcscpy(name, text);
    return true;
}

} // namespace Biff
