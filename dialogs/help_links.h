#pragma once

#include <QString>
#include <QUrl>

class QWidget;

// The main window's ways out to help and to the maker: the help page, the product's web page and
// the feedback form. Each opener reports whether the desktop accepted the request.

// help.html in the program folder.
QUrl HelpPageUrl(const QString& programFolder);
// Opens the help page with the desktop's viewer. A missing page is reported (false) without
// asking the desktop.
bool OpenHelpPage(const QString& programFolder);

QUrl ProductPageUrl();
// Opens the product's web page in the desktop's browser when the footer label shows the product
// name; any other caption opens nothing (false).
bool OpenProductPage(const QString& webLabelCaption);

// Shows the feedback form modally over the given window and returns when it has closed.
void ShowFeedbackForm(QWidget* parent);
