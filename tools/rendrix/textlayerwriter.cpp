#include "textlayerwriter.h"

QString escapeRunText(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        default: out += c.unicode() < 0x20 ? QLatin1Char(' ') : c; break;
        }
    }
    return out;
}

QByteArray formatTextLayer(const QVector<PlacedWord> &words)
{
    QByteArray out;
    out.reserve(words.size() * 80);
    for (const PlacedWord &w : words) {
        out += "<span style=\"left:";
        out += QByteArray::number(w.left);
        out += ";top:";
        out += QByteArray::number(w.top);
        out += ";width:";
        out += QByteArray::number(w.width);
        out += ";height:";
        out += QByteArray::number(w.height);
        out += ";\">";
        out += escapeRunText(w.text).toUtf8();
        out += "</span>\n";
    }
    return out;
}
