#ifndef CONVERTERPROCESS_H
#define CONVERTERPROCESS_H

#include <QString>
#include <QStringList>

// What the converter programs share as processes: how file names arrive,
// how a failure is told, and how a stop request is noticed.
namespace ConverterProcess
{
// Call at the start of main(), after the application object. File names are taken as the caller's bytes, valid
// UTF-8 or not, and reach the file system unchanged; a write past a file
// size limit fails with its reason instead of ending the process; no
// library's diagnostics reach the error output (ErrorOutput), which carries
// our one line; termination requests are recorded for stopSignal().
// `program` names the program in every report.
void prepare(const char *program);

// The command line (without the program), each argument the caller's bytes.
QStringList arguments(int argc, char **argv);

// Prints "program: message" as one line on the error output.
void report(const QString &message);

// The termination signal received so far (SIGTERM, SIGINT, SIGHUP), or 0.
int stopSignal();

// Ends the process by the signal received, as if it had not been caught.
[[noreturn]] void endByStopSignal();
}

#endif
