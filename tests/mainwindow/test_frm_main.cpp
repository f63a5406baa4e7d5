#include "engine/conversion_settings.h"
#include "intake/file_list_model.h"
#include "main_window_fixture.h"
#include "mainwindow/frm_menu.h"
#include "settings/settings_files.h"
#include "widgets/hotspot.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QTreeView>

TEST_F(MainWindowTest, FirstStartShowsTheDefaults)
{
    auto window = start();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Trevalon"));
    EXPECT_EQ(window->cmbOF()->currentText(), QStringLiteral("MP3"));
    EXPECT_EQ(window->cmbBR()->currentText(), QStringLiteral("128"));
    EXPECT_EQ(window->cmbR()->currentText(), QStringLiteral("44100"));
    EXPECT_EQ(window->cmbChannel()->currentText(), QStringLiteral("Stereo"));
    EXPECT_EQ(window->txtPath()->text(), path(QStringLiteral("output")));
    EXPECT_EQ(window->lblVersion()->text(), QStringLiteral("Ver %1.%2.%3")
                                                .arg(TREVALON_VERSION_MAJOR)
                                                .arg(TREVALON_VERSION_MINOR)
                                                .arg(TREVALON_VERSION_PATCH));
    window->lblVersion()->ensurePolished();
    EXPECT_EQ(window->lblVersion()->palette().color(QPalette::WindowText), QColor(180, 235, 225));
    EXPECT_EQ(window->lblWeb()->text(), QStringLiteral("Trevalon"));
    EXPECT_EQ(window->imgPB()->width(), 0);
    EXPECT_TRUE(window->picText()->isVisibleTo(window.get()));
    EXPECT_FALSE(window->picDrop()->isVisibleTo(window.get()));
    EXPECT_EQ(window->picDrop()->geometry(), window->LV()->geometry());
    EXPECT_EQ(window->options(), OptionsSettings{});
    EXPECT_LT(window->pos().x(), -window->width()); // out of sight until the reveal
    EXPECT_TRUE(window->revealTimer().isActive());
}

TEST_F(MainWindowTest, SavedChoicesAreAppliedAndABadIndexKeepsItsDefault)
{
    writeFile(QStringLiteral("settings/setup.ini"), "\"99\"\r\n\"4\"\r\n\"0\"\r\n\"\"\r\n\"3\"\r\n");
    writeFile(QStringLiteral("settings/options.ini"), "1\r\n1\r\n3723\r\n30\r\n5\r\n0\r\n");
    auto window = start();
    EXPECT_EQ(window->cmbBR()->currentText(), QStringLiteral("128"));
    EXPECT_EQ(window->cmbR()->currentText(), QStringLiteral("22050"));
    EXPECT_EQ(window->cmbChannel()->currentText(), QStringLiteral("Mono"));
    EXPECT_EQ(window->cmbOF()->currentText(), QStringLiteral("WAV"));
    EXPECT_EQ(window->txtPath()->text(), path(QStringLiteral("output"))); // empty folder
    EXPECT_EQ(window->options().soundIndex, 1);
    EXPECT_EQ(window->options().cutStart, 3723);
    EXPECT_EQ(window->conversionSettings().formatIndex, 3);

    // The items appended after the first ones are offered and read back like them.
    window.reset();
    writeFile(QStringLiteral("settings/setup.ini"),
              "\"13\"\r\n\"4\"\r\n\"0\"\r\n\"\"\r\n\"11\"\r\n");
    window = start();
    EXPECT_EQ(window->cmbOF()->count(), 12);
    EXPECT_EQ(window->cmbBR()->count(), 14);
    EXPECT_EQ(window->cmbBR()->currentText(), QStringLiteral("V2"));
    EXPECT_EQ(window->cmbOF()->currentText(), QStringLiteral("ALAC"));
}

TEST_F(MainWindowTest, ExitWritesSetupIniAndAPlainCloseWritesNothing)
{
    const QString setup = path(QStringLiteral("settings/setup.ini"));
    {
        auto window = start();
        window->cmbOF()->setCurrentIndex(4);
        window->txtPath()->setText(QStringLiteral("/data/music,new"));
        window->close();
        EXPECT_FALSE(QFile::exists(setup));
        EXPECT_FALSE(window->setupWritten());
    }
    auto window = start();
    window->cmbR()->setCurrentIndex(6);
    window->show();
    window->Exit();
    EXPECT_TRUE(window->setupWritten());
    EXPECT_FALSE(window->isVisible());
    QFile file(setup);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("\"7\"\r\n\"6\"\r\n\"1\"\r\n\"") +
                                  path(QStringLiteral("output")).toUtf8() +
                                  QByteArray("\"\r\n\"0\"\r\n"));
}

