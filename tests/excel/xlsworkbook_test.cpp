// Workbooks from cells to records to files and back: the record layout, the
// shared string table, stream positions, saving (truthful, never destroying an
// existing file), loading (also hostile files) and an independent reader.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "compound/compoundfile.h"
#include "formatmanager.h"
#include "xlsworkbook.h"

#include "biff_testutil.h"

#include "../filesizelimit.h"

using Biff::XlsCell;
using Biff::XlsWorkbook;
using Biff::XlsWorksheet;
using biffTest::Piece;
using biffTest::Pieces;

namespace {

// ---------------------------------------------------------------- helpers

unsigned int U16(const std::vector<unsigned char>& d, size_t at) { return d[at] | (d[at + 1] << 8); }
unsigned int U32(const std::vector<unsigned char>& d, size_t at) { return U16(d, at) | (U16(d, at + 2) << 16); }

std::vector<char> StreamOf(XlsWorkbook& book)
{
    book.UpdateWorksheets();
    const unsigned long long size = book.StreamSize();
    book.AdjustStreamPositions();
    std::vector<char> stream(static_cast<size_t>(size));
    EXPECT_EQ(book.Write(stream.data()), size);
    return stream;
}

std::vector<char> ReadWorkbookStream(const std::string& path)
{
    CompoundDoc::CompoundFile doc;
    std::vector<char> stream;
    EXPECT_TRUE(doc.Open(path.c_str(), std::ios_base::in));
    EXPECT_EQ(doc.ReadFile("Workbook", stream), 1);
    return stream;
}

bool WriteWorkbookStream(const std::string& path, const std::vector<char>& stream)
{
    CompoundDoc::CompoundFile doc;
    return doc.Create(path.c_str()) && doc.MakeFile("Workbook") == 1 &&
           doc.WriteFile("Workbook", stream.data(), static_cast<unsigned int>(stream.size())) == 1;
}

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

class TempDir {
public:
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/xlswb.XXXXXX";
        path_ = mkdtemp(&pattern[0]);
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    std::size_t Entries() const
    {
        std::size_t n = 0;
        if (DIR* d = opendir(path_.c_str())) {
            while (dirent* e = readdir(d))
                n += e->d_name[0] != '.';
            closedir(d);
        }
        return n;
    }

private:
    std::string path_;
};

// ---------------------------------------------------------------- independent reader

const char* kReaderScript = R"(
import sys
try:
    import xlrd
except ImportError:
    sys.exit(77)
b = xlrd.open_workbook(sys.argv[1])
for s in b.sheets():
    print("S", s.name.encode("utf-16-le", "surrogatepass").hex(), s.nrows, s.ncols)
    for r in range(s.nrows):
        for c, cell in enumerate(s.row(r)):
            if cell.ctype == xlrd.XL_CELL_TEXT:
                print("T", r, c, cell.value.encode("utf-16-le", "surrogatepass").hex())
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                print("N", r, c, repr(cell.value))
)";

struct ReaderSheet {
    std::u16string name;
    int rows = 0;
    int cols = 0;
    std::map<std::pair<int, int>, std::u16string> texts;
    std::map<std::pair<int, int>, double> numbers;
};

std::u16string FromHex(const std::string& hex)
{
    std::u16string out;
    for (size_t i = 0; i + 3 < hex.size(); i += 4) {
        const unsigned lo = static_cast<unsigned>(std::stoul(hex.substr(i, 2), nullptr, 16));
        const unsigned hi = static_cast<unsigned>(std::stoul(hex.substr(i + 2, 2), nullptr, 16));
        out.push_back(static_cast<char16_t>(lo | (hi << 8)));
    }
    return out;
}

std::u16string U16(const std::wstring& s)
{
    std::u16string out;
    for (wchar_t c : s)
        out.push_back(static_cast<char16_t>(c));
    return out;
}

