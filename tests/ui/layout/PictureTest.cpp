#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>

#include "platform/ui/ScriptedUiService.h"
#include "platform/ui/TestApp.h"
#include "ui/controls/Picture.h"

using zns::ui::ScriptedUiService;

namespace {

long MulDivExpected(long pixels, int dpi) { return (pixels * 2540 / 96 * dpi + 1270) / 2540; }

class PictureTest : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return (dir.path() + "/" + name).toStdString(); }
    std::string WriteJpeg(const char* name, int w, int h) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(QColor(200, 30, 30));
        const std::string p = Path(name);
        EXPECT_TRUE(img.save(QString::fromStdString(p), "JPG"));
        return p;
    }

    QTemporaryDir dir;
    ScriptedUiService fake;
    zns::ui::ScopedService use{fake};
};

TEST_F(PictureTest, MissingFileShowsTheErrorOnceAndDrawsNothing) {
    CPicture pic;
    const std::string missing = Path("logo.jpg");
    EXPECT_FALSE(pic.Load(missing));
    ASSERT_EQ(fake.BoxCount(), 1u);
    EXPECT_EQ(fake.LastBox().caption, "CPicture Error");
    EXPECT_EQ(fake.LastBox().Icon(), MB_ICONHAND);
    EXPECT_EQ(fake.LastBox().text, missing + " was not found.");
    EXPECT_FALSE(pic.HasPicture());
    EXPECT_EQ(pic.m_Width, 0);
    EXPECT_EQ(pic.m_Height, 0);

    QImage canvas(50, 50, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    EXPECT_FALSE(pic.Show(&p, QRect(0, 0, 50, 50)));
    EXPECT_FALSE(pic.Show(nullptr, QRect(0, 0, 50, 50)));
    EXPECT_FALSE(pic.UpdateSizeOnDC(&p));
    p.end();
    EXPECT_EQ(canvas.pixel(25, 25), 0xFFFFFFFFu);
    EXPECT_EQ(fake.BoxCount(), 1u);
}

TEST_F(PictureTest, OverLongPathsAreCutInTheMessage) {
    CPicture pic;
    const std::string missing = Path("") + std::string(300, 'x');
    EXPECT_FALSE(pic.Load(missing));
    EXPECT_EQ(fake.LastBox().text.size(), 255u);
}

TEST_F(PictureTest, NotAnImageLeavesNoPictureAndNoBox) {
    const std::string p = Path("logo.jpg");
    std::ofstream(p, std::ios::binary) << "this is not a picture";
    CPicture pic;
    EXPECT_FALSE(pic.Load(p));
    EXPECT_FALSE(pic.HasPicture());
    EXPECT_EQ(pic.m_Width, 0);
    EXPECT_EQ(pic.m_Height, 0);
    EXPECT_EQ(pic.m_Size, 21);
    EXPECT_EQ(fake.BoxCount(), 0u);

    const std::string empty = Path("empty.jpg");
    std::ofstream(empty, std::ios::binary).flush();
    EXPECT_FALSE(pic.Load(empty));
    EXPECT_EQ(fake.BoxCount(), 0u);
}

TEST_F(PictureTest, LoadsSizesAndDrawsStretched) {
    const std::string p = WriteJpeg("logo.jpg", 40, 20);
    CPicture pic;
    ASSERT_TRUE(pic.Load(p));
    EXPECT_EQ(pic.m_Width, 40);
    EXPECT_EQ(pic.m_Height, 20);
    EXPECT_GT(pic.m_Size, 0);

    QImage canvas(200, 100, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        EXPECT_TRUE(pic.Show(&painter, QRect(10, 10, 160, 80)));
        EXPECT_TRUE(pic.UpdateSizeOnDC(&painter));
    }
    EXPECT_EQ(pic.m_Width, MulDivExpected(40, canvas.logicalDpiX()));
    const QColor inside(canvas.pixel(150, 80));
    EXPECT_GT(inside.red(), 150);
    EXPECT_LT(inside.green(), 80);
    EXPECT_EQ(canvas.pixel(5, 5), 0xFFFFFFFFu);     // outside the area
    EXPECT_EQ(canvas.pixel(180, 95), 0xFFFFFFFFu);

    // Loading again replaces; freeing clears.
    const std::string q = WriteJpeg("other.jpg", 8, 8);
    ASSERT_TRUE(pic.Load(q));
    EXPECT_EQ(pic.m_Width, 8);
    pic.FreePictureData();
    EXPECT_FALSE(pic.HasPicture());
    EXPECT_EQ(pic.m_Size, 0);
}

TEST_F(PictureTest, LogoComesFromTheProgramDirectory) {
    const char* old = std::getenv("ZNS_HOME");
    const std::string saved = old ? old : "";
    setenv("ZNS_HOME", dir.path().toStdString().c_str(), 1);
    EXPECT_EQ(CPicture::LogoPath(), Path("logo.jpg"));
    WriteJpeg("logo.jpg", 16, 16);
    CPicture pic;
    EXPECT_TRUE(pic.Load(CPicture::LogoPath()));
    if (old)
        setenv("ZNS_HOME", saved.c_str(), 1);
    else
        unsetenv("ZNS_HOME");
}

TEST_F(PictureTest, TheShippedLogoDecodes) {
    const char* src = std::getenv("ZNS_SOURCE_DIR");
    if (!src) GTEST_SKIP() << "ZNS_SOURCE_DIR not set";
    CPicture pic;
    ASSERT_TRUE(pic.Load(std::string(src) + "/resources/logo.jpg"));
    EXPECT_GT(pic.m_Width, 100);
    EXPECT_GT(pic.m_Height, 50);
    EXPECT_EQ(fake.BoxCount(), 0u);
}

}  // namespace
