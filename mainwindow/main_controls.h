#pragma once

#include <array>

class FileListModel;
class HotLabel;
class Hotspot;
class QComboBox;
class QLabel;
class QLineEdit;
class QTreeView;
class QWidget;

// The main window's controls, created over the skin at their places, with their tooltips,
// pointers and tab order. The window wires their behaviour.
struct MainControls
{
    QTreeView* LV = nullptr;
    std::array<QComboBox*, 4> pickers{}; // cmbOF, cmbBR, cmbR, cmbChannel
    std::array<Hotspot*, 4> picButtons{};
    QLineEdit* txtPath = nullptr;
    QLineEdit* txtAction = nullptr; // hidden relay box of the menus
    std::array<Hotspot*, 7> toolbar{}; // by toolbar index; 5 is none
    std::array<Hotspot*, 3> menuTitles{};
    Hotspot* imgConvert = nullptr;
    Hotspot* imgBrowse = nullptr;
    Hotspot* imgHelp = nullptr;
    Hotspot* imgMin = nullptr;
    Hotspot* imgExit = nullptr;
    HotLabel* lblFeed = nullptr;
    QLabel* lblVersion = nullptr;
    HotLabel* lblWeb = nullptr; // the product name; a click opens the product's web page
    QLabel* lblPB = nullptr;
    QWidget* imgPB = nullptr;
    QWidget* picText = nullptr;
    QLabel* lblText = nullptr;
    QWidget* picDrop = nullptr;
};

MainControls CreateMainControls(QWidget& window, FileListModel& files);
