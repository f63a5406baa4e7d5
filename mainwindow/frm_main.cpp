#include "mainwindow/frm_main.h"

frmMain::frmMain(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Trevalon"));
    resize(700, 500);
}
