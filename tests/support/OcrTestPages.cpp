#include "OcrTestPages.h"

#include <QBuffer>
#include <QFont>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>

namespace testpages {
namespace {

constexpr double kA4Width = 595.0;
constexpr double kA4Height = 842.0;

struct Canvas {
    TestPage page;
    QPainter painter;

    Canvas(const QString &name, double dpi)
    {
        page.name = name;
        page.scale = dpi / 72.0;
        page.image = QImage(int(kA4Width * page.scale), int(kA4Height * page.scale), QImage::Format_RGB32);
        page.image.fill(Qt::white);
        painter.begin(&page.image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.scale(page.scale, page.scale);
    }

    // One line of text with its baseline at `baseline` points from the top.
    void text(const QString &line, double x, double baseline, const QString &family, int sizePt, bool bold = false,
              bool italic = false, QColor color = Qt::black, bool record = true)
    {
        QFont font(family);
        font.setPixelSize(sizePt);
        font.setBold(bold);
        font.setItalic(italic);
        painter.setFont(font);
        painter.setPen(color);
        painter.drawText(QPointF(x, baseline), line);
        if (record)
            page.lines << line;
    }

    // Lines one under another; returns the baseline below the last one.
    double paragraph(const QStringList &lines, double x, double baseline, const QString &family, int sizePt,
                     double leading)
    {
        for (const QString &line : lines) {
            text(line, x, baseline, family, sizePt);
            baseline += leading;
        }
        return baseline;
    }

    TestPage finish()
    {
        painter.end();
        return page;
    }
};

QRectF pdfRect(const QRectF &topDown)
{
    return QRectF(topDown.x(), kA4Height - topDown.bottom(), topDown.width(), topDown.height());
}

} // namespace

TestPage mixedLanguagePage(double dpi)
{
    Canvas c(QStringLiteral("mixed"), dpi);
    c.text(QStringLiteral("ДОГОВОР ПОСТАВКИ № 17"), 190, 90, QStringLiteral("Liberation Serif"), 18, true);
    const QStringList russian = {
        QStringLiteral("Общество с ограниченной ответственностью передаёт покупателю"),
        QStringLiteral("товар в количестве и в сроки, указанные в настоящем договоре."),
        QStringLiteral("Оплата производится в течение десяти рабочих дней."),
    };
    double y = c.paragraph(russian, 72, 140, QStringLiteral("Liberation Serif"), 12, 17) + 20;
    const QStringList english = {
        QStringLiteral("The supplier delivers the goods to the warehouse of the buyer."),
        QStringLiteral("Quality claims are accepted within thirty days."),
    };
    y = c.paragraph(english, 72, y, QStringLiteral("DejaVu Sans"), 11, 16) + 20;
    c.text(QStringLiteral("Адрес: Москва, улица Садовая, дом 5"), 72, y, QStringLiteral("Liberation Sans"), 14);
    y += 22;
    c.text(QStringLiteral("Телефон 8 495 123 45 67"), 72, y, QStringLiteral("Liberation Sans"), 10, false, true);
    return c.finish();
}

TestPage englishPage(double dpi)
{
    Canvas c(QStringLiteral("english"), dpi);
    c.text(QStringLiteral("Annual Report of the Company"), 150, 90, QStringLiteral("Liberation Serif"), 20, true);
    const QStringList body = {
        QStringLiteral("The board met four times during the year and approved the budget."),
        QStringLiteral("Revenue grew by twelve percent, and costs fell slightly."),
        QStringLiteral("New offices were opened in two cities in the north."),
    };
    c.paragraph(body, 72, 150, QStringLiteral("Liberation Serif"), 12, 18);
    // Short Latin words near the foot of the page.
    const QStringList foot = {
        QStringLiteral("See you at the next meeting on May 5."),
        QStringLiteral("Kind regards, the team of the firm."),
        QStringLiteral("Tel. 555 0101, fax 555 0102, web site www.firm.com"),
    };
    c.paragraph(foot, 72, 690, QStringLiteral("Liberation Serif"), 12, 20);
    c.page.lastLines = foot;
    return c.finish();
}

TestPage tablePage(double dpi)
{
    Canvas c(QStringLiteral("table"), dpi);
    c.text(QStringLiteral("Перечень документов"), 200, 90, QStringLiteral("Liberation Serif"), 16, true);
    const double left = 60, right = 535, top = 120, rowHeight = 36;
    const double columns[] = {left, 120, 380, right};
    const QStringList rows[] = {
        {QStringLiteral("№"), QStringLiteral("Наименование"), QStringLiteral("Количество")},
        {QStringLiteral("1"), QStringLiteral("Счёт на оплату"), QStringLiteral("2")},
        {QStringLiteral("2"), QStringLiteral("Акт приёмки"), QStringLiteral("3")},
        {QStringLiteral("3"), QStringLiteral("Накладная"), QStringLiteral("5")},
        {QStringLiteral("4"), QStringLiteral("Доверенность"), QStringLiteral("1")},
    };
    const int rowCount = int(std::size(rows));
    QPen rule(Qt::black, 1.5);
    c.painter.setPen(rule);
    for (int r = 0; r <= rowCount; ++r)
        c.painter.drawLine(QPointF(left, top + r * rowHeight), QPointF(right, top + r * rowHeight));
    for (double x : columns)
        c.painter.drawLine(QPointF(x, top), QPointF(x, top + rowCount * rowHeight));
    for (int r = 0; r < rowCount; ++r) {
        for (int col = 0; col < 3; ++col)
            c.text(rows[r][col], columns[col] + 8, top + r * rowHeight + 23, QStringLiteral("Liberation Serif"), 12,
                   r == 0);
    }
    return c.finish();
}

TestPage picturePage(double dpi)
{
    Canvas c(QStringLiteral("picture"), dpi);
    c.text(QStringLiteral("Акт осмотра помещения"), 200, 90, QStringLiteral("Liberation Serif"), 16, true);
    c.text(QStringLiteral("Комиссия провела осмотр помещения и составила настоящий акт."), 72, 130,
           QStringLiteral("Liberation Serif"), 12);
    c.text(QStringLiteral("Фотография фасада приведена ниже."), 72, 148, QStringLiteral("Liberation Serif"), 12);

    // A photo-like picture: a gradient with blobs and noise.
    const QRectF picture(150, 190, 260, 180);
    QLinearGradient gradient(picture.topLeft(), picture.bottomRight());
    gradient.setColorAt(0, QColor(150, 175, 205));
    gradient.setColorAt(1, QColor(235, 225, 200));
    c.painter.fillRect(picture, gradient);
    QRandomGenerator random(7);
    c.painter.setPen(Qt::NoPen);
    for (int i = 0; i < 60; ++i) {
        c.painter.setBrush(QColor(random.bounded(30, 160), random.bounded(40, 170), random.bounded(30, 150)));
        const double w = 8 + random.bounded(30);
        c.painter.drawEllipse(QRectF(picture.x() + random.bounded(int(picture.width() - w)),
                                     picture.y() + random.bounded(int(picture.height() - w)), w, w));
    }
    c.page.pictureRect = pdfRect(picture);

    c.text(QStringLiteral("Состояние помещения удовлетворительное."), 72, 420, QStringLiteral("Liberation Serif"), 12);
    c.text(QStringLiteral("Председатель комиссии"), 72, 660, QStringLiteral("Liberation Serif"), 12);

    // A coloured round stamp.
    const QRectF stamp(330, 600, 120, 120);
    c.painter.setBrush(Qt::NoBrush);
    c.painter.setPen(QPen(QColor(30, 60, 200), 3));
    c.painter.drawEllipse(stamp);
    c.painter.drawEllipse(stamp.adjusted(14, 14, -14, -14));
    c.painter.setPen(QPen(QColor(30, 60, 200), 2));
    c.painter.drawLine(stamp.center() + QPointF(-30, 0), stamp.center() + QPointF(30, 0));
    c.painter.drawLine(stamp.center() + QPointF(0, -30), stamp.center() + QPointF(0, 30));
    c.page.stampRect = pdfRect(stamp);

    // A skewed scribble like a signature.
    QPainterPath scribble(QPointF(180, 700));
    scribble.cubicTo(200, 660, 215, 730, 235, 680);
    scribble.cubicTo(250, 650, 262, 735, 285, 690);
    scribble.cubicTo(300, 665, 305, 705, 320, 688);
    c.painter.setPen(QPen(QColor(20, 20, 60), 2.2));
    c.painter.drawPath(scribble);
    c.page.scribbleRect = pdfRect(scribble.boundingRect());
    return c.finish();
}

std::vector<TestPage> allPages(double dpi)
{
    return {mixedLanguagePage(dpi), englishPage(dpi), tablePage(dpi), picturePage(dpi)};
}

// A letter in 12 pt body text with a requisites foot of capitals, numbers and "№".
static TestPage requisitesPage(double dpi, const QString &family)
{
    Canvas c(QStringLiteral("requisites"), dpi);
    c.page.bodyFamily = family;
    c.page.bodySizePt = 12;
    c.text(QStringLiteral("ООО «Вектор»"), 72, 80, family, 14, true);
    c.text(QStringLiteral("Исх. № 245 от 12.03.2024"), 72, 100, family, 10);
    c.text(QStringLiteral("Генеральному директору"), 360, 130, family, 12);
    c.text(QStringLiteral("АО «Север» Иванову П. С."), 360, 146, family, 12);
    c.text(QStringLiteral("Уважаемый Пётр Сергеевич!"), 200, 200, family, 12, true);
    const QStringList body = {
        QStringLiteral("Направляем вам договор поставки и счёт на оплату оборудования."),
        QStringLiteral("Просим подписать договор и вернуть один экземпляр до пятницы."),
        QStringLiteral("Оплату производите по реквизитам, указанным ниже в письме."),
        QStringLiteral("Копию в формате PDF мы отправим вам по электронной почте."),
        QStringLiteral("The CEO of the company and the head of sales agree with it."),
    };
    c.paragraph(body, 72, 240, family, 12, 18);
    c.page.bodyLines = body;
    c.text(QStringLiteral("С уважением, директор"), 72, 380, family, 12);
    const QStringList foot = {
        QStringLiteral("ООО «Вектор» ИНН 7701234567 КПП 770101001"),
        QStringLiteral("ОГРН 1027700132195 РФ, 125009, Москва"),
        QStringLiteral("Р/с 40702810900000012345 в ПАО Сбербанк"),
        QStringLiteral("Счёт № 45 от 12.03.2024, CEO and CFO of PDF"),
        QStringLiteral("OK? PS: ответ ждём до 20 марта"),
    };
    c.paragraph(foot, 72, 640, family, 10, 15);
    c.page.lastLines = foot;
    return c.finish();
}

// A ruled table of numbered rows, its text in `family`.
static TestPage ruledTablePage(double dpi, const QString &family)
{
    Canvas c(QStringLiteral("ruled-table"), dpi);
    c.page.bodyFamily = family;
    c.page.bodySizePt = 11;
    c.text(QStringLiteral("Спецификация к договору № 17"), 170, 90, family, 14, true);
    const double left = 60, right = 535, top = 120, rowHeight = 30;
    const double columns[] = {left, 100, 360, 440, right};
    const QStringList rows[] = {
        {QStringLiteral("№"), QStringLiteral("Наименование"), QStringLiteral("Кол."), QStringLiteral("Цена")},
        {QStringLiteral("1"), QStringLiteral("Бумага офисная А4"), QStringLiteral("20"), QStringLiteral("350,00")},
        {QStringLiteral("2"), QStringLiteral("Картридж HP 85A"), QStringLiteral("4"), QStringLiteral("2900,00")},
        {QStringLiteral("3"), QStringLiteral("Папка-регистратор"), QStringLiteral("15"), QStringLiteral("210,00")},
        {QStringLiteral("4"), QStringLiteral("Ручка шариковая"), QStringLiteral("50"), QStringLiteral("35,00")},
        {QStringLiteral("5"), QStringLiteral("Степлер офисный"), QStringLiteral("3"), QStringLiteral("640,00")},
    };
    const int rowCount = int(std::size(rows));
    c.painter.setPen(QPen(Qt::black, 1.2));
    for (int r = 0; r <= rowCount; ++r)
        c.painter.drawLine(QPointF(left, top + r * rowHeight), QPointF(right, top + r * rowHeight));
    for (double x : columns)
        c.painter.drawLine(QPointF(x, top), QPointF(x, top + rowCount * rowHeight));
    for (int r = 0; r < rowCount; ++r) {
        for (int col = 0; col < 4; ++col)
            c.text(rows[r][col], columns[col] + 7, top + r * rowHeight + 20, family, 11, r == 0);
        c.page.cells << rows[r];
    }
    c.text(QStringLiteral("Итого к оплате: 33 600,00 руб."), 300, top + rowCount * rowHeight + 30, family, 11);
    return c.finish();
}

TestPage scanned(TestPage page, const ScanDefects &defects)
{
    QImage &image = page.image;
    if (defects.skewDegrees != 0.0) {
        QImage turned(image.size(), QImage::Format_RGB32);
        turned.fill(Qt::white);
        QPainter painter(&turned);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(image.width() / 2.0, image.height() / 2.0);
        painter.rotate(defects.skewDegrees);
        painter.translate(-image.width() / 2.0, -image.height() / 2.0);
        painter.drawImage(0, 0, image);
        painter.end();
        image = turned;
        page.skewDegrees = defects.skewDegrees;
    }
    if (defects.blur) {
        const QImage source = image.convertToFormat(QImage::Format_RGB32);
        for (int y = 1; y + 1 < image.height(); ++y) {
            auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 1; x + 1 < image.width(); ++x) {
                int sum = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    const auto *row = reinterpret_cast<const QRgb *>(source.constScanLine(y + dy));
                    for (int dx = -1; dx <= 1; ++dx)
                        sum += qGray(row[x + dx]) * (dx == 0 && dy == 0 ? 4 : 1);
                }
                const int grey = sum / 12;
                out[x] = qRgb(grey, grey, grey);
            }
        }
    }
    if (defects.noise > 0) {
        QRandomGenerator random(29);
        for (int y = 0; y < image.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int grey = std::clamp(qGray(row[x]) + random.bounded(2 * defects.noise + 1) - defects.noise, 0, 255);
                row[x] = qRgb(grey, grey, grey);
            }
        }
        const int specks = image.width() * image.height() / 4000;
        for (int i = 0; i < specks; ++i) {
            const int x = random.bounded(image.width() - 2);
            const int y = random.bounded(image.height() - 2);
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx)
                    image.setPixel(x + dx, y + dy, qRgb(40, 40, 40));
        }
    }
    if (defects.jpegQuality >= 0) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", defects.jpegQuality);
        image = QImage::fromData(bytes, "JPEG").convertToFormat(QImage::Format_RGB32);
    }
    return page;
}