// Runs the reader; false when the independent reader is not installed.
bool ReadWithXlrd(const std::string& path, std::vector<ReaderSheet>& sheets)
{
    const std::string script = path + ".reader.py";
    {
        std::ofstream out(script);
        out << kReaderScript;
    }
    const std::string command = "/usr/bin/python3 '" + script + "' '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return false;
    std::string output;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        output.append(buffer, n);
    const int status = pclose(pipe);
    std::remove(script.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        return false;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    std::istringstream lines(output);
    std::string kind;
    while (lines >> kind) {
        if (kind == "S") {
            std::string hex;
            ReaderSheet sheet;
            lines >> hex >> sheet.rows >> sheet.cols;
            sheet.name = FromHex(hex);
            sheets.push_back(sheet);
        } else {
            int r, c;
            std::string value;
            lines >> r >> c >> value;
            if (sheets.empty())
                break;
            if (kind == "T")
                sheets.back().texts[{r, c}] = FromHex(value);
            else
                sheets.back().numbers[{r, c}] = std::strtod(value.c_str(), nullptr);
        }
    }
    return true;
}

#define REQUIRE_XLRD(path, sheets)                                            \
    do {                                                                      \
        if (!ReadWithXlrd(path, sheets))                                      \
            GTEST_SKIP() << "python3-xlrd is not installed";                  \
    } while (0)

// The workbook the main window writes: one sheet, one bold font, wide texts.
void FillLikeTheMainWindow(XlsWorkbook& book, const std::vector<std::vector<std::wstring>>& table)
{
    book.New(1);
    XlsWorksheet* sheet = book.GetWorksheet(0);
    XlsFormat::FormatManager formats(book);
    XlsFormat::CellFont bold(L"Arial", 200, 700);
    formats.get_font_idx(bold);
    for (size_t r = 0; r < table.size(); ++r)
        for (size_t c = 0; c < table[r].size(); ++c)
            sheet->Cell(static_cast<int>(r), static_cast<int>(c))->SetWString(table[r][c].c_str());
}

} // namespace

// ---------------------------------------------------------------- RK encoding

TEST(XlsRK, OnlyExactEncodingsCount)
{
    const struct { double value; unsigned int rk; } exact[] = {
        {3.0, 0x40080000u}, {1.5, 0x4062C001u}, {0.25, 0x40390001u}, {2.25, 0}, {-7.5, 0}, {0.01, 0},
        {0.1, 0}, {100.0, 0}, {1234.56, 0}};
    for (const auto& e : exact) {
        EXPECT_TRUE(Biff::CanStoreAsRKValue(e.value)) << e.value;
        if (e.rk) {
            EXPECT_EQ(Biff::GetRKValueFromDouble(e.value), e.rk) << e.value;
        }
    }
    // Two decimals, but the 30 bits of the RK form would round them.
    for (double d : {1234567.89, 3.14159, 1e15, 0.001, std::nan(""), 1.0 / 3.0})
        EXPECT_FALSE(Biff::CanStoreAsRKValue(d)) << d;
    EXPECT_EQ(Biff::GetRKValueFromInteger(5), 0x16u);
    EXPECT_EQ(Biff::GetRKValueFromInteger(-1), 0xFFFFFFFEu);
    EXPECT_TRUE(Biff::CanStoreAsRKInteger(536870911));
    EXPECT_TRUE(Biff::CanStoreAsRKInteger(-536870912));
    EXPECT_FALSE(Biff::CanStoreAsRKInteger(536870912));
    EXPECT_FALSE(Biff::CanStoreAsRKInteger(-536870913));
}

// ---------------------------------------------------------------- records from cells

TEST(XlsRecords, MainWindowWorkbookLayout)
{
    XlsWorkbook book;
    FillLikeTheMainWindow(book, {{L"a", L""}, {L"", L"b"}});
    const std::vector<char> stream = StreamOf(book);
    const std::vector<Piece> pieces = Pieces(stream);

    std::vector<unsigned int> codes;
    for (const Piece& p : pieces)
        codes.push_back(p.code);
    std::vector<unsigned int> expected = {0x0809, 0x003D, 0x0031, 0x0031};
    expected.insert(expected.end(), 21, 0x00E0);
    expected.insert(expected.end(), 6, 0x0293);
    expected.insert(expected.end(), {0x0085, 0x00FC, 0x000A});
    // The worksheet: INDEX, DIMENSIONS, one block of 2 rows, WINDOW2.
    expected.insert(expected.end(), {0x0809, 0x020B, 0x0200, 0x0208, 0x0208});
    expected.insert(expected.end(), {0x00FD, 0x0201, 0x0201, 0x00FD, 0x00D7, 0x023E, 0x000A});
    EXPECT_EQ(codes, expected);

    // The second font is the bold one.
    EXPECT_EQ(U16(pieces[3].payload, 6), 700u);
    // BOUNDSHEET names "Sheet1" and points at the worksheet's BOF.
    const Piece& bound = pieces[31];
    ASSERT_EQ(bound.code, 0x0085);
    EXPECT_EQ(U32(bound.payload, 0), pieces[34].offset);
    EXPECT_EQ(std::string(bound.payload.begin() + 8, bound.payload.end()), "Sheet1");
    // SST: two texts, two distinct.
    EXPECT_EQ(U32(pieces[32].payload, 0), 2u);
    EXPECT_EQ(U32(pieces[32].payload, 4), 2u);
    // INDEX: rows 0..2, one DBCELL at its real position.
    const Piece& index = pieces[35];
    EXPECT_EQ(U32(index.payload, 4), 0u);
    EXPECT_EQ(U32(index.payload, 8), 2u);
    ASSERT_EQ(index.payload.size(), 20u);
    EXPECT_EQ(U32(index.payload, 16), pieces[43].offset);
    // DIMENSIONS: 2 rows, 2 columns.
    EXPECT_EQ(U32(pieces[36].payload, 4), 2u);
    EXPECT_EQ(U16(pieces[36].payload, 10), 2u);
    // DBCELL: back to the first ROW, then per row the first-cell offsets.
    const Piece& dbcell = pieces[43];
    EXPECT_EQ(U32(dbcell.payload, 0), dbcell.offset - pieces[37].offset);
    ASSERT_EQ(dbcell.payload.size(), 8u);
    EXPECT_EQ(U16(dbcell.payload, 4), pieces[39].offset - (pieces[37].offset + 20));
    EXPECT_EQ(U16(dbcell.payload, 6), pieces[41].offset - pieces[39].offset);
}

