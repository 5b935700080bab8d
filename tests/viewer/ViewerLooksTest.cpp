// The window as people meet it: long texts in a narrow window, in long and
// right-to-left languages; icons on a dark theme and a 2x screen.
#include "ActionIcons.h"
#include "ElidedLabel.h"
#include "VideoView.h"
#include "ViewerTexts.h"
#include "config/UserInterfaceController.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The average colour of an icon's strokes (its nearly opaque pixels) and
// how many there are.
std::pair<QColor, int> strokes(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    double red = 0, green = 0, blue = 0;
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() < 230)
                continue;
            red += pixel.red();
            green += pixel.green();
            blue += pixel.blue();
            ++count;
        }
    if (count == 0)
        return {QColor(), 0};
    return {QColor(int(red / count), int(green / count), int(blue / count)), count};
}

} // namespace

TEST(ElidedLabelTest, AFileNameKeepsBothEndsInANarrowWindowInLongAndRightToLeftLanguages)
{
    const QString file = QStringLiteral(TESSEL_LANGUAGE_FILE);
    const QString path = QStringLiteral("/home/a.teacher.with.a.long.name/Pictures/Lessons/Chemistry 4B/Experiments/"
                                        "Tessel 2026-12-08 14-05-09 (2).jpg");
    for (const QString locale : {"en_US", "de_DE", "ru_RU", "ar_SA"}) {
        SCOPED_TRACE(locale.toStdString());
        const UserInterfaceController language(file, locale);
        const QString saved = ViewerTexts(language).text(ViewerTexts::Key::Saved).arg(path);

        QMainWindow window;
        window.setLayoutDirection(language.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
        window.setCentralWidget(new QWidget);
        auto *label = new ElidedLabel;
        window.statusBar()->addWidget(label, 1);
        window.statusBar()->addPermanentWidget(new QLabel(QStringLiteral("100 %")));
        window.resize(480, 320);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        label->setFullText(saved);
        QApplication::processEvents();

        // The window stays as narrow as it was; the text fits its label.
        EXPECT_EQ(window.width(), 480);
        const QString shown = label->text();
        EXPECT_NE(shown, saved);
        EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
        // The sentence's start and the file's name are both there.
        EXPECT_TRUE(shown.startsWith(saved.left(6))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QStringLiteral("(2).jpg"))) << shown.toStdString();
        EXPECT_EQ(label->toolTip(), saved);

        // Widened, the whole text shows again.
        window.resize(1600, 320);
        QApplication::processEvents();
        EXPECT_EQ(label->text(), saved);
        EXPECT_TRUE(label->toolTip().isEmpty());
    }
}

// The light pixels of the placeholder's texts (and its drawn camera).
int lightPixels(VideoView &view)
{
    const QImage image = view.grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qGray(image.pixel(x, y)) > 150 ? 1 : 0;
    return count;
}

TEST(VideoViewTest, ThePlaceholdersTextsWrapInANarrowWindowAndLoseNothing)
{
    // Wrapped onto more lines, the same words light the same number of
    // pixels; a line cut off would be missing from the count.
    for (const QString locale : {"ru_RU", "de_DE"}) {
        SCOPED_TRACE(locale.toStdString());
        const UserInterfaceController language(QStringLiteral(TESSEL_LANGUAGE_FILE), locale);
        const ViewerTexts texts(language);
        VideoView view;
        view.setPlaceholder(texts.text(ViewerTexts::Key::CameraBusy), texts.text(ViewerTexts::Key::BusyHint));
        view.resize(1600, 300); // one line each
        const int wide = lightPixels(view);
        view.resize(480, 300); // the same font (it follows the shorter side), more lines
        const int narrow = lightPixels(view);
        ASSERT_GT(wide, 1000);
        EXPECT_NEAR(narrow, wide, wide * 0.06);
    }
}

TEST(ActionIconsTest, DrawnInThePalettesTextColourAndSharpAtTwiceTheScale)
{
    const QPalette before = QApplication::palette();
    const QIcon icon = action_icons::make(action_icons::Icon::Capture);

    QPalette light = before;
    light.setColor(QPalette::Active, QPalette::WindowText, QColor(0x20, 0x20, 0x20));
    light.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x90, 0x90, 0x90));
    QApplication::setPalette(light);
    const auto [onLight, lightCount] = strokes(icon.pixmap(QSize(32, 32), 1.0));
    ASSERT_GT(lightCount, 40);
    EXPECT_LT(qGray(onLight.rgb()), 0x40);

    // A dark theme: the same icon, made before, now draws light strokes.
    QPalette dark = before;
    dark.setColor(QPalette::Window, QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::Active, QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x70, 0x70, 0x70));
    QApplication::setPalette(dark);
    const auto [onDark, darkCount] = strokes(icon.pixmap(QSize(32, 32), 1.0));
    EXPECT_GT(qGray(onDark.rgb()), 0xd0);
    const auto [disabled, disabledCount] = strokes(icon.pixmap(QSize(32, 32), 1.0, QIcon::Disabled));
    EXPECT_NEAR(qGray(disabled.rgb()), 0x70, 8);

    // At 2x: drawn at 64 device pixels, not a 32-pixel picture enlarged;
    // the strokes cover four times the pixels.
    const QPixmap sharp = icon.pixmap(QSize(32, 32), 2.0);
    EXPECT_EQ(sharp.size(), QSize(64, 64));
    EXPECT_DOUBLE_EQ(sharp.devicePixelRatio(), 2.0);
    const auto [onDarkAt2x, sharpCount] = strokes(sharp);
    EXPECT_NEAR(sharpCount, 4.0 * darkCount, darkCount);
    EXPECT_GT(qGray(onDarkAt2x.rgb()), 0xd0);
    // The toolbar's size too (QToolBar asks for the actual size).
    EXPECT_EQ(icon.actualSize(QSize(32, 32)), QSize(32, 32));

    QApplication::setPalette(before);
}
