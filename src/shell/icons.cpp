#include "shell/icons.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

#include <algorithm>

namespace kestrune {

namespace {

// Every toolbar image is drawn on a 32 x 32 grid and scaled to the icon size.
// Lines never get thinner than one device pixel, so the 16-pixel set stays
// crisp enough to tell the images apart.
class TIconPainter {
public:
    TIconPainter(QPainter& p, int size) : p_(p), unit_(32.0 / size) {}

    QPen Pen(const QColor& c, double w = 1.0) const
    {
        QPen pen(c, std::max(w, unit_));
        pen.setJoinStyle(Qt::RoundJoin);
        pen.setCapStyle(Qt::RoundCap);
        return pen;
    }
    QPainter& P() { return p_; }

private:
    QPainter& p_;
    double unit_;
};

const QColor Outline(40, 36, 32);

void DrawMaps(TIconPainter& ip)
{
    QPainter& p = ip.P();
    // The sheet between two rolls.
    QLinearGradient sheet(0, 6, 0, 26);
    sheet.setColorAt(0, QColor(246, 230, 186));
    sheet.setColorAt(1, QColor(226, 198, 140));
    p.setPen(ip.Pen(Outline));
    p.setBrush(sheet);
    p.drawRect(QRectF(6, 6, 20, 20));
    // A grid of corridors and a path to the mark.
    p.setPen(ip.Pen(QColor(150, 120, 80), 0.8));
    for (double x = 11; x < 26; x += 5)
        p.drawLine(QPointF(x, 7), QPointF(x, 25));
    for (double y = 11; y < 26; y += 5)
        p.drawLine(QPointF(7, y), QPointF(25, y));
    QPen path = ip.Pen(QColor(40, 90, 170), 1.6);
    path.setStyle(Qt::DotLine);
    p.setPen(path);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(9, 23), QPointF(13, 23), QPointF(13, 14), QPointF(20, 14)}));
    p.setPen(ip.Pen(QColor(200, 30, 30), 2.2));
    p.drawLine(QPointF(19, 16), QPointF(23, 20));
    p.drawLine(QPointF(23, 16), QPointF(19, 20));
    // The rolls at top and bottom.
    QLinearGradient roll(0, 0, 0, 5);
    roll.setColorAt(0, QColor(250, 240, 205));
    roll.setColorAt(1, QColor(190, 150, 90));
    p.setPen(ip.Pen(Outline));
    p.setBrush(roll);
    p.drawRoundedRect(QRectF(3, 2, 26, 5), 2.5, 2.5);
    p.drawRoundedRect(QRectF(3, 25, 26, 5), 2.5, 2.5);
}

void DrawWalls(TIconPainter& ip)
{
    QPainter& p = ip.P();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(205, 195, 180)); // mortar
    p.drawRect(QRectF(2, 4, 28, 24));
    const QColor bricks[] = {QColor(178, 70, 48), QColor(160, 58, 40), QColor(190, 84, 58)};
    int k = 0;
    for (int row = 0; row < 4; ++row) {
        const double y = 4 + row * 6;
        const double offset = (row % 2) ? -5 : 0;
        for (double x = 2 + offset; x < 30; x += 10) {
            const double left = std::max(2.0, x + 0.7);
            const double right = std::min(30.0, x + 9.3);
            p.setBrush(bricks[k++ % 3]);
            p.drawRect(QRectF(left, y + 0.7, right - left, 4.6));
        }
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(ip.Pen(Outline));
    p.drawRect(QRectF(2, 4, 28, 24));
}

