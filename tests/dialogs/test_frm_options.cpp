#include "dialogs/cutter_boxes.h"
#include "dialogs/frm_more_options.h"
#include "dialogs/frm_options.h"
#include "dialogs/message_boxes.h"
#include "dialogs/numeric_text.h"
#include "widgets/hotspot.h"

#include <QCheckBox>
#include <QDir>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct RecordingMessages : MessageBoxes
{
    struct Shown
    {
        QString text;
        QString title;
    };
    QList<Shown> shown;

    void exclamation(QWidget*, const QString& text, const QString& title) override
    {
        shown.append({text, title});
    }
};

// Settings kept in the given folder alone.
SettingsFolderChoice SettingsIn(const QString& folder)
{
    SettingsFolderChoice settings;
    settings.folder = folder;
    return settings;
}

class OptionsDialogTest : public ::testing::Test
{
protected:
    QTemporaryDir folder;
    RecordingMessages messages;
    OptionsSettings options;
    ExtraSettings extra;

    std::unique_ptr<frmOptions> open()
    {
        auto dialog =
            std::make_unique<frmOptions>(options, SettingsIn(folder.path()), messages);
        dialog->show();
        return dialog;
    }

    static QLineEdit* box(frmOptions& dialog, const char* name)
    {
        return dialog.findChild<QLineEdit*>(QLatin1String(name));
    }

    static void type(frmOptions& dialog, const char* name, const QString& text)
    {
        box(dialog, name)->setText(text);
    }

    static void click(frmOptions& dialog, const char* hotspot)
    {
        QTest::mouseClick(dialog.findChild<Hotspot*>(QLatin1String(hotspot)), Qt::LeftButton);
    }

    QString optionsFilePath() const { return folder.filePath(QStringLiteral("options.ini")); }
};

const char* const TimeBoxes[] = {"txtFromH", "txtFromM", "txtFromS", "txtFromMS",
                                 "txtToH",   "txtToM",   "txtToS",   "txtToMS"};

QStringList BoxTexts(frmOptions& dialog)
{
    QStringList texts;
    for (const char* name : TimeBoxes)
        texts << dialog.findChild<QLineEdit*>(QLatin1String(name))->text();
    return texts;
}

} // namespace

TEST_F(OptionsDialogTest, StoredRangeIsSplitIntoHoursMinutesSecondsAndTheSwitchDrivesTheBoxes)
{
    options = {0, 1, 3723, 30, 5, 0};
    auto dialog = open();
    EXPECT_EQ(BoxTexts(*dialog), (QStringList{u"1"_s, u"2"_s, u"3"_s, u"5"_s, u"0"_s, u"0"_s, u"30"_s, u"0"_s}));

    auto* chkMC = dialog->findChild<QCheckBox*>(QStringLiteral("chkMC"));
    chkMC->click();
    for (const char* name : TimeBoxes)
        EXPECT_FALSE(box(*dialog, name)->isEnabled()) << name;
    chkMC->click();
    for (const char* name : TimeBoxes)
        EXPECT_TRUE(box(*dialog, name)->isEnabled()) << name;
}

TEST_F(OptionsDialogTest, CutterOffHidesStoredTimesAndOkStoresZeros)
{
    options = {1, 0, 3723, 30, 5, 7};
    auto dialog = open();
    EXPECT_EQ(BoxTexts(*dialog), QStringList(8, QStringLiteral("0")));
    EXPECT_FALSE(box(*dialog, "txtToMS")->isEnabled());
    EXPECT_EQ(dialog->findChild<QComboBox*>(QStringLiteral("cmbSR"))->currentText(), u"OFF"_s);

    click(*dialog, "imgOK");
    EXPECT_EQ(dialog->outcome(), SkinnedDialog::Outcome::Accepted);
    EXPECT_EQ(options, (OptionsSettings{1, 0, 0, 0, 0, 0}));
}

