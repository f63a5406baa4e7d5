#pragma once

#include <QPixmap>

#include <array>

// The main window's artwork: the 700 × 500 background with every button painted at rest, and the
// picture stores the hover feedback assigns to the hotspots (lit and pressed copies of the
// buttons). Painted once at start-up.
struct MainSkin
{
    QPixmap background;
    std::array<QPixmap, 7> imgButtonData; // lit toolbar buttons by toolbar index (5 is empty)
    std::array<QPixmap, 3> imgMenuData;   // lit menu titles
    QPixmap imgConvertData;
    QPixmap imgBrowseLight;
    QPixmap imgBrowseDark;
    QPixmap imgHelpLight;
    QPixmap imgMinLight;
    QPixmap imgExitLight;
    QPixmap imgButton;      // drop button at rest
    QPixmap imgButtonLight; // drop button lit
};

MainSkin PaintMainSkin();
