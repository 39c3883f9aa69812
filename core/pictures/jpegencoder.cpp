#include "core/pictures/jpegencoder.h"

#include <QColorSpace>
#include <QtAlgorithms>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include <jpeglib.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#ifdef __SSE__
#include <xmmintrin.h>
#endif

namespace jpegencoder {

namespace {

// How much a bit is worth in squared error (of coefficients in the units of
// the quantisation tables), per step of the luminance DC quantiser squared:
// it follows the quality setting, so that a high quality keeps nearly every
// coefficient. Chroma coefficients save fewer bits for the error they add, so
// a bit of theirs is worth less (both measured with bench/quality.sh: at quality
// 75, 4 to 8% smaller files for 0.01 to 0.03 dB).
constexpr float BitCost = 0.06f;
constexpr float ChromaBitCost = 0.03f;

// The zig-zag order of the 64 coefficients of a block (natural indexes).
constexpr int ZigZag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                            12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                            35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                            58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
// The zig-zag position of each natural index.
constexpr int ZigZagPosition[64] = {0,  1,  5,  6,  14, 15, 27, 28, 2,  4,  7,  13, 16, 26, 29, 42,
                                    3,  8,  12, 17, 25, 30, 41, 43, 9,  11, 18, 24, 31, 40, 44, 53,
                                    10, 19, 23, 32, 39, 45, 52, 54, 20, 22, 33, 38, 46, 51, 55, 60,
                                    21, 34, 37, 47, 50, 56, 59, 61, 35, 36, 48, 49, 57, 58, 62, 63};

// The 8-point DCT of Arai, Agui and Nakajima (5 multiplications), in place;
// output k comes out scaled by 8 * Scale[k] / sqrt(8) (folded into the
// quantiser). T is float or a vector of floats, so that one call transforms
// several columns at once.
template <typename T> void aan(T* d, int stride)
{
    const T t0 = d[0] + d[7 * stride], t7 = d[0] - d[7 * stride];
    const T t1 = d[stride] + d[6 * stride], t6 = d[stride] - d[6 * stride];
    const T t2 = d[2 * stride] + d[5 * stride], t5 = d[2 * stride] - d[5 * stride];
    const T t3 = d[3 * stride] + d[4 * stride], t4 = d[3 * stride] - d[4 * stride];
    // even part
    const T e0 = t0 + t3, e3 = t0 - t3, e1 = t1 + t2, e2 = t1 - t2;
    d[0] = e0 + e1;
    d[4 * stride] = e0 - e1;
    const T z1 = (e2 + e3) * 0.707106781f;
    d[2 * stride] = e3 + z1;
    d[6 * stride] = e3 - z1;
    // odd part
    const T o0 = t4 + t5, o1 = t5 + t6, o2 = t6 + t7;
    const T z5 = (o0 - o2) * 0.382683433f;
    const T z2 = o0 * 0.541196100f + z5;
    const T z4 = o2 * 1.306562965f + z5;
    const T z3 = o1 * 0.707106781f;
    const T z11 = t7 + z3, z13 = t7 - z3;
    d[5 * stride] = z13 + z2;
    d[3 * stride] = z13 - z2;
    d[stride] = z11 + z4;
    d[7 * stride] = z11 - z4;
}

// The scale of output k of aan(): sqrt(2) cos(k pi / 16), 1 for k = 0.
float aanScale(int k)
{
    return k == 0 ? 1.0f : float(std::sqrt(2.0) * std::cos(k * M_PI / 16));
}

typedef float Floats4 __attribute__((vector_size(16)));

// The 2-D DCT of a block of 64 samples (rows of 8), in place, scaled as aan().
void forwardDct(float* block)
{
    for (int half = 0; half < 8; half += 4) { // down the columns, four at a time
        Floats4 column[8];
        for (int y = 0; y < 8; ++y)
            std::memcpy(&column[y], block + 8 * y + half, sizeof(Floats4));
        aan(column, 1);
        for (int y = 0; y < 8; ++y)
            std::memcpy(block + 8 * y + half, &column[y], sizeof(Floats4));
    }
#ifdef __SSE__
    // Along the rows: the block turned a quarter, four columns at a time
    // again, and turned back (the same arithmetic, in vectors).
    __m128 m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = _mm_loadu_ps(block + 4 * i);
    // m[2y + h] holds row y, columns 4h..4h+3; quadrant (r, c) of the block is
    // rows 4r.., columns 4c.. .
    const auto transposeQuadrant = [&m](int r, int c, __m128* out) {
        __m128 a = m[2 * (4 * r) + c], b = m[2 * (4 * r + 1) + c], d = m[2 * (4 * r + 2) + c],
               e = m[2 * (4 * r + 3) + c];
        _MM_TRANSPOSE4_PS(a, b, d, e);
        out[0] = a;
        out[1] = b;
        out[2] = d;
        out[3] = e;
    };
    Floats4 rows[2][8]; // rows[h][x]: column x of the block, rows 4h..4h+3
    for (int h = 0; h < 2; ++h) {
        for (int c = 0; c < 2; ++c) {
            __m128 q[4];
            transposeQuadrant(h, c, q);
            for (int i = 0; i < 4; ++i)
                std::memcpy(&rows[h][4 * c + i], &q[i], sizeof(Floats4));
        }
        aan(rows[h], 1);
    }
    for (int h = 0; h < 2; ++h) {
        for (int c = 0; c < 2; ++c) {
            __m128 a, b, d, e;
            std::memcpy(&a, &rows[h][4 * c], sizeof a);
            std::memcpy(&b, &rows[h][4 * c + 1], sizeof b);
            std::memcpy(&d, &rows[h][4 * c + 2], sizeof d);
            std::memcpy(&e, &rows[h][4 * c + 3], sizeof e);
            _MM_TRANSPOSE4_PS(a, b, d, e);
            // now rows 4h..4h+3, columns 4c..4c+3
            _mm_storeu_ps(block + 8 * (4 * h) + 4 * c, a);
            _mm_storeu_ps(block + 8 * (4 * h + 1) + 4 * c, b);
            _mm_storeu_ps(block + 8 * (4 * h + 2) + 4 * c, d);
            _mm_storeu_ps(block + 8 * (4 * h + 3) + 4 * c, e);
        }
    }
#else
    for (int y = 0; y < 8; ++y) // along the rows
        aan(block + 8 * y, 1);
#endif
}

// A plane of samples, level-shifted (-128..127); reading past its edges
// repeats the edge, as libjpeg pads partial blocks.
struct Plane
{
    int width = 0;
    int height = 0;
    std::vector<float> samples;