void DrawFloors(TIconPainter& ip)
{
    QPainter& p = ip.P();
    // Square tiles seen at a slant: a 3 x 3 board on a diamond.
    const QPointF top(16, 5), right(30, 16), bottom(16, 27), left(2, 16);
    auto at = [&](double u, double v) { // u along top->right, v along top->left
        return top + (right - top) * u + (left - top) * v;
    };
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double u0 = i / 3.0, u1 = (i + 1) / 3.0, v0 = j / 3.0, v1 = (j + 1) / 3.0;
            p.setPen(ip.Pen(QColor(90, 90, 96), 0.7));
            p.setBrush((i + j) % 2 ? QColor(120, 124, 136) : QColor(196, 198, 206));
            p.drawPolygon(QPolygonF({at(u0, v0), at(u1, v0), at(u1, v1), at(u0, v1)}));
        }
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(ip.Pen(Outline));
    p.drawPolygon(QPolygonF({top, right, bottom, left}));
}

void DrawCeilings(TIconPainter& ip)
{
    QPainter& p = ip.P();
    // A vault: a stone arch on two pillars over a dark passage.
    QPainterPath outer;
    outer.moveTo(2, 30);
    outer.lineTo(2, 14);
    outer.arcTo(QRectF(2, 2, 28, 24), 180, -180);
    outer.lineTo(30, 30);
    outer.closeSubpath();
    QPainterPath inner;
    inner.moveTo(8, 30);
    inner.lineTo(8, 16);
    inner.arcTo(QRectF(8, 8, 16, 16), 180, -180);
    inner.lineTo(24, 30);
    inner.closeSubpath();
    QLinearGradient stone(0, 2, 0, 30);
    stone.setColorAt(0, QColor(200, 196, 186));
    stone.setColorAt(1, QColor(140, 134, 124));
    p.setPen(ip.Pen(Outline));
    p.setBrush(stone);
    p.drawPath(outer.subtracted(inner));
    p.setBrush(QColor(36, 34, 48));
    p.drawPath(inner);
    // The joints of the voussoirs and the keystone.
    p.setPen(ip.Pen(QColor(90, 84, 76), 0.8));
    for (int deg : {30, 60, 120, 150}) {
        QLineF ray = QLineF::fromPolar(14, deg);
        QLineF in = QLineF::fromPolar(8, deg);
        p.drawLine(QPointF(16, 14) + in.p2(), QPointF(16, 14) + ray.p2());
    }
    p.setPen(ip.Pen(Outline));
    p.setBrush(QColor(226, 214, 170));
    p.drawPolygon(QPolygonF({QPointF(13.5, 1.5), QPointF(18.5, 1.5), QPointF(17.5, 7), QPointF(14.5, 7)}));
}

void DrawObjects(TIconPainter& ip)
{
    QPainter& p = ip.P();
    // A treasure chest.
    QLinearGradient wood(0, 8, 0, 29);
    wood.setColorAt(0, QColor(176, 108, 52));
    wood.setColorAt(1, QColor(120, 70, 30));
    p.setPen(ip.Pen(Outline));
    p.setBrush(wood);
    QPainterPath lid;
    lid.moveTo(3, 15);
    lid.lineTo(3, 11);
    lid.cubicTo(3, 4, 29, 4, 29, 11);
    lid.lineTo(29, 15);
    lid.closeSubpath();
    p.drawPath(lid);
    p.drawRect(QRectF(3, 15, 26, 13));
    // Iron bands and the lock.
    const QColor gold(232, 190, 60);
    p.setBrush(gold);
    p.drawRect(QRectF(7, 6.5, 3, 21.5));
    p.drawRect(QRectF(22, 6.5, 3, 21.5));
    p.drawRect(QRectF(13, 13, 6, 7));
    p.setPen(Qt::NoPen);
    p.setBrush(Outline);
    p.drawEllipse(QPointF(16, 16), 1.1, 1.1);
    p.drawRect(QRectF(15.5, 16, 1, 2.5));
}

