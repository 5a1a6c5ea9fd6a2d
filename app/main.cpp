#include "dialogservice.h"
#include "excelmain.h"
#include "messagehandler.h"
#include "pagefiles.h"
#include "signalshutdown.h"
#include "tm.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTextCodec>

int main(int argc, char *argv[])
{
    // The rule exchange record exists before anything else and lives until
    // the process ends.
    tmf = new TM;
    tmf->mode = 0;
    tmf->nTexttoText = 0;
    tmf->nTexttoImage = 0;
    tmf->inputKind = 0;
    tmf->spare = 0;
    tmf->nTextsome = 0;
    tmf->nImagesome = 0;

    qInstallMessageHandler(customMessageHandler);

    QApplication app(argc, argv);
    // A terminate, interrupt or hang-up signal ends the event loop; the
    // windows below then end their programs and the temporary folder goes.
    SignalShutdown shutdown;

    // Our own plug-ins sit in "Plugins" beside the application folder. They
    // are added to the search path, not put in place of it: the system's
    // image plug-ins are needed for the .ico and .jpg icons.
    QDir plugins(QCoreApplication::applicationDirPath());
    if (plugins.cdUp() && plugins.cd(QStringLiteral("Plugins")))
        QCoreApplication::addLibraryPath(plugins.absolutePath());

    // Settings and the external programs are found relative to this folder.
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    setLogFilePath(defaultLogFilePath());
    QFile::remove(logFilePath());

    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));

    // Every page file of this run goes into a folder of its own; without it
    // no document could be opened safely.
    if (PageFiles::tempFolder().isEmpty()) {
        DialogService::standard()->critical(
            nullptr, QStringLiteral("Korvane Gridmolt"),
            QStringLiteral("No private temporary folder could be made in %1.")
                .arg(QDir::toNativeSeparators(QDir::tempPath())));
        return 1;
    }

    ExcelMain window;
    window.show();
    return app.exec();
}
