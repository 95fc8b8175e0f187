// ImageList: slices the resource strip into its 32 pictures.
#include "app/ImageList.h"

namespace {
const char* const kStripPath = ":/mainwindow/imagelist.xpm";
}

ImageList::ImageList() {
    const QPixmap strip(kStripPath);
    m_images.reserve(kImageCount);
    for (int i = 0; i < kImageCount; ++i)
        m_images.push_back(strip.copy(0, i * kImageSize, kImageSize, kImageSize));
}

QPixmap ImageList::image(int index) const {
    if (index < 0 || index >= count()) return {};
    return m_images[static_cast<std::size_t>(index)];
}
