#pragma once
// One of the wizard's two pictures, designed in pixels at 96 dots per inch and drawn at the
// recorded density, so that it stays under the controls laid out on it.
//
// A distributor may ship sharper variants beside the picture: "BackGround@2x.bmp" holds the same
// picture with twice the pixels each way, "@3x" three times, "@4x" four times. The variant that
// needs the least enlarging (or else the least reduction) at the density is used. The picture is
// scaled smoothly once for each size it is shown at and kept as a bitmap.

#include <windows.h>

#include <string>

#include "config/Package.h"
#include "framework/Handles.h"
#include "wizard/Picture.h"

class DensityPicture {
public:
    static constexpr int kLargestMultiple = 4;

    // The file name of the variant with `multiple` times the pixels: "Name@2x.ext".
    static std::wstring VariantName(const std::wstring& name, int multiple);

    // Loads the variant of `name` in the package that suits the recorded density best, unless it
    // is the one already loaded. One of Picture's results, for the file that was tried last.
    int Load(const PackageSource& package, const std::wstring& name);
    bool Loaded() const { return picture_.Loaded(); }
    // The file in use and how many of its pixels make one design pixel.
    const std::wstring& Path() const { return picture_.Path(); }
    int Multiple() const { return multiple_; }

    // Its size in design pixels, and as drawn at the recorded density.
    SIZE DesignSize() const;
    SIZE ShownSize() const;

    // Draws it with its top-left corner at (x, y); false without a picture.
    bool Draw(HDC dc, int x, int y);

private:
    bool Rescale(SIZE shown);

    Picture picture_;
    int multiple_ = 1;
    bool transparent_ = false;
    Bitmap scaled_;
    SIZE scaledSize_ = {0, 0};
};
