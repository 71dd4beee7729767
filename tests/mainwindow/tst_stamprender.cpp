// The default stamp picture, rendering of lines and the preview, checked by
// pixels at known points and by comparing renders (fonts are substituted).
#include "SignatureStampRender.h"
#include "WorkMeter.h"

#include <QTest>

namespace {

QImage plain(QSize size, QColor color = Qt::white)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

SignatureStampTemplate oneLine(QSize pictureSize, const QString& text, double fontSizePx)
{
    SignatureStampTemplate stamp;
    stamp.image = plain(pictureSize);
    SignatureStampVariable line;
    line.text = text;
    line.x = 0.1;
    line.y = 0.1;
    line.w = 0.8;
    line.h = 0.5;
    line.fontSizePx = fontSizePx;
    stamp.variables = {line};
    return stamp;
}

QImage render(const SignatureStampTemplate& stamp, const QHash<QString, QString>& values = {}, QSize size = {})
{
    return renderSignatureStampTemplate(stamp, values, size);
}

bool close(QRgb a, QRgb b, int tolerance = 8)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
        && qAbs(qBlue(a) - qBlue(b)) <= tolerance && qAbs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

} // namespace

class TestStampRender : public QObject {
    Q_OBJECT
private slots:
    void baseSizes_data()
    {
        QTest::addColumn<QSize>("asked");
        QTest::addColumn<QSize>("made");
        QTest::newRow("small") << QSize(100, 100) << QSize(480, 220);
        QTest::newRow("wide") << QSize(2000, 100) << QSize(2000, 220);
        QTest::newRow("usual") << QSize(1180, 490) << QSize(1180, 490);
        QTest::newRow("invalid") << QSize(-1, -1) << QSize(480, 220);
    }
    void baseSizes()
    {
        QFETCH(QSize, asked);
        QFETCH(QSize, made);
        const QImage base = defaultSignatureStampBase(asked);
        QCOMPARE(base.size(), made);
        QCOMPARE(base.format(), QImage::Format_ARGB32_Premultiplied);
        // Outside the rounded frame the corners stay transparent.
        QCOMPARE(qAlpha(base.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(base.pixel(made.width() - 1, made.height() - 1)), 0);
        QCOMPARE(qAlpha(base.pixel(10, 10)), 0);
    }

    void baseGeometry()
    {
        const QImage base = defaultSignatureStampBase(QSize(1180, 490));
        const QRgb teal = qRgb(0x10, 0x77, 0x6f);
        QVERIFY(close(base.pixel(8, 245), teal));          // frame, left side
        QVERIFY(close(base.pixel(1171, 245), teal));       // frame, right side
        QVERIFY(close(base.pixel(600, 8), teal));          // frame, top
        QVERIFY(close(base.pixel(87 - 34, 245), teal));    // circle, left
        QVERIFY(close(base.pixel(87, 245 + 34), teal));    // circle, bottom
        QVERIFY(close(base.pixel(83, 262), teal));         // bend of the check mark
        QCOMPARE(qAlpha(base.pixel(600, 470)), 232);       // white fill inside the frame
        const QRgb band = base.pixel(40, 60);
        QVERIFY(qAlpha(band) > 232);                       // the tint lies over the fill
        QVERIFY(qRed(band) < qRed(base.pixel(600, 470)));
        // Heading ink lies in its box and nowhere below the line area's top.
        bool ink = false;
        for (int y = 32; y < 80 && !ink; ++y)
            for (int x = 168; x < 700 && !ink; ++x)
                ink = qRed(base.pixel(x, y)) < 128;
        QVERIFY(ink);
    }

    void sizes_data()
    {
        QTest::addColumn<bool>("withPicture");
        QTest::addColumn<QSize>("asked");
        QTest::addColumn<QSize>("made");
        QTest::newRow("no picture, own size") << false << QSize(0, 0) << QSize(1180, 490);
        QTest::newRow("picture, own size") << true << QSize(-5, 10) << QSize(300, 100);
        QTest::newRow("stretched") << true << QSize(90, 90) << QSize(90, 90);
    }
    void sizes()
    {
        QFETCH(bool, withPicture);
        QFETCH(QSize, asked);
        QFETCH(QSize, made);
        SignatureStampTemplate stamp;
        if (withPicture)
            stamp.image = plain(QSize(300, 100));
        QCOMPARE(render(stamp, {}, asked).size(), made);
    }

    // Half the picture height halves the line's pixel size: a 1180 x 490
    // template drawn at 590 x 245 with size 32 equals one drawn at its own
    // 590 x 245 with size 16.
    void fontScale_data()
    {
        QTest::addColumn<double>("bigSize");
        QTest::addColumn<double>("smallSize");
        QTest::addColumn<bool>("equal");
        QTest::newRow("32 to 16") << 32.0 << 16.0 << true;
        QTest::newRow("not 17") << 32.0 << 17.0 << false;
        QTest::newRow("floor") << 6.0 << 8.0 << true;   // 3 px would be drawn at 8
        QTest::newRow("above floor") << 20.0 << 8.0 << false;
    }
    void fontScale()
    {
        QFETCH(double, bigSize);
        QFETCH(double, smallSize);
        QFETCH(bool, equal);
        const QImage scaled = render(oneLine(QSize(1180, 490), QStringLiteral("Подпись HHH"), bigSize), {}, QSize(590, 245));
        const QImage own = render(oneLine(QSize(590, 245), QStringLiteral("Подпись HHH"), smallSize));
        QCOMPARE(scaled == own, equal);
    }

    void hugeFontStaysBounded()
    {
        const workmeter::Meter work;
        const QImage image = render(oneLine(QSize(200, 100), QStringLiteral("W"), 1e9));
        QCOMPARE(image.size(), QSize(200, 100));
        QVERIFY(work.processorMs() < 2000);
        SignatureStampTemplate odd = oneLine(QSize(200, 100), QStringLiteral("W"), 20);
        odd.variables[0].x = std::numeric_limits<double>::quiet_NaN();
        odd.variables.append(odd.variables.first());
        odd.variables[1].x = 0.1;
        odd.variables[1].w = std::numeric_limits<double>::infinity();
        QCOMPARE(render(odd), plain(QSize(200, 100)));
    }

    void placeholders_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sameAs");  // drawn like this text without values
        QTest::newRow("unknown key") << QStringLiteral("{{NOPE}}") << QString();
        QTest::newRow("lower case") << QStringLiteral("{{signer}}") << QStringLiteral("{{signer}}");
        QTest::newRow("spaces") << QStringLiteral("{{ SIGNER }}") << QStringLiteral("{{ SIGNER }}");
        QTest::newRow("filled") << QStringLiteral("Я: {{SIGNER}}") << QStringLiteral("Я: Петров");
        QTest::newRow("twice") << QStringLiteral("{{SIGNER}}/{{SIGNER}}") << QStringLiteral("Петров/Петров");
        QTest::newRow("stored text only") << QStringLiteral("{{NESTED}}") << QStringLiteral("[{{SIGNER}}]");
        // A value is never searched again, even for a key the text also holds.
        QTest::newRow("value not filled") << QStringLiteral("{{NESTED}} {{SIGNER}}")
                                          << QStringLiteral("[{{SIGNER}}] Петров");
        QTest::newRow("many") << QStringLiteral("{{SIGNER}},").repeated(40) << QStringLiteral("Петров,").repeated(40);
    }
    void placeholders()
    {
        QFETCH(QString, text);
        QFETCH(QString, sameAs);
        const QHash<QString, QString> values{{QStringLiteral("SIGNER"), QStringLiteral("Петров")},
                                              {QStringLiteral("NESTED"), QStringLiteral("[{{SIGNER}}]")}};
        const QImage drawn = render(oneLine(QSize(400, 100), text, 20), values);
        SignatureStampTemplate expected = oneLine(QSize(400, 100), sameAs, 20);
        // The expected text is drawn through a value so it is not parsed again.
        expected.variables[0].text = QStringLiteral("{{RAW}}");
        QCOMPARE(drawn, render(expected, {{QStringLiteral("RAW"), sameAs}}));
        if (!sameAs.isEmpty())
            QVERIFY(drawn != plain(QSize(400, 100)));
    }

