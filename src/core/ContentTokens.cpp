#include "ContentTokens.h"

#include "ContentStreamEditor.h"

#include "InlineImage.h"
#include "QpdfFile.h"

#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDF.hh>

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>

namespace pdfengine {

bool tokenize(const std::string& data, std::vector<Token>& tokens, QString& error, QPDFObjectHandle resources)
{
    auto input = std::make_shared<BufferInputSource>("content", data);
    QPDFTokenizer tokenizer;
    tokenizer.allowEOF();
    tokenizer.includeIgnorable();
    size_t at = 0;
    size_t imageStart = 0;
    for (;;) {
        QPDFTokenizer::Token token = tokenizer.readToken(input, "content", true, 0);
        const auto end = size_t(input->tell());
        if (token.getType() == QPDFTokenizer::tt_eof)
            break;
        if (token.getType() == QPDFTokenizer::tt_bad || end <= at) {
            error = QStringLiteral("содержимое страницы не читается (%1)")
                        .arg(QString::fromStdString(token.getErrorMessage()).left(80));
            return false;
        }
        tokens.push_back({token.getType(), token.getValue(), at, end});
        at = end;
        if (token.getType() == QPDFTokenizer::tt_word && token.getValue() == "BI")
            imageStart = end;
        if (token.getType() == QPDFTokenizer::tt_word && token.getValue() == "ID") {
            const qint64 imageEnd =
                imageStart == 0 ? -1
                                : InlineImage::end(data, data.substr(imageStart, at - 2 - imageStart), at, resources);
            if (imageEnd < 0) {
                error = QStringLiteral("встроенное изображение без конца");
                return false;
            }
            tokens.push_back({QPDFTokenizer::tt_inline_image, std::string(), at, size_t(imageEnd)});
            at = size_t(imageEnd);
            input->seek(imageEnd, SEEK_SET);
            imageStart = 0;
        }
    }
    if (at != data.size()) {
        error = QStringLiteral("содержимое страницы не читается до конца");
        return false;
    }
    return true;
}

bool isNumber(const Token& t)
{
    return t.type == QPDFTokenizer::tt_integer || t.type == QPDFTokenizer::tt_real;
}

double numberOf(const Token& t)
{
    bool ok = false;
    const double value = QByteArray::fromStdString(t.value).toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

std::string applied(const StreamWork& work)
{
    std::vector<Splice> splices = work.splices;
    std::sort(splices.begin(), splices.end(), [](const Splice& a, const Splice& b) { return a.start < b.start; });
    std::string out;
    size_t at = 0;
    for (const Splice& s : splices) {
        out.append(work.data, at, s.start - at);
        out += s.with;
        at = s.end;
    }
    out.append(work.data, at, std::string::npos);
    return out;
}

QPDFObjectHandle inheritedResources(QPDFObjectHandle page)
{
    QPDFObjectHandle node = page;
    // The page and every node above it, as deep as a page is read.
    for (int i = 0; i <= kMaxPageTreeLevels && node.isDictionary(); ++i) {
        QPDFObjectHandle resources = node.getKey("/Resources");
        if (resources.isDictionary())
            return resources;
        node = node.getKey("/Parent");
    }
    return QPDFObjectHandle::newDictionary();
}

std::set<QPDFObjGen> streamsOfOtherPages(QPDF& pdf, QPDFObjectHandle page)
{
    std::set<QPDFObjGen> streams;
    for (QPDFObjectHandle other : pdf.getAllPages()) {
        if (other.getObjGen() == page.getObjGen())
            continue;
        QPDFObjectHandle contents = other.getKey("/Contents");
        const std::vector<QPDFObjectHandle> items =
            contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents};
        for (const QPDFObjectHandle& item : items)
            if (item.isIndirect())
                streams.insert(item.getObjGen());
    }
    return streams;
}

bool ContentStreamEditor::leavesTextState(QPDFObjectHandle page)
{
    static const std::set<std::string> kTextState = {"Tz", "Tc", "Tw", "Ts", "TL", "Tr"};
    try {
        QPDFObjectHandle contents = page.getKey("/Contents");
        const std::vector<QPDFObjectHandle> items =
            contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents};
        int depth = 0;  // the streams are one content: q/Q pairs may span them
        for (const QPDFObjectHandle& item : items) {
            std::string data;
            std::vector<Token> tokens;
            QString error;
            if (!readDecodedStream(item, size_t(kMaxStreamBytes), &data) ||
                !tokenize(data, tokens, error, inheritedResources(page)))
                return true;
            for (const Token& token : tokens) {
                if (token.type != QPDFTokenizer::tt_word)
                    continue;
                if (token.value == "q")
                    ++depth;
                else if (token.value == "Q")
                    depth = std::max(depth - 1, 0);
                else if (depth == 0 && kTextState.count(token.value))
                    return true;
            }
        }
        return false;
    } catch (const std::exception&) {
        return true;
    }
}

}  // namespace pdfengine
