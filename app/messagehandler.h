#ifndef MESSAGEHANDLER_H
#define MESSAGEHANDLER_H

#include <QString>
#include <QtGlobal>

// Writes every debug, warning and critical message as one line of the log
// file; a fatal message ends the process at once. Safe to call from several
// threads: lines never interleave.
void customMessageHandler(QtMsgType type, const QMessageLogContext &context,
                          const QString &message);

// The line the handler writes for a message, without its "\n"; empty for a
// type it does not know.
QString logLineFor(QtMsgType type, const QString &message);

// Where the handler appends. Until a path is set, messages are dropped:
// the start-up deletes the file right after it knows where it lies anyway.
void setLogFilePath(const QString &path);
QString logFilePath();

// The log file in the per-user application data folder, which is created
// when missing. Needs the application object (the folder carries its name).
QString defaultLogFilePath();

#endif
