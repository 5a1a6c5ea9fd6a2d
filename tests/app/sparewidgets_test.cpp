#include "clickablelabel.h"
#include "mylistwidet_candrag.h"
#include "scripteddialogs.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

// Records the order in which the label's signals arrive.
class SignalLog : public QObject
{
    Q_OBJECT
public:
    explicit SignalLog(clickablelabel *label)
    {
        connect(label, &clickablelabel::pressed, this, [this] { log << "pressed"; });
        connect(label, &clickablelabel::released, this, [this] { log << "released"; });
        connect(label, &clickablelabel::clicked, this, [this] { log << "clicked"; });
        connect(label, &clickablelabel::doubleClicked, this, [this] { log << "doubleClicked"; });
        connect(label, &clickablelabel::mouseOver, this, [this] { log << "mouseOver"; });
        connect(label, &clickablelabel::mouseOut, this, [this] { log << "mouseOut"; });
    }
    QStringList log;
};

static void sendMouse(QWidget *w, QEvent::Type type, QPoint at, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

class SpareWidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    void labelClickInsideAndOutside()
    {
        clickablelabel label;
        label.resize(100, 30);
        QCOMPARE(label.text(), QString("wwActiveLabel"));
        SignalLog spy(&label);
        sendMouse(&label, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
        sendMouse(&label, QEvent::MouseButtonRelease, QPoint(10, 10), Qt::LeftButton);
        QCOMPARE(spy.log, QStringList({"pressed", "clicked", "released"}));

        spy.log.clear();
        sendMouse(&label, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
        sendMouse(&label, QEvent::MouseButtonRelease, QPoint(150, 10), Qt::LeftButton);
        QCOMPARE(spy.log, QStringList({"pressed", "released"}));

        spy.log.clear();
        sendMouse(&label, QEvent::MouseButtonPress, QPoint(10, 10), Qt::RightButton);
        sendMouse(&label, QEvent::MouseButtonRelease, QPoint(10, 10), Qt::RightButton);
        QCOMPARE(spy.log, QStringList({"pressed", "released"}));

        // The edges belong to the label.
        QVERIFY(label.hitLabel(QPoint(100, 30)));
        QVERIFY(!label.hitLabel(QPoint(101, 30)));
        QVERIFY(!label.hitLabel(QPoint(-1, 0)));
    }

    void labelDoubleClickOrder()
    {
        clickablelabel label;
        label.resize(100, 30);
        SignalLog spy(&label);
        const QPoint at(5, 5);
        sendMouse(&label, QEvent::MouseButtonPress, at, Qt::LeftButton);
        sendMouse(&label, QEvent::MouseButtonRelease, at, Qt::LeftButton);
        sendMouse(&label, QEvent::MouseButtonDblClick, at, Qt::LeftButton);
        sendMouse(&label, QEvent::MouseButtonRelease, at, Qt::LeftButton);
        QCOMPARE(spy.log, QStringList({"pressed", "clicked", "released", "doubleClicked",
                                       "pressed", "clicked", "released"}));
    }

    void labelTakesFocusOnPress()
    {
        QWidget window;
        auto *other = new QLineEdit(&window);
        auto *label = new clickablelabel(&window);
        label->move(0, 40);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        other->setFocus();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(other));
        sendMouse(label, QEvent::MouseButtonPress, QPoint(5, 5), Qt::RightButton);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(label));
    }

    void labelEnterAndLeave()
    {
        clickablelabel label;
        SignalLog spy(&label);
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(&label, &enter);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&label, &leave);
        QCOMPARE(spy.log, QStringList({"mouseOver", "mouseOut"}));
    }

    void listLaysOutFiftyLabelsInOneColumn()
    {
        ScriptedDialogs dialogs;
        MylistWidet_candrag list(nullptr, &dialogs);
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().kind, QString("warning"));
        QCOMPARE(dialogs.boxes.first().title, QString("layout"));
        QCOMPARE(dialogs.boxes.first().text, QString("1"));
        QCOMPARE(list.size(), QSize(200, 500));
        auto *grid = qobject_cast<QGridLayout *>(list.layout());
        QVERIFY(grid);
        QCOMPARE(grid->count(), 50);
        QCOMPARE(grid->rowCount(), 50);
        QCOMPARE(grid->columnCount(), 1);
    }

    void narrowListDoesNotDivideByZero()
    {
        ScriptedDialogs dialogs;
        MylistWidet_candrag list(nullptr, &dialogs);
        list.setFixedSize(50, 100);
        QVector<QLabel *> labels{new QLabel("a", &list), new QLabel("b", &list),
                                 new QLabel("c", &list)};
        // Laying out again replaces the first layout, which the widget would
        // otherwise refuse.
        QPointer<QLayout> first = list.layout();
        list.LayLabels(labels);
        QVERIFY(first.isNull());
        QCOMPARE(dialogs.boxes.size(), 2);
        QCOMPARE(dialogs.boxes.last().text, QString("0"));
        auto *grid = qobject_cast<QGridLayout *>(list.layout());
        QVERIFY(grid);
        QCOMPARE(grid->count(), 3);
        QCOMPARE(grid->columnCount(), 1);
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(labels.at(2)->parentWidget(), static_cast<QWidget *>(&list));
    }

    void edgeDragNeverStartsAndTracksTheEdge()
    {
        ScriptedDialogs dialogs;
        MylistWidet_candrag list(nullptr, &dialogs);
        list.setMaximumWidth(400);
        // The list takes its mouse events through its viewport, as a scroll area does.
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(198, 10), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list.viewport(), &press);
        QVERIFY(!list.isDragging());
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(198, 10), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list.viewport(), &release);
        QCOMPARE(list.edgeRect(), QRectF(195, 0, 5, 500));
        QCOMPARE(list.width(), 200);
    }
};

QTEST_MAIN(SpareWidgetsTest)
#include "sparewidgets_test.moc"
