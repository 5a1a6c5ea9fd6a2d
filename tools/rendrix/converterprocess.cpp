#include "converterprocess.h"

#include "erroroutput.h"

#include <poppler-qt5.h>

#include <QTextCodec>

#include <csignal>
#include <cstdlib>

namespace ConverterProcess
{
namespace
{
// Set by the signal handler, read by the run's supervising thread.
volatile std::sig_atomic_t receivedSignal = 0;

void recordSignal(int sig)
{
    receivedSignal = sig;
}

void ignoreLibraryMessage(const QString &, const QVariant &)
{
}
}

void prepare(const char *program)
{
    ErrorOutput::takeOver(program);
    // Latin-1 maps every byte to one character and back: with it as the
    // local encoding, every Qt and PDF library call turns our path strings
    // back into exactly the bytes we were given.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    std::signal(SIGXFSZ, SIG_IGN);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        std::signal(sig, recordSignal);
    Poppler::setDebugErrorFunction(ignoreLibraryMessage, QVariant());
}

QStringList arguments(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLatin1(argv[i]));
    return args;
}

void report(const QString &message)
{
    // Paths come back as the bytes they were; the rest of a message is ASCII.
    ErrorOutput::say(message.toLatin1().toStdString());
}

int stopSignal()
{
    return receivedSignal;
}

void endByStopSignal()
{
    const int sig = receivedSignal ? int(receivedSignal) : SIGTERM;
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    std::_Exit(128 + sig);
}
}