TEST(XlsRecords, NumberRunsBecomeMulRKRKOrNumber)
{
    XlsWorkbook book;
    book.New(1);
    XlsWorksheet* sheet = book.GetWorksheet(0);
    sheet->Cell(0, 0)->Set(1);
    sheet->Cell(0, 1)->Set(2);
    sheet->Cell(0, 3)->Set(3);
    sheet->Cell(1, 0)->Set(1.5);
    sheet->Cell(1, 1)->Set(2.25);
    sheet->Cell(1, 2)->Set(3.14159);
    sheet->Cell(1, 3)->Set(1234567.89); // two decimals, not exact as RK
    sheet->Cell(2, 0)->Set(536870912);  // beyond the 30-bit integers
    sheet->Cell(2, 1)->Set(-5);
    StreamOf(book);
    const auto& cells = book.GetWorksheetRecords(0)->cellTable.rowBlocks[0].cellBlocks;
    std::vector<unsigned short> types;
    for (const auto& cell : cells)
        types.push_back(cell->type);
    const std::vector<unsigned short> expected = {0x00BD, 0x0201, 0x027E,          // row 0
                                                  0x00BD, 0x0203, 0x0203,          // row 1
                                                  0x0203, 0x027E, 0x0201, 0x0201}; // row 2
    EXPECT_EQ(types, expected);
    auto* mulrk = static_cast<Biff::Sheet::MulRK*>(cells[0]->record);
    EXPECT_EQ(mulrk->firstColIndex, 0);
    EXPECT_EQ(mulrk->lastColIndex, 1);
    ASSERT_EQ(mulrk->xfRKs.size(), 2u);
    EXPECT_EQ(mulrk->xfRKs[1].rkValue, Biff::GetRKValueFromInteger(2));
    EXPECT_EQ(static_cast<Biff::Sheet::Number*>(cells[5]->record)->value, 1234567.89);
    EXPECT_EQ(static_cast<Biff::Sheet::Number*>(cells[6]->record)->value, 536870912.0);
}

TEST(XlsRecords, SharedStringsAcrossSheetsAndWidths)
{
    XlsWorkbook book;
    book.New(2);
    book.GetWorksheet(0)->Cell(0, 0)->SetString("same");
    book.GetWorksheet(0)->Cell(0, 1)->SetString("same");
    book.GetWorksheet(1)->Cell(0, 0)->SetString("same");
    book.GetWorksheet(1)->Cell(0, 1)->SetWString(L"same");
    StreamOf(book);
    const auto& sst = book.GetWorkbookRecords().sharedStringTable;
    EXPECT_EQ(sst.totalStrings, 4u);
    EXPECT_EQ(sst.uniqueStrings, 2u);
    ASSERT_EQ(sst.strings.size(), 2u);
    EXPECT_FALSE(sst.strings[0].IsWide());
    EXPECT_TRUE(sst.strings[1].IsWide());
    const auto& second = book.GetWorksheetRecords(1)->cellTable.rowBlocks[0].cellBlocks;
    EXPECT_EQ(static_cast<Biff::Sheet::LabelSST*>(second[0]->record)->sstIndex, 0u);
    EXPECT_EQ(static_cast<Biff::Sheet::LabelSST*>(second[1]->record)->sstIndex, 1u);
}

