#include "dialogs/feedback_request.h"
#include "dialogs/frm_suggest.h"
#include "dialogs/help_links.h"
#include "widgets/hotspot.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A one-request HTTP server on the loopback interface: keeps the request line and answers with
// the given status line.
class LoopbackServer : public QObject
{
public:
    explicit LoopbackServer(QByteArray statusLine) : m_statusLine(std::move(statusLine))
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                m_received += socket->readAll();
                if (!m_received.contains("\r\n\r\n"))
                    return;
                ++m_requests;
                socket->write(m_statusLine + "\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
                socket->disconnectFromHost();
            });
        });
    }

    QUrl endpoint() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
    }
    int requests() const { return m_requests; }
    // "/suggest/post.php?name=..." from "GET <target> HTTP/1.1".
    QByteArray target() const { return m_received.split(' ').value(1); }

private:
    QTcpServer m_server;
    QByteArray m_statusLine;
    QByteArray m_received;
    int m_requests = 0;
};

// The query as a PHP endpoint sees it: pairs split at "&", "+" read as a blank, escapes decoded.
QList<std::pair<QString, QString>> ServerSideQuery(const QByteArray& query)
{
    QList<std::pair<QString, QString>> pairs;
    for (QByteArray pair : query.split('&')) {
        pair.replace('+', ' ');
        const qsizetype equals = pair.indexOf('=');
        pairs.append({QUrl::fromPercentEncoding(pair.left(equals)),
                      QUrl::fromPercentEncoding(pair.mid(equals + 1))});
    }
    return pairs;
}

void Fill(frmSuggest& form, const QString& name, const QString& email, const QString& comment)
{
    form.findChild<QLineEdit*>(QStringLiteral("txtName"))->setText(name);
    form.findChild<QLineEdit*>(QStringLiteral("txtEMail"))->setText(email);
    form.findChild<QLineEdit*>(QStringLiteral("txtComment"))->setText(comment);
}

void ClickSend(frmSuggest& form)
{
    QTest::mouseClick(form.findChild<Hotspot*>(QStringLiteral("imgSend")), Qt::LeftButton);
}

} // namespace

TEST(FeedbackForm, PromptsForTheFirstEmptyFieldInOrder)
{
    LoopbackServer server("HTTP/1.1 200 OK");
    frmSuggest form(server.endpoint());
    form.show();
    EXPECT_FALSE(form.statusShown());

    ClickSend(form);
    EXPECT_EQ(form.status(), u"Your Name?"_s);
    EXPECT_EQ(form.focusWidget(), form.findChild<QLineEdit*>(QStringLiteral("txtName")));

    Fill(form, QStringLiteral("Ann"), QString(), QStringLiteral("hello"));
    ClickSend(form);
    EXPECT_EQ(form.status(), u"Your Email?"_s);
    EXPECT_EQ(form.focusWidget(), form.findChild<QLineEdit*>(QStringLiteral("txtEMail")));

    Fill(form, QStringLiteral("Ann"), QStringLiteral("ann@example.org"), QString());
    ClickSend(form);
    EXPECT_EQ(form.status(), u"Comment?"_s);
    EXPECT_EQ(form.focusWidget(), form.findChild<QLineEdit*>(QStringLiteral("txtComment")));
    EXPECT_TRUE(form.sendEnabled());
    QTest::qWait(50);
    EXPECT_EQ(server.requests(), 0);
}

TEST(FeedbackForm, SendsOneEncodedRequestThatTheServerDecodesIntact)
{
    LoopbackServer server("HTTP/1.1 200 OK");
    frmSuggest form(server.endpoint());
    form.show();
    const QString name = QStringLiteral(" ");  // blanks count as filled and go as typed
    const QString email = QStringLiteral("a b@example.org");
    const QString comment = QStringLiteral("Tom & Jerry #1 + 2 = 3, café ünïcødé 日本語");
    Fill(form, name, email, comment);

    QSignalSpy completed(&form, &frmSuggest::requestCompleted);
    ClickSend(form);
    EXPECT_EQ(form.status(), u"Sending..."_s);
    EXPECT_FALSE(form.sendEnabled());
    ClickSend(form); // disabled: no second request
    ASSERT_TRUE(completed.wait(5000));
    EXPECT_EQ(form.status(), u"Finished."_s);
    EXPECT_EQ(form.httpStatus(), 200);
    EXPECT_EQ(server.requests(), 1);

    const QByteArray target = server.target();
    const qsizetype question = target.indexOf('?');
    EXPECT_EQ(target.left(question), "/suggest/post.php");
    const auto pairs = ServerSideQuery(target.mid(question + 1));
    ASSERT_EQ(pairs.size(), 3) << target.constData();
    EXPECT_EQ(pairs[0], std::make_pair(QStringLiteral("name"), name));
    EXPECT_EQ(pairs[1], std::make_pair(QStringLiteral("age"), email));
    EXPECT_EQ(pairs[2], std::make_pair(QStringLiteral("comment"), comment));
}

