#include "engine/progress_tracker.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

QString recorded(const char* name)
{
    QFile file(QStringLiteral(TREVALON_TEST_DATA_DIR "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return QString::fromUtf8(file.readAll());
}

double percentOf(const ProgressDisplay& display)
{
    return display.caption.chopped(1).toDouble();
}

} // namespace

TEST(ProgressTracker, CaptionTableAndLimits)
{
    struct Row
    {
        int position;
        int total;
        const char* caption;
    };
    const Row rows[] = {{1, 2, "50%"},           {1, 20, "5%"},       {64, 1250, "5.12%"},
                        {123456, 1000000, "12.3%"}, {1, 3, "33.3%"}, {99999, 100000, "99.9%"},
                        {0, 100, "0%"}};
    for (const Row& row : rows) {
        const ProgressDisplay display = ProgressTracker::displayFor(row.position, row.total);
        EXPECT_EQ(display.caption, QLatin1String(row.caption)) << row.position << "/" << row.total;
        EXPECT_NEAR(display.width, 5415.0 * row.position / row.total, 0.001);
    }
    // At or beyond the end, and with the length unknown: exactly the full bar, never more.
    for (const auto& [position, total] : {std::pair{205, 205}, {300, 205}, {5, 0}}) {
        const ProgressDisplay display = ProgressTracker::displayFor(position, total);
        EXPECT_EQ(display.caption, QStringLiteral("100%"));
        EXPECT_EQ(display.width, 5415.0);
    }
    EXPECT_EQ(ProgressTracker::plainDecimal(0.00012), QStringLiteral("0.00012"));
}

TEST(ProgressTracker, DurationThenPositionWithEvenRounding)
{
    ProgressTracker tracker;
    EXPECT_FALSE(tracker.ReceiveOutputs(
        u"  Duration: 00:03:25.47, start: 0.000000, bitrate: 128 kb/s\n"));
    EXPECT_EQ(tracker.TotalSeconds(), 205);

    const auto display =
        tracker.ReceiveOutputs(u"size=    1024kB time=00:01:42.50 bitrate= 128.0kbits/s\r");
    ASSERT_TRUE(display);
    EXPECT_EQ(display->caption, QStringLiteral("49.7%")); // 102.5 s rounds to 102
    EXPECT_NEAR(display->width, 2694.3, 0.1);

    // The length stays for the rest of the file, whatever later reports say.
    tracker.ReceiveOutputs(u"Duration: 00:10:00.00, start\n");
    EXPECT_EQ(tracker.TotalSeconds(), 205);
    tracker.reset();
    EXPECT_EQ(tracker.TotalSeconds(), 0);
}

TEST(ProgressTracker, CutterLengthReplacesTheDuration)
{
    ProgressTracker tracker;
    tracker.setCutter(1, 30);
    const auto display = tracker.ReceiveOutputs(
        u"  Duration: 00:03:25.47, start: 0.0\nsize= 1kB time=00:00:15.00 bitrate=1\r");
    EXPECT_EQ(tracker.TotalSeconds(), 30);
    ASSERT_TRUE(display);
    EXPECT_EQ(display->caption, QStringLiteral("50%"));

    // A cutter length of 0 is a length of its own: every report shows a full bar, whatever the
    // converter says the file's duration is.
    ProgressTracker zeroLength;
    zeroLength.setCutter(1, 0);
    EXPECT_EQ(zeroLength.ReceiveOutputs(
                  u"  Duration: 00:03:25.47, start: 0.0\nsize= 1kB time=00:00:15.00 bitrate=1\r")
                  ->caption,
              QStringLiteral("100%"));
    EXPECT_EQ(zeroLength.ReceiveOutputs(u"time=00:00:01.00 \r")->caption, QStringLiteral("100%"));
    EXPECT_EQ(zeroLength.TotalSeconds(), 0);
}

TEST(ProgressTracker, ReportsSplitAcrossBlocksAreReadWhole)
{
    ProgressTracker tracker;
    EXPECT_FALSE(tracker.ReceiveOutputs(u"  Duration: 00:03:2"));
    EXPECT_EQ(tracker.TotalSeconds(), 0);
    EXPECT_FALSE(tracker.ReceiveOutputs(u"5.47, start: 0.000000\nsize= 3kB time=00:00:1"));
    EXPECT_EQ(tracker.TotalSeconds(), 205);
    const auto display = tracker.ReceiveOutputs(u"02.50 bitrate=1\r");
    ASSERT_TRUE(display);
    EXPECT_EQ(display->caption, QStringLiteral("49.7%"));

    // Several reports completed by one block: the latest is shown.
    const auto latest = tracker.ReceiveOutputs(
        u"time=00:00:20.00 b\rtime=00:02:30.00 b\rtime=00:00:41.00 b\rtime=00:03:");
    ASSERT_TRUE(latest);
    EXPECT_EQ(latest->caption, QStringLiteral("20%"));
}

TEST(ProgressTracker, UnreadableReports)
{
    ProgressTracker tracker;
    EXPECT_FALSE(tracker.ReceiveOutputs(u""));
    tracker.ReceiveOutputs(u"  Duration: N/A, bitrate: N/A\n");
    EXPECT_EQ(tracker.TotalSeconds(), 0);
    tracker.ReceiveOutputs(u"  Duration: 00:00:10.00, start: 0\n");
    EXPECT_EQ(tracker.TotalSeconds(), 10);

    EXPECT_EQ(tracker.ReceiveOutputs(u"time=123.45 bitrate\r")->caption, QStringLiteral("0%"));
    EXPECT_EQ(tracker.ReceiveOutputs(u"time=N/A bitrate\r")->caption, QStringLiteral("0%"));
    const auto beforeStart = tracker.ReceiveOutputs(u"time=-00:00:00.02 bitrate\r");
    EXPECT_EQ(beforeStart->caption, QStringLiteral("0%"));
    EXPECT_EQ(beforeStart->width, 0.0);
}

TEST(ProgressTracker, RecordedConverterOutputCutAnywhere)
{
    const QString text = recorded("ffmpeg_mp3_progress.txt");
    const qsizetype reports = text.count(QStringLiteral("time="));
    ASSERT_GT(reports, 10);

    // Character by character: every report is shown once, in order, ending at the full bar.
    ProgressTracker single;
    QList<ProgressDisplay> shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (auto display = single.ReceiveOutputs(QStringView(text).mid(i, 1)))
            shown << *display;
    }
    EXPECT_EQ(single.TotalSeconds(), 6);
    ASSERT_EQ(shown.size(), reports);
    EXPECT_EQ(shown.first().caption, QStringLiteral("0%"));
    EXPECT_EQ(shown.last().caption, QStringLiteral("100%"));
    for (qsizetype i = 1; i < shown.size(); ++i)
        EXPECT_GE(percentOf(shown.at(i)), percentOf(shown.at(i - 1))) << i;
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(),
                            [](const ProgressDisplay& d) { return d.caption == u"50%"; }));

    // Two blocks cut at every position: the same length and the same last display.
    for (qsizetype cut = 1; cut < text.size(); ++cut) {
        ProgressTracker tracker;
        std::optional<ProgressDisplay> last = tracker.ReceiveOutputs(QStringView(text).left(cut));
        if (auto display = tracker.ReceiveOutputs(QStringView(text).mid(cut)))
            last = display;
        ASSERT_EQ(tracker.TotalSeconds(), 6) << "cut at " << cut;
        ASSERT_TRUE(last) << "cut at " << cut;
        ASSERT_EQ(last->caption, QStringLiteral("100%")) << "cut at " << cut;
    }
}
