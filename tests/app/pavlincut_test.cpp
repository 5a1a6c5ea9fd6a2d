#include "converterruns.h"
#include "testfiles.h"

#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

// What a cut of the PDF tool holds of the pages it leaves out (outline
// items, named destinations, structure elements, article threads), and the
// page trees readers count alike, counted and cut; checked with qpdf's JSON
// and QDF output, pdfinfo and pdftotext.
namespace {
struct Result { int exitCode = -1; QByteArray out, err; };
Result run(const QString &executable, const QStringList &args)
{
    QProcess process;
    process.start(executable, args);
    const bool ended = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return ended ? Result{process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()} : Result{};
}
Result pavlin(const QStringList &args) { return run(GRIDMOLT_APP_DIR "/Pavlin.dll", args); }
// pdfinfo's page count, or -1 when it cannot read the file.
int pdfinfoPages(const QString &pdf)
{
    const Result info = run("pdfinfo", {pdf});
    const QRegularExpression line("^Pages:\\s+(\\d+)$", QRegularExpression::MultilineOption);
    return info.exitCode == 0 ? line.match(QString::fromUtf8(info.out)).captured(1).toInt() : -1;
}
// qpdf's page count (the root's claim), or -1 when it cannot read the file.
int qpdfPages(const QString &pdf)
{
    const Result count = run("qpdf", {"--show-npages", pdf});
    bool number = false;
    const int pages = count.out.trimmed().toInt(&number);
    return (count.exitCode == 0 || count.exitCode == 3) && number ? pages : -1;
}
QString pageText(const QString &pdf, int page)
{
    return QString::fromUtf8(run("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), pdf, "-"}).out).trimmed();
}
QByteArray qdfOf(const QString &pdf) { return run("qpdf", {"--qdf", "--object-streams=disable", pdf, "-"}).out; }
bool qpdfAccepts(const QString &pdf) { return run("qpdf", {"--check", pdf}).exitCode == 0; }

QByteArray textStream(const QByteArray &shown)
{
    const QByteArray content = "BT /F1 12 Tf 20 50 Td (" + shown + ") Tj ET";
    return "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
}
// Objects 1 to 9: the catalog (its keys `catalog`), the root node (its
// kids and count), three pages showing "One", "Two", "Three" with
// `pageKeys` among their keys (%1 stands for the page's number), their
// contents and a font.
QVector<QByteArray> threePages(const QByteArray &catalog, const QByteArray &pageKeys = "",
                               const QByteArray &kids = "3 0 R 4 0 R 5 0 R", const QByteArray &count = "3")
{
    QVector<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R " + catalog + " >>",
                                "<< /Type /Pages /Kids [" + kids + "] /Count " + count + " >>"};
    for (int p = 1; p <= 3; ++p)
        objects.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents " + QByteArray::number(p + 5)
                       + " 0 R /Resources << /Font << /F1 9 0 R >> >> " + QByteArray(pageKeys).replace("%1", QByteArray::number(p))
                       + " >>");
    objects << textStream("One") << textStream("Two") << textStream("Three")
            << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    return objects;
}

// A cut as qpdf's JSON shows it: its objects and page objects.
struct Cut
{
    QJsonObject json, objects;
    QStringList pages;

