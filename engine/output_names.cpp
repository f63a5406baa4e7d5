#include "engine/output_names.h"

#include <QSet>
#include <QStringList>

#include <string_view>

namespace {

const QStringList Fields = {
    QStringLiteral("artist"), QStringLiteral("albumartist"), QStringLiteral("album"),
    QStringLiteral("title"),  QStringLiteral("genre"),       QStringLiteral("year"),
    QStringLiteral("track"),  QStringLiteral("disc"),        QStringLiteral("filename"),
    QStringLiteral("folder"),
};

// A pattern cut into literal text and fields; a field is kept with its braces.
struct Piece
{
    QString text;
    bool field = false;
};

std::optional<QVector<Piece>> piecesOf(const QString& pattern, QString* problem)
{
    QVector<Piece> pieces;
    qsizetype at = 0;
    while (at < pattern.size()) {
        const qsizetype open = pattern.indexOf(QLatin1Char('{'), at);
        const qsizetype stray = pattern.indexOf(QLatin1Char('}'), at);
        if (stray >= 0 && (open < 0 || stray < open)) {
            *problem = QStringLiteral("a \"}\" without its \"{\"");
            return std::nullopt;
        }
        if (open < 0) {
            pieces.append({pattern.mid(at), false});
            break;
        }
        if (open > at)
            pieces.append({pattern.mid(at, open - at), false});
        const qsizetype close = pattern.indexOf(QLatin1Char('}'), open);
        if (close < 0) {
            *problem = QStringLiteral("a \"{\" without its \"}\"");
            return std::nullopt;
        }
        const QString name = pattern.mid(open + 1, close - open - 1);
        if (!Fields.contains(name)) {
            *problem = QStringLiteral("unknown field {%1}; the fields are {%2}")
                           .arg(name, Fields.join(QStringLiteral("}, {")));
            return std::nullopt;
        }
        pieces.append({name, true});
        at = close + 1;
    }
    return pieces;
}

QString leadingNumber(const QString& tag)
{
    return tag.section(QLatin1Char('/'), 0, 0).trimmed();
}

// The first run of four digits: the year of "2003-05-01" or of "01.05.2003".
QString yearOf(const QString& date)
{
    int digits = 0;
    for (qsizetype i = 0; i < date.size(); ++i) {
        digits = date[i].isDigit() && date[i].unicode() < 0x80 ? digits + 1 : 0;
        if (digits == 4)
            return date.mid(i - 3, 4);
    }
    return {};
}

// The value of a field, "" when the source lacks it.
QString fieldValue(const QString& name, const NamingSource& source)
{
    const TrackTags& tags = source.tags;
    const auto tag = [](const QString& text) { return text.trimmed(); };
    if (name == QLatin1String("artist"))
        return tag(tags.artist);
    if (name == QLatin1String("albumartist"))
        return tag(tags.albumArtist).isEmpty() ? tag(tags.artist) : tag(tags.albumArtist);
    if (name == QLatin1String("album"))
        return tag(tags.album);
    if (name == QLatin1String("title"))
        return tag(tags.title);
    if (name == QLatin1String("genre"))
        return tag(tags.genre);
    if (name == QLatin1String("year"))
        return yearOf(tags.date);
    if (name == QLatin1String("track")) {
        const QString number = leadingNumber(tags.track);
        bool whole = false;
        number.toUInt(&whole);
        return whole && number.size() < 2 ? number.rightJustified(2, QLatin1Char('0')) : number;
    }
    if (name == QLatin1String("disc")) {
        const QString number = leadingNumber(tags.disc);
        return number.isEmpty() ? QStringLiteral("1") : number;
    }
    if (name == QLatin1String("filename"))
        return source.fileName;
    return source.keptFolder;
}

bool refusedCharacter(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f ||
           std::u16string_view(u"\\/:*?\"<>|").find(c.unicode()) != std::u16string_view::npos;
}

void trimEnd(QString& text)
{
    while (!text.isEmpty() && (text.back() == QLatin1Char('.') || text.back().isSpace()))
        text.chop(1);
}

} // namespace

std::optional<QString> NamePatternProblem(const QString& pattern)
{
    if (pattern.trimmed().isEmpty())
        return QStringLiteral("the name pattern is empty");
    QString problem;
    const auto pieces = piecesOf(pattern, &problem);
    if (!pieces)
        return problem;
    return std::nullopt;
}

QString SafeNamePart(const QString& part, int maxBytes)
{
    QString safe;
    safe.reserve(part.size());
    for (const QChar c : part)
        safe += refusedCharacter(c) ? QLatin1Char('_') : c;
    trimEnd(safe);

    // Cut on a code point boundary, never inside a surrogate pair.
    qsizetype bytes = 0;
    qsizetype end = 0;
    while (end < safe.size()) {
        const bool pair = safe[end].isHighSurrogate() && end + 1 < safe.size() &&
                          safe[end + 1].isLowSurrogate();
        const char16_t unit = safe[end].unicode();
        const int size = pair ? 4 : unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        end += pair ? 2 : 1;
    }
    safe.truncate(end);
    trimEnd(safe);
    return safe.isEmpty() ? QStringLiteral("_") : safe;
}

std::optional<QString> PatternPath(const QString& pattern, const NamingSource& source)
{
    QString problem;
    const auto pieces = piecesOf(pattern, &problem);
    if (!pieces)
        return std::nullopt;

    // Slashes of the pattern and of {folder} make folders; a slash inside a tag does not.
    QStringList parts{QString()};
    bool partHasFolder = false;
    QVector<bool> holdsFolder;
    for (const Piece& piece : *pieces) {
        QString text = piece.text;
        if (piece.field) {
            text = fieldValue(piece.text, source);
            if (text.isEmpty() && piece.text != QLatin1String("folder"))
                return std::nullopt;
            if (piece.text == QLatin1String("folder"))
                partHasFolder = true;
            else
                text.replace(QLatin1Char('/'), QLatin1Char('_'));
        }
        const QStringList split = text.split(QLatin1Char('/'));
        parts.last() += split.first();
        for (qsizetype i = 1; i < split.size(); ++i) {
            holdsFolder.append(partHasFolder);
            partHasFolder = piece.field; // a folder's own slash: the next part is still its own
            parts.append(split[i]);
        }
    }
    holdsFolder.append(partHasFolder);

    QStringList safeParts;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        // An empty {folder} (a file added by itself) leaves no folder behind.
        if (parts[i].isEmpty() && holdsFolder[i] && i + 1 < parts.size())
            continue;
        safeParts.append(SafeNamePart(parts[i], i + 1 < parts.size() ? FolderPartBytes
                                                                      : FilePartBytes));
    }
    return safeParts.join(QLatin1Char('/'));
}

QVector<NamedOutput> AssignOutputNames(const QString& pattern,
                                       const QVector<NamingSource>& sources)
{
    QVector<NamedOutput> outputs;
    outputs.reserve(sources.size());
    QSet<QString> taken;
    for (const NamingSource& source : sources) {
        NamedOutput output;
        const auto named = PatternPath(pattern, source);
        output.fromTags = named.has_value();
        output.path = named.value_or(source.fallback);
        QString candidate = output.path;
        while (taken.contains(candidate.toCaseFolded())) {
            ++output.number;
            candidate = output.path + QStringLiteral(" (%1)").arg(output.number);
        }
        output.path = candidate;
        taken.insert(candidate.toCaseFolded());
        outputs.append(output);
    }
    return outputs;
}
