// Painters of the result grid's cells: the fonts and metrics measured once
// per grid font, the green-on-black read-out of a result cell and the glyph
// of a channel code. Small value types that know how to paint themselves;
// the grid's delegate only unpacks the cell and calls them.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

class QPainter;
class QRect;

// Fonts and metrics of the grid, taken from the grid's font.
struct GridFonts {
    QFont normal;
    QFont heading;
    QFont large;
    int normalHeight = 0;  // pixel height of the grid's font
    int headingHeight = 0; // normalHeight x 14 / 10
    int largeHeight = 0;   // normalHeight x 15 / 10
    int digitWidth = 0;    // widest of "0" to "9" in the large font
    int unitWidth = 0;     // wider of "Hz" and "ns" in the large font
    int nameMargin = 0;    // half the font size in points (at 96 pixels per inch)

    static GridFonts measure(const QFont& font);
};

// Geometry shared by every cell: integer centres of the cell rectangle
// (right and bottom edges exclusive), and where a text of a given pixel
// height starts so that it sits on the centre line.
int cellCentreX(const QRect& cell);
int cellCentreY(const QRect& cell);
inline int textTop(int centreY, int fontHeight) {
    return centreY - fontHeight / 2;
}
// Draws text with its top-left corner at (x, top) in the painter's font.
void drawTextAt(QPainter& painter, int x, int top, const QString& text);

// The read-out of one result cell: black background, lime text in the
// large font. Plain texts are centred. Result cell texts are split into
// number, unit and remark: the grouped number ends half a digit left of the
// cell's middle, the unit starts at the middle, and the remark, in the
// normal font, starts after the room of the widest unit and two digits,
// sharing the number's baseline.
struct ResultReadout {
    QString text;
    bool plain = true;

    void paint(QPainter& painter, const QRect& cell, const GridFonts& fonts) const;
};

// The glyph of a channel code, black on white, drawn so that its white
// parts take the cell colour and centred on the cell.
struct ChannelGlyph {
    char code = '-';

    void paint(QPainter& painter, const QRect& cell, const QColor& cellColour) const;

    // The picture of a glyph (0 to 5); a null image when it cannot be loaded.
    static const QImage& picture(int glyphIndex);
};
