// The preview's reading of a found file's first bytes: the text guess, the decoding as text and
// as a hex dump, and the picture formats' detection and decoding (Qt's readers), as the pane
// runs them on whatever a deleted file holds.
#include <QByteArray>
#include <QCoreApplication>
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ui/PreviewRead.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The picture formats Qt reads by plugin (JPEG, GIF, WebP, TIFF) are found through the
    // application's library paths.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArrayView view(bytes);
    const QByteArrayView head = view.first(std::min<qsizetype>(view.size(), 4096));
    if (rekkon::ui::looksLikeText(view)) (void)rekkon::ui::decodePreviewText(view, size % 2 == 0);
    const QString dump = rekkon::ui::hexDump(head);
    // 16 bytes a line, each line ending in a line feed.
    if (dump.count(QLatin1Char('\n')) != (head.size() + 15) / 16) std::abort();
    if (!rekkon::ui::pictureFormat(bytes).isEmpty()) {
        QSize stored;
        const QImage picture = rekkon::ui::decodePicture(bytes, &stored);
        if (!picture.isNull() && (picture.width() > rekkon::ui::kPreviewPictureSide ||
                                  picture.height() > rekkon::ui::kPreviewPictureSide))
            std::abort();
    }
    return 0;
}
