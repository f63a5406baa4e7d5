#include "platform/settings_platform.h"
#include "settings/extra_settings.h"
#include "settings/settings_files.h"
#include "settings/settings_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class SettingsFiles : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString folder() const { return dir.path(); }

    void put(const char* name, const QByteArray& bytes)
    {
        QFile file(QDir(folder()).filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray bytesOf(const char* name) const
    {
        QFile file(QDir(folder()).filePath(QString::fromUtf8(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // A record whose every field differs from the defaults, to see which fields a read changed.
    static SetupSettings currentSetup()
    {
        SetupSettings setup;
        setup.bitrateIndex = 3;
        setup.rateIndex = 5;
        setup.channelIndex = 0;
        setup.outputFolder = QStringLiteral("/srv/current");
        setup.formatIndex = 8;
        return setup;
    }
};

TEST_F(SettingsFiles, WithoutFilesTheDefaultsHoldAndTheFolderFallsBack)
{
    SetupSettings setup;
    EXPECT_FALSE(ReadSetupFile(folder(), setup));
    EXPECT_EQ(setup.bitrateIndex, 7);
    EXPECT_EQ(setup.rateIndex, 1);
    EXPECT_EQ(setup.channelIndex, 1);
    EXPECT_EQ(setup.formatIndex, 0);
    EXPECT_EQ(setup.outputFolder, QDir::homePath() + QStringLiteral("/output"));
    EXPECT_EQ(setup.outputFolder, DefaultOutputFolder());

    // Without options.ini the sound is on and the cutter off; the times are left alone.
    OptionsSettings options{1, 1, 10, 20, 3, 4};
    EXPECT_FALSE(ReadOptionsFile(folder(), options));
    EXPECT_EQ(options, (OptionsSettings{0, 0, 10, 20, 3, 4}));
}

TEST_F(SettingsFiles, SetupFileIsQuotedFieldsEachEndedByCrLf)
{
    SetupSettings setup;
    setup.outputFolder = QStringLiteral("C:\\output");
    ASSERT_TRUE(WriteSetupFile(folder(), setup));
    EXPECT_EQ(bytesOf("setup.ini"),
              QByteArray("\"7\"\r\n\"1\"\r\n\"1\"\r\n\"C:\\output\"\r\n\"0\"\r\n"));

    // A shorter rewrite leaves nothing of the longer file behind.
    setup.outputFolder = QStringLiteral("/o");
    setup.bitrateIndex = 11;
    ASSERT_TRUE(WriteSetupFile(folder(), setup));
    EXPECT_EQ(bytesOf("setup.ini"), QByteArray("\"11\"\r\n\"1\"\r\n\"1\"\r\n\"/o\"\r\n\"0\"\r\n"));
}

TEST_F(SettingsFiles, OptionsFileIsBareNumbersInStartLengthFractionOrder)
{
    const OptionsSettings cutter{0, 1, 3723, 30, 5, 0};
    ASSERT_TRUE(WriteOptionsFile(folder(), cutter));
    EXPECT_EQ(bytesOf("options.ini"), QByteArray("0\r\n1\r\n3723\r\n30\r\n5\r\n0\r\n"));

    OptionsSettings read;
    ASSERT_TRUE(ReadOptionsFile(folder(), read));
    EXPECT_EQ(read, cutter);

    const OptionsSettings negative{1, 0, -5, 2147483647, -2147483647 - 1, 7};
    ASSERT_TRUE(WriteOptionsFile(folder(), negative));
    EXPECT_EQ(bytesOf("options.ini"),
              QByteArray("1\r\n0\r\n-5\r\n2147483647\r\n-2147483648\r\n7\r\n"));
    ASSERT_TRUE(ReadOptionsFile(folder(), read));
    EXPECT_EQ(read, negative);
}

TEST_F(SettingsFiles, FoldersWithCommasAndNonAsciiLettersRoundTrip)
{
    const QString folders[] = {
        QStringLiteral("D:\\music,new"),
        QString::fromUtf8("/home/zoë/Musik, neu/音楽 "),
    };
    for (const QString& outputFolder : folders) {
        SetupSettings written = currentSetup();
        written.outputFolder = outputFolder;
        ASSERT_TRUE(WriteSetupFile(folder(), written));
        SetupSettings read;
        ASSERT_TRUE(ReadSetupFile(folder(), read));
        EXPECT_EQ(read.outputFolder, outputFolder);
        EXPECT_EQ(read.bitrateIndex, 3);
        EXPECT_EQ(read.rateIndex, 5);
        EXPECT_EQ(read.channelIndex, 0);
        EXPECT_EQ(read.formatIndex, 8);
    }
    // Stored as UTF-8, the encoding of file names here.
    EXPECT_TRUE(bytesOf("setup.ini").contains(QString::fromUtf8("zoë").toUtf8()));
}

TEST_F(SettingsFiles, UnusableIndexLeavesOnlyItsOwnPicker)
{
    put("setup.ini", "\"14\"\r\n\"-1\"\r\n\"two\"\r\n\"/music\"\r\n\"6\"\r\n");
    SetupSettings setup = currentSetup();
    ASSERT_TRUE(ReadSetupFile(folder(), setup));
    EXPECT_EQ(setup.bitrateIndex, 3);
    EXPECT_EQ(setup.rateIndex, 5);
    EXPECT_EQ(setup.channelIndex, 0);
    EXPECT_EQ(setup.outputFolder, QStringLiteral("/music"));
    EXPECT_EQ(setup.formatIndex, 6);

    // The last position of each list is accepted, halves round to even, bare numbers do too.
    put("setup.ini", "\"13\"\r\n\"3.5\"\r\n\"1\"\r\n\"/m\"\r\n 2.5 \r\n");
    ASSERT_TRUE(ReadSetupFile(folder(), setup));
    EXPECT_EQ(setup.bitrateIndex, 13);
    EXPECT_EQ(setup.rateIndex, 4);
    EXPECT_EQ(setup.channelIndex, 1);
    EXPECT_EQ(setup.formatIndex, 2);

    put("setup.ini", "\"0\"\r\n\"8\"\r\n\"2\"\r\n\"/m\"\r\n\"12\"\r\n");
    ASSERT_TRUE(ReadSetupFile(folder(), setup));
    EXPECT_EQ(setup.bitrateIndex, 0);
    EXPECT_EQ(setup.rateIndex, 4);
    EXPECT_EQ(setup.channelIndex, 1);
    EXPECT_EQ(setup.formatIndex, 2);
    // The last format (ALAC) is read like any other.
    put("setup.ini", "\"0\"\r\n\"8\"\r\n\"2\"\r\n\"/m\"\r\n\"11\"\r\n");
    ASSERT_TRUE(ReadSetupFile(folder(), setup));
    EXPECT_EQ(setup.formatIndex, 11);
}

TEST_F(SettingsFiles, FieldsMissingAtTheEndKeepTheirValues)
{
    put("setup.ini", "\"2\"\r\n\"3\"\r\n");
    SetupSettings setup = currentSetup();
    ASSERT_TRUE(ReadSetupFile(folder(), setup));
    EXPECT_EQ(setup.bitrateIndex, 2);
    EXPECT_EQ(setup.rateIndex, 3);
    EXPECT_EQ(setup.channelIndex, 0);
    EXPECT_EQ(setup.outputFolder, QStringLiteral("/srv/current"));
    EXPECT_EQ(setup.formatIndex, 8);

    // Not even the text of the last field read passes on to the next one.
    put("options.ini", "1\r\n1\r\n90\r\n");
    OptionsSettings options{0, 0, 0, 40, 6, 7};
    ASSERT_TRUE(ReadOptionsFile(folder(), options));
    EXPECT_EQ(options, (OptionsSettings{1, 1, 90, 40, 6, 7}));
}

TEST_F(SettingsFiles, EmptyFolderFieldBecomesTheDefaultFolder)
{
    put("setup.ini", "\"7\"\r\n\"1\"\r\n\"1\"\r\n\"\"\r\n\"0\"\r\n");
    SetupSettings setup = currentSetup();
    ASSERT_TRUE(ReadSetupFile(folder(), setup));
    EXPECT_EQ(setup.outputFolder, DefaultOutputFolder());
    EXPECT_EQ(setup.formatIndex, 0);
}

TEST_F(SettingsFiles, TwoFieldsOnOneLineAreReadAsTwo)
{
    put("setup.ini", "7,1\r\n0\r\n\"/x\",4\r\n");
    SetupSettings setup = currentSetup();
    ASSERT_TRUE(ReadSetupFile(folder(), setup));
    EXPECT_EQ(setup.bitrateIndex, 7);
    EXPECT_EQ(setup.rateIndex, 1);
    EXPECT_EQ(setup.channelIndex, 0);
    EXPECT_EQ(setup.outputFolder, QStringLiteral("/x"));
    EXPECT_EQ(setup.formatIndex, 4);
}

TEST_F(SettingsFiles, OptionsTakeNumericPrefixesThatFitTheirField)
{
    put("options.ini", "1\r\n1\r\n90 seconds\r\nabc\r\n2.5\r\n3.5\r\n");
    OptionsSettings options{0, 0, 1, 2, 3, 4};
    ASSERT_TRUE(ReadOptionsFile(folder(), options));
    EXPECT_EQ(options, (OptionsSettings{1, 1, 90, 0, 2, 4}));

    // 16 bits for the first two fields, 32 for the rest; rounding comes before the width test.
    put("options.ini", "32768\r\n32767.5\r\n40000\r\n2147483648\r\n-2147483649\r\n-32769\r\n");
    options = OptionsSettings{1, 1, 5, 6, 7, 8};
    ASSERT_TRUE(ReadOptionsFile(folder(), options));
    EXPECT_EQ(options, (OptionsSettings{1, 1, 40000, 6, 7, -32769}));

    put("options.ini", "32767\r\n-32768\r\n0\r\n0\r\n0\r\n0\r\n");
    ASSERT_TRUE(ReadOptionsFile(folder(), options));
    EXPECT_EQ(options.soundIndex, 32767);
    EXPECT_EQ(options.cutterOn, -32768);
}

TEST_F(SettingsFiles, FolderNamedLikeAFileCountsAsNoFile)
{
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("setup.ini")));
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("options.ini")));
    SetupSettings setup = currentSetup();
    EXPECT_FALSE(ReadSetupFile(folder(), setup));
    EXPECT_EQ(setup.outputFolder, QStringLiteral("/srv/current"));
    OptionsSettings options{1, 1, 2, 3, 4, 5};
    EXPECT_FALSE(ReadOptionsFile(folder(), options));
    EXPECT_EQ(options, (OptionsSettings{0, 0, 2, 3, 4, 5}));
    // Nor can a file be written over it; the writes say so.
    EXPECT_FALSE(WriteSetupFile(folder(), setup));
    EXPECT_FALSE(WriteOptionsFile(folder(), options));
}

TEST_F(SettingsFiles, WritesIntoAMissingFolderReportFailure)
{
    const QString missing = QDir(folder()).filePath(QStringLiteral("no/such"));
    EXPECT_FALSE(WriteSetupFile(missing, SetupSettings{}));
    EXPECT_FALSE(WriteOptionsFile(missing, OptionsSettings{}));
    EXPECT_FALSE(QDir(missing).exists());
}

// trevalon.ini holds the choices beyond the two classic files; whatever is wrong with it means
// defaults, and writing it leaves setup.ini and options.ini alone.
TEST_F(SettingsFiles, ExtraSettingsRoundTripAndFallBackToDefaults)
{
    EXPECT_EQ(ReadExtraSettings(folder()), ExtraSettings{});

    put("setup.ini", "\"7\"\r\n");
    put("options.ini", "0\r\n");
    const ExtraSettings chosen{3, true};
    ASSERT_TRUE(WriteExtraSettings(folder(), chosen));
    EXPECT_EQ(ReadExtraSettings(folder()), chosen);
    EXPECT_EQ(bytesOf("setup.ini"), QByteArray("\"7\"\r\n"));
    EXPECT_EQ(bytesOf("options.ini"), QByteArray("0\r\n"));

    // "Not chosen" survives a write, so trevalon-batch keeps its own default.
    ASSERT_TRUE(WriteExtraSettings(folder(), ExtraSettings{std::nullopt, true}));
    EXPECT_EQ(ReadExtraSettings(folder()), (ExtraSettings{std::nullopt, true}));

    for (const QByteArray& damaged :
         {QByteArray("[Conversion]\nFilesAtOnce=0\nKeepFolders=maybe\n"),
          QByteArray("[Conversion]\nFilesAtOnce=-4\n"), QByteArray("[Conversion]\nFilesAtOnce=9999\n"),
          QByteArray("[Conversion]\nFilesAtOnce=two\n"), QByteArray("\x00\xff\xfe[[[=\n", 8)}) {
        put("trevalon.ini", damaged);
        EXPECT_EQ(ReadExtraSettings(folder()), ExtraSettings{}) << damaged.constData();
    }

    ASSERT_TRUE(QFile::remove(QDir(folder()).filePath(QStringLiteral("trevalon.ini"))));
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("trevalon.ini")));
    EXPECT_EQ(ReadExtraSettings(folder()), ExtraSettings{});
    EXPECT_FALSE(WriteExtraSettings(folder(), chosen));
}

class SettingsFolderChoiceTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString program() const { return QDir(dir.path()).filePath(QStringLiteral("bin")); }
    QString config() const
    {
        return QDir(dir.path()).filePath(QStringLiteral("home/.config/Trevalon"));
    }
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(program())); }
};

const auto NeverWritable = [](const QString&, const QString&) { return false; };

TEST_F(SettingsFolderChoiceTest, WritableProgramFolderIsUsed)
{
    const SettingsFolderChoice choice = SettingsFolder(program(), config());
    EXPECT_EQ(choice.folder, program());
    EXPECT_TRUE(choice.inProgramFolder);
    EXPECT_FALSE(QDir(config()).exists());
    // The write probe leaves nothing behind.
    EXPECT_TRUE(QDir(program())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
}

TEST_F(SettingsFolderChoiceTest, ReadOnlyProgramFolderSendsSettingsToTheConfigFolder)
{
    // Tests run as root, for whom permission bits never forbid a write; the check is injected.
    const SettingsFolderChoice choice = SettingsFolder(program(), config(), NeverWritable);
    EXPECT_EQ(choice.folder, config());
    EXPECT_FALSE(choice.inProgramFolder);
    EXPECT_TRUE(choice.available);
    EXPECT_TRUE(QDir(config()).exists());
    EXPECT_TRUE(WriteOptionsFile(choice.folder, OptionsSettings{}));
}

// What Exit writes is what the next start reads, wherever the files could be written: a read-only
// program folder holding settings hands them to the configuration folder, and from then on the
// newest files are read.
TEST_F(SettingsFolderChoiceTest, EachStartReadsWhatTheLastExitWrote)
{
    SetupSettings shipped;
    shipped.formatIndex = 4;
    ASSERT_TRUE(WriteSetupFile(program(), shipped));
    ASSERT_TRUE(WriteOptionsFile(program(), OptionsSettings{1, 1, 2, 3, 4, 5}));

    // Only trevalon.ini could not be written there: the whole set moves.
    const auto extraNotWritable = [](const QString&, const QString& name) {
        return name != QStringLiteral("trevalon.ini");
    };
    SettingsFolderChoice choice = SettingsFolder(program(), config(), extraNotWritable);
    ASSERT_EQ(choice.folder, config());
    EXPECT_TRUE(choice.notCopied.isEmpty());
    SetupSettings read;
    ASSERT_TRUE(ReadSetupFile(choice.folder, read));
    EXPECT_EQ(read.formatIndex, 4);
    OptionsSettings options;
    ASSERT_TRUE(ReadOptionsFile(choice.folder, options));
    EXPECT_EQ(options, (OptionsSettings{1, 1, 2, 3, 4, 5}));

    // Exit writes the user's choice; the next start, even with the program folder writable
    // again, reads it and keeps the options.
    QTest::qWait(20);
    SetupSettings chosen = read;
    chosen.formatIndex = 6;
    ASSERT_TRUE(WriteSetupFile(choice.folder, chosen));
    choice = SettingsFolder(program(), config());
    EXPECT_EQ(choice.folder, config());
    ASSERT_TRUE(ReadSetupFile(choice.folder, read));
    EXPECT_EQ(read.formatIndex, 6);
    ASSERT_TRUE(ReadOptionsFile(choice.folder, options));
    EXPECT_EQ(options, (OptionsSettings{1, 1, 2, 3, 4, 5}));

    // A newer file put into the program folder is brought over and read.
    QTest::qWait(20);
    ASSERT_TRUE(WriteOptionsFile(program(), OptionsSettings{0, 0, 9, 9, 9, 9}));
    choice = SettingsFolder(program(), config(), NeverWritable);
    ASSERT_TRUE(ReadOptionsFile(choice.folder, options));
    EXPECT_EQ(options, (OptionsSettings{0, 0, 9, 9, 9, 9}));
    ASSERT_TRUE(ReadSetupFile(choice.folder, read));
    EXPECT_EQ(read.formatIndex, 6);
}

TEST_F(SettingsFolderChoiceTest, RealWriteProbeRefusesFoldersNoOneCanWrite)
{
    EXPECT_TRUE(CanCreateFilesIn(program()));
    EXPECT_FALSE(CanCreateFilesIn(QDir(dir.path()).filePath(QStringLiteral("absent"))));
    // /proc takes no new files, not even from root.
    if (QDir(QStringLiteral("/proc/self")).exists()) {
        EXPECT_FALSE(CanCreateFilesIn(QStringLiteral("/proc")));
        EXPECT_EQ(SettingsFolder(QStringLiteral("/proc"), config()).folder, config());
    }
}

TEST_F(SettingsFolderChoiceTest, ConfigFolderThatCannotBeCreatedIsReported)
{
    QFile blocker(QDir(dir.path()).filePath(QStringLiteral("home")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    const SettingsFolderChoice choice = SettingsFolder(program(), config(), NeverWritable);
    EXPECT_EQ(choice.folder, config());
    EXPECT_FALSE(choice.available);
}

TEST(SettingsFolderLocation, UserConfigFolderIsTrevalonsOwn)
{
    EXPECT_TRUE(UserConfigFolder().endsWith(QStringLiteral("/Trevalon")));
    EXPECT_TRUE(UserConfigFolder().startsWith(QDir::homePath()) ||
                qEnvironmentVariableIsSet("XDG_CONFIG_HOME"));
}

} // namespace
