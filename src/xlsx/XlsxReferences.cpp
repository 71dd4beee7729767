#include "XlsxReferences.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kSheetRows = 1048576;
constexpr int kSheetLastCol = 16383;
// Names that name names go no deeper than this, calls and parentheses
// within one formula no deeper than that; a reference has no more areas
// and tokens than these.
constexpr int kMaxNameDepth = 8;
constexpr int kMaxNesting = 32;
// Names read in one reference at most, however often they are named.
constexpr int kMaxNamesRead = 256;
constexpr qsizetype kMaxAreas = 256;
constexpr qsizetype kMaxTokens = 4096;
// Sizes and offsets past any sheet's: beyond them a reference is no reference.
constexpr qint64 kMaxNumber = 1 << 24;

struct Token {
    enum Kind { Word, Sheet, Table, Punct, Other, End };
    Kind kind = End;
    QString text;          // a word as written, a sheet's or table's name, a punctuation character
    bool external = false; // a sheet of another workbook: "[1]Лист!"
    QString selector;      // of a table: what its brackets hold, "[#Data],[Сумма]"
};

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'$' || c == u'_' || c == u'.' || c == u'\\' || c == u'?';
}

// The name of a quoted sheet from its opening quote at i; i moves past the
// closing one. False when it is not closed.
bool quotedName(QStringView text, qsizetype& i, QString& name)
{
    for (++i; i < text.size(); ++i) {
        if (text.at(i) != u'\'') {
            name += text.at(i);
        } else if (i + 1 < text.size() && text.at(i + 1) == u'\'') {
            name += u'\'';
            ++i;
        } else {
            ++i;
            return true;
        }
    }
    return false;
}

// What the brackets opening at i hold, nested ones included; i moves past
// the closing one. "'" takes the next character as it is. False when they
// are not closed.
bool bracketed(QStringView text, qsizetype& i, QString& inside)
{
    int depth = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\'' && depth > 0 && i + 1 < text.size()) {
            inside += text.mid(i, 2);
            ++i;
        } else if (c == u'[' && depth++ == 0) {
            continue;
        } else if (c == u']' && --depth == 0) {
            ++i;
            return true;
        } else {
            inside += c;
        }
    }
    return false;
}

// The tokens of a formula, ending in End; false when it is too long or a
// sheet's quotes, a text's or brackets are not closed. "[0]" names this
// workbook; brackets after a word, or holding "#", "@" or "[", are a table's.
bool tokenize(QStringView text, QList<Token>& tokens)
{
    bool external = false;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (tokens.size() >= kMaxTokens)
            return false;
        const bool afterWord = i > 0 && isWordChar(text.at(i - 1)) && !tokens.isEmpty() &&
                               tokens.last().kind == Token::Word;
        const QChar first = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (c == u'[' && (afterWord || first == u'#' || first == u'@' || first == u'[')) {
            QString selector;
            if (!bracketed(text, i, selector))
                return false;
            if (afterWord)
                tokens.last().kind = Token::Table;
            else
                tokens.append({Token::Table, QString(), false});
            tokens.last().selector = selector;
            continue;
        }
        if (c == u'"') { // a text: what it says is no reference
            qsizetype j = i + 1;
            while (j < text.size() && !(text.at(j) == u'"' && (j + 1 >= text.size() || text.at(j + 1) != u'"')))
                j += text.at(j) == u'"' ? 2 : 1;
            if (j >= text.size())
                return false;
            i = j + 1;
            tokens.append({Token::Other, QStringLiteral("\""), false});
            continue;
        }
        if (c == u'[') {
            const qsizetype close = text.indexOf(u']', i);
            if (close < 0)
                return false;
            external = text.mid(i + 1, close - i - 1).trimmed() != u"0";
            i = close + 1;
            if (i < text.size() && text.at(i) == u'!') { // "[0]!Имя": a name of the workbook
                tokens.append({Token::Sheet, QString(), external});
                external = false;
                ++i;
            }
            continue;
        }
        if (c == u'\'') {
            QString name;
            if (!quotedName(text, i, name) || i >= text.size() || text.at(i) != u'!')
                return false;
            ++i;
            tokens.append({Token::Sheet, name, external});
            external = false;
            continue;
        }
        if (isWordChar(c)) {
            const qsizetype from = i;
            while (i < text.size() && isWordChar(text.at(i)))
                ++i;
            const QString word = text.mid(from, i - from).toString();
            const bool sheet = i < text.size() && text.at(i) == u'!';
            tokens.append({sheet ? Token::Sheet : Token::Word, word, sheet && external});
            i += sheet ? 1 : 0;
            external = false;
            continue;
        }
        const bool punct = c == u'(' || c == u')' || c == u',' || c == u':' || c == u'+' || c == u'-';
        tokens.append({punct ? Token::Punct : Token::Other, QString(c), false});
        ++i;
    }
    tokens.append({Token::End, QString(), false});
    return true;
}

