// Workbooks other programs wrote, loaded and saved again, mean what they
// meant; files whose cells would take far more memory than their size
// warrants are refused cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cellformat.h"
#include "formatmanager.h"
#include "xlsworkbook.h"

#include "biff_testutil.h"
#include "xlsworkbook_testutil.h"

using xlsTest::FileBytes;
using xlsTest::Output;
using xlsTest::TempDir;
using xlsTest::WriteWorkbookStream;

namespace {

const char* const kOffice = "/usr/bin/soffice";
const char* const kPython = "/usr/bin/python3";

// A flat spreadsheet document: filled-down formulas (written as shared
// formulas), a formula on another sheet, an array formula, a date in the
// 1904 date system, a merged range and a document title.
const char* const kFlatDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0" xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:meta><dc:title>Reload title</dc:title></office:meta>
<office:automatic-styles><number:date-style style:name="D1"><number:year number:style="long"/><number:text>-</number:text><number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/></number:date-style>
<style:style style:name="ce1" style:family="table-cell" style:data-style-name="D1"/></office:automatic-styles>
<office:body><office:spreadsheet>
<table:calculation-settings><table:null-date table:date-value="1904-01-01"/></table:calculation-settings>
<table:table table:name="Data">ROWS</table:table>
<table:table table:name="Other"><table:table-row><table:table-cell office:value-type="float" office:value="100"/></table:table-row></table:table>
</office:spreadsheet></office:body></office:document>
)";

std::string FlatDocument()
{
    std::string rows;
    for (int r = 1; r <= 40; ++r) {
        const std::string n = std::to_string(r);
        rows += "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"" + n +
                "\"/><table:table-cell table:formula=\"of:=[.A" + n + "]*2\"/>";
        if (r == 1)
            rows += "<table:table-cell table:formula=\"of:=[Other.A1]+1\"/>"
                    "<table:table-cell table:style-name=\"ce1\" office:value-type=\"date\" office:date-value=\"2020-01-02\"/>"
                    "<table:table-cell table:number-columns-spanned=\"2\" table:number-rows-spanned=\"2\" "
                    "office:value-type=\"string\"><text:p>merged</text:p></table:table-cell><table:covered-table-cell/>"
                    "<table:table-cell table:number-matrix-columns-spanned=\"1\" table:number-matrix-rows-spanned=\"3\" "
                    "table:formula=\"of:=[.A1:.A3]*10\"/>";
        if (r == 2)
            rows += "<table:table-cell/><table:table-cell/><table:covered-table-cell/><table:covered-table-cell/>"
                    "<table:table-cell/>";
        if (r == 3)
            rows += "<table:table-cell table:number-columns-repeated=\"4\"/><table:table-cell/>";
        rows += "</table:table-row>";
    }
    std::string text = kFlatDocument;
    text.replace(text.find("ROWS"), 4, rows);
    return text;
}

// The same content through another writer, which leaves out DBCELL records.
const char* const kXlwtScript = R"(import sys, datetime, xlwt
book = xlwt.Workbook()
book.dates_1904 = True
data = book.add_sheet('Data')
other = book.add_sheet('Other')
other.write(0, 0, 100)
for r in range(40):
    data.write(r, 0, r + 1)
    data.write(r, 1, xlwt.Formula('A%d*2' % (r + 1)))
data.write(0, 2, xlwt.Formula('Other!A1+1'))
data.write(0, 3, datetime.date(2020, 1, 2), xlwt.easyxf(num_format_str='yyyy-mm-dd'))
data.write_merge(0, 1, 4, 5, 'merged')
book.save(sys.argv[1])
)";

// What an independent reader sees: date system, sheets with their merged
// ranges and cells, the document's streams and title.
const char* const kDescribeScript = R"(import sys, xlrd, olefile
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
print('datemode', book.datemode)
for s in book.sheets():
    print(s.name, sorted(s.merged_cells))
    for r in range(s.nrows):
        # A blank cell (formatting only) reads as an empty one.
        row = [(0 if c.ctype == xlrd.XL_CELL_BLANK else c.ctype, c.value) for c in s.row(r)]
        while row and row[-1][0] == 0:
            row.pop()
        print(row)
ole = olefile.OleFileIO(sys.argv[1])
print(sorted('/'.join(p) for p in ole.listdir()))
print('title', ole.get_metadata().title)
)";

struct Maker {
    const char* name;
    bool office; // made by the office suite from the flat document, else by the script
};

