#include "XlsxStylesReader.h"

#include "XlsxIBudget.h"
#include "XlsxXmlWalker.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr double kMaxFontSize = 409.0;
// Spreadsheet programs take codes of 255 characters; a painter walks the
// code for every cell it formats, so a longer one is not kept.
constexpr qsizetype kMaxFormatCodeChars = 1024;
constexpr double kTintThreshold = 0.001;

// The default indexed colour palette of SpreadsheetML.
constexpr QRgb kIndexedPalette[64] = {
    0x000000, 0xffffff, 0xff0000, 0x00ff00, 0x0000ff, 0xffff00, 0xff00ff, 0x00ffff,
    0x000000, 0xffffff, 0xff0000, 0x00ff00, 0x0000ff, 0xffff00, 0xff00ff, 0x00ffff,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xc0c0c0, 0x808080,
    0x9999ff, 0x993366, 0xffffcc, 0xccffff, 0x660066, 0xff8080, 0x0066cc, 0xccccff,
    0x000080, 0xff00ff, 0xffff00, 0x00ffff, 0x800080, 0x800000, 0x008080, 0x0000ff,
    0x00ccff, 0xccffff, 0xccffcc, 0xffff99, 0x99ccff, 0xff99cc, 0xcc99ff, 0xffcc99,
    0x3366ff, 0x33cccc, 0x99cc00, 0xffcc00, 0xff9900, 0xff6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

QColor hexColour(QStringView text)
{
    if (text.size() == 8)
        text = text.mid(2); // ARGB: the alpha goes
    else if (text.size() != 6)
        return QColor();
    return QColor::fromString(QLatin1Char('#') + text.toString().toLower());
}

// Moves the HSL lightness toward white (t > 0) or black (t < 0).
QColor tinted(const QColor& colour, double tint)
{
    tint = qBound(-1.0, tint, 1.0);
    float h = 0, s = 0, l = 0, a = 0;
    colour.getHslF(&h, &s, &l, &a);
    const double lightness = tint >= 0 ? l * (1.0 - tint) + tint : l * (1.0 + tint);
    return QColor::fromHslF(h > 0 ? h : 0.0f, s, qBound(0.0f, float(lightness), 1.0f), a);
}

// The theme attribute counts lt1, dk1, lt2, dk2 first, while the theme part
// lists dk1, lt1, dk2, lt2: the first two pairs are exchanged.
int themeSlot(int index)
{
    return index >= 0 && index < 4 ? index ^ 1 : index;
}

class StylesReader {
public:
    StylesReader(const QList<QColor>& theme, XlsxIBudget& budget, XlsxIStyles& styles)
        : m_theme(theme), m_budget(budget), m_styles(styles)
    {
    }

    void read(XlsxXmlWalker& xml)
    {
        while (xml.next()) {
            bool ok = true;
            if (xml.isStart())
                ok = start(xml);
            else if (xml.isEnd())
                ok = end(xml.name());
            if (!ok) {
                xml.stop();
                return;
            }
        }
    }

private:
    enum class Section { None, NumFmts, Fonts, Fills, Borders, CellXfs };

    static Section sectionOf(QStringView name)
    {
        if (name == u"numFmts")
            return Section::NumFmts;
        if (name == u"fonts")
            return Section::Fonts;
        if (name == u"fills")
            return Section::Fills;
        if (name == u"borders")
            return Section::Borders;
        if (name == u"cellXfs")
            return Section::CellXfs;
        return Section::None;
    }

    bool start(const XlsxXmlWalker& xml)
    {
        const Section section = sectionOf(xml.name());
        if (section != Section::None) {
            m_section = section;
            return true;
        }
        switch (m_section) {
        case Section::NumFmts:
            return startNumFmt(xml);
        case Section::Fonts:
            startFont(xml);
            break;
        case Section::Fills:
            startFill(xml);
            break;
        case Section::Borders:
            startBorder(xml);
            break;
        case Section::CellXfs:
            startXf(xml);
            break;
        case Section::None:
            break;
        }
        return true;
    }

    bool end(QStringView name)
    {
        if (sectionOf(name) != Section::None) {
            m_section = Section::None;
            return true;
        }
        if (m_section == Section::Fonts && name == u"font")
            return append(m_styles.fonts, m_font);
        if (m_section == Section::Fills && name == u"fill") {
            m_solidPattern = false;
            return append(m_styles.fills, m_fill);
        }
        if (m_section == Section::Borders) {
            if (name == u"left" || name == u"right" || name == u"top" || name == u"bottom")
                m_side = nullptr;
            if (name == u"border") {
                m_side = nullptr;
                return append(m_styles.borders, m_border,
                              m_border.left.style.size() + m_border.right.style.size() +
                                  m_border.top.style.size() + m_border.bottom.style.size());
            }
        }
        if (m_section == Section::CellXfs && name == u"xf")
            return append(m_styles.cellXfs, m_xf, m_xf.horizontal.size() + m_xf.vertical.size());
        return true;
    }

    // Appends an entry that keeps chars of text.
    template <typename T>
    bool append(QList<T>& list, const T& entry, qint64 chars = 0)
    {
        if (!m_budget.take() || !m_budget.keepText(chars))
            return false;
        list.append(entry);
        return true;
    }

    bool startNumFmt(const XlsxXmlWalker& xml)
    {
        if (xml.name() != u"numFmt")
            return true;
        const int id = xlsxInt(xml.attribute("numFmtId"_L1));
        const QStringView code = xml.attribute("formatCode"_L1);
        if (code.size() > kMaxFormatCodeChars)
            return true;
        if (!m_styles.numFmts.contains(id) && !m_budget.take())
            return false;
        if (!m_budget.keepText(code.size()))
            return false;
        m_styles.numFmts.insert(id, code.toString());
        return true;
    }

    void startFont(const XlsxXmlWalker& xml)
    {
        const QStringView name = xml.name();
        if (name == u"font") {
            m_font = XlsxIFont();
        } else if (name == u"b") {
            m_font.bold = xlsxBool(xml.attribute("val"_L1), true);
        } else if (name == u"i") {
            m_font.italic = xlsxBool(xml.attribute("val"_L1), true);
        } else if (name == u"u") {
            const QStringView val = xml.attribute("val"_L1);
            m_font.underline = val.isEmpty() || val == u"single";
        } else if (name == u"sz") {
            const double size = xlsxDouble(xml.attribute("val"_L1));
            if (size > 0.0)
                m_font.size = qMin(size, kMaxFontSize);
        } else if (name == u"color") {
            const QColor colour = iResolveColor(xml.attributes(), m_theme);
            if (colour.isValid()) {
                m_font.color = colour;
                m_font.hasColor = true;
            }
        }
    }

    void startFill(const XlsxXmlWalker& xml)
    {
        const QStringView name = xml.name();
        if (name == u"fill") {
            m_fill = XlsxIFill();
            m_solidPattern = false;
        } else if (name == u"patternFill") {
            m_solidPattern = xml.attribute("patternType"_L1) == u"solid";
        } else if (name == u"fgColor" && m_solidPattern) {
            const QColor colour = iResolveColor(xml.attributes(), m_theme);
            if (colour.isValid()) {
                m_fill.color = colour;
                m_fill.solid = true;
            }
        }
    }

    void startBorder(const XlsxXmlWalker& xml)
    {
        const QStringView name = xml.name();
        if (name == u"border") {
            m_border = XlsxIBorder();
            m_side = nullptr;
            return;
        }
        XlsxIBorderSide* side = name == u"left"     ? &m_border.left
                                : name == u"right"  ? &m_border.right
                                : name == u"top"    ? &m_border.top
                                : name == u"bottom" ? &m_border.bottom
                                                    : nullptr;
        if (side) {
            side->style = xml.attribute("style"_L1).toString();
            side->present = !side->style.isEmpty();
            m_side = side;
        } else if (name == u"color" && m_side) {
            const QColor colour = iResolveColor(xml.attributes(), m_theme);
            if (colour.isValid())
                m_side->color = colour;
        }
    }

    void startXf(const XlsxXmlWalker& xml)
    {
        const QStringView name = xml.name();
        if (name == u"xf") {
            m_xf = XlsxIXf();
            m_xf.fontId = xlsxInt(xml.attribute("fontId"_L1));
            m_xf.fillId = xlsxInt(xml.attribute("fillId"_L1));
            m_xf.borderId = xlsxInt(xml.attribute("borderId"_L1));
            m_xf.numFmtId = xlsxInt(xml.attribute("numFmtId"_L1));
            m_xf.applyFont = xlsxBool(xml.attribute("applyFont"_L1));
            m_xf.applyFill = xlsxBool(xml.attribute("applyFill"_L1));
            m_xf.applyBorder = xlsxBool(xml.attribute("applyBorder"_L1));
            m_xf.applyAlignment = xlsxBool(xml.attribute("applyAlignment"_L1));
        } else if (name == u"alignment") {
            m_xf.horizontal = xml.attribute("horizontal"_L1).toString();
            m_xf.vertical = xml.attribute("vertical"_L1).toString();
            m_xf.wrapText = xlsxBool(xml.attribute("wrapText"_L1));
            m_xf.indent = xlsxInt(xml.attribute("indent"_L1));
        }
    }

    const QList<QColor>& m_theme;
    XlsxIBudget& m_budget;
    XlsxIStyles& m_styles;
    Section m_section = Section::None;
    XlsxIFont m_font;
    XlsxIFill m_fill;
    bool m_solidPattern = false;
    XlsxIBorder m_border;
    XlsxIBorderSide* m_side = nullptr;
    XlsxIXf m_xf;
};

} // namespace

