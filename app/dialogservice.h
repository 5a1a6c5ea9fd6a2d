#ifndef DIALOGSERVICE_H
#define DIALOGSERVICE_H

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

// Every modal dialog and message box of the windows goes through one of these,
// so tests can answer them without a person. The default forwards to the
// toolkit's static dialogs; a window holds a pointer that a test may replace
// (setDialogService on the window).
class DialogService
{
public:
    virtual ~DialogService();

    virtual QString getOpenFileName(QWidget *parent, const QString &caption,
                                    const QString &dir, const QString &filter);
    virtual QStringList getOpenFileNames(QWidget *parent, const QString &caption,
                                         const QString &dir, const QString &filter);
    // `selectedFilter`, when given, receives the filter the user chose.
    virtual QString getSaveFileName(QWidget *parent, const QString &caption,
                                    const QString &dir, const QString &filter,
                                    QString *selectedFilter = nullptr);
    virtual QString getExistingDirectory(QWidget *parent, const QString &caption,
                                         const QString &dir);

    virtual QMessageBox::StandardButton information(QWidget *parent, const QString &title,
        const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    virtual QMessageBox::StandardButton warning(QWidget *parent, const QString &title,
        const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    virtual QMessageBox::StandardButton critical(QWidget *parent, const QString &title,
        const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    virtual QMessageBox::StandardButton question(QWidget *parent, const QString &title,
        const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // Runs a dialog modally (QDialog::exec) and returns its result code.
    virtual int exec(QDialog *dialog);

    // The shared default: the toolkit's own dialogs.
    static DialogService *standard();
};

#endif
