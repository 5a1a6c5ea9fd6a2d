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

    static void turnWheel(QWidget *w, int delta)
    {
        const QPointF at(w->width() / 2, w->height() / 2);
        QWheelEvent event(at, w->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(w, &event);
    }

private slots:
    void emptyDialogAndFramelessForm()
    {
        SecDialog dialog;
        QCOMPARE(dialog.objectName(), QStringLiteral("SecDialog"));
        QCOMPARE(dialog.size(), QSize(400, 300));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
        QVERIFY(dialog.findChildren<QWidget *>().isEmpty());

        floatform form;
        QCOMPARE(form.objectName(), QStringLiteral("floatform"));
        QCOMPARE(form.size(), QSize(400, 300));
        QCOMPARE(form.windowTitle(), QStringLiteral("Form"));
        QCOMPARE(form.windowFlags() & ~Qt::WindowType_Mask,
                 Qt::WindowFlags(Qt::CustomizeWindowHint | Qt::FramelessWindowHint));
        QVERIFY(form.isWindow());
    }

    void wheelKeepsItsOwnZoomAndLeavesThePageAlone()
    {
        myWebview view;
        view.resize(300, 200);
        QSignalSpy loaded(&view, &QWebView::loadFinished);
        QString tall;
        for (int i = 0; i < 200; ++i)
            tall += QStringLiteral("<p>line %1</p>").arg(i);
        view.setHtml(tall);
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 10000);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        QCOMPARE(view.zoom(), 1.0f);
        turnWheel(&view, 120);
        QCOMPARE(view.zoom(), float(1.0 * 1.1));
        turnWheel(&view, -120);
        QCOMPARE(view.zoom(), float(double(float(1.1)) * 0.9));
        QVERIFY(view.zoom() != 1.0f);
        turnWheel(&view, -120);
        turnWheel(&view, -120);
        QCOMPARE(view.QWebView::zoomFactor(), 1.0);
        QCOMPARE(view.page()->mainFrame()->scrollPosition(), QPoint(0, 0));
    }
};

QTEST_MAIN(SecDialogTest)
#include "secdialog_test.moc"
