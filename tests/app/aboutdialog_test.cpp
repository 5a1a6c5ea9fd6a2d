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

    void fixedSizeAndTexts()
    {
        AboutDialog dialog;
        QCOMPARE(dialog.size(), QSize(320, 137));
        QCOMPARE(dialog.minimumSize(), QSize(320, 137));
        QCOMPARE(dialog.maximumSize(), QSize(320, 137));
        QCOMPARE(dialog.windowTitle(), QString("About"));
        auto *title = dialog.findChild<QLabel *>("label_4");
        QVERIFY(title);
        QCOMPARE(title->text(), QString("Korvane Gridmolt 2.0"));
        QCOMPARE(title->font().pointSize(), 18);
        QCOMPARE(title->geometry(), QRect(10, 10, 301, 41));

        const QString home = QString::fromLatin1(AboutDialog::homePage);
        const QString mail = QString::fromLatin1(AboutDialog::mailAddress);
        QCOMPARE(dialog.findChild<QLabel *>("label_homepage")->text(),
                 "<a href=" + home + "> " + home + "</a>");
        QCOMPARE(dialog.findChild<QLabel *>("label_mail")->text(),
                 "<a href=mailto:" + mail + "> " + mail + "</a>");
        QVERIFY(!dialog.findChild<QLabel *>("label_3")->text().isEmpty());
        QCOMPARE(dialog.findChild<QLabel *>("label_3")->geometry(), QRect(10, 76, 271, 16));
        QCOMPARE(dialog.findChild<QLabel *>("label_homepage")->geometry(), QRect(10, 91, 271, 20));
        QCOMPARE(dialog.findChild<QLabel *>("label_mail")->geometry(), QRect(10, 108, 271, 20));
        // The icon resource is there and readable.
        QVERIFY(!dialog.windowIcon().availableSizes().isEmpty());
        // Placeholders that are plainly ours.
        QVERIFY(home.contains("example.com"));
        QVERIFY(mail.endsWith("example.com"));
    }

    void backgroundIsTheStretchedPicture()
    {
        AboutDialog dialog;
        const QBrush brush = dialog.palette().brush(QPalette::Active, QPalette::Window);
        QVERIFY(!brush.textureImage().isNull());
        QCOMPARE(brush.textureImage().size(), QSize(320, 137));
        QCOMPARE(dialog.palette().brush(QPalette::Inactive, QPalette::Window).textureImage().size(),
                 QSize(320, 137));
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

    void mailSlotIgnoresItsArgument()
    {
        AboutDialog dialog;
        dialog.openMailpage("someone-else@elsewhere.invalid");
        dialog.openMailpage(QString());
        QCOMPARE(catcher.urls.size(), 2);
        const QUrl expected("mailto:" + QString::fromLatin1(AboutDialog::mailAddress));
        QCOMPARE(catcher.urls.at(0), expected);
        QCOMPARE(catcher.urls.at(1), expected);
    }

    void homeSlotOpensTheGivenAddress()
    {
        AboutDialog dialog;
        dialog.openMainpage("https://other.example.com/x");
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl("https://other.example.com/x")});
    }

private:
    UrlCatcher catcher;
};

QTEST_MAIN(AboutDialogTest)
#include "aboutdialog_test.moc"
