#include "ui/PreviewRead.h"

#include <QBuffer>
#include <QImageReader>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <span>

#include "recovery/DataCopy.h"
#include "recovery/FileData.h"

namespace rekkon::ui {

namespace {

// Read in pieces of this size, so that a cancelled preview stops soon.
constexpr std::size_t kChunkBytes = 64 * 1024;

// The picture formats shown; others Qt recognises by content (XBM, PBM, SVG) are text files
// to the user and are shown as such.
bool shownPictureFormat(const QByteArray& format) {
    static const std::array<const char*, 8> kFormats = {"jpeg", "jpg",  "png",  "gif",
                                                        "bmp",  "webp", "tiff", "tif"};
    return std::any_of(kFormats.begin(), kFormats.end(),
                       [&](const char* known) { return format == known; });
}

Preview makePreview(Preview::Kind kind, QString text, QString shown, QImage picture = {}) {
    Preview preview;
    preview.kind = kind;
    preview.text = std::move(text);
    preview.shown = std::move(shown);
    preview.picture = std::move(picture);
    return preview;
}

QString kibText(std::size_t bytes) {
    return QStringLiteral("%1 KiB").arg(bytes / 1024);
}

Preview hexPreview(const QByteArray& head, std::uint64_t size, const QString& why = {}) {
    const QByteArrayView shown =
        QByteArrayView(head).first(std::min<qsizetype>(head.size(), kPreviewHexBytes));
    Preview preview = makePreview(Preview::Kind::Hex, hexDump(shown), {});
    preview.shown = size > kPreviewHexBytes ? QStringLiteral("first ") + kibText(kPreviewHexBytes)
                                            : QStringLiteral("all bytes");
    preview.shown += QStringLiteral(" in hex");
    if (!why.isEmpty()) preview.shown += QStringLiteral(" (%1)").arg(why);
    return preview;
}

}  // namespace

std::optional<QStringDecoder::Encoding> utf16Encoding(QByteArrayView bytes) {
    if (bytes.size() < 2) return std::nullopt;
    const auto first = static_cast<unsigned char>(bytes[0]);
    const auto second = static_cast<unsigned char>(bytes[1]);
    if (first == 0xff && second == 0xfe) return QStringDecoder::Utf16LE;
    if (first == 0xfe && second == 0xff) return QStringDecoder::Utf16BE;
    return std::nullopt;
}

PreviewBytes readPreviewBytes(ScanContext& context, const DeletedFileEntry& entry,
                              std::uint64_t limit, const std::function<bool()>& cancelled) {
    PreviewBytes result;
    const std::unique_ptr<FileDataHandle> data = openFileData(context, entry);
    if (!data) return result;
    result.opened = true;
    const std::uint64_t wanted = std::min({limit, entry.size, data->size()});
    result.bytes.reserve(static_cast<qsizetype>(wanted));
    const CopyStats stats =
        copyFileData(*data, wanted, kChunkBytes, [&](std::span<const std::uint8_t> bytes) {
            if (cancelled()) {
                result.cancelled = true;
                return false;
            }
            result.bytes.append(reinterpret_cast<const char*>(bytes.data()),
                                static_cast<qsizetype>(bytes.size()));
            return true;
        });
    result.unreadableBytes = stats.unreadableBytes;
    return result;
}

std::optional<Preview> buildPreview(ScanContext& context, const DeletedFileEntry& entry,
                                    const std::function<bool()>& cancelled) {
    if (entry.size == 0)
        return makePreview(Preview::Kind::Note, QStringLiteral("The file is empty."),
                           QStringLiteral("empty"));
    PreviewBytes head = readPreviewBytes(context, entry, kPreviewTextBytes, cancelled);
    if (head.cancelled) return std::nullopt;
    if (!head.opened)
        return makePreview(Preview::Kind::Note,
                           QStringLiteral("The file's data cannot be found on the volume any "
                                          "more: there is nothing to preview."),
                           QStringLiteral("not readable"));
    std::uint64_t unreadable = head.unreadableBytes;
    Preview preview;
    const QByteArray format = pictureFormat(head.bytes);
    if (!format.isEmpty() && entry.size > kPreviewPictureBytes) {
        preview =
            hexPreview(head.bytes, entry.size, QStringLiteral("too large to show as a picture"));
    } else if (!format.isEmpty()) {
        // Read again whole, unless the first read had it all.
        PreviewBytes whole = entry.size <= static_cast<std::uint64_t>(head.bytes.size())
                                 ? std::move(head)
                                 : readPreviewBytes(context, entry, entry.size, cancelled);
        if (whole.cancelled) return std::nullopt;
        unreadable = whole.unreadableBytes;
        QSize size;
        QImage picture = decodePicture(whole.bytes, &size);
        if (cancelled()) return std::nullopt;
        if (picture.isNull()) {
            preview =
                hexPreview(whole.bytes, entry.size, QStringLiteral("the picture does not decode"));
        } else {
            preview =
                makePreview(Preview::Kind::Picture, {},
                            QStringLiteral("picture %1 x %2").arg(size.width()).arg(size.height()),
                            std::move(picture));
        }
    } else if (looksLikeText(head.bytes)) {
        const bool cut = entry.size > static_cast<std::uint64_t>(head.bytes.size());
        preview = makePreview(
            Preview::Kind::Text, decodePreviewText(head.bytes, cut),
            cut ? QStringLiteral("first ") + kibText(kPreviewTextBytes) + QStringLiteral(" as text")
                : QStringLiteral("as text"));
    } else {
        preview = hexPreview(head.bytes, entry.size);
    }
    if (unreadable != 0)
        preview.shown +=
            QStringLiteral(", %1 bytes could not be read (shown as zeros)").arg(unreadable);
    return preview;
}

bool looksLikeText(QByteArrayView bytes) {
    if (utf16Encoding(bytes)) {
        const QString text = decodePreviewText(bytes, true);
        const auto control = std::count_if(text.begin(), text.end(), [](QChar c) {
            return c.unicode() == 0 || (c.category() == QChar::Other_Control && c != u'\t' &&
                                        c != u'\n' && c != u'\r' && c != u'\f');
        });
        return control * 32 <= text.size();
    }
    qsizetype control = 0;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) return false;
        if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f') ||
            byte == 0x7f)
            ++control;
    }
    return control * 32 <= bytes.size();
}