std::vector<TestPage> scanPages()
{
    const auto named = [](TestPage page, const char *name) {
        page.name = QString::fromLatin1(name);
        return page;
    };
    return {
        named(scanned(requisitesPage(200, QStringLiteral("Liberation Serif")), {0.0, 18, false, 55}),
              "requisites-serif-200"),
        named(scanned(requisitesPage(300, QStringLiteral("DejaVu Sans")), {1.3, 18, true, 55}),
              "requisites-dejavu-300-skew"),
        named(scanned(requisitesPage(200, QStringLiteral("Noto Sans")), {-1.3, 18, false, 55}),
              "requisites-noto-200-skew"),
        named(scanned(ruledTablePage(200, QStringLiteral("Liberation Sans")), {0.0, 18, true, 55}),
              "table-sans-200"),
        named(scanned(ruledTablePage(300, QStringLiteral("Noto Sans")), {1.3, 18, false, 55}),
              "table-noto-300-skew"),
    };
}

QStringList words(const QStringList &lines)
{
    return lines.join(QLatin1Char(' ')).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QStringList words(const std::vector<TextBlock> &blocks)
{
    QStringList result;
    for (const TextBlock &b : blocks) {
        if (!b.isImage)
            result << b.text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    }
    return result;
}

QString blocksText(const std::vector<TextBlock> &blocks)
{
    QStringList texts;
    for (const TextBlock &b : blocks) {
        if (!b.isImage)
            texts << b.text;
    }
    return texts.join(QLatin1Char('\n'));
}

double wordRecall(const QStringList &reference, const QStringList &recognised)
{
    if (reference.isEmpty())
        return 1.0;
    QHash<QString, int> available;
    for (const QString &w : recognised)
        ++available[w];
    int found = 0;
    for (const QString &w : reference) {
        auto it = available.find(w);
        if (it != available.end() && it.value() > 0) {
            --it.value();
            ++found;
        }
    }
    return double(found) / reference.size();
}

double characterErrorRate(const QStringList &reference, const QStringList &recognised)
{
    const QString a = reference.join(QLatin1Char(' '));
    const QString b = recognised.join(QLatin1Char(' '));
    if (a.isEmpty())
        return b.isEmpty() ? 0.0 : 1.0;
    std::vector<int> previous(size_t(b.size()) + 1), current(size_t(b.size()) + 1);
    for (int j = 0; j <= b.size(); ++j)
        previous[size_t(j)] = j;
    for (int i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int substitution = previous[size_t(j - 1)] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[size_t(j)] = std::min({previous[size_t(j)] + 1, current[size_t(j - 1)] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return double(previous[size_t(b.size())]) / a.size();
}

} // namespace testpages
