// Whether a manifest entry applies to this installation: Steam files only to
// a Steam build, DirectX 10 and 11 cache files only to their graphics
// interfaces, language-specific ".rtf", ".toc" and ".cache" files only to
// their language.
#pragma once

#include <string>

// Set by the update step's Run: the ClientType contains "Steam".
extern bool SteamBuild;

struct ApplicabilityContext {
    bool steamBuild = false;
    int graphicsApi = 1;       // 0 DirectX 10, 1 DirectX 11, 2 DirectX 12
    std::wstring languageCode; // "" when the language has no code
};

// The rule itself, on a remote name (anything from its first "," is ignored).
bool IsEntryApplicableTo(const std::wstring& remoteName, const ApplicabilityContext& context);

// The rule for the current settings (SteamBuild, GraphicsAPI, the language).
bool IsManifestEntryApplicable(const std::wstring& remoteName);
