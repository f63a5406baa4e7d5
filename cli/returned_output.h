#pragma once

#include <QByteArray>
#include <QString>

// Moves a converted file that came back from another machine to its output path, given as the
// bytes the file system takes (a name need not be text), replacing an older output as a local
// conversion does: a link there is replaced, never written through. Across file systems it is
// copied into an unfinished file beside the output and renamed onto it, so the output path never
// holds half a file. On failure error says why.
bool PlaceReturnedOutput(const QString& staged, const QByteArray& destination, QString* error);
