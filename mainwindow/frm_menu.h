#pragma once

#include <QMenu>
#include <QPoint>
#include <QString>

#include <array>
#include <memory>

class frmMain;

// The four pop-up menus of the main window and the relay between them and the window's actions.
// A chosen item writes its keyword into the window's hidden txtAction box; the box's change runs
// Dispatch(), which tests the text against every keyword in a fixed order and clears the box.
// Remove All is the one item that acts directly.
class FrmMenu
{
public:
    enum MenuIndex { FileMenu = 0, OptionsMenu = 1, AboutMenu = 2, RemoveMenu = 3 };

    explicit FrmMenu(frmMain& window);
    ~FrmMenu();

    QMenu& menu(int index) { return *m_menus[static_cast<size_t>(index)]; }

    // Shows menu 0 to 2 under its title, at the given global position; returns after the choice
    // (whose action has then run) or the dismissal.
    void popupMenu(int index, const QPoint& globalPosition);
    // Toolbar button 1: the Remove menu at the pointer.
    void popupRemoveAtPointer();

    // The change handler of txtAction. Returns how many actions it ran.
    int Dispatch();

    // Keywords in the order Dispatch tests them.
    static const std::array<const char*, 8>& Keywords();

private:
    void addRelayItem(QMenu& menu, const QString& caption, const char* keyword);

    frmMain& m_window;
    std::array<std::unique_ptr<QMenu>, 4> m_menus;
};

// The About message: product and version, what it does, and its web address.
QString AboutText();