    void reset(int w, int h)
    {
        width = w;
        height = h;
        samples.assign(size_t(w) * size_t(h), 0.0f);
    }
    float* line(int y) { return &samples[size_t(y) * width]; }
    const float* line(int y) const { return &samples[size_t(std::min(y, height - 1)) * width]; }
};

// One component's quantisation: the table, and what coding a coefficient costs.
struct Quantiser
{
    float square[64];  // the steps squared
    float inverse[64]; // from the output of forwardDct() to steps
    float lambda = 0;  // squared error a bit is worth
    // Bits of an AC coefficient of `size` (1..11) bits after `run` (0..62)
    // zeros, with the code lengths of the standard tables.
    unsigned char bits[63][12];
};

void setUp(Quantiser* q, const JQUANT_TBL* table, const JHUFF_TBL* ac, float lambda)
{
    for (int k = 0; k < 64; ++k) {
        const float step = table->quantval[k];
        q->square[k] = step * step;
        q->inverse[k] = 1.0f / (step * 8 * aanScale(k / 8) * aanScale(k % 8));
    }
    q->lambda = lambda;
    int length[256];
    std::fill(std::begin(length), std::end(length), 16);
    int symbol = 0;
    for (int l = 1; l <= 16; ++l) {
        for (int n = 0; n < ac->bits[l]; ++n)
            length[ac->huffval[symbol++]] = l;
    }
    for (int run = 0; run < 63; ++run)
        for (int size = 0; size < 12; ++size) // runs of 16 zeros go as a symbol of their own
            q->bits[run][size] =
                (unsigned char)(run / 16 * length[0xf0] + length[(run % 16) << 4 | size] + size);
}

int bitSize(int value)
{
    return 32 - qCountLeadingZeroBits(quint32(std::abs(value)));
}

// Bit i of RowInZigZag[r][bits] is set when the natural index 8 r + b of a
// set bit b of `bits` has zig-zag position i.
struct ZigZagMasks
{
    quint64 row[8][256];
    ZigZagMasks()
    {
        for (int r = 0; r < 8; ++r)
            for (int bits = 0; bits < 256; ++bits) {
                quint64 mask = 0;
                for (int b = 0; b < 8; ++b)
                    if (bits & (1 << b))
                        mask |= quint64(1) << ZigZagPosition[8 * r + b];
                row[r][bits] = mask;
            }
    }
};
const ZigZagMasks RowInZigZag;

// The zig-zag positions of the AC coefficients of `block` that are not 0, as bits.
quint64 nonzeroAc(const JCOEF* block)
{
    quint64 zigzag = 0;
    for (int r = 0; r < 8; ++r) {
        int bits = 0;
#ifdef __SSE2__
        const __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * r));
        const __m128i zero = _mm_setzero_si128();
        bits = ~_mm_movemask_epi8(_mm_packs_epi16(_mm_cmpeq_epi16(row, zero), zero)) & 0xff;
#else
        for (int b = 0; b < 8; ++b)
            bits |= int(block[8 * r + b] != 0) << b;
#endif
        zigzag |= RowInZigZag.row[r][bits];
    }
    return zigzag & ~quint64(1);
}