// Column from 0 of letters "A".."XFD"; -1 when they are none.
int columnOf(QStringView letters)
{
    if (letters.isEmpty() || letters.size() > 3)
        return -1;
    int col = 0;
    for (QChar c : letters) {
        const char16_t u = c.toUpper().unicode();
        if (u < u'A' || u > u'Z')
            return -1;
        col = col * 26 + (u - u'A' + 1);
    }
    return col <= kSheetLastCol + 1 ? col - 1 : -1;
}

// A word as one end of a range: a cell "$B$2", a column "$B" or a row "$2";
// the missing part -1. False when it is none of them.
bool rangeEnd(QStringView word, int* col, int* row)
{
    const QString plain = word.toString().remove(u'$');
    qsizetype split = 0;
    while (split < plain.size() && plain.at(split).isLetter())
        ++split;
    *col = split > 0 ? columnOf(QStringView(plain).left(split)) : -1;
    *row = -1;
    if (split < plain.size()) {
        bool ok = false;
        *row = QStringView(plain).mid(split).toInt(&ok);
        if (!ok || *row < 1 || *row > kSheetRows)
            return false;
    }
    return !plain.isEmpty() && (split == 0 || *col >= 0);
}

bool isNumberWord(const QString& word)
{
    return !word.isEmpty() && word.front().isDigit() && !word.contains(u'$');
}

// Cells of a sheet: rows from 1, columns from 0; data null for a sheet
// this workbook does not have.
struct Block {
    QString sheet;
    const XlsxISheetData* data = nullptr;
    int firstRow = 0;
    int lastRow = 0;
    int firstCol = 0;
    int lastCol = 0;
};

// What one operand of a range stands for: blocks, or a lone column or row
// that is a range only beside ":".
struct Operand {
    enum Part { Cells, Column, Row };
    QList<Block> blocks;
    Part part = Cells;
};

// A name in a table's brackets as written: "'" takes the next character.
QString unescaped(QStringView item)
{
    QString name;
    for (qsizetype i = 0; i < item.size(); ++i) {
        if (item.at(i) == u'\'' && i + 1 < item.size())
            ++i;
        name += item.at(i);
    }
    return name.trimmed();
}

