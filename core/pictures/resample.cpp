#include "core/pictures/resample.h"

#include <QColorSpace>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace resample {

namespace {

constexpr int Lobes = 3;
constexpr int Shift = 14; // weights in 1/16384
constexpr int Half = 1 << (Shift - 1);

// Which source pixels make each output pixel, and how much: `n` weights
// (an even count, padded with a 0) for the n pixels from `first`.
struct Taps
{
    int n = 0;
    std::vector<int> first;
    std::vector<qint16> weight;
    // For rows: each pair of weights as four copies of (w[k], w[k+1]), in the
    // order the pixels pair up in row().
    std::vector<qint32> pairs;
};

// Two weights side by side as the 16-bit halves of one 32-bit lane (first in
// the low half), as _mm_madd_epi16 takes them.
int paired(qint16 first, qint16 second)
{
    return int(quint32(quint16(first)) | (quint32(quint16(second)) << 16));
}

double lanczos(double x)
{
    x = std::fabs(x);
    if (x < 1e-9)
        return 1;
    if (x >= Lobes)
        return 0;
    const double px = M_PI * x;
    return Lobes * std::sin(px) * std::sin(px / Lobes) / (px * px);
}

// How far from its centre the filter reaches, in source pixels.
double reach(int in, int out)
{
    return Lobes * std::max(1.0, double(in) / out);
}

// How many source pixels make one output pixel, an even count.
int tapCount(int in, int out)
{
    const int used = std::min(in, int(std::ceil(2 * reach(in, out))));
    return used + used % 2;
}

// Output pixel i covers the source around (i + 0.5) * scale - 0.5; when
// shrinking, the filter is stretched by the scale. Beyond the edges the edge
// pixel repeats. The integer weights of each pixel add up to exactly 1, so a
// plain area stays exactly as it was.
Taps taps(int in, int out)
{
    const double scale = double(in) / out;
    const double stretch = std::max(1.0, scale);
    const double support = reach(in, out);
    const int used = std::min(in, int(std::ceil(2 * support)));
    Taps t;
    t.n = tapCount(in, out);
    t.first.resize(out);
    t.weight.assign(size_t(out) * t.n, 0);
    std::vector<double> w(used);
    for (int i = 0; i < out; ++i) {
        const double center = (i + 0.5) * scale - 0.5;
        const int from = int(std::floor(center - support)) + 1;
        const int to = int(std::ceil(center + support)) - 1;
        const int first = std::clamp(from, 0, in - used);
        std::fill(w.begin(), w.end(), 0.0);
        double sum = 0;
        for (int j = from; j <= to; ++j) {
            const double v = lanczos((j - center) / stretch);
            w[std::clamp(j, first, first + used - 1) - first] += v;
            sum += v;
        }
        t.first[i] = first;
        qint16* dst = &t.weight[size_t(i) * t.n];
        int total = 0;
        int largest = 0;
        for (int k = 0; k < used; ++k) {
            dst[k] = qint16(std::lround(w[k] / sum * (1 << Shift)));
            total += dst[k];
            if (w[k] > w[largest])
                largest = k;
        }
        dst[largest] = qint16(dst[largest] + (1 << Shift) - total);
    }
    t.pairs.resize(t.weight.size() * 2);
    for (size_t j = 0; j < t.weight.size() / 2; ++j)
        std::fill_n(&t.pairs[4 * j], 4, paired(t.weight[2 * j], t.weight[2 * j + 1]));
    return t;
}

uchar clamped(int sum)
{
    return uchar(std::clamp(sum >> Shift, 0, 255));
}

// out[x] = sum over k of w[k] * rows[k][x], for `len` bytes from `x`; n is even.
void columnsFrom(int x, const uchar* const* rows, const qint16* w, int n, int len, uchar* out)
{
#ifdef __SSE2__
    // Two source rows at a time: their bytes interleaved as 16-bit pairs, so
    // that one multiply-add applies both weights.
    const __m128i zero = _mm_setzero_si128();
    for (; x + 16 <= len; x += 16) {
        __m128i a0 = _mm_set1_epi32(Half), a1 = a0, a2 = a0, a3 = a0;
        for (int k = 0; k < n; k += 2) {
            const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + x));
            const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k + 1] + x));
            const __m128i wk = _mm_set1_epi32(paired(w[k], w[k + 1]));
            const __m128i lo = _mm_unpacklo_epi8(p, q);
            const __m128i hi = _mm_unpackhi_epi8(p, q);
            a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), wk));
            a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), wk));
            a2 = _mm_add_epi32(a2, _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), wk));
            a3 = _mm_add_epi32(a3, _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), wk));
        }
        const __m128i s01 = _mm_packs_epi32(_mm_srai_epi32(a0, Shift), _mm_srai_epi32(a1, Shift));
        const __m128i s23 = _mm_packs_epi32(_mm_srai_epi32(a2, Shift), _mm_srai_epi32(a3, Shift));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(s01, s23));
    }
