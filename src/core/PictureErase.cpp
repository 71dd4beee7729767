#include "PictureErase.h"

#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <memory>
#include <vector>

namespace pdfengine {

namespace {

constexpr int kRing = 6;        // pixels around the masked ones whose values give the background
constexpr int kBlock = DCTSIZE; // a JPEG block's side
constexpr int kBlockArea = DCTSIZE2;
constexpr int kCentre = 128;    // JPEG level shift of 8-bit samples

// The middle of continuous samples; the commonest of palette indices or few levels.
int backgroundOf(std::vector<int>& values, bool commonest)
{
    if (values.empty())
        return -1;
    if (!commonest) {
        const auto middle = values.begin() + qsizetype(values.size() / 2);
        std::nth_element(values.begin(), middle, values.end());
        return *middle;
    }
    std::sort(values.begin(), values.end());
    int best = values.front(), bestCount = 0;
    for (size_t i = 0; i < values.size();) {
        size_t j = i;
        while (j < values.size() && values[j] == values[i])
            ++j;
        if (int(j - i) > bestCount)
            best = values[i], bestCount = int(j - i);
        i = j;
    }
    return best;
}

// ---- JPEG ----

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jpegFailed(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

void jpegQuiet(j_common_ptr, int) {}

// Both ends of a JPEG rewrite and the bytes written, owned on the heap so
// that a jump out of libjpeg leaves nothing of the caller's frame changed.
struct JpegRewrite {
    JpegError failure;
    jpeg_decompress_struct in{};
    jpeg_compress_struct out{};
    bool inMade = false;
    bool outMade = false;
    unsigned char* written = nullptr;
    unsigned long writtenSize = 0;

    JpegRewrite() = default;
    JpegRewrite(const JpegRewrite&) = delete;
    JpegRewrite& operator=(const JpegRewrite&) = delete;
    ~JpegRewrite()
    {
        if (outMade)
            jpeg_destroy_compress(&out);
        if (inMade)
            jpeg_destroy_decompress(&in);
        std::free(written);
    }
};

// cos((2x + 1) u pi / 16) scaled by C(u) / 2, the factors of the 8-point DCT.
const std::array<std::array<double, kBlock>, kBlock>& dctBasis()
{
    static const auto basis = [] {
        std::array<std::array<double, kBlock>, kBlock> b{};
        for (int u = 0; u < kBlock; ++u)
            for (int x = 0; x < kBlock; ++x)
                b[size_t(u)][size_t(x)] = (u == 0 ? std::sqrt(0.5) : 1.0) / 2 *
                                          std::cos((2 * x + 1) * u * M_PI / (2 * kBlock));
        return b;
    }();
    return basis;
}

// A block's samples (level-shifted back) from its quantised coefficients.
std::array<double, kBlockArea> blockSamples(const JCOEF* block, const UINT16* quant)
{
    const auto& c = dctBasis();
    std::array<double, kBlockArea> f{};
    for (int y = 0; y < kBlock; ++y)
        for (int x = 0; x < kBlock; ++x) {
            double sum = 0;
            for (int v = 0; v < kBlock; ++v)
                for (int u = 0; u < kBlock; ++u) {
                    const int k = v * kBlock + u;
                    if (block[k])
                        sum += c[size_t(v)][size_t(y)] * c[size_t(u)][size_t(x)] * block[k] * quant[k];
                }
            f[size_t(y * kBlock + x)] = sum + kCentre;
        }
    return f;
}

// Quantised coefficients of a block's samples.
void codeBlock(const std::array<double, kBlockArea>& f, const UINT16* quant, JCOEF* block)
{
    const auto& c = dctBasis();
    for (int v = 0; v < kBlock; ++v)
        for (int u = 0; u < kBlock; ++u) {
            double sum = 0;
            for (int y = 0; y < kBlock; ++y)
                for (int x = 0; x < kBlock; ++x)
                    sum += c[size_t(v)][size_t(y)] * c[size_t(u)][size_t(x)] * (f[size_t(y * kBlock + x)] - kCentre);
            const int k = v * kBlock + u;
            block[k] = JCOEF(std::lround(sum / std::max<int>(quant[k], 1)));
        }
}

// One component of a JPEG: its blocks and how its samples cover the picture.
class JpegPlane {
public:
    JpegPlane(j_decompress_ptr info, jvirt_barray_ptr array, const jpeg_component_info& component)
        : m_info(info), m_array(array), m_component(component),
          m_stepX(info->max_h_samp_factor / std::max(component.h_samp_factor, 1)),
          m_stepY(info->max_v_samp_factor / std::max(component.v_samp_factor, 1)),
          m_width(int((info->image_width * unsigned(component.h_samp_factor) + unsigned(info->max_h_samp_factor) - 1) /
                      unsigned(info->max_h_samp_factor))),
          m_height(int((info->image_height * unsigned(component.v_samp_factor) + unsigned(info->max_v_samp_factor) - 1) /
                       unsigned(info->max_v_samp_factor)))
    {
    }

    // Whether a sample of this plane covers a masked pixel.
    bool masked(const PixelMask& mask, int sx, int sy) const
    {
        for (int y = sy * m_stepY; y < (sy + 1) * m_stepY; ++y)
            for (int x = sx * m_stepX; x < (sx + 1) * m_stepX; ++x)
                if (mask.contains(x, y))
                    return true;
        return false;
    }

    // The plane's samples that cover the rectangle of picture pixels, in whole blocks.
    QRect blocksOver(const QRect& pixels) const
    {
        const QRect samples(QPoint(pixels.left() / m_stepX, pixels.top() / m_stepY),
                            QPoint(pixels.right() / m_stepX, pixels.bottom() / m_stepY));
        const QRect inside = samples.intersected(QRect(0, 0, m_width, m_height));
        if (inside.isEmpty())
            return {};
        return QRect(QPoint(inside.left() / kBlock, inside.top() / kBlock),
                     QPoint(inside.right() / kBlock, inside.bottom() / kBlock))
            .intersected(QRect(0, 0, int(m_component.width_in_blocks), int(m_component.height_in_blocks)));
    }

    JCOEF* block(int bx, int by)
    {
        JBLOCKARRAY row = (*m_info->mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(m_info), m_array,
                                                              JDIMENSION(by), 1, TRUE);
        return row[0][bx];
    }

    const UINT16* quant() const { return m_component.quant_table ? m_component.quant_table->quantval : nullptr; }

    // The background: the middle of the unmasked samples around the mask.
    int background(const PixelMask& mask)
    {
        const QRect around = mask.bounds.adjusted(-kRing, -kRing, kRing, kRing);
        const QRect blocks = blocksOver(around);
        std::vector<int> values;
        for (int by = blocks.top(); by <= blocks.bottom(); ++by)
            for (int bx = blocks.left(); bx <= blocks.right(); ++bx) {
                const std::array<double, kBlockArea> f = blockSamples(block(bx, by), quant());
                for (int y = 0; y < kBlock; ++y)
                    for (int x = 0; x < kBlock; ++x) {
                        const int sx = bx * kBlock + x, sy = by * kBlock + y;
                        if (sx < m_width && sy < m_height && around.contains(sx * m_stepX, sy * m_stepY) &&
                            !masked(mask, sx, sy))
                            values.push_back(int(std::lround(f[size_t(y * kBlock + x)])));
                    }
            }
        return backgroundOf(values, false);
    }

    // Every block the mask touches coded again with its masked samples at
    // the background; a block wholly masked becomes that flat level.
    void erase(const PixelMask& mask, int level)
    {
        const UINT16* q = quant();
        const QRect blocks = blocksOver(mask.bounds);
        for (int by = blocks.top(); by <= blocks.bottom(); ++by)
            for (int bx = blocks.left(); bx <= blocks.right(); ++bx) {
                int count = 0, inside = 0;
                std::array<bool, kBlockArea> hit{};
                for (int y = 0; y < kBlock; ++y)
                    for (int x = 0; x < kBlock; ++x) {
                        const int sx = bx * kBlock + x, sy = by * kBlock + y;
                        if (sx >= m_width || sy >= m_height)
                            continue;  // padding: never shown
                        ++inside;
                        hit[size_t(y * kBlock + x)] = masked(mask, sx, sy);
                        count += hit[size_t(y * kBlock + x)];
                    }
                if (count == 0)
                    continue;
                JCOEF* coefficients = block(bx, by);
                if (count == inside) {
                    std::fill(coefficients, coefficients + kBlockArea, JCOEF(0));
                    coefficients[0] = JCOEF(std::lround(double(kBlock) * (level - kCentre) / std::max<int>(q[0], 1)));
                    continue;
                }
                std::array<double, kBlockArea> f = blockSamples(coefficients, q);
                for (size_t k = 0; k < f.size(); ++k)
                    if (hit[k])
                        f[k] = level;
                codeBlock(f, q, coefficients);
            }
    }

private:
    j_decompress_ptr m_info;
    jvirt_barray_ptr m_array;
    const jpeg_component_info& m_component;
    int m_stepX;
    int m_stepY;
    int m_width;
    int m_height;
};

bool isSkippedMarker(const jpeg_saved_marker_ptr marker, const jpeg_compress_struct& out)
{
    const auto startsWith = [&](const char* tag, unsigned length) {
        return marker->data_length >= length && std::equal(tag, tag + length, marker->data);
    };
    // The writer puts these in itself.
    return (out.write_JFIF_header && marker->marker == JPEG_APP0 && startsWith("JFIF", 5)) ||
           (out.write_Adobe_marker && marker->marker == JPEG_APP0 + 14 && startsWith("Adobe", 5));
}

}  // namespace

bool PixelMask::contains(int x, int y) const
{
    return bounds.contains(x, y) && bits.constScanLine(y - bounds.top())[x - bounds.left()] != 0;
}

bool eraseJpegPixels(const QByteArray& jpeg, const PixelMask& mask, QByteArray* out, QString* error)
{
    const QString unreadable = QStringLiteral("рисунок не читается");
    constexpr unsigned kMostMarkerBytes = 0xFFFF;
    constexpr int kAppMarkers = 16;
    const auto job = std::make_unique<JpegRewrite>();
    JpegRewrite& j = *job;
    j.in.err = jpeg_std_error(&j.failure.manager);
    j.out.err = &j.failure.manager;
    j.failure.manager.error_exit = jpegFailed;
    j.failure.manager.emit_message = jpegQuiet;
    if (setjmp(j.failure.jump)) {
        *error = unreadable;
        return false;
    }
    jpeg_create_decompress(&j.in);
    j.inMade = true;
    jpeg_mem_src(&j.in, reinterpret_cast<const unsigned char*>(jpeg.constData()), static_cast<unsigned long>(jpeg.size()));
    for (int m = 0; m < kAppMarkers; ++m)
        jpeg_save_markers(&j.in, JPEG_APP0 + m, kMostMarkerBytes);
    jpeg_save_markers(&j.in, JPEG_COM, kMostMarkerBytes);
    jpeg_read_header(&j.in, TRUE);
    if (j.in.data_precision != 8) {
        *error = unreadable;  // only 8-bit samples are coded again here
        return false;
    }
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&j.in);
    for (int c = 0; c < j.in.num_components; ++c) {
        JpegPlane plane(&j.in, arrays[c], j.in.comp_info[c]);
        if (!plane.quant())
            continue;
        const int level = plane.background(mask);
        if (level >= 0)
            plane.erase(mask, std::clamp(level, 0, 255));
    }
    jpeg_create_compress(&j.out);
    j.outMade = true;
    jpeg_mem_dest(&j.out, &j.written, &j.writtenSize);
    jpeg_copy_critical_parameters(&j.in, &j.out);
    j.out.optimize_coding = TRUE;
    jpeg_write_coefficients(&j.out, arrays);
    for (jpeg_saved_marker_ptr marker = j.in.marker_list; marker; marker = marker->next)
        if (!isSkippedMarker(marker, j.out))
            jpeg_write_marker(&j.out, marker->marker, marker->data, marker->data_length);
    jpeg_finish_compress(&j.out);
    jpeg_finish_decompress(&j.in);
    *out = QByteArray(reinterpret_cast<const char*>(j.written), qsizetype(j.writtenSize));
    return true;
}

bool eraseSamples(QByteArray& samples, int width, int height, int components, int bits, bool indexed,
                  const PixelMask& mask)
{
    if (width <= 0 || height <= 0 || components <= 0 || !(bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16))
        return false;
    const qint64 rowBits = qint64(width) * components * bits;
    const qint64 rowBytes = (rowBits + 7) / 8;
    if (samples.size() < rowBytes * height)
        return false;
    auto* data = reinterpret_cast<unsigned char*>(samples.data());
    const int most = (1 << bits) - 1;
    const auto at = [&](int x, int y, int c) -> qint64 { return (qint64(x) * components + c) * bits + y * rowBytes * 8; };
    const auto get = [&](qint64 bit) {
        if (bits == 16)
            return (int(data[bit / 8]) << 8) | data[bit / 8 + 1];
        if (bits == 8)
            return int(data[bit / 8]);
        const int shift = 8 - bits - int(bit % 8);
        return (data[bit / 8] >> shift) & most;
    };
    const auto set = [&](qint64 bit, int value) {
        if (bits == 16) {
            data[bit / 8] = uchar(value >> 8);
            data[bit / 8 + 1] = uchar(value & 0xFF);
        } else if (bits == 8) {
            data[bit / 8] = uchar(value);
        } else {
            const int shift = 8 - bits - int(bit % 8);
            data[bit / 8] = uchar((data[bit / 8] & ~(most << shift)) | ((value & most) << shift));
        }
    };
    const QRect picture(0, 0, width, height);
    const QRect around = mask.bounds.adjusted(-kRing, -kRing, kRing, kRing).intersected(picture);
    const QRect erased = mask.bounds.intersected(picture);
    for (int c = 0; c < components; ++c) {
        std::vector<int> values;
        for (int y = around.top(); y <= around.bottom(); ++y)
            for (int x = around.left(); x <= around.right(); ++x)
                if (!mask.contains(x, y))
                    values.push_back(get(at(x, y, c)));
        const int level = backgroundOf(values, indexed || bits < 8);
        if (level < 0)
            continue;
        for (int y = erased.top(); y <= erased.bottom(); ++y)
            for (int x = erased.left(); x <= erased.right(); ++x)
                if (mask.contains(x, y))
                    set(at(x, y, c), level);
    }
    return true;
}

}  // namespace pdfengine