class Reload : public testing::TestWithParam<Maker> {};

TEST_P(Reload, SavedAgainReadsTheSame)
{
    const Maker maker = GetParam();
    if (access(kOffice, X_OK) != 0)
        GTEST_SKIP() << "no office suite installed";
    TempDir folder;
    ASSERT_FALSE(folder.path().empty());
    const std::string& dir = folder.path();
    const std::string office = std::string(kOffice) + " --headless --norestore -env:UserInstallation=file://" + dir +
                               "/profile ";
    const std::string original = dir + "/book.xls";
    if (maker.office) {
        std::ofstream(dir + "/book.fods") << FlatDocument();
        std::system((office + "--convert-to xls --outdir '" + dir + "' '" + dir + "/book.fods' > /dev/null 2>&1").c_str());
    } else {
        std::ofstream(dir + "/make.py") << kXlwtScript;
        std::system((std::string(kPython) + " '" + dir + "/make.py' '" + original + "'").c_str());
    }
    ASSERT_FALSE(FileBytes(original).empty()) << maker.name << " wrote no workbook";

    // Save() after Load() writes back into the loaded file.
    const std::string saved = dir + "/saved.xls";
    std::ofstream(saved, std::ios::binary) << FileBytes(original);
    {
        Biff::XlsWorkbook book;
        ASSERT_TRUE(book.Load(saved.c_str())) << book.GetLastError();
        ASSERT_TRUE(book.Save()) << book.GetLastError();
    }

    std::ofstream(dir + "/describe.py") << kDescribeScript;
    const std::string describe = std::string(kPython) + " '" + dir + "/describe.py' ";
    const std::string before = Output(describe + "'" + original + "' 2>&1");
    EXPECT_NE(before.find("datemode 1"), std::string::npos) << before;
    EXPECT_NE(before.find("(0, 2, 4, 6)"), std::string::npos) << before;
    EXPECT_EQ(Output(describe + "'" + saved + "' 2>&1"), before);

    std::system((office + "--convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' --outdir '" + dir + "' '" +
                 original + "' '" + saved + "' > /dev/null 2>&1")
                    .c_str());
    const std::string csv = FileBytes(dir + "/book.csv");
    // Row 40 of the filled-down formulas, the other sheet's value plus one,
    // the date (the script's workbook holds no formula results to show).
    if (maker.office) {
        EXPECT_NE(csv.find("\n40,80"), std::string::npos) << csv;
        EXPECT_NE(csv.find("1,2,101,2020-01-02,merged,,10\n"), std::string::npos) << csv;
        EXPECT_NE(csv.find("\n3,6,,,,,30\n"), std::string::npos) << csv;
    }
    EXPECT_EQ(FileBytes(dir + "/saved.csv"), csv);
}

INSTANTIATE_TEST_SUITE_P(Writers, Reload, testing::Values(Maker{"office", true}, Maker{"xlwt", false}),
                         [](const testing::TestParamInfo<Maker>& info) { return std::string(info.param.name); });

TEST(ReloadNames, SheetNamesFollowTheFileFormat)
{
    const std::pair<std::wstring, bool> cases[] = { // name, taken
        {std::wstring(31, L'n'), true}, {std::wstring(32, L'n'), false}, {L"a[b", false}, {L"a]b", false},
        {L"a:b", false},                {L"a*b", false},                {L"a?b", false}, {L"a/b", false},
        {L"a\\b", false},               {L"\U0001F600 smile", true},
        // 16 characters above U+FFFF take 32 units.
        {std::wstring(16, L'\U0001F600'), false},
    };
    for (const auto& c : cases) {
        Biff::XlsWorkbook added, renamed, renamedNarrow;
        for (Biff::XlsWorkbook* book : {&added, &renamed, &renamedNarrow})
            book->New(1);
        EXPECT_EQ(added.AddWorksheet(c.first.c_str(), -1) != nullptr, c.second);
        EXPECT_EQ(renamed.RenameWorksheet(0, c.first.c_str()), c.second);
        const std::string narrow(c.first.begin(), c.first.end());
        EXPECT_TRUE(c.first.find(L'\U0001F600') != std::wstring::npos ||
                    renamedNarrow.RenameWorksheet("Sheet1", narrow.c_str()) == c.second);
    }

    // A name above U+FFFF is stored in UTF-16 units, as cell texts are (the
    // workbook round trip has xlrd read one).
    Biff::XlsWorkbook book;
    book.New(1);
    ASSERT_TRUE(book.RenameWorksheet(0, L"\U0001F600 smile"));
    EXPECT_NE(book.GetWorksheet(L"\U0001F600 smile"), nullptr);
    EXPECT_STREQ(book.GetUnicodeSheetName(0), L"\xD83D\xDE00 smile");
}

