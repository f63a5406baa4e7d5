#include "mainwindow/common_dlgs.h"

#include <QFileDialog>
#include <QFileInfo>

QString AddFilesFilter()
{
    return QStringLiteral(
        "All Media Formats(*.*)|*.*|MP4 Files(*.mp4)|*.mp4|AVI Files(*.avi)|*.avi|"
        "MPG Files(*.mpg)|*.mpg|WMV Files(*.wmv)|*.wmv|Flash Video(*.flv)|*.flv|"
        "QuickTime Format(*.mov)|*.mov|DVD VOB(*.vob)|*.vob|Real Video(*.rm)|*.rm|"
        "3GP Video(*.3gp)|*.3gp|MP3 Audio(*.mp3)|*.mp3|WAVE Files(*.wav)|*.wav|"
        "WMA Audio(*.wma)|*.wma|Opus Audio(*.opus)|*.opus|M4A Audio(*.m4a)|*.m4a");
}

QStringList CommonDlgsW::NameFilters(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // QFileDialog reads the patterns from the last parentheses; "*.*" becomes "*" so files
        // without an extension are offered too, as the system dialog does.
        QString pattern = parts.at(i + 1);
        if (pattern == QStringLiteral("*.*"))
            pattern = QStringLiteral("*");
        filters << parts.at(i) + QStringLiteral(" (") + pattern.replace(QLatin1Char(';'),
                                                                         QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

bool CommonDlgsW::ShowOpen(QWidget* owner)
{
    const QStringList filters = NameFilters(Filter);
    const QString selected =
        FilterIndex >= 1 && FilterIndex <= filters.size() ? filters.at(FilterIndex - 1) : QString();
    QString chosen;
    if (m_runner) {
        chosen = m_runner(owner, filters, selected, *this);
    } else {
        QString selectedFilter = selected;
        const QString start = InitDir.isEmpty() ? FileName : InitDir + QLatin1Char('/') + FileName;
        // The descriptions already name their patterns ("MP4 Files(*.mp4)"): the dialog shows
        // them as written and keeps the patterns to itself.
        chosen = QFileDialog::getOpenFileName(owner, DialogTitle, start,
                                              filters.join(QStringLiteral(";;")), &selectedFilter,
                                              QFileDialog::HideNameFilterDetails);
    }
    if (chosen.isEmpty())
        return false;
    FileName = chosen;
    FileTitle = QFileInfo(chosen).fileName();
    Title = FileTitle;
    return true;
}