TEST(XlsRecords, MergesSelectionAndSheetPositions)
{
    XlsWorkbook book;
    book.New(2);
    book.GetWorksheet(0)->MergeCells(1, 1, 2, 3);
    for (int r = 0; r < 40; ++r)
        book.GetWorksheet(1)->Cell(r, 2)->SetString("x");
    const std::vector<char> stream = StreamOf(book);

    const auto& merged = book.GetWorksheetRecords(0)->mergedCells.mergedCells;
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].firstRowIndex, 1);
    EXPECT_EQ(merged[0].lastRowIndex, 2);
    EXPECT_EQ(merged[0].firstColIndex, 1);
    EXPECT_EQ(merged[0].lastColIndex, 3);
    EXPECT_TRUE(book.GetWorksheetRecords(0)->window2.options & 0x0200);
    EXPECT_FALSE(book.GetWorksheetRecords(1)->window2.options & 0x0200);

    Biff::Workbook& globals = book.GetWorkbookRecords();
    Biff::Worksheet first = *book.GetWorksheetRecords(0);
    EXPECT_EQ(globals.boundSheets[0].bofPosition, globals.RecordSize());
    EXPECT_EQ(globals.boundSheets[1].bofPosition, globals.RecordSize() + first.RecordSize());
    // Every INDEX position of sheet 2 names a DBCELL record of the stream.
    const auto& positions = book.GetWorksheetRecords(1)->index.dbCellPositions;
    ASSERT_EQ(positions.size(), 2u);
    for (unsigned int at : positions) {
        ASSERT_LT(at + 4, stream.size());
        EXPECT_EQ(static_cast<unsigned char>(stream[at]) | (static_cast<unsigned char>(stream[at + 1]) << 8), 0x00D7);
    }
}

TEST(XlsRecords, LongAndNonBmpTextsAreStoredAsUtf16WithinTheCellLimit)
{
    XlsWorkbook book;
    book.New(1);
    XlsWorksheet* sheet = book.GetWorksheet(0);
    // A code point beyond 16 bits given whole becomes a surrogate pair; one
    // beyond Unicode a replacement character.
    const wchar_t whole[] = {L'a', static_cast<wchar_t>(0x1F600), static_cast<wchar_t>(0xFFFF),
                             static_cast<wchar_t>(0x10FFFF), static_cast<wchar_t>(0x110000), 0};
    sheet->Cell(0, 0)->SetWString(whole);
    // 40000 units: cut at 32767, and here the cut would split a pair.
    std::wstring longText(32766, L'x');
    longText.push_back(static_cast<wchar_t>(0xD83D));
    longText.push_back(static_cast<wchar_t>(0xDE00));
    longText.append(5000, L'y');
    sheet->Cell(1, 0)->SetWString(longText.c_str());
    StreamOf(book);
    const auto& strings = book.GetWorkbookRecords().sharedStringTable.strings;
    ASSERT_EQ(strings.size(), 2u);
    const std::vector<wchar_t> pair = {L'a', 0xD83D, 0xDE00, 0xFFFF, 0xDBFF, 0xDFFF, 0xFFFD};
    EXPECT_EQ(strings[0].wideText, pair);
    EXPECT_EQ(strings[1].wideText.size(), 32766u);
}

// ---------------------------------------------------------------- saving and loading

TEST(XlsSave, RoundTripThroughOurLoaderAndXlrd)
{
    TempDir dir;
    const std::string path = dir / "mixed.xls";
    {
        XlsWorkbook book;
        book.New(1);
        ASSERT_TRUE(book.RenameWorksheet(0, L"Tabelle \u00e9"));
        XlsWorksheet* sheet = book.GetWorksheet(0);
        sheet->Cell(0, 0)->SetWString(L"Name");
        sheet->Cell(0, 1)->SetWString(L"\u4e2d\u6587 \u00fcber");
        sheet->Cell(1, 0)->Set(42);
        sheet->Cell(1, 1)->Set(3.14159);
        sheet->Cell(1, 2)->Set(1.5);
        sheet->Cell(1, 3)->Set(1234567.89);
        sheet->Cell(2, 0)->Set(-536870913);
        sheet->Cell(2, 1)->SetString("narrow");

        Biff::Sheet::Formula formula;
        const double five = 5.0;
        std::memcpy(formula.result, &five, 8);
        formula.formula = {3, 0, 0x1E, 0x05, 0x00}; // = 5
        sheet->Cell(3, 0)->SetFormula(formula);
        ASSERT_TRUE(book.SaveAs(path.c_str()));
    }

    // Our loader gives back the kinds; values are checked against xlrd.
    XlsWorkbook loaded;
    ASSERT_TRUE(loaded.Load(path.c_str()));
    ASSERT_EQ(loaded.GetTotalWorkSheets(), 1);
    const XlsWorksheet& sheet = *loaded.GetWorksheet(0);
    EXPECT_EQ(sheet.Cell(1, 0)->Type(), XlsCell::INT);
    EXPECT_EQ(sheet.Cell(1, 2)->GetDouble(), 1.5);
    EXPECT_EQ(sheet.Cell(2, 0)->GetDouble(), -536870913.0);
    EXPECT_STREQ(sheet.Cell(2, 1)->GetString(), "narrow");
    EXPECT_EQ(sheet.Cell(3, 0)->Type(), XlsCell::FORMULA);
    EXPECT_EQ(sheet.Cell(3, 0)->GetDouble(), 5.0);

    std::vector<ReaderSheet> sheets;
    REQUIRE_XLRD(path, sheets);
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].name, u"Tabelle \u00e9");
    EXPECT_EQ(sheets[0].rows, 4);
    EXPECT_EQ(sheets[0].cols, 4);
    EXPECT_EQ((sheets[0].texts[{0, 1}]), u"\u4e2d\u6587 \u00fcber");
    EXPECT_EQ((sheets[0].texts[{2, 1}]), u"narrow");
    EXPECT_EQ((sheets[0].numbers[{1, 0}]), 42.0);
    EXPECT_EQ((sheets[0].numbers[{1, 1}]), 3.14159);
    EXPECT_EQ((sheets[0].numbers[{1, 3}]), 1234567.89);
    EXPECT_EQ((sheets[0].numbers[{2, 0}]), -536870913.0);
    EXPECT_EQ((sheets[0].numbers[{3, 0}]), 5.0);
}

