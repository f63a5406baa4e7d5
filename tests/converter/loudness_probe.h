// Loudness as an independent meter reads it, for the tests that check conv's loudness work.
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace conv_test {

// FFmpeg's ebur128 filter: the integrated loudness of the file, or of the files one after the
// other as one programme (in stereo, unless the one file is measured in its own channels).
inline double independentLoudness(const QStringList& paths, bool ownChannels = false)
{
    QStringList arguments = {QStringLiteral("-hide_banner"), QStringLiteral("-nostats")};
    QString graph;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        arguments << QStringLiteral("-i") << paths[i];
        graph += ownChannels ? QStringLiteral("[%1:a]anull[a%1];").arg(i)
                             : QStringLiteral("[%1:a]aformat=sample_fmts=flt:sample_rates=48000:"
                                              "channel_layouts=stereo[a%1];")
                                   .arg(i);
    }
    for (qsizetype i = 0; i < paths.size(); ++i)
        graph += QStringLiteral("[a%1]").arg(i);
    graph += QStringLiteral("concat=n=%1:v=0:a=1,ebur128").arg(paths.size());
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 arguments + QStringList{QStringLiteral("-filter_complex"), graph,
                                         QStringLiteral("-f"), QStringLiteral("null"),
                                         QStringLiteral("-")});
    ffmpeg.waitForFinished(60000);
    const QString log = QString::fromUtf8(ffmpeg.readAllStandardError());
    static const QRegularExpression summary(QStringLiteral("I:\\s+(-?[0-9.]+) LUFS"));
    double loudness = NAN;
    for (auto match = summary.globalMatch(log); match.hasNext();)
        loudness = match.next().captured(1).toDouble();
    return loudness;
}

// A ReplayGain value as its tag holds it ("-6.52 dB").
inline double gainValue(const QString& text)
{
    return text.section(QLatin1Char(' '), 0, 0).toDouble();
}

} // namespace conv_test
