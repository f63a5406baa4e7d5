#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QVector>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

// SSH servers on this machine that stand for other machines in the remote runs' tests.
namespace loopback {

inline quint16 freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

inline bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(500);
}

// SSH servers on 127.0.0.1, each on a port of its own, with host and user keys in a private folder,
// reached through an ssh config file of aliases. Each server's sessions get the PATH it is given.
class LoopbackMachines
{
public:
    explicit LoopbackMachines(const QString& folder) : m_folder(folder) {}
    ~LoopbackMachines()
    {
        for (QProcess* server : std::as_const(m_servers)) {
            server->kill();
            server->waitForFinished(5000);
            delete server;
        }
    }

    // Empty when the machines are ready, otherwise why they cannot be.
    QString prepare()
    {
        for (const char* tool : {"ssh", "ssh-keygen", "rsync", "parallel", "ffmpeg"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                return QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
        }
        m_sshd = QStandardPaths::findExecutable(
            QStringLiteral("sshd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        if (m_sshd.isEmpty())
            return QStringLiteral("sshd is not installed (Debian package openssh-server)");
        // A server started by root needs its privilege separation folder, which only the system
        // service would otherwise create.
        if (::geteuid() == 0 && !QFileInfo::exists(QStringLiteral("/run/sshd")) &&
            !QDir().mkpath(QStringLiteral("/run/sshd")))
            return QStringLiteral("cannot create /run/sshd");
        for (const char* key : {"host_key", "user_key"}) {
            if (QProcess::execute(QStringLiteral("ssh-keygen"),
                                  {QStringLiteral("-q"), QStringLiteral("-t"),
                                   QStringLiteral("ed25519"), QStringLiteral("-N"), QString(),
                                   QStringLiteral("-f"), path(QLatin1String(key))}) != 0)
                return QStringLiteral("ssh-keygen failed");
        }
        if (!QFile::copy(path(QStringLiteral("user_key.pub")),
                         path(QStringLiteral("authorized_keys"))))
            return QStringLiteral("cannot write authorized_keys");
        QFile::setPermissions(path(QStringLiteral("authorized_keys")),
                              QFile::ReadOwner | QFile::WriteOwner);
        const passwd* user = ::getpwuid(::geteuid());
        m_user = user ? QString::fromLocal8Bit(user->pw_name) : QString();
        m_home = user ? QString::fromLocal8Bit(user->pw_dir) : QDir::homePath();
        return {};
    }

    // Starts a server for alias; its sessions find programs in path only.
    QString addMachine(const QString& alias, const QString& path)
    {
        const quint16 port = freePort();
        const QString config = this->path(alias + QStringLiteral(".sshd_config"));
        writeFile(config, QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2\n"
                                         "AuthorizedKeysFile %3\nPidFile %4\nStrictModes no\n"
                                         "UsePAM no\nPasswordAuthentication no\n"
                                         "KbdInteractiveAuthentication no\n"
                                         "PermitRootLogin prohibit-password\nSetEnv PATH=%5\n")
                              .arg(port)
                              .arg(this->path(QStringLiteral("host_key")),
                                   this->path(QStringLiteral("authorized_keys")),
                                   this->path(alias + QStringLiteral(".pid")), path));
        auto* server = new QProcess;
        server->setProcessChannelMode(QProcess::MergedChannels);
        server->start(m_sshd,
                      {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), config});
        m_servers << server;
        for (int i = 0; i < 100 && !accepts(port); ++i)
            QThread::msleep(50);
        if (!accepts(port))
            return QStringLiteral("sshd did not start: %1")
                .arg(QString::fromLocal8Bit(server->readAll()).trimmed());
        addAlias(alias, port);
        m_ports.insert(alias, port);
        if (QProcess::execute(QStringLiteral("ssh"), {QStringLiteral("-F"), sshConfig(), alias,
                                                      QStringLiteral("true")}) != 0)
            return QStringLiteral("cannot log in to the SSH server on port %1").arg(port);
        return {};
    }

    // An alias whose port nothing listens on.
    void addClosedAlias(const QString& alias) { addAlias(alias, freePort()); }

    quint16 port(const QString& alias) const { return m_ports.value(alias); }
    QString sshConfig() const { return path(QStringLiteral("ssh_config")); }
    QString loginLine(const QString& alias) const
    {
        return QStringLiteral("ssh -F %1 %2").arg(sshConfig(), alias);
    }
    // Where the jobs work on every machine: below the login folder of the user.
    QString remoteWorkFolder() const { return m_home + QStringLiteral("/.trevalon-batch"); }
    QString path(const QString& name) const { return m_folder + QLatin1Char('/') + name; }

    static void writeFile(const QString& path, const QString& text)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
        file.write(text.toUtf8());
    }

private:
    void addAlias(const QString& alias, quint16 port)
    {
        writeFile(sshConfig(),
                  QStringLiteral("Host %1\n  HostName 127.0.0.1\n  Port %2\n  User %3\n"
                                 "  IdentityFile %4\n  IdentitiesOnly yes\n"
                                 "  UserKnownHostsFile /dev/null\n  StrictHostKeyChecking no\n"
                                 "  BatchMode yes\n  ConnectTimeout 10\n  LogLevel ERROR\n")
                      .arg(alias)
                      .arg(port)
                      .arg(m_user, path(QStringLiteral("user_key"))));
    }

    QString m_folder;
    QString m_sshd;
    QString m_user;
    QString m_home;
    QVector<QProcess*> m_servers;
    QHash<QString, quint16> m_ports;
};

} // namespace loopback
