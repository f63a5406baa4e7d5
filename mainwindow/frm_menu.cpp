#include "mainwindow/frm_menu.h"

#include "dialogs/help_links.h"
#include "mainwindow/frm_main.h"

#include <QCursor>
#include <QLineEdit>

const std::array<const char*, 8>& FrmMenu::Keywords()
{
    static const std::array<const char*, 8> keywords{
        {"RemoveSelected", "A", "AddaFile", "menuAddaFolder", "menuExit", "menuHelp",
         "menuOption", "menuMoreOptions"}};
    return keywords;
}

QString AboutText()
{
    return QStringLiteral("Trevalon Ver %1.%2.%3\r\n"
                          "Converts your audio and video files into MP3, WMA, OGG, WAV, FLAC, "
                          "AC3, AAC, AMR and MPG audio files.\r\n%4")
        .arg(TREVALON_VERSION_MAJOR)
        .arg(TREVALON_VERSION_MINOR)
        .arg(TREVALON_VERSION_PATCH)
        .arg(ProductPageUrl().toString());
}

FrmMenu::FrmMenu(frmMain& window) : m_window(window)
{
    for (auto& menu : m_menus)
        menu = std::make_unique<QMenu>();
    m_menus[FileMenu]->setTitle(QStringLiteral("File"));
    addRelayItem(*m_menus[FileMenu], QStringLiteral("Add a File(&A)"), "AddaFile");
    addRelayItem(*m_menus[FileMenu], QStringLiteral("Add a Folder(&F)"), "menuAddaFolder");
    m_menus[FileMenu]->addSeparator();
    addRelayItem(*m_menus[FileMenu], QStringLiteral("Exit(&E)"), "menuExit");

    m_menus[OptionsMenu]->setTitle(QStringLiteral("Options"));
    addRelayItem(*m_menus[OptionsMenu], QStringLiteral("Options(&O)"), "menuOption");
    addRelayItem(*m_menus[OptionsMenu], QStringLiteral("More Options(&M)"), "menuMoreOptions");

    m_menus[AboutMenu]->setTitle(QStringLiteral("About"));
    addRelayItem(*m_menus[AboutMenu], QStringLiteral("Help(&H)"), "menuHelp");
    addRelayItem(*m_menus[AboutMenu], QStringLiteral("About(&A)"), "A");

    m_menus[RemoveMenu]->setTitle(QStringLiteral("Remove"));
    addRelayItem(*m_menus[RemoveMenu], QStringLiteral("Remove Selected"), "RemoveSelected");
    QAction* removeAll = m_menus[RemoveMenu]->addAction(QStringLiteral("Remove All"));
    QObject::connect(removeAll, &QAction::triggered, &m_window,
                     [this] { m_window.menuRemoveAll_Click(); });

    QObject::connect(m_window.txtAction(), &QLineEdit::textChanged, &m_window,
                     [this] { Dispatch(); });
}

FrmMenu::~FrmMenu() = default;

void FrmMenu::addRelayItem(QMenu& menu, const QString& caption, const char* keyword)
{
    QAction* action = menu.addAction(caption);
    const QString word = QString::fromLatin1(keyword);
    action->setData(word);
    QObject::connect(action, &QAction::triggered, &m_window,
                     [this, word] { m_window.txtAction()->setText(word); });
}

void FrmMenu::popupMenu(int index, const QPoint& globalPosition)
{
    if (index < FileMenu || index > AboutMenu)
        return;
    m_menus[static_cast<size_t>(index)]->exec(globalPosition);
}

void FrmMenu::popupRemoveAtPointer()
{
    m_menus[RemoveMenu]->exec(QCursor::pos());
}

int FrmMenu::Dispatch()
{
    // Each test reads the box afresh, and they are independent tests, not a chain: an action
    // that changed the box (a nested relay) is seen by the tests after it.
    QLineEdit* box = m_window.txtAction();
    const auto is = [box](const char* keyword) {
        return box->text() == QLatin1String(keyword);
    };
    int ran = 0;
    if (is("RemoveSelected") && ++ran)
        m_window.imgRemove_Click();
    if (is("A") && ++ran)
        m_window.ShowAbout();
    if (is("AddaFile") && ++ran)
        m_window.imgAdd_Click();
    if (is("menuAddaFolder") && ++ran)
        m_window.imgToolbar_Click(6);
    if (is("menuExit") && ++ran)
        m_window.Exit();
    if (is("menuHelp") && ++ran)
        m_window.imgHelp_Click();
    if (is("menuOption") && ++ran)
        m_window.imgToolbar_Click(2);
    if (is("menuMoreOptions") && ++ran)
        m_window.menuMoreOptions_Click();
    box->setText(QString());
    return ran;
}
