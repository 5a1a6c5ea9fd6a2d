// Workbooks from cells to records to files and back: the record layout, the
// shared string table, stream positions, saving (truthful, never destroying an
// existing file), loading (also hostile files) and an independent reader.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "compound/compoundfile.h"
#include "formatmanager.h"
#include "xlsworkbook.h"

#include "biff_cells_testutil.h"
#include "biff_testutil.h"
#include "xlsworkbook_testutil.h"

#include "../filesizelimit.h"

using Biff::XlsCell;
using Biff::XlsWorkbook;
using Biff::XlsWorksheet;
using biffTest::Piece;
using biffTest::Pieces;
using xlsTest::FileBytes;
using xlsTest::TempDir;
using xlsTest::WriteWorkbookStream;

namespace {

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

// The independent reader prints every sheet and every text or number cell,
// texts as UTF-16 and numbers as their 8 bytes, in hex.
const char* kReaderScript = R"(import sys, struct, xlrd
b = xlrd.open_workbook(sys.argv[1])
for s in b.sheets():
    print(s.name.encode("utf-16-le", "surrogatepass").hex(), s.nrows, s.ncols)
    for r in range(s.nrows):
        for c, cell in enumerate(s.row(r)):
            if cell.ctype == xlrd.XL_CELL_TEXT:
                print(r, c, "T", cell.value.encode("utf-16-le", "surrogatepass").hex())
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                print(r, c, "N", struct.pack("<d", cell.value).hex())
)";

std::string Hex(const void* data, size_t size)
{
    std::string out;
    for (const unsigned char* b = static_cast<const unsigned char*>(data); size--; ++b)
        out += std::string{"0123456789abcdef"[*b >> 4], "0123456789abcdef"[*b & 15]};
    return out;
}

std::string TextLine(const std::wstring& text)
{
    const std::u16string units(text.begin(), text.end());
    return "T " + Hex(units.data(), units.size() * 2);
}

std::string NumberLine(double value) { return "N " + Hex(&value, 8); }

// The workbook the main window writes: one sheet, one bold font, wide texts.
XlsWorksheet* NewLikeTheMainWindow(XlsWorkbook& book)
{
    book.New(1);
    XlsFormat::FormatManager formats(book);
    XlsFormat::CellFont bold(L"Arial", 200, 700);
    formats.get_font_idx(bold);
    return book.GetWorksheet(0);
}

} // namespace

TEST(XlsRK, OnlyExactEncodingsCount)
{
    // Two decimals fit unless the 30 bits of the RK form would round them;
    // the encodings themselves are checked by the independent reader below.
    for (double d : {3.0, 1.5, 0.25, 2.25, -7.5, 0.01, 1234.56})
        EXPECT_TRUE(Biff::CanStoreAsRKValue(d)) << d;
    for (double d : {1234567.89, 3.14159, 1e15, 0.001, std::nan(""), 1.0 / 3.0, -21474836.49})
        EXPECT_FALSE(Biff::CanStoreAsRKValue(d)) << d;
    for (int i : {536870911, -536870912, 536870912, -536870913})
        EXPECT_EQ(Biff::CanStoreAsRKInteger(i), i == 536870911 || i == -536870912) << i;
}