std::unique_ptr<XlsxIStyles> iParseStyles(const QByteArray& xml, const QList<QColor>& themeColours,
                                          XlsxIBudget* budget)
{
    auto styles = std::make_unique<XlsxIStyles>();
    XlsxIBudget local;
    XlsxIBudget& limits = budget ? *budget : local;
    XlsxXmlWalker walker(xml, limits);
    StylesReader(themeColours, limits, *styles).read(walker);
    return styles;
}

QColor iResolveColor(const QXmlStreamAttributes& attributes, const QList<QColor>& themeColours)
{
    const QStringView rgb = attributes.value("rgb"_L1);
    if (!rgb.isEmpty())
        return hexColour(rgb);
    const QStringView indexed = attributes.value("indexed"_L1);
    if (!indexed.isEmpty())
        return iIndexedColor(xlsxInt(indexed));
    const QStringView theme = attributes.value("theme"_L1);
    if (theme.isEmpty())
        return QColor();
    const int slot = themeSlot(xlsxInt(theme));
    const QColor colour = slot >= 0 && slot < themeColours.size() ? themeColours.at(slot) : QColor(Qt::black);
    const QStringView tint = attributes.value("tint"_L1);
    if (tint.isEmpty())
        return colour;
    const double t = xlsxDouble(tint);
    return std::abs(t) >= kTintThreshold ? tinted(colour, t) : colour;
}

QColor iIndexedColor(int index)
{
    return index >= 0 && index < 64 ? QColor(kIndexedPalette[index]) : QColor(Qt::black);
}
