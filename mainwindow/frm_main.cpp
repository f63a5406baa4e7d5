#include "mainwindow/frm_main.h"

#include "engine/conversion_settings.h"
#include "engine/output_names.h"
#include "intake/folder_search_queue.h"
#include "intake/staging.h"
#include "mainwindow/batch_wiring.h"
#include "mainwindow/frm_menu.h"
#include "mainwindow/main_controls.h"
#include "mainwindow/main_layout.h"
#include "mainwindow/window_services.h"
#include "platform/code_page.h"
#include "platform/settings_platform.h"
#include "settings/extra_settings.h"
#include "settings/picker_lists.h"
#include "settings/settings_files.h"
#include "widgets/hotspot.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTreeView>

#include <memory>

namespace L = main_layout;

namespace {
constexpr int DefaultBitrateIndex = 7;
constexpr int DefaultRateIndex = 1;
constexpr int DefaultChannelIndex = 1;
constexpr int DefaultFormatIndex = 0;
// How often the unload retries a temporary file that will not go away.
constexpr int UnloadDeleteAttempts = 20;

void SetIndexIfListed(QComboBox* picker, int index)
{
    if (index >= 0 && index < picker->count())
        picker->setCurrentIndex(index);
}
// A folder typed or pasted into the box that setup.ini could not keep is refused at once: the
// box goes back to the last folder it could keep, and the user is told why.
void RefuseFoldersTheSettingsCannotKeep(QLineEdit* box, WindowServices* services, QWidget* owner)
{
    auto kept = std::make_shared<QString>(box->text());
    QObject::connect(box, &QLineEdit::textChanged, owner, [kept](const QString& text) {
        if (SetupFileCanHoldFolder(text))
            *kept = text;
    });
    const auto refuse = [box, services, owner, kept](const QString& text) {
        if (SetupFileCanHoldFolder(text))
            return;
        box->setText(*kept);
        const QString message = FolderWithQuoteMessage(text) +
                                QStringLiteral("\r\nThe output folder stays %1.").arg(*kept);
        services->message(owner, message, QStringLiteral("Path"),
                          WindowServices::Icon::Exclamation);
    };
    QObject::connect(box, &QLineEdit::textEdited, owner, refuse);
}
} // namespace