// The cells a table's brackets stand for: its data rows unless "#All",
// "#Headers", "#Data" or "#Totals" say otherwise, its columns by name, one or
// a range "[A]:[B]"; false for the current row and for what is not one block.
bool structuredBlock(const XlsxITable& table, QStringView selector, Block& block)
{
    QStringList items;
    QList<QChar> joins;
    if (!selector.trimmed().startsWith(u'[')) {
        items.append(selector.toString());
    } else {
        qsizetype i = 0;
        for (;;) {
            while (i < selector.size() && selector.at(i).isSpace())
                ++i;
            QString item;
            if (i >= selector.size() || selector.at(i) != u'[' || !bracketed(selector, i, item))
                return false;
            items.append(item);
            while (i < selector.size() && selector.at(i).isSpace())
                ++i;
            if (i >= selector.size())
                break;
            if (selector.at(i) != u',' && selector.at(i) != u':')
                return false;
            joins.append(selector.at(i++));
        }
    }
    enum { Headers = 1, Data = 2, Totals = 4 };
    int parts = 0;
    QList<int> columns;
    for (const QString& item : std::as_const(items)) {
        const QString name = unescaped(item);
        const QString special = name.toLower();
        if (special == u"#all")
            parts |= Headers | Data | Totals;
        else if (special == u"#data")
            parts |= Data;
        else if (special == u"#headers")
            parts |= Headers;
        else if (special == u"#totals")
            parts |= Totals;
        else if (name.startsWith(u'#') || name.startsWith(u'@'))
            return false;
        else if (!name.isEmpty()) {
            if (columns.size() == 2)  // a block spans two columns at most
                return false;
            const qsizetype at = std::find_if(table.columns.cbegin(), table.columns.cend(),
                                              [&name](const QString& c) { return c.compare(name, Qt::CaseInsensitive) == 0; }) -
                                 table.columns.cbegin();
            if (at >= table.columns.size())
                return false;
            columns.append(int(at));
        }
    }
    // Two columns make a block only as a range; headers and totals without
    // the data between them are none.
    if (columns.size() > 2 || (columns.size() == 2 && !joins.contains(u':')) || parts == (Headers | Totals))
        return false;
    parts = parts ? parts : Data;
    const int headers = std::max(table.headerRows, 0);
    const int totals = std::max(table.totalsRows, 0);
    const int segments[3][2] = {{table.firstRow, table.firstRow + headers - 1},
                                {table.firstRow + headers, table.lastRow - totals},
                                {table.lastRow - totals + 1, table.lastRow}};
    int first = kSheetRows + 1;
    int last = 0;
    for (int k = 0; k < 3; ++k) {
        if ((parts & (1 << k)) && segments[k][0] <= segments[k][1]) {
            first = std::min(first, segments[k][0]);
            last = std::max(last, segments[k][1]);
        }
    }
    if (first > last)
        return false;
    const int from = columns.isEmpty() ? 0 : std::min(columns.first(), columns.last());
    // A table part that names no columns spans its range's.
    const int width = table.columns.isEmpty() ? table.lastCol - table.firstCol + 1 : int(table.columns.size());
    const int to = columns.isEmpty() ? width - 1 : std::max(columns.first(), columns.last());
    block.sheet = table.sheet;
    block.firstRow = first;
    block.lastRow = last;
    block.firstCol = table.firstCol + from;
    block.lastCol = std::min(table.firstCol + std::max(to, 0), table.lastCol);
    return block.firstCol <= block.lastCol;
}

// One formula's tokens read as a reference, after the rules of the
// spreadsheet functions it knows.
class Parser {
public:
    Parser(const XlsxReferences& references, const QList<Token>& tokens, int nameDepth, int& namesRead)
        : m_references(references), m_tokens(tokens), m_nameDepth(nameDepth), m_namesRead(namesRead)
    {
    }

    bool parse(QList<Block>& blocks)
    {
        if (peek().kind == Token::Other && peek().text == u"=")
            ++m_at;
        return unionOf(blocks) && peek().kind == Token::End;
    }

private:
    const Token& peek(qsizetype ahead = 0) const
    {
        return m_tokens.at(std::min(m_at + ahead, m_tokens.size() - 1));
    }

    bool punct(QChar c)
    {
        if (peek().kind != Token::Punct || peek().text.front() != c)
            return false;
        ++m_at;
        return true;
    }

    bool nested(const std::function<bool()>& step)
    {
        if (++m_nesting > kMaxNesting)
            return false;
        const bool done = step();
        --m_nesting;
        return done;
    }

    // Ranges joined by ",".
    bool unionOf(QList<Block>& blocks)
    {
        do {
            if (!range(blocks) || blocks.size() > kMaxAreas)
                return false;
        } while (punct(u','));
        return true;
    }

    // Operands joined by ":" into the block that holds them.
    bool range(QList<Block>& blocks)
    {
        Operand left;
        if (!operand(left, false))
            return false;
        while (punct(u':')) {
            Operand right;
            if (!operand(right, true) || !join(left, right))
                return false;
        }
        if (left.part != Operand::Cells)
            return false;
        blocks.append(left.blocks);
        return true;
    }

