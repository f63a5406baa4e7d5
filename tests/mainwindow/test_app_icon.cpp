#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

// The window icon is built into the program from the same pictures the menu entry installs.
TEST(AppIcon, EverySizeIsBuiltIn)
{
    for (const int size : {32, 64, 256}) {
        const QImage image(QStringLiteral(":/icons/trevalon-%1.png").arg(size));
        ASSERT_FALSE(image.isNull()) << size;
        EXPECT_EQ(image.size(), QSize(size, size));
    }
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/icons/trevalon.svg")));
}
