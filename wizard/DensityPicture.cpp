#include "wizard/DensityPicture.h"

#include "wizard/Density.h"

std::wstring DensityPicture::VariantName(const std::wstring& name, int multiple) {
    if (multiple <= 1) return name;
    size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos) dot = name.size();
    return name.substr(0, dot) + L"@" + wchar_t(L'0' + multiple) + L"x" + name.substr(dot);
}

int DensityPicture::Load(const PackageSource& package, const std::wstring& name) {
    // The smallest multiple that is not enlarged at this density first, then the larger ones,
    // then the smaller ones down to the plain file.
    int wanted = (ScreenDensity() + kDesignDensity - 1) / kDesignDensity;
    if (wanted < 1) wanted = 1;
    if (wanted > kLargestMultiple) wanted = kLargestMultiple;
    int order[kLargestMultiple];
    int count = 0;
    for (int m = wanted; m <= kLargestMultiple; ++m) order[count++] = m;
    for (int m = wanted - 1; m >= 1; --m) order[count++] = m;

    int result = Picture::kUnreadable;
    for (int i = 0; i < count; ++i) {
        const int multiple = order[i];
        const PackageFile file = package.File(VariantName(name, multiple));
        if (multiple > 1 && !file.Exists()) continue;
        if (picture_.Loaded() && file.Path() == picture_.Path()) return Picture::kLoaded;
        scaled_.Reset();
        scaledSize_ = SIZE{0, 0};
        result = picture_.Load(file);
        if (result != Picture::kLoaded) continue;  // a variant that cannot be read: the next one
        multiple_ = multiple;
        transparent_ = picture_.IsTransparent();
        return result;
    }
    multiple_ = 1;
    return result;
}

SIZE DensityPicture::DesignSize() const {
    SIZE natural = picture_.SizeInPixels(nullptr);
    return SIZE{::MulDiv(natural.cx, 1, multiple_), ::MulDiv(natural.cy, 1, multiple_)};
}

SIZE DensityPicture::ShownSize() const {
    SIZE natural = picture_.SizeInPixels(nullptr);
    return SIZE{::MulDiv(natural.cx, ScreenDensity(), kDesignDensity * multiple_),
                ::MulDiv(natural.cy, ScreenDensity(), kDesignDensity * multiple_)};
}

// The picture at its own pixel size on a bitmap of ours, then smoothly to the size shown.
bool DensityPicture::Rescale(SIZE shown) {
    scaled_.Reset();
    scaledSize_ = SIZE{0, 0};
    SIZE natural = picture_.SizeInPixels(nullptr);
    if (natural.cx <= 0 || natural.cy <= 0 || shown.cx <= 0 || shown.cy <= 0) return false;
    WindowDC screen(nullptr);
    MemoryDC source(::CreateCompatibleDC(screen.Get()));
    MemoryDC target(::CreateCompatibleDC(screen.Get()));
    Bitmap original(::CreateCompatibleBitmap(screen.Get(), natural.cx, natural.cy));
    Bitmap scaled(::CreateCompatibleBitmap(screen.Get(), shown.cx, shown.cy));
    if (!source || !target || !original || !scaled) return false;
    {
        SelectedObject intoSource(source.Get(), original.Get());
        if (!picture_.Draw(source.Get(), 0, 0, natural.cx, natural.cy, 1.0)) return false;
        SelectedObject intoTarget(target.Get(), scaled.Get());
        // HALFTONE averages the pixels it merges or spreads; the brush origin must be set after it.
        ::SetStretchBltMode(target.Get(), HALFTONE);
        ::SetBrushOrgEx(target.Get(), 0, 0, nullptr);
        if (!::StretchBlt(target.Get(), 0, 0, shown.cx, shown.cy, source.Get(), 0, 0, natural.cx, natural.cy, SRCCOPY))
            return false;
    }
    scaled_ = std::move(scaled);
    scaledSize_ = shown;
    return true;
}

bool DensityPicture::Draw(HDC dc, int x, int y) {
    if (!picture_.Loaded()) return false;
    SIZE shown = ShownSize();
    // At its own size the picture is drawn as it is, with nothing to scale or keep.
    SIZE natural = picture_.SizeInPixels(nullptr);
    if (shown.cx == natural.cx && shown.cy == natural.cy) return picture_.Draw(dc, x, y, shown.cx, shown.cy, 1.0);
    if (transparent_) {
        // A picture with see-through parts keeps them: the system draws it, smoothly scaled.
        int oldMode = ::SetStretchBltMode(dc, HALFTONE);
        POINT oldOrigin;
        ::SetBrushOrgEx(dc, 0, 0, &oldOrigin);
        bool drawn = picture_.Draw(dc, x, y, shown.cx, shown.cy, 1.0);
        ::SetStretchBltMode(dc, oldMode);
        ::SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
        return drawn;
    }
    if ((shown.cx != scaledSize_.cx || shown.cy != scaledSize_.cy || !scaled_) && !Rescale(shown)) return false;
    MemoryDC memory(::CreateCompatibleDC(dc));
    if (!memory) return false;
    SelectedObject selected(memory.Get(), scaled_.Get());
    return ::BitBlt(dc, x, y, shown.cx, shown.cy, memory.Get(), 0, 0, SRCCOPY) != FALSE;
}
