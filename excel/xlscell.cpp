#include "xlscell.h"

#include <cassert>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <limits>

#include "biff/textconversion.h"
#include "compound/widetext.h"

namespace Biff {

int TruncToInt(double d)
{
    if (!(d > -2147483649.0 && d < 2147483648.0))
        return std::numeric_limits<int>::min();
    return static_cast<int>(d);
}

// ---------------------------------------------------------------- Formula

XlsCell::Formula::Formula() : options_(0)
{
    std::memset(rawResult_, 0, sizeof(rawResult_));
}

XlsCell::Formula::Formula(const CellBlock::Formula& record) : Formula()
{
    using Group = CellBlock::Formula;
    switch (record.companionType) {
    case Group::Array::Code:
        companion_.reset(new Group::Array(record.array));
        break;
    case Group::ShrFmla::Code:
        companion_.reset(new Group::ShrFmla(record.shrfmla));
        break;
    case Group::ShrFmla1::Code:
        companion_.reset(new Group::ShrFmla1(record.shrfmla1));
        break;
    case Group::Table::Code:
        companion_.reset(new Group::Table(record.table));
        break;
    default:
        break;
    }
    options_ = record.options;
    tokens_ = record.formula;
    for (int i = 0; i < 8; ++i)
        rawResult_[i] = static_cast<unsigned char>(record.result[i]);
    if (!record.string.empty()) {
        wstringResult_ = record.string.text;
        stringResult_ = narrow_string(wstringResult_);
    }
}

// ---------------------------------------------------------------- XlsCell

XlsCell::XlsCell()
    : type_(UNDEFINED), ival_(0), dval_(0.0), mergedRows_(1), mergedColumns_(1), xfIndex_(0)
{
}

XlsCell::XlsCell(const XlsCell& other) = default;
XlsCell& XlsCell::operator=(const XlsCell& other) = default;
XlsCell::~XlsCell() = default;

bool XlsCell::FormulaHasNumber(double& val) const
{
    if (type_ != FORMULA || !formula_)
        return false;
    const unsigned char* r = formula_->rawResult_;
    // A result whose top two bytes are 0xFF is a text, boolean, error or empty marker.
    if (r[6] == 0xFF && r[7] == 0xFF)
        return false;
    unsigned long long bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = (bits << 8) | r[i];
    std::memcpy(&val, &bits, sizeof(val));
    return true;
}

bool XlsCell::Get(double& val) const
{
    switch (type_) {
    case DOUBLE:
        val = dval_;
        return true;
    case INT:
        val = static_cast<double>(ival_);
        return true;
    case FORMULA:
        return FormulaHasNumber(val);
    default:
        return false;
    }
}

bool XlsCell::Get(int& val) const
{
    switch (type_) {
    case INT:
        val = ival_;
        return true;
    case DOUBLE:
        val = TruncToInt(dval_);
        return true;
    case FORMULA: {
        double d = 0;
        if (!FormulaHasNumber(d))
            return false;
        val = TruncToInt(d);
        return true;
    }
    default:
        return false;
    }
}

bool XlsCell::Get(char* str) const
{
    assert(type_ == STRING);
    if (type_ != STRING || str == nullptr)
        return false;
    std::memcpy(str, str_.data(), str_.size());
    return true;
}

bool XlsCell::Get(wchar_t* str) const
{
    assert(type_ == WSTRING);
    if (type_ != WSTRING || str == nullptr)
        return false;
    std::memcpy(str, wstr_.data(), wstr_.size() * sizeof(wchar_t));
    return true;
}

int XlsCell::GetInteger() const
{
    int v = 0;
    return Get(v) ? v : 0;
}

double XlsCell::GetDouble() const
{
    double v = 0;
    return Get(v) ? v : 0.0;
}

const char* XlsCell::GetString() const
{
    if (type_ == STRING)
        return str_.data();
    if (type_ == FORMULA && formula_)
        return formula_->stringResult_.c_str();
    return nullptr;
}

const wchar_t* XlsCell::GetWString() const
{
    if (type_ == WSTRING)
        return wstr_.data();
    if (type_ == FORMULA && formula_)
        return formula_->wstringResult_.c_str();
    return nullptr;
}

size_t XlsCell::GetStringLength() const
{
    if (type_ == STRING)
        return str_.size() - 1;
    assert(type_ == WSTRING);
    if (type_ == WSTRING)
        return wstr_.size() - 1;
    return 0;
}

void XlsCell::Set(int val)
{
    type_ = INT;
    ival_ = val;
}

void XlsCell::Set(double val)
{
    type_ = DOUBLE;
    dval_ = val;
}

void XlsCell::Set(const char* str)
{
    if (str == nullptr || *str == '\0') {
        EraseContents();
        return;
    }
    const size_t n = std::strlen(str);
    str_.assign(str, str + n + 1);
    wstr_.clear();
    wstr_.shrink_to_fit();
    type_ = STRING;
}

void XlsCell::Set(const wchar_t* str)
{
    if (str == nullptr || *str == L'\0') {
        EraseContents();
        return;
    }
    const size_t n = std::wcslen(str);
    wstr_.assign(str, str + n + 1);
    str_.clear();
    str_.shrink_to_fit();
    type_ = WSTRING;
}

void XlsCell::SetRKValue(int rk)
{
    const unsigned int bits = static_cast<unsigned int>(rk);
    const int v = rk >> 2; // arithmetic: the 30-bit value keeps its sign
    const bool divided = (bits & 1u) != 0;
    if ((bits & 2u) == 0) {
        const unsigned long long wide = static_cast<unsigned long long>(bits & 0xFFFFFFFCu) << 32;
        double d;
        std::memcpy(&d, &wide, sizeof(d));
        Set(divided ? d / 100.0 : d);
    } else if (!divided) {
        Set(v);
    } else if (v % 100 == 0) {
        Set(v / 100);
    } else {
        Set(v / 100.0);
    }
}

void XlsCell::SetFormula(const CellBlock::Formula& record)
{
    type_ = FORMULA;
    formula_ = new Formula(record);
}

bool XlsCell::get_formula(CellBlock* block) const
{
    if (type_ != FORMULA || !formula_ || block == nullptr)
        return false;
    CellBlock::Formula* record = static_cast<CellBlock::Formula*>(block->record);
    if (record == nullptr)
        return false;
    const Formula& f = *formula_;
    using Group = CellBlock::Formula;
    record->companionType = f.companion_ ? f.companion_->code : Group::NoCompanion;
    switch (record->companionType) {
    case Group::Array::Code:
        record->array = static_cast<const Group::Array&>(*f.companion_);
        break;
    case Group::ShrFmla::Code:
        record->shrfmla = static_cast<const Group::ShrFmla&>(*f.companion_);
        break;
    case Group::ShrFmla1::Code:
        record->shrfmla1 = static_cast<const Group::ShrFmla1&>(*f.companion_);
        break;
    case Group::Table::Code:
        record->table = static_cast<const Group::Table&>(*f.companion_);
        break;
    }
    record->options = f.options_;
    for (int i = 0; i < 8; ++i)
        record->result[i] = static_cast<char>(f.rawResult_[i]);
    record->formula = f.tokens_;
    record->string.Reset();
    if (!f.wstringResult_.empty()) {
        wchar_t* text = new wchar_t[f.wstringResult_.size() + 1];
        std::wmemcpy(text, f.wstringResult_.c_str(), f.wstringResult_.size() + 1);
        record->string.text = text;
    }
    return true;
}

void XlsCell::EraseContents()
{
    type_ = UNDEFINED;
    str_.clear();
    str_.shrink_to_fit();
    wstr_.clear();
    wstr_.shrink_to_fit();
}

// ---------------------------------------------------------------- output

namespace {

// UTF-16 units (or whole code points, where wchar_t is wider) to UTF-8; a
// lone surrogate becomes U+FFFD so the output is always valid UTF-8.
void PutUtf8(std::ostream& os, const wchar_t* s, size_t n)
{
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        unsigned long c = static_cast<unsigned long>(s[i]) & 0xFFFFFFFFul;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
            const unsigned long lo = static_cast<unsigned long>(s[i + 1]) & 0xFFFFFFFFul;
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
            c = 0xFFFD;
        CompoundDoc::AppendUtf8(out, c);
    }
    os << out;
}

} // namespace

std::ostream& operator<<(std::ostream& os, const XlsCell& cell)
{
    switch (cell.Type()) {
    case XlsCell::UNDEFINED:
        os << '\0';
        break;
    case XlsCell::INT:
        os << cell.GetInteger();
        break;
    case XlsCell::DOUBLE:
        os << cell.GetDouble();
        break;
    case XlsCell::STRING:
        os << cell.GetString();
        break;
    case XlsCell::WSTRING:
        PutUtf8(os, cell.GetWString(), cell.GetStringLength());
        break;
    default:
        break;
    }
    return os;
}

} // namespace Biff