#endif
    for (; x < len; ++x) {
        int sum = Half;
        for (int k = 0; k < n; ++k)
            sum += w[k] * rows[k][x];
        out[x] = clamped(sum);
    }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same 32 bytes at a time, on processors with AVX2: each 128-bit half
// does what the SSE2 loop does, so the results are identical.
__attribute__((target("avx2"))) int columnsAvx2(const uchar* const* rows, const qint16* w, int n,
                                                int len, uchar* out)
{
    const __m256i zero = _mm256_setzero_si256();
    int x = 0;
    for (; x + 32 <= len; x += 32) {
        __m256i a0 = _mm256_set1_epi32(Half), a1 = a0, a2 = a0, a3 = a0;
        for (int k = 0; k < n; k += 2) {
            const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + x));
            const __m256i q = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k + 1] + x));
            const __m256i wk = _mm256_set1_epi32(paired(w[k], w[k + 1]));
            const __m256i lo = _mm256_unpacklo_epi8(p, q);
            const __m256i hi = _mm256_unpackhi_epi8(p, q);
            a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(_mm256_unpacklo_epi8(lo, zero), wk));
            a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(_mm256_unpackhi_epi8(lo, zero), wk));
            a2 = _mm256_add_epi32(a2, _mm256_madd_epi16(_mm256_unpacklo_epi8(hi, zero), wk));
            a3 = _mm256_add_epi32(a3, _mm256_madd_epi16(_mm256_unpackhi_epi8(hi, zero), wk));
        }
        const __m256i s01 =
            _mm256_packs_epi32(_mm256_srai_epi32(a0, Shift), _mm256_srai_epi32(a1, Shift));
        const __m256i s23 =
            _mm256_packs_epi32(_mm256_srai_epi32(a2, Shift), _mm256_srai_epi32(a3, Shift));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_packus_epi16(s01, s23));
    }
    return x;
}

bool hasAvx2()
{
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}
#endif

void columns(const uchar* const* rows, const qint16* w, int n, int len, uchar* out)
{
    int x = 0;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    if (hasAvx2())
        x = columnsAvx2(rows, w, n, len, out);
#endif
    columnsFrom(x, rows, w, n, len, out);
}

// One row of 4-byte pixels filtered along its length, from pixel `x`; `in`
// may be read up to 8 bytes past the last tap.
void rowFrom(int x, const uchar* in, const Taps& t, int width, uchar* out)
{
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; x < width; ++x) {
        const uchar* p = in + 4 * size_t(t.first[x]);
        const qint32* w = &t.pairs[size_t(x) * t.n * 2];
        __m128i sum = _mm_set1_epi32(Half);
        for (int k = 0; k < t.n; k += 2) {
            // Pixels k and k+1 as 16-bit pairs per channel: a0 b0 a1 b1 a2 b2 a3 b3.
            const __m128i ab = _mm_unpacklo_epi8(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 4 * k)), zero);
            const __m128i paired = _mm_unpacklo_epi16(ab, _mm_srli_si128(ab, 8));
            const __m128i wk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 2 * k));
            sum = _mm_add_epi32(sum, _mm_madd_epi16(paired, wk));
        }
        const __m128i s = _mm_packs_epi32(_mm_srai_epi32(sum, Shift), zero);
        const int pixel = _mm_cvtsi128_si32(_mm_packus_epi16(s, zero));
        std::memcpy(out + 4 * size_t(x), &pixel, 4);
    }
#else
    for (; x < width; ++x) {
        const uchar* p = in + 4 * size_t(t.first[x]);
        const qint16* w = &t.weight[size_t(x) * t.n];
        for (int c = 0; c < 4; ++c) {
            int sum = Half;
            for (int k = 0; k < t.n; ++k)
                sum += w[k] * p[4 * k + c];
            out[4 * x + c] = clamped(sum);
        }
    }
