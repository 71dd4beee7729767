#include "InlineImage.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <exception>
#include <limits>
#include <memory>
#include <optional>

namespace pdfengine {

namespace {

// Tokens read past the data while looking for EI before the image is called endless.
constexpr int kMostTokensBeforeEI = 1 << 16;

bool isWhite(char c)
{
    return c == '\0' || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

QPDFObjectHandle entry(QPDFObjectHandle dictionary, const char* key, const char* shortKey)
{
    QPDFObjectHandle value = dictionary.getKey(key);
    return value.isNull() ? dictionary.getKey(shortKey) : value;
}

// Components of a device space by its name, abbreviated or not; 0 for another name.
int deviceComponents(const std::string& name)
{
    if (name == "/DeviceGray" || name == "/G")
        return 1;
    if (name == "/DeviceRGB" || name == "/RGB")
        return 3;
    return name == "/DeviceCMYK" || name == "/CMYK" ? 4 : 0;
}

int familyComponents(const std::string& family)
{
    if (const int count = deviceComponents(family))
        return count;
    if (family == "/CalGray" || family == "/Indexed" || family == "/I" || family == "/Separation" ||
        family == "/Pattern")
        return 1;
    return 3;  // CalRGB, Lab, and what pdfium cannot read
}

int spaceComponents(QPDFObjectHandle space)
{
    if (space.isName())
        return familyComponents(space.getName());
    if (!space.isArray() || space.getArrayNItems() < 1 || !space.getArrayItem(0).isName())
        return 3;
    const std::string family = space.getArrayItem(0).getName();
    QPDFObjectHandle second = space.getArrayNItems() > 1 ? space.getArrayItem(1) : QPDFObjectHandle::newNull();
    if (family == "/ICCBased") {
        QPDFObjectHandle n = second.isStream() ? second.getDict().getKey("/N") : QPDFObjectHandle::newNull();
        const long long count = n.isInteger() ? n.getIntValue() : 0;
        return count == 1 || count == 3 || count == 4 ? int(count) : 3;
    }
    if (family == "/DeviceN")
        return second.isArray() && second.getArrayNItems() > 0 ? second.getArrayNItems() : 3;
    return familyComponents(family);
}

// pdfium reads a number as an int, and a size as that int unsigned.
quint64 unsignedInt(QPDFObjectHandle value)
{
    const double number = value.isNumber() ? value.getNumericValue() : 0.0;
    return quint64(quint32(qint32(std::clamp(number, -2147483648.0, 2147483647.0))));
}

// The unfiltered data's length: rows of width x components x bits, each
// rounded up to a byte. No colour space (a mask, or a name the resources
// lack) is one bit of one component. Empty where pdfium finds no length
// (a size past 32 bits), and reads no data.
std::optional<quint64> dataLength(QPDFObjectHandle image, QPDFObjectHandle resources)
{
    QPDFObjectHandle space = entry(image, "/ColorSpace", "/CS");
    if (space.isName() && deviceComponents(space.getName()) == 0) {
        QPDFObjectHandle named = resources.isDictionary() ? resources.getKey("/ColorSpace") : resources;
        space = named.isDictionary() ? named.getKey(space.getName()) : QPDFObjectHandle::newNull();
    }
    quint64 bits = 1, components = 1;
    if (!space.isNull()) {
        components = quint64(spaceComponents(space));
        bits = unsignedInt(entry(image, "/BitsPerComponent", "/BPC"));
    }
    constexpr quint64 kLargest = std::numeric_limits<quint32>::max();
    const quint64 width = unsignedInt(entry(image, "/Width", "/W"));
    const quint64 height = unsignedInt(entry(image, "/Height", "/H"));
    if (bits * components > kLargest || (width != 0 && bits * components > (kLargest - 7) / width))
        return std::nullopt;
    const quint64 pitch = (bits * components * width + 7) / 8;
    if (height != 0 && pitch > kLargest / height)
        return std::nullopt;
    return pitch * height;
}

bool unfiltered(QPDFObjectHandle image)
{
    QPDFObjectHandle filter = entry(image, "/Filter", "/F");
    return filter.isNull() || (filter.isArray() && filter.getArrayNItems() == 0);
}

// One past the first EI read as a token from at on, or -1.
qint64 afterOperatorEI(const std::shared_ptr<InputSource>& input, size_t at)
{
    input->seek(qpdf_offset_t(at), SEEK_SET);
    QPDFTokenizer tokenizer;
    tokenizer.allowEOF();
    for (int read = 0; read < kMostTokensBeforeEI; ++read) {
        const QPDFTokenizer::Token token = tokenizer.readToken(input, "content", true);
        if (token.getType() == QPDFTokenizer::tt_bad || token.getType() == QPDFTokenizer::tt_eof)
            return -1;
        if (token.getType() == QPDFTokenizer::tt_word && token.getValue() == "EI")
            return qint64(input->tell());
    }
    return -1;
}

// qpdf's own search: the first EI that content follows.
qint64 searchedEnd(const std::shared_ptr<InputSource>& input, size_t idEnd)
{
    input->seek(qpdf_offset_t(idEnd) + 1, SEEK_SET);
    QPDFTokenizer tokenizer;
    tokenizer.expectInlineImage(input);
    const QPDFTokenizer::Token image = tokenizer.readToken(input, "content", true);
    return image.getType() == QPDFTokenizer::tt_inline_image ? qint64(input->tell()) : -1;
}

}  // namespace

qint64 InlineImage::end(const std::string& content, const std::string& dictionary, size_t idEnd,
                        QPDFObjectHandle resources)
{
    if (idEnd >= content.size())
        return -1;
    try {
        QPDFObjectHandle image = QPDFObjectHandle::parse("<< " + dictionary + " >>", "inline image");
        // Read in place: a page may hold many pictures.
        Buffer buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(content.data())), content.size());
        auto input = std::make_shared<BufferInputSource>("content", &buffer);
        if (!image.isDictionary() || !unfiltered(image))
            return searchedEnd(input, idEnd);
        // One white-space byte ends ID; the data starts after it.
        const size_t start = idEnd + (isWhite(content[idEnd]) ? 1 : 0);
        const std::optional<quint64> length = dataLength(image, resources);
        const size_t dataEnd = length ? size_t(std::min<quint64>(*length, content.size() - start)) + start : start;
        return afterOperatorEI(input, dataEnd);
    } catch (const std::exception&) {
        return -1;
    }
}

}  // namespace pdfengine
