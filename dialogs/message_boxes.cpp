#include "dialogs/message_boxes.h"

#include <QMessageBox>

void WidgetMessageBoxes::exclamation(QWidget* parent, const QString& text, const QString& title)
{
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}
