#include "directx_step.h"

#include "button_subclass.h"
#include "command_line.h"
#include "exception_guard.h"
#include "launcher.h"
#include "launcher_settings.h"
#include "log.h"
#include "settings_store.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_page.h"
#include "localization.h"

#include <d3d11.h>
#include <d3d12.h>
#include <dxgi.h>

bool GraphicsApiSupported[3] = {false, false, false};
AdapterWalk AdapterWalkFunction = WalkDxgiAdapters;
const wchar_t* DxgiLibraryName = L"dxgi.dll";

namespace {

enum : int { DX10 = 0, DX11 = 1, DX12 = 2 };

bool IsWindows10OrLater()
{
    OSVERSIONINFOEXW wanted = {};
    wanted.dwOSVersionInfoSize = sizeof(wanted);
    wanted.dwMajorVersion = 10;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) !=
           FALSE;
}

template <typename T> struct ComRelease {
    T* pointer = nullptr;
    ~ComRelease()
    {
        if (pointer)
            pointer->Release();
    }
};

struct Device12Call {
    HRESULT(WINAPI* create)(IUnknown*, D3D_FEATURE_LEVEL, REFIID, void**);
    IUnknown* adapter;
    HRESULT result;
};

struct Device11Call {
    IUnknown* adapter;
    D3D_FEATURE_LEVEL level;
    HRESULT result;
};

void ProbeDevice12(void* context)
{
    auto* call = static_cast<Device12Call*>(context);
    call->result = call->create(call->adapter, D3D_FEATURE_LEVEL_12_0, __uuidof(ID3D12Device), nullptr);
}

void ProbeDevice11(void* context)
{
    auto* call = static_cast<Device11Call*>(context);
    const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_0};
    call->result = D3D11CreateDevice(static_cast<IDXGIAdapter*>(call->adapter), D3D_DRIVER_TYPE_UNKNOWN,
                                     nullptr, 0, levels, 2, 7, nullptr, &call->level, nullptr);
}

// The YES/NO page's key while it is shown.
const char* WarningKey(HWND page)
{
    return reinterpret_cast<const char*>(GetWindowLongPtrW(page, DWLP_USER));
}

} // namespace

const char* FeatureLevelName(D3D_FEATURE_LEVEL level)
{
    switch (static_cast<int>(level)) {
    case 0xC100:
        return "12_1";
    case 0xC000:
        return "12_0";
    case 0xB100:
        return "11_1";
    case 0xB000:
        return "11_0";
    case 0xA100:
        return "10_1";
    case 0xA000:
        return "10_0";
    case 0x9300:
        return "9_3";
    case 0x9200:
        return "9_2";
    case 0x9100:
        return "9_1";
    default:
        return "Unknown";
    }
}

void ClassifyAdapterLevel(D3D_FEATURE_LEVEL level, bool dx12Allowed, bool supported[3])
{
    switch (static_cast<int>(level)) {
    case 0xC000:
    case 0xC100:
        if (dx12Allowed)
            supported[DX12] = true;
        [[fallthrough]];
    case 0xB000:
    case 0xB100:
        supported[DX11] = true;
        [[fallthrough]];
    case 0xA000:
    case 0xA100:
        supported[DX10] = true;
        break;
    default:
        break;
    }
}

int CorrectGraphicsApi(int graphicsApi, const bool supported[3])
{
    if (graphicsApi >= DX10 && graphicsApi <= DX12 && supported[graphicsApi])
        return graphicsApi;
    for (int api = DX12; api >= DX10; --api) {
        if (supported[api])
            return api;
    }
    return graphicsApi;
}

bool WalkDxgiAdapters(ReqDirectX& step, std::vector<ProbedAdapter>& adapters)
{
    // Looked up by name: a machine without the library or its entry has no
    // factory, which fails the check instead of the launcher. The library
    // stays loaded until the factory and its adapters are released.
    using CreateFactory = HRESULT(WINAPI*)(REFIID, void**);
    ModuleHandle dxgi(LoadLibraryW(DxgiLibraryName));
    CreateFactory create = dxgi ? reinterpret_cast<CreateFactory>(reinterpret_cast<void*>(
                                      GetProcAddress(dxgi.Get(), "CreateDXGIFactory1")))
                                : nullptr;
    ComRelease<IDXGIFactory1> factory;
    if (!create || FAILED(create(__uuidof(IDXGIFactory1), reinterpret_cast<void**>(&factory.pointer))) ||
        !factory.pointer)
        return false;
    for (UINT i = 0;; ++i) {
        ComRelease<IDXGIAdapter1> adapter;
        if (factory.pointer->EnumAdapters1(i, &adapter.pointer) == DXGI_ERROR_NOT_FOUND) {
            if (i == 0)
                LogPrintf(L"EnumAdapters1 returned no adapters!\n");
            break;
        }
        if (!adapter.pointer)
            continue;
        ProbedAdapter probed;
        probed.index = i;
        if (FAILED(step.CheckAdapter(i, adapter.pointer, probed.level)))
            continue;
        DXGI_ADAPTER_DESC1 description = {};
        HRESULT result = adapter.pointer->GetDesc1(&description);
        if (FAILED(result)) {
            LogPrintf(L"IDXGIAdapter1::GetDesc1 for adapter %d failed (0x%08X)\n", i,
                      static_cast<unsigned>(result));
            continue;
        }
        probed.description = description.Description;
        probed.software = (description.Flags & DXGI_ADAPTER_FLAG_SOFTWARE) != 0;
        adapters.push_back(probed);
    }
    return true;
}

