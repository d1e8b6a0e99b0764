#include "ui/DriveText.h"

#include <array>

namespace rekkon::ui {

QString binarySizeText(quint64 sizeBytes) {
    constexpr quint64 kStep = 1024;
    if (sizeBytes < kStep) return QStringLiteral("%1 B").arg(sizeBytes);

    static constexpr std::array<const char*, 6> kUnits = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    quint64 unit = kStep;
    for (std::size_t i = 0; i < kUnits.size(); ++i, unit *= kStep) {
        // Integer arithmetic throughout: rem < unit <= 2^60, so rem * 10 cannot overflow.
        quint64 whole = sizeBytes / unit;
        const quint64 rem = sizeBytes % unit;
        quint64 tenths = (rem * 10 + unit / 2) / unit;
        if (tenths == 10) {
            ++whole;
            tenths = 0;
        }
        if (whole < kStep || i + 1 == kUnits.size()) {
            return QStringLiteral("%1.%2 %3").arg(whole).arg(tenths).arg(QLatin1String(kUnits[i]));
        }
    }
    return {};  // not reached: the last unit always returns
}

int compareDriveTexts(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            // Compare the two digit runs by value: without leading zeros, the longer run is the
            // larger number, and runs of one length compare digit by digit.
            while (i < a.size() && a[i] == QLatin1Char('0'))
                ++i;
            while (j < b.size() && b[j] == QLatin1Char('0'))
                ++j;
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && a[endA].isDigit())
                ++endA;
            while (endB < b.size() && b[endB].isDigit())
                ++endB;
            if (endA - i != endB - j) return endA - i < endB - j ? -1 : 1;
            for (; i < endA; ++i, ++j)
                if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
            continue;
        }
        const QChar x = a[i].toCaseFolded();
        const QChar y = b[j].toCaseFolded();
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

QString driveItemText(const QString& name, const QString& fileSystem, quint64 sizeBytes,
                      const QString& label) {
    QString text = name;
    if (!fileSystem.isEmpty()) text += QStringLiteral(" (%1)").arg(fileSystem);
    text += QLatin1Char(' ') + binarySizeText(sizeBytes);
    const QString trimmed = label.trimmed();
    if (!trimmed.isEmpty()) text += QLatin1Char(' ') + trimmed;
    return text;
}

}  // namespace rekkon::ui
