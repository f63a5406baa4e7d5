#include "cli/remote_check.h"

#include "cli/remote_reports.h"

#include <QtEndian>

#include <cmath>
#include <numbers>

namespace {

void append32(QByteArray& bytes, quint32 value)
{
    char le[4];
    qToLittleEndian(value, le);
    bytes.append(le, 4);
}

void append16(QByteArray& bytes, quint16 value)
{
    char le[2];
    qToLittleEndian(value, le);
    bytes.append(le, 2);
}

// The bytes as the format of printf: every byte an octal escape, so the shell and printf pass
// them through whatever they are.
QString octalEscaped(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size() * 4);
    for (const char byte : bytes)
        text += QStringLiteral("\\%1").arg(static_cast<uchar>(byte), 3, 8, QLatin1Char('0'));
    return text;
}

// The run's format settings without the cutter: the tone is shorter than any excerpt.
QStringList withoutCut(const QStringList& flags)
{
    QStringList kept;
    for (qsizetype i = 0; i < flags.size(); ++i) {
        if (flags[i] == QLatin1String("--cut-start") || flags[i] == QLatin1String("--cut-length"))
            ++i;
        else
            kept << flags[i];
    }
    return kept;
}

} // namespace

QByteArray CheckToneWav()
{
    constexpr quint32 rate = 8000;
    constexpr quint32 samples = rate / 10;
    constexpr quint32 dataBytes = samples * 2;
    QByteArray wav("RIFF");
    append32(wav, 36 + dataBytes);
    wav += "WAVEfmt ";
    append32(wav, 16);
    append16(wav, 1); // PCM
    append16(wav, 1); // mono
    append32(wav, rate);
    append32(wav, rate * 2);
    append16(wav, 2);
    append16(wav, 16);
    wav += "data";
    append32(wav, dataBytes);
    for (quint32 i = 0; i < samples; ++i) {
        const double phase = 2 * std::numbers::pi * 440 * i / rate;
        append16(wav,
                 static_cast<quint16>(static_cast<qint16>(std::lround(8000 * std::sin(phase)))));
    }
    return wav;
}

QString MachineCheckScript(const RemoteRunSetup& setup, const QString& login)
{
    QStringList flags;
    for (const QString& flag : withoutCut(setup.settingsFlags))
        flags << ShellQuoted(flag);
    const QString folder = ShellQuoted(setup.remoteFolder);
    const QString parent = ShellQuoted(setup.remoteFolder.section(QLatin1Char('/'), 0, -2));
    // Machines may share one login folder (a home on NFS, loopback logins): each check works in
    // a folder of its own and removes only that, and the run's folder once it is empty.
    const QString script =
        QStringList{
            QStringLiteral("p=%1; s=missing; why=; d=").arg(ShellQuoted(setup.remoteProgram)),
            QStringLiteral("case \"$(\"$p\" --version 2>/dev/null)\" in trevalon-batch*) s=ok ;; "
                           "esac"),
            QStringLiteral("if [ $s = ok ]; then s=failed; "
                           "if mkdir -p %1 && d=$(mktemp -d %1/check.XXXXXX) && "
                           "mkdir \"$d/s\" \"$d/o\" && printf '%2' >\"$d/trevalon-check.wav\"; "
                           "then \"$p\" --settings-dir \"$d/s\" --output \"$d/o\" --jobs 1 --quiet "
                           "%3 -- \"$d/trevalon-check.wav\" >\"$d/r.log\" 2>&1 && "
                           "for f in \"$d\"/o/trevalon-check.*; do [ -s \"$f\" ] && s=ok; done; "
                           "why=%4; else why=%5; fi; [ -n \"$d\" ] && rm -rf -- \"$d\"; fi")
                .arg(folder, octalEscaped(CheckToneWav()), flags.join(QLatin1Char(' ')),
                     ShellHexOf(QStringLiteral("tail -n 1 \"$d/r.log\"")),
                     ShellHexOf(QStringLiteral("printf 'cannot write a working folder in %s' %1")
                                    .arg(folder))),
            QStringLiteral("rmdir -- %1 %2 2>/dev/null").arg(folder, parent),
            // The answer names the login it came through, as the sshlogin file has it.
            QStringLiteral("printf 'trevalon-machine %s %s %s\\n' \"$s\" %1 \"$why\"")
                .arg(QString::fromLatin1(login.toUtf8().toHex()))}
            .join(QStringLiteral("; "));
    return script;
}
