#include "converter/tag_writer.h"

#include "converter/arguments.h"
#include "converter/source_probe.h"

#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/asftag.h>
#include <taglib/fileref.h>
#include <taglib/flacpicture.h>
#include <taglib/oggfile.h>
#include <taglib/xiphcomment.h>

#include <cstdlib>
#include <initializer_list>

namespace {

bool endsWithAny(const std::string& path, std::initializer_list<const char*> extensions)
{
    for (const char* extension : extensions) {
        if (endsWithIgnoringCase(path, extension))
            return true;
    }
    return false;
}

TagLib::ByteVector bytesOf(const std::string& data)
{
    return TagLib::ByteVector(data.data(), static_cast<unsigned>(data.size()));
}

void addTo(TagLib::Ogg::XiphComment& comment, const CoverPicture& cover)
{
    auto* picture = new TagLib::FLAC::Picture;
    picture->setType(TagLib::FLAC::Picture::FrontCover);
    picture->setMimeType(TagLib::String(cover.mime, TagLib::String::UTF8));
    picture->setWidth(cover.width);
    picture->setHeight(cover.height);
    picture->setData(bytesOf(cover.data));
    comment.removeAllPictures();
    comment.addPicture(picture); // the comment owns it from here
}

void addTo(TagLib::ASF::Tag& tag, const CoverPicture& cover)
{
    TagLib::ASF::Picture picture;
    picture.setType(TagLib::ASF::Picture::FrontCover);
    picture.setMimeType(TagLib::String(cover.mime, TagLib::String::UTF8));
    picture.setPicture(bytesOf(cover.data));
    tag.setAttribute("WM/Picture", TagLib::ASF::Attribute(picture));
}

// ffmpeg's ASF muxer writes the year and the comment as attributes of its own names ("date",
// "Description") that players do not read; they belong in WM/Year and the description field.
bool mendAsfText(TagLib::ASF::Tag& tag, const SourceTags& source)
{
    bool changed = false;
    const unsigned year = static_cast<unsigned>(std::atoi(source.date.c_str()));
    if (year > 0 && tag.year() != year) {
        tag.setYear(year);
        tag.removeItem("date");
        changed = true;
    }
    const TagLib::String comment(source.comment, TagLib::String::UTF8);
    if (!comment.isEmpty() && tag.comment() != comment) {
        tag.setComment(comment);
        tag.removeItem("Description");
        changed = true;
    }
    return changed;
}

} // namespace

bool writeTags(const std::string& source, const std::string& output, std::string& error,
               const SourceInfo& probed)
{
    const bool ogg = endsWithAny(output, {".ogg", ".oga", ".opus"});
    const bool asf = endsWithAny(output, {".wma"});
    if (!ogg && !asf)
        return true;
    // The probe saw every stream the source opens with, an attached picture among them.
    if (ogg && probed.loaded && probed.openError == 0 && probed.pictureStream < 0)
        return true;
    const SourceTags tags = readSourceTags(source);
    if (!tags.cover && (ogg || (tags.date.empty() && tags.comment.empty())))
        return true;

    TagLib::FileRef file(output.c_str(), false);
    if (file.isNull() || !file.file()->isValid()) {
        error = "cannot read the tags of '" + output + "' to complete them";
        return false;
    }
    bool changed = false;
    if (auto* comment = dynamic_cast<TagLib::Ogg::XiphComment*>(file.tag())) {
        if (tags.cover) {
            addTo(*comment, *tags.cover);
            changed = true;
        }
    } else if (auto* tag = dynamic_cast<TagLib::ASF::Tag*>(file.tag())) {
        changed = mendAsfText(*tag, tags);
        if (tags.cover) {
            addTo(*tag, *tags.cover);
            changed = true;
        }
    } else {
        error = "'" + output + "' has no tags that can hold the cover";
        return false;
    }
    if (changed && !file.save()) {
        error = "cannot write the tags of '" + output + "'";
        return false;
    }
    return true;
}
