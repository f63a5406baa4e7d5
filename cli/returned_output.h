#pragma once

#include <QString>

// Moves a converted file that came back from another machine to its output path, replacing an older
// output as a local conversion does. Across file systems it is copied through a temporary file
// beside the output, so the output path never holds half a file. On failure error says why.
bool PlaceReturnedOutput(const QString& staged, const QString& destination, QString* error);