TEST(XlsSave, MainWindowTextsReadBackExactly)
{
    TempDir dir;
    std::wstring nonBmp = L"emoji ";
    nonBmp += static_cast<wchar_t>(0xD83D);
    nonBmp += static_cast<wchar_t>(0xDE00);
    std::vector<std::vector<std::wstring>> table = {
        {L"one"},
        {nonBmp, std::wstring(4095, L'\u00e4')},
        {L"", std::wstring(32767, L'z')},
    };
    // Enough distinct long texts that the table spans many CONTINUE pieces.
    for (int i = 0; i < 300; ++i)
        table.push_back({std::wstring(100 + i, static_cast<wchar_t>(L'a' + i % 26)) + std::to_wstring(i),
                         std::to_wstring(i) + L" \u0416\u0436"});
    XlsWorkbook book;
    FillLikeTheMainWindow(book, table);
    const std::string path = dir / "texts.xls";
    ASSERT_TRUE(book.SaveAs(path.c_str()));

    XlsWorkbook loaded;
    ASSERT_TRUE(loaded.Load(path.c_str()));
    const XlsWorksheet& sheet = *loaded.GetWorksheet(0);
    ASSERT_EQ(sheet.GetTotalRows(), static_cast<int>(table.size()));
    for (size_t r = 0; r < table.size(); ++r)
        for (size_t c = 0; c < table[r].size(); ++c) {
            const XlsCell* cell = sheet.Cell(static_cast<int>(r), static_cast<int>(c));
            if (table[r][c].empty())
                EXPECT_EQ(cell->Type(), XlsCell::UNDEFINED);
            else
                EXPECT_EQ(std::wstring(cell->GetWString()), table[r][c]) << r << "," << c;
        }

    std::vector<ReaderSheet> sheets;
    REQUIRE_XLRD(path, sheets);
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].name, u"Sheet1");
    EXPECT_EQ(sheets[0].rows, static_cast<int>(table.size()));
    EXPECT_EQ(sheets[0].cols, 2);
    size_t texts = 0;
    for (size_t r = 0; r < table.size(); ++r)
        for (size_t c = 0; c < table[r].size(); ++c)
            if (!table[r][c].empty()) {
                ++texts;
                EXPECT_EQ((sheets[0].texts[{static_cast<int>(r), static_cast<int>(c)}]), U16(table[r][c])) << r << "," << c;
            }
    EXPECT_EQ(sheets[0].texts.size(), texts);
}

TEST(XlsSave, FullHeightSheet)
{
    TempDir dir;
    XlsWorkbook book;
    book.New(1);
    XlsWorksheet* sheet = book.GetWorksheet(0);
    for (int r = 0; r < 65536; ++r)
        sheet->Cell(r, r % 3)->SetWString((L"row " + std::to_wstring(r)).c_str());
    EXPECT_EQ(sheet->Cell(65536, 0), nullptr);
    const std::string path = dir / "tall.xls";
    ASSERT_TRUE(book.SaveAs(path.c_str()));

    XlsWorkbook loaded;
    ASSERT_TRUE(loaded.Load(path.c_str()));
    const XlsWorksheet& back = *loaded.GetWorksheet(0);
    ASSERT_EQ(back.GetTotalRows(), 65536);
    EXPECT_EQ(back.GetTotalCols(), 3);
    EXPECT_STREQ(back.Cell(65535, 65535 % 3)->GetWString(), L"row 65535");
    EXPECT_STREQ(back.Cell(40000, 40000 % 3)->GetWString(), L"row 40000");

    std::vector<ReaderSheet> sheets;
    REQUIRE_XLRD(path, sheets);
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].rows, 65536);
    EXPECT_EQ(sheets[0].texts.size(), 65536u);
    EXPECT_EQ((sheets[0].texts[{65535, 65535 % 3}]), u"row 65535");
}

