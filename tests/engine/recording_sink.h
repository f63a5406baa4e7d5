#pragma once

#include "platform/message_sink.h"

#include <QList>
#include <QString>

// Keeps every message it is shown, for tests to inspect.
class RecordingSink : public MessageSink
{
public:
    struct Message
    {
        QString text;
        QString title;
        Icon icon;
    };

    void showMessage(const QString& text, const QString& title, Icon icon) override
    {
        messages.append({text, title, icon});
    }

    QList<Message> messages;
};
