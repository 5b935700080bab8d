// Which Tesseract data a page is recognised with: English and the user's
// language where its data is installed.
#include "OcrLanguages.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

TEST(OcrLanguagesTest, AddsTheUsersLanguageOnlyWhereItsDataIsInstalled)
{
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    for (const char *name : {"eng", "deu", "chi_tra"}) {
        QFile file(data.filePath(QString::fromLatin1(name) + QStringLiteral(".traineddata")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    const auto german = scan::OcrLanguages::forLocale(QLocale(QLocale::German, QLocale::Germany), data.path());
    EXPECT_EQ(german.languages, QStringList({"eng", "deu"}));
    EXPECT_TRUE(german.missing.isEmpty());

    const auto french = scan::OcrLanguages::forLocale(QLocale(QLocale::French, QLocale::France), data.path());
    EXPECT_EQ(french.languages, QStringList({"eng"}));
    EXPECT_EQ(french.missing, QStringLiteral("fra"));

    const auto taiwan = scan::OcrLanguages::forLocale(QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript,
                                                              QLocale::Taiwan), data.path());
    EXPECT_EQ(taiwan.joined(), QStringLiteral("eng+chi_tra"));

    const auto english = scan::OcrLanguages::forLocale(QLocale(QLocale::English, QLocale::UnitedStates), data.path());
    EXPECT_EQ(english.languages, QStringList({"eng"}));
    EXPECT_TRUE(english.missing.isEmpty());
}

TEST(OcrLanguagesTest, NamesEveryLanguageOfTheLanguageFile)
{
    // The 19 languages of "Brivara Tessel.xml", by Windows language id.
    const std::vector<std::pair<QLocale, const char *>> table{
        {QLocale(QLocale::English, QLocale::UnitedStates), "eng"},
        {QLocale(QLocale::Danish), "dan"},
        {QLocale(QLocale::Dutch, QLocale::Belgium), "nld"},
        {QLocale(QLocale::French), "fra"},
        {QLocale(QLocale::Hungarian), "hun"},
        {QLocale(QLocale::Italian), "ita"},
        {QLocale(QLocale::NorwegianBokmal), "nor"},
        {QLocale(QLocale::Polish), "pol"},
        {QLocale(QLocale::Portuguese, QLocale::Brazil), "por"},
        {QLocale(QLocale::Russian), "rus"},
        {QLocale(QLocale::Swedish), "swe"},
        {QLocale(QLocale::Arabic), "ara"},
        {QLocale(QLocale::Japanese), "jpn"},
        {QLocale(QLocale::Finnish), "fin"},
        {QLocale(QLocale::German), "deu"},
        {QLocale(QLocale::Spanish), "spa"},
        {QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China), "chi_sim"},
        {QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan), "chi_tra"},
        {QLocale(QLocale::Catalan), "cat"},
    };
    for (const auto &[locale, name] : table)
        EXPECT_EQ(scan::OcrLanguages::tesseractName(locale), QString::fromLatin1(name)) << qPrintable(locale.name());
    EXPECT_TRUE(scan::OcrLanguages::tesseractName(QLocale(QLocale::Swahili)).isEmpty());
}

} // namespace
