#pragma once
// Splitting and normalising the text of a configuration file in one pass.

#include <QtGlobal>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

// Where the last whole line in data[from, to) ends: after its LF, or after a
// CR whose next byte, which must be in the range, shows it is no CR LF.
// `from` when no line ends there.
inline qsizetype WholeLinesEnd(const char *data, qsizetype from, qsizetype to)
{
    if (to <= from)
        return from;
    if (const void *lf = memrchr(data + from, '\n', size_t(to - from)))
        return static_cast<const char *>(lf) - data + 1;
    if (const void *cr = memrchr(data + from, '\r', size_t(to - 1 - from)))
        return static_cast<const char *>(cr) - data + 1;
    return from;
}

// Splits and normalises the text in [in, end) in one pass and writes it from
// out on, where out is in or lies before it in the same buffer: normalising
// only shortens lines and turns every terminator into one LF, so the output
// never overtakes the input. Calls lineDone(start, length, keyLength) for each
// line as written (keyLength -1 for a line without "="); returns the end of
// the written text. The one byte after the text must be writable: it takes
// the LF of a last line that had none. Text that ends with a line terminator
// may be normalised in pieces that each end with one.
template <typename LineDone>
char *NormaliseLines(char *const out, const char *const in, const char *const end, LineDone lineDone)
{
    const char *src = in;
    char *dst = out;
    char *lineStart = out;
    qsizetype keyLength = -1;
    bool comment = src < end && *src == '#';
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i equals = _mm_set1_epi8('=');
#endif
    for (;;) {
#ifdef __SSE2__
        // Sixteen bytes at a time up to the next LF, CR or "=". A store must
        // not reach input bytes that are still to be read.
        while (end - src >= 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
            const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, cr)),
                                                 _mm_cmpeq_epi8(bytes, equals));
            const unsigned mask = unsigned(_mm_movemask_epi8(special));
            const qsizetype behind = src - dst;
            if (mask) {
                const int plain = __builtin_ctz(mask);
                // Far enough behind, the whole block may be stored: the bytes
                // after the plain ones are overwritten by what follows.
                if (behind >= 16)
                    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), bytes);
                else if (behind > 0)
                    std::memmove(dst, src, size_t(plain));
                src += plain;
                dst += plain;
                break;
            }
            if (behind > 0)
                _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), bytes);
            src += 16;
            dst += 16;
        }
#endif
        while (src < end && *src != '\n' && *src != '\r' && *src != '=')
            *dst++ = *src++;
        if (src == end)
            break;
        const char c = *src++;
        if (c == '=') {
            // Outside comments, the blanks on both sides of every "=" go.
            if (!comment)
                while (dst > lineStart && dst[-1] == ' ')
                    --dst;
            if (keyLength < 0)
                keyLength = dst - lineStart;
            *dst++ = '=';
            if (!comment)
                while (src < end && *src == ' ')
                    ++src;
            continue;
        }
        if (c == '\r' && src < end && *src == '\n')
            ++src;
        lineDone(lineStart, dst - lineStart, keyLength);
        *dst++ = '\n';
        lineStart = dst;
        keyLength = -1;
        comment = src < end && *src == '#';
    }
    // A line never normalises to nothing, so bytes here are a last line
    // without a terminator.
    if (dst > lineStart) {
        lineDone(lineStart, dst - lineStart, keyLength);
        *dst++ = '\n';
    }
    return dst;
}

