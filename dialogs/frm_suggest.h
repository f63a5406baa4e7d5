#pragma once

#include "dialogs/skinned_dialog.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPixmap>
#include <QPointer>
#include <QUrl>

class Hotspot;
class QLabel;
class QLineEdit;

// The feedback form: a name, an e-mail address and a comment sent to the maker's web site in one
// GET request. The status line prompts for the first empty field, shows "Sending..." while the
// request is under way (the send button stays disabled from then on) and "Finished." when it has
// completed, whatever the server answered. The form never shows a message box.
class frmSuggest : public SkinnedDialog
{
    Q_OBJECT

public:
    explicit frmSuggest(QUrl endpoint = {}, QWidget* parent = nullptr);
    ~frmSuggest() override;

    // The Send button's work; does nothing once a request has been sent.
    void send();

    QString status() const;
    bool statusShown() const;
    bool sendEnabled() const;

    // How the request ended: the network error (NoError for a page the server returned) and the
    // HTTP status when there was one; -1 while no request has completed.
    QNetworkReply::NetworkError requestError() const { return m_requestError; }
    int httpStatus() const { return m_httpStatus; }

signals:
    void requestCompleted();

private:
    void buildControls();
    void buildHotspots();
    void showStatus(const QString& text);
    void replyFinished(QNetworkReply* reply);

    void surfaceMouseMove() override;

    QUrl m_endpoint;
    QNetworkAccessManager m_network;
    QNetworkReply::NetworkError m_requestError = QNetworkReply::NoError;
    int m_httpStatus = -1;

    QLineEdit* m_txtName = nullptr;
    QLineEdit* m_txtEMail = nullptr;
    QLineEdit* m_txtComment = nullptr;
    QLabel* m_lblSending = nullptr;
    Hotspot* m_imgSend = nullptr;
    Hotspot* m_imgBack = nullptr;
    Hotspot* m_imgExit = nullptr;

    QPixmap m_imgSendLight;
    QPixmap m_imgBackLight;
    QPixmap m_imgExitLight;
};

// The background of the feedback form.
QPixmap PaintSuggestSkin();