// An empty settings folder that starts from the program folder: the window shows the program
// folder's choices, writes nothing at start, and Exit fills the folder before writing setup.ini.
TEST_F(MainWindowTest, EmptySettingsFolderStartsFromTheProgramFolderAndExitFillsIt)
{
    writeFile(QStringLiteral("program/options.ini"), "1\r\n1\r\n3723\r\n30\r\n5\r\n0\r\n");
    writeFile(QStringLiteral("program/setup.ini"), "\"7\"\r\n\"1\"\r\n\"0\"\r\n\"\"\r\n\"3\"\r\n");
    settingsFillFrom = path(QStringLiteral("program"));
    auto window = start();
    EXPECT_EQ(window->options().cutStart, 3723);
    EXPECT_EQ(window->cmbOF()->currentText(), QStringLiteral("WAV"));
    EXPECT_TRUE(QDir(path(QStringLiteral("settings"))).isEmpty());
    window->Exit();
    QFile options(path(QStringLiteral("settings/options.ini")));
    ASSERT_TRUE(options.open(QIODevice::ReadOnly));
    EXPECT_EQ(options.readAll(), QByteArray("1\r\n1\r\n3723\r\n30\r\n5\r\n0\r\n"));
    EXPECT_TRUE(window->setupWritten());
}

TEST_F(MainWindowTest, UnloadRemovesTheTwoScratchFiles)
{
    auto window = start();
    writeFile(QStringLiteral("staging/tmpfile.wav"), "x");
    writeFile(QStringLiteral("staging/tmpfile1.mp3"), "x");
    writeFile(QStringLiteral("staging/keep.tmp"), "x");
    window->close();
    EXPECT_EQ(window->unloadRemovedFiles(), 2);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("staging/tmpfile.wav"))));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("staging/keep.tmp"))));
}

TEST_F(MainWindowTest, RelayRunsEachKeywordAndClearsTheBox)
{
    auto window = start();
    QLineEdit* box = window->txtAction();

    box->setText(QStringLiteral("A"));
    ASSERT_EQ(services.messages.size(), 1);
    EXPECT_EQ(services.messages[0].title, QStringLiteral("About"));
    EXPECT_EQ(services.messages[0].text.split(QStringLiteral("\r\n")).size(), 3);
    EXPECT_TRUE(services.messages[0].text.startsWith(QStringLiteral("Trevalon Ver ")));
    EXPECT_TRUE(box->text().isEmpty());

    box->setText(QStringLiteral("menuOption"));
    box->setText(QStringLiteral("menuMoreOptions"));
    box->setText(QStringLiteral("menuHelp"));
    box->setText(QStringLiteral("AddaFile")); // the dialog is cancelled
    box->setText(QStringLiteral("menuAddaFolder"));
    EXPECT_EQ(services.calls, (QStringList{QStringLiteral("showOptions"),
                                           QStringLiteral("showMoreOptions"),
                                           QStringLiteral("openHelp"),
                                           QStringLiteral("showOpen"),
                                           QStringLiteral("chooseFolder")}));
    EXPECT_TRUE(window->files().isEmpty());

    // Not a keyword (keywords are case-sensitive): nothing runs and the box is emptied.
    services.calls.clear();
    box->setText(QStringLiteral("menuexit"));
    EXPECT_TRUE(services.calls.isEmpty());
    EXPECT_EQ(services.messages.size(), 1);
    EXPECT_TRUE(box->text().isEmpty());
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("settings/setup.ini"))));

    window->show();
    box->setText(QStringLiteral("menuExit"));
    EXPECT_TRUE(window->setupWritten());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, MenusCarryTheirCaptionsAndKeywords)
{
    auto window = start();
    QStringList items;
    for (int m = 0; m < 4; ++m)
        for (QAction* action : window->menus().menu(m).actions())
            items << (action->isSeparator() ? QStringLiteral("-")
                                            : action->text() + QLatin1Char('=') +
                                                  action->data().toString());
    EXPECT_EQ(items, (QStringList{QStringLiteral("Add a File(&A)=AddaFile"),
                                  QStringLiteral("Add a Folder(&F)=menuAddaFolder"),
                                  QStringLiteral("-"), QStringLiteral("Exit(&E)=menuExit"),
                                  QStringLiteral("Options(&O)=menuOption"),
                                  QStringLiteral("More Options(&M)=menuMoreOptions"),
                                  QStringLiteral("Help(&H)=menuHelp"), QStringLiteral("About(&A)=A"),
                                  QStringLiteral("Remove Selected=RemoveSelected"),
                                  QStringLiteral("Remove All=")}));
    // Remove All acts without passing through the relay box.
    window->files().AppendEntry(QStringLiteral("/a.mp3"), QStringLiteral("/a.mp3"),
                                QStringLiteral("/a.mp3"));
    QSignalSpy relay(window->txtAction(), &QLineEdit::textChanged);
    window->menus().menu(FrmMenu::RemoveMenu).actions().last()->trigger();
    EXPECT_TRUE(window->files().isEmpty());
    EXPECT_EQ(relay.count(), 0);
}

