#pragma once

#include "widgets/skinned_window.h"

// A skinned window used as a modal dialog: created for one opening, shown with exec(), which
// returns once the dialog has closed by any way (its buttons, its close mark, the keyboard or the
// desktop's close request).
class SkinnedDialog : public SkinnedWindow
{
    Q_OBJECT

public:
    enum class Outcome { Open, Accepted, Abandoned };

    explicit SkinnedDialog(QWidget* parent = nullptr);

    Outcome exec();
    Outcome outcome() const { return m_outcome; }

signals:
    void finished(SkinnedDialog::Outcome outcome);

protected:
    // Closes the dialog with the given outcome; the first call wins.
    void finish(Outcome outcome);

    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Outcome m_outcome = Outcome::Open;
};
