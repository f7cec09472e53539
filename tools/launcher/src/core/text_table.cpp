#include "text_table.h"

#include <cstring>

namespace {

struct LanguageInfo {
    const wchar_t* code;
    WORD messageBoxLanguage;
};

const LanguageInfo LANGUAGES[LANGUAGE_COUNT] = {
    {L"en", 1033}, {L"fr", 1036}, {L"it", 1040}, {L"de", 1031}, {L"es", 1034},
    {L"pt", 1046}, {L"ru", 1049}, {L"pl", 1045}, {L"uk", 1058}, {L"tr", 1055},
    {L"ja", 1041}, {L"zh", 0x0404}, {L"tc", 0x7C04}, {L"ko", 1042},
};

bool IsLanguageIndex(int index)
{
    return index >= 0 && index < LANGUAGE_COUNT;
}

} // namespace

const wchar_t* LanguageCodeFromIndex(int index)
{
    return IsLanguageIndex(index) ? LANGUAGES[index].code : L"";
}

WORD MessageBoxLanguageId(int index)
{
    return IsLanguageIndex(index) ? LANGUAGES[index].messageBoxLanguage : 1033;
}

void DecodeTextTable(const void* data, size_t size, std::wstring& table)
{
    table.clear();
    if (data == nullptr || size < 2)
        return;

    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    const bool bigEndian = bytes[0] == 0xFE && bytes[1] == 0xFF;
    const size_t units = (size - 2) / 2;
    table.resize(units);
    const unsigned char* src = bytes + 2;
    for (size_t i = 0; i < units; ++i, src += 2) {
        unsigned lo = bigEndian ? src[1] : src[0];
        unsigned hi = bigEndian ? src[0] : src[1];
        table[i] = static_cast<wchar_t>(lo | (hi << 8));
    }
}

void FindTableText(const std::wstring& table, const char* key, int languageIndex,
                   std::wstring& out)
{
    out.clear();
    if (key == nullptr || !IsLanguageIndex(languageIndex))
        return;
    const size_t keyLength = strlen(key);
    if (keyLength > MAX_TEXT_KEY_LENGTH)
        return;

    // Keys are ASCII: widen them unit by unit.
    std::wstring header = L"[";
    for (size_t i = 0; i < keyLength; ++i)
        header += static_cast<wchar_t>(static_cast<unsigned char>(key[i]));
    header += L']';

    const size_t headerPos = table.find(header);
    if (headerPos == std::wstring::npos)
        return;
    const size_t afterHeader = headerPos + header.size();
    const size_t sectionEnd = table.find(L"\n[", afterHeader); // npos: to the end

    const wchar_t* code = LanguageCodeFromIndex(languageIndex);
    std::wstring lineHead = L"\n";
    lineHead += static_cast<wchar_t>(code[0] - L'a' + L'A'); // codes are lower-case ASCII
    lineHead += code + 1;
    lineHead += L"=\"";

    const size_t linePos = table.find(lineHead, afterHeader);
    if (linePos == std::wstring::npos || linePos >= sectionEnd)
        return;

    for (size_t i = linePos + lineHead.size(); i < table.size(); ++i) {
        const wchar_t c = table[i];
        if (c == L'"') {
            if (i + 1 < table.size() && table[i + 1] == L'"')
                ++i; // a doubled quote stands for one
            else
                break;
        }
        out += c;
    }
}

void LoadTextTableResource(HMODULE module, int id, std::wstring& table)
{
    table.clear();
    if (module == nullptr)
        module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), L"TEXT");
    if (resource == nullptr)
        return;
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr)
        return;
    DecodeTextTable(data, size, table);
}
