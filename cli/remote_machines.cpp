#include "cli/remote_machines.h"

#include "cli/remote_connection.h"

#include <QRegularExpression>
#include <QTimer>

MachinePass::MachinePass(const QStringList& loginLines, const QString& sshOptions,
                         ScriptFor scriptFor, int timeoutMs, QObject* parent)
    : QObject(parent), m_options(sshOptions), m_scriptFor(std::move(scriptFor)),
      m_timeoutMs(timeoutMs)
{
    for (const QString& line : loginLines)
        m_answers.append(Answer{line, {}, {}, false, false});
}

MachinePass::~MachinePass()
{
    for (const auto& call : m_calls) {
        call->disconnect(this);
        if (call->state() != QProcess::NotRunning) {
            call->kill();
            call->waitForFinished(1000);
        }
    }
}

void MachinePass::start()
{
    for (int index = 0; index < m_answers.size(); ++index) {
        const QString command = MachineShellCommand(m_answers[index].loginLine, m_options);
        if (command.isEmpty())
            continue; // the local machine: nothing is copied there, nothing to ask
        m_calls.push_back(std::make_unique<QProcess>());
        QProcess* call = m_calls.back().get();
        ++m_open;
        m_answers[index].called = true;
        connect(call, &QProcess::finished, this, [this, index, call] { callOver(index, call); });
        connect(call, &QProcess::errorOccurred, this,
                [this, index, call](QProcess::ProcessError e) {
                    if (e != QProcess::FailedToStart)
                        return;
                    m_answers[index].err += call->errorString().toUtf8() + '\n';
                    callOver(index, call);
                });
        if (m_timeoutMs > 0)
            QTimer::singleShot(m_timeoutMs, call, [call] { call->kill(); });
        // exec: stopping the call ends ssh itself, not only the shell that started it.
        call->start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QStringLiteral("exec ") + command});
        // One compound command: the shell there reads all of it before it runs any of it, so no
        // program it starts can read the rest of the script as its own input.
        call->write(QStringLiteral("{ %1\n}\n")
                        .arg(m_scriptFor(Login(m_answers[index].loginLine)))
                        .toUtf8());
        call->closeWriteChannel();
    }
    if (m_open == 0)
        QTimer::singleShot(0, this, [this] {
            m_over = true;
            emit finished();
        });
}

void MachinePass::stop()
{
    for (const auto& call : m_calls) {
        if (call->state() != QProcess::NotRunning)
            call->kill();
    }
}

void MachinePass::callOver(int index, QProcess* call)
{
    if (call->property("over").toBool())
        return;
    call->setProperty("over", true);
    m_answers[index].out += call->readAllStandardOutput();
    m_answers[index].err += call->readAllStandardError();
    m_answers[index].ran = call->exitStatus() == QProcess::NormalExit && call->exitCode() == 0;
    if (--m_open == 0 && !m_over) {
        m_over = true;
        emit finished();
    }
}

QStringList MachinePass::LoginLines(const QString& fileText)
{
    QStringList lines;
    for (const QString& line : fileText.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1Char('#')))
            lines << trimmed;
    }
    return lines;
}

QString MachinePass::Login(const QString& loginLine)
{
    static const QRegularExpression prefix(QStringLiteral("^(@[^/]*/)?([0-9]+/)?"));
    const QString trimmed = loginLine.trimmed();
    return trimmed.mid(prefix.match(trimmed).capturedLength(0));
}