int highestBit(quint64 bits)
{
    return 63 - qCountLeadingZeroBits(bits);
}

// Quantises one block of coefficients: rounding to the nearest step, then,
// from the end of the block backwards, dropping a lone +-1 when the bits it
// costs are worth more than the error it saves.
void quantise(const float coef[64], const Quantiser& q, JCOEF* out)
{
    float steps[64];
    int rounded[64];
    for (int k = 0; k < 64; ++k) {
        steps[k] = coef[k] * q.inverse[k];
        rounded[k] = int(steps[k] + std::copysign(0.5f, steps[k])); // halves away from zero
    }
    for (int k = 0; k < 64; ++k)
        out[k] = JCOEF(rounded[k]);
    quint64 left = nonzeroAc(out);
    int next = 64; // the position of the next coefficient kept, 64 for none
    while (left) {
        const int i = highestBit(left);
        left &= ~(quint64(1) << i);
        const int k = ZigZag[i];
        if (out[k] == 1 || out[k] == -1) {
            const int runBefore = i - (left ? highestBit(left) : 0) - 1;
            float saved = q.bits[runBefore][1];
            if (next < 64) { // the next coefficient's run grows by this one's and its own
                const int size = bitSize(out[ZigZag[next]]);
                const int runAfter = next - i - 1;
                saved += float(q.bits[runAfter][size] - q.bits[runBefore + 1 + runAfter][size]);
            }
            const float added = q.square[k] * (2 * std::fabs(steps[k]) - 1); // error(0) - error(1)
            if (added < q.lambda * saved) {
                out[k] = 0;
                continue;
            }
        }
        next = i;
    }
}