TEST_F(MainWindowTest, HoverLightsOneToolbarMemberAndResetFollowsItsOrder)
{
    auto window = start();
    window->show();
    const MainSkin& skin = window->skinStores();
    move(window->imgToolbar(0));
    EXPECT_EQ(window->imgToolbar(0)->pictureKey(), skin.imgButtonData[0].cacheKey());
    move(window->imgToolbar(6));
    EXPECT_FALSE(window->imgToolbar(0)->hasPicture());
    EXPECT_EQ(window->imgToolbar(6)->pictureKey(), skin.imgButtonData[6].cacheKey());
    press(window->imgToolbar(6));
    for (int i : {0, 1, 2, 3, 4, 6})
        EXPECT_FALSE(window->imgToolbar(i)->hasPicture()) << i;

    press(window->imgBrowse());
    EXPECT_EQ(window->imgBrowse()->pictureKey(), skin.imgBrowseDark.cacheKey());
    move(window->imgBrowse());
    EXPECT_EQ(window->imgBrowse()->pictureKey(), skin.imgBrowseLight.cacheKey());

    // Single hotspots stay lit side by side until the pointer crosses the bare window.
    move(window->imgHelp());
    move(window->imgMin());
    move(window->picButton(2));
    move(window->lblFeed());
    move(window->imgMenu(1));
    move(window->imgConvert());
    window->picDrop()->show();
    EXPECT_TRUE(window->imgHelp()->hasPicture());
    EXPECT_TRUE(window->imgMin()->hasPicture());
    EXPECT_EQ(window->picButton(2)->pictureKey(), skin.imgButtonLight.cacheKey());
    EXPECT_TRUE(window->lblFeed()->font().bold());
    // Lit, the bold caption still fits its label.
    EXPECT_LE(window->lblFeed()->fontMetrics().horizontalAdvance(window->lblFeed()->text()),
              window->lblFeed()->contentsRect().width());
    EXPECT_EQ(window->imgMenu(1)->pictureKey(), skin.imgMenuData[1].cacheKey());
    // Moving over a control that is not a hotspot resets nothing.
    move(window->LV()->viewport());
    move(window->cmbOF());
    EXPECT_TRUE(window->imgHelp()->hasPicture());

    move(window.get(), QPoint(300, 480));
    EXPECT_FALSE(window->imgHelp()->hasPicture());
    EXPECT_FALSE(window->imgMin()->hasPicture());
    EXPECT_FALSE(window->imgBrowse()->hasPicture());
    EXPECT_FALSE(window->imgMenu(1)->hasPicture());
    EXPECT_FALSE(window->imgConvert()->hasPicture());
    EXPECT_FALSE(window->lblFeed()->font().bold());
    EXPECT_FALSE(window->picDrop()->isVisible());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(window->picButton(i)->pictureKey(), skin.imgButton.cacheKey()) << i;
}