    bool join(Operand& left, const Operand& right)
    {
        if (left.blocks.size() != 1 || right.blocks.size() != 1 || left.part != right.part)
            return false;
        Block& a = left.blocks.first();
        const Block& b = right.blocks.first();
        if (!b.sheet.isNull() && b.sheet.compare(a.sheet, Qt::CaseInsensitive) != 0)
            return false;
        a.firstRow = std::min(a.firstRow, b.firstRow);
        a.lastRow = std::max(a.lastRow, b.lastRow);
        a.firstCol = std::min(a.firstCol, b.firstCol);
        a.lastCol = std::max(a.lastCol, b.lastCol);
        if (left.part == Operand::Column) {
            a.firstRow = 1;
            a.lastRow = kSheetRows;
        } else if (left.part == Operand::Row) {
            a.firstCol = 0;
            a.lastCol = kSheetLastCol;
        }
        left.part = Operand::Cells;
        return true;
    }

    bool operand(Operand& out, bool afterColon)
    {
        if (punct(u'('))
            return nested([&] { return unionOf(out.blocks) && punct(u')'); });
        if (peek().kind == Token::Table) {
            const Token& t = peek();
            ++m_at;
            return tableBlock(t.text, t.selector, out.blocks);
        }
        QString sheet;
        bool prefixed = false;
        if (peek().kind == Token::Sheet) {
            if (peek().external)
                return false;
            sheet = peek().text;
            prefixed = true;
            ++m_at;
        }
        if (peek().kind != Token::Word)
            return false;
        const QString word = peek().text;
        ++m_at;
        if (peek().kind == Token::Punct && peek().text == u"(")
            return !prefixed && call(word.toUpper().remove(QStringLiteral("_XLFN.")), out);
        int col = -1;
        int row = -1;
        const bool rangePart = (afterColon || (peek().kind == Token::Punct && peek().text == u":"));
        if (rangeEnd(word, &col, &row) && ((col >= 0 && row >= 0) || rangePart)) {
            Block block{prefixed ? sheet : QString(), nullptr, row, row, col, col};
            if (col < 0) {
                out.part = Operand::Row;
                block.firstCol = block.lastCol = 0;
            } else if (row < 0) {
                out.part = Operand::Column;
                block.firstRow = block.lastRow = 1;
            }
            block.data = prefixed ? m_references.sheetNamed(sheet) : nullptr;
            out.blocks.append(block);
            return true;
        }
        return name(word, prefixed ? sheet : QString(), out.blocks);
    }

    bool tableBlock(const QString& name, const QString& selector, QList<Block>& blocks)
    {
        const XlsxITable* table = m_references.table(name);
        Block block;
        if (!table || !structuredBlock(*table, selector, block))
            return false;
        block.data = m_references.sheetNamed(block.sheet);
        blocks.append(block);
        return true;
    }

    // A name's formula as tokens; false when there is none or names go too deep.
    bool nameTokens(const QString& formula, QList<Token>& tokens)
    {
        return !formula.isEmpty() && m_nameDepth < kMaxNameDepth && ++m_namesRead <= kMaxNamesRead &&
               tokenize(formula, tokens);
    }

    // A name, or a table named alone: its data.
    bool name(const QString& word, const QString& scope, QList<Block>& blocks)
    {
        const QString formula = m_references.nameFormula(word, scope);
        QList<Token> tokens;
        if (!nameTokens(formula, tokens))
            return scope.isNull() && formula.isEmpty() && tableBlock(word, {}, blocks);
        return Parser(m_references, tokens, m_nameDepth + 1, m_namesRead).parse(blocks);
    }

    // A name that stands for a number, as a size of OFFSET.
    bool nameNumber(const QString& word, const QString& scope, qint64& value)
    {
        QList<Token> tokens;
        if (!nameTokens(m_references.nameFormula(word, scope), tokens))
            return false;
        Parser inner(m_references, tokens, m_nameDepth + 1, m_namesRead);
        if (inner.peek().kind == Token::Other && inner.peek().text == u"=")
            ++inner.m_at;
        return inner.number(value) && inner.peek().kind == Token::End;
    }

