#include "dialogs/help_links.h"

#include "dialogs/feedback_request.h"
#include "dialogs/frm_suggest.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

#ifndef TREVALON_PRODUCT_URL
#error "TREVALON_PRODUCT_URL must be defined by the build"
#endif

QUrl HelpPageUrl(const QString& programFolder)
{
    return QUrl::fromLocalFile(QDir(programFolder).filePath(QStringLiteral("help.html")));
}

bool OpenHelpPage(const QString& programFolder)
{
    const QUrl page = HelpPageUrl(programFolder);
    if (!QFileInfo(page.toLocalFile()).isFile())
        return false;
    return QDesktopServices::openUrl(page);
}

QUrl ProductPageUrl()
{
    return QUrl(QStringLiteral(TREVALON_PRODUCT_URL));
}

bool OpenProductPage(const QString& webLabelCaption)
{
    if (webLabelCaption != QStringLiteral("Trevalon"))
        return false;
    return QDesktopServices::openUrl(ProductPageUrl());
}

void ShowFeedbackForm(QWidget* parent)
{
    frmSuggest form(DefaultFeedbackEndpoint(), parent);
    form.exec();
}