    explicit Cut(const QString &pdf)
        : json(QJsonDocument::fromJson(run("qpdf", {"--json=2", pdf}).out).object()),
          objects(json.value("qpdf").toArray().at(1).toObject())
    {
        for (const QJsonValue &page : json.value("pages").toArray())
            pages.append(page.toObject().value("object").toString());
    }
    QJsonValue value(const QJsonValue &v) const
    {
        const QString ref = v.toString();
        return ref.endsWith(" R") ? objects.value("obj:" + ref).toObject().value("value") : v;
    }
    QJsonObject catalog() const { return value(json.value("qpdf").toArray().at(1).toObject().value("trailer").toObject()
                                               .value("value").toObject().value("/Root")).toObject(); }
    // The destination `key` names in the name tree (a string) under `node`.
    QJsonValue inTree(const QJsonValue &node, const QString &key, int depth = 0) const
    {
        const QJsonObject dict = value(node).toObject();
        const QJsonArray names = value(dict.value("/Names")).toArray();
        for (int i = 0; i + 1 < names.size(); i += 2) {
            if (names[i].toString() == "u:" + key)
                return names[i + 1];
        }
        for (const QJsonValue &kid : value(dict.value("/Kids")).toArray()) {
            const QJsonValue found = depth < 10 ? inTree(kid, key, depth + 1) : QJsonValue();
            if (!found.isUndefined() && !found.isNull())
                return found;
        }
        return QJsonValue();
    }
    // Where a destination leads, "page N" of the cut, or "nowhere".
    QString leadsTo(QJsonValue destination) const
    {
        destination = value(destination);
        if (destination.isString()) {
            // A name ("/x") or a string ("u:x"): the dictionary, or the tree.
            const QString text = destination.toString();
            const QString key = text.startsWith('/') ? text.mid(1) : text.mid(2);
            const QJsonValue byName = value(catalog().value("/Dests")).toObject().value("/" + key);
            const QJsonValue names = value(catalog().value("/Names")).toObject().value("/Dests");
            destination = value(byName.isUndefined() ? inTree(names, key) : byName);
        }
        if (destination.isObject())
            destination = value(destination.toObject().value("/D"));
        const int page = pages.indexOf(destination.toArray().at(0).toString());
        return page >= 0 ? QStringLiteral("page %1").arg(page + 1) : QStringLiteral("nowhere");
    }
    // The outline: "title: where" for each item, its own items in brackets.
    QString outline(const QJsonValue &first, int depth = 0) const
    {
        QStringList items;
        for (QJsonObject item = value(first).toObject(); !item.isEmpty() && depth < 10;
             item = value(item.value("/Next")).toObject()) {
            const QJsonObject action = value(item.value("/A")).toObject();
            const QString where = item.contains("/Dest") ? leadsTo(item.value("/Dest"))
                                  : action.value("/S") == "/GoTo" ? leadsTo(action.value("/D")) : QStringLiteral("nowhere");
            const QString kids = item.contains("/First") ? " [" + outline(item.value("/First"), depth + 1) + "]" : QString();
            // Text strings are written "u:" and the text.
            items.append(value(item.value("/Title")).toString().mid(2) + ": " + where + kids);
        }
        return items.join(", ");
    }
};
}

class PavlinCutTest : public QObject
{
    Q_OBJECT

private slots:
    // Outline items reach their pages through named destinations in every
    // form a writer uses: a string or a name, as /Dest or in a go-to action,
    // found in the name tree (whose names sit in a node below its root) or
    // in the catalog's dictionary, also each looked up where the other form
    // is kept. A heading without a destination stays over the items it
    // holds; a web address leads to no page.
    void outlinesThroughNamedDestinations()
    {
        const auto item = [](const QByteArray &title, const QByteArray &where, const QByteArray &links) {
            return "<< /Title (" + title + ") " + where + " " + links + " >>";
        };
        QVector<QByteArray> objects = threePages("/Outlines 10 0 R /Names << /Dests 19 0 R >> /Dests 21 0 R");
        objects << "<< /Type /Outlines /First 11 0 R /Last 18 0 R /Count 8 >>"
                << item("TreeString", "/Dest (beta)", "/Parent 10 0 R /Next 12 0 R")
                << item("DictName", "/Dest /gamma", "/Parent 10 0 R /Prev 11 0 R /Next 13 0 R")
                << item("GoToTreeString", "/A << /S /GoTo /D (alpha) >>", "/Parent 10 0 R /Prev 12 0 R /Next 14 0 R")
                << item("NameInTree", "/Dest /delta", "/Parent 10 0 R /Prev 13 0 R /Next 15 0 R")
                << item("GoToStringInDict", "/A << /S /GoTo /D (epsilon) >>", "/Parent 10 0 R /Prev 14 0 R /Next 16 0 R")
                << item("Chapter", "", "/Parent 10 0 R /Prev 15 0 R /Next 18 0 R /First 17 0 R /Last 17 0 R /Count 1")
                << item("SectionThree", "/A << /S /GoTo /D /zeta >>", "/Parent 16 0 R")
                << item("Web", "/A << /S /URI /URI (http://example.org/) >>", "/Parent 10 0 R /Prev 16 0 R")
                << "<< /Kids [20 0 R] >>"
                << "<< /Limits [(alpha) (delta)] /Names [(alpha) [3 0 R /Fit] (beta) << /D [4 0 R /XYZ 0 100 0] >> "
                   "(delta) [5 0 R /Fit]] >>"
                << "<< /gamma [5 0 R /Fit] /epsilon << /D [3 0 R /Fit] >> /zeta 22 0 R >>"
                << "[5 0 R /FitH 80]";
        QTemporaryDir dir;
        const QString pdf = dir.filePath("named.pdf"), out = dir.filePath("cut.pdf");
        QVERIFY(writeFile(pdf, pdfOf(objects)));
        const QStringList names{"alpha", "beta", "gamma", "delta", "epsilon", "zeta"};
        // The range; the outline of the cut; the names it keeps.
        const struct { const char *range; QString outline; QStringList kept; } rows[] = {
            {"2", "TreeString: page 1", {"beta"}},
            {"1", "GoToTreeString: page 1, GoToStringInDict: page 1", {"alpha", "epsilon"}},
            {"3", "DictName: page 1, NameInTree: page 1, Chapter: nowhere [SectionThree: page 1]", {"gamma", "delta", "zeta"}},
            {"3,2", "TreeString: page 2, DictName: page 1, NameInTree: page 1, Chapter: nowhere [SectionThree: page 1]",
             {"beta", "gamma", "delta", "zeta"}},
            {"1-3", "TreeString: page 2, DictName: page 3, GoToTreeString: page 1, NameInTree: page 3, GoToStringInDict: page 1, "
                    "Chapter: nowhere [SectionThree: page 3], Web: nowhere", names},
        };
        for (const auto &row : rows) {
            const Result result = pavlin({pdf, "-merge", row.range, "-outfile", out});
            QVERIFY2(result.exitCode == 0 && qpdfAccepts(out), result.err.constData());
            const Cut cut(out);
            QCOMPARE(cut.outline(cut.value(cut.catalog().value("/Outlines")).toObject().value("/First")), row.outline);
            // qpdf's own reading of the outline: the same items, and a page
            // of the cut for each item whose destination it resolves.
            QStringList titles, expected;
            std::function<void(const QJsonArray &)> read = [&](const QJsonArray &items) {
                for (const QJsonValue &each : items) {
                    const QJsonObject item = each.toObject();
                    titles.append(item.value("title").toString());
                    QVERIFY(item.value("destpageposfrom1").isNull() || item.value("destpageposfrom1").toInt() <= cut.pages.size());
                    read(item.value("kids").toArray());
                }
            };
            read(cut.json.value("outlines").toArray());
            for (const QString &shown : row.outline.split(QRegularExpression("(, | \\[|\\])"), Qt::SkipEmptyParts))
                expected.append(shown.section(':', 0, 0));
            QCOMPARE(titles, expected);
            const QByteArray qdf = qdfOf(out);
            for (const QString &name : names) {
                const bool named = qdf.contains("(" + name.toLatin1() + ")") || qdf.contains("/" + name.toLatin1() + " ");
                QVERIFY2(named == row.kept.contains(name), qPrintable(QLatin1String(row.range) + ": " + name));
            }
        }
    }