    bool call(const QString& function, Operand& out)
    {
        ++m_at; // "("
        return nested([&] {
            Block block;
            if (function == u"OFFSET")
                block = offset();
            else if (function == u"INDEX")
                block = index();
            if (block.firstRow < 1 || !punct(u')'))
                return false;
            out.blocks.append(block);
            return true;
        });
    }

    // The one block of a reference argument.
    bool singleBlock(Block& block)
    {
        QList<Block> blocks;
        if (!range(blocks) || blocks.size() != 1)
            return false;
        block = blocks.first();
        return true;
    }

    // OFFSET(reference, rows, columns[, height[, width]]); firstRow 0 when
    // it is none.
    Block offset()
    {
        Block base;
        qint64 rows = 0;
        qint64 cols = 0;
        qint64 height = 0;
        qint64 width = 0;
        if (!singleBlock(base) || !punct(u',') || !optionalNumber(rows, 0) || !punct(u',') ||
            !optionalNumber(cols, 0))
            return Block();
        height = base.lastRow - base.firstRow + 1;
        width = base.lastCol - base.firstCol + 1;
        if ((punct(u',') && !optionalNumber(height, height)) || (punct(u',') && !optionalNumber(width, width)))
            return Block();
        const qint64 top = base.firstRow + rows;
        const qint64 left = base.firstCol + cols;
        if (height < 1 || width < 1 || top < 1 || left < 0 || top + height - 1 > kSheetRows ||
            left + width - 1 > kSheetLastCol)
            return Block();
        base.firstRow = int(top);
        base.lastRow = int(top + height - 1);
        base.firstCol = int(left);
        base.lastCol = int(left + width - 1);
        return base;
    }

    // INDEX(reference, row[, column]): a cell, or a whole row or column of
    // the reference for an index 0. One index into a single row counts its
    // columns. firstRow 0 when it is none.
    Block index()
    {
        Block base;
        qint64 row = 0;
        qint64 col = 0;
        if (!singleBlock(base) || !punct(u',') || !optionalNumber(row, 0) || (punct(u',') && !optionalNumber(col, 0)))
            return Block();
        const qint64 height = base.lastRow - base.firstRow + 1;
        const qint64 width = base.lastCol - base.firstCol + 1;
        if (height == 1 && width > 1 && col == 0)
            std::swap(row, col);
        if (row < 0 || col < 0 || row > height || col > width)
            return Block();
        if (row > 0)
            base.firstRow = base.lastRow = int(base.firstRow + row - 1);
        if (col > 0)
            base.firstCol = base.lastCol = int(base.firstCol + col - 1);
        return base;
    }

    // A number argument; an empty one is `empty`.
    bool optionalNumber(qint64& value, qint64 empty)
    {
        if (peek().kind == Token::Punct && (peek().text == u"," || peek().text == u")")) {
            value = empty;
            return true;
        }
        return number(value);
    }

    // Terms joined by "+" and "-".
    bool number(qint64& value)
    {
        if (!term(value))
            return false;
        for (;;) {
            const bool plus = punct(u'+');
            if (!plus && !punct(u'-'))
                return true;
            qint64 next = 0;
            if (!term(next))
                return false;
            value += plus ? next : -next;
            if (std::abs(value) > kMaxNumber)
                return false;
        }
    }

    bool term(qint64& value)
    {
        if (punct(u'-') || punct(u'+')) {
            const bool negative = m_tokens.at(m_at - 1).text == u"-";
            return nested([&] {
                if (!term(value))
                    return false;
                value = negative ? -value : value;
                return true;
            });
        }
        if (punct(u'('))
            return nested([&] { return number(value) && punct(u')'); });
        QString scope;
        if (peek().kind == Token::Sheet && !peek().external && peek(1).kind == Token::Word) {
            scope = peek().text;
            ++m_at;
        }
        if (peek().kind != Token::Word)
            return false;
        const QString word = peek().text;
        ++m_at;
        if (scope.isNull() && isNumberWord(word))
            return numberWord(word, value);
        if (!(peek().kind == Token::Punct && peek().text == u"("))
            return nameNumber(word, scope, value);
        const QString function = word.toUpper();
        if ((function != u"COUNTA" && function != u"COUNT") || !scope.isNull() || !punct(u'('))
            return false;
        return nested([&] { return count(function == u"COUNT", value) && punct(u')'); });
    }

