#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "framework/Handles.h"
#include "tests/support/TestSupport.h"
#include "tests/wizard/WizardTestSupport.h"
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
