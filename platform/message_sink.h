#pragma once

#include <QString>

// Where the core's messages to the user go: a message box with an OK button in the window, a
// recorder in tests, the console in a command-line front end.
class MessageSink
{
public:
    enum class Icon { Critical, Exclamation, Information };

    virtual ~MessageSink() = default;
    virtual void showMessage(const QString& text, const QString& title, Icon icon) = 0;
};