#endif
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same two pixels at a time, one in each 128-bit half, on processors with
// AVX2; the results are identical. Returns where it stopped.
__attribute__((target("avx2"))) int rowAvx2(const uchar* in, const Taps& t, int width, uchar* out)
{
    const __m256i zero = _mm256_setzero_si256();
    int x = 0;
    for (; x + 2 <= width; x += 2) {
        const uchar* p0 = in + 4 * size_t(t.first[x]);
        const uchar* p1 = in + 4 * size_t(t.first[x + 1]);
        const qint32* w0 = &t.pairs[size_t(x) * t.n * 2];
        const qint32* w1 = w0 + t.n * 2;
        __m256i sum = _mm256_set1_epi32(Half);
        for (int k = 0; k < t.n; k += 2) {
            const __m256i ab = _mm256_unpacklo_epi8(
                _mm256_inserti128_si256(
                    _mm256_castsi128_si256(
                        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p0 + 4 * k))),
                    _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p1 + 4 * k)), 1),
                zero);
            const __m256i paired = _mm256_unpacklo_epi16(ab, _mm256_srli_si256(ab, 8));
            const __m256i wk = _mm256_inserti128_si256(
                _mm256_castsi128_si256(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(w0 + 2 * k))),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(w1 + 2 * k)), 1);
            sum = _mm256_add_epi32(sum, _mm256_madd_epi16(paired, wk));
        }
        const __m256i s = _mm256_packs_epi32(_mm256_srai_epi32(sum, Shift), zero);
        const __m256i bytes = _mm256_packus_epi16(s, zero);
        const int pixels[2] = {_mm256_extract_epi32(bytes, 0), _mm256_extract_epi32(bytes, 4)};
        std::memcpy(out + 4 * size_t(x), pixels, 8);
    }
    return x;
}
#endif

void row(const uchar* in, const Taps& t, int width, uchar* out)
{
    int x = 0;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    if (hasAvx2())
        x = rowAvx2(in, t, width, out);
#endif
    rowFrom(x, in, t, width, out);
}

// `size` made of a picture of width `sw` and height `sh` whose row r
// `rowAt(r)` gives (null: it cannot), into `result` (of the format given).
// Rows are asked for in order: a row once passed over is not asked for again.
template <typename RowAt> bool scale(int sw, int sh, RowAt rowAt, QImage* result)
{
    const QSize size = result->size();
    const bool alpha = result->hasAlphaChannel();
    const Taps vertical = taps(sh, size.height());
    const Taps horizontal = taps(sw, size.width());
    std::vector<const uchar*> rows(vertical.n);
    std::vector<uchar> line(size_t(sw) * 4 + 16); // slack for the last taps
    for (int y = 0; y < size.height(); ++y) {
        for (int k = 0; k < vertical.n; ++k) {
            rows[k] = rowAt(std::min(vertical.first[y] + k, sh - 1));
            if (!rows[k])
                return false;
        }
        columns(rows.data(), &vertical.weight[size_t(y) * vertical.n], vertical.n, sw * 4,
                line.data());
        uchar* out = result->scanLine(y);
        row(line.data(), horizontal, size.width(), out);
        if (alpha) {
            // The filter's negative lobes can leave a colour above its alpha.
            QRgb* pixel = reinterpret_cast<QRgb*>(out);
            for (int x = 0; x < size.width(); ++x) {
                const int a = qAlpha(pixel[x]);
                pixel[x] = qRgba(std::min(qRed(pixel[x]), a), std::min(qGreen(pixel[x]), a),
                                 std::min(qBlue(pixel[x]), a), a);
            }
        }
    }
    return true;
}

} // namespace

QImage lanczos(const QImage& image, const QSize& size)
{
    if (image.isNull() || size.isEmpty())
        return QImage();
    if (image.format() == QImage::Format_Grayscale8) {
        // Grey in, grey out; the channels of grey pixels stay equal.
        return lanczos(image.convertToFormat(QImage::Format_RGB32), size)
            .convertToFormat(QImage::Format_Grayscale8);
    }
    const bool alpha = image.hasAlphaChannel();
    const QImage source =
        image.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    QImage result(size, source.format());
    if (result.isNull())
        return QImage();
    scale(
        source.width(), source.height(), [&source](int r) { return source.constScanLine(r); },
        &result);
    result.setColorSpace(image.colorSpace());
    result.setDotsPerMeterX(image.dotsPerMeterX());
    result.setDotsPerMeterY(image.dotsPerMeterY());
    return result;
}

QImage lanczos(const QSize& sourceSize, const std::function<bool(uchar*)>& nextRow,
               const QSize& size)
{
    if (sourceSize.isEmpty() || size.isEmpty())
        return QImage();
    QImage result(size, QImage::Format_RGB32);
    if (result.isNull())
        return QImage();
    // The rows the filter reaches for one output row are consecutive, and
    // move down the picture: they are kept in a ring as tall as the filter.
    const int sw = sourceSize.width();
    const int height = tapCount(sourceSize.height(), size.height());
    std::vector<uchar> ring(size_t(sw) * 4 * size_t(height));
    int read = 0; // rows read so far
    const auto rowAt = [&](int r) -> const uchar* {
        while (read <= r) {
            if (!nextRow(&ring[size_t(read % height) * sw * 4]))
                return nullptr;
            ++read;
        }
        return &ring[size_t(r % height) * sw * 4];
    };
    if (!scale(sw, sourceSize.height(), rowAt, &result))
        return QImage();
    return result;
}

} // namespace resample
