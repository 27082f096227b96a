#include "app/AppIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <map>

namespace {

QPixmap Blank(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

// A round lamp: lit green when the link carries data, dark grey otherwise.
QPixmap Lamp(bool lit) {
    QPixmap pm = Blank(16);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(QPointF(6, 6), 8);
    g.setColorAt(0, lit ? QColor(190, 255, 190) : QColor(170, 170, 170));
    g.setColorAt(1, lit ? QColor(0, 150, 0) : QColor(70, 70, 70));
    p.setBrush(g);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    return pm;
}

// An arrow up (transmit) or down (receive), coloured while there is traffic.
QPixmap Arrow(bool up, bool active) {
    QPixmap pm = Blank(16);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fill = !active ? QColor(150, 150, 150) : up ? QColor(220, 40, 30) : QColor(20, 110, 230);
    QPainterPath path;
    if (up) {
        path.moveTo(8, 1);
        path.lineTo(15, 8);
        path.lineTo(11, 8);
        path.lineTo(11, 15);
        path.lineTo(5, 15);
        path.lineTo(5, 8);
        path.lineTo(1, 8);
    } else {
        path.moveTo(8, 15);
        path.lineTo(15, 8);
        path.lineTo(11, 8);
        path.lineTo(11, 1);
        path.lineTo(5, 1);
        path.lineTo(5, 8);
        path.lineTo(1, 8);
    }
    path.closeSubpath();
    p.setPen(QPen(fill.darker(160), 1));
    p.setBrush(fill);
    p.drawPath(path);
    return pm;
}

// The program's icon: a sonde in a borehole with its sound waves.
QIcon MainIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pm = Blank(size);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 60, 110));
        p.drawRoundedRect(QRectF(0, 0, 32, 32), 5, 5);
        p.setBrush(QColor(235, 200, 60));
        p.drawRoundedRect(QRectF(13, 3, 6, 26), 3, 3);
        p.setPen(QPen(QColor(120, 200, 255), 2));
        p.setBrush(Qt::NoBrush);
        for (int r : {6, 10}) {
            p.drawArc(QRectF(16 - r, 16 - r, 2 * r, 2 * r), 30 * 16, 120 * 16);
            p.drawArc(QRectF(16 - r, 16 - r, 2 * r, 2 * r), 210 * 16, 120 * 16);
        }
        icon.addPixmap(pm);
    }
    return icon;
}

QIcon Make(int id) {
    switch (id) {
        case IDI_MAIN: return MainIcon();
        case IDI_LINK_ACTIVE: return QIcon(Lamp(true));
        case IDI_LINK_IDLE: return QIcon(Lamp(false));
        case IDI_TX_IDLE: return QIcon(Arrow(true, false));
        case IDI_TX_ACTIVE: return QIcon(Arrow(true, true));
        case IDI_RX_IDLE: return QIcon(Arrow(false, false));
        case IDI_RX_ACTIVE: return QIcon(Arrow(false, true));
        default: return {};
    }
}

}  // namespace

QIcon AppIcon(int id) {
    // Kept for the life of the process: pixmaps must not outlive the application object's
    // clean-up in a static destructor.
    static auto* cache = new std::map<int, QIcon>;
    auto it = cache->find(id);
    if (it == cache->end()) it = cache->emplace(id, Make(id)).first;
    return it->second;
}
