#pragma once

#include <QString>

#include <functional>

class QWidget;

// The open-file dialog as the add-files command uses it: a thin wrapper over QFileDialog that keeps
// the dialog's settings between uses and gives back the chosen path in full Unicode. The filter is
// description and pattern texts alternating, separated by "|".
class CommonDlgsW
{
public:
    static constexpr unsigned MultiSelectFlag = 0x200;

    unsigned Flags = 0;
    QString DefaultExt;
    QString DialogTitle;
    QString Title;
    QString FileName;
    QString FileTitle;
    QString Filter = QStringLiteral("All files (*.*)|*.*");
    int FilterIndex = 1;
    QString InitDir;
    int MaxFileSize = 256;

    // The file dialog itself: given the QFileDialog name filters, the one selected and the title,
    // returns the chosen path or "" when the user cancelled. Replaceable, so tests need no dialog.
    using Runner = std::function<QString(QWidget* owner, const QStringList& nameFilters,
                                         const QString& selectedFilter, const CommonDlgsW& dialog)>;

    // Shows the open dialog owned by the window; true when a file was chosen, and then FileName
    // is its path and FileTitle and Title its name without the folder. Cancel changes nothing.
    bool ShowOpen(QWidget* owner);

    void setRunner(Runner runner) { m_runner = std::move(runner); }

    // The "|"-separated Filter as QFileDialog's name filters: "Description (pattern)" per pair,
    // with the description kept as written. The dialog is told to hide the "(pattern)" part, so
    // it shows "MP4 Files(*.mp4)" and filters by *.mp4.
    static QStringList NameFilters(const QString& filter);

private:
    Runner m_runner;
};

// The add-files command's filter: fifteen description and pattern pairs, every media file first,
// Opus and M4A last.
QString AddFilesFilter();
