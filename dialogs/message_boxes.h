#pragma once

#include <QString>

class QWidget;

// Where a dialog's messages go: a real message box in the program, a recorder in tests.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;

    // A message with the exclamation icon and a single OK button; returns once it is dismissed.
    virtual void exclamation(QWidget* parent, const QString& text, const QString& title) = 0;
};

class WidgetMessageBoxes : public MessageBoxes
{
public:
    void exclamation(QWidget* parent, const QString& text, const QString& title) override;
};
