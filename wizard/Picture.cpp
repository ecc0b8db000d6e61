#include "wizard/Picture.h"

#include <cstring>
#include <vector>

int Picture::Load(const PackageFile& file) {
    picture_.Reset();
    std::vector<char> bytes;
    if (!file.Read(bytes)) return kUnreadable;
    path_ = file.Path();
    if (bytes.empty()) return kUnreadable;
    return LoadFromMemory(bytes.data(), bytes.size()) ? kLoaded : kUndecodable;
}

bool Picture::LoadFromMemory(const void* bytes, size_t length) {
    picture_.Reset();
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, length);
    if (!block) return false;
    void* target = ::GlobalLock(block);
    if (!target) {
        ::GlobalFree(block);
        return false;
    }
    std::memcpy(target, bytes, length);
    ::GlobalUnlock(block);

    // The stream frees the block when it is released.
    ComPtr<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(block, TRUE, stream.Put()))) {
        ::GlobalFree(block);
        return false;
    }
    // fRunmode false: the picture keeps the format of its source data.
    HRESULT hr = ::OleLoadPicture(stream.Get(), static_cast<LONG>(length), FALSE, __uuidof(IPicture),
                                  picture_.PutVoid());
    if (hr != S_OK) picture_.Reset();
    return hr == S_OK;
}

bool Picture::IsTransparent() const {
    DWORD attributes = 0;
    return picture_ && SUCCEEDED(picture_->get_Attributes(&attributes)) && (attributes & PICTURE_TRANSPARENT);
}

SIZE Picture::SizeInPixels(HDC dc) const {
    SIZE size = {0, 0};
    if (!picture_) return size;
    if (!dc) {
        WindowDC screen(nullptr);
        return screen.Get() ? SizeInPixels(screen.Get()) : size;
    }
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    picture_->get_Width(&width);
    picture_->get_Height(&height);
    size.cx = ::MulDiv(width, ::GetDeviceCaps(dc, LOGPIXELSX), 2540);
    size.cy = ::MulDiv(height, ::GetDeviceCaps(dc, LOGPIXELSY), 2540);
    return size;
}

bool Picture::Draw(HDC dc, double scale) const { return Draw(dc, 0, 0, 0, 0, scale); }

bool Picture::Draw(HDC dc, int x, int y, double scale) const { return Draw(dc, x, y, 0, 0, scale); }

bool Picture::Draw(HDC dc, int x, int y, int width, int height, double scale) const {
    if (!picture_) return false;
    OLE_XSIZE_HIMETRIC hmWidth = 0;
    OLE_YSIZE_HIMETRIC hmHeight = 0;
    picture_->get_Width(&hmWidth);
    picture_->get_Height(&hmHeight);
    if (width == 0 && height == 0) {
        SIZE natural = SizeInPixels(dc);
        width = natural.cx;
        height = natural.cy;
    }
    // The source rectangle runs bottom-up in HIMETRIC.
    HRESULT hr = picture_->Render(dc, x, y, static_cast<LONG>(width * scale), static_cast<LONG>(height * scale), 0,
                                  hmHeight, hmWidth, -hmHeight, nullptr);
    return hr == S_OK;
}
