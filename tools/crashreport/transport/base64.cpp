#include "base64.h"

namespace {

size_t UrlEncodedLength(const char* text, size_t length)
{
    size_t total = 0;
    for (size_t i = 0; i < length; ++i)
        total += (text[i] == '+' || text[i] == '/' || text[i] == '=') ? 3 : 1;
    return total;
}

} // namespace

char Base64EncodeValue(const Base64State& state, unsigned value)
{
    return value >= 64 ? state.pad : state.alphabet[value];
}

size_t Base64EncodeBlock(const unsigned char* data, size_t size, char* output, Base64State& state)
{
    char* out = output;
    for (size_t i = 0; i < size; ++i) {
        unsigned char byte = data[i];
        switch (state.step) {
        case 0:
            *out++ = Base64EncodeValue(state, byte >> 2);
            state.pending = static_cast<unsigned char>((byte & 0x03) << 4);
            state.step = 1;
            break;
        case 1:
            *out++ = Base64EncodeValue(state, state.pending | (byte >> 4));
            state.pending = static_cast<unsigned char>((byte & 0x0F) << 2);
            state.step = 2;
            break;
        default:
            *out++ = Base64EncodeValue(state, state.pending | (byte >> 6));
            *out++ = Base64EncodeValue(state, byte & 0x3F);
            state.step = 0;
            if ((state.flags & BASE64_LINE_BREAKS) && ++state.groupsOnLine == 25) {
                *out++ = '\n';
                state.groupsOnLine = 0;
            }
            break;
        }
    }
    return static_cast<size_t>(out - output);
}

void Base64Encode(std::string& output, const void* data, size_t size, unsigned flags)
{
    size_t length = 4 * ((size + 2) / 3);
    if (flags & BASE64_LINE_BREAKS)
        length += length / 100 + 1;
    output.assign(length + 1, '\0');

    Base64State state;
    state.flags = flags;
    size_t written = Base64EncodeBlock(static_cast<const unsigned char*>(data), size, output.data(), state);
    if (state.step == 1) {
        output[written++] = Base64EncodeValue(state, state.pending);
        output[written++] = state.pad;
        output[written++] = state.pad;
    } else if (state.step == 2) {
        output[written++] = Base64EncodeValue(state, state.pending);
        output[written++] = state.pad;
    }
    output.resize(written);
}

void CountEncodedBytes(EncodedLengthCounter& counter, const void* data, size_t size)
{
    constexpr size_t PIECE = 3072;
    char text[PIECE / 3 * 4 + 8];
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        size_t piece = size < PIECE ? size : PIECE;
        size_t written = Base64EncodeBlock(bytes, piece, text, counter.state);
        counter.length += UrlEncodedLength(text, written);
        bytes += piece;
        size -= piece;
    }
}

size_t FinishEncodedLength(EncodedLengthCounter& counter)
{
    // A final group of one byte ends in one character and "==", of two
    // bytes in one character and "=".
    if (counter.state.step != 0) {
        char last = Base64EncodeValue(counter.state, counter.state.pending);
        counter.length += UrlEncodedLength(&last, 1) + (counter.state.step == 1 ? 6 : 3);
        counter.state.step = 0;
    }
    return counter.length;
}
