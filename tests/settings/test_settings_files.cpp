#include "platform/settings_platform.h"
#include "settings/extra_settings.h"
#include "settings/settings_files.h"
#include "settings/settings_folder.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
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

    static void put(const QString& folder, const char* name, const QByteArray& bytes)
    {
        ASSERT_TRUE(QDir().mkpath(folder));
        QFile file(QDir(folder).filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    static QByteArray bytesOf(const QString& folder, const char* name)
    {
        QFile file(QDir(folder).filePath(QString::fromUtf8(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    // Every file and folder under the scratch folder with its size, time and contents.
    QStringList snapshot() const
    {
        QStringList entries;
        QDirIterator it(dir.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            QFile file(info.filePath());
            entries << info.filePath() + QLatin1Char(' ') +
                           info.lastModified().toString(Qt::ISODateWithMs) + QLatin1Char(' ') +
                           QString::fromLatin1(info.isFile() && file.open(QIODevice::ReadOnly)
                                                   ? file.readAll().toHex()
                                                   : QByteArray("dir"));
        }
        entries.sort();
        return entries;
    }
};

const auto NeverWritable = [](const QString&, const QString&) { return false; };

// A writable program folder is used, whatever the configuration folder holds and whatever the
// dates: nothing else is consulted, and the write probe leaves nothing behind.
TEST_F(SettingsFolderChoiceTest, WritableProgramFolderIsUsed)
{
    const SettingsFolderChoice choice = SettingsFolder(program(), config());
    EXPECT_EQ(choice.folder, program());
    EXPECT_EQ(choice.readFolder(), program());
    EXPECT_TRUE(choice.inProgramFolder);
    EXPECT_FALSE(QDir(config()).exists());
    EXPECT_TRUE(QDir(program())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());

    put(program(), "setup.ini", "\"7\"\r\n");
    QTest::qWait(20);
    put(config(), "setup.ini", "\"3\"\r\n"); // newer, and still not read
    const QStringList before = snapshot();
    EXPECT_EQ(SettingsFolder(program(), config()).readFolder(), program());
    EXPECT_EQ(snapshot(), before);
}

// The reported fault: an administrator updates the shared copy's setup.ini, and the user's own
// choices must survive every start, the window's and a dry run's alike, which only read.
TEST_F(SettingsFolderChoiceTest, ReadOnlyProgramFolderNeverReplacesTheUsersFiles)
{
    put(config(), "setup.ini", "\"3\"\r\n\"2\"\r\n\"0\"\r\n\"/home/me/mine\"\r\n\"4\"\r\n");
    QTest::qWait(20);
    put(program(), "setup.ini", "\"9\"\r\n\"1\"\r\n\"1\"\r\n\"/srv/shipped\"\r\n\"1\"\r\n");
    put(program(), "options.ini", "1\r\n1\r\n5\r\n6\r\n7\r\n8\r\n");
    const QStringList before = snapshot();

    const SettingsFolderChoice choice = SettingsFolder(program(), config(), NeverWritable);
    EXPECT_EQ(choice.folder, config());
    EXPECT_FALSE(choice.inProgramFolder);
    ASSERT_EQ(choice.readFolder(), config());
    SetupSettings setup;
    ASSERT_TRUE(ReadSetupFile(choice.readFolder(), setup));
    EXPECT_EQ(setup.outputFolder, QStringLiteral("/home/me/mine"));
    // The user's folder is not empty, so the program folder's options.ini is not taken either.
    OptionsSettings options;
    EXPECT_FALSE(ReadOptionsFile(choice.readFolder(), options));
    ReadExtraSettings(choice.readFolder());
    EXPECT_EQ(snapshot(), before) << "choosing and reading wrote something";

    // Exit writes the user's own file; the program folder's still plays no part.
    ASSERT_TRUE(choice.prepareWrite());
    setup.formatIndex = 6;
    ASSERT_TRUE(WriteSetupFile(choice.folder, setup));
    EXPECT_FALSE(QFile::exists(QDir(config()).filePath(QStringLiteral("options.ini"))));
    EXPECT_TRUE(bytesOf(config(), "setup.ini").contains("/home/me/mine"));
}

// An empty configuration folder starts from the program folder's files, is neither created nor
// filled by a start, and is filled once, by the first write: from then on it is the user's alone.
TEST_F(SettingsFolderChoiceTest, EmptyConfigFolderIsFilledOnceByTheFirstWrite)
{
    const QByteArray shippedSetup = "\"9\"\r\n\"1\"\r\n\"1\"\r\n\"/srv/shipped\"\r\n\"1\"\r\n";
    const QByteArray shippedExtra = "[Conversion]\nKeepFolders=true\n";
    put(program(), "setup.ini", shippedSetup);
    put(program(), "options.ini", "1\r\n1\r\n5\r\n6\r\n7\r\n8\r\n");
    put(program(), "trevalon.ini", shippedExtra);

    SettingsFolderChoice choice = SettingsFolder(program(), config(), NeverWritable);
    EXPECT_EQ(choice.readFolder(), program());
    EXPECT_TRUE(ReadExtraSettings(choice.readFolder()).keepFolders);
    EXPECT_FALSE(QDir(config()).exists()) << "a start wrote the configuration folder";

    // OK in the options dialog: the other files come along byte for byte.
    ASSERT_TRUE(choice.prepareWrite());
    ASSERT_TRUE(WriteOptionsFile(choice.folder, OptionsSettings{0, 0, 1, 2, 3, 4}));
    EXPECT_EQ(bytesOf(config(), "setup.ini"), shippedSetup);
    EXPECT_EQ(bytesOf(config(), "trevalon.ini"), shippedExtra);
    EXPECT_EQ(bytesOf(config(), "options.ini"), QByteArray("0\r\n0\r\n1\r\n2\r\n3\r\n4\r\n"));
    EXPECT_EQ(choice.readFolder(), config());

    // A later update of the shared copy is not copied again, at a start or at a write.
    QTest::qWait(20);
    put(program(), "options.ini", "1\r\n1\r\n9\r\n9\r\n9\r\n9\r\n");
    ASSERT_TRUE(QFile::remove(QDir(config()).filePath(QStringLiteral("setup.ini"))));
    choice = SettingsFolder(program(), config(), NeverWritable);
    EXPECT_EQ(choice.readFolder(), config());
    ASSERT_TRUE(choice.prepareWrite());
    EXPECT_EQ(bytesOf(config(), "options.ini"), QByteArray("0\r\n0\r\n1\r\n2\r\n3\r\n4\r\n"));
    EXPECT_FALSE(QFile::exists(QDir(config()).filePath(QStringLiteral("setup.ini"))));
}

TEST_F(SettingsFolderChoiceTest, TrevalonIniPlaysNoPartInTheChoice)
{
    const auto onlyExtraNotWritable = [](const QString&, const QString& name) {
        return name != QStringLiteral("trevalon.ini");
    };
    EXPECT_EQ(SettingsFolder(program(), config(), onlyExtraNotWritable).folder, program());
    const auto onlyOptionsNotWritable = [](const QString&, const QString& name) {
        return name != QStringLiteral("options.ini");
    };
    EXPECT_EQ(SettingsFolder(program(), config(), onlyOptionsNotWritable).folder, config());
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
    EXPECT_FALSE(choice.prepareWrite());
    EXPECT_FALSE(WriteOptionsFile(choice.folder, OptionsSettings{}));
}

TEST(SettingsFolderLocation, UserConfigFolderIsTrevalonsOwn)
{
    EXPECT_TRUE(UserConfigFolder().endsWith(QStringLiteral("/Trevalon")));
    EXPECT_TRUE(UserConfigFolder().startsWith(QDir::homePath()) ||
                qEnvironmentVariableIsSet("XDG_CONFIG_HOME"));
}

} // namespace
