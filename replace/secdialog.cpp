#include "secdialog.h"

#include "ui_secdialog.h"

SecDialog::SecDialog(QWidget *parent)
    : QDialog(parent), ui(new Ui_SecDialog)
{
    ui->setupUi(this);
}

SecDialog::~SecDialog()
{
    delete ui;
}