// The picture as libjpeg should see it: Grayscale8 for grey, else 32-bit RGB.
QImage normalised(const QImage& image, bool* grey)
{
    switch (image.format()) {
    case QImage::Format_Grayscale8:
        *grey = true;
        return image;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        *grey = image.allGray();
        return image.convertToFormat(*grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        *grey = false;
        return image; // the colour channels as they are; alpha is not looked at
    default:
        *grey = false;
        return image.convertToFormat(QImage::Format_RGB32);
    }
}

// The chroma planes, at half the width and height. The halving filter is the
// least-squares inverse of the triangle interpolation decoders use to bring
// chroma back to full size (libjpeg's "fancy upsampling"), so that what a
// decoder shows comes as close to the picture's colours as 4:2:0 allows. Its
// weights fall by a factor of three from tap to tap; four a side are kept.
// Sample i of the result weighs even samples 2i, 2i-2, ... and odd samples
// 2i+1, 2i+3, ... of the source alike.
constexpr int HalvingTaps = 4;
constexpr float HalvingWeight[HalvingTaps] = {27 / 40.f, -9 / 40.f, 3 / 40.f, -1 / 40.f};

// Halves a line given as its even and its odd samples, each with HalvingTaps
// - 1 edge samples repeated before and after.
void halveLine(const float* even, const float* odd, int count, float* out)
{
    for (int i = 0; i < count; ++i) {
        float sum = 0;
        for (int t = 0; t < HalvingTaps; ++t)
            sum += HalvingWeight[t] * (even[i - t] + odd[i + t]);
        out[i] = sum;
    }
}

void chroma(const QImage& image, Plane* cb, Plane* cr)
{
    const int w = image.width(), h = image.height();
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    constexpr int pad = HalvingTaps - 1;
    cb->reset(cw, ch);
    cr->reset(cw, ch);
    // Lines halved in width, the last Ring of them, made as they are needed.
    constexpr int Ring = 16;
    Plane wideCb, wideCr;
    wideCb.reset(cw, Ring);
    wideCr.reset(cw, Ring);
    std::vector<float> split(4 * size_t(cw + 2 * pad)); // even and odd Cb, even and odd Cr
    float* even[2] = {&split[pad], &split[size_t(cw + 2 * pad) + pad]};
    float* odd[2] = {&split[2 * size_t(cw + 2 * pad) + pad],
                     &split[3 * size_t(cw + 2 * pad) + pad]};
    const auto widen = [&](int y) {
        const QRgb* p = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        const auto convert = [](QRgb c, float* cbAt, float* crAt) {
            const float r = qRed(c), g = qGreen(c), b = qBlue(c);
            *cbAt = -0.168736f * r - 0.331264f * g + 0.5f * b;
            *crAt = 0.5f * r - 0.418688f * g - 0.081312f * b;
        };
        for (int i = 0; i < w / 2; ++i) {
            convert(p[2 * i], even[0] + i, even[1] + i);
            convert(p[2 * i + 1], odd[0] + i, odd[1] + i);
        }
        if (w % 2)
            convert(p[w - 1], even[0] + cw - 1, even[1] + cw - 1);
        for (int c = 0; c < 2; ++c) {
            if (w % 2) // the last odd sample lies beyond the edge: the edge repeats
                odd[c][cw - 1] = even[c][cw - 1];
            for (int t = 1; t <= pad; ++t) {
                even[c][-t] = even[c][0];
                odd[c][cw - 1 + t] = odd[c][cw - 1];
            }
        }
        halveLine(even[0], odd[0], cw, wideCb.line(y % Ring));
        halveLine(even[1], odd[1], cw, wideCr.line(y % Ring));
    };
    int made = 0;
    for (int i = 0; i < ch; ++i) {
        for (; made <= std::min(2 * i + 2 * pad + 1, h - 1); ++made)
            widen(made);
        for (int c = 0; c < 2; ++c) {
            const Plane& wide = c == 0 ? wideCb : wideCr;
            float* dst = (c == 0 ? cb : cr)->line(i);
            std::fill(dst, dst + cw, 0.0f);
            for (int t = 0; t < HalvingTaps; ++t) {
                const float* up = wide.line(std::max(2 * i - 2 * t, 0) % Ring);
                const float* down = wide.line(std::min(2 * i + 1 + 2 * t, h - 1) % Ring);
                for (int x = 0; x < cw; ++x)
                    dst[x] += HalvingWeight[t] * (up[x] + down[x]);
            }
            for (int x = 0; x < cw; ++x)
                dst[x] = std::clamp(dst[x], -128.0f, 127.0f);
        }
    }
}

// Luminance of 8 rows from `top`, level-shifted, into `rows` (width rounded
// up to whole blocks, edges repeated).
void luminance(const QImage& image, bool grey, int top, int paddedWidth, float* rows)
{
    const int w = image.width(), h = image.height();
    for (int j = 0; j < 8; ++j) {
        const int y = std::min(top + j, h - 1);
        float* out = rows + size_t(j) * paddedWidth;
        if (grey) {
            const uchar* p = image.constScanLine(y);
            for (int x = 0; x < w; ++x)
                out[x] = float(p[x]) - 128.0f;
        } else {
            const QRgb* p = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < w; ++x)
                out[x] =
                    0.299f * qRed(p[x]) + 0.587f * qGreen(p[x]) + 0.114f * qBlue(p[x]) - 128.0f;
        }
        std::fill(out + w, out + paddedWidth, out[w - 1]);
    }
}

