#include "app_icon.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace {

// A small display: a dark bezel, a blue screen and a "V".
QPixmap Draw(int size)
{
    QPixmap p(size, size);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    const qreal edge = size / 16.0;
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(0x30, 0x30, 0x38));
    g.drawRoundedRect(QRectF(edge, edge * 2, size - 2 * edge, size - 4 * edge), edge * 2, edge * 2);
    g.setBrush(QColor(0x20, 0x70, 0xD0));
    g.drawRect(QRectF(edge * 3, edge * 4, size - 6 * edge, size - 8 * edge));
    QFont f;
    f.setBold(true);
    f.setPixelSize(int(size * 0.55));
    g.setFont(f);
    g.setPen(Qt::white);
    g.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, "V");
    return p;
}

}  // namespace

QIcon DravikIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addPixmap(Draw(size));
    return icon;
}
