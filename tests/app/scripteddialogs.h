#ifndef SCRIPTEDDIALOGS_H
#define SCRIPTEDDIALOGS_H

#include "dialogservice.h"

#include <QDialog>
#include <QQueue>
#include <QStringList>
#include <functional>

// Answers the windows' dialogs from queues and records every message box, so a
// test drives each road without a person. An empty queue answers "cancel".
class ScriptedDialogs : public DialogService
{
public:
    struct Box { QString kind, title, text; };

    QQueue<QString> fileAnswers;                  // open, save and folder dialogs
    QQueue<QStringList> filesAnswers;             // multi-file open dialogs
    QQueue<QMessageBox::StandardButton> buttons;  // message box answers
    QList<Box> boxes;                             // every message box shown
    QStringList fileCaptions;                     // captions of file dialogs
    QStringList fileDirs;                         // starting folders of file dialogs
    QStringList fileFilters;                      // filters of open and save dialogs
    QString chosenFilter;                         // the filter a save dialog reports chosen
    // Runs instead of a modal exec; returns the dialog's result. Default: the
    // dialog is rejected at once.
    std::function<int(QDialog *)> onExec;
    int execCount = 0;

    QString getOpenFileName(QWidget *, const QString &caption, const QString &dir,
                            const QString &filter) override
    {
        fileFilters << filter;
        return nextFile(caption, dir);
    }
    QString getSaveFileName(QWidget *, const QString &caption, const QString &dir,
                            const QString &filter, QString *selectedFilter) override
    {
        fileFilters << filter;
        if (selectedFilter)
            *selectedFilter = chosenFilter;
        return nextFile(caption, dir);
    }
    QString getExistingDirectory(QWidget *, const QString &caption,
                                 const QString &dir) override { return nextFile(caption, dir); }
    QStringList getOpenFileNames(QWidget *, const QString &caption, const QString &dir,
                                 const QString &filter) override
    {
        fileFilters << filter;
        fileCaptions << caption;
        fileDirs << dir;
        return filesAnswers.isEmpty() ? QStringList() : filesAnswers.dequeue();
    }

    QMessageBox::StandardButton information(QWidget *, const QString &t, const QString &x,
        QMessageBox::StandardButtons, QMessageBox::StandardButton) override
    { return box("information", t, x); }
    QMessageBox::StandardButton warning(QWidget *, const QString &t, const QString &x,
        QMessageBox::StandardButtons, QMessageBox::StandardButton) override
    { return box("warning", t, x); }
    QMessageBox::StandardButton critical(QWidget *, const QString &t, const QString &x,
        QMessageBox::StandardButtons, QMessageBox::StandardButton) override
    { return box("critical", t, x); }
    QMessageBox::StandardButton question(QWidget *, const QString &t, const QString &x,
        QMessageBox::StandardButtons, QMessageBox::StandardButton) override
    { return box("question", t, x); }

    int exec(QDialog *dialog) override
    {
        ++execCount;
        return onExec ? onExec(dialog) : int(QDialog::Rejected);
    }

private:
    QString nextFile(const QString &caption, const QString &dir)
    {
        fileCaptions << caption;
        fileDirs << dir;
        return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
    }
    QMessageBox::StandardButton box(const char *kind, const QString &t, const QString &x)
    {
        boxes.append({QString::fromLatin1(kind), t, x});
        return buttons.isEmpty() ? QMessageBox::Cancel : buttons.dequeue();
    }
};

#endif