    // A tagged file of three pages, each with a structure element holding
    // its alternate and actual text, and two article threads: one over
    // pages 1 and 3, one on page 3 alone. A cut that leaves a page out keeps
    // no structure text and no thread or bead of the pages it leaves out.
    void taggedFileWithThreadsHoldsOnlyItsPages()
    {
        QVector<QByteArray> objects = threePages("/StructTreeRoot 10 0 R /MarkInfo << /Marked true >> /Threads [14 0 R 15 0 R]",
                                                 "/StructParents %1 /B [%B]");
        objects[2].replace("%B", "16 0 R");
        objects[3].replace(" /B [%B]", "");
        objects[4].replace("%B", "17 0 R 18 0 R");
        const auto element = [](int page) {
            const QByteArray n = QByteArray::number(page);
            return "<< /Type /StructElem /S /P /P 10 0 R /Pg " + QByteArray::number(page + 2) + " 0 R /K 0 /Alt (AltOfPage" + n
                + ") /ActualText (ActualOfPage" + n + ") >>";
        };
        objects << "<< /Type /StructTreeRoot /K [11 0 R 12 0 R 13 0 R] >>" << element(1) << element(2) << element(3)
                << "<< /Type /Thread /F 16 0 R /I << /Title (ThreadOverOneAndThree) >> >>"
                << "<< /Type /Thread /F 18 0 R /I << /Title (ThreadOnThree) >> >>"
                << "<< /Type /Bead /T 14 0 R /P 3 0 R /N 17 0 R /V 17 0 R /R [0 0 100 50] >>"
                << "<< /Type /Bead /P 5 0 R /N 16 0 R /V 16 0 R /R [0 0 100 50] >>"
                << "<< /Type /Bead /T 15 0 R /P 5 0 R /N 18 0 R /V 18 0 R /R [0 50 100 100] >>";
        QTemporaryDir dir;
        const QString pdf = dir.filePath("tagged.pdf"), out = dir.filePath("cut.pdf");
        QVERIFY(writeFile(pdf, pdfOf(objects)) && pdfinfoPages(pdf) == 3);
        const QByteArray all = "AltOfPage1 AltOfPage2 AltOfPage3 ActualOfPage1 ActualOfPage2 ActualOfPage3 "
                               "ThreadOverOneAndThree ThreadOnThree";
        // The range; what of `all` the cut holds; whether it is tagged; the beads in each thread's ring.
        const struct { const char *range; QByteArray held; bool tagged; QVector<int> beads; } rows[] = {
            {"1", "ThreadOverOneAndThree", false, {1}},
            {"2", "", false, {}},
            {"3", "ThreadOverOneAndThree ThreadOnThree", false, {1, 1}},
            {"3,1", "ThreadOverOneAndThree ThreadOnThree", false, {2, 1}},
            {"1-3", all, true, {2, 1}},
            {"3-1", all, true, {2, 1}},
        };
        for (const auto &row : rows) {
            const Result result = pavlin({pdf, "-merge", row.range, "-outfile", out});
            QVERIFY2(result.exitCode == 0 && qpdfAccepts(out), result.err.constData());
            const QByteArray qdf = qdfOf(out);
            for (const QByteArray &text : all.split(' '))
                QVERIFY2(qdf.contains(text) == row.held.split(' ').contains(text), row.range + (": " + text));
            // Tagged only when no page is left out.
            QCOMPARE(qdf.contains("/StructTreeRoot"), row.tagged);
            QCOMPARE(qdf.contains("/MarkInfo"), row.tagged);
            // Each thread's beads form one ring through pages of the cut.
            const Cut cut(out);
            QVector<int> rings;
            for (const QJsonValue &thread : cut.value(cut.catalog().value("/Threads")).toArray()) {
                const QString first = cut.value(thread).toObject().value("/F").toString();
                int beads = 0;
                QString at = first;
                do {
                    const QJsonObject bead = cut.value(at).toObject();
                    QVERIFY(cut.pages.contains(bead.value("/P").toString())
                            && cut.value(bead.value("/N")).toObject().value("/V").toString() == at);
                    at = bead.value("/N").toString();
                } while (++beads < 10 && at != first);
                rings.append(beads);
            }
            QCOMPARE(rings, row.beads);
        }
    }

