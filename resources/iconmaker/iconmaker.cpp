// Draws the application's icons and background pictures into resources/icons.
// Run by hand when an icon changes:
//   g++ -std=c++17 -fPIC iconmaker.cpp $(pkg-config --cflags --libs Qt5Gui) -o /tmp/iconmaker
//   QT_QPA_PLATFORM=offscreen /tmp/iconmaker ../icons
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <functional>

namespace {

const int S = 64; // drawn at 64 px; buttons show them at 32

using Draw = std::function<void(QPainter &)>;

QPen pen(const QColor &c, qreal w = 5)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

bool save(const QString &dir, const QString &name, const Draw &draw, int w = S, int h = S,
          QColor background = Qt::transparent)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    if (name.endsWith(".jpg"))
        image = image.convertToFormat(QImage::Format_RGB32);
    if (name.endsWith(".ico"))
        image = image.scaled(48, 48, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.save(dir + "/" + name);
}

void folder(QPainter &p, QColor c)
{
    p.setPen(pen(c.darker(160), 3));
    p.setBrush(c.darker(120));
    p.drawRoundedRect(QRectF(6, 14, 52, 40), 4, 4);
    p.drawRect(QRectF(6, 10, 22, 8));
    p.setBrush(c);
    QPolygonF front;
    front << QPointF(14, 26) << QPointF(62, 26) << QPointF(54, 54) << QPointF(6, 54);
    p.drawPolygon(front);
}

void magnifier(QPainter &p, bool plus)
{
    p.setPen(pen(QColor(40, 40, 40), 6));
    p.setBrush(QColor(200, 230, 255));
    p.drawEllipse(QRectF(6, 6, 36, 36));
    p.drawLine(QPointF(38, 38), QPointF(58, 58));
    p.setPen(pen(QColor(20, 90, 180), 5));
    p.drawLine(QPointF(15, 24), QPointF(33, 24));
    if (plus)
        p.drawLine(QPointF(24, 15), QPointF(24, 33));
}

void arrow(QPainter &p, bool up, QColor c)
{
    p.setPen(pen(c.darker(150), 3));
    p.setBrush(c);
    QPolygonF a;
    a << QPointF(32, 6) << QPointF(58, 32) << QPointF(42, 32) << QPointF(42, 58)
      << QPointF(22, 58) << QPointF(22, 32) << QPointF(6, 32);
    if (!up) {
        for (QPointF &pt : a)
            pt.setY(S - pt.y());
    }
    p.drawPolygon(a);
}

void table(QPainter &p)
{
    p.setPen(pen(QColor(30, 60, 120), 3));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6, 8, 46, 42));
    p.fillRect(QRectF(7.5, 9.5, 43, 9), QColor(110, 150, 220));
    for (int y : {19, 29, 39})
        p.drawLine(QPointF(6, y), QPointF(52, y));
    for (int x : {21, 36})
        p.drawLine(QPointF(x, 8), QPointF(x, 50));
}

void check(QPainter &p)
{
    p.setPen(pen(QColor(20, 150, 40), 8));
    p.drawLine(QPointF(30, 46), QPointF(40, 56));
    p.drawLine(QPointF(40, 56), QPointF(60, 30));
}

void cross(QPainter &p)
{
    p.setPen(pen(QColor(200, 30, 30), 7));
    p.drawLine(QPointF(36, 36), QPointF(58, 58));
    p.drawLine(QPointF(58, 36), QPointF(36, 58));
}

void dashedRect(QPainter &p)
{
    QPen pn = pen(QColor(0, 90, 200), 4);
    p.setPen(pn);
    p.setBrush(QColor(0, 90, 200, 40));
    p.drawRect(QRectF(8, 12, 48, 40));
}

void verticalLines(QPainter &p)
{
    p.setPen(pen(QColor(220, 60, 0), 5));
    for (int x : {16, 32, 48})
        p.drawLine(QPointF(x, 8), QPointF(x, 56));
}

void circleSign(QPainter &p, QColor c, bool plus, bool minus)
{
    p.setPen(pen(c.darker(150), 3));
    p.setBrush(c);
    p.drawEllipse(QRectF(6, 6, 52, 52));
    p.setPen(pen(Qt::white, 8));
    if (plus || minus)
        p.drawLine(QPointF(18, 32), QPointF(46, 32));
    if (plus)
        p.drawLine(QPointF(32, 18), QPointF(32, 46));
}

void letter(QPainter &p, QColor c, const QString &text)
{
    p.setPen(pen(c.darker(150), 3));
    p.setBrush(c);
    p.drawEllipse(QRectF(6, 6, 52, 52));
    QFont f;
    f.setPixelSize(38);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, S, S), Qt::AlignCenter, text);
}

void trash(QPainter &p)
{
    p.setPen(pen(QColor(70, 70, 70), 3));
    p.setBrush(QColor(170, 170, 170));
    QPolygonF can;
    can << QPointF(14, 18) << QPointF(50, 18) << QPointF(46, 58) << QPointF(18, 58);
    p.drawPolygon(can);
    p.drawRect(QRectF(10, 10, 44, 8));
    p.drawRect(QRectF(26, 5, 12, 5));
    for (int x : {24, 32, 40})
        p.drawLine(QPointF(x, 24), QPointF(x, 52));
}