// Transforms and quantises one row of blocks of samples (8 rows of
// `stride` floats) into `blocks`.
void blockRow(const Quantiser& q, const float* const rows[8], int count, JBLOCKROW blocks)
{
    float block[64];
    for (int b = 0; b < count; ++b) {
        for (int y = 0; y < 8; ++y)
            std::memcpy(block + 8 * y, rows[y] + 8 * b, 8 * sizeof(float));
        forwardDct(block);
        quantise(block, q, blocks[b]);
    }
}

// Progressive scans, by spectral selection only (successive approximation
// costs more time than it saves bytes): each scan gets Huffman tables of its
// own, which fit the DC terms and the low, middle and high frequencies of
// luminance better than one table for all; 4 to 5% smaller than one scan.
constexpr jpeg_scan_info ColourScans[] = {
    {1, {0}, 0, 0, 0, 0},   {2, {1, 2}, 0, 0, 0, 0}, {1, {0}, 1, 2, 0, 0},  {1, {0}, 3, 9, 0, 0},
    {1, {0}, 10, 63, 0, 0}, {1, {1}, 1, 63, 0, 0},   {1, {2}, 1, 63, 0, 0},
};
constexpr jpeg_scan_info GreyScans[] = {
    {1, {0}, 0, 0, 0, 0},
    {1, {0}, 1, 2, 0, 0},
    {1, {0}, 3, 9, 0, 0},
    {1, {0}, 10, 63, 0, 0},
};

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    unsigned char* memory = nullptr; // the destination's buffer; here so it survives a jump
    unsigned long size = 0;
};

[[noreturn]] void fail(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void quiet(j_common_ptr) {}

} // namespace

