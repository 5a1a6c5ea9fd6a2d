#include "aboutdialog.h"
#include "urlcatcher.h"

#include <QDesktopServices>
#include <QLabel>
#include <QtTest>

class AboutDialogTest : public QObject
{
    Q_OBJECT

private slots:
    // A click on each link opens it once; the mail link always writes to our
    // address, whatever the label hands over.
    void clickOnEachLinkOpensItOnce()
    {
        UrlCatcher catcher;
        for (const char *scheme : {"https", "mailto"})
            QDesktopServices::setUrlHandler(scheme, &catcher, "open");
        AboutDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        for (const char *label : {"label_homepage", "label_mail"}) {
            auto *link = dialog.findChild<QLabel *>(label);
            QVERIFY(link);
            QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(30, link->height() / 2));
        }
        dialog.openMailpage("someone-else@elsewhere.invalid");
        const QUrl mail("mailto:" + QString::fromLatin1(AboutDialog::mailAddress));
        QCOMPARE(catcher.urls, (QList<QUrl>{QUrl(QString::fromLatin1(AboutDialog::homePage)), mail, mail}));
        for (const char *scheme : {"https", "mailto"})
            QDesktopServices::unsetUrlHandler(scheme);
    }
};

QTEST_MAIN(AboutDialogTest)
#include "aboutdialog_test.moc"
