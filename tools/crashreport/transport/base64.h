// Base64 (RFC 4648 standard alphabet) for the report's zip attachment.
#pragma once

#include <cstddef>
#include <string>

constexpr unsigned BASE64_LINE_BREAKS = 1; // a line feed after every 25 groups

// Resumable state of the block encoder.
struct Base64State {
    int step = 0;             // position inside a group of three input bytes: 0, 1 or 2
    unsigned char pending = 0; // bits of the previous byte still to be written
    char pad = '=';
    int groupsOnLine = 0;
    unsigned flags = 0;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
};

// The character of a 6-bit value; 64 and above give the pad character.
char Base64EncodeValue(const Base64State& state, unsigned value);

// Encodes size bytes at output and returns the characters written. Full
// groups are written at once; the bits of an unfinished group stay in the
// state for the next block (or for Base64Encode's final padding).
size_t Base64EncodeBlock(const unsigned char* data, size_t size, char* output, Base64State& state);

// The whole Base64 text of size bytes, padded with "=".
void Base64Encode(std::string& output, const void* data, size_t size, unsigned flags);

// The length of the URL encoding of the Base64 text of a byte stream fed in
// pieces, without making either text: Base64's "+", "/" and "=" grow to
// three characters each, every other character stays one.
struct EncodedLengthCounter {
    Base64State state;
    size_t length = 0;
};
void CountEncodedBytes(EncodedLengthCounter& counter, const void* data, size_t size);
// The total, padding included; the counter is spent afterwards.
size_t FinishEncodedLength(EncodedLengthCounter& counter);
