#include "applet_steps.h"

#include "maintenance_requests.h"
#include "log.h"
#include "manifest.h"
#include "strings.h"

namespace {

bool IsFile(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

HWND ReqCollectGarbage::Run(HWND parent)
{
    int textures = 0;
    bool lightMapMissing = false;
    for (const ManifestFile& file : ManifestFileList) {
        const std::wstring& path = file.localPath;
        if (path.find(L".TextureDx9.") != std::wstring::npos) {
            if (!IsFile(path))
                return nullptr;
            ++textures;
        } else if (path.find(L".LightMap.") != std::wstring::npos) {
            if (IsFile(path))
                return nullptr;
            lightMapMissing = true;
        }
    }
    if (textures != 6 || !lightMapMissing)
        return nullptr;
    LogWrite(L"Spawning CollectGarbage\n");
    return ReqApplet::Run(parent);
}

void ReqCollectGarbage::OnFinished(bool ok)
{
    if (ok) {
        DefragTrigger = DEFRAG_WITHOUT_ASKING;
        PostSuccess();
    } else {
        PostFailure();
    }
}

void ReqCollectGarbage::GetAppletArguments(wchar_t* buffer, size_t capacity)
{
    CopyString(buffer, capacity, L" -applet:/QX/Types/Framework/ContentUpdate clean");
}
