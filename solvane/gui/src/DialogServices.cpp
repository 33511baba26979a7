#include "gui/DialogServices.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include <cstdint>

#include "core/CommandEntry.h"
#include "core/SystemUtil.h"

DialogServices DefaultDialogServices() {
    DialogServices services;
    services.serialPorts = [] {
        uint8_t numbers[256] = {};
        const int count = EnumSerialPorts(numbers);
        return std::vector<int>(numbers, numbers + count);
    };
    services.centralControlOpen = [] { return IsCentralControlOpen() != 0; };
    services.stopCentralControl = [] { StopCentralControl(); };
    return services;
}

QIcon ServerIcon() {
    // Drawn rather than shipped: the tray needs some icon to show at all.
    QIcon icon;
    for (int size : {16, 22, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0x1f, 0x5f, 0xa8));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(size * 3 / 4);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("S"));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
