#include "aboutdialog.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>
#include <QtTest>

// Collects the URLs that would have been handed to the desktop.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class AboutDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        for (const char *scheme : {"http", "https", "mailto"})
            QDesktopServices::setUrlHandler(scheme, &catcher, "open");
        catcher.urls.clear();
    }
    void cleanup()
    {
        for (const char *scheme : {"http", "https", "mailto"})
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void fixedSizeTitleAndBackground()
    {
        AboutDialog dialog;
        QCOMPARE(dialog.minimumSize(), QSize(320, 137));
        QCOMPARE(dialog.maximumSize(), QSize(320, 137));
        QCOMPARE(dialog.findChild<QLabel *>("label_4")->text(), QString("Korvane Gridmolt 2.0"));
        // The picture is stretched to the dialog in every colour group.
        for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
            QCOMPARE(dialog.palette().brush(g, QPalette::Window).textureImage().size(), QSize(320, 137));
    }

    void clickOnEachLinkOpensItOnce_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("expected");
        QTest::newRow("home page") << "label_homepage" << QString::fromLatin1(AboutDialog::homePage);
        QTest::newRow("mail") << "label_mail"
                              << "mailto:" + QString::fromLatin1(AboutDialog::mailAddress);
    }
    void clickOnEachLinkOpensItOnce()
    {
        QFETCH(QString, label);
        QFETCH(QString, expected);
        AboutDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *link = dialog.findChild<QLabel *>(label);
        QVERIFY(link);
        const QPoint at(30, link->height() / 2);
        QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls.first(), QUrl(expected));
    }

    // The mail slot always writes to our address; the home slot opens what
    // it is given.
    void slotsOpenTheirAddresses()
    {
        AboutDialog dialog;
        dialog.openMailpage("someone-else@elsewhere.invalid");
        dialog.openMainpage("https://other.example.com/x");
        QCOMPARE(catcher.urls, (QList<QUrl>{QUrl("mailto:" + QString::fromLatin1(AboutDialog::mailAddress)),
                                            QUrl("https://other.example.com/x")}));
    }

private:
    UrlCatcher catcher;
};

QTEST_MAIN(AboutDialogTest)
#include "aboutdialog_test.moc"