TEST_F(MainWindowTest, DroppedFilesAndFoldersJoinTheListInDropOrder)
{
    writeFile(QStringLiteral("in/Ünïcødé ♫ song.flac"), "x");
    writeFile(QStringLiteral("in/album/b.wav"), "x");
    writeFile(QStringLiteral("in/album/a.mp3"), "x");
    writeFile(QStringLiteral("in/album/sub/c.ogg"), "x");
    writeFile(QStringLiteral("in/z.wma"), "x");
    auto window = start();
    window->show();
    const QList<QUrl> urls{QUrl::fromLocalFile(path(QStringLiteral("in/Ünïcødé ♫ song.flac"))),
                           QUrl::fromLocalFile(path(QStringLiteral("in/album"))),
                           QUrl::fromLocalFile(path(QStringLiteral("in/z.wma")))};

    // A drag over the list brings up the overlay; the drop on it appends and hides it again. The
    // folder is searched in the background under the busy notice, and the file dropped after it
    // waits for its search.
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->LV()->viewport(), &enter);
    EXPECT_TRUE(window->picDrop()->isVisible());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->picDrop(), &drop);
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    EXPECT_FALSE(window->picDrop()->isVisible());
    EXPECT_EQ(window->lblText()->text(), QStringLiteral("Searching Files..."));
    QTRY_VERIFY(!window->folderSearchRunning());
    EXPECT_FALSE(window->picText()->isVisible());

    QStringList queue, formats, addedFolders;
    for (const FileEntry& entry : window->files().entries()) {
        queue << QDir(temp.path()).relativeFilePath(entry.queuePath);
        formats << entry.formatCell;
        addedFolders << entry.addedFolder;
    }
    EXPECT_EQ(queue, (QStringList{QStringLiteral("in/Ünïcødé ♫ song.flac"),
                                  QStringLiteral("in/album/a.mp3"), QStringLiteral("in/album/b.wav"),
                                  QStringLiteral("in/album/sub/c.ogg"), QStringLiteral("in/z.wma")}));
    EXPECT_EQ(formats, (QStringList{QStringLiteral("LAC"), QStringLiteral("MP3"),
                                    QStringLiteral("WAV"), QStringLiteral("OGG"),
                                    QStringLiteral("WMA")}));
    EXPECT_TRUE(window->files().entry(0).displayText.endsWith(QStringLiteral("Ünïcødé ♫ song.flac")));
    const QString album = path(QStringLiteral("in/album")); // kept by its files, for Keep folders
    EXPECT_EQ(addedFolders, (QStringList{QString(), album, album, album, QString()}));

    // A drop without files adds nothing but still hides the overlay.
    window->picDrop()->show();
    window->dropOnOverlay({QUrl(QStringLiteral("https://trevalon.example/x.mp3"))});
    EXPECT_EQ(window->files().count(), 5);
    EXPECT_FALSE(window->picDrop()->isVisible());

    // The window's thread returns from a folder drop before anything is found; closing the window
    // stops the search and forgets the folder waiting behind it: nothing arrives afterwards.
    window->menuRemoveAll_Click();
    window->dropOnList({QUrl::fromLocalFile(path(QStringLiteral("in/album"))),
                        QUrl::fromLocalFile(path(QStringLiteral("in")))});
    EXPECT_TRUE(window->files().isEmpty());
    EXPECT_TRUE(window->folderSearchRunning());
    EXPECT_TRUE(window->picText()->isVisible());
    window->close();
    QTRY_VERIFY(!window->folderSearchRunning());
    QTest::qWait(20);
    EXPECT_TRUE(window->files().isEmpty());
}

