#include "dialogs/frm_options.h"

#include "dialogs/dialog_skin.h"
#include "dialogs/message_boxes.h"
#include "settings/settings_files.h"
#include "widgets/hotspot.h"
#include "widgets/skin_style.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace {

constexpr QRect ExitMark{299, 11, 15, 15};
constexpr int FromTop = 85;
constexpr int ToTop = 109;

QFont BoxFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    return font;
}

QLineEdit* MakeTimeBox(QWidget* parent, const char* name, int left, int top, int width)
{
    auto* box = new QLineEdit(QStringLiteral("0"), parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(left, top, width, 18);
    box->setFrame(false);
    box->setFont(BoxFont());
    box->setAlignment(Qt::AlignCenter);
    box->setTextMargins(0, 0, 0, 0);
    return box;
}

QLabel* MakeDecimalPoint(QWidget* parent, const char* name, int top)
{
    auto* point = new QLabel(QStringLiteral("."), parent);
    point->setObjectName(QLatin1String(name));
    point->setGeometry(244, top + 1, 6, 16);
    point->setStyleSheet(skin::TextColourStyle(skin::colour::Text) +
                         QStringLiteral(" background: transparent;"));
    point->setFont(BoxFont());
    return point;
}

} // namespace

QPixmap PaintOptionsSkin()
{
    using dialogskin::Caption;
    dialogskin::Layout layout;
    layout.title = QStringLiteral("Options");
    layout.icon = dialogskin::TitleIcon::Note;
    layout.closeMark = ExitMark;
    layout.leftButton = QStringLiteral("OK");
    layout.rightButton = QStringLiteral("Back");
    layout.captions = {
        Caption{QStringLiteral("Sound Reminder:"), QRect(20, 34, 120, 20)},
        Caption{QStringLiteral("Music Cutter:"), QRect(20, 60, 120, 20)},
        Caption{QStringLiteral("From:"), QRect(20, FromTop, 70, 18)},
        Caption{QStringLiteral("Duration:"), QRect(20, ToTop, 70, 18)},
    };
    for (const int top : {FromTop, ToTop}) {
        layout.captions.append(Caption{QStringLiteral("Hour"), QRect(117, top, 40, 18), true});
        layout.captions.append(Caption{QStringLiteral("Min"), QRect(195, top, 28, 18), true});
        layout.captions.append(Caption{QStringLiteral("Sec"), QRect(273, top, 30, 18), true});
    }
    return dialogskin::PaintBackground(layout);
}

frmOptions::frmOptions(OptionsSettings& options, SettingsFolderChoice settings,
                       MessageBoxes& messages, QWidget* parent)
    : SkinnedDialog(parent), m_options(options), m_settings(std::move(settings)),
      m_messages(messages)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setSkin(PaintOptionsSkin());
    placeOffScreen();
    buildControls();
    buildHotspots();
    applyTabOrder();
    load();
    update();
    armReveal();
}

void frmOptions::buildControls()
{
    m_cmbSR = new QComboBox(this);
    m_cmbSR->setObjectName(QStringLiteral("cmbSR"));
    m_cmbSR->setGeometry(146, 34, 163, 20);
    m_cmbSR->setFont(BoxFont());
    m_cmbSR->addItems({QStringLiteral("ON"), QStringLiteral("OFF")});

    // Only the box shows; its caption is painted on the background.
    m_chkMC = new QCheckBox(this);
    m_chkMC->setObjectName(QStringLiteral("chkMC"));
    m_chkMC->setAccessibleName(QStringLiteral("Music Cutter"));
    m_chkMC->setGeometry(146, 64, 13, 13);
    connect(m_chkMC, &QCheckBox::toggled, this, &frmOptions::setTimeBoxesEnabled);

    m_txtFromH = MakeTimeBox(this, "txtFromH", 94, FromTop, 19);
    m_txtFromM = MakeTimeBox(this, "txtFromM", 160, FromTop, 31);
    m_txtFromS = MakeTimeBox(this, "txtFromS", 224, FromTop, 17);
    MakeDecimalPoint(this, "Label1", FromTop);
    m_txtFromMS = MakeTimeBox(this, "txtFromMS", 252, FromTop, 17);
    m_txtToH = MakeTimeBox(this, "txtToH", 94, ToTop, 19);
    m_txtToM = MakeTimeBox(this, "txtToM", 160, ToTop, 31);
    m_txtToS = MakeTimeBox(this, "txtToS", 224, ToTop, 17);
    MakeDecimalPoint(this, "Label2", ToTop);
    m_txtToMS = MakeTimeBox(this, "txtToMS", 252, ToTop, 17);
}

