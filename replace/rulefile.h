#ifndef RULEFILE_H
#define RULEFILE_H

#include <QByteArray>
#include <QString>

// The rule files read by the replacement engine ("rules.txt",
// "imagerule.txt", "textall.txt"): one rule per line, UTF-8 without a
// byte-order mark, every line ended by "\r\n", nothing quoted or escaped.
// Both the replacement window and the rule editor write through here, so the
// two writers cannot drift apart. QtCore only.
namespace RuleFile
{
// The five fields of a position key "P<page> (<left> <top> <width> <height>)",
// as text. A key of another shape gives empty or odd fields, never an error.
struct PositionKey
{
    QString page, left, top, width, height;
};

// Cuts a key with one running index: the first character is skipped, the
// page runs to the first blank, the blank and "(" are skipped, left, top and
// width each run to the next blank, the height to the next ")". Every scan
// also stops at the end of the key.
PositionKey cutPositionKey(const QString &key);

// "page-left-top-width-height:find:replace\r\n".
QString textRuleLine(const PositionKey &key, const QString &find, const QString &replace);

// "page:left:top:(image):width:height\r\n"; the key's own width and height are
// not written.
QString imageRuleLine(const PositionKey &key, const QString &image, const QString &width,
                      const QString &height);

// A picture size as a rule takes it: the typed text when it reads as a
// decimal integer above 0, else the run's own size (an empty, zero, negative
// or unreadable field means "the size of the text it replaces").
QString pictureSize(const QString &typed, const QString &runSize);

struct WriteResult
{
    bool ok = false;
    QString fileName;   // the path that was to be written
    QString reason;     // why it failed; empty on success
    // For the status area or a warning box: names the file and the reason.
    QString message() const;
};

// Replaces `path` with `lines` (already ended by "\r\n") in UTF-8. The text
// goes to a temporary file beside the target that takes its place only once
// completely written, so a failure leaves no half-written rule file; the
// caller must then not run the engine.
WriteResult write(const QString &path, const QString &lines);

// Names of the rule files in a folder.
QString textRulesPath(const QString &folder);    // "rules.txt"
QString imageRulesPath(const QString &folder);   // "imagerule.txt"
QString contentRulesPath(const QString &folder); // "textall.txt"
}

#endif
