#include "PagePictureRemoval.h"

#include "IncrementalUpdate.h"
#include "PictureErase.h"
#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <QPainter>
#include <QTransform>

#include <functional>
#include <map>
#include <set>
#include <stdexcept>

namespace pdfengine {

namespace {

constexpr int kMaxFormDepth = 8;
constexpr qint64 kMostPicturePixels = qint64(400) * 1000 * 1000;
constexpr size_t kMostDecodedBytes = size_t(1) << 30;

// One drawing of an image XObject: the stream, the name it is drawn by and
// where the picture's unit square lands in the page's user space.
struct DrawnPicture {
    QPDFObjectHandle image;
    std::string name;
    QTransform unitToUser;
    bool onPage = false;  // drawn by the page's own content, not inside a form
};

QTransform matrixOf(std::vector<QPDFObjectHandle> operands, size_t first)
{
    double m[6] = {1, 0, 0, 1, 0, 0};
    for (size_t i = 0; i < 6; ++i) {
        if (first + i >= operands.size() || !operands[first + i].isNumber())
            return {};
        m[i] = operands[first + i].getNumericValue();
    }
    return QTransform(m[0], m[1], m[2], m[3], m[4], m[5]);
}

// Follows q, Q and cm through a content stream to every image it draws,
// into forms as deep as kMaxFormDepth.
class PictureFinder : public QPDFObjectHandle::ParserCallbacks {
public:
    PictureFinder(QPDFObjectHandle resources, const QTransform& ctm, int depth, std::vector<DrawnPicture>& found)
        : m_resources(resources), m_ctm(ctm), m_depth(depth), m_found(found)
    {
    }

    void handleObject(QPDFObjectHandle object) override
    {
        if (!object.isOperator()) {
            m_operands.push_back(object);
            return;
        }
        const std::string op = object.getOperatorValue();
        if (op == "q") {
            m_saved.push_back(m_ctm);
        } else if (op == "Q") {
            if (!m_saved.empty()) {
                m_ctm = m_saved.back();
                m_saved.pop_back();
            }
        } else if (op == "cm" && m_operands.size() == 6) {
            m_ctm = matrixOf(m_operands, 0) * m_ctm;
        } else if (op == "Do" && m_operands.size() == 1 && m_operands[0].isName()) {
            draw(m_operands[0].getName());
        }
        m_operands.clear();
    }

    void handleEOF() override {}

private:
    void draw(const std::string& name)
    {
        QPDFObjectHandle xobjects = m_resources.isDictionary() ? m_resources.getKey("/XObject") : QPDFObjectHandle();
        QPDFObjectHandle xobject = xobjects.isDictionary() ? xobjects.getKey(name) : QPDFObjectHandle();
        if (!xobject.isStream())
            return;
        QPDFObjectHandle dict = xobject.getDict();
        QPDFObjectHandle subtype = dict.getKey("/Subtype");
        if (subtype.isName() && subtype.getName() == "/Image") {
            m_found.push_back({xobject, name, m_ctm, m_depth == 0});
            return;
        }
        if (!subtype.isName() || subtype.getName() != "/Form" || m_depth + 1 >= kMaxFormDepth)
            return;
        QPDFObjectHandle matrix = dict.getKey("/Matrix");
        QTransform formMatrix;
        if (matrix.isArray() && matrix.getArrayNItems() == 6)
            formMatrix = matrixOf(matrix.getArrayAsVector(), 0);
        QPDFObjectHandle resources = dict.getKey("/Resources");
        PictureFinder inner(resources.isDictionary() ? resources : m_resources, formMatrix * m_ctm, m_depth + 1,
                            m_found);
        xobject.parseAsContents(&inner);
    }

