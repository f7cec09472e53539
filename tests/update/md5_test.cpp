#include "hash_file.h"
#include "md5.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::wstring Md5Of(const std::string& bytes)
{
    Md5Context context;
    MD5Init(context);
    MD5Update(context, bytes.data(), bytes.size());
    return MD5FinalText(context);
}

std::string PatternBytes(size_t size)
{
    std::string bytes(size, '\0');
    uint32_t x = 12345;
    for (auto& b : bytes) {
        x = x * 1103515245 + 12345;
        b = static_cast<char>(x >> 23);
    }
    return bytes;
}

std::wstring HashPath(const std::wstring& path)
{
    HANDLE file = OpenFileForHash(path.c_str());
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    std::wstring hash = HashFile(file);
    CloseHandle(file);
    return hash;
}

} // namespace

TEST(Md5, Rfc1321TestSuite)
{
    EXPECT_EQ(Md5Of(""), L"D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Md5Of("a"), L"0CC175B9C0F1B6A831C399E269772661");
    EXPECT_EQ(Md5Of("abc"), L"900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(Md5Of("message digest"), L"F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(Md5Of("abcdefghijklmnopqrstuvwxyz"), L"C3FCD3D76192E4007DFB496CCA67E13B");
    EXPECT_EQ(Md5Of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              L"D174AB98D277D9F5A5611C2C9F419D9F");
    EXPECT_EQ(Md5Of("1234567890123456789012345678901234567890123456789012345678901234567890123456789"
                    "0"),
              L"57EDF4A22BE3C955AC49DA2E2107B67A");
}

TEST(Md5, PaddingBoundariesAndPiecewiseUpdates)
{
    // Lengths around the 56-byte padding limit and the block size, fed in
    // every split, give the digest of the whole.
    std::string data = PatternBytes(200);
    for (size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 200u}) {
        std::string message = data.substr(0, length);
        std::wstring whole = Md5Of(message);
        for (size_t split = 0; split <= length; split += 7) {
            Md5Context context;
            MD5Init(context);
            MD5Update(context, message.data(), split);
            MD5Update(context, message.data() + split, length - split);
            EXPECT_EQ(MD5FinalText(context), whole) << length << " split at " << split;
        }
    }
    // One byte at a time.
    Md5Context context;
    MD5Init(context);
    for (char c : data)
        MD5Update(context, &c, 1);
    EXPECT_EQ(MD5FinalText(context), Md5Of(data));
}

TEST(Md5, DigestTextIsUpperCaseHex)
{
    unsigned char digest[MD5_DIGEST_SIZE];
    for (int i = 0; i < 16; ++i)
        digest[i] = static_cast<unsigned char>(i * 17);
    EXPECT_EQ(Md5DigestText(digest), L"00112233445566778899AABBCCDDEEFF");
}

TEST(HashFile, SizesAroundTheReadChunk)
{
    TempDir dir;
    // The read buffers are two chunks together.
    const size_t chunk = FileHasher::WHOLE_READ_LIMIT / 2;
    // One byte, one whole chunk, one chunk and a byte, several chunks, and
    // enough chunks that each buffer is read into and hashed several times.
    for (size_t size : {size_t{1}, chunk, chunk + 1, 3 * chunk + 17, 9 * chunk + 5}) {
        std::string bytes = PatternBytes(size);
        std::wstring path = dir / (L"f" + std::to_wstring(size));
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        EXPECT_EQ(HashPath(path), Md5Of(bytes)) << size;
    }
    std::wstring abc = dir / L"abc.txt";
    ASSERT_TRUE(WriteFileBytes(abc, "abc"));
    EXPECT_EQ(HashPath(abc), L"900150983CD24FB0D6963F7D28E17F72");

    // One hasher kept from file to file, as the update's local comparison
    // uses it: large and small files by turns, each with its own digest.
    FileHasher hasher;
    for (size_t size : {9 * chunk + 5, size_t{1}, chunk + 1, size_t{3}, chunk, 3 * chunk + 17, size_t{5}}) {
        std::string bytes = PatternBytes(size);
        bytes[0] = static_cast<char>(size);
        std::wstring path = dir / (L"g" + std::to_wstring(size));
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        HANDLE file = OpenFileForHash(path.c_str());
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        EXPECT_EQ(hasher.Hash(file), Md5Of(bytes)) << size;
        CloseHandle(file);
    }
}

TEST(HashFile, EmptyFileBadHandleAndAbortGiveNoDigest)
{
    TempDir dir;
    std::wstring empty = dir / L"empty";
    ASSERT_TRUE(WriteFileBytes(empty, ""));
    EXPECT_EQ(HashPath(empty), L"");
    EXPECT_EQ(HashFile(INVALID_HANDLE_VALUE), L"");

    // Quitting stops a hash between chunks; what was read is no digest.
    std::wstring large = dir / L"large";
    ASSERT_TRUE(WriteFileBytes(large, PatternBytes(3 * FileHasher::WHOLE_READ_LIMIT / 2)));
    std::atomic<bool> abort{true};
    HANDLE file = OpenFileForHash(large.c_str());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(HashFile(file, &abort), L"");
    CloseHandle(file);
}