TEST_F(OptionsDialogTest, FirstOutOfRangeBoxIsReportedAndFocusedAndNothingIsStored)
{
    options = {0, 1, 10, 20, 0, 0};
    auto dialog = open();
    type(*dialog, "txtFromM", QStringLiteral("60"));
    type(*dialog, "txtToS", QStringLiteral("75"));

    click(*dialog, "imgOK");
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0].text, u"Minutes must less than 60"_s);
    EXPECT_EQ(messages.shown[0].title, u"Min"_s);
    EXPECT_EQ(dialog->focusWidget(), box(*dialog, "txtFromM"));
    EXPECT_EQ(dialog->outcome(), SkinnedDialog::Outcome::Open);
    EXPECT_EQ(options, (OptionsSettings{0, 1, 10, 20, 0, 0}));
    EXPECT_FALSE(QFile::exists(optionsFilePath()));

    type(*dialog, "txtFromM", QStringLiteral("59"));
    click(*dialog, "imgOK");
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(messages.shown[1].text, u"Seconds must less than 60"_s);
    EXPECT_EQ(dialog->focusWidget(), box(*dialog, "txtToS"));
}

TEST(CutterBoxValidation, OrderAndStrictLimit)
{
    CutterBoxes boxes;
    boxes.toM = QStringLiteral("59.5");
    boxes.fromS = QStringLiteral("99");
    EXPECT_EQ(FirstInvalidBox(boxes), CutterBoxError::ToMinutes);
    boxes.toM = QStringLiteral("59");
    EXPECT_EQ(FirstInvalidBox(boxes), CutterBoxError::FromSeconds);
    boxes.fromS = QStringLiteral("-90"); // negative values are not limited
    boxes.fromH = QStringLiteral("500"); // nor are hours
    EXPECT_EQ(FirstInvalidBox(boxes), CutterBoxError::None);
}

TEST_F(OptionsDialogTest, CutterWithNothingToCutIsSwitchedOff)
{
    options = {0, 1, 0, 0, 5, 5};
    auto dialog = open();
    ASSERT_TRUE(box(*dialog, "txtFromH")->isEnabled());
    click(*dialog, "imgOK");
    EXPECT_EQ(options, (OptionsSettings{0, 0, 0, 0, 5, 5}));
}

TEST_F(OptionsDialogTest, FractionThatIsNotANumberKeepsItsValue)
{
    options = {0, 1, 60, 30, 25, 7};
    auto dialog = open();
    type(*dialog, "txtFromMS", QString());
    type(*dialog, "txtToMS", QStringLiteral("12abc"));
    click(*dialog, "imgOK");
    EXPECT_EQ(options.cutStartFraction, 25);
    EXPECT_EQ(options.cutLengthFraction, 7);
}

TEST(CutterBoxReading, NumericPrefixRoundingAndRange)
{
    EXPECT_EQ(NumericPrefix(QStringLiteral("90 s")), 90);
    EXPECT_EQ(NumericPrefix(QStringLiteral(" 1 2")), 12);
    EXPECT_EQ(NumericPrefix(QStringLiteral("abc")), 0);
    EXPECT_EQ(NumericPrefix(QStringLiteral("1.5e1x")), 15);
    EXPECT_EQ(NumericPrefix(QStringLiteral("2e")), 2);

    const OptionsSettings previous{0, 1, 111, 222, 3, 4};
    CutterBoxes boxes;
    boxes.fromS = QStringLiteral("2.5"); // halves go to the even neighbour
    boxes.toS = QStringLiteral("3.5");
    boxes.fromMS = QStringLiteral("05"); // a fraction is a whole number: .05 becomes .5
    boxes.toMS = QStringLiteral(" 6.5 ");
    EXPECT_EQ(OptionsFromBoxes(previous, 0, true, boxes), (OptionsSettings{0, 1, 2, 4, 5, 6}));

    boxes.fromH = QStringLiteral("600000"); // beyond 32 bits of seconds: the old start stays
    boxes.toMS = QStringLiteral("1e12");
    const OptionsSettings stored = OptionsFromBoxes(previous, 1, true, boxes);
    EXPECT_EQ(stored.cutStart, 111);
    EXPECT_EQ(stored.cutLength, 4);
    EXPECT_EQ(stored.cutLengthFraction, 4);
    EXPECT_EQ(OptionsFromBoxes(previous, 0, true, CutterBoxes{}).cutStart, 0);
}

