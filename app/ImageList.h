// ImageList: the main window's 32 small pictures (16 x 16 pixels) used by the
// actions, the menu and the tool bar. They come from one XPM strip in the
// resources, the pictures stacked top to bottom, picture 0 first.
#pragma once

#include <QIcon>
#include <QPixmap>

#include <vector>

class ImageList {
public:
    static constexpr int kImageCount = 32;
    static constexpr int kImageSize = 16; // pixels, square

    // Indices of the pictures the actions use.
    static constexpr int kHelp = 5;
    static constexpr int kQuit = 26;
    static constexpr int kRun = 29;
    static constexpr int kStop = 30;
    static constexpr int kContinuous = 31;

    ImageList();

    int count() const { return static_cast<int>(m_images.size()); }
    // Picture `index`; a null pixmap for an index out of range.
    QPixmap image(int index) const;
    QIcon icon(int index) const { return QIcon(image(index)); }

private:
    std::vector<QPixmap> m_images;
};
