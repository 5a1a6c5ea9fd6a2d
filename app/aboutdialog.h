#ifndef ABOUTDIALOG_H
#define ABOUTDIALOG_H

#include <QDialog>
#include <QString>

namespace Ui {
class AboutDialog;
}

// Fixed-size dialog naming the product, with links to the home page and the
// contact address.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

    // Unquoted in the link markup: must not end in "/", which would close the tag.
    static const char *const homePage;
    static const char *const mailAddress;

public slots:
    void openMainpage(QString url);
    void openMailpage(QString mail);

private:
    Ui::AboutDialog *ui;
};

#endif
