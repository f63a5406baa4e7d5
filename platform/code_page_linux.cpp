#include "platform/code_page.h"

QString NativeCodePage::roundTrip(const QString& text) const
{
    return text;
}

bool NativeCodePage::canRepresent(const QString&) const
{
    return true;
}
