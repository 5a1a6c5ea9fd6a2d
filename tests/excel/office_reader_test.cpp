// A saved workbook opened by an office suite shows the same cells. Skipped
// where no office suite is installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "formatmanager.h"
#include "xlsworkbook.h"

namespace {

const char* const kOffice = "/usr/bin/soffice";

// UTF-8 of UTF-16 units, as the office suite writes its CSV.
std::string Utf8(const std::u16string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size())
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        const int tail = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
        out += char(tail ? ((0xFF00 >> (tail + 1)) & 0xFF) | (cp >> (6 * tail)) : cp);
        for (int k = tail - 1; k >= 0; --k)
            out += char(0x80 | ((cp >> (6 * k)) & 0x3F));
    }
    return out;
}

// Rows of cells from comma-separated text with double-quoted fields.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == '\n') {
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
        } else if (c != '\r') {
            field += c;
        }
    }
    if (!field.empty() || !rows.back().empty())
        rows.back().push_back(field);
    else
        rows.pop_back();
    return rows;
}

void SetText(Biff::XlsWorksheet* sheet, int row, int col, const std::u16string& text)
{
    std::wstring wide(text.begin(), text.end()); // one UTF-16 unit per element
    sheet->Cell(row, col)->SetWString(wide.c_str());
}

} // namespace

TEST(OfficeReader, ShowsTheCellsWeSaved)
{
    if (access(kOffice, X_OK) != 0)
        GTEST_SKIP() << "no office suite installed";

    const char* tmp = std::getenv("TMPDIR");
    std::string base = std::string(tmp ? tmp : "/tmp") + "/office-XXXXXX";
    std::vector<char> folderName(base.begin(), base.end());
    folderName.push_back('\0');
    ASSERT_NE(mkdtemp(folderName.data()), nullptr) << base;
    const std::string folder(folderName.data());

    const std::vector<std::vector<std::u16string>> table = {
        {u"Name", u"Age", u"Note"},
        {u"Bob", u"42", u"said \"yes\",\"no\""},
        {u"Zo\u00EB", u"\u0391\u03B2\u03B3", u"\u041F\u0440\u0438\u0432\u0435\u0442"},
        {u"", u"\U0001F600 smile", u"\u4E2D\u6587"},
        {std::u16string(4095, u'x'), u"tab\there", u"last"},
    };
    Biff::XlsWorkbook book;
    book.New(1);
    Biff::XlsWorksheet* sheet = book.GetWorksheet(0);
    ASSERT_NE(sheet, nullptr);
    XlsFormat::FormatManager formats(book);
    formats.get_font_idx(XlsFormat::CellFont(L"Arial", 200, 700));
    for (size_t r = 0; r < table.size(); ++r)
        for (size_t c = 0; c < table[r].size(); ++c)
            SetText(sheet, int(r), int(c), table[r][c]);
    const std::string xls = folder + "/table.xls";
    ASSERT_TRUE(book.SaveAs(xls.c_str())) << book.GetLastError();

    // Comma separated, double quotes, UTF-8.
    const std::string command = std::string(kOffice) +
        " --headless --norestore -env:UserInstallation=file://" + folder + "/profile"
        " --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' --outdir '" + folder + "' '" +
        xls + "' > '" + folder + "/office.log' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(folder + "/table.csv", std::ios::binary);
    ASSERT_TRUE(in.good()) << "the office suite wrote no CSV";
    std::stringstream text;
    text << in.rdbuf();
    const auto rows = ParseCsv(text.str());

    ASSERT_EQ(rows.size(), table.size());
    for (size_t r = 0; r < table.size(); ++r) {
        ASSERT_EQ(rows[r].size(), table[r].size()) << "row " << r;
        for (size_t c = 0; c < table[r].size(); ++c)
            EXPECT_EQ(rows[r][c], Utf8(table[r][c])) << "row " << r << " column " << c;
    }
    std::system(("rm -rf '" + folder + "'").c_str());
}
