#pragma once

#include <QString>

// The tags of one source as read from its file; an empty text means the tag is missing.
struct TrackTags
{
    QString artist;
    QString albumArtist;
    QString album;
    QString title;
    QString genre;
    QString date;  // as tagged: "2003", "2003-05-01"
    QString track; // as tagged: "3", "03/12"
    QString disc;  // as tagged: "1", "1/2"
};

// Reads the tags of a file without decoding, or even measuring, its audio: a library of ten
// thousand files is named in seconds. A file TagLib cannot read has no tags.
TrackTags ReadTrackTags(const QString& path);

// The codec of a file's audio in FFmpeg's words ("mp3", "flac", "vorbis", "opus", "aac", "alac",
// "pcm_s16le", "wmav1", "wmav2"), read from the container's headers; "" when it cannot be told,
// so that such a file is converted as usual.
QString SourceAudioCodec(const QString& path);