void DrawItems(TIconPainter& ip)
{
    QPainter& p = ip.P();
    // A sword, point up and to the right.
    p.save();
    p.translate(16, 16);
    p.rotate(45);
    QLinearGradient steel(-2.5, 0, 2.5, 0);
    steel.setColorAt(0, QColor(236, 240, 246));
    steel.setColorAt(1, QColor(140, 150, 166));
    p.setPen(ip.Pen(Outline));
    p.setBrush(steel);
    p.drawPolygon(QPolygonF({QPointF(0, -19), QPointF(2.5, -15), QPointF(2.5, 5), QPointF(-2.5, 5),
                             QPointF(-2.5, -15)}));
    p.setBrush(QColor(222, 176, 52));
    p.drawRoundedRect(QRectF(-7, 5, 14, 3), 1.2, 1.2);
    p.setBrush(QColor(110, 62, 30));
    p.drawRect(QRectF(-1.5, 8, 3, 7));
    p.setBrush(QColor(222, 176, 52));
    p.drawEllipse(QPointF(0, 16.5), 2.3, 2.3);
    p.restore();
}

void DrawMonsters(TIconPainter& ip)
{
    QPainter& p = ip.P();
    // A horned green face with red eyes and fangs.
    p.setPen(ip.Pen(Outline));
    p.setBrush(QColor(236, 226, 200));
    p.drawPolygon(QPolygonF({QPointF(6, 11), QPointF(2, 2), QPointF(10, 7)}));
    p.drawPolygon(QPolygonF({QPointF(26, 11), QPointF(30, 2), QPointF(22, 7)}));
    QRadialGradient skin(QPointF(13, 13), 18);
    skin.setColorAt(0, QColor(140, 200, 90));
    skin.setColorAt(1, QColor(60, 120, 40));
    p.setBrush(skin);
    p.drawEllipse(QRectF(4, 5, 24, 25));
    p.setBrush(QColor(230, 40, 30));
    p.drawPolygon(QPolygonF({QPointF(8, 13), QPointF(14, 15), QPointF(9, 17)}));
    p.drawPolygon(QPolygonF({QPointF(24, 13), QPointF(18, 15), QPointF(23, 17)}));
    p.setBrush(QColor(50, 20, 20));
    p.drawRoundedRect(QRectF(9, 21, 14, 5), 2, 2);
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({QPointF(11, 21), QPointF(14, 21), QPointF(12.5, 25)}));
    p.drawPolygon(QPolygonF({QPointF(18, 21), QPointF(21, 21), QPointF(19.5, 25)}));
}

void DrawNPC(TIconPainter& ip)
{
    QPainter& p = ip.P();
    // A person: head and shoulders.
    p.setPen(ip.Pen(Outline));
    QLinearGradient tunic(0, 18, 0, 31);
    tunic.setColorAt(0, QColor(70, 120, 200));
    tunic.setColorAt(1, QColor(36, 70, 140));
    p.setBrush(tunic);
    QPainterPath body;
    body.moveTo(4, 31);
    body.cubicTo(4, 21, 10, 18, 16, 18);
    body.cubicTo(22, 18, 28, 21, 28, 31);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(QColor(240, 200, 160));
    p.drawEllipse(QRectF(10, 4, 12, 13));
    p.setBrush(QColor(110, 70, 36));
    QPainterPath hair;
    hair.moveTo(10, 10);
    hair.cubicTo(10, 2, 22, 2, 22, 10);
    hair.cubicTo(19, 7, 13, 7, 10, 10);
    p.drawPath(hair);
}

void DrawNames(TIconPainter& ip)
{
    QPainter& p = ip.P();
    // A sheet with a list of entries and a folded corner.
    p.setPen(ip.Pen(Outline));
    p.setBrush(QColor(252, 252, 246));
    p.drawPolygon(QPolygonF({QPointF(5, 2), QPointF(21, 2), QPointF(27, 8), QPointF(27, 30), QPointF(5, 30)}));
    p.setBrush(QColor(210, 210, 200));
    p.drawPolygon(QPolygonF({QPointF(21, 2), QPointF(21, 8), QPointF(27, 8)}));
    for (int i = 0; i < 4; ++i) {
        const double y = 11 + i * 5;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 60, 40));
        p.drawEllipse(QPointF(9.5, y), 1.4, 1.4);
        p.setPen(ip.Pen(QColor(60, 70, 110), 1.6));
        p.drawLine(QPointF(13, y), QPointF(i % 2 ? 20 : 23, y));
    }
}

