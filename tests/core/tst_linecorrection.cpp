// A word of a real page's line corrected where it stands, saved, and
// corrected again in a new session: every word the user left keeps its
// glyphs, as poppler draws and reads them, wherever along the line it went.
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "TextBlock.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kDpi = 150;
constexpr int kDifferentGrey = 64;       // grey levels apart: another glyph, not rounding
constexpr double kMostChangedInk = 0.12;  // share of a word's ink that may differ (edges a pixel off)
constexpr double kFurthestShift = 60;     // points a kept word may move along its line

int grey(const QImage& image, int x, int y)
{
    return image.constScanLine(y)[x];
}

// The share of the ink of before's word (box in points, top-left origin)
// that after draws otherwise where the word stands best along its line:
// a pixel differs when no pixel of after within one of it is as grey.
double changedInk(const QImage& before, const QImage& after, const QRectF& box)
{
    const double scale = kDpi / 72.0;
    const QRect crop = QRectF(box.left() * scale, (box.top() - 1) * scale, box.width() * scale, (box.height() + 2) * scale)
                           .toAlignedRect()
                           .intersected(before.rect().adjusted(2, 2, -2, -2));
    int ink = 0;
    for (int y = crop.top(); y <= crop.bottom(); ++y)
        for (int x = crop.left(); x <= crop.right(); ++x)
            ink += grey(before, x, y) < 128;
    if (ink == 0)
        return 0;
    const int reach = int(kFurthestShift * scale);
    int best = ink;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -reach; dx <= reach; ++dx) {
            if (crop.left() + dx < 1 || crop.right() + dx >= after.width() - 1 || crop.top() + dy < 1 ||
                crop.bottom() + dy >= after.height() - 1)
                continue;
            int differ = 0;
            for (int y = crop.top(); y <= crop.bottom() && differ < best; ++y)
                for (int x = crop.left(); x <= crop.right(); ++x) {
                    const int a = grey(before, x, y);
                    int nearest = 255;
                    for (int ny = -1; ny <= 1; ++ny)
                        for (int nx = -1; nx <= 1; ++nx)
                            nearest = std::min(nearest, std::abs(a - grey(after, x + dx + nx, y + dy + ny)));
                    differ += nearest > kDifferentGrey;
                }
            best = std::min(best, differ);
        }
    return double(best) / ink;
}

// The page drawn a little blurred: a glyph placed a fraction of a pixel
// otherwise draws the same.
QImage blurred(const QImage& page)
{
    const QImage grey = page.convertToFormat(QImage::Format_Grayscale8);
    QImage out = grey;
    for (int y = 1; y + 1 < grey.height(); ++y)
        for (int x = 1; x + 1 < grey.width(); ++x) {
            int sum = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    sum += grey.constScanLine(y + dy)[x + dx];
            out.scanLine(y)[x] = uchar(sum / 9);
        }
    return out;
}

// poppler's words of a page standing on the line of the word at (points, top-left).
QList<pdftools::WordBox> lineWords(const QString& pdf, const QRectF& at)
{
    QList<pdftools::WordBox> line;
    for (const pdftools::WordBox& word : pdftools::wordBoxes(pdf, 0))
        if (std::abs(word.box.center().y() - at.center().y()) < at.height() / 2)
            line << word;
    return line;
}

}  // namespace

class TestLineCorrection : public QObject {
    Q_OBJECT
private slots:
    void keptWordsKeepTheirGlyphs_data();
    void keptWordsKeepTheirGlyphs();

private:
    QTemporaryDir m_dir;
};

// Lines whose words carry what a word set again loses: a logo of raised and
// lowered letters, a typewriter word and an accent drawn apart over its
// letter (pdfTeX 1.40.13), accents a face draws apart (Italian), angle
// brackets of a math face around an italic word, an umlaut between them; a
// sentence's wider blank that reads as a column gap. Each word left stays
// as drawn through both corrections.
void TestLineCorrection::keptWordsKeepTheirGlyphs_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("word");   // corrected in the first session (unique on the page)
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("again");  // corrected in the second session; empty: none
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("appended");  // the first correction adds a word after the line's last
    QTest::newRow("Czech babel, a logo, a caron and a typewriter word") << "pdftex-babel-czech.pdf" << "normal"
                                                                       << "usual" << "it" << "them" << false;
    QTest::newRow("Italian amsthm guide, accents drawn apart") << "pdftex-amsthdoc-it.pdf" << "formano"
                                                               << "compongono" << "elementi" << "oggetti" << false;
    QTest::newRow("algxpar, angle brackets of a math face") << "pdftex-algxpar.pdf" << "moving"
                                                            << "shifting" << "variant," << "form," << false;
    QTest::newRow("German babel, an umlaut in brackets") << "pdftex-ngermanb.pdf" << "shorthand" << "short"
                                                         << "Similar" << "Like" << false;
    QTest::newRow("quantumarticle, a sentence's wide blank") << "pdftex-quantumarticle.pdf" << "throw" << "raise"
                                                             << "missing." << "absent." << false;
    QTest::newRow("Italian amsthm guide, an accent alone at a piece's end") << "pdftex-amsthdoc-it.pdf"
                                                                          << "numerazione" << "sequenza" << "tali"
                                                                          << "queste" << false;
    // A form's line of two columns, blanks drawn as glyphs: text added after the last.
    QTest::newRow("Ghostscript form, words added after the last column")
        << "gs-sections.pdf" << "значение" << "значение поля" << "ввод" << "вывод" << true;
    QTest::newRow("LibreOffice form, words added after the last column")
        << "libreoffice-sections.pdf" << "значение" << "значение поля" << "ввод" << "вывод" << true;
}

