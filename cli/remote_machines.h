#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>
#include <vector>

// One script run on several machines at once, each machine through one ssh call of its own (the
// shared connection where the line has it): the start check and the clean-up at the end. parallel
// would start itself once more per machine for these (--nonall), which costs more than the call.
// The script reaches /bin/sh there on standard input, so no login shell reads its words.
class MachinePass : public QObject
{
    Q_OBJECT

public:
    struct Answer
    {
        QString loginLine; // as given, its [@groups/][jobs/] prefix included
        QByteArray out;
        QByteArray err;
        bool called = false; // false for the local machine (":"), which is never asked
        bool ran = false;    // the call ended with status 0
    };
    // The script for the login (a line without its prefix), as /bin/sh reads it.
    using ScriptFor = std::function<QString(const QString& login)>;

    MachinePass(const QStringList& loginLines, const QString& sshOptions, ScriptFor scriptFor,
                int timeoutMs, QObject* parent = nullptr);
    ~MachinePass() override;

    void start();
    // Ends every call still going; finished follows.
    void stop();
    const QVector<Answer>& answers() const { return m_answers; }

    // The sshlogin file's lines that name a machine, and the login part of one.
    static QStringList LoginLines(const QString& fileText);
    static QString Login(const QString& loginLine);

signals:
    void finished();

private:
    void callOver(int index, QProcess* call);

    QVector<Answer> m_answers;
    QString m_options;
    ScriptFor m_scriptFor;
    int m_timeoutMs;
    std::vector<std::unique_ptr<QProcess>> m_calls;
    int m_open = 0;
    bool m_over = false;
};
