#pragma once

#include <QString>
#include <QUrl>

// The feedback endpoint's scheme, host and port, fixed when the program is built
// (the TREVALON_FEEDBACK_URL build setting).
QUrl DefaultFeedbackEndpoint();

// The one GET request that carries a feedback: the endpoint's scheme, host and port, the path
// "/suggest/post.php" and the query name, age (the e-mail address) and comment, in that order.
// Every value is percent-encoded, so "&", "#", "+", "=", blanks and non-ASCII text reach the
// server as typed instead of splitting the query or being cut at "#".
QUrl FeedbackRequestUrl(const QUrl& endpoint, const QString& name, const QString& email,
                        const QString& comment);
