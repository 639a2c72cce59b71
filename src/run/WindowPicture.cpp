// A picture of a window as a PNG file: the screen's pixels at the window's place, encoded by the
// platform's imaging component.
#include "run/WindowPicture.h"

#include <wincodec.h>

#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/ComPtr.h"
#include "util/Text.h"

namespace orlenta {

namespace {

struct ScreenDc {
    HDC dc = GetDC(nullptr);
    ~ScreenDc() {
        if (dc != nullptr) ReleaseDC(nullptr, dc);
    }
};

struct MemoryDc {
    HDC dc;
    HGDIOBJ previous = nullptr;
    explicit MemoryDc(HDC compatible) : dc(CreateCompatibleDC(compatible)) {}
    ~MemoryDc() {
        if (previous != nullptr) SelectObject(dc, previous);
        if (dc != nullptr) DeleteDC(dc);
    }
};

struct Bitmap {
    HBITMAP bitmap = nullptr;
    ~Bitmap() {
        if (bitmap != nullptr) DeleteObject(bitmap);
    }
};

void Check(HRESULT hr) {
    if (FAILED(hr)) {
        throw AppError::FromHresult(hr, ProgramName());
    }
}

}  // namespace

void SaveWindowPicture(HWND window, const std::wstring& path) {
    RECT rect{};
    if (!GetWindowRect(window, &rect)) {
        throw AppError::FromLastError();
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        throw AppError::FromWin32(ERROR_INVALID_WINDOW_HANDLE, ProgramName());
    }
    // The screen, not the window itself: asking a hung window to draw itself would hang here too.
    // Under Wine PrintWindow gives a blank picture anyway.
    const ScreenDc screen;
    MemoryDc memory(screen.dc);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, as the encoder takes rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap bitmap;
    bitmap.bitmap = CreateDIBSection(screen.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (screen.dc == nullptr || memory.dc == nullptr || bitmap.bitmap == nullptr) {
        throw AppError::FromWin32(ERROR_NOT_ENOUGH_MEMORY, ProgramName());
    }
    memory.previous = SelectObject(memory.dc, bitmap.bitmap);
    if (!BitBlt(memory.dc, 0, 0, width, height, screen.dc, rect.left, rect.top, SRCCOPY | CAPTUREBLT)) {
        throw AppError::FromLastError();
    }
    GdiFlush();

    ComPtr<IWICImagingFactory> factory;
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                           factory.put_void()));
    ComPtr<IWICStream> stream;
    Check(factory->CreateStream(stream.put()));
    Check(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE));
    ComPtr<IWICBitmapEncoder> encoder;
    Check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put()));
    Check(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache));
    ComPtr<IWICBitmapFrameEncode> frame;
    Check(encoder->CreateNewFrame(frame.put(), nullptr));
    Check(frame->Initialize(nullptr));
    Check(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)));
    // The screen's alpha bytes are 0: as BGRA the picture would come out transparent.
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
    Check(frame->SetPixelFormat(&format));
    if (format != GUID_WICPixelFormat32bppBGR) {
        throw AppError::FromHresult(WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT, ProgramName());
    }
    const UINT stride = static_cast<UINT>(width) * 4;
    Check(frame->WritePixels(static_cast<UINT>(height), stride, stride * static_cast<UINT>(height),
                             static_cast<BYTE*>(bits)));
    Check(frame->Commit());
    Check(encoder->Commit());
}

}  // namespace orlenta