TEST_F(OptionsDialogTest, BackAndCloseMarkStoreNothing)
{
    for (const char* leave : {"imgBack", "imgExit"}) {
        options = {0, 1, 3723, 30, 5, 0};
        auto dialog = open();
        type(*dialog, "txtFromH", QStringLiteral("4"));
        dialog->findChild<QComboBox*>(QStringLiteral("cmbSR"))->setCurrentIndex(1);
        click(*dialog, leave);
        EXPECT_EQ(dialog->outcome(), SkinnedDialog::Outcome::Abandoned) << leave;
        EXPECT_FALSE(dialog->isVisible()) << leave;
        EXPECT_EQ(options, (OptionsSettings{0, 1, 3723, 30, 5, 0})) << leave;
        EXPECT_FALSE(QFile::exists(optionsFilePath())) << leave;

        frmMoreOptions more(extra, SettingsIn(folder.path()));
        more.findChild<QCheckBox*>(QStringLiteral("chkKeepFolders"))->click();
        QTest::mouseClick(more.findChild<Hotspot*>(QLatin1String(leave)), Qt::LeftButton);
        EXPECT_EQ(more.outcome(), SkinnedDialog::Outcome::Abandoned) << leave;
        EXPECT_FALSE(extra.keepFolders) << leave;
        EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("trevalon.ini")))) << leave;
    }
}

TEST_F(OptionsDialogTest, ModalRunEndsWithTheDialog)
{
    frmOptions dialog(options, SettingsIn(folder.path()), messages);
    QTimer::singleShot(0, &dialog, [&dialog] { click(dialog, "imgOK"); });
    EXPECT_EQ(dialog.exec(), SkinnedDialog::Outcome::Accepted);
    EXPECT_TRUE(QFile::exists(optionsFilePath()));
}

TEST_F(OptionsDialogTest, OkRewritesOptionsFileExactly)
{
    auto dialog = open();
    dialog->findChild<QComboBox*>(QStringLiteral("cmbSR"))->setCurrentIndex(1);
    dialog->findChild<QCheckBox*>(QStringLiteral("chkMC"))->click();
    type(*dialog, "txtFromH", QStringLiteral("2"));
    type(*dialog, "txtFromM", QStringLiteral("2"));
    type(*dialog, "txtFromS", QStringLiteral("5"));
    type(*dialog, "txtFromMS", QStringLiteral("05"));
    type(*dialog, "txtToS", QStringLiteral("30"));
    type(*dialog, "txtToMS", QStringLiteral("25"));
    click(*dialog, "imgOK");

    EXPECT_TRUE(dialog->optionsFileWritten());
    EXPECT_EQ(options, (OptionsSettings{1, 1, 7325, 30, 5, 25}));
    QFile file(optionsFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("1\r\n1\r\n7325\r\n30\r\n5\r\n25\r\n"));
}