    QPDFObjectHandle m_resources;
    QTransform m_ctm;
    int m_depth;
    std::vector<DrawnPicture>& m_found;
    std::vector<QTransform> m_saved;
    std::vector<QPDFObjectHandle> m_operands;
};

// The pictures page pageIndex of bytes draws (object numbers).
bool picturesDrawn(const QByteArray& bytes, int pageIndex, std::set<QPDFObjGen>* drawn, QString* error)
{
    QpdfFile file;
    return file.load(bytes, error) && file.run([&](QPDF& pdf) {
        const std::vector<QPDFObjectHandle>& pages = pdf.getAllPages();
        if (pageIndex < 0 || size_t(pageIndex) >= pages.size())
            return;
        std::vector<DrawnPicture> found;
        PictureFinder finder(QPDFPageObjectHelper(pages[size_t(pageIndex)]).getAttribute("/Resources", false),
                             QTransform(), 0, found);
        QPDFPageObjectHelper(pages[size_t(pageIndex)]).parseContents(&finder);
        for (DrawnPicture& picture : found)
            drawn->insert(picture.image.getObjGen());
    }, error);
}

// How many XObject entries of every page's resources (and of the forms in
// them) name each image.
std::map<QPDFObjGen, int> pictureSlots(QPDF& pdf)
{
    std::map<QPDFObjGen, int> uses;
    std::function<void(QPDFObjectHandle, int, std::set<QPDFObjGen>&)> walk =
        [&](QPDFObjectHandle resources, int depth, std::set<QPDFObjGen>& forms) {
            QPDFObjectHandle xobjects = resources.isDictionary() ? resources.getKey("/XObject") : QPDFObjectHandle();
            if (!xobjects.isDictionary())
                return;
            for (auto item : xobjects.ditems()) {
                QPDFObjectHandle xobject = item.second;
                if (!xobject.isStream())
                    continue;
                QPDFObjectHandle subtype = xobject.getDict().getKey("/Subtype");
                if (subtype.isName() && subtype.getName() == "/Image")
                    ++uses[xobject.getObjGen()];
                else if (subtype.isName() && subtype.getName() == "/Form" && depth < kMaxFormDepth &&
                         forms.insert(xobject.getObjGen()).second)
                    walk(xobject.getDict().getKey("/Resources"), depth + 1, forms);
            }
        };
    for (QPDFObjectHandle page : pdf.getAllPages()) {
        std::set<QPDFObjGen> forms;
        walk(QPDFPageObjectHelper(page).getAttribute("/Resources", false), 0, forms);
    }
    return uses;
}

// The pixels of a w x h picture drawn by unitToUser that lie in the areas.
PixelMask maskOf(const std::vector<QPolygonF>& areas, const QTransform& unitToUser, int width, int height)
{
    bool invertible = false;
    // Pixel (0, 0) is the top-left corner of the picture's unit square.
    const QTransform pixelToUser = QTransform(1.0 / width, 0, 0, -1.0 / height, 0, 1) * unitToUser;
    const QTransform userToPixel = pixelToUser.inverted(&invertible);
    PixelMask mask;
    if (!invertible)
        return mask;
    std::vector<QPolygonF> pixels;
    QRectF reach;
    for (const QPolygonF& area : areas) {
        pixels.push_back(userToPixel.map(area));
        reach = reach.united(pixels.back().boundingRect());
    }
    const QRect bounds = reach.toAlignedRect().intersected(QRect(0, 0, width, height));
    if (bounds.isEmpty())
        return mask;
    QImage bits(bounds.size(), QImage::Format_Grayscale8);
    bits.fill(0);
    QPainter painter(&bits);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.translate(-bounds.topLeft());
    for (const QPolygonF& polygon : pixels)
        painter.drawPolygon(polygon);
    painter.end();
    mask.bounds = bounds;
    mask.bits = bits;
    return mask;
}

std::vector<std::string> filtersOf(QPDFObjectHandle dict)
{
    std::vector<std::string> names;
    QPDFObjectHandle filter = dict.getKey("/Filter");
    if (filter.isName())
        names.push_back(filter.getName());
    else if (filter.isArray())
        for (QPDFObjectHandle item : filter.getArrayAsVector())
            names.push_back(item.isName() ? item.getName() : std::string());
    return names;
}

// Samples per pixel of an image's colour space; 0 when not known.
int componentsOf(QPDFObjectHandle dict, bool* indexed)
{
    *indexed = false;
    if (dict.getKey("/ImageMask").isBool() && dict.getKey("/ImageMask").getBoolValue())
        return 1;
    QPDFObjectHandle space = dict.getKey("/ColorSpace");
    const std::string name = space.isName()    ? space.getName()
                             : space.isArray() && space.getArrayNItems() > 0 && space.getArrayItem(0).isName()
                                 ? space.getArrayItem(0).getName()
                                 : std::string();
    if (name == "/DeviceGray" || name == "/CalGray" || name == "/G" || name == "/Separation")
        return 1;
    if (name == "/DeviceRGB" || name == "/CalRGB" || name == "/Lab" || name == "/RGB")
        return 3;
    if (name == "/DeviceCMYK" || name == "/CMYK")
        return 4;
    if (name == "/Indexed" || name == "/I") {
        *indexed = true;
        return 1;
    }
    if (name == "/ICCBased" && space.getArrayNItems() > 1) {
        QPDFObjectHandle n = space.getArrayItem(1).isStream() ? space.getArrayItem(1).getDict().getKey("/N")
                                                                   : QPDFObjectHandle();
        return n.isInteger() ? int(n.getIntValue()) : 0;
    }
    if (name == "/DeviceN" && space.getArrayNItems() > 1 && space.getArrayItem(1).isArray())
        return space.getArrayItem(1).getArrayNItems();
    return 0;
}

QByteArray bytesOf(const std::shared_ptr<Buffer>& buffer)
{
    return QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()), qsizetype(buffer->getSize()));
}

