#pragma once

#include <QString>

#include <optional>

// What a run does when an output file already exists at its path.
enum class ExistingOutput
{
    Overwrite, // convert again and replace it (the classic behaviour)
    Skip,      // leave an output at least as new as its source alone, and count it as skipped
    Number,    // write "name (2).ext" beside it, or the first free number
};

std::optional<ExistingOutput> ParseExistingOutput(const QString& text);
QString ExistingOutputName(ExistingOutput rule);

// The choices for converting whole libraries again and again, kept in trevalon.ini. All are off by
// default, so a run without them is the classic one.
struct LibraryChoices
{
    QString namePattern; // names from tags, such as "{albumartist}/{album}/{track} {title}"; "" off
    ExistingOutput existing = ExistingOutput::Overwrite;
    bool copySameFormat = false; // copy a source already in the target's codec instead of encoding
    bool verify = false; // decode every output and compare it with its source before it is kept

    bool operator==(const LibraryChoices&) const = default;
};
