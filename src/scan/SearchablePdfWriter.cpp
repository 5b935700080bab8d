#include "SearchablePdfWriter.h"

#include "ImageConversion.h"
#include "OcrLanguages.h"
#include "TextOrientation.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTransform>

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/renderer.h>

#include <unistd.h>

#include <cstdio>

namespace scan {

namespace {

// Below this mean word confidence the page may still be upside down (a page
// with little text, or not in Latin script): the turned page is read too,
// and the better reading kept.
constexpr int kDoubtfulConfidence = 60;

bool cancelRequested(void *flag, int)
{
    return static_cast<std::atomic<bool> *>(flag)->load();
}

} // namespace

SearchablePdfWriter::SearchablePdfWriter() = default;

SearchablePdfWriter::~SearchablePdfWriter()
{
    abandon();
}

bool SearchablePdfWriter::fail(const QString &reason)
{
    m_error = reason;
    abandon();
    return false;
}

void SearchablePdfWriter::abandon()
{
    m_renderer.reset();
    if (!m_temporaryPath.isEmpty())
        QFile::remove(m_temporaryPath);
    m_temporaryPath.clear();
}

bool SearchablePdfWriter::open(const QString &path, const Options &options)
{
    abandon();
    m_options = options;
    m_path = QFileInfo(path).absoluteFilePath();
    m_pages = 0;
    m_error.clear();
    m_cancelled = false;
    if (m_options.dataFolder.isEmpty())
        m_options.dataFolder = OcrLanguages::dataFolder();

    const QFileInfo target(m_path);
    if (!target.dir().exists())
        return fail(QStringLiteral("cannot write %1: the folder %2 does not exist").arg(m_path, target.absolutePath()));
    if (target.isDir())
        return fail(QStringLiteral("cannot write %1: it is a folder").arg(m_path));

    // Tesseract itself goes on without a language whose data is missing.
    for (const QString &language : m_options.languages) {
        if (!OcrLanguages::installed(language, m_options.dataFolder)) {
            return fail(QStringLiteral("no OCR data for %1 in %2 (package tesseract-ocr-%3)")
                            .arg(language, m_options.dataFolder, QString(language).replace(u'_', u'-')));
        }
    }
    m_api = std::make_unique<tesseract::TessBaseAPI>();
    const QByteArray dataFolder = QFile::encodeName(m_options.dataFolder);
    const QByteArray languages = m_options.languages.join(u'+').toUtf8();
    if (m_api->Init(dataFolder.constData(), languages.constData(), tesseract::OEM_LSTM_ONLY) != 0) {
        m_api.reset();
        return fail(QStringLiteral("no OCR data for %1 in %2 (packages tesseract-ocr-LANG)")
                        .arg(QString::fromUtf8(languages), m_options.dataFolder));
    }
    m_api->SetVariable("jpg_quality", QByteArray::number(m_options.jpegQuality).constData());

    m_temporaryPath = temporaryPathFor(m_path);
    // The renderer adds ".pdf" to the name it is given.
    const QString base = m_temporaryPath.chopped(4);
    m_renderer = std::make_unique<tesseract::TessPDFRenderer>(QFile::encodeName(base).constData(),
                                                              dataFolder.constData(), false);
    const QByteArray title = (m_options.title.isEmpty() ? target.completeBaseName() : m_options.title).toUtf8();
    if (!m_renderer->happy() || !m_renderer->BeginDocument(title.constData()))
        return fail(QStringLiteral("cannot write %1: the folder %2 does not take new files")
                        .arg(m_path, target.absolutePath()));
    return true;
}

QString SearchablePdfWriter::temporaryPathFor(const QString &path)
{
    const QFileInfo target(path);
    return target.absoluteDir().filePath(QStringLiteral(".%1.%2.partial.pdf").arg(target.fileName()).arg(::getpid()));
}

bool SearchablePdfWriter::recognise(const QImage &page, int *confidence)
{
    Pix *pix = pixFromImage(page, m_options.dotsPerInch);
    m_api->SetInputName(nullptr);
    m_api->SetImage(pix);
    m_api->SetSourceResolution(m_options.dotsPerInch);
    pixDestroy(&pix);
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &cancelRequested;
    monitor.cancel_this = &m_cancelled;
    const bool recognised = m_api->Recognize(&monitor) == 0 && !m_cancelled;
    *confidence = recognised ? m_api->MeanTextConf() : 0;
    return recognised;
}

bool SearchablePdfWriter::addPage(const QImage &page)
{
    if (!m_renderer)
        return false;
    if (page.isNull())
        return fail(QStringLiteral("cannot write %1: an empty page").arg(m_path));

    const int turn = TextOrientation::uprightTurn(page);
    QImage upright = turn == 0 ? page : page.transformed(QTransform().rotate(turn));
    int confidence = 0;
    if (!recognise(upright, &confidence))
        return fail(failedRecognition());
    if (confidence < kDoubtfulConfidence) {
        const QImage turned = upright.transformed(QTransform().rotate(180));
        int turnedConfidence = 0;
        if (!recognise(turned, &turnedConfidence))
            return fail(failedRecognition());
        if (turnedConfidence > confidence) {
            upright = turned;
        } else if (!recognise(upright, &confidence)) {
            return fail(failedRecognition());
        }
    }
    const std::unique_ptr<char[]> text(m_api->GetUTF8Text());
    m_lastPageText = QString::fromUtf8(text ? text.get() : "");
    if (!m_renderer->AddImage(m_api.get()) || !m_renderer->happy())
        return fail(QStringLiteral("cannot write %1 (%2)").arg(m_path, m_temporaryPath));
    ++m_pages;
    return true;
}

bool SearchablePdfWriter::finish()
{
    if (!m_renderer)
        return false;
    if (m_pages == 0)
        return fail(QStringLiteral("cannot write %1: no pages").arg(m_path));
    const bool ended = m_renderer->EndDocument() && m_renderer->happy();
    m_renderer.reset(); // closes the file
    if (!ended)
        return fail(QStringLiteral("cannot write %1 (%2)").arg(m_path, m_temporaryPath));
    QFile written(m_temporaryPath);
    if (!written.open(QIODevice::ReadWrite) || ::fsync(written.handle()) != 0)
        return fail(QStringLiteral("cannot write %1 (%2)").arg(m_path, m_temporaryPath));
    written.close();
    if (std::rename(QFile::encodeName(m_temporaryPath).constData(), QFile::encodeName(m_path).constData()) != 0)
        return fail(QStringLiteral("cannot write %1: renaming %2 failed").arg(m_path, m_temporaryPath));
    m_temporaryPath.clear();
    m_api.reset();
    return true;
}

QString SearchablePdfWriter::failedRecognition() const
{
    return m_cancelled ? QStringLiteral("cancelled") : QStringLiteral("cannot write %1: recognition failed").arg(m_path);
}

void SearchablePdfWriter::cancel()
{
    m_cancelled = true;
}

} // namespace scan