void DrawLib(TIconPainter& ip)
{
    QPainter& p = ip.P();
    // A closed book: pages, cover and spine.
    p.setPen(ip.Pen(Outline));
    p.setBrush(QColor(246, 240, 220));
    p.drawRect(QRectF(8, 5, 20, 24));
    p.setPen(ip.Pen(QColor(180, 170, 150), 0.6));
    for (double y = 8; y < 28; y += 2.5)
        p.drawLine(QPointF(25, y), QPointF(27.5, y));
    QLinearGradient cover(4, 0, 26, 0);
    cover.setColorAt(0, QColor(120, 24, 30));
    cover.setColorAt(1, QColor(170, 40, 44));
    p.setPen(ip.Pen(Outline));
    p.setBrush(cover);
    p.drawRoundedRect(QRectF(4, 2, 21, 25), 1.5, 1.5);
    p.setBrush(QColor(90, 16, 22));
    p.drawRect(QRectF(4, 2, 4, 25));
    p.setPen(ip.Pen(QColor(230, 190, 70), 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(11, 7, 10, 6));
    p.drawLine(QPointF(4.5, 7), QPointF(7.5, 7));
    p.drawLine(QPointF(4.5, 22), QPointF(7.5, 22));
}

void DrawSave(TIconPainter& ip)
{
    QPainter& p = ip.P();
    // A floppy disk: body, metal shutter, label.
    p.setPen(ip.Pen(Outline));
    p.setBrush(QColor(40, 70, 150));
    p.drawPolygon(QPolygonF({QPointF(3, 3), QPointF(26, 3), QPointF(29, 6), QPointF(29, 29), QPointF(3, 29)}));
    p.setBrush(QColor(200, 206, 214));
    p.drawRect(QRectF(9, 3, 14, 9));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 70, 150));
    p.drawRect(QRectF(18, 4.5, 3, 6));
    p.setPen(ip.Pen(Outline));
    p.setBrush(QColor(250, 250, 250));
    p.drawRect(QRectF(7, 16, 18, 13));
    p.setPen(ip.Pen(QColor(200, 60, 40), 1.0));
    p.drawLine(QPointF(9, 20), QPointF(23, 20));
    p.setPen(ip.Pen(QColor(150, 150, 160), 1.0));
    p.drawLine(QPointF(9, 24), QPointF(23, 24));
}

using DrawFn = void (*)(TIconPainter&);
const DrawFn Drawers[ToolbarImageCount] = {DrawMaps,     DrawWalls, DrawFloors, DrawCeilings,
                                           DrawObjects,  DrawItems, DrawMonsters, DrawNPC,
                                           DrawNames,    DrawLib,   DrawSave};

// The kestrel seen from below with its wings spread, in a 100 x 60 box: the
// right half is drawn and mirrored.
QPainterPath KestrelPath()
{
    QPainterPath half;
    half.moveTo(50, 2);
    half.cubicTo(53.5, 2, 55, 5, 54.5, 9);     // head
    half.lineTo(56, 14);                       // shoulder
    half.cubicTo(68, 9, 86, 11, 98, 26);       // leading edge to the pointed tip
    half.cubicTo(84, 25, 70, 27, 57, 32);      // trailing edge
    half.cubicTo(56, 36, 55.5, 39, 55, 42);    // flank
    half.lineTo(59, 57);                       // fanned tail
    half.lineTo(50, 58.5);
    const QPolygonF right = half.toSubpathPolygons().value(0);
    QPainterPath kestrel;
    kestrel.moveTo(right.value(0));
    for (const QPointF& pt : right)
        kestrel.lineTo(pt);
    for (auto it = right.rbegin(); it != right.rend(); ++it)
        kestrel.lineTo(100 - it->x(), it->y());
    kestrel.closeSubpath();
    return kestrel.simplified();
}

} // namespace