TEST_F(MainWindowTest, FoldersChosenDuringASearchAreSearchedInTurn)
{
    writeFile(QStringLiteral("first/b.mp3"), "x");
    writeFile(QStringLiteral("first/a.mp3"), "x");
    writeFile(QStringLiteral("second/c.wav"), "x");
    writeFile(QStringLiteral("single.ogg"), "x");
    auto window = start();
    window->show();
    // The notice must stay up over the list until the last search has ended.
    QList<bool> noticeShownAtEachAdd;
    QObject::connect(&window->files(), &QAbstractItemModel::rowsInserted,
                     [&] { noticeShownAtEachAdd << window->picText()->isVisible(); });

    services.folderAnswer = path(QStringLiteral("first"));
    window->AddFolder();
    services.folderAnswer = path(QStringLiteral("second"));
    window->AddFolder();
    services.fileAnswer = path(QStringLiteral("single.ogg"));
    window->imgAdd_Click();
    EXPECT_EQ(window->files().count(), 1);
    EXPECT_TRUE(window->picText()->isVisible());
    EXPECT_EQ(window->lblText()->text(), QStringLiteral("Searching Files..."));

    QTRY_VERIFY(!window->folderSearchRunning());
    QStringList queue;
    for (const FileEntry& entry : window->files().entries())
        queue << QDir(temp.path()).relativeFilePath(entry.queuePath);
    EXPECT_EQ(queue, (QStringList{QStringLiteral("single.ogg"), QStringLiteral("first/a.mp3"),
                                  QStringLiteral("first/b.mp3"), QStringLiteral("second/c.wav")}));
    EXPECT_EQ(noticeShownAtEachAdd, (QList<bool>{true, true, true}));
    EXPECT_FALSE(window->picText()->isVisible());
}

TEST_F(MainWindowTest, LabelsAndMarksAnswerRealClicks)
{
    auto window = start();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    // A click on the product name opens the web page instead of dragging the window.
    QTest::mouseClick(window->lblWeb(), Qt::LeftButton);
    QTest::mouseClick(window->lblFeed(), Qt::LeftButton);
    window->imgHelp()->setPicture(window->skinStores().imgHelpLight);
    QTest::mouseClick(window->imgHelp(), Qt::LeftButton);
    EXPECT_EQ(services.calls, (QStringList{QStringLiteral("openProductPage"),
                                           QStringLiteral("showFeedback"),
                                           QStringLiteral("openHelp")}));
    EXPECT_FALSE(window->imgHelp()->hasPicture());

    QTest::mouseClick(window->imgMin(), Qt::LeftButton);
    EXPECT_TRUE(window->windowState() & Qt::WindowMinimized);
    window->showNormal();
    QTest::mouseClick(window->imgExit(), Qt::LeftButton);
    EXPECT_TRUE(window->setupWritten());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, PlaceholderFollowsAddsRemovesAndTheFolderSearch)
{
    writeFile(QStringLiteral("music/one.mp3"), "x");
    auto window = start();
    window->show();
    services.fileAnswer = path(QStringLiteral("music/one.mp3"));
    window->imgAdd_Click();
    EXPECT_EQ(services.offeredFilters.size(), 15);
    EXPECT_EQ(services.offeredFilters.last(), QStringLiteral("M4A Audio(*.m4a) (*.m4a)"));
    EXPECT_EQ(services.offeredFilters.first(), QStringLiteral("All Media Formats(*.*) (*)"));
    ASSERT_EQ(window->files().count(), 1);
    EXPECT_EQ(window->files().entry(0).queuePath, services.fileAnswer);
    EXPECT_EQ(window->files().entry(0).formatCell, QStringLiteral("MP3"));
    EXPECT_FALSE(window->picText()->isVisible());

    // Every row's tooltip is its whole path, shortened in the list or not, over either column,
    // and never the staged copy the converter is given.
    const QString longPath = QStringLiteral("/srv/") + QString(300, QLatin1Char('d')) +
                             QStringLiteral("/long.flac");
    window->files().AppendEntry(path(QStringLiteral("staging/tmpfile.flac")), longPath, longPath);
    for (const auto& [row, column] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{1, 1}}) {
        QToolTip::hideText();
        const QPoint at = window->LV()->visualRect(window->files().index(row, column)).center();
        QHelpEvent tip(QEvent::ToolTip, at, window->LV()->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(window->LV()->viewport(), &tip);
        EXPECT_EQ(QToolTip::text(), row == 0 ? services.fileAnswer : longPath) << row << column;
    }
    QToolTip::hideText();
    window->files().removeEntry(1);

    // Remove without a selection removes nothing; with one, the last entry goes and the
    // placeholder returns.
    window->imgRemove_Click();
    EXPECT_EQ(window->files().count(), 1);
    window->LV()->setCurrentIndex(window->files().index(0, 0));
    window->txtAction()->setText(QStringLiteral("RemoveSelected"));
    EXPECT_TRUE(window->files().isEmpty());
    EXPECT_TRUE(window->picText()->isVisible());

    // An empty folder search leaves "Searching Files..." until Remove All.
    QDir().mkpath(path(QStringLiteral("empty")));
    services.folderAnswer = path(QStringLiteral("empty"));
    window->AddFolder();
    EXPECT_EQ(window->lblText()->text(), QStringLiteral("Searching Files..."));
    QTRY_VERIFY(!window->folderSearchRunning());
    EXPECT_TRUE(window->picText()->isVisible());
    EXPECT_EQ(window->lblText()->text(), QStringLiteral("Searching Files..."));
    services.folderAnswer = path(QStringLiteral("music"));
    window->AddFolder();
    QTRY_VERIFY(!window->folderSearchRunning());
    EXPECT_EQ(window->files().count(), 1);
    EXPECT_FALSE(window->picText()->isVisible());
    window->menuRemoveAll_Click();
    EXPECT_TRUE(window->picText()->isVisible());
    EXPECT_EQ(window->lblText()->text(), QStringLiteral("Drag & Drop Files Here"));
}