TEST(FeedbackForm, FinishesWhateverTheAnswer)
{
    LoopbackServer server("HTTP/1.1 500 Internal Server Error");
    frmSuggest form(server.endpoint());
    form.show();
    Fill(form, QStringLiteral("n"), QStringLiteral("e"), QStringLiteral("c"));
    QSignalSpy completed(&form, &frmSuggest::requestCompleted);
    ClickSend(form);
    ASSERT_TRUE(completed.wait(5000));
    EXPECT_EQ(form.status(), u"Finished."_s);
    EXPECT_EQ(form.httpStatus(), 500);
    EXPECT_NE(form.requestError(), QNetworkReply::NoError);
    EXPECT_FALSE(form.sendEnabled());
    EXPECT_TRUE(form.isVisible());
}

TEST(FeedbackForm, BackDuringSendingClosesAtOnce)
{
    QTcpServer silent; // accepts the connection and never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    auto form = std::make_unique<frmSuggest>(
        QUrl(QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort())));
    form->show();
    Fill(*form, QStringLiteral("n"), QStringLiteral("e"), QStringLiteral("c"));
    QSignalSpy connected(&silent, &QTcpServer::newConnection);
    ClickSend(*form);
    ASSERT_TRUE(connected.wait(5000));
    QTimer::singleShot(0, form.get(), [&form] {
        QTest::mouseClick(form->findChild<Hotspot*>(QStringLiteral("imgBack")), Qt::LeftButton);
    });
    EXPECT_EQ(form->exec(), SkinnedDialog::Outcome::Abandoned);
    EXPECT_EQ(form->status(), u"Sending..."_s);
    form.reset();
    QTest::qWait(20);
}

TEST(FeedbackForm, EndpointKeepsSchemeHostAndPort)
{
    const QUrl url = FeedbackRequestUrl(QUrl(QStringLiteral("https://feedback.example:8443/x")),
                                        QStringLiteral("a"), QStringLiteral("b"),
                                        QStringLiteral("c"));
    EXPECT_EQ(url.toString(), u"https://feedback.example:8443/suggest/post.php?name=a&age=b&comment=c"_s);
    EXPECT_TRUE(DefaultFeedbackEndpoint().isValid());
    EXPECT_FALSE(DefaultFeedbackEndpoint().host().isEmpty());
}

namespace {

class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace

TEST(HelpLinks, OpenTheHelpPageAndTheProductPageThroughTheDesktop)
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    QDesktopServices::setUrlHandler(ProductPageUrl().scheme(), &recorder, "open");

    QTemporaryDir programFolder;
    EXPECT_FALSE(OpenHelpPage(programFolder.path())); // no page: nothing is asked of the desktop
    EXPECT_TRUE(recorder.opened.isEmpty());
    EXPECT_TRUE(QFile::exists(QStringLiteral(TREVALON_PROGRAM_DIR "/help.html")));
    EXPECT_TRUE(OpenHelpPage(QStringLiteral(TREVALON_PROGRAM_DIR)));

    EXPECT_FALSE(OpenProductPage(QStringLiteral("Converting...")));
    EXPECT_TRUE(OpenProductPage(QStringLiteral("Trevalon")));
    EXPECT_EQ(recorder.opened,
              (QList<QUrl>{HelpPageUrl(QStringLiteral(TREVALON_PROGRAM_DIR)), ProductPageUrl()}));

    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDesktopServices::unsetUrlHandler(ProductPageUrl().scheme());
}

#include "test_frm_suggest.moc"
