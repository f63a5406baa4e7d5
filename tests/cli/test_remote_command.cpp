#include "cli/batch_options.h"
#include "cli/batch_process.h"
#include "cli/remote_command.h"
#include "cli/remote_connection.h"
#include "cli/remote_reports.h"
#include "engine/command_line.h"
#include "settings/extra_settings.h"

#include <gtest/gtest.h>

// How a remote run is written for parallel, ssh and the shell on the other machines, and how what
// they answer is read back; the runs themselves are in test_remote_batch.cpp.
namespace {

using namespace batch_process;

// The flags must make trevalon-batch on another machine build the very command this one would,
// whatever that machine's own setup.ini and options.ini say.
TEST(RemoteCommand, SettingsFlagsOverrideTheOtherMachinesSettings)
{
    SetupSettings foreignSetup;
    foreignSetup.formatIndex = 3;
    foreignSetup.bitrateIndex = 2;
    foreignSetup.rateIndex = 5;
    foreignSetup.channelIndex = 0;
    OptionsSettings foreignCutter;
    foreignCutter.cutterOn = 1;
    foreignCutter.cutStart = 99;
    foreignCutter.cutStartFraction = 7;
    foreignCutter.cutLength = 12;

    for (int variant = 0; variant < 9 * 3; ++variant) {
        ConversionSettings local;
        local.formatIndex = static_cast<std::int16_t>(variant % 9);
        local.bitrateIndex = static_cast<std::int16_t>(variant % 12);
        local.rateIndex = static_cast<std::int16_t>(variant % 8);
        local.channelIndex = static_cast<std::int16_t>(variant % 2);
        local.outputFolder = QStringLiteral("/out");
        if (variant % 3 == 1) {
            local.cutterOn = 1;
            local.cutStart = 3723;
            local.cutStartFraction = 25;
            local.cutLength = 30;
        } else if (variant % 3 == 2) {
            local.cutterOn = 1;
            local.cutLength = 7;
            local.cutLengthFraction = 5;
        }
        // Copying and checking happen there; names and existing outputs are decided here.
        local.library.copySameFormat = variant % 2 == 1;
        local.library.verify = variant % 4 < 2;
        const ParsedArguments parsed = ParseBatchArguments(
            RemoteSettingsFlags(local) + QStringList{QStringLiteral("--"), QStringLiteral("a.wav")},
            1);
        ASSERT_EQ(parsed.outcome, ParsedArguments::Outcome::Run) << parsed.text.toStdString();
        SetupSettings setup = foreignSetup;
        OptionsSettings cutter = foreignCutter;
        ApplyOverrides(parsed.options, setup, cutter);
        setup.outputFolder = local.outputFolder;
        ConversionSettings remote = ConversionSettings::from(setup, cutter);
        remote.library = LibraryChoicesToRun(parsed.options, ExtraSettings{});
        EXPECT_EQ(BuildCommandLine(ProgramFolder, QStringLiteral("/in/a.wav"), remote),
                  BuildCommandLine(ProgramFolder, QStringLiteral("/in/a.wav"), local))
            << variant;
        EXPECT_EQ(remote.library.copySameFormat, local.library.copySameFormat) << variant;
    }
}

QString hexOf(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

TEST(RemoteCommand, JobLinesBecomeTheLocalReport)
{
    BatchJob job;
    job.source = QStringLiteral("/home/u/in/a: b.mp4");
    const QVector<BatchJob> jobs = {BatchJob{}, job};
    const QString folder = QStringLiteral(".trevalon-batch/run");
    const QString copy = QStringLiteral("/root/.trevalon-batch/run/1/home/u/in/a: b.mp4");

    const auto started =
        ParseRemoteLine(QStringLiteral("trevalon-remote 1 started %1").arg(hexOf("m2")), jobs);
    ASSERT_TRUE(started);
    EXPECT_EQ(started->kind, RemoteEvent::Kind::Started);
    EXPECT_EQ(started->host, QStringLiteral("m2"));

    const auto failed = ParseRemoteLine(
        QStringLiteral("trevalon-remote 1 ended 1 %1")
            .arg(hexOf(QStringLiteral("%1: %1: Invalid data found\n").arg(copy).toUtf8())),
        jobs);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->status, 1);
    EXPECT_EQ(LocalReason(failed->reason, folder, 1, job),
              QStringLiteral("/home/u/in/a: b.mp4: Invalid data found"));
    EXPECT_EQ(LocalReason(QStringLiteral("Error opening '%1'").arg(copy), folder, 1, job),
              QStringLiteral("Error opening '/home/u/in/a: b.mp4'"));

    // The converter's loudness report comes back whole, to gate the album here.
    const auto loudness = ParseRemoteLine(
        QStringLiteral("trevalon-remote 1 loudness %1").arg(hexOf("loudness 0.500000 3:4,7:1\n")),
        jobs);
    ASSERT_TRUE(loudness);
    EXPECT_EQ(loudness->kind, RemoteEvent::Kind::Loudness);
    EXPECT_EQ(loudness->loudness, QStringLiteral("loudness 0.500000 3:4,7:1"));

    // Only the framed form counts: text where the bytes belong, a stray byte, anything after.
    for (const char* line :
         {"trevalon-remote 2 ended 0 ", "converted x -> y", "trevalon-remote 1 ended 0 x y",
          "trevalon-remote 1 ended 0 6", "trevalon-remote 1 ended 0 6D32 ",
          "trevalon-remote 1 started m2", "trevalon-remote 1 started 6d32\r",
          "trevalon-remote 1 ended 0 6d32 6d32", " trevalon-remote 1 started 6d32",
          "trevalon-remote 1 loudness 6d32"})
        EXPECT_FALSE(ParseRemoteLine(QString::fromLatin1(line), jobs)) << line;

    // The files of a job in its folder there never meet the copy of its source.
    for (const char* top : {"1.out", "1.w", "1_.w", "1__.out"}) {
        const QString tag = RemoteJobTag(1, QStringLiteral("/%1/a.wav").arg(QLatin1String(top)));
        EXPECT_NE(tag + QStringLiteral(".out"), QLatin1String(top));
        EXPECT_NE(tag + QStringLiteral(".w"), QLatin1String(top));
    }
}

TEST(RemoteCommand, StartCheckAnswersChooseTheMachines)
{
    const QString loginFile = QStringLiteral("# machines\n2/a\nb\n@g/c\n@g/3/d\ne\nf\n:\n");
    const QString answers =
        QStringLiteral("trevalon-machine ok %1 \ntrevalon-machine ok %2 \ntrevalon-machine ok %3 \n"
                       "trevalon-machine ok %4 \ntrevalon-machine failed %5 %6\n"
                       "trevalon-machine missing %7 \nhello from a login script\n")
            .arg(hexOf("a"), hexOf("b"), hexOf("c"), hexOf("d"), hexOf("e"),
                 hexOf("/x/trevalon-check.wav: the converter could not be started\n"), hexOf("f"));
    const MachineSelection chosen = SelectMachines(loginFile, answers, 5);
    EXPECT_EQ(chosen.usable, (QStringList{QStringLiteral("2/a"), QStringLiteral("5/b"),
                                          QStringLiteral("@g/5/c"), QStringLiteral("@g/3/d")}));
    EXPECT_EQ(chosen.skipped,
              (QStringList{QStringLiteral("not an answer to the start check, ignored: hello from "
                                          "a login script"),
                           QStringLiteral("left out e: the test conversion failed there: the "
                                          "converter could not be started"),
                           QStringLiteral("left out f: trevalon-batch does not run there"),
                           QStringLiteral("left out ':': this machine takes part as 'ssh "
                                          "localhost' only")}));
    EXPECT_EQ(SelectMachines(loginFile, answers).usable.value(1), QStringLiteral("b"));

    // The shared connection's options go into a line's own ssh command, before the login, and
    // its master is closed the way parallel calls ssh for that line.
    const QString o = QStringLiteral("-o ControlPath=/s/%C");
    EXPECT_EQ(WithSharedConnection(QStringLiteral("@g/2/ssh -p 2222 u@h"), o),
              QStringLiteral("@g/2/ssh -o ControlPath=/s/%C -p 2222 u@h"));
    EXPECT_EQ(WithoutSharedConnection(QStringLiteral("left out ssh -o ControlPath=/s/%C -p 2222 "
                                                     "u@h: cannot log in"),
                                      o),
              QStringLiteral("left out ssh -p 2222 u@h: cannot log in"));
    EXPECT_EQ(WithSharedConnection(QStringLiteral("3/h"), o), QStringLiteral("3/h"));
    EXPECT_EQ(CloseConnectionCommand(QStringLiteral("3/u:pw@h.lan:2222"), o),
              QStringLiteral("ssh -o ControlPath=/s/%C -p 2222 -l u -O exit h.lan"));
    EXPECT_EQ(CloseConnectionCommand(QStringLiteral("ssh -F c h"), o),
              QStringLiteral("ssh -o ControlPath=/s/%C -F c -O exit h"));
    EXPECT_EQ(CloseConnectionCommand(QStringLiteral(":"), o), QString());
    EXPECT_EQ(WithSharedConnection(QStringLiteral("sshpass -e ssh h"), o),
              QStringLiteral("sshpass -e ssh h"));
    EXPECT_EQ(CloseConnectionCommand(QStringLiteral("sshpass -e ssh h"), o), QString());
    // The start check and the clean-up log in to each machine themselves, as parallel would for
    // the line: its port and user, its own command (a wrapper too), none for this machine.
    EXPECT_EQ(MachineShellCommand(QStringLiteral("@g/3/u:pw@h.lan:2222"), o),
              QStringLiteral("ssh -o ControlPath=/s/%C -p 2222 -l u h.lan exec /bin/sh"));
    EXPECT_EQ(MachineShellCommand(QStringLiteral("2/ssh -F c h"), o),
              QStringLiteral("ssh -o ControlPath=/s/%C -F c h exec /bin/sh"));
    EXPECT_EQ(MachineShellCommand(QStringLiteral("sshpass -e ssh h"), o),
              QStringLiteral("sshpass -e ssh h exec /bin/sh"));
    EXPECT_EQ(MachineShellCommand(QStringLiteral("h"), QString()),
              QStringLiteral("ssh h exec /bin/sh"));
    EXPECT_EQ(MachineShellCommand(QStringLiteral(":"), o), QString());
}

} // namespace
