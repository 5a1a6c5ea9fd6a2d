#include "converterruns.h"
#include "testfiles.h"

#include <QtTest>

// Page trees and references as damaged or unusual files hold them, through
// the programs that read them, judged by readers we did not write (pdfinfo,
// pdftotext, pdffonts, qpdf): a page deep in its tree keeps what it
// inherits, the engine's bound on form work holds where the tree cannot be
// followed, and what a page refers to below the tree is written as its
// references name it.
namespace
{
struct Result { int exitCode = -1; QByteArray out, err; };
Result run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    const bool ended = process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit;
    return ended ? Result{process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()} : Result{};
}
Result tool(const char *name, const QStringList &args) { return run(GRIDMOLT_APP_DIR "/" + QLatin1String(name), args); }
QByteArray stream(const QByteArray &content)
{
    return "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
}
QString pdfinfo(const QString &pdf, const QString &key)
{
    const QRegularExpression line("^" + QRegularExpression::escape(key) + "\\s+(.*)$", QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(run("pdfinfo", {pdf}).out)).captured(1).trimmed();
}
QString text(const QString &pdf) { return QString::fromUtf8(run("pdftotext", {pdf, "-"}).out).simplified(); }

// One page showing "Deep" under a chain of `nodes` page tree nodes; the
// root alone holds the box, the rotation and the font.
QByteArray chain(int nodes, const QByteArray &pageType)
{
    const int page = nodes + 2;
    QVector<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>"};
    for (int i = 0; i < nodes; ++i) {
        const QByteArray kid = QByteArray::number(i + 1 < nodes ? i + 3 : page);
        objects.append("<< /Type /Pages /Kids [" + kid + " 0 R] /Count 1"
                       + (i ? " /Parent " + QByteArray::number(i + 1) + " 0 R" : " /MediaBox [0 0 123 456] /Rotate 90 /Resources << /Font << /F1 "
                                                                                     + QByteArray::number(page + 2) + " 0 R >> >>")
                       + " >>");
    }
    objects.append("<< " + pageType + "/Parent " + QByteArray::number(page - 1) + " 0 R /Contents " + QByteArray::number(page + 1) + " 0 R >>");
    objects.append(stream("BT /F1 12 Tf 10 20 Td (Deep) Tj ET"));
    objects.append("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    return pdfOf(objects);
}

// One page showing "Hello" whose form draws the next one four times, twelve
// forms deep (16 million drawings) or one deep; the root lists the page's
// node once or twice (a node reached twice lists its page twice, as readers
// count it), or the trailer names no catalog, so no page tree can be followed.
QByteArray formsPdf(int depth, const QByteArray &kids, const QByteArray &count, bool withRoot = true)
{
    QVector<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [" + kids + "] /Count " + count + " >>",
                                "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R] /Count 1 >>",
                                "<< /Type /Page /Parent 3 0 R /MediaBox [0 0 300 200] /Contents 5 0 R "
                                "/Resources << /Font << /F1 6 0 R >> /XObject << /X 7 0 R >> >> >>",
                                stream("BT /F1 12 Tf 20 50 Td (Hello) Tj ET /X Do"), "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    for (int level = 1; level <= depth; ++level) {
        const QByteArray body = level < depth ? "/X Do /X Do /X Do /X Do" : "0 0 1 1 re f";
        const QByteArray resources = level < depth ? " /Resources << /XObject << /X " + QByteArray::number(objects.size() + 2) + " 0 R >> >>" : "";
        objects.append("<< /Type /XObject /Subtype /Form /BBox [0 0 300 200]" + resources + " /Length " + QByteArray::number(body.size())
                       + " >>\nstream\n" + body + "\nendstream");
    }
    QByteArray pdf = pdfOf(objects);
    // Without a catalog in the trailer, and with a table that points nowhere, only a repair finds the objects.
    return withRoot ? pdf : pdf.replace(" /Root 1 0 R", "").replace("startxref\n", "startxref\n9");
}

// The same with the page written into its node's kids rather than as an
// object of its own.
QByteArray pageAmongKids(QByteArray pdf)
{
    const int at = pdf.indexOf("\n4 0 obj\n") + 9, end = pdf.indexOf("\nendobj", at);
    const QByteArray page = pdf.mid(at, end - at);
    return pdf.replace(at, end - at, "null").replace("/Kids [4 0 R]", "/Kids [" + page + "]");
}

// One page "Hello World" in Courier, whose font object is numbered with
// generation `fontGeneration` in the file's table and its own header while
// the page's resources refer to it with generation 0; the resources also
// name a graphics state that is nowhere.
QByteArray referencesPdf(int fontGeneration)
{
    QByteArray pdf = pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R "
                            "/Resources << /Font << /F1 5 0 R >> /ExtGState << /GS1 99 0 R >> >> >>",
                            stream("BT /F1 24 Tf 20 80 Td (Hello World) Tj ET"), "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>"});
    const QByteArray generation = QByteArray::number(fontGeneration);
    pdf.replace("\n5 0 obj", "\n5 " + generation + " obj");
    // The sixth line of the table, after the one of object 0.
    const int table = pdf.indexOf("0000000000 65535 f \n") + 20;
    pdf.replace(table + 4 * 20 + 11, 5, generation.rightJustified(5, '0'));
    return pdf;
}
}

