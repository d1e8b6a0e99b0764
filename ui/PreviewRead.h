#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringDecoder>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "fs/FoundEntry.h"
#include "recovery/ScanContext.h"

namespace rekkon::ui {

// How much of a found file the preview reads: the hex dump's bytes, the text's bytes, and the
// largest file read whole to be decoded as a picture.
inline constexpr std::size_t kPreviewHexBytes = 4 * 1024;
inline constexpr std::size_t kPreviewTextBytes = 64 * 1024;
inline constexpr std::uint64_t kPreviewPictureBytes = 64ULL << 20;
// A picture is decoded to fit a square of this side, its aspect kept (a pane shows no more).
inline constexpr int kPreviewPictureSide = 2048;

// What the preview pane shows of one file.
struct Preview {
    enum class Kind { Note, Picture, Text, Hex };
    Kind kind = Kind::Note;
    QImage picture;  // Picture: as decoded
    QString text;    // Text: the text; Hex: the dump; Note: why nothing else is shown
    QString shown;   // what the caption says is shown ("first 4 KiB", "picture 1920 x 1080")
};

// The first `limit` bytes of `entry`'s data, read through the recovery's copy loop; nothing is
// written anywhere. `cancelled` is asked at every chunk: true stops the copy.
struct PreviewBytes {
    QByteArray bytes;
    bool opened = false;
    bool cancelled = false;
    std::uint64_t unreadableBytes = 0;  // delivered as zeros
};
PreviewBytes readPreviewBytes(ScanContext& context, const DeletedFileEntry& entry,
                              std::uint64_t limit, const std::function<bool()>& cancelled);

// Reads and turns `entry` into what the pane shows: a picture for the formats Qt reads (the
// whole file up to kPreviewPictureBytes), text for text, else a hex dump. Nullopt when
// cancelled. Runs on any thread; the volume must not be read by another meanwhile.
std::optional<Preview> buildPreview(ScanContext& context, const DeletedFileEntry& entry,
                                    const std::function<bool()>& cancelled);

// The parts that need no volume.
// Whether `bytes` read as text: no NUL, and control characters other than tab, line ends and
// form feed make at most 1 in 32 of them (of the characters, for UTF-16 with a byte-order mark).
bool looksLikeText(QByteArrayView bytes);
// UTF-16 of either byte order when `bytes` begin with its byte-order mark.
std::optional<QStringDecoder::Encoding> utf16Encoding(QByteArrayView bytes);
// `bytes` as UTF-16 after a byte-order mark; else as UTF-8 when they are valid UTF-8 (a sequence
// cut at their end when `cut`, that is the file goes on), else as Latin-1.
QString decodePreviewText(QByteArrayView bytes, bool cut);
// Lines of offset, 16 bytes in hex and their printable characters ('.' for the others).
QString hexDump(QByteArrayView bytes);
// Decodes the picture `bytes` hold (format from the content), scaled to fit
// kPreviewPictureSide; `fullSize` gets its size as stored. Null when no part of it decodes.
QImage decodePicture(const QByteArray& bytes, QSize* fullSize = nullptr);
// The format Qt reads that `bytes` begin with ("jpeg", "png", ...); empty when none.
QByteArray pictureFormat(const QByteArray& bytes);

}  // namespace rekkon::ui
