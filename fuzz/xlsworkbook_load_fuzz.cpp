// Workbook loading from any bytes: as a "Workbook" stream image (first byte
// even) or as a whole file (first byte odd). Whatever loads must also save
// and read back.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "xlsworkbook.h"

namespace {

const std::string& FilePath()
{
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/xlsworkbook_load_fuzz." + std::to_string(::getpid());
    }();
    return path;
}

void TouchCells(Biff::XlsWorkbook& book)
{
    for (int s = 0; s < book.GetTotalWorkSheets(); ++s) {
        const Biff::XlsWorksheet& sheet = *book.GetWorksheet(s);
        const int rows = sheet.GetTotalRows();
        const int cols = sheet.GetTotalCols();
        if (rows < 1 || cols < 1 || rows > Biff::XlsWorksheet::kMaxRows || cols > Biff::XlsWorksheet::kMaxCols)
            __builtin_trap();
        const Biff::XlsCell* corner = sheet.Cell(rows - 1, cols - 1);
        if (corner == nullptr || sheet.Cell(rows, 0) != nullptr)
            __builtin_trap();
        double d;
        corner->Get(d);
        if (corner->Type() == Biff::XlsCell::STRING || corner->Type() == Biff::XlsCell::WSTRING)
            corner->GetStringLength();
        book.GetAnsiSheetName(s);
        book.GetUnicodeSheetName(s);
    }
}

// Saves into memory (only modest grids: every grid cell becomes a record)
// and reads the result back, which must always work.
void RoundTrip(Biff::XlsWorkbook& book)
{
    unsigned long long cells = 0;
    for (int s = 0; s < book.GetTotalWorkSheets(); ++s)
        cells += static_cast<unsigned long long>(book.GetWorksheet(s)->GetTotalRows()) *
                 static_cast<unsigned long long>(book.GetWorksheet(s)->GetTotalCols());
    if (cells > 20000)
        return;
    book.UpdateWorksheets();
    const unsigned long long size = book.StreamSize();
    if (size > 0xFFFFFFFFull)
        return;
    book.AdjustStreamPositions();
    std::vector<char> stream(static_cast<size_t>(size));
    const unsigned long long written = book.Write(stream.data());
    // A record that cannot be written (a loaded formula too long for one
    // piece) refuses the save; anything written must be whole.
    if (written == 0)
        return;
    if (written != size)
        __builtin_trap();
    Biff::XlsWorkbook back;
    if (back.Read(stream.data(), stream.size()) != stream.size())
        __builtin_trap();
    if (back.GetTotalWorkSheets() != book.GetTotalWorkSheets())
        __builtin_trap();
    // Globals records kept without a model of their own come back as they
    // went, in the order written (grouped after the records they followed).
    std::vector<const Biff::Workbook::KeptRecord*> kept;
    for (const Biff::Workbook::KeptRecord& k : book.GetWorkbookRecords().keptRecords)
        kept.push_back(&k);
    std::stable_sort(kept.begin(), kept.end(), [](const auto* a, const auto* b) {
        return a->group != b->group ? a->group < b->group : a->position < b->position;
    });
    const std::vector<Biff::Workbook::KeptRecord>& again = back.GetWorkbookRecords().keptRecords;
    if (again.size() != kept.size())
        __builtin_trap();
    for (size_t i = 0; i < kept.size(); ++i)
        if (again[i].record.code != kept[i]->record.code || again[i].record.data != kept[i]->record.data)
            __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool asFile = (data[0] & 1) != 0;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const size_t length = size - 1;

    Biff::XlsWorkbook book;
    if (asFile) {
        FILE* f = std::fopen(FilePath().c_str(), "wb");
        if (f == nullptr)
            return 0;
        std::fwrite(bytes, 1, length, f);
        std::fclose(f);
        const bool loaded = book.Load(FilePath().c_str());
        std::remove(FilePath().c_str());
        if (!loaded)
            return 0;
    } else {
        if (book.Read(bytes, length) == 0)
            return 0;
    }
    TouchCells(book);
    RoundTrip(book);
    return 0;
}