class DamagedTreesTest : public QObject
{
    Q_OBJECT

private slots:
    // A page as deep as readers go keeps the box, rotation and font its root
    // gives it: in the engine's output (with a page without /Type, through
    // the repair, which gives the page a tree of one node) and in a cut.
    void deepPagesInheritFromTheirRoot()
    {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()) && writeFile("none.txt", ""));
        for (const int nodes : {1, 2, 50, 99, 100}) {
            for (const QByteArray &type : {QByteArray("/Type /Page "), QByteArray()}) {
                const QString row = QStringLiteral("%1 nodes%2").arg(nodes).arg(type.isEmpty() ? ", no /Type" : "");
                QVERIFY2(writeFile("in.pdf", chain(nodes, type)) && pdfinfo("in.pdf", "Page size:") == "123 x 456 pts", qPrintable(row));
                QFile::remove("out.pdf");
                QFile::remove("cut.pdf");
                const Result written = tool("Ostrel.dll", {"in.pdf", "-tesome", "out.pdf", "none.txt"});
                const Result cut = tool("Pavlin.dll", {"in.pdf", "-merge", "1", "-outfile", "cut.pdf"});
                QVERIFY2(written.exitCode == 0 && cut.exitCode == 0, qPrintable(row + ": " + written.err + cut.err));
                for (const QString out : {"out.pdf", "cut.pdf"}) {
                    QVERIFY2(pdfinfo(out, "Pages:") == "1" && pdfinfo(out, "Page size:") == "123 x 456 pts" && pdfinfo(out, "Page rot:") == "90"
                                 && text(out) == "Deep", qPrintable(row + ", " + out));
                }
            }
        }
    }

    // Drawing 16 million forms is refused before any library draws them,
    // also where the page tree reaches a node twice and where the trailer
    // names no catalog: every object a reader may draw as a page is then
    // checked. A file whose forms draw little is not refused for them.
    void formWorkIsBoundedWhereTheTreeCannotBeFollowed()
    {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()) && writeFile("rules.txt", "1-0-0-300-200:Hello:Bye\r\n"));
        const QByteArray refused = "drawing its forms takes more work than a page may (at least 349525 form drawings)";
        const struct { const char *what; QByteArray pdf; QByteArray message; } rows[] = {
            {"a tree readers follow", formsPdf(12, "3 0 R", "1"), "\"in.pdf\": page 1: " + refused},
            {"a node reached twice", formsPdf(12, "3 0 R 3 0 R", "2"), "\"in.pdf\": page 1: " + refused},
            {"no catalog", formsPdf(12, "3 0 R", "1", false), "\"in.pdf\": a page (its page tree cannot be followed): " + refused},
            {"no catalog, its page written among its kids", pageAmongKids(formsPdf(12, "3 0 R", "1", false)),
             "\"in.pdf\": a page (its page tree cannot be followed): " + refused},
            {"a node reached twice, one form", formsPdf(1, "3 0 R 3 0 R", "2"), ""},
            {"no catalog, one form", formsPdf(1, "3 0 R", "1", false), ""},
        };
        for (const auto &row : rows) {
            QVERIFY2(writeFile("in.pdf", row.pdf), row.what);
            const Result result = tool("Ostrel.dll", {"in.pdf", "-tesome", "out.pdf", "rules.txt"});
            if (row.message.isEmpty()) {
                QVERIFY2(result.exitCode >= 0 && !result.err.contains("drawing its forms"), qPrintable(row.what + QLatin1String(": ") + result.err));
            } else {
                QVERIFY2(result.exitCode == 1 && result.err == "Ostrel.dll: cannot replace in " + row.message + "\n" && !QFile::exists("out.pdf"),
                         qPrintable(row.what + QLatin1String(": ") + result.err));
            }
            QFile::remove("out.pdf");
        }
    }

    // The engine walks everything the pages refer to, below the page tree
    // too: a font its page names with another generation than the font
    // object bears is written under the generation named, so every reader
    // finds it; a reference to nothing the input holds as well is no fault
    // of the written file. With the rule applied and with no rule.
    void whatPagesReferToIsWrittenAsNamed()
    {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()) && writeFile("none.txt", "") && writeFile("rules.txt", "1-0-0-300-200:Hello:Bye\r\n"));
        for (const int generation : {0, 1}) {
            QVERIFY(writeFile("in.pdf", referencesPdf(generation)) && pdfinfo("in.pdf", "Pages:") == "1");
            // The rule file, and the text each reader finds afterwards.
            for (const auto &[rules, shown] : {std::pair<QString, QString>{"none.txt", "Hello World"}, {"rules.txt", "Bye World"}}) {
                const QString row = QStringLiteral("generation %1, %2").arg(generation).arg(rules);
                QFile::remove("out.pdf");
                const Result result = tool("Ostrel.dll", {"in.pdf", "-tesome", "out.pdf", rules});
                QVERIFY2(result.exitCode == 0 && result.err.isEmpty(), qPrintable(row + ": " + result.err));
                const QByteArray fonts = run("pdffonts", {"out.pdf"}).out;
                const Result check = run("qpdf", {"--check", "out.pdf"});
                QVERIFY2(fonts.contains("\nCourier ") && text("out.pdf") == shown && check.exitCode == 0 && check.err.isEmpty(),
                         qPrintable(row + ": " + fonts + text("out.pdf") + check.err));
            }
        }
    }
};

QTEST_GUILESS_MAIN(DamagedTreesTest)
#include "damagedtrees_test.moc"
