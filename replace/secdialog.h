#ifndef SECDIALOG_H
#define SECDIALOG_H

#include <QDialog>

class Ui_SecDialog;

// An empty dialog that belongs to the rule editor's sources; nothing opens it.
class SecDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SecDialog(QWidget *parent = nullptr);
    ~SecDialog() override;

private:
    Ui_SecDialog *ui;
};

#endif