    static bool numberWord(const QString& word, qint64& value)
    {
        bool ok = false;
        const double number = word.toDouble(&ok);
        if (!ok || !std::isfinite(number) || std::abs(number) > double(kMaxNumber))
            return false;
        value = qint64(std::trunc(number));
        return true;
    }

    // COUNTA (or COUNT of numbers) over the ranges of its arguments.
    bool count(bool numbers, qint64& value)
    {
        value = 0;
        do {
            QList<Block> blocks;
            if (!range(blocks))
                return false;
            for (const Block& b : blocks) {
                const qint64 n = m_references.countCells(b.data, b.firstRow, b.lastRow, b.firstCol, b.lastCol, numbers);
                if (n < 0)
                    return false;
                value += n;
            }
        } while (punct(u','));
        return value <= kMaxNumber;
    }

    const XlsxReferences& m_references;
    const QList<Token>& m_tokens;
    qsizetype m_at = 0;
    int m_nesting = 0;
    int m_nameDepth = 0;
    int& m_namesRead;
};

} // namespace

bool XlsxIArea::hidden(int row, int col) const
{
    return sheet->hiddenRows.contains(row) || sheet->hiddenCols.contains(col);
}

int XlsxIArea::visible() const
{
    const QSet<int>& across = down() ? sheet->hiddenCols : sheet->hiddenRows;
    if (across.contains(down() ? firstCol : firstRow))
        return 0;
    int hiddenInside = 0;
    const int from = down() ? firstRow : firstCol;
    const int to = down() ? lastRow : lastCol;
    for (int k : down() ? sheet->hiddenRows : sheet->hiddenCols)
        hiddenInside += k >= from && k <= to ? 1 : 0;
    return size() - hiddenInside;
}

XlsxReferences::XlsxReferences(SheetNamed sheetNamed, const QList<XlsxIDefinedName>& names,
                               const QList<XlsxITable>& tables)
    : m_sheetNamed(std::move(sheetNamed)), m_names(names), m_tables(tables)
{
    for (qsizetype i = m_tables.size() - 1; i >= 0; --i)
        m_tableIndex.insert(m_tables.at(i).name.toCaseFolded(), i);
}

const XlsxITable* XlsxReferences::table(const QString& name) const
{
    const auto found = m_tableIndex.constFind(name.toCaseFolded());
    return found == m_tableIndex.cend() ? nullptr : &m_tables.at(*found);
}

bool iCellRange(QStringView ref, int& firstRow, int& firstCol, int& lastRow, int& lastCol)
{
    const qsizetype colon = ref.indexOf(u':');
    const QStringView from = colon < 0 ? ref : ref.left(colon);
    const QStringView to = colon < 0 ? ref : ref.mid(colon + 1);
    if (!rangeEnd(from.trimmed(), &firstCol, &firstRow) || !rangeEnd(to.trimmed(), &lastCol, &lastRow) ||
        firstCol < 0 || firstRow < 0 || lastCol < 0 || lastRow < 0)
        return false;
    if (firstRow > lastRow)
        std::swap(firstRow, lastRow);
    if (firstCol > lastCol)
        std::swap(firstCol, lastCol);
    return true;
}

bool XlsxReferences::resolve(QStringView formula, QList<XlsxIArea>& areas) const
{
    QList<Token> tokens;
    QList<Block> blocks;
    int namesRead = 0;
    if (!tokenize(formula, tokens) || !Parser(*this, tokens, 0, namesRead).parse(blocks) || blocks.isEmpty())
        return false;
    for (const Block& b : blocks) {
        // A block of several rows and columns is no series.
        if (!b.data || (b.firstRow != b.lastRow && b.firstCol != b.lastCol))
            return false;
        areas.append({b.data, b.firstRow, b.lastRow, b.firstCol, b.lastCol});
    }
    return true;
}

QString XlsxReferences::nameFormula(const QString& name, const QString& sheet) const
{
    const QString wanted = name.toCaseFolded();
    const QString scope = sheet.toCaseFolded();
    QString global;
    for (const XlsxIDefinedName& n : m_names) {
        if (n.name.toCaseFolded() != wanted)
            continue;
        if (n.sheet.isEmpty())
            global = n.formula;
        else if (!scope.isEmpty() && n.sheet.toCaseFolded() == scope)
            return n.formula;
    }
    return global;
}

