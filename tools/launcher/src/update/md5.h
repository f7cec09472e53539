// MD5 message digest (RFC 1321) and its text form.
//
// Every digest of the content update is written as 32 upper-case hexadecimal
// characters, two per byte in digest order, and compared exactly (letter case
// included) with the manifest's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct Md5Context {
    uint32_t state[4];
    uint64_t bitCount;        // message length so far, in bits
    unsigned char buffer[64]; // bytes of a block not yet transformed
};

constexpr size_t MD5_DIGEST_SIZE = 16;
constexpr size_t MD5_TEXT_LENGTH = 32;

// Puts the context in the standard initial state.
void MD5Init(Md5Context& context);

// Adds length bytes to the message.
void MD5Update(Md5Context& context, const void* data, size_t length);

// Pads the message, writes the digest and leaves the context wiped; start it
// again with MD5Init before further use.
void MD5Final(unsigned char digest[MD5_DIGEST_SIZE], Md5Context& context);

// The block transform: folds one 64-byte block into the state.
void MD5Transform(uint32_t state[4], const unsigned char block[64]);

// The 32-character upper-case text of a digest.
std::wstring Md5DigestText(const unsigned char digest[MD5_DIGEST_SIZE]);

// MD5Final followed by Md5DigestText.
std::wstring MD5FinalText(Md5Context& context);
