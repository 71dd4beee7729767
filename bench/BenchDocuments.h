#pragma once
// Documents the benchmarks write for themselves.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QString>

namespace bench {

// A4 pages of 60 lines of Russian and Latin text each, with a red ring like
// a stamp in the corner when asked.
inline void writeTextPdf(const QString& path, int pages, bool stamped = false)
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
        if (stamped) {
            painter.setPen(QPen(Qt::red, 3));
            painter.drawEllipse(QRectF(420, 700, 120, 120));
            painter.setPen(Qt::black);
        }
    }
}

// Settings of a benchmark's own, out of the user's store and empty.
inline void useOwnSettings(const QString& applicationName)
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
    QCoreApplication::setApplicationName(applicationName);
    QSettings().clear();
}

constexpr int kScanDpi = 150;

// A page as a flatbed scanner gives it: slightly grey, noisy paper with lines of text.
inline QImage scannedPage(int pageNumber)
{
    const QSize a4(qRound(8.27 * kScanDpi), qRound(11.69 * kScanDpi));
    QImage page(a4, QImage::Format_RGB32);
    QRandomGenerator noise{quint32(pageNumber)};
    for (int y = 0; y < page.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(page.scanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            const int paper = 238 + int(noise.bounded(10));
            line[x] = qRgb(paper, paper, paper - 6);
        }
    }
    QPainter painter(&page);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(30, 30, 40));
    painter.setFont(QFont(QStringLiteral("DejaVu Serif"), 11));
    painter.drawText(QRect(150, 120, 900, 60), Qt::AlignCenter,
                     QStringLiteral("АКТ № %1 сверки взаимных расчётов").arg(pageNumber));
    for (int row = 0; row < 48; ++row) {
        painter.drawText(120, 240 + row * 30,
                         QStringLiteral("%1. Поставка товара по договору от 12.03.2024, счёт %2, сумма %3 руб.")
                             .arg(row + 1)
                             .arg(1000 + pageNumber * 50 + row)
                             .arg((row + 3) * 1234.5, 0, 'f', 2));
    }
    painter.setPen(QPen(QColor(20, 40, 140), 3));
    painter.drawEllipse(QPoint(900, 1600), 110, 110);  // a stamp
    return page;
}

inline void writeScannedPdf(const QString& path, int pages)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF());
    writer.setResolution(kScanDpi);
    QPainter painter(&writer);
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            writer.newPage();
        const QImage page = scannedPage(p + 1);
        painter.drawImage(QRect(QPoint(0, 0), page.size()), page);
    }
}

inline double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace bench
