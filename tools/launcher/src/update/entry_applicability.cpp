#include "entry_applicability.h"

#include "launcher_settings.h"
#include "text_table.h"

#include <cwctype>

bool SteamBuild = false;

namespace {

constexpr size_t kLowerNameLimit = 259;

bool Contains(const std::wstring& text, const wchar_t* part)
{
    return text.find(part) != std::wstring::npos;
}

// Position of the extension's "." in the file-name part of name, or npos.
size_t ExtensionStart(const std::wstring& name)
{
    size_t separator = name.find_last_of(L"/\\");
    size_t fileStart = separator == std::wstring::npos ? 0 : separator + 1;
    size_t dot = name.rfind(L'.');
    return dot != std::wstring::npos && dot >= fileStart ? dot : std::wstring::npos;
}

} // namespace

bool IsEntryApplicableTo(const std::wstring& remoteName, const ApplicabilityContext& context)
{
    std::wstring name = remoteName.substr(0, kLowerNameLimit);
    name = name.substr(0, name.find(L','));
    for (auto& c : name)
        c = static_cast<wchar_t>(towlower(c));

    if (Contains(name, L"/steam") && !context.steamBuild)
        return false;
    if (context.graphicsApi != 0 && (Contains(name, L"dx10.toc") || Contains(name, L"dx10.cache")))
        return false;
    if (context.graphicsApi != 1 && context.graphicsApi != 2 &&
        (Contains(name, L"dx11.toc") || Contains(name, L"dx11.cache")))
        return false;
    if (context.languageCode.empty())
        return true;

    // Strip the object suffix and the MD5, then split the file's own extension off.
    size_t dot = ExtensionStart(name);
    if (dot != std::wstring::npos) {
        std::wstring extension = name.substr(dot);
        name.erase(dot);
        if (extension == L".lzma" || extension == L".bulk") {
            dot = ExtensionStart(name);
            if (dot != std::wstring::npos)
                name.erase(dot);
        }
    }
    std::wstring extension;
    dot = ExtensionStart(name);
    if (dot != std::wstring::npos) {
        extension = name.substr(dot);
        name.erase(dot);
    }
    const std::wstring& stem = name;
    size_t n = stem.size();
    if (n > 3 && (extension == L".rtf" || extension == L".toc" || extension == L".cache") &&
        stem[n - 3] == L'_') {
        std::wstring tail = stem.substr(n - 3);
        if (tail != L"_xx" && tail != L"_" + context.languageCode)
            return false;
    }
    return true;
}

bool IsManifestEntryApplicable(const std::wstring& remoteName)
{
    ApplicabilityContext context;
    context.steamBuild = SteamBuild;
    context.graphicsApi = GraphicsAPI;
    const wchar_t* code = LanguageCodeFromIndex(LanguageIndex);
    context.languageCode = code ? code : L"";
    return IsEntryApplicableTo(remoteName, context);
}
