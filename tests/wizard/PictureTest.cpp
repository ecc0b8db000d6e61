#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "framework/Handles.h"
#include "tests/support/LayoutChecks.h"
#include "tests/support/TestSupport.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/DensityPicture.h"
#include "wizard/Picture.h"

namespace {

const COLORREF kTop = RGB(192, 32, 32);
const COLORREF kBottom = RGB(32, 64, 192);

// A 24-bit bitmap file, its upper half in one colour and its lower half in another.
std::string BitmapFile(int width, int height) {
    int rowSize = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    file.bfSize = file.bfOffBits + rowSize * height;
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    for (int row = height - 1; row >= 0; --row) {  // stored bottom-up
        COLORREF colour = row < height / 2 ? kTop : kBottom;
        std::string line(rowSize, '\0');
        for (int x = 0; x < width; ++x) {
            line[x * 3] = static_cast<char>(GetBValue(colour));
            line[x * 3 + 1] = static_cast<char>(GetGValue(colour));
            line[x * 3 + 2] = static_cast<char>(GetRValue(colour));
        }
        bytes += line;
    }
    return bytes;
}

// A white memory canvas that tells where something was drawn on it.
class Canvas {
public:
    Canvas() : dc_(::CreateCompatibleDC(nullptr)) {
        BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), kSize, -kSize, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
        bitmap_.Reset(::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels_), nullptr, 0));
        previous_ = ::SelectObject(dc_, bitmap_.Get());
        std::fill(pixels_, pixels_ + kSize * kSize, 0xFFFFFF);
    }
    ~Canvas() {
        ::SelectObject(dc_, previous_);
        ::DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    COLORREF Pixel(int x, int y) const {
        ::GdiFlush();
        DWORD p = pixels_[y * kSize + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // The smallest rectangle holding every pixel that is no longer white.
    RECT Drawn() const {
        RECT box = {kSize, kSize, 0, 0};
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                if (Pixel(x, y) != RGB(255, 255, 255))
                    box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
                           std::max<LONG>(box.bottom, y + 1)};
        return box;
    }

private:
    static constexpr int kSize = 600;
    HDC dc_;
    Bitmap bitmap_;
    DWORD* pixels_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

}  // namespace

TEST(Picture, EmptyAndUndecodableFiles) {
    OleScope ole;
    TempDir temp;
    Picture picture;
    // An empty file never reaches the decoder, which would call it undecodable (-2).
    WriteBytes(temp / L"empty.jpg", "");
    EXPECT_EQ(Picture::kUnreadable, picture.Load(PackageFile(temp / L"empty.jpg")));
    EXPECT_EQ(Picture::kUnreadable, picture.Load(PackageFile(temp / L"missing.jpg")));

    WriteBytes(temp / L"small.bmp", BitmapFile(8, 8));
    EXPECT_EQ(Picture::kLoaded, picture.Load(PackageFile(temp / L"small.bmp")));
    WriteBytes(temp / L"text.jpg", "This is a line of text, not a picture.\r\n");
    EXPECT_EQ(Picture::kUndecodable, picture.Load(PackageFile(temp / L"text.jpg")));
    // The failed load left no picture behind.
    Canvas canvas;
    EXPECT_FALSE(picture.Draw(canvas.Dc(), 1.0));
    EXPECT_EQ(0, picture.SizeInPixels(nullptr).cx);
}

TEST(Picture, BitmapDrawsAtItsPixelSizeAndScaled) {
    OleScope ole;
    TempDir temp;
    WriteBytes(temp / L"BackGround.bmp", BitmapFile(461, 445));
    Picture picture;
    ASSERT_EQ(Picture::kLoaded, picture.Load(PackageFile(temp / L"BackGround.bmp")));
    EXPECT_EQ(461, picture.SizeInPixels(nullptr).cx);
    EXPECT_EQ(445, picture.SizeInPixels(nullptr).cy);

    Canvas natural, half, sized;
    ASSERT_TRUE(picture.Draw(natural.Dc(), 1.0));
    ASSERT_TRUE(picture.Draw(half.Dc(), 10, 20, 0.5));
    ASSERT_TRUE(picture.Draw(sized.Dc(), 5, 6, 100, 50, 2.0));
    RECT expected[] = {{0, 0, 461, 445}, {10, 20, 240, 242}, {5, 6, 205, 106}};
    RECT drawn[] = {natural.Drawn(), half.Drawn(), sized.Drawn()};
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(EqualRect(&expected[i], &drawn[i]))
            << i << ": " << drawn[i].left << "," << drawn[i].top << " " << drawn[i].right << "," << drawn[i].bottom;
    // The right way up.
    EXPECT_EQ(kTop, natural.Pixel(5, 5));
    EXPECT_EQ(kBottom, natural.Pixel(5, 440));
}

TEST(Picture, JpegLoadsFromFileAndMemory) {
    OleScope ole;
    // 37 x 23 pixels, made with
    // convert -size 37x12 xc:'#c02020' -size 37x11 xc:'#2040c0' -append -quality 95 sample.jpg
    std::wstring path = SourceDir() + L"tests\\wizard\\sample.jpg";
    Picture picture;
    ASSERT_EQ(Picture::kLoaded, picture.Load(PackageFile(path)));
    EXPECT_EQ(37, picture.SizeInPixels(nullptr).cx);
    EXPECT_EQ(23, picture.SizeInPixels(nullptr).cy);
    Canvas canvas;
    ASSERT_TRUE(picture.Draw(canvas.Dc(), 1.0));
    COLORREF top = canvas.Pixel(18, 3);
    EXPECT_GT(GetRValue(top), 160);
    EXPECT_LT(GetBValue(top), 80);

    std::string bytes = ReadBytes(path);
    Picture fromMemory;
    EXPECT_TRUE(fromMemory.LoadFromMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(37, fromMemory.SizeInPixels(canvas.Dc()).cx);
}

namespace {

// A 24-bit bitmap file in one colour, its right half in another when given.
std::string PlainBitmap(int width, int height, COLORREF left, COLORREF right) {
    int rowSize = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    file.bfSize = file.bfOffBits + rowSize * height;
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    for (int row = 0; row < height; ++row) {
        std::string line(rowSize, '\0');
        for (int x = 0; x < width; ++x) {
            COLORREF colour = x < width / 2 ? left : right;
            line[x * 3] = static_cast<char>(GetBValue(colour));
            line[x * 3 + 1] = static_cast<char>(GetGValue(colour));
            line[x * 3 + 2] = static_cast<char>(GetRValue(colour));
        }
        bytes += line;
    }
    return bytes;
}

const COLORREF kPlain = RGB(200, 0, 0), kDouble = RGB(0, 200, 0), kTriple = RGB(0, 0, 200);

}  // namespace

// "Name@2x.bmp" beside "Name.bmp": the variant that needs no enlarging wins, else the largest.
TEST(DensityPicture, TakesTheSharpestVariantThatSuitsTheDensity) {
    OleScope ole;
    TempDir temp;
    WriteBytes(temp / L"Back.bmp", PlainBitmap(40, 20, kPlain, kPlain));
    WriteBytes(temp / L"Back@2x.bmp", PlainBitmap(80, 40, kDouble, kDouble));
    WriteBytes(temp / L"Back@3x.bmp", PlainBitmap(120, 60, kTriple, kTriple));
    struct Case {
        int density, multiple;
        SIZE shown;
    } cases[] = {{96, 1, {40, 20}}, {120, 2, {50, 25}}, {144, 2, {60, 30}}, {192, 2, {80, 40}},
                 {240, 3, {100, 50}}, {288, 3, {120, 60}}, {384, 3, {160, 80}}};
    for (const Case& c : cases) {
        DensityOverride at(c.density);
        DensityPicture picture;
        ASSERT_EQ(Picture::kLoaded, picture.Load(PackageSource::Folder(temp.Path()), L"Back.bmp")) << c.density;
        EXPECT_EQ(c.multiple, picture.Multiple()) << c.density;
        EXPECT_EQ(40, picture.DesignSize().cx) << c.density;
        EXPECT_EQ(c.shown.cx, picture.ShownSize().cx) << c.density;
        EXPECT_EQ(c.shown.cy, picture.ShownSize().cy) << c.density;
        Canvas canvas;
        ASSERT_TRUE(picture.Draw(canvas.Dc(), 3, 4));
        RECT expected = {3, 4, 3 + c.shown.cx, 4 + c.shown.cy};
        RECT drawn = canvas.Drawn();
        EXPECT_TRUE(EqualRect(&expected, &drawn)) << c.density;
        EXPECT_EQ(c.multiple == 1 ? kPlain : c.multiple == 2 ? kDouble : kTriple, canvas.Pixel(10, 10)) << c.density;
    }
    // A variant that cannot be decoded is passed over for the next one.
    WriteBytes(temp / L"Back@2x.bmp", "not a picture");
    DensityOverride at(144);
    DensityPicture picture;
    ASSERT_EQ(Picture::kLoaded, picture.Load(PackageSource::Folder(temp.Path()), L"Back.bmp"));
    EXPECT_EQ(3, picture.Multiple());
}

TEST(DensityPicture, ScaledSmoothlyAndKeptUntilTheDensityChanges) {
    OleScope ole;
    TempDir temp;
    WriteBytes(temp / L"Halves.bmp", PlainBitmap(20, 10, RGB(255, 255, 255), RGB(0, 0, 0)));
    DensityPicture picture;
    ASSERT_EQ(Picture::kLoaded, picture.Load(PackageSource::Folder(temp.Path()), L"Halves.bmp"));
    {
        // At 96 the picture is drawn as it is, to the pixel.
        Canvas canvas;
        ASSERT_TRUE(picture.Draw(canvas.Dc(), 0, 0));
        EXPECT_EQ(RGB(255, 255, 255), canvas.Pixel(9, 5));
        EXPECT_EQ(RGB(0, 0, 0), canvas.Pixel(10, 5));
    }
    DensityOverride at(144);
    Canvas canvas;
    ASSERT_TRUE(picture.Draw(canvas.Dc(), 0, 0));
    // 30 x 15 pixels: where white met black, a pixel now lies between them; away from the
    // edge the colours stay pure.
    EXPECT_EQ(RGB(255, 255, 255), canvas.Pixel(2, 7));
    EXPECT_EQ(RGB(0, 0, 0), canvas.Pixel(27, 7));
    bool blended = false;
    for (int x = 13; x <= 16; ++x) {
        COLORREF p = canvas.Pixel(x, 7);
        if (GetRValue(p) > 20 && GetRValue(p) < 235) blended = true;
    }
    EXPECT_TRUE(blended) << "the edge between the halves is a hard step: not scaled smoothly";
    // Drawn again at the same density it comes out the same.
    Canvas again;
    ASSERT_TRUE(picture.Draw(again.Dc(), 0, 0));
    for (int x = 0; x < 30; ++x) EXPECT_EQ(canvas.Pixel(x, 7), again.Pixel(x, 7)) << x;
}

TEST(DensityPicture, VariantNames) {
    EXPECT_EQ(L"BackGround.bmp", DensityPicture::VariantName(L"BackGround.bmp", 1));
    EXPECT_EQ(L"BackGround@2x.bmp", DensityPicture::VariantName(L"BackGround.bmp", 2));
    EXPECT_EQ(L"Preloader@4x.jpg", DensityPicture::VariantName(L"Preloader.jpg", 4));
    EXPECT_EQ(L"Picture@3x", DensityPicture::VariantName(L"Picture", 3));
}
