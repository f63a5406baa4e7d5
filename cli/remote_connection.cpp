#include "cli/remote_connection.h"

#include "platform/private_folder.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <unistd.h>

namespace {

// ssh binds "<ControlPath>.<16 random characters>" first and renames it; Unix socket paths are
// limited to 104 bytes on some systems (108 on Linux), the ending NUL included.
constexpr qsizetype SocketPathLimit = 103;
constexpr qsizetype HashLength = 40;
constexpr qsizetype TemporarySuffix = 17;

bool plainPath(const QString& path)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./-]+$"));
    return plain.match(path).hasMatch();
}

// The part of a sshlogin line after its [@groups/][jobs/] prefix, and the prefix's length.
QString loginPart(const QString& line, qsizetype* prefixLength)
{
    static const QRegularExpression prefix(QStringLiteral("^(@[^/]*/)?([0-9]+/)?"));
    const QString trimmed = line.trimmed();
    *prefixLength = prefix.match(trimmed).capturedLength(0);
    return trimmed.mid(*prefixLength);
}

bool sshProgram(const QString& word)
{
    return word.section(QLatin1Char('/'), -1) == QLatin1String("ssh");
}

} // namespace

QString ConnectionSocketFolder(QString* problem)
{
    const QString name = QStringLiteral("/ssh-%1").arg(QCoreApplication::applicationPid());
    QString base = ProgramTempFolder();
    if (base.isEmpty() || !plainPath(base) ||
        (base + name).size() + 1 + HashLength + TemporarySuffix > SocketPathLimit)
        base = QStringLiteral("/tmp/trevalon-%1").arg(::getuid());
    QString error;
    if (!EnsurePrivateFolder(base, &error) || !EnsurePrivateFolder(base + name, &error)) {
        *problem = error;
        return {};
    }
    return base + name;
}

QString SharedConnectionOptions(const QString& socketFolder)
{
    // Persisting keeps the master through the gaps between calls; it also ends a master that a
    // killed run could not close once it has been idle that long.
    return QStringLiteral("-o ControlMaster=auto -o ControlPath=%1/%C -o ControlPersist=60")
        .arg(socketFolder);
}

QString WithSharedConnection(const QString& loginLine, const QString& options)
{
    qsizetype prefixLength = 0;
    const QString login = loginPart(loginLine, &prefixLength);
    const qsizetype blank = login.indexOf(QLatin1Char(' '));
    // A command that is not ssh itself (a wrapper) is left as it is: its own words come first.
    if (blank < 0 || options.isEmpty() || !sshProgram(login.left(blank)))
        return loginLine.trimmed();
    return loginLine.trimmed().insert(prefixLength + blank, QLatin1Char(' ') + options);
}

QString WithoutSharedConnection(QString text, const QString& options)
{
    if (options.isEmpty())
        return text;
    return text.remove(QLatin1Char(' ') + options);
}

namespace {

// How parallel calls ssh for a sshlogin file line: [ssh command ][user[:password]@]host[:port]
// becomes its own ssh command, or "ssh" with the options, then -p and -l; the host is apart, as
// "-O exit" must come before it and a remote command after it. False for the local machine (":")
// and lines that are no login.
bool sshCall(const QString& loginLine, const QString& options, QString* command, QString* host)
{
    qsizetype prefixLength = 0;
    const QString login = loginPart(WithSharedConnection(loginLine, options), &prefixLength);
    if (login.isEmpty() || login.startsWith(QLatin1Char('#')) || login == QLatin1String(":"))
        return false;
    const qsizetype blank = login.lastIndexOf(QLatin1Char(' '));
    *command = blank >= 0          ? login.left(blank)
               : options.isEmpty() ? QStringLiteral("ssh")
                                   : QStringLiteral("ssh ") + options;
    *host = login.mid(blank + 1);
    QString user;
    if (const qsizetype at = host->lastIndexOf(QLatin1Char('@')); at >= 0) {
        user = host->left(at).section(QLatin1Char(':'), 0, 0);
        *host = host->mid(at + 1);
    }
    static const QRegularExpression withPort(QStringLiteral("^([-A-Za-z0-9._]+):(\\w+)$"));
    if (const QRegularExpressionMatch match = withPort.match(*host); match.hasMatch()) {
        *host = match.captured(1);
        *command += QStringLiteral(" -p ") + match.captured(2);
    }
    if (!user.isEmpty())
        *command += QStringLiteral(" -l ") + user;
    return true;
}

} // namespace

QString CloseConnectionCommand(const QString& loginLine, const QString& options)
{
    QString command;
    QString host;
    // A wrapper without the shared connection has nothing to close.
    if (options.isEmpty() || !sshCall(loginLine, options, &command, &host) ||
        !command.contains(options))
        return {};
    return command + QStringLiteral(" -O exit ") + host;
}

QString MachineShellCommand(const QString& loginLine, const QString& options)
{
    QString command;
    QString host;
    if (!sshCall(loginLine, options, &command, &host))
        return {};
    // Words that every login shell reads alike; the script comes on standard input.
    return command + QLatin1Char(' ') + host + QStringLiteral(" exec /bin/sh");
}
