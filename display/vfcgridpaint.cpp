// Cell painters of the result grid.
#include "display/vfcgridpaint.h"

#include "counter/ResultCell.h"
#include "display/ChannelTable.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <array>

GridFonts GridFonts::measure(const QFont& font) {
    GridFonts f;
    f.normal = font;
    f.normalHeight = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    // The margin is a legacy of point-sized fonts: 11 pixels are 8 points at
    // 96 pixels per inch (rounded as Windows does), so the margin is 4.
    const int points = font.pointSize() > 0 ? font.pointSize() : (f.normalHeight * 72 + 48) / 96;
    f.nameMargin = points / 2;

    f.headingHeight = f.normalHeight * 14 / 10;
    f.heading = font;
    f.heading.setPixelSize(std::max(1, f.headingHeight));
    f.largeHeight = f.normalHeight * 15 / 10;
    f.large = font;
    f.large.setPixelSize(std::max(1, f.largeHeight));

    const QFontMetrics large(f.large);
    for (char digit = '0'; digit <= '9'; ++digit)
        f.digitWidth = std::max(f.digitWidth, large.horizontalAdvance(QChar(digit)));
    f.unitWidth = std::max(large.horizontalAdvance(QStringLiteral("Hz")),
                           large.horizontalAdvance(QStringLiteral("ns")));
    return f;
}

int cellCentreX(const QRect& cell) {
    return (cell.left() + cell.left() + cell.width()) / 2;
}
int cellCentreY(const QRect& cell) {
    return (cell.top() + cell.top() + cell.height()) / 2;
}

void drawTextAt(QPainter& painter, int x, int top, const QString& text) {
    painter.drawText(QPoint(x, top + painter.fontMetrics().ascent()), text);
}

void ResultReadout::paint(QPainter& painter, const QRect& cell, const GridFonts& fonts) const {
    painter.fillRect(cell, Qt::black);
    painter.setPen(QColor(0, 255, 0));
    painter.setFont(fonts.large);
    const int cx = cellCentreX(cell);
    const int cy = cellCentreY(cell);
    const int top = textTop(cy, fonts.largeHeight);
    const QFontMetrics large(fonts.large);
    if (plain) {
        drawTextAt(painter, cx - large.horizontalAdvance(text) / 2, top, text);
        return;
    }

    const ResultCell32 parts = splitResultCell(text.toStdU32String());
    const QString number = QString::fromStdU32String(groupDigits(parts.number));
    drawTextAt(painter, cx - large.horizontalAdvance(number) - fonts.digitWidth / 2, top, number);
    if (parts.hasUnit) drawTextAt(painter, cx, top, QString::fromStdU32String(parts.unit));
    if (parts.hasRemark) {
        // Bottom-aligned with the number: the same baseline.
        const int baseline = top + large.ascent();
        painter.setFont(fonts.normal);
        painter.drawText(QPoint(cx + fonts.unitWidth + 2 * fonts.digitWidth, baseline),
                         QString::fromStdU32String(parts.remark));
    }
}

const QImage& ChannelGlyph::picture(int glyphIndex) {
    // Loaded once; QImage (unlike QPixmap) may outlive the application object.
    static const std::array<QImage, 6> pictures = [] {
        std::array<QImage, 6> p;
        for (int i = 0; i < 6; ++i)
            p[i] = QImage(QStringLiteral(":/grid/%1.xpm").arg(2000 + i));
        return p;
    }();
    static const QImage none;
    return glyphIndex >= 0 && glyphIndex < 6 ? pictures[glyphIndex] : none;
}

void ChannelGlyph::paint(QPainter& painter, const QRect& cell, const QColor& cellColour) const {
    painter.fillRect(cell, cellColour);
    const QImage& image = picture(ChannelTable::glyphIndex(code));
    if (image.isNull()) return; // the cell keeps its colour
    const int h = std::min(image.height(), cell.height());
    const int w = std::min(image.width(), cell.width());
    const QRect source(image.width() / 2 - w / 2, image.height() / 2 - h / 2, w, h);
    const QRect target(cellCentreX(cell) - w / 2, cellCentreY(cell) - h / 2, w, h);
    // Black on white multiplied onto the cell colour: white takes the colour.
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    painter.drawImage(target, image, source);
    painter.restore();
}