// The picture's pixels under mask cleared in its own coding; false with the
// reason when its coding cannot be written again here.
bool erasePicture(QPDFObjectHandle image, const PixelMask& mask, QString* error)
{
    QPDFObjectHandle dict = image.getDict();
    const std::vector<std::string> filters = filtersOf(dict);
    if (!filters.empty() && filters.back() == "/DCTDecode") {
        // Filters laid over the JPEG's own bytes are taken off; the JPEG stays a JPEG.
        const QByteArray jpeg = filters.size() == 1 ? bytesOf(image.getRawStreamData())
                                                    : bytesOf(image.getStreamData(qpdf_dl_generalized));
        QByteArray erased;
        if (!eraseJpegPixels(jpeg, mask, &erased, error))
            return false;
        QPDFObjectHandle parms = dict.getKey("/DecodeParms");
        if (parms.isArray())
            parms = parms.getArrayNItems() > 0 ? parms.getArrayItem(parms.getArrayNItems() - 1) : QPDFObjectHandle::newNull();
        image.replaceStreamData(erased.toStdString(), QPDFObjectHandle::newName("/DCTDecode"),
                                parms.isDictionary() ? parms : QPDFObjectHandle::newNull());
        return true;
    }
    for (const std::string& filter : filters)
        if (filter == "/CCITTFaxDecode" || filter == "/CCF" || filter == "/JBIG2Decode" || filter == "/JPXDecode") {
            *error = QStringLiteral("рисунок в кодировке %1 нельзя изменить").arg(QString::fromStdString(filter.substr(1)));
            return false;
        }
    QPDFObjectHandle w = dict.getKey("/Width"), h = dict.getKey("/Height");
    QPDFObjectHandle bpc = dict.getKey("/BitsPerComponent");
    bool indexed = false;
    const int components = componentsOf(dict, &indexed);
    const bool stencil = dict.getKey("/ImageMask").isBool() && dict.getKey("/ImageMask").getBoolValue();
    const int bits = stencil ? 1 : bpc.isInteger() ? int(bpc.getIntValue()) : 0;
    if (!w.isInteger() || !h.isInteger() || components <= 0 || bits <= 0) {
        *error = QStringLiteral("рисунок не читается");
        return false;
    }
    std::string decoded;
    if (!readDecodedStream(image, kMostDecodedBytes, &decoded)) {
        *error = QStringLiteral("рисунок не читается");
        return false;
    }
    QByteArray samples = QByteArray::fromStdString(decoded);
    if (!eraseSamples(samples, int(w.getIntValue()), int(h.getIntValue()), components, bits, indexed, mask)) {
        *error = QStringLiteral("рисунок не читается");
        return false;
    }
    // Written unpacked: the update packs it with Flate.
    image.replaceStreamData(samples.toStdString(), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    return true;
}

// A copy of a picture that is drawn elsewhere too, put in its place in the
// page's own resources; null when the page draws it from inside a form.
QPDFObjectHandle pictureForPage(QPDF& pdf, QPDFObjectHandle page, DrawnPicture& drawn,
                                std::vector<std::pair<int, int>>& changed)
{
    if (!drawn.onPage)
        return {};
    QPDFObjectHandle resources = QPDFPageObjectHelper(page).getAttribute("/Resources", true);
    QPDFObjectHandle xobjects = resources.getKey("/XObject");
    if (!xobjects.isDictionary())
        return {};
    xobjects = xobjects.shallowCopy();
    resources.replaceKey("/XObject", xobjects);
    QPDFObjectHandle copy = QPDFObjectHandle::newStream(&pdf, drawn.image.getRawStreamData());
    copy.replaceDict(drawn.image.getDict().shallowCopy());
    xobjects.replaceKey(drawn.name, copy);
    changed.emplace_back(page.getObjectID(), page.getGeneration());
    return copy;
}

}  // namespace