TEST(XlsRecords, MainWindowWorkbookLayout)
{
    XlsWorkbook book;
    XlsWorksheet* sheet = NewLikeTheMainWindow(book);
    sheet->Cell(0, 0)->SetWString(L"a");
    sheet->Cell(1, 1)->SetWString(L"b");
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

TEST(XlsRecords, CellKindsSharedStringsAndPositions)
{
    XlsWorkbook book;
    book.New(2);
    // 1234567.89 has two decimals but is not exact as RK; 536870912 is
    // beyond the 30-bit integers.
    const struct { int r, c; double value; } numbers[] = {
        {0, 0, 1}, {0, 1, 2}, {0, 3, 3}, {1, 0, 1.5}, {1, 1, 2.25}, {1, 2, 3.14159}, {1, 3, 1234567.89},
        {2, 0, 536870912}, {2, 1, -5}};
    for (const auto& n : numbers) {
        if (n.value == std::floor(n.value))
            book.GetWorksheet(0)->Cell(n.r, n.c)->Set(static_cast<int>(n.value));
        else
            book.GetWorksheet(0)->Cell(n.r, n.c)->Set(n.value);
    }
    // One text in narrow and wide form: two shared strings; 40 rows: two
    // row blocks.
    XlsWorksheet* second = book.GetWorksheet(1);
    second->Cell(0, 0)->SetString("same");
    second->Cell(0, 1)->SetWString(L"same");
    second->Cell(0, 2)->SetString("same");
    for (int r = 0; r < 40; ++r)
        second->Cell(r, 4)->SetString("x");
    second->MergeCells(41, 1, 2, 3);
    const std::vector<char> stream = StreamOf(book);
    std::vector<unsigned short> types;
    for (const auto& cell : book.GetWorksheetRecords(0)->cellTable.rowBlocks[0].cellBlocks)
        types.push_back(cell->type);
    const std::vector<unsigned short> expected = {0x00BD, 0x0201, 0x027E,          // row 0
                                                  0x00BD, 0x0203, 0x0203,          // row 1
                                                  0x0203, 0x027E, 0x0201, 0x0201}; // row 2
    EXPECT_EQ(types, expected);

    const auto& sst = book.GetWorkbookRecords().sharedStringTable;
    EXPECT_EQ(sst.totalStrings, 43u);
    ASSERT_EQ(sst.uniqueStrings, 3u);
    EXPECT_TRUE(sst.strings[1].IsWide());
    const auto& labels = book.GetWorksheetRecords(1)->cellTable.rowBlocks[0].cellBlocks;
    EXPECT_EQ(static_cast<Biff::Sheet::LabelSST*>(labels[2]->record)->sstIndex, 0u);
    EXPECT_EQ(book.GetWorksheetRecords(1)->mergedCells.mergedCells.size(), 1u);
    EXPECT_TRUE(book.GetWorksheetRecords(0)->window2.options & 0x0200); // the first sheet is selected
    EXPECT_FALSE(book.GetWorksheetRecords(1)->window2.options & 0x0200);

    Biff::Workbook& globals = book.GetWorkbookRecords();
    Biff::Worksheet first = *book.GetWorksheetRecords(0);
    EXPECT_EQ(globals.boundSheets[1].bofPosition, globals.RecordSize() + first.RecordSize());
    // Every INDEX position of sheet 2 names a DBCELL record of the stream.
    const auto& positions = book.GetWorksheetRecords(1)->index.dbCellPositions;
    ASSERT_EQ(positions.size(), 2u);
    for (unsigned int at : positions) {
        ASSERT_LT(at + 4, stream.size());
        EXPECT_EQ(biffTest::U16(stream, at), 0x00D7u);
    }
}

// One full-height sheet of every kind of cell, read back by our loader and
// by xlrd: wide, narrow, non-BMP and over-long texts (cut at 32767 units,
// never inside a pair), enough distinct texts for many CONTINUE pieces,
// numbers in every record form and a formula.
TEST(XlsSave, RoundTripThroughOurLoaderAndXlrd)
{
    TempDir dir;
    const std::string path = dir / "mixed.xls";
    std::map<std::pair<int, int>, std::string> cells; // as the reader prints them
    XlsWorkbook book;
    XlsWorksheet* sheet = NewLikeTheMainWindow(book);
    ASSERT_TRUE(book.RenameWorksheet(0, L"Tabelle \u00e9 \U0001F600")); // stored as a pair
    auto text = [&](int r, int c, const std::wstring& in, const std::wstring& out) {
        sheet->Cell(r, c)->SetWString(in.c_str());
        cells[{r, c}] = TextLine(out.empty() ? in : out);
    };
    text(0, 0, L"Name", L"");
    text(0, 1, L"\u4e2d\u6587 \u00fcber", L"");
    sheet->Cell(2, 1)->SetString("narrow");
    sheet->Cell(1, 0)->Set(42);
    sheet->Cell(2, 0)->Set(-536870913);
    cells[{1, 0}] = NumberLine(42);
    cells[{2, 0}] = NumberLine(-536870913);
    const struct { int r, c; double value; } doubles[] = {{1, 1, 3.14159}, {1, 2, 1.5},   {1, 3, 1234567.89},
                                                          {2, 2, 0.25},    {2, 3, -7.5},  {3, 1, 0.01},
                                                          {3, 2, 1234.56}, {3, 3, 2.25}};
    for (const auto& d : doubles) {
        sheet->Cell(d.r, d.c)->Set(d.value);
        cells[{d.r, d.c}] = NumberLine(d.value);
    }
    Biff::Sheet::Formula formula;
    const double five = 5.0;
    std::memcpy(formula.result, &five, 8);
    formula.formula = {3, 0, 0x1E, 0x05, 0x00}; // = 5
    sheet->Cell(3, 0)->SetFormula(formula);
    cells[{3, 0}] = NumberLine(5);
    // Code points given whole: beyond 16 bits a pair, beyond Unicode U+FFFD.
    text(4, 0, {L'a', wchar_t(0x1F600), wchar_t(0xFFFF), wchar_t(0x10FFFF), wchar_t(0x110000)},
         {L'a', 0xD83D, 0xDE00, 0xFFFF, 0xDBFF, 0xDFFF, 0xFFFD});
    std::wstring longText(32766, L'x');
    text(4, 1, longText + wchar_t(0xD83D) + wchar_t(0xDE00) + std::wstring(5000, L'y'), longText);
    text(5, 0, std::wstring(L"emoji ") + wchar_t(0xD83D) + wchar_t(0xDE00), L"");
    text(5, 1, std::wstring(4095, L'\u00e4'), L"");
    text(6, 1, std::wstring(32767, L'z'), L"");
    text(4, 2, std::wstring(40000, L'w'), std::wstring(32767, L'w'));
    for (int i = 0; i < 300; ++i) {
        text(7 + i, 0, std::wstring(100 + i, static_cast<wchar_t>(L'a' + i % 26)) + std::to_wstring(i), L"");
        text(7 + i, 1, std::to_wstring(i) + L" \u0416\u0436", L"");
    }
    for (int r = 307; r < 65536; ++r)
        text(r, r % 3, L"row " + std::to_wstring(r), L"");
    EXPECT_EQ(sheet->Cell(65536, 0), nullptr);
    ASSERT_TRUE(book.SaveAs(path.c_str()));
    std::vector<std::pair<int, int>> cut;
    for (const XlsWorkbook::CellPosition& p : book.GetCutCells())
        cut.push_back({p.row, p.column});
    EXPECT_EQ(cut, (std::vector<std::pair<int, int>>{{4, 1}, {4, 2}}));

    XlsWorkbook loaded;
    ASSERT_TRUE(loaded.Load(path.c_str()));
    const XlsWorksheet& back = *loaded.GetWorksheet(0);
    EXPECT_EQ(back.GetTotalRows(), 65536);
    EXPECT_EQ(back.GetTotalCols(), 4);
    EXPECT_EQ(back.Cell(1, 0)->Type(), XlsCell::INT);
    EXPECT_EQ(back.Cell(3, 0)->Type(), XlsCell::FORMULA);
    EXPECT_EQ(back.Cell(6, 0)->Type(), XlsCell::UNDEFINED);
    EXPECT_STREQ(back.Cell(2, 1)->GetString(), "narrow");
    const std::u16string name = u"Tabelle \u00e9 \U0001F600";
    std::string expected = Hex(name.data(), name.size() * 2) + " 65536 4\n";
    cells[{2, 1}] = TextLine(L"narrow");
    for (const auto& e : cells) {
        const XlsCell* cell = back.Cell(e.first.first, e.first.second);
        if (e.first != std::make_pair(2, 1)) {
            ASSERT_EQ(e.second[0] == 'T' ? TextLine(cell->GetWString()) : NumberLine(cell->GetDouble()), e.second)
                << e.first.first << "," << e.first.second;
        }
        expected += std::to_string(e.first.first) + " " + std::to_string(e.first.second) + " " + e.second + "\n";
    }

    if (std::system("/usr/bin/python3 -c 'import xlrd' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-xlrd is not installed";
    std::ofstream(path + ".py") << kReaderScript;
    EXPECT_TRUE(xlsTest::Output("/usr/bin/python3 '" + path + ".py' '" + path + "'") == expected);
}

// Texts longer than a cell holds are saved cut, and the save names their
// cells: narrow texts by characters, wide ones by the UTF-16 units they take.
TEST(XlsSave, CutTextsAreNamed)
{
    TempDir dir;
    XlsWorkbook book;
    book.New(2);
    const wchar_t grin = static_cast<wchar_t>(0x1F600); // two units in the file
    const struct { int sheet, row, col; std::string narrow; std::wstring wide; bool cut; } cells[] = {
        {0, 0, 0, std::string(32767, 'n'), L"", false},
        {0, 0, 1, std::string(40000, 'n'), L"", true},
        {0, 1, 0, "", std::wstring(32767, L'w'), false},
        {0, 1, 1, "", std::wstring(32768, L'w'), true},
        {0, 2, 3, "", std::wstring(32765, L'w') + grin, false},
        {0, 3, 0, "", std::wstring(32766, L'w') + grin, true},
        {1, 0, 2, "", std::wstring(40000, L'w'), true},
    };
    std::vector<std::string> expected;
    for (const auto& c : cells) {
        XlsCell* cell = book.GetWorksheet(c.sheet)->Cell(c.row, c.col);
        if (c.narrow.empty())
            cell->SetWString(c.wide.c_str());
        else
            cell->SetString(c.narrow.c_str());
        if (c.cut)
            expected.push_back(std::to_string(c.sheet) + ":" + std::to_string(c.row) + "," + std::to_string(c.col));
    }
    auto cutCells = [&book] {
        std::vector<std::string> named;
        for (const XlsWorkbook::CellPosition& p : book.GetCutCells())
            named.push_back(std::to_string(p.sheet) + ":" + std::to_string(p.row) + "," + std::to_string(p.column));
        return named;
    };
    ASSERT_TRUE(book.SaveAs((dir / "cut.xls").c_str()));
    EXPECT_EQ(cutCells(), expected);
    // The cells keep their whole text; a later save without long texts
    // names none.
    EXPECT_EQ(book.GetWorksheet(0)->Cell(0, 1)->GetStringLength(), 40000);
    for (const auto& c : cells)
        book.GetWorksheet(c.sheet)->Cell(c.row, c.col)->SetWString(L"short");
    ASSERT_TRUE(book.Save());
    EXPECT_TRUE(cutCells().empty());
}

TEST(XlsSave, LoadChangeSaveAgainThroughALink)
{
    // Save() after Load() writes into the loaded file: through a symbolic
    // link it stays a link, the file keeps its permissions, and no stray
    // file is left beside it.
    TempDir dir;
    const std::string real = dir / "real.xls", link = dir / "link.xls";
    XlsWorkbook book;
    book.New(2);
    book.GetWorksheet(0)->Cell(0, 0)->SetWString(L"keep");
    book.GetWorksheet(1)->Cell(5, 5)->Set(6);
    book.GetWorksheet(1)->SetColWidth(1, 5000);
    // Only cells with a value give a loaded sheet its size.
    book.GetWorksheet(0)->Cell(2, 0)->SetWString(L"merged");
    book.GetWorksheet(0)->MergeCells(2, 0, 1, 4);
    // Each kind of cell record carries its cell's format.
    book.GetWorksheet(0)->Cell(0, 0)->SetXFormatIdx(16);
    book.GetWorksheet(1)->Cell(5, 5)->SetXFormatIdx(17);
    ASSERT_TRUE(book.SaveAs(real.c_str()));
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    ASSERT_TRUE(book.Load(link.c_str()));
    EXPECT_EQ(book.GetWorksheet(1)->GetColWidth(1), 5000);
    EXPECT_EQ(book.GetWorksheet(0)->Cell(2, 0)->GetMergedColumns(), 4);
    EXPECT_EQ(book.GetWorksheet(0)->Cell(0, 0)->GetXFormatIdx(), 16);
    EXPECT_EQ(book.GetWorksheet(1)->Cell(5, 5)->GetXFormatIdx(), 17);
    book.GetWorksheet(0)->Cell(1, 0)->SetWString(L"added");
    ASSERT_NE(book.AddWorksheet(L"Third", -1), nullptr);
    ASSERT_TRUE(book.Save());
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(dir.Entries(), 2u);
    ASSERT_TRUE(book.Load(real.c_str()));
    ASSERT_EQ(book.GetTotalWorkSheets(), 3);
    EXPECT_STREQ(book.GetWorksheet(0)->Cell(0, 0)->GetWString(), L"keep");
    EXPECT_STREQ(book.GetWorksheet(0)->Cell(1, 0)->GetWString(), L"added");
    EXPECT_EQ(book.GetWorksheet(1)->Cell(5, 5)->GetInteger(), 6);
    EXPECT_STREQ(book.GetUnicodeSheetName(2), L"Third");
}

TEST(XlsSave, NonAsciiAndRelativePathsInBothWidths)
{
    TempDir dir;
    const std::string narrow = dir / "t\xC3\xA4" "bla.xls";
    XlsWorkbook book, a;
    book.New(1);
    ASSERT_TRUE(book.SaveAs(narrow.c_str()));
    const std::wstring wide = std::wstring(dir.path().begin(), dir.path().end()) + L"/\u65e5\u672c.xls";
    ASSERT_TRUE(book.SaveAs(wide.c_str()));
    // A name without a folder is saved in the working folder.
    char* here = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    const bool relative = book.SaveAs("plain.xls");
    ASSERT_EQ(chdir(here), 0);
    std::free(here);
    EXPECT_TRUE(relative) << book.GetLastError();
    for (const std::string& saved : {narrow, dir / "\xE6\x97\xA5\xE6\x9C\xAC.xls", dir / "plain.xls"})
        EXPECT_TRUE(a.Load(saved.c_str())) << saved;
}

TEST(XlsSave, FailedSaveKeepsTheOldFile)
{
    TempDir dir;
    const std::string path = dir / "old.xls";
    XlsWorkbook big;
    big.New(1);
    big.GetWorksheet(0)->Cell(0, 0)->SetWString(L"old content");
    ASSERT_TRUE(big.SaveAs(path.c_str()));
    const std::string before = FileBytes(path);
    for (int r = 0; r < 5000; ++r)
        big.GetWorksheet(0)->Cell(r, 0)->SetWString((L"new text " + std::to_wstring(r)).c_str());

    // A file size limit makes the disk refuse the new file halfway.
    FileSizeLimit limit(32 * 1024);
    ASSERT_TRUE(limit.ok());
    const bool saved = big.SaveAs(path.c_str());
    limit.restore();
    EXPECT_FALSE(saved);
    EXPECT_NE(big.GetLastError().find("disk"), std::string::npos) << big.GetLastError();
    EXPECT_EQ(dir.Entries(), 1u); // no half-written file left behind
    EXPECT_FALSE(big.Save());     // a failed SaveAs leaves nothing open, like a new workbook

    // Targets that are not plain files, or lie in no folder, are refused.
    const std::pair<std::string, std::string> refused[] = {
        {dir.path(), "the name belongs to something that is not a regular file"},
        {dir / "missing/x.xls", "cannot create a file in the folder: No such file or directory"},
        {std::string(), "no file name"},
    };
    for (const auto& [target, reason] : refused) {
        EXPECT_FALSE(big.SaveAs(target.c_str())) << target;
        EXPECT_EQ(big.GetLastError(), reason);
    }
    EXPECT_EQ(FileBytes(path), before);

    // And the same workbook saves once the disk has room.
    EXPECT_TRUE(big.SaveAs(path.c_str()));
    EXPECT_TRUE(big.GetLastError().empty());
    XlsWorkbook loaded;
    ASSERT_TRUE(loaded.Load(path.c_str()));
    EXPECT_STREQ(loaded.GetWorksheet(0)->Cell(4999, 0)->GetWString(), L"new text 4999");
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
        CompoundDoc::CompoundFile doc;
        ASSERT_TRUE(doc.Open(good_.c_str(), std::ios_base::in));
        ASSERT_EQ(doc.ReadFile("Workbook", stream_), 1);
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
    // No name, or a wide one that is no text (a lone surrogate), names no
    // file, and the failure says why.
    auto errorOf = [](auto name) {
        XlsWorkbook fresh;
        return fresh.Load(name) ? std::string("loaded") : fresh.GetLastError();
    };
    EXPECT_EQ(errorOf(static_cast<const char*>(nullptr)), "no file name");
    EXPECT_EQ(errorOf(static_cast<const wchar_t*>(nullptr)), "no file name");
    EXPECT_EQ(errorOf(L"lone \xDC00.xls"), "the file name is not valid text");
    EXPECT_FALSE(book.Load(L"lone \xDC00.xls"));
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
    XlsWorkbook book;
    ASSERT_EQ(book.Read(badIndex.data(), badIndex.size()), badIndex.size());
    EXPECT_EQ(book.GetWorksheet(0)->Cell(0, 0)->Type(), XlsCell::UNDEFINED);
    EXPECT_STREQ(book.GetWorksheet(0)->Cell(0, 1)->GetWString(), L"beta");
    ASSERT_EQ(book.Read(far.data(), far.size()), far.size());
    const XlsWorksheet& sheet = *book.GetWorksheet(0);
    EXPECT_EQ(sheet.GetTotalRows(), 65536);
    EXPECT_EQ(sheet.GetTotalCols(), 256);
    EXPECT_STREQ(sheet.Cell(65535, 255)->GetWString(), L"alpha");
}

TEST_F(XlsLoad, MergedRangesWithinTheirRow)
{
    // The sheet (alpha, beta / 2.5, blank) made again with a MULBLANK over
    // columns 1-3 of row 1 in place of its blank: that row reaches past the
    // grid's two columns. A range is kept when it starts inside its own row.
    size_t sheetBof = 0;
    for (const Piece& p : Pieces(stream_))
        if (p.code == 0x0809)
            sheetBof = p.offset;
    ASSERT_GT(sheetBof, 0u);
    Biff::Worksheet model;
    const unsigned int sheetSize = static_cast<unsigned int>(stream_.size() - sheetBof);
    ASSERT_EQ(model.Read(stream_.data() + sheetBof, sheetSize), sheetSize);
    bool replaced = false;
    for (auto& block : model.cellTable.rowBlocks[0].cellBlocks) {
        if (block->type == 0x0201 && block->RowIndex() == 1 && block->ColIndex() == 1) {
            block = biffTest::Cell(0x00BE, 1, 1);
            replaced = true;
        }
    }
    ASSERT_TRUE(replaced);
    const struct { unsigned short firstRow, lastRow, firstCol, lastCol, rows, cols; const char* what; } ranges[] = {
        {1, 2, 1, 1, 2, 1, "inside the grid"},
        {1, 1, 2, 3, 1, 2, "past the grid's width, inside the lengthened row"},
        {0, 1, 2, 3, 1, 1, "past the end of its own row"},
        {1, 1, 4, 5, 1, 1, "past the end of the lengthened row"},
        {2, 2, 0, 1, 1, 1, "below the last row"},
    };
    for (const auto& r : ranges)
        model.mergedCells.mergedCells.push_back(Biff::Worksheet::MergedCells::MergedCell(r.firstRow, r.lastRow, r.firstCol, r.lastCol));
    std::vector<char> made(stream_.begin(), stream_.begin() + static_cast<long>(sheetBof));
    made.resize(sheetBof + model.RecordSize());
    ASSERT_EQ(model.Write(made.data() + sheetBof), made.size() - sheetBof);

    XlsWorkbook book;
    ASSERT_EQ(book.Read(made.data(), made.size()), made.size());
    XlsWorksheet* sheet = book.GetWorksheet(0);
    ASSERT_EQ(sheet->GetTotalCols(), 2);
    for (const auto& r : ranges) {
        const XlsCell* cell = sheet->Cell(r.firstRow, r.firstCol); // grows the grid over it
        EXPECT_EQ(cell->GetMergedRows(), r.rows) << r.what;
        EXPECT_EQ(cell->GetMergedColumns(), r.cols) << r.what;
    }
}

TEST_F(XlsLoad, StrayBofsAndOtherSubstreams)
{
    // A worksheet BOF inside the globals replaces the globals' own BOF when
    // read; what we write must still open with a globals BOF.
    std::vector<size_t> bofs;
    for (const Piece& p : Pieces(stream_))
        if (p.code == 0x0809)
            bofs.push_back(p.offset);
    ASSERT_EQ(bofs.size(), 2u);
    std::vector<char> stray(stream_);
    stray.insert(stray.begin() + 20, stream_.begin() + static_cast<long>(bofs[1]),
                 stream_.begin() + static_cast<long>(bofs[1]) + 20);
    XlsWorkbook book, back;
    ASSERT_GT(book.Read(stray.data(), stray.size()), 0ul);
    const std::vector<char> saved = StreamOf(book);
    EXPECT_EQ(saved[4 + 2], 0x05); // the globals' substream type
    EXPECT_EQ(back.Read(saved.data(), saved.size()), saved.size());
    EXPECT_STREQ(back.GetWorksheet(0)->Cell(0, 1)->GetWString(), L"beta");

    // Globals, sheet 1, then sheet 2 turned into a chart: only the sheets
    // before the chart are read.
    book.New(2);
    book.GetWorksheet(1)->Cell(0, 0)->Set(2);
    std::vector<char> charted = StreamOf(book);
    const std::vector<Piece> pieces = Pieces(charted);
    bofs.clear();
    for (const Piece& p : pieces)
        if (p.code == 0x0809)
            bofs.push_back(p.offset);
    ASSERT_EQ(bofs.size(), 3u);
    charted[bofs[2] + 4 + 2] = 0x20;
    // What was read ends with the chart's BOF.
    size_t chartBofSize = 0;
    for (const Piece& p : pieces)
        if (p.offset == bofs[2])
            chartBofSize = 4 + p.payload.size();
    EXPECT_EQ(back.Read(charted.data(), charted.size()), bofs[2] + chartBofSize);
    EXPECT_EQ(back.GetTotalWorkSheets(), 1);
    EXPECT_EQ(back.Read(charted.data(), 10), 0ul);

    // One text in a thousand cells: about 8 MB of cell copies from a small
    // stream, within what its size allows.
    book.New(1);
    const std::string text(8000, 'x');
    for (int r = 0; r < 1000; ++r)
        book.GetWorksheet(0)->Cell(r, 0)->SetString(text.c_str());
    const std::vector<char> shared = StreamOf(book);
    EXPECT_EQ(back.Read(shared.data(), shared.size()), shared.size()) << back.GetLastError();
}
