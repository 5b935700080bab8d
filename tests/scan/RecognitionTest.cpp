// From a photo of a page to a searchable PDF: the page is found,
// straightened, cleaned and recognised, and the PDF carries the page's
// picture at A4 size with its text readable by other programs (pdftotext).
// Seconds a page: the plain build only.
#include "OcrThreadLimit.h"
#include "PageCleaner.h"
#include "PageFinder.h"
#include "PageScore.h"
#include "PageStraightener.h"
#include "SearchablePdfWriter.h"
#include "SyntheticPage.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

QString output(const char *program, const QStringList &arguments)
{
    QProcess process;
    process.start(QString::fromLatin1(program), arguments);
    EXPECT_TRUE(process.waitForFinished(60000)) << program;
    EXPECT_EQ(process.exitCode(), 0) << program << ": " << process.readAllStandardError().constData();
    return QString::fromUtf8(process.readAllStandardOutput());
}

struct RecognitionCase
{
    const char *name;
    std::size_t scene; // in synthetic::deskScenes()
    scan::ScanMode mode;
    const char *encoding; // of the page's picture in the PDF, as pdfimages names it
    int components;
};

void PrintTo(const RecognitionCase &c, std::ostream *out)
{
    *out << c.name;
}

class RecognitionTest : public ::testing::TestWithParam<RecognitionCase>
{
};

TEST_P(RecognitionTest, WritesTheFoundPageWithItsTextIntoThePdf)
{
    ASSERT_EQ(scan::OcrThreadLimit::effectiveLimit(), 1) << "OMP_THREAD_LIMIT=1 must be set as the test starts";
    const RecognitionCase &c = GetParam();
    const synthetic::Picture picture = synthetic::photograph(synthetic::deskScenes().at(c.scene));
    const scan::FoundPage found = scan::PageFinder().find(picture.frame);
    ASSERT_TRUE(found.found());
    const QImage page =
        scan::PageCleaner::clean(scan::PageStraightener::straighten(picture.frame, found.corners), c.mode);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("scan.pdf"));
    scan::SearchablePdfWriter writer;
    ASSERT_TRUE(writer.open(path, {})) << qPrintable(writer.error());
    ASSERT_TRUE(writer.addPage(page)) << qPrintable(writer.error());
    ASSERT_TRUE(writer.finish()) << qPrintable(writer.error());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("scan.pdf")});

    const QString &expected = synthetic::textPage().text;
    EXPECT_LE(score::characterErrorRate(writer.lastPageText(), expected), 0.01) << qPrintable(writer.lastPageText());
    const QString layer = output(TESSEL_PDFTOTEXT, {path, QStringLiteral("-")});
    EXPECT_LE(score::characterErrorRate(layer, expected), 0.01) << qPrintable(layer);

    const QString info = output(TESSEL_PDFINFO, {path});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages: +1\\n")))) << qPrintable(info);
    EXPECT_TRUE(info.contains(QStringLiteral("595.2 x 841.92 pts (A4)"))) << qPrintable(info);

    // pdfimages -list: page num type width height color comp bpc enc ...
    const QStringList images = output(TESSEL_PDFIMAGES, {QStringLiteral("-list"), path}).split(u'\n');
    ASSERT_GE(images.size(), 3);
    const QStringList columns = images.at(2).simplified().split(u' ');
    ASSERT_GE(columns.size(), 9);
    EXPECT_EQ(columns.at(3), QStringLiteral("2480"));
    EXPECT_EQ(columns.at(4), QStringLiteral("3508"));
    EXPECT_EQ(columns.at(6).toInt(), c.components);
    EXPECT_EQ(columns.at(8), QString::fromLatin1(c.encoding));
}

INSTANTIATE_TEST_SUITE_P(
    Pages, RecognitionTest,
    ::testing::Values(RecognitionCase{"wood_grey", 0, scan::ScanMode::Grey, "jpeg", 1},
                      RecognitionCase{"lamp_shadow_bw", 4, scan::ScanMode::BlackAndWhite, "ccitt", 1},
                      RecognitionCase{"hand_colour", 7, scan::ScanMode::Colour, "jpeg", 3},
                      RecognitionCase{"upside_down_bw", 10, scan::ScanMode::BlackAndWhite, "ccitt", 1},
                      RecognitionCase{"quarter_turn_grey", 9, scan::ScanMode::Grey, "jpeg", 1}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(ScanCommandTest, ScansPhotosIntoOneDocumentWithOneOcrThread)
{
    QTemporaryDir folder;
    QStringList arguments;
    for (const std::size_t scene : {5, 12}) {
        const QString photo = folder.filePath(QStringLiteral("photo%1.jpg").arg(scene));
        ASSERT_TRUE(synthetic::photograph(synthetic::deskScenes().at(scene)).frame.save(photo, "JPEG", 90));
        arguments << photo;
    }
    const QString path = folder.filePath(QStringLiteral("out/two pages.pdf"));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("out")));
    arguments << QStringLiteral("--mode") << QStringLiteral("bw") << QStringLiteral("--lang") << QStringLiteral("eng")
              << QStringLiteral("--progress") << QStringLiteral("-o") << path;

    QProcess process;
    // Started without the limit: the command must set it for itself.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("OMP_THREAD_LIMIT"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TESSEL_SCAN_PROGRAM), arguments);
    ASSERT_TRUE(process.waitForFinished(120000));
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    ASSERT_EQ(process.exitCode(), 0) << qPrintable(errors);
    EXPECT_TRUE(errors.contains(QStringLiteral("OCR languages: eng threads: 1"))) << qPrintable(errors);
    EXPECT_EQ(QString::fromLatin1(process.readAllStandardOutput()), QStringLiteral("page 1/2\npage 2/2\n"));

    EXPECT_EQ(QDir(folder.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("two pages.pdf")});
    EXPECT_TRUE(output(TESSEL_PDFINFO, {path}).contains(QRegularExpression(QStringLiteral("Pages: +2\\n"))));
    const QStringList pages = output(TESSEL_PDFTOTEXT, {path, QStringLiteral("-")}).split(u'\f', Qt::SkipEmptyParts);
    ASSERT_EQ(pages.size(), 2);
    for (const QString &page : pages)
        EXPECT_LE(score::characterErrorRate(page, synthetic::textPage().text), 0.01) << qPrintable(page);
}

} // namespace
