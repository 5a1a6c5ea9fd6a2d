#include "floatform.h"
#include "mywebview.h"
#include "secdialog.h"

#include <QWebFrame>
#include <QWheelEvent>
#include <QtTest>

// The rule editor's three widgets that nothing opens, tried directly.
class SecDialogTest : public QObject
{
    Q_OBJECT

private slots:
    // Each as its form makes it: titled, 400 x 300, with nothing in it.
    void emptyDialogAndFramelessForm()
    {
        const SecDialog dialog;
        QVERIFY(dialog.findChildren<QWidget *>().isEmpty());
        QCOMPARE(dialog.windowTitle() + QStringLiteral(" %1x%2").arg(dialog.width()).arg(dialog.height()), QStringLiteral("Dialog 400x300"));
        const floatform form;
        QVERIFY(form.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(form.windowTitle() + QStringLiteral(" %1x%2").arg(form.width()).arg(form.height()), QStringLiteral("Form 400x300"));
    }

    // A notch of the wheel, either way round, changes the view's own zoom
    // by a tenth; the page is neither zoomed nor scrolled.
    void wheelKeepsItsOwnZoomAndLeavesThePageAlone()
    {
        myWebview view;
        view.resize(300, 200);
        QSignalSpy loaded(&view, &QWebView::loadFinished);
        view.setHtml(QStringLiteral("<p>line</p>").repeated(200));
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 10000);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const auto turn = [&view](const QPoint &angle) {
            QWheelEvent event(QPointF(150, 100), view.mapToGlobal(QPoint(150, 100)), QPoint(), angle, Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(&view, &event);
            return view.zoom();
        };
        QCOMPARE(turn({0, 120}), 1.1f);
        QCOMPARE(turn({0, -120}), 0.99f);
        QCOMPARE(turn({120, 0}), 1.089f);
        QCOMPARE(view.QWebView::zoomFactor(), 1.0);
        QCOMPARE(view.page()->mainFrame()->scrollPosition(), QPoint(0, 0));
    }
};

QTEST_MAIN(SecDialogTest)
#include "secdialog_test.moc"