TEST(XlsSave, LoadChangeSaveAgain)
{
    TempDir dir;
    const std::string path = dir / "edit.xls";
    {
        XlsWorkbook book;
        book.New(2);
        book.GetWorksheet(0)->Cell(0, 0)->SetWString(L"keep");
        book.GetWorksheet(1)->Cell(5, 5)->Set(6);
        book.GetWorksheet(1)->SetColWidth(1, 5000);
        // Only cells with a value give a loaded sheet its size, so the merged
        // cell holds one.
        book.GetWorksheet(0)->Cell(2, 0)->SetWString(L"merged");
        book.GetWorksheet(0)->MergeCells(2, 0, 1, 4);
        ASSERT_TRUE(book.SaveAs(path.c_str()));
    }
    {
        XlsWorkbook book;
        ASSERT_TRUE(book.Load(path.c_str()));
        EXPECT_EQ(book.GetWorksheet(1)->GetColWidth(1), 5000);
        EXPECT_EQ(book.GetWorksheet(0)->Cell(2, 0)->GetMergedColumns(), 4);
        book.GetWorksheet(0)->Cell(1, 0)->SetWString(L"added");
        ASSERT_NE(book.AddWorksheet(L"Third", -1), nullptr);
        ASSERT_TRUE(book.Save());
    }
    XlsWorkbook book;
    ASSERT_TRUE(book.Load(path.c_str()));
    ASSERT_EQ(book.GetTotalWorkSheets(), 3);
    EXPECT_STREQ(book.GetWorksheet(0)->Cell(0, 0)->GetWString(), L"keep");
    EXPECT_STREQ(book.GetWorksheet(0)->Cell(1, 0)->GetWString(), L"added");
    EXPECT_EQ(book.GetWorksheet(1)->Cell(5, 5)->GetInteger(), 6);
    EXPECT_STREQ(book.GetUnicodeSheetName(2), L"Third");
    // No stray files beside the saved one.
    EXPECT_EQ(dir.Entries(), 1u);
}

TEST(XlsSave, NonAsciiPathsInBothWidths)
{
    TempDir dir;
    const std::string narrow = dir / "t\xC3\xA4" "bla.xls";
    XlsWorkbook book;
    book.New(1);
    book.GetWorksheet(0)->Cell(0, 0)->SetWString(L"x");
    ASSERT_TRUE(book.SaveAs(narrow.c_str()));
    std::wstring wide;
    for (unsigned char c : dir.path())
        wide += static_cast<wchar_t>(c);
    wide += L"/\u65e5\u672c.xls";
    ASSERT_TRUE(book.SaveAs(wide.c_str()));
    // A name without a folder is saved in the working folder.
    char* here = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    const bool relative = book.SaveAs("plain.xls");
    ASSERT_EQ(chdir(here), 0);
    std::free(here);
    EXPECT_TRUE(relative) << book.GetLastError();
    XlsWorkbook a, b;
    EXPECT_TRUE(a.Load((dir / "plain.xls").c_str()));
    EXPECT_TRUE(a.Load(narrow.c_str()));
    EXPECT_TRUE(b.Load(wide.c_str()));
    EXPECT_TRUE(b.Load((dir / "\xE6\x97\xA5\xE6\x9C\xAC.xls").c_str()));
}

TEST(XlsSave, FailedSaveKeepsTheOldFile)
{
    TempDir dir;
    const std::string path = dir / "old.xls";
    {
        XlsWorkbook small;
        small.New(1);
        small.GetWorksheet(0)->Cell(0, 0)->SetWString(L"old content");
        ASSERT_TRUE(small.SaveAs(path.c_str()));
    }
    const std::string before = FileBytes(path);

    XlsWorkbook big;
    big.New(1);
    for (int r = 0; r < 5000; ++r)
        big.GetWorksheet(0)->Cell(r, 0)->SetWString((L"new text " + std::to_wstring(r)).c_str());

    // A file size limit makes the disk refuse the new file halfway.
    FileSizeLimit limit(32 * 1024);
    ASSERT_TRUE(limit.ok());
    const bool saved = big.SaveAs(path.c_str());
    limit.restore();

    EXPECT_FALSE(saved);
    EXPECT_NE(big.GetLastError().find("disk"), std::string::npos) << big.GetLastError();
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(dir.Entries(), 1u); // no half-written file left behind
    EXPECT_FALSE(big.Save()); // a failed SaveAs leaves nothing open, like a new workbook

    // Targets that are not plain files, or lie in no folder, are refused.
    EXPECT_FALSE(big.SaveAs(dir.path().c_str()));
    EXPECT_FALSE(big.GetLastError().empty());
    EXPECT_FALSE(big.SaveAs((dir / "missing/x.xls").c_str()));
    EXPECT_FALSE(big.SaveAs(""));
    EXPECT_EQ(FileBytes(path), before);

    // And the same workbook saves once the disk has room.
    EXPECT_TRUE(big.SaveAs(path.c_str()));
    EXPECT_TRUE(big.GetLastError().empty());
    XlsWorkbook loaded;
    ASSERT_TRUE(loaded.Load(path.c_str()));
    EXPECT_STREQ(loaded.GetWorksheet(0)->Cell(4999, 0)->GetWString(), L"new text 4999");
}

