// The main window's hover and press feedback: which picture each hotspot shows when.

#include "mainwindow/frm_main.h"
#include "widgets/hotspot.h"

#include <QComboBox>

namespace {
void SetBold(QLabel* label, bool bold)
{
    QFont font = label->font();
    font.setBold(bold);
    label->setFont(font);
}
} // namespace

void frmMain::connectHoverFeedback()
{
    for (Hotspot* member : m_toolbar) {
        if (!member)
            continue;
        connect(member, &Hotspot::hovered, this, &frmMain::toolbarHovered);
        connect(member, &Hotspot::pressed, this, [this](int) {
            for (Hotspot* other : m_toolbar)
                if (other)
                    other->clearPicture();
        });
        connect(member, &Hotspot::clicked, this, &frmMain::imgToolbar_Click);
    }
    for (Hotspot* title : m_menuTitles) {
        connect(title, &Hotspot::hovered, this, &frmMain::menuTitleHovered);
        connect(title, &Hotspot::clicked, this, &frmMain::imgMenu_Click);
    }

    connect(m_imgConvert, &Hotspot::hovered, this,
            [this] { m_imgConvert->setPicture(m_skin.imgConvertData); });
    connect(m_imgConvert, &Hotspot::pressed, this, [this] { m_imgConvert->clearPicture(); });
    connect(m_imgConvert, &Hotspot::clicked, this, [this] { imgStart_Click(); });

    connect(m_imgBrowse, &Hotspot::hovered, this,
            [this] { m_imgBrowse->setPicture(m_skin.imgBrowseLight); });
    connect(m_imgBrowse, &Hotspot::pressed, this,
            [this] { m_imgBrowse->setPicture(m_skin.imgBrowseDark); });
    connect(m_imgBrowse, &Hotspot::clicked, this, [this] { imgBrowse_Click(); });

    connect(m_imgHelp, &Hotspot::hovered, this,
            [this] { m_imgHelp->setPicture(m_skin.imgHelpLight); });
    connect(m_imgHelp, &Hotspot::clicked, this, [this] { imgHelp_Click(); });
    connect(m_imgMin, &Hotspot::hovered, this,
            [this] { m_imgMin->setPicture(m_skin.imgMinLight); });
    connect(m_imgMin, &Hotspot::clicked, this, [this] { imgMin_Click(); });
    connect(m_imgExit, &Hotspot::hovered, this,
            [this] { m_imgExit->setPicture(m_skin.imgExitLight); });
    connect(m_imgExit, &Hotspot::clicked, this, [this] { Exit(); });

    for (size_t i = 0; i < m_picButtons.size(); ++i) {
        Hotspot* button = m_picButtons[i];
        connect(button, &Hotspot::hovered, this,
                [this, button] { button->setPicture(m_skin.imgButtonLight); });
        connect(button, &Hotspot::clicked, this, [this, i] { m_pickers[i]->showPopup(); });
    }

    connect(m_lblFeed, &HotLabel::hovered, this, [this] { SetBold(m_lblFeed, true); });
    connect(m_lblFeed, &HotLabel::clicked, this, [this] { lblFeed_Click(); });
    connect(m_lblWeb, &HotLabel::clicked, this, [this] { lblWeb_Click(); });
}

void frmMain::toolbarHovered(int index)
{
    for (Hotspot* member : m_toolbar)
        if (member)
            member->clearPicture();
    if (Hotspot* member = imgToolbar(index))
        member->setPicture(m_skin.imgButtonData[static_cast<size_t>(index)]);
}

void frmMain::menuTitleHovered(int index)
{
    for (Hotspot* title : m_menuTitles)
        title->clearPicture();
    imgMenu(index)->setPicture(m_skin.imgMenuData[static_cast<size_t>(index)]);
}

// The pointer crossed the bare window: every hotspot back to rest, in this order.
void frmMain::surfaceMouseMove()
{
    SetBold(m_lblFeed, false);
    m_imgHelp->clearPicture();
    m_imgExit->clearPicture();
    for (int i : {3, 2, 0, 1}) // channel, rate, format, bitrate
        m_picButtons[static_cast<size_t>(i)]->setPicture(m_skin.imgButton);
    m_imgBrowse->clearPicture();
    m_imgMin->clearPicture();
    m_picDrop->hide();
    for (Hotspot* member : m_toolbar)
        if (member)
            member->clearPicture();
    for (Hotspot* title : m_menuTitles)
        title->clearPicture();
    m_imgConvert->clearPicture();
}
