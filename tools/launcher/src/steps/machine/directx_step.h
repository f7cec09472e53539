// What the DirectX step finds out about the graphics adapters.
#pragma once

// The graphics drivers the adapters support, indexed like GraphicsAPI:
// dx10, dx11, dx12.
extern bool GraphicsApiSupported[3];