void gear(QPainter &p)
{
    p.translate(32, 32);
    p.setPen(pen(QColor(60, 60, 80), 2));
    p.setBrush(QColor(120, 130, 160));
    for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-5, -29, 10, 14));
        p.rotate(45);
    }
    p.drawEllipse(QRectF(-20, -20, 40, 40));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(-8, -8, 16, 16));
}

void quill(QPainter &p)
{
    QPainterPath feather(QPointF(10, 58));
    feather.cubicTo(QPointF(20, 30), QPointF(40, 10), QPointF(58, 6));
    feather.cubicTo(QPointF(50, 26), QPointF(34, 44), QPointF(10, 58));
    p.setPen(pen(QColor(90, 60, 20), 2));
    p.setBrush(QColor(240, 220, 160));
    p.drawPath(feather);
    p.setPen(pen(QColor(90, 60, 20), 3));
    p.drawLine(QPointF(6, 62), QPointF(40, 24));
}

void replaceArrows(QPainter &p)
{
    QFont f;
    f.setPixelSize(24);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(30, 30, 30));
    p.drawText(QRectF(2, 2, 30, 28), Qt::AlignCenter, "A");
    p.setPen(QColor(0, 120, 60));
    p.drawText(QRectF(32, 34, 30, 28), Qt::AlignCenter, "B");
    p.setPen(pen(QColor(20, 90, 180), 4));
    p.setBrush(Qt::NoBrush);
    QPainterPath curve(QPointF(30, 14));
    curve.quadTo(QPointF(52, 14), QPointF(50, 32));
    p.drawPath(curve);
    p.drawLine(QPointF(50, 32), QPointF(44, 26));
    p.drawLine(QPointF(50, 32), QPointF(56, 26));
}

void page(QPainter &p)
{
    p.setPen(pen(QColor(80, 80, 80), 3));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(12, 6, 40, 52));
    p.setPen(pen(QColor(150, 150, 150), 3));
    for (int y : {18, 28, 38, 48})
        p.drawLine(QPointF(18, y), QPointF(46, y));
}

void background(QPainter &p, int w, int h, QColor top, QColor bottom)
{
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(QRect(0, 0, w, h), g);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    struct Icon { const char *name; Draw draw; };
    const Icon icons[] = {
        {"table_accept.ico", [](QPainter &p) { table(p); check(p); }},
        {"table_accept.png", [](QPainter &p) { table(p); check(p); }},
        {"folder_blue_open.png", [](QPainter &p) { folder(p, QColor(90, 150, 230)); }},
        {"folder_green_open.ico", [](QPainter &p) { folder(p, QColor(90, 190, 90)); }},
        {"zoom_in.ico", [](QPainter &p) { magnifier(p, true); }},   // on the enlarging button
        {"zoom_out.ico", [](QPainter &p) { magnifier(p, false); }}, // on the shrinking button
        {"up.png", [](QPainter &p) { arrow(p, true, QColor(80, 170, 240)); }},
        {"downa.png", [](QPainter &p) { arrow(p, false, QColor(80, 170, 240)); }},
        {"go_up.png", [](QPainter &p) { arrow(p, true, QColor(90, 200, 90)); }},
        {"go_down.png", [](QPainter &p) { arrow(p, false, QColor(90, 200, 90)); }},
        {"rec321.png", [](QPainter &p) { dashedRect(p); }},
        {"line32.png", [](QPainter &p) { verticalLines(p); }},
        {"delrec.png", [](QPainter &p) { dashedRect(p); cross(p); }},
        {"delline.png", [](QPainter &p) { verticalLines(p); cross(p); }},
        {"about.png", [](QPainter &p) { letter(p, QColor(40, 120, 210), "i"); }},
        {"help_and_support.png", [](QPainter &p) { letter(p, QColor(230, 150, 20), "?"); }},
        {"add.png", [](QPainter &p) { circleSign(p, QColor(40, 170, 60), true, false); }},
        {"add23.png", [](QPainter &p) { page(p); circleSign(p, QColor(40, 170, 60, 0), false, false);
                                         p.setPen(pen(QColor(40, 170, 60), 7));
                                         p.drawLine(QPointF(44, 36), QPointF(44, 60));
                                         p.drawLine(QPointF(32, 48), QPointF(56, 48)); }},
        {"subtract.png", [](QPainter &p) { circleSign(p, QColor(210, 60, 50), false, true); }},
        {"del.png", [](QPainter &p) { page(p); cross(p); }},
        {"clear.png", [](QPainter &p) { page(p); p.setPen(pen(QColor(230, 120, 0), 6));
                                         p.drawLine(QPointF(30, 60), QPointF(60, 30)); }},
        {"trashcan_empty.png", [](QPainter &p) { trash(p); }},
        {"configuration.png", [](QPainter &p) { gear(p); }},
        {"quillmere32.png", [](QPainter &p) { quill(p); }},
        {"replace321.png", [](QPainter &p) { replaceArrows(p); }},
    };
    bool ok = true;
    for (const Icon &icon : icons)
        ok = save(dir, icon.name, icon.draw) && ok;
    ok = save(dir, "graybackgr.png", [](QPainter &p) {
        background(p, 320, 137, QColor(236, 238, 242), QColor(196, 200, 208));
    }, 320, 137) && ok;
    ok = save(dir, "stock-ved.jpg", [](QPainter &p) {
        background(p, 640, 480, QColor(226, 234, 244), QColor(170, 188, 210));
    }, 640, 480) && ok;
    return ok ? 0 : 1;
}
