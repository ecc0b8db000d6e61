#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/TestSupport.h"
#include "tests/wizard/WizardTestSupport.h"
#include "framework/Handles.h"
#include "wizard/Picture.h"

namespace {

const COLORREF kTop = RGB(192, 32, 32);
const COLORREF kBottom = RGB(32, 64, 192);

// A 24-bit bitmap file, its upper half in one colour and its lower half in another.
std::string BitmapFile(int width, int height) {
    int rowSize = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + rowSize * height;
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // rows stored bottom-up
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    for (int row = height - 1; row >= 0; --row) {
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

// A white memory canvas that reports where something was drawn on it.
class Canvas {
public:
    Canvas(int width, int height) : dc_(::CreateCompatibleDC(nullptr)), width_(width), height_(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        bitmap_.Reset(::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels_), nullptr, 0));
        previous_ = ::SelectObject(dc_, bitmap_.Get());
        RECT all = {0, 0, width, height};
        ::FillRect(dc_, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    }
    ~Canvas() {
        ::SelectObject(dc_, previous_);
        ::DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC Dc() const { return dc_; }
    COLORREF Pixel(int x, int y) const {
        ::GdiFlush();
        DWORD p = pixels_[y * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // The smallest rectangle holding every pixel that is no longer white.
    RECT Drawn() const {
        RECT box = {width_, height_, 0, 0};
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (Pixel(x, y) != RGB(255, 255, 255)) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box;
    }

private:
    HDC dc_;
    int width_, height_;
    Bitmap bitmap_;
    DWORD* pixels_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

bool Near(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) < 24 && std::abs(GetGValue(a) - GetGValue(b)) < 24 &&
           std::abs(GetBValue(a) - GetBValue(b)) < 24;
}

}  // namespace

TEST(Picture, EmptyMissingAndUndecodableFiles) {
    OleScope ole;
    TempDir temp;
    Picture picture;
    EXPECT_EQ(Picture::kUnreadable, picture.Load(temp / L"missing.bmp"));

    // An empty file never reaches the decoder, which would call it undecodable.
    WriteBytes(temp / L"empty.jpg", "");
    EXPECT_EQ(Picture::kUnreadable, picture.Load(temp / L"empty.jpg"));
    EXPECT_EQ(temp / L"empty.jpg", picture.Path());

    WriteBytes(temp / L"text.jpg", "This is a line of text, not a picture.\r\n");
    EXPECT_EQ(Picture::kUndecodable, picture.Load(temp / L"text.jpg"));
    EXPECT_FALSE(picture.Loaded());
    SIZE size = picture.SizeInPixels(nullptr);
    EXPECT_EQ(0, size.cx);
    EXPECT_EQ(0, size.cy);
    Canvas canvas(10, 10);
    EXPECT_FALSE(picture.Draw(canvas.Dc(), 1.0));

    // A new load replaces the picture, and a failing one leaves none.
    WriteBytes(temp / L"small.bmp", BitmapFile(8, 8));
    EXPECT_EQ(Picture::kLoaded, picture.Load(temp / L"small.bmp"));
    EXPECT_EQ(Picture::kUndecodable, picture.Load(temp / L"text.jpg"));
    EXPECT_FALSE(picture.Loaded());
}

TEST(Picture, BitmapDrawsAtItsPixelSizeAndScaled) {
    OleScope ole;
    TempDir temp;
    WriteBytes(temp / L"BackGround.bmp", BitmapFile(461, 445));
    Picture picture;
    ASSERT_EQ(Picture::kLoaded, picture.Load(temp / L"BackGround.bmp"));
    SIZE size = picture.SizeInPixels(nullptr);
    EXPECT_EQ(461, size.cx);
    EXPECT_EQ(445, size.cy);

    {
        Canvas canvas(600, 600);
        ASSERT_TRUE(picture.Draw(canvas.Dc(), 1.0));
        RECT drawn = canvas.Drawn();
        EXPECT_EQ(0, drawn.left);
        EXPECT_EQ(0, drawn.top);
        EXPECT_EQ(461, drawn.right);
        EXPECT_EQ(445, drawn.bottom);
        // The right way up.
        EXPECT_EQ(kTop, canvas.Pixel(5, 5));
        EXPECT_EQ(kBottom, canvas.Pixel(5, 440));
    }
    {
        Canvas canvas(600, 600);
        ASSERT_TRUE(picture.Draw(canvas.Dc(), 0.5));
        RECT drawn = canvas.Drawn();
        EXPECT_EQ(230, drawn.right - drawn.left);
        EXPECT_EQ(222, drawn.bottom - drawn.top);
    }
    {
        Canvas canvas(600, 600);
        ASSERT_TRUE(picture.Draw(canvas.Dc(), 10, 20, 0.5));
        RECT drawn = canvas.Drawn();
        EXPECT_EQ(10, drawn.left);
        EXPECT_EQ(20, drawn.top);
        EXPECT_EQ(240, drawn.right);
        EXPECT_EQ(242, drawn.bottom);
    }
    {
        Canvas canvas(600, 600);
        ASSERT_TRUE(picture.Draw(canvas.Dc(), 5, 6, 100, 50, 2.0));
        RECT drawn = canvas.Drawn();
        EXPECT_EQ(5, drawn.left);
        EXPECT_EQ(6, drawn.top);
        EXPECT_EQ(205, drawn.right);
        EXPECT_EQ(106, drawn.bottom);
    }
}

TEST(Picture, JpegLoadsFromFileAndMemory) {
    OleScope ole;
    // sample.jpg: 37 x 23 pixels, upper 12 rows one colour, the rest another, made with
    // convert -size 37x12 xc:'#c02020' -size 37x11 xc:'#2040c0' -append -quality 95 sample.jpg
    std::wstring path = SourceDir() + L"tests\\wizard\\sample.jpg";
    Picture picture;
    ASSERT_EQ(Picture::kLoaded, picture.Load(path));
    SIZE size = picture.SizeInPixels(nullptr);
    EXPECT_EQ(37, size.cx);
    EXPECT_EQ(23, size.cy);
    Canvas canvas(50, 50);
    ASSERT_TRUE(picture.Draw(canvas.Dc(), 1.0));
    EXPECT_TRUE(Near(kTop, canvas.Pixel(18, 3)));
    EXPECT_TRUE(Near(kBottom, canvas.Pixel(18, 20)));

    std::string bytes = ReadBytes(path);
    Picture fromMemory;
    EXPECT_TRUE(fromMemory.LoadFromMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(37, fromMemory.SizeInPixels(canvas.Dc()).cx);
    EXPECT_FALSE(fromMemory.LoadFromMemory(bytes.data(), bytes.size() / 4));
}