    void fallbacks()
    {
        SignatureStampTemplate named = oneLine(QSize(400, 100), QStringLiteral("Текст"), 20);
        SignatureStampTemplate unnamed = named;
        named.variables[0].font = QStringLiteral("Times New Roman");
        unnamed.variables[0].font = QStringLiteral("   ");
        QCOMPARE(render(unnamed), render(named));
        SignatureStampTemplate invalid = named;
        invalid.variables[0].color = QColor();
        named.variables[0].color = QColor(QStringLiteral("#0f172a"));
        QCOMPARE(render(invalid), render(named));
        SignatureStampTemplate red = named;
        red.variables[0].color = Qt::red;
        QVERIFY(render(red) != render(named));
    }

    void previewFits()
    {
        SignatureStampTemplate square;
        square.image = plain(QSize(600, 600));
        QCOMPARE(stampTemplatePreviewPixmap(square, QSize(150, 60), -1).size(), QSize(60, 60));
        QCOMPARE(stampTemplatePreviewPixmap(SignatureStampTemplate{}, QSize(150, 60), -1).size(), QSize(144, 60));
    }

    // Outlines at the picture's own size: line 0 selected (solid blue), line 1
    // has no width, is not drawn, but is outlined dashed.
    void previewOutlines_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("blueFirst");
        QTest::addColumn<bool>("tealFirst");
        QTest::addColumn<bool>("tealSecond");
        QTest::newRow("none") << -1 << false << false << false;
        QTest::newRow("first") << 0 << true << false << true;
        QTest::newRow("skipped line") << 1 << false << true << false;
        QTest::newRow("beyond") << 5 << false << true << true;
    }
    void previewOutlines()
    {
        QFETCH(int, selected);
        QFETCH(bool, blueFirst);
        QFETCH(bool, tealFirst);
        QFETCH(bool, tealSecond);
        SignatureStampTemplate stamp;
        stamp.image = plain(QSize(1000, 500));
        SignatureStampVariable first;
        first.x = 0.1;
        first.y = 0.2;
        first.w = 0.5;
        first.h = 0.4;
        SignatureStampVariable second;
        second.x = 0.8;
        second.y = 0.1;
        second.w = 0.0;
        second.h = 0.8;
        stamp.variables = {first, second};
        const QImage preview = stampTemplatePreviewPixmap(stamp, QSize(1000, 500), selected).toImage();
        const QRgb blue = qRgb(0x25, 0x63, 0xeb);
        const QRgb teal = qRgb(0x14, 0xb8, 0xa6);
        // Middle of the first rectangle's top edge (x 100..600 at y 100).
        QCOMPARE(close(preview.pixel(350, 100), blue, 12), blueFirst);
        int tealOnFirst = 0;
        int tealOnSecond = 0;
        int gapsOnSecond = 0;
        for (int x = 120; x < 580; ++x)
            tealOnFirst += close(preview.pixel(x, 100), teal, 40) ? 1 : 0;
        for (int y = 80; y < 420; ++y) {
            const bool isTeal = close(preview.pixel(800, y), teal, 40);
            tealOnSecond += isTeal ? 1 : 0;
            gapsOnSecond += close(preview.pixel(800, y), qRgb(255, 255, 255), 4) ? 1 : 0;
        }
        QCOMPARE(tealOnFirst > 20, tealFirst);
        QCOMPARE(tealOnSecond > 20, tealSecond);
        if (tealSecond)
            QVERIFY(gapsOnSecond > 20);  // dashed, not solid
    }
};

QTEST_MAIN(TestStampRender)
#include "tst_stamprender.moc"