bool encode(const QImage& input, int quality, QByteArray* out)
{
    out->clear();
    bool grey = false;
    const QImage image = input.isNull() ? QImage() : normalised(input, &grey);
    if (image.isNull() || image.width() > JPEG_MAX_DIMENSION || image.height() > JPEG_MAX_DIMENSION)
        return false;
    const int w = image.width(), h = image.height();
    Plane cb, cr;
    if (!grey)
        chroma(image, &cb, &cr);
    const int paddedWidth = (w + 7) / 8 * 8;
    std::vector<float> lumaRows(size_t(paddedWidth) * 8);
    std::vector<float> chromaRows(size_t(cb.width + 8) * 8);
    // A colour profile goes with colour pictures only (a grey JPEG has one channel).
    const QByteArray icc =
        !grey && image.colorSpace().isValid() ? image.colorSpace().iccProfile() : QByteArray();
    Quantiser quantisers[2];

    jpeg_compress_struct cinfo{};
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = fail;
    err.pub.output_message = quiet;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(err.memory);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &err.memory, &err.size);
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality < 0 ? 75 : std::min(quality, 100), TRUE);
    cinfo.optimize_coding = TRUE;
    cinfo.scan_info = grey ? GreyScans : ColourScans;
    cinfo.num_scans = grey ? int(std::size(GreyScans)) : int(std::size(ColourScans));
    if (input.dotsPerMeterX() > 0 && input.dotsPerMeterY() > 0) {
        cinfo.density_unit = 1; // dots per inch
        cinfo.X_density = UINT16(std::lround(input.dotsPerMeterX() * 0.0254));
        cinfo.Y_density = UINT16(std::lround(input.dotsPerMeterY() * 0.0254));
    }
    const float dc = cinfo.quant_tbl_ptrs[0]->quantval[0];
    for (int t = 0; t < (grey ? 1 : 2); ++t) {
        setUp(&quantisers[t], cinfo.quant_tbl_ptrs[t], cinfo.ac_huff_tbl_ptrs[t],
              (t == 0 ? BitCost : ChromaBitCost) * dc * dc);
    }

    jvirt_barray_ptr arrays[3];
    // Whole MCUs: libjpeg reads the rows of blocks below the picture that
    // complete the last one (the columns beyond it, it makes up itself).
    int blocksWide[3], blocksHigh[3];
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        const int cw = c == 0 ? w : cb.width, ch = c == 0 ? h : cb.height;
        blocksWide[c] = (cw + 7) / 8;
        blocksHigh[c] =
            ((ch + 7) / 8 + comp.v_samp_factor - 1) / comp.v_samp_factor * comp.v_samp_factor;
        // Not cleared: every block libjpeg reads is written below.
        arrays[c] = (*cinfo.mem->request_virt_barray)(
            reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, FALSE,
            JDIMENSION((blocksWide[c] + comp.h_samp_factor - 1) / comp.h_samp_factor *
                       comp.h_samp_factor),
            JDIMENSION(blocksHigh[c]), JDIMENSION(comp.v_samp_factor));
    }
    (*cinfo.mem->realize_virt_arrays)(reinterpret_cast<j_common_ptr>(&cinfo));
    for (int c = 0; c < cinfo.num_components; ++c) {
        const Quantiser& q = quantisers[c == 0 ? 0 : 1];
        const Plane& plane = c == 1 ? cb : cr;
        const int stride = c == 0 ? paddedWidth : blocksWide[c] * 8;
        float* buffer = c == 0 ? lumaRows.data() : chromaRows.data();
        for (int by = 0; by < blocksHigh[c]; ++by) {
            if (c == 0) {
                luminance(image, grey, 8 * by, paddedWidth, buffer);
            } else {
                for (int j = 0; j < 8; ++j) {
                    const float* line = plane.line(8 * by + j);
                    float* dst = buffer + size_t(j) * stride;
                    std::copy(line, line + plane.width, dst);
                    std::fill(dst + plane.width, dst + stride, line[plane.width - 1]);
                }
            }
            const float* rows[8];
            for (int j = 0; j < 8; ++j)
                rows[j] = buffer + size_t(j) * stride;
            JBLOCKARRAY blocks = (*cinfo.mem->access_virt_barray)(
                reinterpret_cast<j_common_ptr>(&cinfo), arrays[c], JDIMENSION(by), 1, TRUE);
            blockRow(q, rows, blocksWide[c], blocks[0]);
        }
    }
    jpeg_write_coefficients(&cinfo, arrays);
    if (!icc.isEmpty()) {
        jpeg_write_icc_profile(&cinfo, reinterpret_cast<const JOCTET*>(icc.constData()),
                               unsigned(icc.size()));
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    *out = QByteArray(reinterpret_cast<const char*>(err.memory), qsizetype(err.size));
    std::free(err.memory);
    return true;
}

} // namespace jpegencoder