frmMain::frmMain(MainWindowContext context, QWidget* parent)
    : SkinnedWindow(parent), m_context(std::move(context)), m_files(this)
{
    setWindowTitle(QStringLiteral("Trevalon"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_services = m_context.services;
    if (!m_services) {
        m_ownServices = std::make_unique<DesktopServices>();
        m_services = m_ownServices.get();
    }
    m_codePage = m_context.codePage;
    if (!m_codePage) {
        m_ownCodePage = std::make_unique<NativeCodePage>();
        m_codePage = m_ownCodePage.get();
    }
    m_stager = std::make_unique<SourceStager>(*m_codePage, m_context.stagingFolder);

    // Out of sight until the reveal tick has cut the skin's shape and centred the window.
    m_skin = PaintMainSkin();
    setSkin(m_skin.background);
    placeOffScreen();
    createControls();
    m_imgPB->resize(0, m_imgPB->height());
    m_batch = std::make_unique<MainBatch>(*this);
    m_menus = std::make_unique<FrmMenu>(*this);

    applyPickerDefaults();
    applySavedChoices();
    if (m_txtPath->text().isEmpty())
        m_txtPath->setText(m_context.defaultOutputFolder);
    m_txtPath->setCursorPosition(0);
    RefuseFoldersTheSettingsCannotKeep(m_txtPath, m_services, this);
    applyLabels();
    readOptions();

    // The layout is in logical pixels, which Qt keeps at their designed size on every screen;
    // only the folder box's font follows the screen's twips per pixel, twice as the design has it.
    const int twipsPerPixel = layout::TwipsPerPixelForDpi(screen() ? screen()->logicalDotsPerInch()
                                                                   : 96.0);
    QFont pathFont = m_txtPath->font();
    pathFont.setPointSizeF(layout::ScaleFontSize(layout::ScaleFontSize(pathFont.pointSizeF(),
                                                                       twipsPerPixel),
                                                 twipsPerPixel));
    m_txtPath->setFont(pathFont);
    update();
    armReveal();
    m_picDrop->setGeometry(m_LV->geometry());

    // Staged copies of an earlier run are not needed any more.
    ClearStagingFolder(m_context.stagingFolder);
    connectHoverFeedback();
}

frmMain::~frmMain() = default;

void frmMain::createControls()
{
    MainControls controls = CreateMainControls(*this, m_files);
    m_LV = controls.LV;
    m_pickers = controls.pickers;
    m_picButtons = controls.picButtons;
    m_txtPath = controls.txtPath;
    m_txtAction = controls.txtAction;
    m_toolbar = controls.toolbar;
    m_menuTitles = controls.menuTitles;
    m_imgConvert = controls.imgConvert;
    m_imgBrowse = controls.imgBrowse;
    m_imgHelp = controls.imgHelp;
    m_imgMin = controls.imgMin;
    m_imgExit = controls.imgExit;
    m_lblFeed = controls.lblFeed;
    m_lblVersion = controls.lblVersion;
    m_lblWeb = controls.lblWeb;
    m_lblPB = controls.lblPB;
    m_imgPB = controls.imgPB;
    m_picText = controls.picText;
    m_lblText = controls.lblText;
    m_picDrop = controls.picDrop;
    for (Hotspot* button : m_picButtons)
        button->setPicture(m_skin.imgButton);
    m_LV->viewport()->installEventFilter(this);
    m_picText->installEventFilter(this);
    m_picDrop->installEventFilter(this);
}

void frmMain::applyPickerDefaults()
{
    cmbBR()->setCurrentIndex(DefaultBitrateIndex);
    cmbR()->setCurrentIndex(DefaultRateIndex);
    cmbChannel()->setCurrentIndex(DefaultChannelIndex);
    cmbOF()->setCurrentIndex(DefaultFormatIndex);
    m_txtPath->setText(m_context.defaultOutputFolder);
}

void frmMain::applySavedChoices()
{
    SetupSettings saved = currentSetup();
    if (!ReadSetupFile(m_context.settings.readFolder(), saved))
        return;
    SetIndexIfListed(cmbBR(), saved.bitrateIndex);
    SetIndexIfListed(cmbR(), saved.rateIndex);
    SetIndexIfListed(cmbChannel(), saved.channelIndex);
    // The reader stands the platform's default in for an empty folder; the window's own default
    // is that same folder in the program, and a temporary one in tests.
    m_txtPath->setText(saved.outputFolder == DefaultOutputFolder() ? m_context.defaultOutputFolder
                                                                    : saved.outputFolder);
    SetIndexIfListed(cmbOF(), saved.formatIndex);
}

void frmMain::applyLabels()
{
    m_lblVersion->setText(QStringLiteral("Ver %1.%2.%3")
                              .arg(TREVALON_VERSION_MAJOR)
                              .arg(TREVALON_VERSION_MINOR)
                              .arg(TREVALON_VERSION_PATCH));
    m_lblWeb->setText(QStringLiteral("Trevalon"));
}

void frmMain::readOptions()
{
    const QString folder = m_context.settings.readFolder();
    if (!ReadOptionsFile(folder, m_options)) {
        m_options.soundIndex = 0;
        m_options.cutterOn = 0;
    }
    m_extra = ReadExtraSettings(folder);
}

SetupSettings frmMain::currentSetup() const
{
    SetupSettings setup;
    setup.bitrateIndex = static_cast<std::int16_t>(cmbBR()->currentIndex());
    setup.rateIndex = static_cast<std::int16_t>(cmbR()->currentIndex());
    setup.channelIndex = static_cast<std::int16_t>(cmbChannel()->currentIndex());
    setup.outputFolder = m_txtPath->text();
    setup.formatIndex = static_cast<std::int16_t>(cmbOF()->currentIndex());
    return setup;
}

ConversionSettings frmMain::conversionSettings() const
{
    ConversionSettings settings = ConversionSettings::from(currentSetup(), m_options);
    settings.keepFolders = m_extra.keepFolders;
    settings.loudness = m_extra.loudness;
    settings.library = m_extra.library;
    // A pattern in trevalon.ini that cannot name anything (written by hand) names nothing.
    if (!settings.library.namePattern.isEmpty() && NamePatternProblem(settings.library.namePattern))
        settings.library.namePattern.clear();
    return settings;
}

void frmMain::Exit()
{
    // A configuration folder that starts from the program folder's files takes them in now,
    // before setup.ini replaces its copy of the program folder's.
    m_context.settings.prepareWrite();
    m_setupWritten = WriteSetupFile(m_context.settings.folder, currentSetup());
    close();
}

void frmMain::menuMoreOptions_Click()
{
    m_services->showMoreOptions(this, m_extra, m_context.settings);
}

void frmMain::imgMin_Click()
{
    showMinimized();
    m_imgMin->clearPicture();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    SkinnedWindow::closeEvent(event);
}

void frmMain::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    if (m_folderSearches)
        m_folderSearches->cancel();
    // Every running converter stops and its partial output goes; the entries stay unconverted.
    m_batch->stop();
    // The two fixed scratch files of the staging folder; a file that resists is retried a few
    // times with the events in between, not for ever.
    for (const char* name : {"tmpfile.wav", "tmpfile1.mp3"}) {
        const QString path =
            QDir(m_context.stagingFolder).filePath(QString::fromLatin1(name));
        for (int attempt = 0; attempt < UnloadDeleteAttempts && QFile::exists(path); ++attempt) {
            if (QFile::remove(path))
                ++m_unloadRemovedFiles;
            else
                QCoreApplication::processEvents();
        }
    }
}

void frmMain::imgToolbar_Click(int index)
{
    switch (index) {
    case 0:
        imgAdd_Click();
        break;
    case 6:
        AddFolder();
        break;
    case 1:
        m_menus->popupRemoveAtPointer();
        break;
    case 2:
        m_services->showOptions(this, m_options, m_context.settings);
        break;
    case 3:
        imgHelp_Click();
        break;
    case 4:
        Exit();
        break;
    default:
        break;
    }
}

void frmMain::imgMenu_Click(int index)
{
    if (index < 0 || index > 2)
        return;
    const QRect title = L::MenuTitle[static_cast<size_t>(index)];
    m_menus->popupMenu(index, mapToGlobal(QPoint(title.left(), title.top() + title.height())));
}

void frmMain::imgHelp_Click()
{
    m_services->openHelp(m_context.programFolder);
    m_imgHelp->clearPicture();
}

void frmMain::lblWeb_Click()
{
    m_services->openProductPage(m_lblWeb->text());
}

void frmMain::lblFeed_Click()
{
    m_services->showFeedback(this);
}

void frmMain::ShowAbout()
{
    m_services->message(this, AboutText(), QStringLiteral("About"),
                        WindowServices::Icon::Information);
}
