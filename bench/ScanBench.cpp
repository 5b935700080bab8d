// The scan engine on the synthetic desk scenes: how well and how fast the
// page is found in every scene, and, for a few, how fast a page goes from
// the still to its page in a PDF, how well its text is read back, and how
// large the page is in the file.
//
//   scan_bench [finding-repeats] [find]   (find: page finding only)
#include "OcrThreadLimit.h"
#include "PageCleaner.h"
#include "PageFinder.h"
#include "PageScore.h"
#include "PageStraightener.h"
#include "SearchablePdfWriter.h"
#include "SyntheticPage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

const char *foundByName(scan::FoundBy foundBy)
{
    switch (foundBy) {
    case scan::FoundBy::Contours:
        return "outline";
    case scan::FoundBy::Lines:
        return "lines";
    case scan::FoundBy::WholeFrame:
        return "NOT FOUND";
    }
    return "";
}

struct PressToPdf
{
    double seconds = 0;
    double characterErrorRate = 0;
    qint64 bytes = 0;
    int confidence = 0;
};

PressToPdf pressToPdf(const synthetic::Picture &picture, const scan::PageCorners &corners, scan::ScanMode mode,
                      const QString &path)
{
    PressToPdf result;
    QElapsedTimer timer;
    timer.start();
    const QImage page = scan::PageCleaner::clean(scan::PageStraightener::straighten(picture.frame, corners), mode);
    scan::SearchablePdfWriter writer;
    if (!writer.open(path, {}) || !writer.addPage(page) || !writer.finish()) {
        std::fprintf(stderr, "scan_bench: %s\n", qPrintable(writer.error()));
        return result;
    }
    result.seconds = timer.nsecsElapsed() / 1e9;
    result.characterErrorRate = score::characterErrorRate(writer.lastPageText(), synthetic::textPage().text);
    result.bytes = QFileInfo(path).size();
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    scan::OcrThreadLimit::restartWithOneThreadIfNeeded(argv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv);
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QSizeF a4(2480, 3508);

    std::printf("Page finding, %dx%d frames, median of %d runs each\n", synthetic::kFrameWidth,
                synthetic::kFrameHeight, repeats);
    std::printf("%-30s %-10s %8s %10s %8s\n", "scene", "found by", "Jaccard", "corner px", "ms");
    const scan::PageFinder finder;
    double sumJaccard = 0;
    double worstCorner = 0;
    double worstMs = 0;
    std::vector<double> allMs;
    int found = 0;
    const std::vector<synthetic::Scene> scenes = synthetic::deskScenes();
    std::vector<synthetic::Picture> pictures;
    std::vector<scan::FoundPage> answers;
    for (const synthetic::Scene &scene : scenes) {
        synthetic::Picture picture = synthetic::photograph(scene);
        std::vector<double> ms;
        scan::FoundPage answer;
        for (int i = 0; i < repeats; ++i) {
            QElapsedTimer timer;
            timer.start();
            answer = finder.find(picture.frame);
            ms.push_back(timer.nsecsElapsed() / 1e6);
        }
        const double jaccard = score::jaccard(answer.corners, picture.page, a4);
        const double corner = score::worstCornerError(answer.corners, picture.page);
        std::printf("%-30s %-10s %8.4f %10.1f %8.1f\n", scene.name, foundByName(answer.foundBy), jaccard, corner,
                    median(ms));
        sumJaccard += jaccard;
        worstCorner = std::max(worstCorner, corner);
        worstMs = std::max(worstMs, *std::max_element(ms.begin(), ms.end()));
        allMs.insert(allMs.end(), ms.begin(), ms.end());
        found += answer.found() ? 1 : 0;
        pictures.push_back(std::move(picture));
        answers.push_back(answer);
    }
    std::printf("mean Jaccard %.4f (target >= 0.99), found %d of %zu, worst corner %.1f px (target <= 10), "
                "finding median %.1f ms, slowest %.1f ms (target <= 150)\n\n",
                sumJaccard / static_cast<double>(scenes.size()), found, scenes.size(), worstCorner, median(allMs),
                worstMs);

    // The viewer's scan mode follows the page in frames made for its window
    // (about 1000 pixels wide), without the full-size corner fitting.
    scan::PageFinder::Settings liveSettings;
    liveSettings.refineAtFullSize = false;
    const scan::PageFinder liveFinder(liveSettings);
    std::vector<double> liveMs;
    int liveFound = 0;
    for (const synthetic::Picture &picture : pictures) {
        const QImage frame = picture.frame.scaledToWidth(1088, Qt::SmoothTransformation);
        for (int i = 0; i < repeats; ++i) {
            QElapsedTimer timer;
            timer.start();
            const scan::FoundPage answer = liveFinder.find(frame);
            liveMs.push_back(timer.nsecsElapsed() / 1e6);
            liveFound += (i == 0 && answer.found()) ? 1 : 0;
        }
    }
    const double liveSlowest = *std::max_element(liveMs.begin(), liveMs.end());
    std::printf("Live outline (scan mode), 1088x816 frames: found %d of %zu, median %.1f ms, slowest %.1f ms, "
                "so at least %.1f outlines a second on one core (target >= 5)\n\n",
                liveFound, pictures.size(), median(liveMs), liveSlowest, 1000.0 / liveSlowest);

    if (argc > 2 && std::strcmp(argv[2], "find") == 0)
        return 0;
    std::printf("Press to PDF (straighten, clean, recognise, write), one page, OMP threads %d\n",
                scan::OcrThreadLimit::effectiveLimit());
    std::printf("%-30s %-7s %8s %8s %10s\n", "scene", "mode", "s", "CER %", "KB");
    QTemporaryDir folder;
    const std::vector<std::pair<std::size_t, scan::ScanMode>> runs{
        {0, scan::ScanMode::Grey},   {0, scan::ScanMode::BlackAndWhite}, {0, scan::ScanMode::Colour},
        {4, scan::ScanMode::Grey},   {4, scan::ScanMode::BlackAndWhite}, {4, scan::ScanMode::Colour},
        {7, scan::ScanMode::Grey},   {10, scan::ScanMode::BlackAndWhite}, {9, scan::ScanMode::Grey},
    };
    int run = 0;
    for (const auto &[index, mode] : runs) {
        const QString path = folder.filePath(QStringLiteral("page%1.pdf").arg(run++));
        const PressToPdf result = pressToPdf(pictures[index], answers[index].corners, mode, path);
        std::printf("%-30s %-7s %8.2f %8.2f %10.0f\n", scenes[index].name, qPrintable(scan::scanModeName(mode)),
                    result.seconds, 100 * result.characterErrorRate, result.bytes / 1024.0);
    }
    std::printf("targets: <= 5 s a page, CER <= 1 %% (grey and bw), bw <= 200 KB, colour <= 1.5 MB\n");
    return 0;
}