TEST(XlsSave, SaveFollowsSymbolicLinksAndKeepsPermissions)
{
    TempDir dir;
    const std::string real = dir / "real.xls";
    const std::string link = dir / "link.xls";
    XlsWorkbook book;
    book.New(1);
    ASSERT_TRUE(book.SaveAs(real.c_str()));
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    book.GetWorksheet(0)->Cell(0, 0)->SetWString(L"through the link");
    ASSERT_TRUE(book.SaveAs(link.c_str()));
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    XlsWorkbook loaded;
    ASSERT_TRUE(loaded.Load(real.c_str()));
    EXPECT_STREQ(loaded.GetWorksheet(0)->Cell(0, 0)->GetWString(), L"through the link");

    // Loaded through the link, saved again: the link stays a link.
    XlsWorkbook viaLink;
    ASSERT_TRUE(viaLink.Load(link.c_str()));
    viaLink.GetWorksheet(0)->Cell(1, 0)->SetWString(L"again");
    ASSERT_TRUE(viaLink.Save());
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_TRUE(loaded.Load(real.c_str()));
    EXPECT_STREQ(loaded.GetWorksheet(0)->Cell(1, 0)->GetWString(), L"again");
}

// ---------------------------------------------------------------- hostile input

class XlsLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        good_ = dir_ / "good.xls";
        XlsWorkbook book;
        book.New(1);
        XlsWorksheet* sheet = book.GetWorksheet(0);
        sheet->Cell(0, 0)->SetWString(L"alpha");
        sheet->Cell(0, 1)->SetWString(L"beta");
        sheet->Cell(1, 0)->Set(2.5);
        ASSERT_TRUE(book.SaveAs(good_.c_str()));
        stream_ = ReadWorkbookStream(good_);
    }

    // Loads `path` into a workbook holding a known sheet and checks that a
    // refused file leaves it as it was.
    void ExpectRefusedKeepingState(const std::string& path)
    {
        XlsWorkbook book;
        ASSERT_TRUE(book.Load(good_.c_str()));
        book.GetWorksheet(0)->Cell(3, 3)->Set(9);
        EXPECT_FALSE(book.Load(path.c_str()));
        EXPECT_FALSE(book.GetLastError().empty());
        ASSERT_EQ(book.GetTotalWorkSheets(), 1);
        EXPECT_STREQ(book.GetWorksheet(0)->Cell(0, 0)->GetWString(), L"alpha");
        EXPECT_EQ(book.GetWorksheet(0)->Cell(3, 3)->GetInteger(), 9);
        EXPECT_FALSE(book.Save()); // closed
    }

    TempDir dir_;
    std::string good_;
    std::vector<char> stream_;
};

TEST_F(XlsLoad, MissingRandomTruncatedAndDamagedFiles)
{
    ExpectRefusedKeepingState(dir_ / "does-not-exist.xls");
    ExpectRefusedKeepingState(dir_.path()); // a folder
    const std::string random = dir_ / "random.xls";
    std::ofstream(random, std::ios::binary) << std::string(5000, '\x5A');
    ExpectRefusedKeepingState(random);
    const std::string bytes = FileBytes(good_);
    for (size_t cut : {0ul, 100ul, 512ul, 1000ul}) {
        std::ofstream(random, std::ios::binary | std::ios::trunc) << bytes.substr(0, cut);
        XlsWorkbook book;
        EXPECT_FALSE(book.Load(random.c_str())) << cut;
    }

    std::vector<char> noBof(stream_), longRecord(stream_);
    noBof[0] = 0x0A;
    longRecord[22] = '\xFF'; // a record length pointing past the end
    longRecord[23] = '\x7F';
    const std::vector<char> damaged[] = {
        {}, {'\x09', '\x08'}, noBof, longRecord,
        std::vector<char>(stream_.begin(), stream_.begin() + 24), // globals cut off
        std::vector<char>(stream_.begin(), stream_.end() - 10),   // sheet cut off
    };
    for (const std::vector<char>& stream : damaged) {
        ASSERT_TRUE(WriteWorkbookStream(random, stream));
        ExpectRefusedKeepingState(random);
    }

    // A file without write permission still loads.
    ASSERT_EQ(chmod(good_.c_str(), 0444), 0);
    XlsWorkbook book;
    EXPECT_TRUE(book.Load(std::wstring(good_.begin(), good_.end()).c_str()));
    EXPECT_EQ(book.GetWorksheet(0)->Cell(1, 0)->GetDouble(), 2.5);
}