TEST_F(OptionsDialogTest, UnwritableSettingsFolderKeepsNewValuesInMemory)
{
    // A file where the folder should be: the folder cannot be made, options.ini cannot be written.
    QFile blocker(folder.filePath(QStringLiteral("missing")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto dialog = std::make_unique<frmOptions>(
        options, SettingsIn(folder.filePath(QStringLiteral("missing/deeper"))),
        messages);
    dialog->findChild<QComboBox*>(QStringLiteral("cmbSR"))->setCurrentIndex(1);
    click(*dialog, "imgOK");
    EXPECT_FALSE(dialog->optionsFileWritten());
    EXPECT_EQ(options.soundIndex, 1);
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(OptionsDialogTest, HoverLightsAButtonUntilThePointerCrossesTheBareSurface)
{
    auto dialog = open();
    auto* ok = dialog->findChild<Hotspot*>(QStringLiteral("imgOK"));
    auto* drop = dialog->findChild<Hotspot*>(QStringLiteral("picButtonBR"));
    const qint64 dropAtRest = drop->pictureKey();
    const auto moveOver = [](QWidget* widget) {
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &move);
    };
    ASSERT_FALSE(ok->hasPicture());
    moveOver(ok);
    moveOver(drop);
    EXPECT_TRUE(ok->hasPicture());
    EXPECT_NE(drop->pictureKey(), dropAtRest);
    moveOver(dialog.get());
    EXPECT_FALSE(ok->hasPicture());
    EXPECT_EQ(drop->pictureKey(), dropAtRest);
}

TEST_F(OptionsDialogTest, OptionsDialogKeepsItsClassicLayout)
{
    auto dialog = open();
    EXPECT_EQ(dialog->size(), QSize(330, 180));
    EXPECT_EQ(dialog->findChild<Hotspot*>(QStringLiteral("imgOK"))->geometry(),
              QRect(166, 136, 58, 18));
    EXPECT_EQ(dialog->findChild<Hotspot*>(QStringLiteral("imgBack"))->geometry(),
              QRect(246, 136, 58, 18));
    EXPECT_EQ(dialog->findChild<QComboBox*>(QStringLiteral("cmbSR"))->geometry(),
              QRect(146, 34, 163, 20));
    // Nothing lies below the buttons: Trevalon's own choices are on More Options.
    for (const QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_LE(child->geometry().bottom(), 153) << child->objectName().toStdString();
}

TEST_F(OptionsDialogTest, MoreOptionsStoresItsRowsOnlyOnceChosenAndLeavesOptionsIniAlone)
{
    const QString trevalonIni = folder.filePath(QStringLiteral("trevalon.ini"));
    QFile optionsFile(optionsFilePath());
    ASSERT_TRUE(optionsFile.open(QIODevice::WriteOnly));
    optionsFile.write("1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n");
    optionsFile.close();
    {
        frmMoreOptions dialog(extra, SettingsIn(folder.path()));
        auto* files = dialog.findChild<QComboBox*>(QStringLiteral("cmbFilesAtOnce"));
        ASSERT_NE(files, nullptr);
        EXPECT_EQ(files->currentText(), QStringLiteral("1"));
        EXPECT_GE(files->count(), 4);
        EXPECT_FALSE(dialog.findChild<QCheckBox*>(QStringLiteral("chkKeepFolders"))->isChecked());
        // OK and Back at the bottom right, every row above them.
        const QRect ok = dialog.findChild<Hotspot*>(QStringLiteral("imgOK"))->geometry();
        EXPECT_EQ(dialog.width(), 330);
        EXPECT_EQ(ok, QRect(166, dialog.height() - 44, 58, 18));
        EXPECT_EQ(dialog.findChild<Hotspot*>(QStringLiteral("imgBack"))->geometry(),
                  QRect(246, dialog.height() - 44, 58, 18));
        for (const QWidget* row : {static_cast<QWidget*>(files),
                                   dialog.findChild<QWidget*>(QStringLiteral("chkKeepFolders")),
                                   dialog.findChild<QWidget*>(QStringLiteral("chkVerify"))})
            EXPECT_LT(row->geometry().bottom(), ok.top());
        QTest::mouseClick(dialog.findChild<Hotspot*>(QStringLiteral("imgOK")), Qt::LeftButton);
        EXPECT_FALSE(dialog.extraFileWritten()) << "nothing chosen, nothing written";
        EXPECT_FALSE(extra.filesAtOnce);
        EXPECT_FALSE(QFile::exists(trevalonIni));
    }
    {
        frmMoreOptions dialog(extra, SettingsIn(folder.path()));
        dialog.findChild<QComboBox*>(QStringLiteral("cmbFilesAtOnce"))->setCurrentIndex(1);
        dialog.findChild<QCheckBox*>(QStringLiteral("chkKeepFolders"))->click();
        // A name pattern typed with an unknown field is refused at its field: nothing is stored.
        auto* names = dialog.findChild<QComboBox*>(QStringLiteral("cmbNames"));
        names->setEditText(QStringLiteral("{artist}/{nosuchfield}"));
        QTest::mouseClick(dialog.findChild<Hotspot*>(QStringLiteral("imgOK")), Qt::LeftButton);
        EXPECT_NE(dialog.outcome(), SkinnedDialog::Outcome::Accepted);
        EXPECT_FALSE(QFile::exists(trevalonIni));
        EXPECT_TRUE(names->toolTip().contains(QStringLiteral("nosuchfield")))
            << names->toolTip().toStdString();
        // A ready-made pattern, skipping, copying and verifying.
        names->setCurrentIndex(1);
        dialog.findChild<QComboBox*>(QStringLiteral("cmbExisting"))->setCurrentIndex(1);
        dialog.findChild<QCheckBox*>(QStringLiteral("chkCopySameFormat"))->click();
        dialog.findChild<QCheckBox*>(QStringLiteral("chkVerify"))->click();
        QTest::mouseClick(dialog.findChild<Hotspot*>(QStringLiteral("imgOK")), Qt::LeftButton);
        EXPECT_EQ(dialog.outcome(), SkinnedDialog::Outcome::Accepted);
        EXPECT_TRUE(dialog.extraFileWritten());
    }
    const ExtraSettings chosen{
        2, true,
        LibraryChoices{QStringLiteral("{albumartist}/{album}/{track} {title}"),
                       ExistingOutput::Skip, true, true}};
    EXPECT_EQ(extra, chosen);
    EXPECT_EQ(ReadExtraSettings(folder.path()), chosen);
    ASSERT_TRUE(optionsFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(optionsFile.readAll(), QByteArray("1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n"))
        << "options.ini keeps its bytes";

    // A count chosen on a bigger machine is shown as it is; Back stores nothing.
    extra.filesAtOnce = 12;
    frmMoreOptions again(extra, SettingsIn(folder.path()));
    EXPECT_EQ(again.findChild<QComboBox*>(QStringLiteral("cmbFilesAtOnce"))->currentText(),
              QStringLiteral("12"));
    EXPECT_TRUE(again.findChild<QCheckBox*>(QStringLiteral("chkKeepFolders"))->isChecked());
    QTest::mouseClick(again.findChild<Hotspot*>(QStringLiteral("imgBack")), Qt::LeftButton);
    EXPECT_EQ(ReadExtraSettings(folder.path()).filesAtOnce, 2);
}

// The first choice made in an empty configuration folder takes the shared copy's files in with it.
TEST_F(OptionsDialogTest, FirstOkIntoAnEmptyConfigFolderFillsItFromTheProgramFolder)
{
    const QString program = folder.filePath(QStringLiteral("program"));
    ASSERT_TRUE(QDir().mkpath(program));
    QFile shipped(QDir(program).filePath(QStringLiteral("setup.ini")));
    ASSERT_TRUE(shipped.open(QIODevice::WriteOnly));
    shipped.write("\"9\"\r\n\"1\"\r\n\"1\"\r\n\"/srv/shipped\"\r\n\"1\"\r\n");
    shipped.close();
    SettingsFolderChoice settings = SettingsIn(folder.filePath(QStringLiteral("config")));
    settings.fillFrom = program;

    frmMoreOptions dialog(extra, settings);
    dialog.findChild<QCheckBox*>(QStringLiteral("chkKeepFolders"))->click();
    QTest::mouseClick(dialog.findChild<Hotspot*>(QStringLiteral("imgOK")), Qt::LeftButton);
    EXPECT_TRUE(dialog.extraFileWritten());
    QFile copied(folder.filePath(QStringLiteral("config/setup.ini")));
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), QByteArray("\"9\"\r\n\"1\"\r\n\"1\"\r\n\"/srv/shipped\"\r\n\"1\"\r\n"));
    EXPECT_TRUE(ReadExtraSettings(settings.folder).keepFolders);
}
