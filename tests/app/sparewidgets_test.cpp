#include "clickablelabel.h"
#include "mouseinput.h"
#include "mylistwidet_candrag.h"
#include "scripteddialogs.h"

#include <QGridLayout>
#include <QLabel>
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

class SpareWidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    void labelSignalsInOrder()
    {
        clickablelabel label;
        label.resize(100, 30);
        SignalLog spy(&label);
        struct Step { QEvent::Type type; QPoint at; Qt::MouseButton button; };
        const QVector<Step> steps = {
            {QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton},     // a click
            {QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton},
            {QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton},     // released just right of it
            {QEvent::MouseButtonRelease, {100, 29}, Qt::LeftButton},
            {QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton},     // released just below it
            {QEvent::MouseButtonRelease, {99, 30}, Qt::LeftButton},
            {QEvent::MouseButtonDblClick, {99, 29}, Qt::LeftButton},  // its last pixel is inside
            {QEvent::MouseButtonRelease, {99, 29}, Qt::LeftButton},
            {QEvent::MouseButtonPress, {10, 10}, Qt::RightButton},    // no click
            {QEvent::MouseButtonRelease, {10, 10}, Qt::RightButton},
        };
        for (const Step &s : steps)
            sendMouse(&label, s.type, s.at, s.button);
        QEvent enter(QEvent::Enter), leave(QEvent::Leave);
        QCoreApplication::sendEvent(&label, &enter);
        QCoreApplication::sendEvent(&label, &leave);
        QCOMPARE(spy.log, QStringList({"pressed", "clicked", "released", "pressed", "released",
                                       "pressed", "released", "doubleClicked", "pressed", "clicked", "released",
                                       "pressed", "released", "mouseOver", "mouseOut"}));
    }

    void listLaysOutLabelsInOneColumn()
    {
        ScriptedDialogs dialogs;
        MylistWidet_candrag list(nullptr, &dialogs);
        QCOMPARE(dialogs.boxes.value(0).text, QString("1"));
        auto *grid = qobject_cast<QGridLayout *>(list.layout());
        QVERIFY(grid);
        QCOMPARE(grid->rowCount(), 50);
        QCOMPARE(grid->columnCount(), 1);
        // Narrower than a label: no division by zero, still one column, and
        // the first layout is replaced.
        list.setFixedSize(50, 100);
        QPointer<QLayout> first = list.layout();
        list.LayLabels({new QLabel("a", &list), new QLabel("b", &list), new QLabel("c", &list)});
        QVERIFY(first.isNull());
        QCOMPARE(dialogs.boxes.value(1).text, QString("0"));
        grid = qobject_cast<QGridLayout *>(list.layout());
        QVERIFY(grid);
        QCOMPARE(grid->count(), 3);
        QCOMPARE(grid->columnCount(), 1);
    }

    void edgeDragNeverStarts()
    {
        ScriptedDialogs dialogs;
        MylistWidet_candrag list(nullptr, &dialogs);
        list.setMaximumWidth(400);
        // The list takes its mouse events through its viewport.
        sendMouse(list.viewport(), QEvent::MouseButtonPress, QPointF(198, 10));
        QVERIFY(!list.isDragging());
        sendMouse(list.viewport(), QEvent::MouseButtonRelease, QPointF(198, 10));
        QCOMPARE(list.edgeRect(), QRectF(195, 0, 5, 500));
        QCOMPARE(list.width(), 200);
    }
};

QTEST_MAIN(SpareWidgetsTest)
#include "sparewidgets_test.moc"