TEST_F(XlsLoad, TextIndexBeyondTheTableAndFarCells)
{
    // The first LABELSST ("alpha" at 0,0) patched: a text index 0x77 of 2
    // strings gives an empty cell; a place in the far corner (row 65535,
    // column 255) of a tiny stream grows the grid without materialising
    // every row on the way.
    size_t label = 0;
    for (const Piece& p : Pieces(stream_))
        if (p.code == 0x00FD && !label)
            label = p.offset + 4;
    ASSERT_GT(label, 0u);
    std::vector<char> badIndex(stream_), far(stream_);
    badIndex[label + 6] = '\x77';
    far[label] = far[label + 1] = far[label + 2] = '\xFF';
    const std::string path = dir_ / "patched.xls";
    ASSERT_TRUE(WriteWorkbookStream(path, badIndex));
    XlsWorkbook book;
    ASSERT_TRUE(book.Load(path.c_str()));
    EXPECT_EQ(book.GetWorksheet(0)->Cell(0, 0)->Type(), XlsCell::UNDEFINED);
    EXPECT_STREQ(book.GetWorksheet(0)->Cell(0, 1)->GetWString(), L"beta");
    ASSERT_TRUE(WriteWorkbookStream(path, far));
    ASSERT_TRUE(book.Load(path.c_str()));
    const XlsWorksheet& sheet = *book.GetWorksheet(0);
    EXPECT_EQ(sheet.GetTotalRows(), 65536);
    EXPECT_EQ(sheet.GetTotalCols(), 256);
    EXPECT_STREQ(sheet.Cell(65535, 255)->GetWString(), L"alpha");
}

TEST_F(XlsLoad, StrayBofInsideTheGlobalsStillSavesReadably)
{
    // A worksheet BOF inside the globals replaces the globals' own BOF when
    // read; what we write must still open with a globals BOF.
    const std::vector<Piece> pieces = Pieces(stream_);
    size_t sheetBof = 0;
    for (const Piece& p : pieces)
        if (p.code == 0x0809 && p.offset > 0)
            sheetBof = p.offset;
    ASSERT_GT(sheetBof, 0u);
    std::vector<char> stream(stream_.begin(), stream_.begin() + 20);
    stream.insert(stream.end(), stream_.begin() + static_cast<long>(sheetBof),
                  stream_.begin() + static_cast<long>(sheetBof) + 20);
    stream.insert(stream.end(), stream_.begin() + 20, stream_.end());

    XlsWorkbook book;
    ASSERT_GT(book.Read(stream.data(), stream.size()), 0ul);
    const std::vector<char> saved = StreamOf(book);
    EXPECT_EQ(saved[4 + 2], 0x05); // the globals' substream type
    XlsWorkbook back;
    EXPECT_EQ(back.Read(saved.data(), saved.size()), saved.size());
    EXPECT_STREQ(back.GetWorksheet(0)->Cell(0, 1)->GetWString(), L"beta");
}

TEST_F(XlsLoad, ReadStopsAtOtherSubstreams)
{
    // Globals, sheet 1, a chart substream, then sheet 1 again: only the
    // sheets before the chart are read.
    XlsWorkbook two;
    two.New(2);
    two.GetWorksheet(0)->Cell(0, 0)->Set(1);
    two.GetWorksheet(1)->Cell(0, 0)->Set(2);
    const std::vector<char> stream = StreamOf(two);
    const std::vector<Piece> pieces = Pieces(stream);
    std::vector<size_t> bofs;
    for (const Piece& p : pieces)
        if (p.code == 0x0809)
            bofs.push_back(p.offset);
    ASSERT_EQ(bofs.size(), 3u);
    std::vector<char> charted(stream);
    charted[bofs[2] + 4 + 2] = 0x20; // the second sheet becomes a chart
    XlsWorkbook book;
    EXPECT_GT(book.Read(charted.data(), charted.size()), 0ul);
    ASSERT_EQ(book.GetTotalWorkSheets(), 1);
    EXPECT_EQ(book.GetWorksheet(0)->Cell(0, 0)->GetInteger(), 1);
    EXPECT_EQ(book.Read(stream.data(), 10), 0ul);

    // One text in a thousand cells: about 8 MB of cell copies from a small
    // stream, within what its size allows.
    XlsWorkbook shared;
    shared.New(1);
    const std::string text(8000, 'x');
    for (int r = 0; r < 1000; ++r)
        shared.GetWorksheet(0)->Cell(r, 0)->SetString(text.c_str());
    const std::vector<char> sharedStream = StreamOf(shared);
    EXPECT_EQ(book.Read(sharedStream.data(), sharedStream.size()), sharedStream.size()) << book.GetLastError();
}