void TestLineCorrection::keptWordsKeepTheirGlyphs()
{
    QFETCH(QString, file);
    QFETCH(QString, word);
    QFETCH(QString, first);
    QFETCH(QString, again);
    QFETCH(QString, second);
    QFETCH(bool, appended);
    QString current = fixtures::realPdf(file);
    QList<std::pair<QString, QString>> sessions{{word, first}};
    if (!again.isEmpty())
        sessions.append({again, second});
    for (qsizetype session = 0; session < sessions.size(); ++session) {
        const auto& [from, to] = sessions[session];
        PdfDocument doc;
        QVERIFY(doc.open(current));
        std::vector<TextBlock> blocks = doc.extractText(0);
        const QRegularExpression whole(QStringLiteral("(^|\\s)%1(\\s|$)").arg(QRegularExpression::escape(from)));
        const auto block = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
            return !b.isImage && b.lines.size() == 1 && b.text.contains(whole);
        });
        QVERIFY2(block != blocks.end(), qPrintable(from));
        block->text.replace(whole, QStringLiteral("\\1%1\\2").arg(to));
        block->textEdited = true;
        QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
        const QString saved = m_dir.filePath(QStringLiteral("%1-%2.pdf").arg(QTest::currentDataTag()).arg(session));
        QVERIFY2(doc.save(saved), qPrintable(doc.lastError()));

        // Every other word of the line, as poppler reads it before: its ink
        // stands on the line after, and poppler reads it there.
        const QList<pdftools::WordBox> words = pdftools::wordBoxes(current, 0);
        const auto at = std::find_if(words.begin(), words.end(), [&](const pdftools::WordBox& w) { return w.text == from; });
        QVERIFY2(at != words.end(), qPrintable(from));
        const QImage before = blurred(pdftools::renderPage(current, 0, kDpi));
        const QImage after = blurred(pdftools::renderPage(saved, 0, kDpi));
        QVERIFY(!before.isNull() && before.size() == after.size());
        QStringList readAfter;
        for (const pdftools::WordBox& read : lineWords(saved, at->box))
            readAfter << read.text;
        int kept = 0;
        const QList<pdftools::WordBox> lineBefore = lineWords(current, at->box);
        for (const pdftools::WordBox& left : lineBefore) {
            if (left.text == from)
                continue;
            // The word typed in the first session is held to its look elsewhere.
            if (session > 0 && left.text == sessions[0].second) {
                readAfter.removeOne(left.text);
                continue;
            }
            ++kept;
            const double changed = changedInk(before, after, left.box);
            QVERIFY2(changed <= kMostChangedInk, qPrintable(QStringLiteral("«%1» %2").arg(left.text).arg(changed)));
            QVERIFY2(readAfter.removeOne(left.text), qPrintable(left.text));
        }
        QVERIFY(kept >= std::min(5, int(lineBefore.size()) - 1));
        QCOMPARE(readAfter, to.split(QLatin1Char(' ')));
        if (appended && session == 0) {
            // The added word follows a word gap on, not a column's.
            const QList<pdftools::WordBox> now = lineWords(saved, at->box);
            const QStringList added = to.split(QLatin1Char(' '));
            const auto last = std::find_if(now.begin(), now.end(), [&](const auto& w) { return w.text == added[0]; });
            const auto next = std::find_if(now.begin(), now.end(), [&](const auto& w) { return w.text == added[1]; });
            QVERIFY(last != now.end() && next != now.end());
            const double gap = next->box.left() - last->box.right();
            QVERIFY2(gap > 0 && gap < 0.5 * at->box.height(), qPrintable(QString::number(gap)));
        }
        // mupdf reads the page's letters as before, the word's aside.
        QMap<QChar, int> expected = pdftools::letterCounts(pdftools::mupdfText(current, 0));
        for (const QChar c : from)
            --expected[c];
        for (const QChar c : to)
            expected[c] += c.isSpace() ? 0 : 1;
        for (auto it = expected.begin(); it != expected.end();)
            it = it.value() == 0 ? expected.erase(it) : std::next(it);
        QCOMPARE(pdftools::letterCounts(pdftools::mupdfText(saved, 0)), expected);
        current = saved;
    }
}

QTEST_MAIN(TestLineCorrection)
#include "tst_linecorrection.moc"