TEST_F(MainWindowTest, StartOnAnEmptyListAsksForAFile)
{
    auto window = start();
    window->imgStart_Click();
    ASSERT_EQ(services.messages.size(), 1);
    EXPECT_EQ(services.messages[0].text, QStringLiteral("Please add a file"));
    EXPECT_EQ(services.messages[0].title, QStringLiteral("Add"));
    EXPECT_EQ(services.messages[0].icon, WindowServices::Icon::Exclamation);
    EXPECT_FALSE(window->batchBusy());
    EXPECT_TRUE(window->imgToolbar(0)->isEnabled());
    EXPECT_TRUE(window->imgConvert()->isEnabled());
    EXPECT_TRUE(window->imgMenu(2)->isEnabled());
}

TEST_F(MainWindowTest, BrowseFallsBackToTheDefaultFolderWithAMessage)
{
    auto window = start();
    QDir().mkpath(path(QStringLiteral("chosen")));
    services.folderAnswer = path(QStringLiteral("chosen"));
    window->imgBrowse_Click();
    EXPECT_EQ(window->txtPath()->text(), path(QStringLiteral("chosen")));
    EXPECT_TRUE(services.messages.isEmpty());

    // Cancelled, with no default folder on disk: the default and the "Path" message.
    services.folderAnswer.clear();
    window->imgBrowse_Click();
    EXPECT_EQ(window->txtPath()->text(), path(QStringLiteral("output")));
    ASSERT_EQ(services.messages.size(), 1);
    EXPECT_EQ(services.messages[0].title, QStringLiteral("Path"));
    EXPECT_EQ(services.messages[0].text,
              QStringLiteral("The path has unknown characters.\r\nChanged to the default path ") +
                  path(QStringLiteral("output")) + QLatin1Char('.'));

    // Cancelled with the default folder present: silently the default.
    QDir().mkpath(path(QStringLiteral("output")));
    window->txtPath()->setText(path(QStringLiteral("chosen")));
    window->imgBrowse_Click();
    EXPECT_EQ(window->txtPath()->text(), path(QStringLiteral("output")));
    EXPECT_EQ(services.messages.size(), 1);

    // setup.ini cannot keep a folder whose name holds a double quote: chosen or typed, it is
    // refused with a message and the box keeps the folder it had, through Exit as well.
    const QString quoted = path(QStringLiteral("my \"x\" music"));
    QDir().mkpath(quoted);
    services.folderAnswer = quoted;
    window->imgBrowse_Click();
    EXPECT_EQ(window->txtPath()->text(), path(QStringLiteral("output")));
    ASSERT_EQ(services.messages.size(), 2);
    EXPECT_TRUE(services.messages[1].text.contains(QStringLiteral("double quote")));
    window->txtPath()->setFocus();
    window->txtPath()->end(false);
    QTest::keyClicks(window->txtPath(), QStringLiteral("/a\""));
    EXPECT_EQ(window->txtPath()->text(), path(QStringLiteral("output/a")));
    EXPECT_EQ(services.messages.size(), 3);
    window->Exit();
    SetupSettings saved;
    ASSERT_TRUE(ReadSetupFile(path(QStringLiteral("settings")), saved));
    EXPECT_EQ(saved.outputFolder, path(QStringLiteral("output/a")));
}