TEST(ReloadFormats, AnUnknownCellFormatRefusesTheSave)
{
    TempDir folder;
    const std::string path = folder.path() + "/xf.xls";
    for (int xf : {21, 0x10000 + 3, -1}) {
        Biff::XlsWorkbook book;
        book.New(1);
        book.GetWorksheet(0)->Cell(2, 1)->SetXFormatIdx(xf);
        EXPECT_FALSE(book.SaveAs(path.c_str())) << xf;
        EXPECT_NE(book.GetLastError().find("cell B3 of sheet 1"), std::string::npos) << book.GetLastError();
        EXPECT_NE(access(path.c_str(), F_OK), 0);
        book.GetWorksheet(0)->Cell(2, 1)->SetXFormatIdx(20);
        EXPECT_TRUE(book.SaveAs(path.c_str())) << book.GetLastError();
        std::remove(path.c_str());
    }
}

// A number format with an empty text: our loader, xlrd and the office suite
// all open the file and show the cells' values.
TEST(ReloadFormats, AnEmptyNumberFormatOpens)
{
    TempDir folder;
    const std::string& dir = folder.path();
    const std::string path = dir + "/empty.xls";
    {
        Biff::XlsWorkbook book;
        book.New(1);
        XlsFormat::FormatManager formats(book);
        XlsFormat::CellFormat empty(formats);
        ASSERT_TRUE(empty.set_format_string(L""));
        const int xf = formats.get_xf_idx(empty);
        Biff::XlsWorksheet* sheet = book.GetWorksheet(0);
        sheet->Cell(0, 0)->Set(1.5);
        sheet->Cell(0, 1)->SetWString(L"text");
        sheet->Cell(0, 0)->SetXFormatIdx(xf);
        sheet->Cell(0, 1)->SetXFormatIdx(xf);
        ASSERT_TRUE(book.SaveAs(path.c_str())) << book.GetLastError();
    }
    Biff::XlsWorkbook loaded;
    ASSERT_TRUE(loaded.Load(path.c_str())) << loaded.GetLastError();
    XlsFormat::FormatManager formats(loaded);
    XlsFormat::CellFormat cell(formats);
    cell.formatIndex = XlsFormat::FormatManager::kFirstUserFormat;
    EXPECT_EQ(formats.get_format_string(cell), L"");

    if (std::system((std::string(kPython) + " -c 'import xlrd' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "python3-xlrd is not installed";
    std::ofstream(dir + "/formats.py") << "import sys, xlrd\n"
                                          "b = xlrd.open_workbook(sys.argv[1], formatting_info=True)\n"
                                          "for c in b.sheet_by_index(0).row(0):\n"
                                          "    k = b.xf_list[c.xf_index].format_key\n"
                                          "    print(repr(c.value), k, repr(b.format_map[k].format_str))\n";
    EXPECT_EQ(Output(std::string(kPython) + " '" + dir + "/formats.py' '" + path + "' 2>&1"),
              "1.5 164 ''\n'text' 164 ''\n");

    if (access(kOffice, X_OK) != 0)
        GTEST_SKIP() << "no office suite installed";
    std::system((std::string(kOffice) + " --headless --norestore -env:UserInstallation=file://" + dir +
                 "/profile --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' --outdir '" + dir + "' '" + path +
                 "' > /dev/null 2>&1")
                    .c_str());
    EXPECT_EQ(FileBytes(dir + "/empty.csv"), "1.5,text\n");
}

// A workbook whose one shared string (of `length` characters, 16-bit when
// `wide`) is named by `cells` text cells.
std::vector<char> ManyCellsOneString(unsigned int cells, unsigned int length, bool wide)
{
    biffTest::Bytes out, piece;
    auto u16 = [&](unsigned int v) {
        piece.push_back(v & 0xFF);
        piece.push_back((v >> 8) & 0xFF);
    };
    auto flush = [&](unsigned short code) {
        biffTest::appendPiece(out, code, piece);
        piece.clear();
    };
    auto bof = [&](unsigned int type) {
        u16(0x0600);
        u16(type);
        piece.resize(16);
        flush(0x0809);
    };
    bof(0x0005);
    for (unsigned int v : {0, 0, 0, 1}) // BOUNDSHEET of a one-letter name
        u16(v);
    piece.push_back('S');
    flush(0x0085);
    for (unsigned int v : {cells & 0xFFFF, cells >> 16, 1u, 0u, length})
        u16(v);
    piece.push_back(wide);
    // The string, continued in pieces of at most 8224 bytes, each further
    // piece opening with the option byte.
    const unsigned int unit = wide ? 2 : 1;
    for (unsigned int left = length, code = 0x00FC;; code = 0x003C, piece.push_back(wide)) {
        const unsigned int n = std::min<unsigned int>(left, (8224 - piece.size()) / unit);
        for (unsigned int i = 0; i < n * unit; ++i)
            piece.push_back(i % unit ? 0 : 'x');
        left -= n;
        flush(static_cast<unsigned short>(code));
        if (left == 0)
            break;
    }
    flush(0x000A);
    bof(0x0010);
    piece.resize(16);
    flush(0x0208);
    for (unsigned int i = 0; i < cells; ++i) {
        for (unsigned int v : {i % 65536, i / 65536, 0u, 0u, 0u})
            u16(v);
        flush(0x00FD);
    }
    flush(0x000A);
    return std::vector<char>(out.begin(), out.end());
}

TEST(ReloadRefusals, EncryptedAndAmplifyingWorkbooksAreRefused)
{
    TempDir folder;
    const std::string path = folder.path() + "/refused.xls";
    std::vector<char> stream = ManyCellsOneString(1, 5, false);
    const char filePass[] = {0x2F, 0x00, 0x06, 0x00, 0x01, 0x00, 0x01, 0x00, 0x02, 0x00};
    stream.insert(stream.begin() + 20, filePass, filePass + sizeof(filePass));
    ASSERT_TRUE(WriteWorkbookStream(path, stream));
    Biff::XlsWorkbook book;
    book.New(1);
    EXPECT_FALSE(book.Load(path.c_str()));
    EXPECT_NE(book.GetLastError().find("encrypted"), std::string::npos) << book.GetLastError();

    // About 1 MB of file, whose cells would hold 9 GB of copies of one text.
    ASSERT_TRUE(WriteWorkbookStream(path, ManyCellsOneString(70000, 32767, true)));
    EXPECT_FALSE(book.Load(path.c_str()));
    EXPECT_NE(book.GetLastError().find("memory"), std::string::npos) << book.GetLastError();
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 512L * 1024); // KiB
    // The workbook is as it was.
    EXPECT_EQ(book.GetTotalWorkSheets(), 1);
    EXPECT_STREQ(book.GetAnsiSheetName(0), "Sheet1");

    // The same text in a few cells loads.
    ASSERT_TRUE(WriteWorkbookStream(path, ManyCellsOneString(20, 32767, true)));
    ASSERT_TRUE(book.Load(path.c_str())) << book.GetLastError();
    EXPECT_EQ(book.GetWorksheet(0)->Cell(19, 0)->GetStringLength(), 32767u);
}

#if defined(__SANITIZE_ADDRESS__)
#define GRIDMOLT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GRIDMOLT_ASAN 1
#endif
#endif

TEST(ReloadMemory, RunningOutOfMemoryWhileLoadingIsAFailedLoad)
{
#ifdef GRIDMOLT_ASAN
    GTEST_SKIP() << "the address sanitizer reserves more address space than any limit allows";
#else
    TempDir folder;
    const std::string path = folder.path() + "/large.xls";
    // Within what its size warrants (about 3 MB of file for 120 MB of cells),
    // but more than the process may have.
    ASSERT_TRUE(WriteWorkbookStream(path, ManyCellsOneString(200000, 500, false)));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::ifstream status("/proc/self/statm");
        unsigned long pages = 0;
        status >> pages;
        const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (48ul << 20);
        const struct rlimit cap = {limit, limit};
        setrlimit(RLIMIT_AS, &cap);
        Biff::XlsWorkbook book;
        const bool loaded = book.Load(path.c_str());
        _exit(!loaded && book.GetLastError().find("memory") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "loading ended the process";
    EXPECT_EQ(WEXITSTATUS(status), 0);

    Biff::XlsWorkbook book;
    EXPECT_TRUE(book.Load(path.c_str())) << book.GetLastError();
#endif
}

} // namespace
