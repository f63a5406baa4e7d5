#include "dialogs/frm_more_options.h"

#include "dialogs/dialog_skin.h"
#include "engine/output_names.h"
#include "widgets/hotspot.h"

#include <QComboBox>
#include <QThread>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr QRect ExitMark{299, 11, 15, 15};

QList<OptionRows::Item> FilesAtOnceItems()
{
    QList<OptionRows::Item> items;
    for (int count = 1; count <= frmMoreOptions::filesAtOnceChoices(); ++count)
        items.append({QString::number(count), count});
    return items;
}

} // namespace

frmMoreOptions::frmMoreOptions(ExtraSettings& extra, SettingsFolderChoice settings, QWidget* parent)
    : SkinnedDialog(parent), m_extra(extra), m_settings(std::move(settings)), m_rows(*this)
{
    setObjectName(QStringLiteral("frmMoreOptions"));
    setWindowTitle(QStringLiteral("More Options"));
    addRows();

    dialogskin::Layout layout;
    layout.title = QStringLiteral("More Options");
    layout.icon = dialogskin::TitleIcon::Note;
    layout.closeMark = ExitMark;
    layout.leftButton = QStringLiteral("OK");
    layout.rightButton = QStringLiteral("Back");
    layout.captions = m_rows.captions();
    layout.height = m_rows.dialogHeight();
    setSkin(dialogskin::PaintBackground(layout));
    placeOffScreen();
    buildButtons();
    const QList<QWidget*>& order = m_rows.controls();
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    m_rows.load(m_extra);
    update();
    armReveal();
}

// Trevalon's own choices, one row each, in the order the dialog shows them.
void frmMoreOptions::addRows()
{
    // Left unchosen, "Files at once" stays absent from trevalon.ini, so trevalon-batch keeps
    // using every core; once chosen, it is kept even when set back to 1.
    m_rows.addChoice(
        "cmbFilesAtOnce", QStringLiteral("Files at once:"),
        QStringLiteral("How many files the window converts at the same time"), FilesAtOnceItems(),
        [](const ExtraSettings& s) { return QVariant(s.filesAtOnce.value_or(1)); },
        [](ExtraSettings& s, const QVariant& value) {
            const int count = value.toInt();
            if (s.filesAtOnce || count != 1)
                s.filesAtOnce = count;
        });
    m_rows.addSwitch(
        "chkKeepFolders", QStringLiteral("Keep folders:"),
        QStringLiteral("Files of an added folder keep that folder and its "
                       "subfolders under the output folder"),
        [](const ExtraSettings& s) { return s.keepFolders; },
        [](ExtraSettings& s, bool on) { s.keepFolders = on; });
    m_rows.addChoice(
        "cmbLoudness", QStringLiteral("Loudness:"),
        QStringLiteral("Off; Tags: ReplayGain values for players to level by; Level: the audio "
                       "itself brought to one loudness"),
        {{QStringLiteral("Off"), QVariant(int(LoudnessChoice::Off))},
         {QStringLiteral("Tags"), QVariant(int(LoudnessChoice::Tag))},
         {QStringLiteral("Level"), QVariant(int(LoudnessChoice::Apply))}},
        [](const ExtraSettings& s) { return QVariant(int(s.loudness)); },
        [](ExtraSettings& s, const QVariant& value) {
            s.loudness = static_cast<LoudnessChoice>(std::clamp(value.toInt(), 0, 2));
        });
    // Empty: outputs are named after their sources. A pattern names them from their tags.
    m_rows.addText(
        "cmbNames", QStringLiteral("Names from tags:"),
        QStringLiteral("Each output's path below the output folder, from its tags; a / makes "
                       "folders. Fields: {artist} {albumartist} {album} {title} {track} {disc} "
                       "{year} {genre} {filename} {folder}. Empty: named after the source"),
        {QString(), QStringLiteral("{albumartist}/{album}/{track} {title}"),
         QStringLiteral("{artist} - {title}"), QStringLiteral("{folder}/{track} {title}")},
        [](const ExtraSettings& s) { return s.library.namePattern; },
        [](ExtraSettings& s, const QString& pattern) { s.library.namePattern = pattern.trimmed(); });
    m_rows.addChoice(
        "cmbExisting", QStringLiteral("If the output exists:"),
        QStringLiteral("Overwrite it, skip the file when its output is at least as new as the "
                       "source, or write \"name (2)\" beside it"),
        {{QStringLiteral("Overwrite"), ExistingOutputName(ExistingOutput::Overwrite)},
         {QStringLiteral("Skip if up to date"), ExistingOutputName(ExistingOutput::Skip)},
         {QStringLiteral("Number the new one"), ExistingOutputName(ExistingOutput::Number)}},
        [](const ExtraSettings& s) { return QVariant(ExistingOutputName(s.library.existing)); },
        [](ExtraSettings& s, const QVariant& value) {
            s.library.existing =
                ParseExistingOutput(value.toString()).value_or(ExistingOutput::Overwrite);
        });
    m_rows.addSwitch(
        "chkCopySameFormat", QStringLiteral("Copy same format:"),
        QStringLiteral("A file already in the output format's codec is copied, not encoded again "
                       "(not with the Music Cutter)"),
        [](const ExtraSettings& s) { return s.library.copySameFormat; },
        [](ExtraSettings& s, bool on) { s.library.copySameFormat = on; });
    m_rows.addSwitch(
        "chkVerify", QStringLiteral("Verify outputs:"),
        QStringLiteral("Decode each output to its end and compare it with its source before it "
                       "replaces anything; one that fails is removed and reported"),
        [](const ExtraSettings& s) { return s.library.verify; },
        [](ExtraSettings& s, bool on) { s.library.verify = on; });
}