QString decodePreviewText(QByteArrayView bytes, bool cut) {
    if (const auto encoding = utf16Encoding(bytes)) {
        QStringDecoder utf16(*encoding, QStringDecoder::Flag::Stateless);
        // A byte left over, or half a surrogate pair, is where the reading stopped.
        QString text = utf16.decode(bytes.sliced(2, (bytes.size() - 2) & ~qsizetype{1}));
        if (cut && !text.isEmpty() && text.back().isHighSurrogate()) text.chop(1);
        return text;
    }
    // A multi-byte sequence cut by the end of what was read is not an error: up to 3 bytes of
    // it are left off.
    const qsizetype tries = cut ? std::min<qsizetype>(3, bytes.size()) : 0;
    for (qsizetype drop = 0; drop <= tries; ++drop) {
        if (drop > 0 && (static_cast<unsigned char>(bytes[bytes.size() - drop]) & 0x80) == 0) break;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(bytes.first(bytes.size() - drop));
        if (!utf8.hasError()) return text;
    }
    return QString::fromLatin1(bytes);
}

QString hexDump(QByteArrayView bytes) {
    static const char kDigits[] = "0123456789abcdef";
    QString dump;
    dump.reserve((bytes.size() / 16 + 1) * 78);
    for (qsizetype line = 0; line < bytes.size(); line += 16) {
        const qsizetype count = std::min<qsizetype>(16, bytes.size() - line);
        dump += QStringLiteral("%1  ").arg(line, 8, 16, QLatin1Char('0'));
        QString printable;
        for (qsizetype i = 0; i < 16; ++i) {
            if (i == 8) dump += QLatin1Char(' ');
            if (i >= count) {
                dump += QStringLiteral("   ");
                continue;
            }
            const auto byte = static_cast<unsigned char>(bytes[line + i]);
            dump += QLatin1Char(kDigits[byte >> 4]);
            dump += QLatin1Char(kDigits[byte & 15]);
            dump += QLatin1Char(' ');
            printable += byte >= 0x20 && byte < 0x7f ? QLatin1Char(static_cast<char>(byte))
                                                     : QLatin1Char('.');
        }
        dump += QStringLiteral(" |") + printable + QStringLiteral("|\n");
    }
    return dump;
}

QByteArray pictureFormat(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return {};
    const QByteArray format = QImageReader::imageFormat(&buffer);
    return shownPictureFormat(format) ? format : QByteArray();
}

QImage decodePicture(const QByteArray& bytes, QSize* fullSize) {
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return {};
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    if (!shownPictureFormat(reader.format())) return {};
    const QSize size = reader.size();
    if (fullSize) *fullSize = size;
    if (size.isValid() &&
        (size.width() > kPreviewPictureSide || size.height() > kPreviewPictureSide))
        reader.setScaledSize(
            size.scaled(kPreviewPictureSide, kPreviewPictureSide, Qt::KeepAspectRatio));
    QImage picture = reader.read();
    if (fullSize && !size.isValid()) *fullSize = picture.size();
    // A picture may decode larger than its header says (a GIF frame past its screen): it still
    // fits the square.
    if (picture.width() > kPreviewPictureSide || picture.height() > kPreviewPictureSide)
        picture = picture.scaled(kPreviewPictureSide, kPreviewPictureSide, Qt::KeepAspectRatio,
                                 Qt::SmoothTransformation);
    return picture;
}

}  // namespace rekkon::ui
