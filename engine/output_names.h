#pragma once

#include "intake/track_tags.h"

#include <QString>
#include <QVector>

#include <optional>

// Names from tags: a pattern such as "{albumartist}/{album}/{track} {title}" gives each output's
// path below the output folder, without the extension. Everything here works on plain data, so the
// rules hold the same for the window, trevalon-batch and a remote run.

// One source as its name is made.
struct NamingSource
{
    TrackTags tags;
    QString fileName;   // the source's own name without its extension
    QString keptFolder; // the folders "Keep folders" creates for it, '/'-separated; "" for a lone file
    QString fallback;   // its path below the output folder without names from tags, '/'-separated
};

// The output an entry gets: its path below the output folder, '/'-separated, without extension.
struct NamedOutput
{
    QString path;
    bool fromTags = false; // false: a field was missing and the fallback name is used
    int number = 1;        // 2 and more: " (n)" was added because an earlier source had this name
};

// Limits of one name part in bytes (UTF-8): a folder may use all that a name may have; the file
// part leaves room for the extension, a " (n)" and the marks of the temporary name.
inline constexpr int FolderPartBytes = 255;
inline constexpr int FilePartBytes = 200;

// Why a pattern cannot be used (an unknown field, an unclosed brace, nothing in it); nullopt when
// it can.
std::optional<QString> NamePatternProblem(const QString& pattern);

// The path the pattern gives the source, every part made safe; nullopt when the source lacks a
// field the pattern uses (an empty tag counts as missing; a missing disc is 1 and a missing album
// artist takes the artist).
std::optional<QString> PatternPath(const QString& pattern, const NamingSource& source);

// A name part made safe for FAT, exFAT and SMB: characters they refuse and control characters
// become "_", trailing dots and blanks go, the part is cut to maxBytes of UTF-8 on a character
// boundary, and a part left empty becomes "_".
QString SafeNamePart(const QString& part, int maxBytes);

// The outputs of a run's sources, in list order. A name equal to an earlier one, or equal but for
// letter case, gets " (2)", " (3)" and so on; fallback names take part too.
QVector<NamedOutput> AssignOutputNames(const QString& pattern,
                                       const QVector<NamingSource>& sources);
