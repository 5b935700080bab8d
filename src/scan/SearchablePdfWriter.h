#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

namespace tesseract {
class TessBaseAPI;
class TessPDFRenderer;
} // namespace tesseract

namespace scan {

// Writes cleaned pages into a searchable PDF with Tesseract's own renderer:
// each page's picture (1-bit pages as G4, the others as JPEG) under an
// invisible layer of the recognised text. Pages are appended as they come;
// the file is written under a temporary name beside the target and renamed
// when finished, so the target is either the whole document or untouched.
//
// Recognition belongs in a helper process started with OMP_THREAD_LIMIT=1
// (see OcrThreadLimit.h). One writer is used from one thread; cancel() may
// be called from any.
class SearchablePdfWriter
{
public:
    struct Options
    {
        QStringList languages{QStringLiteral("eng")};
        QString dataFolder; // empty: OcrLanguages::dataFolder()
        QString title;
        int dotsPerInch = 300;
        int jpegQuality = 75;
    };

    SearchablePdfWriter();
    ~SearchablePdfWriter(); // an unfinished document is removed
    SearchablePdfWriter(const SearchablePdfWriter &) = delete;
    SearchablePdfWriter &operator=(const SearchablePdfWriter &) = delete;

    bool open(const QString &path, const Options &options);
    // The page as it is to appear; a page whose text is turned a quarter or
    // half a turn is turned upright first (TextOrientation).
    bool addPage(const QImage &page);
    bool finish();
    // Stops the page being recognised; the writer then fails and leaves no file.
    void cancel();
    void abandon();

    // Where the document is written until it is finished, for a target.
    static QString temporaryPathFor(const QString &path);

    QString error() const { return m_error; } // a sentence naming the target
    QString temporaryPath() const { return m_temporaryPath; }
    QString lastPageText() const { return m_lastPageText; }
    int pageCount() const { return m_pages; }

private:
    bool recognise(const QImage &page, int *confidence);
    bool fail(const QString &reason);
    QString failedRecognition() const;

    std::unique_ptr<tesseract::TessBaseAPI> m_api;
    std::unique_ptr<tesseract::TessPDFRenderer> m_renderer;
    Options m_options;
    QString m_path;
    QString m_temporaryPath;
    QString m_error;
    QString m_lastPageText;
    int m_pages = 0;
    std::atomic<bool> m_cancelled{false};
};

} // namespace scan
