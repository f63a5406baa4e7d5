#include "dialogs/frm_suggest.h"

#include "dialogs/dialog_skin.h"
#include "dialogs/feedback_request.h"
#include "widgets/hotspot.h"
#include "widgets/skin_style.h"

#include <QLabel>
#include <QLineEdit>
#include <QNetworkRequest>

namespace {

constexpr QRect ExitMark{300, 11, 15, 15};

QFont FieldFont(bool bold = false)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    font.setBold(bold);
    return font;
}

QLineEdit* MakeField(QWidget* parent, const char* name, const QRect& box, int maxLength)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setGeometry(box);
    field->setMaxLength(maxLength);
    field->setFont(FieldFont());
    return field;
}

} // namespace

QPixmap PaintSuggestSkin()
{
    using dialogskin::Caption;
    dialogskin::Layout layout;
    layout.title = QStringLiteral("Feedback");
    layout.icon = dialogskin::TitleIcon::CheckMark;
    layout.closeMark = ExitMark;
    layout.leftButton = QStringLiteral("Send");
    layout.rightButton = QStringLiteral("Back");
    layout.captions = {
        Caption{QStringLiteral("Your Name:"), QRect(24, 50, 84, 21)},
        Caption{QStringLiteral("Your Email:"), QRect(24, 76, 84, 21)},
        Caption{QStringLiteral("Comment:"), QRect(24, 102, 84, 21)},
    };
    return dialogskin::PaintBackground(layout);
}

frmSuggest::frmSuggest(QUrl endpoint, QWidget* parent)
    : SkinnedDialog(parent),
      m_endpoint(endpoint.isEmpty() ? DefaultFeedbackEndpoint() : std::move(endpoint))
{
    setObjectName(QStringLiteral("frmSuggest"));
    setWindowTitle(QStringLiteral("FeedBack"));
    setSkin(PaintSuggestSkin());
    placeOffScreen();
    buildControls();
    buildHotspots();
    connect(&m_network, &QNetworkAccessManager::finished, this, &frmSuggest::replyFinished);
    update();
    armReveal();
}

frmSuggest::~frmSuggest()
{
    // A request still under way is abandoned with the form; its end must not reach a form that
    // is half destroyed.
    m_network.disconnect(this);
}

void frmSuggest::buildControls()
{
    m_txtName = MakeField(this, "txtName", QRect(110, 50, 141, 21), 50);
    m_txtName->setToolTip(QStringLiteral("Your Name"));
    m_txtEMail = MakeField(this, "txtEMail", QRect(110, 76, 141, 21), 100);
    m_txtEMail->setToolTip(QStringLiteral("Email"));
    m_txtComment = MakeField(this, "txtComment", QRect(110, 102, 189, 21), 256);
    QWidget::setTabOrder(m_txtName, m_txtEMail);
    QWidget::setTabOrder(m_txtEMail, m_txtComment);

    m_lblSending = new QLabel(this);
    m_lblSending->setObjectName(QStringLiteral("lblSending"));
    m_lblSending->setGeometry(48, 138, 70, 14);
    m_lblSending->setAlignment(Qt::AlignCenter);
    m_lblSending->setFont(FieldFont(true));
    // White on the palette's teal, so the status stands out on the light body.
    m_lblSending->setStyleSheet(QStringLiteral("color: white; background: %1; border-radius: 3px;")
                                    .arg(skin::colour::Accent.name()));
    m_lblSending->hide();
}

void frmSuggest::buildHotspots()
{
    m_imgSendLight =
        dialogskin::PaintButton(QStringLiteral("Send"), dialogskin::LeftButton.size(), true);
    m_imgBackLight =
        dialogskin::PaintButton(QStringLiteral("Back"), dialogskin::RightButton.size(), true);
    m_imgExitLight = dialogskin::PaintCloseMark(ExitMark.size(), true);

    const auto makeButton = [this](const char* name, const QRect& box, const QPixmap& light,
                                   const QString& tip) {
        auto* hotspot = new Hotspot(this);
        hotspot->setObjectName(QLatin1String(name));
        hotspot->setGeometry(box);
        hotspot->setCursor(HandCursor());
        hotspot->setToolTip(tip);
        connect(hotspot, &Hotspot::hovered, this, [hotspot, &light] { hotspot->setPicture(light); });
        return hotspot;
    };
    m_imgSend = makeButton("imgSend", dialogskin::LeftButton, m_imgSendLight,
                           QStringLiteral("Send your feedback now"));
    m_imgBack = makeButton("imgBack", dialogskin::RightButton, m_imgBackLight,
                           QStringLiteral("back to main"));
    m_imgExit = makeButton("imgExit", ExitMark, m_imgExitLight, QStringLiteral("Exit"));
    connect(m_imgSend, &Hotspot::clicked, this, &frmSuggest::send);
    // Leaving does not wait for a request under way: closing the form abandons it.
    connect(m_imgBack, &Hotspot::clicked, this, [this] { finish(Outcome::Abandoned); });
    connect(m_imgExit, &Hotspot::clicked, this, [this] { finish(Outcome::Abandoned); });
}

void frmSuggest::send()
{
    if (!m_imgSend->isEnabled())
        return;
    // Only an empty field is missing: blanks count as an answer and are sent as typed.
    const std::pair<QLineEdit*, QString> prompts[] = {
        {m_txtName, QStringLiteral("Your Name?")},
        {m_txtEMail, QStringLiteral("Your Email?")},
        {m_txtComment, QStringLiteral("Comment?")},
    };
    for (const auto& [field, prompt] : prompts) {
        if (field->text().isEmpty()) {
            showStatus(prompt);
            field->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    showStatus(QStringLiteral("Sending..."));
    m_imgSend->setEnabled(false);
    m_network.get(QNetworkRequest(FeedbackRequestUrl(m_endpoint, m_txtName->text(),
                                                     m_txtEMail->text(), m_txtComment->text())));
}

void frmSuggest::replyFinished(QNetworkReply* reply)
{
    m_requestError = reply->error();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    m_httpStatus = status.isValid() ? status.toInt() : 0;
    reply->deleteLater();
    showStatus(QStringLiteral("Finished."));
    emit requestCompleted();
}

void frmSuggest::showStatus(const QString& text)
{
    m_lblSending->setText(text);
    m_lblSending->show();
}

QString frmSuggest::status() const
{
    return m_lblSending->text();
}

bool frmSuggest::statusShown() const
{
    return !m_lblSending->isHidden();
}

bool frmSuggest::sendEnabled() const
{
    return m_imgSend->isEnabled();
}

void frmSuggest::surfaceMouseMove()
{
    m_imgExit->clearPicture();
    m_imgBack->clearPicture();
    m_imgSend->clearPicture();
}
