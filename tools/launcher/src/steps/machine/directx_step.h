// ReqDirectX ("DirectX"): finds which Direct3D levels the graphics adapters
// support, records the drivers the game can use (GraphicsApiSupported),
// corrects the GraphicsAPI setting when it names one that is not supported,
// and warns (OK page, YES/NO page) or stops (QUIT page) when the machine or
// the choice is weak.
//
// Direct3D 12 is looked up at run time on Windows 10 and later, and so is
// DXGI's factory: a machine without it fails the check. Direct3D 11 is bound
// lazily, so a machine without it reaches the crash handler's delay-load
// hook instead of refusing to start. Each device test runs under the fault
// guard: a driver that faults counts as failing.
#pragma once

#include "requirement.h"
#include "scoped_handles.h"

#include <d3dcommon.h>
#include <windows.h>

#include <string>
#include <vector>

// Index 0 dx10, 1 dx11, 2 dx12 (the GraphicsAPI numbering).
extern bool GraphicsApiSupported[3];

// An adapter whose device test succeeded, as the walk found it.
struct ProbedAdapter {
    UINT index = 0;
    std::wstring description;
    bool software = false;
    D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_9_1;
};

class ReqDirectX;

// Walks the machine's adapters, testing each with the step's CheckAdapter
// and logging the failures; false when there is no DXGI factory. Tests
// replace it to stand for other machines.
using AdapterWalk = bool (*)(ReqDirectX& step, std::vector<ProbedAdapter>& adapters);
extern AdapterWalk AdapterWalkFunction;
bool WalkDxgiAdapters(ReqDirectX& step, std::vector<ProbedAdapter>& adapters);

// The library WalkDxgiAdapters takes the factory from: "dxgi.dll".
extern const wchar_t* DxgiLibraryName;

// "12_1", "12_0", ..., "9_1", or "Unknown".
const char* FeatureLevelName(D3D_FEATURE_LEVEL level);

// Sets the flags an adapter at level gives; dx12 only when allowed.
void ClassifyAdapterLevel(D3D_FEATURE_LEVEL level, bool dx12Allowed, bool supported[3]);

// The GraphicsAPI to use: the stored one when supported, else the highest
// supported (a stored value outside 0 to 2 counts as unsupported).
int CorrectGraphicsApi(int graphicsApi, const bool supported[3]);

class ReqDirectX : public Requirement {
  public:
    ReqDirectX() : Requirement(STEP_PROGRESS_MARQUEE) {}
    HWND Run(HWND parent) override;
    StatisticsMap GetStatistics() override { return statistics_; }

    void ProbeAdapters();
    HRESULT CheckAdapter(UINT index, IUnknown* adapter, D3D_FEATURE_LEVEL& level);

    static INT_PTR CALLBACK WarningPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

  private:
    using CreateDevice12 = HRESULT(WINAPI*)(IUnknown*, D3D_FEATURE_LEVEL, REFIID, void**);

    StatisticsMap statistics_;
    ModuleHandle d3d12_;
    CreateDevice12 createDevice12_ = nullptr;
};
