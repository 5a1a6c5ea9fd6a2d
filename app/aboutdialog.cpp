#include "aboutdialog.h"
#include "ui_aboutdialog.h"

#include <QDesktopServices>
#include <QImage>
#include <QPalette>
#include <QUrl>

const char *const AboutDialog::homePage = "https://gridmolt.example.com";
const char *const AboutDialog::mailAddress = "support@gridmolt.example.com";

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent), ui(new Ui::AboutDialog)
{
    ui->setupUi(this);
    setFixedSize(size());

    const QString home = QString::fromLatin1(homePage);
    ui->label_homepage->setText("<a href=" + home + "> " + home + "</a>");
    connect(ui->label_homepage, &QLabel::linkActivated, this, &AboutDialog::openMainpage);

    QPalette palette;
    const QImage background = QImage(":/iconoption/icons/graybackgr.png")
                                  .scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    palette.setBrush(QPalette::Window, QBrush(background));
    setPalette(palette);

    const QString mail = QString::fromLatin1(mailAddress);
    ui->label_mail->setText("<a href=mailto:" + mail + "> " + mail + "</a>");
    connect(ui->label_mail, &QLabel::linkActivated, this, &AboutDialog::openMailpage);
}

AboutDialog::~AboutDialog()
{
    delete ui;
}

void AboutDialog::openMainpage(QString url)
{
    QDesktopServices::openUrl(QUrl(url));
}

void AboutDialog::openMailpage(QString)
{
    QDesktopServices::openUrl(QUrl("mailto:" + QString::fromLatin1(mailAddress)));
}
