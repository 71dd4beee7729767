#pragma once
// Documents the benchmarks write for themselves.

#include <QElapsedTimer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

namespace bench {

// A4 pages of 60 lines of Russian and Latin text each.
inline void writeTextPdf(const QString& path, int pages)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    QPainter painter(&writer);
    painter.setFont(QFont(QStringLiteral("DejaVu Serif"), 10));
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            writer.newPage();
        for (int line = 0; line < 60; ++line) {
            painter.drawText(40, 40 + line * 12,
                             QStringLiteral("Страница %1, строка %2: съешь же ещё этих мягких французских булок, "
                                            "да выпей чаю. The quick brown fox.")
                                 .arg(p + 1)
                                 .arg(line + 1));
        }
    }
}

inline double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace bench
