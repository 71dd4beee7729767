#include "SpecialCharactersDialog.h"

#include "DialogKit.h"

#include <QBoxLayout>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSet>
#include <QTabWidget>

#include <array>
#include <utility>

namespace {

constexpr QSize kButtonSize(44, 36);
constexpr int kButtonPointSize = 14;
constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kWhiteSquare = 0x25A1;

// The Unicode blocks "Все" walks after the fixed sets, inclusive.
constexpr std::array<std::pair<char32_t, char32_t>, 15> kRanges{{
    {0x00A1, 0x00FF}, {0x2000, 0x206F}, {0x2070, 0x209F}, {0x20A0, 0x20CF}, {0x2100, 0x214F},
    {0x2150, 0x218F}, {0x2190, 0x21FF}, {0x2200, 0x22FF}, {0x2300, 0x23FF}, {0x2460, 0x24FF},
    {0x25A0, 0x25FF}, {0x2600, 0x26FF}, {0x2700, 0x27BF}, {0x2900, 0x297F}, {0x2B00, 0x2BFF},
}};

QStringList symbolsOf(std::initializer_list<char32_t> codes)
{
    QStringList symbols;
    for (char32_t code : codes)
        symbols << QString::fromUcs4(&code, 1);
    return symbols;
}

class AllSymbols {
public:
    explicit AllSymbols(const QFontMetrics& metrics) : m_metrics(metrics) {}

    void offer(const QString& symbol)
    {
        if (symbol.isEmpty() || symbol.contains(QChar(char16_t(kReplacementCharacter))) || symbol.contains(QChar(char16_t(kWhiteSquare))))
            return;
        const char32_t first = symbol.toUcs4().value(0);
        if (symbol.toUcs4().size() == 1 && QChar::category(first) == QChar::Other_NotAssigned)
            return;
        if (!m_metrics.inFontUcs4(first) || m_taken.contains(symbol))
            return;
        m_taken.insert(symbol);
        m_symbols << symbol;
    }

    QStringList symbols() const { return m_symbols; }

private:
    const QFontMetrics& m_metrics;
    QSet<QString> m_taken;
    QStringList m_symbols;
};

} // namespace

const QList<SpecialCharactersDialog::SymbolSet>& SpecialCharactersDialog::fixedSets()
{
    static const QList<SymbolSet> sets{
        {tr("Популярные"),
         symbolsOf({0x2116, 0x00A7, 0x00B6, 0x00A9, 0x00AE, 0x2122, 0x00B0, 0x00B1, 0x00D7, 0x00F7, 0x2248, 0x2260,
                    0x2264, 0x2265, 0x2026, 0x2030, 0x00AB, 0x00BB, 0x201E, 0x201C, 0x201D, 0x2013, 0x2014, 0x2022})},
        {tr("Математика"),
         symbolsOf({0x221E, 0x221A, 0x2211, 0x220F, 0x222B, 0x2206, 0x2202, 0x2208, 0x2229, 0x222A, 0x2282, 0x2283,
                    0x2295, 0x2297, 0x00B9, 0x00B2, 0x00B3, 0x00BC, 0x00BD, 0x00BE, 0x2153, 0x2154, 0x215B, 0x215C})},
        {tr("Валюта"), symbolsOf({0x20BD, 0x0024, 0x20AC, 0x00A3, 0x00A5, 0x20BF, 0x20B4, 0x20B8, 0x00A2, 0x00A4,
                                  0x20BA, 0x20B9, 0x20A9, 0x20AA, 0x20AB, 0x20A6})},
        {tr("Греческие"),
         symbolsOf({0x03B1, 0x03B2, 0x03B3, 0x03B4, 0x03B5, 0x03B6, 0x03B7, 0x03B8, 0x03BB, 0x03BC, 0x03C0, 0x03C1,
                    0x03C3, 0x03C4, 0x03C6, 0x03C9, 0x0391, 0x0392, 0x0393, 0x0394, 0x039B, 0x03A0, 0x03A3, 0x03A9})},
    };
    return sets;
}

QStringList SpecialCharactersDialog::allSymbols(const QFontMetrics& metrics)
{
    AllSymbols all(metrics);
    for (const SymbolSet& set : fixedSets()) {
        for (const QString& symbol : set.symbols)
            all.offer(symbol);
    }
    for (const auto& [first, last] : kRanges) {
        for (char32_t code = first; code <= last; ++code) {
            const QString symbol = QString::fromUcs4(&code, 1);
            if (!symbol.trimmed().isEmpty())
                all.offer(symbol);
        }
    }
    return all.symbols();
}

SpecialCharactersDialog::SpecialCharactersDialog(QWidget* parent)
    : QDialog(parent)
{
    QVBoxLayout* layout = setUpInfoWindow(this, tr("Специальные символы"), QSize(760, 560), 16);
    layout->setSpacing(10);
    layout->addWidget(label(tr("Специальные символы"), QStringLiteral("DialogTitle")));
    QLabel* subtitle =
        label(tr("Выберите символ, он будет вставлен в активный текстовый блок."), QStringLiteral("DialogSubtitle"));
    subtitle->setWordWrap(true);
    layout->addWidget(subtitle);

    auto* tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("SymbolTabs"));
    tabs->setDocumentMode(true);
    tabs->addTab(symbolPage(allSymbols(QFontMetrics(font()))), tr("Все"));
    for (const SymbolSet& set : fixedSets())
        tabs->addTab(symbolPage(set.symbols), set.title);
    layout->addWidget(tabs, 1);
    layout->addLayout(closingButtonRow(this, {{tr("Закрыть"), QStringLiteral("SecondaryDialogButton")}}));
}

QWidget* SpecialCharactersDialog::symbolPage(const QStringList& symbols)
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("SymbolPage"));
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    QFont buttonFont = font();
    buttonFont.setPointSize(kButtonPointSize);
    for (int i = 0; i < symbols.size(); ++i) {
        auto* button = new QPushButton(symbols[i]);
        button->setObjectName(QStringLiteral("SymbolButton"));
        button->setFixedSize(kButtonSize);
        button->setFont(buttonFont);
        const QString symbol = symbols[i];
        connect(button, &QPushButton::clicked, this, [this, symbol] { emit symbolChosen(symbol); });
        grid->addWidget(button, i / kColumns, i % kColumns);
    }
    grid->setRowStretch((int(symbols.size()) + kColumns - 1) / kColumns, 1);
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("SymbolScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(page);
    return scroll;
}
