// Dorcet.dll: the page renderer of the replacement side. Page images and text
// layers exactly as rendrix makes them (one engine), under other names:
//
//   Dorcet.dll <file.pdf> -ht <folder>/<base>.png [-f <first> -l <last>]
//
// writes <folder>/<base>_pg_0001.png and .htm, ... for every page, or for
// pages <first> to <last> only (the document's numbers, from 1), numbered
// from 0001 whatever the first page is; all of them or, on failure, none.
// RENDRIX_MEMORY_MB and RENDRIX_THREADS work as for rendrix.

#include "conversionrun.h"
#include "converterprocess.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace
{
const char kProgram[] = "Dorcet.dll";
enum ExitCode { Done = 0, Failed = 1, Usage = 2 };

// A page number as given on the command line: decimal digits only.
bool parsePage(const QString &text, int *page)
{
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    *page = text.toInt(&ok);
    return ok;
}

bool parse(const QStringList &args, ConversionRequest *request)
{
    if ((args.size() != 3 && args.size() != 7) || args.at(1) != QLatin1String("-ht"))
        return false;
    if (args.size() == 7
        && (args.at(3) != QLatin1String("-f") || !parsePage(args.at(4), &request->firstPage)
            || args.at(5) != QLatin1String("-l") || !parsePage(args.at(6), &request->lastPage)))
        return false;
    const QFileInfo output(args.at(2));
    QString base = output.fileName();
    if (base.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        base.chop(4);
    if (base.isEmpty())
        return false;
    request->pdfPath = args.at(0);
    request->folder = output.absolutePath();
    request->base = base;
    return true;
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ConverterProcess::prepare(kProgram);
    ConversionRequest request;
    const QStringList args = ConverterProcess::arguments(argc, argv);
    if (!parse(args, &request)) {
        ConverterProcess::report(QStringLiteral("usage: Dorcet.dll <file.pdf> -ht <folder>/<base>.png "
                                                          "[-f <first page> -l <last page>]"));
        return Usage;
    }
    // Pages are numbered from 1; a 0 given would read as no range, the whole document.
    if (args.size() == 7 && (request.firstPage < 1 || request.lastPage < 1)) {
        ConverterProcess::report(QStringLiteral("cannot convert \"%1\": pages %2 to %3 are not a range (%4 0: pages are numbered from 1)")
                                     .arg(request.pdfPath)
                                     .arg(request.firstPage)
                                     .arg(request.lastPage)
                                     .arg(request.firstPage < 1 ? QStringLiteral("-f") : QStringLiteral("-l")));
        return Failed;
    }
    const QString error = ConversionRun::convert(request);
    if (!error.isEmpty()) {
        ConverterProcess::report(error);
        return Failed;
    }
    return Done;
}
