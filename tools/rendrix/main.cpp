// rendrix: turns every page of a PDF into a page image (72 dpi, one pixel per
// point) and a text layer of positioned words, for the table extractor.
//
//   rendrix -htmlformat <file.pdf> <folder>/text.xml
//
// writes <folder>/text_pg_0001.png, text_pg_0001.htm, ... for every page, all
// of them or, on failure, none; a page file name held by the input or by
// anything but a regular file refuses the run. RENDRIX_MEMORY_MB bounds its
// memory (MemoryBudget); RENDRIX_THREADS sets the number of workers (at most 16).

#include "conversionrun.h"
#include "converterprocess.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace
{
const char kProgram[] = "rendrix";
enum ExitCode { Done = 0, Failed = 1, Usage = 2 };
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ConverterProcess::prepare(kProgram);
    const QStringList args = ConverterProcess::arguments(argc, argv);
    if (args.size() != 3 || args.at(0) != QLatin1String("-htmlformat")) {
        ConverterProcess::report(QStringLiteral("usage: rendrix -htmlformat <file.pdf> <output folder>/text.xml"));
        return Usage;
    }
    ConversionRequest request;
    request.pdfPath = args.at(1);
    request.folder = QFileInfo(args.at(2)).absolutePath();
    request.base = QStringLiteral("text");
    const QString error = ConversionRun::convert(request);
    if (!error.isEmpty()) {
        ConverterProcess::report(error);
        return Failed;
    }
    return Done;
}