qint64 XlsxReferences::countCells(const XlsxISheetData* sheet, int firstRow, int lastRow, int firstCol, int lastCol,
                                  bool numbers) const
{
    if (!sheet)
        return -1;
    const auto key = std::make_tuple(quintptr(sheet), firstRow, lastRow, firstCol, lastCol, numbers);
    if (const auto known = m_counts.constFind(key); known != m_counts.cend())
        return *known;
    qint64 n = 0;
    for (auto row = sheet->cells.lowerBound(firstRow); row != sheet->cells.cend() && row.key() <= lastRow; ++row) {
        for (auto cell = row->lowerBound(firstCol); cell != row->cend() && cell.key() <= lastCol; ++cell)
            n += (numbers ? cell->isNumber : !cell->text.isEmpty()) ? 1 : 0;
    }
    m_counts.insert(key, n);
    return n;
}

QStringList XlsxReferences::sheetsNamed(QStringView formula, bool* anySheet) const
{
    QStringList sheets;
    *anySheet = false;
    QSet<qsizetype> seen;
    collectSheets(formula, 0, seen, sheets, anySheet);
    return sheets;
}

void XlsxReferences::collectSheets(QStringView formula, int depth, QSet<qsizetype>& seen, QStringList& sheets,
                                   bool* anySheet) const
{
    QList<Token> tokens;
    if (depth > kMaxNameDepth || !tokenize(formula, tokens)) {
        *anySheet = true;
        return;
    }
    for (qsizetype i = 0; i < tokens.size() && !*anySheet; ++i) {
        const Token& t = tokens.at(i);
        const Token* before = i > 0 ? &tokens.at(i - 1) : nullptr;
        const bool prefixed = before && before->kind == Token::Sheet;
        if (t.kind == Token::Sheet && !t.external && !t.text.isEmpty() && !sheets.contains(t.text, Qt::CaseInsensitive))
            sheets.append(t.text);
        if (t.kind == Token::Table) {
            const XlsxITable* table = this->table(t.text);
            if (!table)
                *anySheet = true;
            else if (!sheets.contains(table->sheet, Qt::CaseInsensitive))
                sheets.append(table->sheet);
        }
        if (t.kind != Token::Word || (prefixed && before->external) || isNumberWord(t.text))
            continue;
        const Token& after = tokens.at(i + 1);
        const QString word = t.text.toUpper();
        if (after.kind == Token::Punct && after.text == u"(") {
            // A reference made of text may be any sheet's.
            *anySheet = word == u"INDIRECT" || word == u"_XLFN.INDIRECT";
            continue;
        }
        int col = -1;
        int row = -1;
        if (rangeEnd(t.text, &col, &row)) {
            // Cells of no sheet are those of whichever sheet asks.
            *anySheet = !prefixed && !(before && before->kind == Token::Punct && before->text == u":");
            continue;
        }
        if (word == u"TRUE" || word == u"FALSE")
            continue;
        // A name without a sheet may be any sheet's own.
        const QString wanted = t.text.toCaseFolded();
        const QString scope = prefixed ? before->text.toCaseFolded() : QString();
        bool known = false;
        for (qsizetype k = 0; k < m_names.size(); ++k) {
            const XlsxIDefinedName& n = m_names.at(k);
            if (n.name.toCaseFolded() != wanted || (prefixed && !n.sheet.isEmpty() && n.sheet.toCaseFolded() != scope))
                continue;
            known = true;
            // Each name is read once: what it points to is already collected.
            if (!seen.contains(k)) {
                seen.insert(k);
                collectSheets(n.formula, depth + 1, seen, sheets, anySheet);
            }
        }
        const XlsxITable* table = known ? nullptr : this->table(t.text);
        if (table && !sheets.contains(table->sheet, Qt::CaseInsensitive))
            sheets.append(table->sheet);
        *anySheet = *anySheet || (!known && !table);
    }
}
