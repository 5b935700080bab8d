// Saving scanned pages: two pages through the real tessel-scan become a
// two-page PDF whose text other programs read; a cancelled save leaves no
// file. Recognition takes seconds a page, so this runs in the plain build.
#include "PageCleaner.h"
#include "PdfExport.h"
#include "SyntheticPage.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

TEST(ScanPdfTest, TwoPagesBecomeASearchablePdfWithProgress)
{
    const synthetic::Page &page = synthetic::textPage();
    const QImage grey = scan::PageCleaner::clean(page.image, scan::ScanMode::Grey);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // A user's first scan: no Documents folder yet.
    const QString target = folder.filePath(QStringLiteral("Documents/Two pages.pdf"));

    PdfExport pdf;
    pdf.setProgram(QStringLiteral(TESSEL_SCAN_PROGRAM));
    QSignalSpy progress(&pdf, &PdfExport::progress);
    QSignalSpy finished(&pdf, &PdfExport::finished);
    QSignalSpy failed(&pdf, &PdfExport::failed);
    ASSERT_TRUE(pdf.start({grey, grey.transformed(QTransform().rotate(180))}, target));
    EXPECT_TRUE(pdf.running());
    EXPECT_FALSE(pdf.start({grey}, target)); // one at a time
    ASSERT_TRUE(finished.wait(240000)) << (failed.isEmpty() ? "" : failed.at(0).at(0).toString().toStdString());
    EXPECT_FALSE(pdf.running());
    EXPECT_EQ(finished.at(0).at(0).toString(), target);
    ASSERT_GE(progress.count(), 2);
    EXPECT_EQ(progress.last().at(0).toInt(), 2);
    EXPECT_EQ(progress.last().at(1).toInt(), 2);

    const QString info = run(QStringLiteral(TESSEL_PDFINFO), {target});
    EXPECT_TRUE(QRegularExpression(QStringLiteral("Pages:\\s+2\\n")).match(info).hasMatch()) << info.toStdString();
    const QString text = run(QStringLiteral(TESSEL_PDFTOTEXT), {target, QStringLiteral("-")});
    // The upside-down page is read upright too: every word of the page's
    // first line, twice.
    const QStringList firstLine = page.text.section(QLatin1Char('\n'), 0, 0).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ASSERT_FALSE(firstLine.isEmpty());
    for (const QString &word : firstLine)
        EXPECT_GE(text.count(word), 2) << word.toStdString() << "\n" << text.toStdString();
}

TEST(ScanPdfTest, CancelLeavesNoFileAndAMissingProgramFails)
{
    const QImage grey = scan::PageCleaner::clean(synthetic::textPage().image, scan::ScanMode::Grey);
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("cancelled.pdf"));
    PdfExport pdf;
    pdf.setProgram(QStringLiteral(TESSEL_SCAN_PROGRAM));
    QSignalSpy progress(&pdf, &PdfExport::progress);
    QSignalSpy cancelled(&pdf, &PdfExport::cancelled);
    QSignalSpy finished(&pdf, &PdfExport::finished);
    ASSERT_TRUE(pdf.start({grey, grey, grey}, target));
    // Once the command runs (the pages are written), stop it.
    ASSERT_TRUE(progress.wait(60000));
    pdf.cancel();
    ASSERT_TRUE(cancelled.wait(30000));
    EXPECT_EQ(finished.count(), 0);
    EXPECT_FALSE(pdf.running());
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());

    PdfExport missing;
    missing.setProgram(folder.filePath(QStringLiteral("no-such-program")));
    QSignalSpy failed(&missing, &PdfExport::failed);
    ASSERT_TRUE(missing.start({grey}, target));
    ASSERT_TRUE(failed.wait(30000));
    EXPECT_FALSE(missing.running());
    EXPECT_FALSE(QFile::exists(target));
}
