#include "dialogs/skinned_dialog.h"

#include "dialogs/dialog_skin.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>

SkinnedDialog::SkinnedDialog(QWidget* parent) : SkinnedWindow(parent)
{
    setWindowFlag(Qt::Dialog);
    setWindowModality(Qt::ApplicationModal);
    setStyleSheet(dialogskin::ControlsStyleSheet());
}

SkinnedDialog::Outcome SkinnedDialog::exec()
{
    if (m_outcome != Outcome::Open)
        return m_outcome;
    QEventLoop loop;
    connect(this, &SkinnedDialog::finished, &loop, &QEventLoop::quit);
    show();
    loop.exec();
    return m_outcome;
}

void SkinnedDialog::finish(Outcome outcome)
{
    if (m_outcome != Outcome::Open)
        return;
    m_outcome = outcome;
    hide();
    emit finished(outcome);
}

void SkinnedDialog::closeEvent(QCloseEvent* event)
{
    finish(Outcome::Abandoned);
    event->accept();
}

void SkinnedDialog::keyPressEvent(QKeyEvent* event)
{
    // The skin has no title bar to close from; Escape does what Back does.
    if (event->key() == Qt::Key_Escape) {
        finish(Outcome::Abandoned);
        return;
    }
    SkinnedWindow::keyPressEvent(event);
}
