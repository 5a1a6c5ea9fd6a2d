#include "dialogservice.h"

#include <QDialog>
#include <QFileDialog>

DialogService::~DialogService() = default;

QString DialogService::getOpenFileName(QWidget *parent, const QString &caption,
                                       const QString &dir, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QStringList DialogService::getOpenFileNames(QWidget *parent, const QString &caption,
                                            const QString &dir, const QString &filter)
{
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString DialogService::getSaveFileName(QWidget *parent, const QString &caption,
                                       const QString &dir, const QString &filter,
                                       QString *selectedFilter)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, selectedFilter);
}

QString DialogService::getExistingDirectory(QWidget *parent, const QString &caption,
                                            const QString &dir)
{
    // The folder as the user chose it, links not resolved to their targets.
    return QFileDialog::getExistingDirectory(parent, caption, dir,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

QMessageBox::StandardButton DialogService::information(QWidget *parent, const QString &title,
    const QString &text, QMessageBox::StandardButtons buttons,
    QMessageBox::StandardButton defaultButton)
{
    return QMessageBox::information(parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton DialogService::warning(QWidget *parent, const QString &title,
    const QString &text, QMessageBox::StandardButtons buttons,
    QMessageBox::StandardButton defaultButton)
{
    return QMessageBox::warning(parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton DialogService::critical(QWidget *parent, const QString &title,
    const QString &text, QMessageBox::StandardButtons buttons,
    QMessageBox::StandardButton defaultButton)
{
    return QMessageBox::critical(parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton DialogService::question(QWidget *parent, const QString &title,
    const QString &text, QMessageBox::StandardButtons buttons,
    QMessageBox::StandardButton defaultButton)
{
    return QMessageBox::question(parent, title, text, buttons, defaultButton);
}

int DialogService::exec(QDialog *dialog)
{
    return dialog->exec();
}

DialogService *DialogService::standard()
{
    static DialogService service;
    return &service;
}
