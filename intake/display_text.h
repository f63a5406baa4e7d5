#pragma once

#include <QChar>
#include <QString>

class CodePage;

// The characters after the last separator of a path; the whole text when it has none.
QString FileNamePart(const QString& path, QChar separator);

// The file name of a path up to its first "." ("" for a name that starts with a dot): the name an
// output or a staged copy is given.
QString OutputBaseName(const QString& path, QChar separator);

// The text as it comes back from the code page the file system is reached through.
QString AnsiRoundTrip(const QString& text, const CodePage& codePage);

// The text a list row shows for a chosen or dropped path: the path as the code page returns it,
// with the file name's characters that are not allowed in a name shown as spaces. Every occurrence
// of the name is taken out of the text before the name is put back at the end, so C:\song\song
// shows as C:\\song.
QString CleanDisplayText(const QString& path, const CodePage& codePage, QChar separator);
