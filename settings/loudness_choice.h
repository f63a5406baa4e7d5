#pragma once

#include <QString>

#include <optional>

// What a conversion does about loudness: nothing; ReplayGain tags (R128 gains for Opus) with the
// track's and the album's values; or the audio itself brought to -18 LUFS.
enum class LoudnessChoice { Off, Tag, Apply };

// The word of the choice as trevalon-batch, trevalon.ini and the converter take it.
inline QString LoudnessWord(LoudnessChoice choice)
{
    switch (choice) {
    case LoudnessChoice::Tag:
        return QStringLiteral("tag");
    case LoudnessChoice::Apply:
        return QStringLiteral("apply");
    default:
        return QStringLiteral("off");
    }
}

inline std::optional<LoudnessChoice> LoudnessFromWord(const QString& word)
{
    const QString plain = word.trimmed().toLower();
    for (const LoudnessChoice choice :
         {LoudnessChoice::Off, LoudnessChoice::Tag, LoudnessChoice::Apply}) {
        if (plain == LoudnessWord(choice))
            return choice;
    }
    return std::nullopt;
}