int frmMoreOptions::filesAtOnceChoices()
{
    return std::max(4, QThread::idealThreadCount());
}

void frmMoreOptions::buildButtons()
{
    const QRect ok = dialogskin::LeftButtonAt(height());
    const QRect back = dialogskin::RightButtonAt(height());
    m_imgOKLight = dialogskin::PaintButton(QStringLiteral("OK"), ok.size(), true);
    m_imgBackLight = dialogskin::PaintButton(QStringLiteral("Back"), back.size(), true);
    m_imgExitLight = dialogskin::PaintCloseMark(ExitMark.size(), true);

    const auto makeButton = [this](const char* name, const QRect& box, const QPixmap& light) {
        auto* hotspot = new Hotspot(this);
        hotspot->setObjectName(QLatin1String(name));
        hotspot->setGeometry(box);
        hotspot->setCursor(HandCursor());
        connect(hotspot, &Hotspot::hovered, this,
                [hotspot, &light] { hotspot->setPicture(light); });
        return hotspot;
    };
    m_imgOK = makeButton("imgOK", ok, m_imgOKLight);
    m_imgBack = makeButton("imgBack", back, m_imgBackLight);
    m_imgExit = makeButton("imgExit", ExitMark, m_imgExitLight);
    connect(m_imgOK, &Hotspot::clicked, this, &frmMoreOptions::okClicked);
    connect(m_imgBack, &Hotspot::clicked, this, [this] { finish(Outcome::Abandoned); });
    connect(m_imgExit, &Hotspot::clicked, this, [this] { finish(Outcome::Abandoned); });
}

void frmMoreOptions::okClicked()
{
    const ExtraSettings chosen = m_rows.applied(m_extra);
    // A pattern that cannot name anything is said at its field, and the dialog stays open.
    if (!chosen.library.namePattern.isEmpty()) {
        if (const auto problem = NamePatternProblem(chosen.library.namePattern)) {
            auto* names = findChild<QComboBox*>(QStringLiteral("cmbNames"));
            names->setToolTip(*problem);
            QToolTip::showText(names->mapToGlobal(QPoint(0, names->height())), *problem, names);
            return;
        }
    }
    if (chosen != m_extra) {
        m_extra = chosen;
        m_settings.prepareWrite();
        m_extraFileWritten = WriteExtraSettings(m_settings.folder, m_extra);
    }
    finish(Outcome::Accepted);
}

void frmMoreOptions::surfaceMouseMove()
{
    m_imgExit->clearPicture();
    m_imgBack->clearPicture();
    m_imgOK->clearPicture();
    m_rows.restDropButtons();
}
