#include "intake/track_tags.h"

#include <QFile>

#include <taglib/asffile.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

namespace {

QString first(const TagLib::PropertyMap& properties, const char* key)
{
    const auto found = properties.find(key);
    if (found == properties.end() || found->second.isEmpty())
        return {};
    return QString::fromStdString(found->second.front().to8Bit(true)).trimmed();
}

} // namespace

TrackTags ReadTrackTags(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const TagLib::FileRef file(name.constData(), false);
    if (file.isNull())
        return {};
    const TagLib::PropertyMap properties = file.file()->properties();
    TrackTags tags;
    tags.artist = first(properties, "ARTIST");
    tags.albumArtist = first(properties, "ALBUMARTIST");
    tags.album = first(properties, "ALBUM");
    tags.title = first(properties, "TITLE");
    tags.genre = first(properties, "GENRE");
    tags.date = first(properties, "DATE");
    tags.track = first(properties, "TRACKNUMBER");
    tags.disc = first(properties, "DISCNUMBER");
    return tags;
}

QString SourceAudioCodec(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // The fast style reads the headers only; the codec is all that is asked.
    const TagLib::FileRef ref(name.constData(), true, TagLib::AudioProperties::Fast);
    if (ref.isNull())
        return {};
    TagLib::File* file = ref.file();
    if (dynamic_cast<TagLib::FLAC::File*>(file))
        return QStringLiteral("flac");
    if (dynamic_cast<TagLib::Ogg::Vorbis::File*>(file))
        return QStringLiteral("vorbis");
    if (dynamic_cast<TagLib::Ogg::Opus::File*>(file))
        return QStringLiteral("opus");
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        const auto* properties = mpeg->audioProperties();
        if (!properties)
            return {};
        return properties->layer() == 3 ? QStringLiteral("mp3")
               : properties->layer() == 2 ? QStringLiteral("mp2")
                                          : QString();
    }
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        const auto* properties = mp4->audioProperties();
        if (!properties)
            return {};
        return properties->codec() == TagLib::MP4::Properties::AAC    ? QStringLiteral("aac")
               : properties->codec() == TagLib::MP4::Properties::ALAC ? QStringLiteral("alac")
                                                                       : QString();
    }
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        const auto* properties = wav->audioProperties();
        // Format 1 is integer PCM; WAV holds it little-endian.
        return properties && properties->format() == 1 && properties->bitsPerSample() == 16
                   ? QStringLiteral("pcm_s16le")
                   : QString();
    }
    if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) {
        const auto* properties = asf->audioProperties();
        if (!properties)
            return {};
        return properties->codec() == TagLib::ASF::Properties::WMA1   ? QStringLiteral("wmav1")
               : properties->codec() == TagLib::ASF::Properties::WMA2 ? QStringLiteral("wmav2")
                                                                       : QString();
    }
    return {};
}