HRESULT ReqDirectX::CheckAdapter(UINT index, IUnknown* adapter, D3D_FEATURE_LEVEL& level)
{
    if (createDevice12_) {
        Device12Call call = {createDevice12_, adapter, E_FAIL};
        DWORD code = RunGuarded(ProbeDevice12, &call);
        if (code != 0) {
            LogPrintf(L"Checking for D3D12 support on adapter %d caused exception 0x%08X\n", index, code);
        } else if (SUCCEEDED(call.result)) {
            level = D3D_FEATURE_LEVEL_12_0;
            return call.result;
        }
    }
    Device11Call call = {adapter, D3D_FEATURE_LEVEL_9_1, E_FAIL};
    DWORD code = RunGuarded(ProbeDevice11, &call);
    if (code != 0) {
        LogPrintf(L"Checking for D3D11 support on adapter %d caused exception 0x%08X\n", index, code);
        return E_FAIL;
    }
    if (FAILED(call.result)) {
        LogPrintf(L"Checking for D3D11 support on adapter %d failed (0x%08X)\n", index,
                  static_cast<unsigned>(call.result));
        return call.result;
    }
    level = call.level;
    return call.result;
}

void ReqDirectX::ProbeAdapters()
{
    if (!createDevice12_ && IsWindows10OrLater()) {
        d3d12_.Reset(LoadLibraryW(L"D3D12.DLL"));
        if (d3d12_)
            createDevice12_ = reinterpret_cast<CreateDevice12>(
                reinterpret_cast<void*>(GetProcAddress(d3d12_.Get(), "D3D12CreateDevice")));
    }
    for (bool& flag : GraphicsApiSupported)
        flag = false;
    std::vector<ProbedAdapter> adapters;
    if (!AdapterWalkFunction(*this, adapters)) {
        LogPrintf(L"Could not create IDXGIFactory1!\n");
        return;
    }
    bool dx12Allowed = ClusterAccessLevel != 0 || ServerCluster != SC_PUBLIC;
    for (const ProbedAdapter& adapter : adapters) {
        const char* name = FeatureLevelName(adapter.level);
        if (adapter.software) {
            LogPrintf(L"Ignoring software D3D adapter %d: %s (D3D_FEATURE_LEVEL_%S)\n", adapter.index,
                      adapter.description.c_str(), name);
            continue;
        }
        LogPrintf(L"Found D3D adapter %d: %s (D3D_FEATURE_LEVEL_%S)\n", adapter.index,
                  adapter.description.c_str(), name);
        ClassifyAdapterLevel(adapter.level, dx12Allowed, GraphicsApiSupported);
    }
}

HWND ReqDirectX::Run(HWND parent)
{
    if (HeadlessMode) {
        LogPrintf(L"Headless mode, skipping DirectX check\n");
        GraphicsApiSupported[DX10] = false;
        GraphicsApiSupported[DX11] = true;
        GraphicsApiSupported[DX12] = false;
        return nullptr;
    }
    ProbeAdapters();
    if (HasOption(L"-force:dx10")) {
        GraphicsApiSupported[DX10] = true;
        GraphicsApiSupported[DX11] = false;
        GraphicsApiSupported[DX12] = false;
    }
    bool any = GraphicsApiSupported[DX10] || GraphicsApiSupported[DX11] || GraphicsApiSupported[DX12];
    if (!HasOption(L"-force:dx9") && any) {
        GraphicsAPI = CorrectGraphicsApi(GraphicsAPI, GraphicsApiSupported);
        if (!GraphicsApiSupported[DX11]) {
            kind = STEP_PROGRESS_HIDDEN;
            return ShowStepPage(parent, OkPageProc, reinterpret_cast<LPARAM>("WARNING_DX11_UNSUPPORTED"));
        }
        if (GraphicsAPI != DX10)
            return nullptr;
        kind = STEP_PROGRESS_HIDDEN;
        return ShowStepPage(parent, WarningPageProc, reinterpret_cast<LPARAM>("WARNING_DX10_SELECTED"));
    }
    WriteSettingDword(SCOPE_CLIENT_TYPE, L"ErrorDx10Unsuported", 1);
    statistics_.emplace(L"ERROR_DX10_UNSUPPORTED", 1);
    kind = STEP_PROGRESS_HIDDEN;
    return ShowStepPage(parent, QuitPageProc, reinterpret_cast<LPARAM>("ERROR_DX10_UNSUPPORTED"));
}

INT_PTR CALLBACK ReqDirectX::WarningPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND parent = GetParent(page);
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(page, DWLP_USER, lParam);
        PostMessageW(parent, WM_STEP_PAGE_SHOWN, 0, lParam);
        HWND yes = GetDlgItem(parent, IDC_MAIN_BUTTON);
        EnableWindow(yes, TRUE);
        SetWindowTextByKey(yes, "YES", true);
        FocusActionButton(yes);
        HWND no = GetDlgItem(parent, IDC_ALT_BUTTON);
        EnableWindow(no, TRUE);
        SetWindowTextByKey(no, "NO", true);
        return FALSE;
    }
    case WM_COMMAND:
        if (!WarningKey(page) || HIWORD(wParam) != 0)
            return FALSE;
        if (LOWORD(wParam) == IDC_MAIN_BUTTON) {
            GraphicsAPI = DX11;
            PostStepFailed(parent, page, CHAIN_MAIN);
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_ALT_BUTTON) {
            PostStepSucceeded(page);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        SetWindowLongPtrW(page, DWLP_USER, 0);
        return FALSE;
    default:
        return FALSE;
    }
}
