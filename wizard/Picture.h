#pragma once
// An image file (bitmap, JPEG or anything the OLE picture loader reads) drawn at its
// natural pixel size, optionally scaled.

#include <windows.h>
#include <olectl.h>

#include <string>

#include "config/Package.h"
#include "framework/Handles.h"

class Picture {
public:
    static constexpr int kLoaded = 1;
    static constexpr int kUnreadable = -1;  // missing, unreadable or empty file
    static constexpr int kUndecodable = -2;

    // Replaces any picture loaded before; one of the three results above.
    int Load(const PackageFile& file);
    bool LoadFromMemory(const void* bytes, size_t length);

    bool Loaded() const { return static_cast<bool>(picture_); }
    // True for a picture with see-through parts (a GIF's transparent colour, an icon).
    bool IsTransparent() const;
    // The file last opened (its path, or its name in the package), empty before the first.
    const std::wstring& Path() const { return path_; }

    // Pixel size on the device context (the screen's when dc is null); 0 x 0 without a picture.
    SIZE SizeInPixels(HDC dc) const;

    // Draw at (0, 0), at (x, y), or at (x, y) with a size (0 x 0: natural size), times scale.
    bool Draw(HDC dc, double scale) const;
    bool Draw(HDC dc, int x, int y, double scale) const;
    bool Draw(HDC dc, int x, int y, int width, int height, double scale) const;

private:
    std::wstring path_;
    ComPtr<IPicture> picture_;
};
