#pragma once

#include "platform/message_sink.h"

#include <QTextStream>

// The core's messages on standard error, since a terminal has no message boxes.
class ConsoleMessages : public MessageSink
{
public:
    explicit ConsoleMessages(QTextStream& err) : m_err(err) {}

    void showMessage(const QString& text, const QString& title, Icon) override
    {
        m_err << "trevalon-batch: " << (title.isEmpty() ? QString() : title + QStringLiteral(": "))
              << text << Qt::endl;
    }

private:
    QTextStream& m_err;
};
