#include "dialogs/feedback_request.h"

#ifndef TREVALON_FEEDBACK_URL
#error "TREVALON_FEEDBACK_URL must be defined by the build"
#endif

QUrl DefaultFeedbackEndpoint()
{
    return QUrl(QStringLiteral(TREVALON_FEEDBACK_URL));
}

QUrl FeedbackRequestUrl(const QUrl& endpoint, const QString& name, const QString& email,
                        const QString& comment)
{
    const auto pair = [](const char* key, const QString& value) {
        return QByteArray(key) + '=' + QUrl::toPercentEncoding(value);
    };
    const QByteArray query = pair("name", name) + '&' + pair("age", email) + '&'
                           + pair("comment", comment);

    QUrl url;
    url.setScheme(endpoint.scheme());
    url.setHost(endpoint.host());
    url.setPort(endpoint.port());
    url.setPath(QStringLiteral("/suggest/post.php"));
    // Already encoded: StrictMode keeps every escape exactly as written.
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}