void frmOptions::buildHotspots()
{
    m_imgButton = dialogskin::PaintDropButton(QSize(19, 19), false);
    m_imgButtonLight = dialogskin::PaintDropButton(QSize(19, 19), true);
    m_imgOKLight = dialogskin::PaintButton(QStringLiteral("OK"), dialogskin::LeftButton.size(), true);
    m_imgBackLight =
        dialogskin::PaintButton(QStringLiteral("Back"), dialogskin::RightButton.size(), true);
    m_imgExitLight = dialogskin::PaintCloseMark(ExitMark.size(), true);

    // Laid over the arrow end of cmbSR, so it is created after the list to lie on top of it.
    m_picButtonBR = new Hotspot(this);
    m_picButtonBR->setObjectName(QStringLiteral("picButtonBR"));
    m_picButtonBR->setGeometry(290, 35, 19, 19);
    m_picButtonBR->setPicture(m_imgButton);
    connect(m_picButtonBR, &Hotspot::hovered, this,
            [this] { m_picButtonBR->setPicture(m_imgButtonLight); });
    connect(m_picButtonBR, &Hotspot::clicked, this, [this] { m_cmbSR->showPopup(); });

    const auto makeButton = [this](const char* name, const QRect& box, const QPixmap& light) {
        auto* hotspot = new Hotspot(this);
        hotspot->setObjectName(QLatin1String(name));
        hotspot->setGeometry(box);
        hotspot->setCursor(HandCursor());
        connect(hotspot, &Hotspot::hovered, this, [hotspot, &light] { hotspot->setPicture(light); });
        return hotspot;
    };
    m_imgOK = makeButton("imgOK", dialogskin::LeftButton, m_imgOKLight);
    m_imgBack = makeButton("imgBack", dialogskin::RightButton, m_imgBackLight);
    m_imgExit = makeButton("imgExit", ExitMark, m_imgExitLight);
    connect(m_imgOK, &Hotspot::clicked, this, &frmOptions::okClicked);
    connect(m_imgBack, &Hotspot::clicked, this, [this] { finish(Outcome::Abandoned); });
    connect(m_imgExit, &Hotspot::clicked, this, [this] { finish(Outcome::Abandoned); });
}

void frmOptions::applyTabOrder()
{
    // The list, the switch, both rows' hours, minutes and seconds, then the two fractions.
    const QList<QWidget*> order = {m_cmbSR,   m_chkMC,  m_txtFromH,  m_txtFromM, m_txtFromS,
                                   m_txtToH,  m_txtToM, m_txtToS,    m_txtFromMS, m_txtToMS};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void frmOptions::load()
{
    // An index outside the list leaves it without a selection.
    m_cmbSR->setCurrentIndex(m_options.soundIndex == 0 || m_options.soundIndex == 1
                                 ? m_options.soundIndex
                                 : -1);

    m_chkMC->setChecked(m_options.cutterOn != 0);
    setTimeBoxesEnabled(m_chkMC->isChecked());
    if (!m_chkMC->isChecked())
        return; // the boxes keep reading 0: stored times are shown only with the cutter on

    const CutterBoxes shown = BoxesFromOptions(m_options);
    m_txtFromH->setText(shown.fromH);
    m_txtFromM->setText(shown.fromM);
    m_txtFromS->setText(shown.fromS);
    m_txtFromMS->setText(shown.fromMS);
    m_txtToH->setText(shown.toH);
    m_txtToM->setText(shown.toM);
    m_txtToS->setText(shown.toS);
    m_txtToMS->setText(shown.toMS);
}

void frmOptions::setTimeBoxesEnabled(bool enabled)
{
    for (QLineEdit* box : {m_txtFromH, m_txtFromM, m_txtFromS, m_txtFromMS, m_txtToH, m_txtToM,
                           m_txtToS, m_txtToMS})
        box->setEnabled(enabled);
}

CutterBoxes frmOptions::boxes() const
{
    CutterBoxes boxes;
    boxes.fromH = m_txtFromH->text();
    boxes.fromM = m_txtFromM->text();
    boxes.fromS = m_txtFromS->text();
    boxes.fromMS = m_txtFromMS->text();
    boxes.toH = m_txtToH->text();
    boxes.toM = m_txtToM->text();
    boxes.toS = m_txtToS->text();
    boxes.toMS = m_txtToMS->text();
    return boxes;
}

QLineEdit* frmOptions::boxFor(CutterBoxError error) const
{
    switch (error) {
    case CutterBoxError::FromMinutes:
        return m_txtFromM;
    case CutterBoxError::ToMinutes:
        return m_txtToM;
    case CutterBoxError::FromSeconds:
        return m_txtFromS;
    case CutterBoxError::ToSeconds:
        return m_txtToS;
    case CutterBoxError::None:
        break;
    }
    return nullptr;
}

void frmOptions::okClicked()
{
    const CutterBoxes typed = boxes();
    const CutterBoxError error = FirstInvalidBox(typed);
    if (error != CutterBoxError::None) {
        m_messages.exclamation(this, CutterBoxMessage(error), QStringLiteral("Min"));
        boxFor(error)->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (AllTimesZero(typed))
        m_chkMC->setChecked(false);

    m_options = OptionsFromBoxes(m_options, m_cmbSR->currentIndex(), m_chkMC->isChecked(), typed);
    m_settings.prepareWrite();
    m_optionsFileWritten = WriteOptionsFile(m_settings.folder, m_options);
    finish(Outcome::Accepted);
}

void frmOptions::surfaceMouseMove()
{
    m_imgExit->clearPicture();
    m_imgBack->clearPicture();
    m_imgOK->clearPicture();
    m_picButtonBR->setPicture(m_imgButton);
}
