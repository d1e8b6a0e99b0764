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
