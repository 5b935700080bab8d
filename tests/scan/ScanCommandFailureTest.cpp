// tessel-scan's failures: an image it cannot read, a PDF it cannot write,
// and being stopped half way each give a non-zero exit, a reason on
// standard error, and no file (or the old file untouched).
#include "SyntheticPage.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

namespace {

struct Outcome
{
    int exitCode = -1;
    QString errors;
};

Outcome runScan(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(TESSEL_SCAN_PROGRAM), arguments);
    EXPECT_TRUE(process.waitForFinished(120000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

struct Folders
{
    QTemporaryDir input;
    QTemporaryDir output;
    QString goodImage;

    Folders()
    {
        goodImage = input.filePath(QStringLiteral("page.png"));
        QImage small(300, 200, QImage::Format_RGB888);
        small.fill(Qt::white);
        small.save(goodImage);
    }
};

struct FailureCase
{
    const char *name;
    // The arguments, given the folders.
    std::function<QStringList(Folders &)> arguments;
    const char *reason; // on standard error
};

void PrintTo(const FailureCase &c, std::ostream *out)
{
    *out << c.name;
}

class ScanCommandFailureTest : public ::testing::TestWithParam<FailureCase>
{
};

TEST_P(ScanCommandFailureTest, ExitsNonZeroAndLeavesNoFile)
{
    Folders folders;
    const QStringList before = filesIn(folders.output.path());
    const Outcome outcome = runScan(GetParam().arguments(folders));

    EXPECT_NE(outcome.exitCode, 0);
    EXPECT_TRUE(outcome.errors.contains(QString::fromLatin1(GetParam().reason))) << qPrintable(outcome.errors);
    EXPECT_EQ(filesIn(folders.output.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ScanCommandFailureTest,
    ::testing::Values(
        FailureCase{"missing_image",
                    [](Folders &f) {
                        return QStringList{f.goodImage, f.input.filePath("gone.jpg"), "-o", f.output.filePath("out.pdf")};
                    },
                    "cannot read the image"},
        FailureCase{"not_an_image",
                    [](Folders &f) {
                        QFile text(f.input.filePath("notes.jpg"));
                        text.open(QIODevice::WriteOnly);
                        text.write("these are words, not a picture\n");
                        text.close();
                        return QStringList{text.fileName(), "-o", f.output.filePath("out.pdf")};
                    },
                    "cannot read the image"},
        FailureCase{"truncated_image",
                    [](Folders &f) {
                        QFile png(f.goodImage);
                        png.open(QIODevice::ReadOnly);
                        const QByteArray head = png.read(60);
                        QFile cut(f.input.filePath("cut.png"));
                        cut.open(QIODevice::WriteOnly);
                        cut.write(head);
                        cut.close();
                        return QStringList{cut.fileName(), "-o", f.output.filePath("out.pdf")};
                    },
                    "cannot read the image"},
        FailureCase{"missing_output_folder",
                    [](Folders &f) {
                        return QStringList{f.goodImage, "-o", f.output.filePath("no/such/folder/out.pdf")};
                    },
                    "cannot write"},
        FailureCase{"output_is_a_folder",
                    [](Folders &f) {
                        QDir(f.output.path()).mkdir("taken.pdf");
                        return QStringList{f.goodImage, "-o", f.output.filePath("taken.pdf")};
                    },
                    "cannot write"},
        // Even root cannot create files in /proc.
        FailureCase{"unwritable_output_folder",
                    [](Folders &f) { return QStringList{f.goodImage, "-o", "/proc/tessel-scan-test.pdf"}; },
                    "cannot write"},
        FailureCase{"missing_language_data",
                    [](Folders &f) {
                        return QStringList{f.goodImage, "--lang", "eng+zzz", "-o", f.output.filePath("out.pdf")};
                    },
                    "no OCR data for zzz"},
        FailureCase{"unknown_mode",
                    [](Folders &f) {
                        return QStringList{f.goodImage, "--mode", "sepia", "-o", f.output.filePath("out.pdf")};
                    },
                    "unknown mode"}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(ScanCommandTest, AFailedRunLeavesAnEarlierDocumentUntouched)
{
    Folders folders;
    const QString earlier = folders.output.filePath(QStringLiteral("kept.pdf"));
    QFile file(earlier);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("%PDF-1.5 an earlier scan\n");
    file.close();

    const Outcome outcome = runScan({folders.input.filePath(QStringLiteral("gone.png")), QStringLiteral("-o"), earlier});
    EXPECT_EQ(outcome.exitCode, 1);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("%PDF-1.5 an earlier scan\n"));
    EXPECT_EQ(filesIn(folders.output.path()), QStringList{QStringLiteral("kept.pdf")});
}

TEST(ScanCommandTest, StoppedHalfWayLeavesNoPartialFile)
{
    Folders folders;
    const QString photo = folders.input.filePath(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(synthetic::photograph(synthetic::deskScenes().at(0)).frame.save(photo, "JPEG", 90));

    QProcess process;
    process.start(QStringLiteral(TESSEL_SCAN_PROGRAM),
                  {photo, photo, QStringLiteral("-o"), folders.output.filePath(QStringLiteral("out.pdf"))});
    ASSERT_TRUE(process.waitForStarted());
    // The document is begun under its temporary name before the first page
    // is recognised; stop the command once it is there.
    QElapsedTimer waited;
    waited.start();
    while (filesIn(folders.output.path()).isEmpty() && process.state() == QProcess::Running && waited.elapsed() < 60000)
        QThread::msleep(20);
    ASSERT_EQ(filesIn(folders.output.path()).size(), 1);
    EXPECT_TRUE(filesIn(folders.output.path()).first().endsWith(QStringLiteral(".partial.pdf")));
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(30000));

    EXPECT_NE(process.exitCode(), 0);
    EXPECT_TRUE(filesIn(folders.output.path()).isEmpty()) << qPrintable(filesIn(folders.output.path()).join(' '));
}

} // namespace