    // Page trees every reader counts alike, however they stray from the
    // format: counted as pdfinfo and qpdf count them, and cut into files
    // they count as the pages asked for. Trees no reader counts are refused.
    void readerAgreedTreesAreCountedAndCut()
    {
        const QVector<QByteArray> plain = threePages("");
        const auto replaced = [](QVector<QByteArray> objects, int at, const QByteArray &from, const QByteArray &to) {
            objects[at].replace(from, to);
            return objects;
        };
        // An inner node over pages 1 and 2, listing itself among them.
        QVector<QByteArray> innerLoop = threePages("", "", "10 0 R 5 0 R");
        innerLoop[2].replace("/Parent 2 0 R", "/Parent 10 0 R");
        innerLoop[3].replace("/Parent 2 0 R", "/Parent 10 0 R");
        innerLoop << "<< /Type /Pages /Parent 2 0 R /Kids [3 0 R 10 0 R 4 0 R] /Count 2 >>";
        // An inner node over pages 1 and 2, listed twice.
        QVector<QByteArray> twice = threePages("", "", "10 0 R 10 0 R 5 0 R", "5");
        twice[2].replace("/Parent 2 0 R", "/Parent 10 0 R");
        twice[3].replace("/Parent 2 0 R", "/Parent 10 0 R");
        twice << "<< /Type /Pages /Parent 2 0 R /Kids [3 0 R 4 0 R] /Count 2 >>";
        QVector<QByteArray> noTypes = plain;
        for (QByteArray &object : noTypes)
            object.replace("/Type /Catalog ", "").replace("/Type /Pages ", "").replace("/Type /Page ", "");
        const QStringList blank{""};
        // The shape; its objects; the count readers give (0: none); the text
        // of each page; whether the table of objects is lost (readers rebuild it).
        const struct { const char *what; QVector<QByteArray> objects; int pages; QStringList texts; bool lostTable = false; } rows[] = {
            {"a kid listing the root", threePages("", "", "3 0 R 2 0 R 4 0 R", "2"), 2, {"One", "Two"}},
            {"the root listed among three pages", threePages("", "", "3 0 R 4 0 R 2 0 R 5 0 R"), 3, {"One", "Two", "Three"}},
            {"an inner node listing itself", innerLoop, 3, {"One", "Two", "Three"}},
            {"a count above the pages", threePages("", "", "3 0 R 4 0 R 5 0 R", "5"), 5, {"One", "Two", "Three", "", ""}},
            {"a count above the pages and a loop", threePages("", "", "3 0 R 2 0 R 4 0 R", "4"), 4, {"One", "Two", "", ""}},
            {"kids that are no array", replaced(plain, 1, "[3 0 R 4 0 R 5 0 R]", "3 0 R"), 3, {"", "", ""}},
            {"an inner node listed twice", twice, 5, {"One", "Two", "One", "Two", "Three"}},
            {"no /Type anywhere", noTypes, 3, {"One", "Two", "Three"}},
            {"a root of /Type /Page", replaced(plain, 1, "/Type /Pages", "/Type /Page"), 3, {"One", "Two", "Three"}},
            {"a root without kids", replaced(plain, 1, "/Kids [3 0 R 4 0 R 5 0 R]", ""), 3, {"", "", ""}},
            {"a page of a broken dictionary, no table and a trailer without /Size",
             replaced(plain, 4, "/Resources", "/Resourc 2 0 R es"), 3, {"One", "Two", ""}},
            {"a page listing kids", replaced(plain, 3, "/Type /Page ", "/Type /Page /Kids [] "), 3, {"One", "Two", "Three"}},
            {"no /Pages", replaced(plain, 0, "/Pages 2 0 R", ""), 0, {}},
            {"a count of none", replaced(plain, 1, "/Count 3", "/Count 0"), 0, {}},
            {"a claim past the objects", replaced(plain, 1, "/Count 3", "/Count 1000000"), 0, {}},
            {"a kid listing the catalog", threePages("", "", "3 0 R 1 0 R 4 0 R", "2"), 2, {"One", ""}},
            {"a kid listing the catalog, lost table", threePages("", "", "3 0 R 1 0 R 4 0 R", "2"), 2, {"One", ""}, true},
            {"the catalog listed among three pages", threePages("", "", "3 0 R 1 0 R 4 0 R 5 0 R"), 3, {"One", "", "Two"}},
            // The table has 10 entries, object 0 among them.
            {"a claim of every entry of the table", replaced(plain, 1, "/Count 3", "/Count 10"), 10,
             QStringList{"One", "Two", "Three"} + blank + blank + blank + blank + blank + blank + blank},
            {"a claim past the entries of the table", replaced(plain, 1, "/Count 3", "/Count 11"), 0, {}},
            // A rebuilt table has room for 256.
            {"a claim past the objects of a lost table", replaced(plain, 1, "/Count 3", "/Count 12"), 12,
             QStringList{"One", "Two", "Three"} + blank + blank + blank + blank + blank + blank + blank + blank + blank,
             true},
            {"a claim past a rebuilt table", replaced(plain, 1, "/Count 3", "/Count 257"), 0, {}, true},
        };
        for (const auto &row : rows) {
            QTemporaryDir dir;
            const QString pdf = dir.filePath("tree.pdf"), info = dir.filePath("info.txt"), out = dir.filePath("cut.pdf");
            QByteArray bytes = pdfOf(row.objects);
            // The trailer and table of the page with a broken dictionary are damaged too.
            if (row.objects[4].contains("/Resourc "))
                bytes.replace("/Size", "/Siz null").replace("startxref\n", "startxref\n9");
            if (row.lostTable)
                bytes.replace("startxref\n", "startxref\n9");
            QVERIFY(writeFile(pdf, bytes));
            const int readers = pdfinfoPages(pdf);
            QVERIFY2(readers == (row.pages ? row.pages : -1) && (!row.pages || qpdfPages(pdf) == row.pages), row.what);
            const Result counted = pavlin({pdf, "-getinfo", "-outfile", info});
            if (!row.pages) {
                QVERIFY2(counted.exitCode == 1 && !QFile::exists(info), row.what);
                continue;
            }
            QVERIFY2(counted.exitCode == 0 && readAll(info) == "NumberOfPages: " + QByteArray::number(row.pages) + "\n",
                     (row.what + (": " + counted.err)).constData());
            const QString last = QString::number(row.pages);
            // The first page, the last, and all of them backwards.
            for (const QString &range : {QStringLiteral("1"), last, last + "-1"}) {
                const Result cut = pavlin({pdf, "-merge", range, "-outfile", out});
                const int asked = range.contains('-') ? row.pages : 1;
                QVERIFY2(cut.exitCode == 0 && qpdfAccepts(out) && pdfinfoPages(out) == asked && qpdfPages(out) == asked,
                         (row.what + (": " + cut.err)).constData());
                for (int p = 1; p <= asked; ++p) {
                    const int from = range == "1" ? 1 : row.pages + 1 - p;
                    QVERIFY2(pageText(out, p) == row.texts[from - 1], row.what);
                }
            }
        }
    }
};

QTEST_MAIN(PavlinCutTest)
#include "pavlincut_test.moc"
