#pragma once

#include "settings/settings_types.h"

#include <QString>

// The texts of the options dialog's eight time boxes: the From row and the Duration row, each as
// hours, minutes, seconds and the fraction written after the seconds' decimal point.
struct CutterBoxes
{
    QString fromH = QStringLiteral("0");
    QString fromM = QStringLiteral("0");
    QString fromS = QStringLiteral("0");
    QString fromMS = QStringLiteral("0");
    QString toH = QStringLiteral("0");
    QString toM = QStringLiteral("0");
    QString toS = QStringLiteral("0");
    QString toMS = QStringLiteral("0");
};

// The boxes as the dialog shows a stored range: whole seconds split into hours, minutes and seconds
// (3723 gives 1, 2, 3), the fractions in decimal.
CutterBoxes BoxesFromOptions(const OptionsSettings& options);

// The first box whose value OK refuses, in the order the user is told about them.
enum class CutterBoxError { None, FromMinutes, ToMinutes, FromSeconds, ToSeconds };

CutterBoxError FirstInvalidBox(const CutterBoxes& boxes);

// "Minutes must less than 60" or "Seconds must less than 60"; empty for None.
QString CutterBoxMessage(CutterBoxError error);

// True when every hour, minute and second box reads 0 (the fractions play no part): a cutter with
// nothing to cut is switched off.
bool AllTimesZero(const CutterBoxes& boxes);

// The record OK stores: the sound choice and cutter switch as given, the times from the boxes.
// A time beyond the 32-bit range, or a fraction that is not a number (empty included), keeps the
// value `previous` holds.
OptionsSettings OptionsFromBoxes(const OptionsSettings& previous, int soundIndex, bool cutterOn,
                                 const CutterBoxes& boxes);