QIcon ToolbarIcon(int index, int size)
{
    if (index < 0 || index >= ToolbarImageCount || size < 1)
        return QIcon();
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    TIconPainter ip(p, size);
    Drawers[index](ip);
    p.end();
    return QIcon(pixmap);
}

QPixmap LogoPicture()
{
    const int width = 500, height = 112;
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // A dungeon floor running away from the viewer: a grid on a trapezoid.
    const QPointF nearLeft(8, 110), nearRight(212, 110), farLeft(66, 52), farRight(154, 52);
    QLinearGradient floor(0, 52, 0, 110);
    floor.setColorAt(0, QColor(40, 44, 60, 60));
    floor.setColorAt(1, QColor(40, 44, 60, 200));
    p.setPen(Qt::NoPen);
    p.setBrush(floor);
    p.drawPolygon(QPolygonF({farLeft, farRight, nearRight, nearLeft}));
    p.setPen(QPen(QColor(150, 170, 200), 1.2));
    const int columns = 6;
    for (int i = 0; i <= columns; ++i) {
        const double t = double(i) / columns;
        p.drawLine(farLeft + (farRight - farLeft) * t, nearLeft + (nearRight - nearLeft) * t);
    }
    double depth = 0;
    for (int j = 0; j <= 5; ++j) { // rows closer together towards the far edge
        const double t = 1.0 - depth;
        const QPointF l = farLeft + (nearLeft - farLeft) * t;
        const QPointF r = farRight + (nearRight - farRight) * t;
        p.drawLine(l, r);
        depth += (1.0 - depth) * 0.45;
    }

    // The kestrel gliding over the grid.
    p.save();
    p.translate(22, 1);
    p.scale(1.76, 1.38);
    const QPainterPath kestrel = KestrelPath();
    QLinearGradient plumage(0, 0, 0, 60);
    plumage.setColorAt(0, QColor(196, 98, 40));
    plumage.setColorAt(1, QColor(140, 60, 24));
    p.setPen(QPen(QColor(50, 26, 12), 1.4));
    p.setBrush(plumage);
    p.drawPath(kestrel);
    // Dark wing tips and a tail band, as a kestrel has.
    p.setClipPath(kestrel);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(54, 34, 24));
    p.drawRect(QRectF(0, 0, 13, 60));
    p.drawRect(QRectF(87, 0, 13, 60));
    p.drawRect(QRectF(40, 52, 20, 2.5));
    p.setClipping(false);
    p.setBrush(QColor(250, 220, 90));
    p.drawEllipse(QPointF(50, 8), 1.4, 1.4);
    p.restore();

    // The name.
    QFont title(QStringLiteral("Serif"));
    title.setStyleHint(QFont::Serif);
    title.setBold(true);
    title.setLetterSpacing(QFont::PercentageSpacing, 104);
    const QRectF titleBox(232, 10, 262, 60);
    for (int px = 50; px > 12; px -= 2) { // as large as the box allows
        title.setPixelSize(px);
        if (QFontMetricsF(title).horizontalAdvance(QStringLiteral("KESTRUNE")) <= titleBox.width() - 4)
            break;
    }
    p.setFont(title);
    p.setPen(QColor(30, 30, 40, 110));
    p.drawText(titleBox.translated(2, 2), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("KESTRUNE"));
    p.setPen(QColor(160, 70, 30));
    p.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("KESTRUNE"));
    QFont sub(QStringLiteral("Sans Serif"));
    sub.setStyleHint(QFont::SansSerif);
    sub.setPixelSize(20);
    sub.setLetterSpacing(QFont::PercentageSpacing, 120);
    p.setFont(sub);
    p.setPen(QColor(60, 66, 90));
    p.drawText(QRectF(236, 74, 262, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("game editor"));
    p.setPen(QPen(QColor(160, 70, 30), 2));
    p.drawLine(QPointF(236, 74), QPointF(488, 74));
    p.end();
    return pixmap;
}

} // namespace kestrune