bool PagePictureRemoval::run(const QByteArray& earlier, const QByteArray& before, int pageIndex,
                             const std::vector<QPolygonF>& areas, const EditAreas& trial, QByteArray* after,
                             int* pictures, QString* error)
{
    *pictures = 0;
    after->clear();
    std::set<QPDFObjGen> earlierPictures;
    if (areas.empty() || !picturesDrawn(earlier, pageIndex, &earlierPictures, error))
        return areas.empty();
    QpdfFile file;
    if (!file.load(before, error))
        return false;
    std::vector<std::pair<int, int>> changed;
    QString failure;
    const bool ran = file.run([&](QPDF& pdf) {
        const std::vector<QPDFObjectHandle>& pages = pdf.getAllPages();
        if (pageIndex < 0 || size_t(pageIndex) >= pages.size()) {
            failure = QStringLiteral("страница не найдена");
            return;
        }
        QPDFObjectHandle page = pages[size_t(pageIndex)];
        std::vector<DrawnPicture> drawn;
        PictureFinder finder(QPDFPageObjectHelper(page).getAttribute("/Resources", false), QTransform(), 0, drawn);
        QPDFPageObjectHelper(page).parseContents(&finder);
        std::map<QPDFObjGen, int> drawings;
        for (DrawnPicture& picture : drawn)
            ++drawings[picture.image.getObjGen()];
        const std::map<QPDFObjGen, int> uses = pictureSlots(pdf);
        for (DrawnPicture& picture : drawn) {
            if (!earlierPictures.count(picture.image.getObjGen()))
                continue;  // drawn by the write itself: a kept word's pixels
            QPDFObjectHandle dict = picture.image.getDict();
            QPDFObjectHandle w = dict.getKey("/Width"), h = dict.getKey("/Height");
            if (!w.isInteger() || !h.isInteger() || w.getIntValue() <= 0 || h.getIntValue() <= 0 ||
                w.getIntValue() * h.getIntValue() > kMostPicturePixels)
                continue;
            const PixelMask mask = maskOf(areas, picture.unitToUser, int(w.getIntValue()), int(h.getIntValue()));
            if (mask.isEmpty())
                continue;
            if (pdf.isEncrypted()) {
                failure = QStringLiteral("файл зашифрован");
                return;
            }
            const QPDFObjGen id = picture.image.getObjGen();
            if (drawings[id] > 1) {
                failure = QStringLiteral("рисунок нарисован на странице не один раз");
                return;
            }
            QPDFObjectHandle image = picture.image;
            const auto use = uses.find(id);
            if (use != uses.end() && use->second > 1) {
                image = pictureForPage(pdf, page, picture, changed);
                if (!image.isStream()) {
                    failure = QStringLiteral("рисунок страницы рисуют и другие страницы");
                    return;
                }
            }
            if (!erasePicture(image, mask, &failure))
                return;
            changed.emplace_back(image.getObjectID(), image.getGeneration());
            ++*pictures;
        }
    }, error);
    if (!ran)
        return false;
    if (!failure.isEmpty()) {
        *error = failure;
        return false;
    }
    if (*pictures == 0)
        return true;
    QByteArray updated;
    if (!IncrementalUpdate::append(file.pdf(), before, changed, &updated, error))
        return false;
    if (!bytesChangeOnlyInside(before, updated, pageIndex, trial, false, error))
        return false;
    *after = updated;
    return true;
}

}  // namespace pdfengine
