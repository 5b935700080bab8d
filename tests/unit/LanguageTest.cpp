// The XML helpers, the language selection and the delivered language file.
#include "config/UserInterfaceController.h"
#include "config/XmlDocument.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

namespace {

class LanguageTest : public ::testing::Test
{
protected:
    QString write(const QByteArray &content, const QString &name = QStringLiteral("lang.xml"))
    {
        const QString path = directory.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    QTemporaryDir directory;
};

const QByteArray TwoLanguages = R"(<?xml version="1.0" encoding="UTF-8"?>
<Languages>
  <Language langId="0409" righttoleft="1">
    <Watchdog_Application caption="Watchdog">
      <IDS_TESSEL_TURN_ON caption="Turn on"/>
    </Watchdog_Application>
  </Language>
  <Language langId="0407">
    <Watchdog_Application caption="Wachhund">
      <IDS_TESSEL_TURN_ON caption="Einschalten"/>
      <IDS_TESSEL_TURN_OFF/>
    </Watchdog_Application>
    <IDS_TESSEL_WEBSITE_URL caption="https://example.invalid/de"/>
  </Language>
  <Language langId="0401" righttoleft="1">
    <IDS_TESSEL_TURN_ON caption="&#x062A;&#x0634;&#x063A;&#x064A;&#x0644;"/>
  </Language>
  <Language langId="040c">
    <Watchdog_Application caption="Chien de garde"/>
  </Language>
  <Language langId="0407">
    <Watchdog_Application caption="second German, never used"/>
  </Language>
</Languages>
)";

QString captionOf(const UserInterfaceController &texts, const QString &key)
{
    QString text;
    texts.getCaption(key, text);
    return text;
}

} // namespace

TEST_F(LanguageTest, ChildLookupFollowsDocumentOrderAndExactNames)
{
    XmlDocument document;
    document.loadFile(write(R"(<root>text<language/><Language a="1"/><Language a="2"/></root>)"));
    const XmlDocument::NodeHandle root = document.getChildNode(&document, QStringLiteral("root"));
    ASSERT_TRUE(root);
    // The first child is a text node; the element after it is found.
    XmlDocument::NodeHandle child = document.getChildNode(root.get(), QStringLiteral("Language"));
    ASSERT_TRUE(child);
    QString value = QStringLiteral("unchanged");
    document.getAttributeValue(child.get(), QStringLiteral("a"), value);
    EXPECT_EQ(value, "1");
    // Case matters: "language" is the other element.
    EXPECT_TRUE(document.getChildNode(root.get(), QStringLiteral("language")));
    EXPECT_FALSE(document.getChildNode(root.get(), QStringLiteral("LANGUAGE")));
    EXPECT_FALSE(document.getChildNode(nullptr, QStringLiteral("root")));

    document.getAttributeValue(child.get(), QStringLiteral("missing"), value);
    EXPECT_EQ(value, "1");
    XmlDocument::releaseNode(child);
    EXPECT_FALSE(child);
    XmlDocument::releaseNode(child); // twice is harmless
}

TEST_F(LanguageTest, FindElementByAttributeReturnsTheFirstExactMatch)
{
    XmlDocument document;
    document.loadFile(write(R"(<r><a id="x" n="1"/><b><a id="x" n="2"/></b><a id="X" n="3"/></r>)"));
    const auto found = document.findElementByAttribute("a", "id", "x");
    ASSERT_TRUE(found);
    QString n;
    document.getAttributeValue(found.get(), "n", n);
    EXPECT_EQ(n, "1");
    EXPECT_FALSE(document.findElementByAttribute("a", "id", "y"));
    // A missing attribute reads as the empty text.
    EXPECT_TRUE(document.attributeEquals(found.get(), "absent", "", Qt::CaseSensitive));
    EXPECT_TRUE(document.attributeEquals(found.get(), "id", "X", Qt::CaseInsensitive));
    EXPECT_FALSE(document.attributeEquals(found.get(), "id", "X", Qt::CaseSensitive));
}

TEST_F(LanguageTest, MissingOrBrokenFilesLeaveAnEmptyDocumentAndSayWhy)
{
    LogCapture log;
    XmlDocument missing;
    missing.loadFile(directory.filePath("absent.xml"));
    EXPECT_TRUE(missing.documentElement().isNull());

    XmlDocument broken;
    broken.loadFile(write("<Languages><Language langId=\"0409\">", "broken.xml"));
    EXPECT_TRUE(broken.documentElement().isNull());
    EXPECT_FALSE(broken.findElementByAttribute("Language", "langId", "0409"));
    EXPECT_EQ(log.matching("<XmlDocument::loadFile()>").size(), 2);

    for (const QString &path : {directory.filePath("absent.xml"), directory.filePath("broken.xml")}) {
        UserInterfaceController texts(path, "en_US");
        QString text = "kept";
        EXPECT_FALSE(texts.getCaption("Watchdog_Application", text));
        EXPECT_EQ(text, "kept");
        EXPECT_FALSE(texts.isRightToLeft());
    }
}

TEST_F(LanguageTest, LanguageFollowsTheLocaleTable)
{
    const QString path = write(TwoLanguages);

    UserInterfaceController german(path, "de_DE");
    EXPECT_EQ(captionOf(german, "Watchdog_Application"), "Wachhund");
    EXPECT_EQ(captionOf(german, "Watchdog_Application/IDS_TESSEL_TURN_ON"), "Einschalten");
    EXPECT_FALSE(german.isRightToLeft());

    UserInterfaceController arabic(path, "ar_SA");
    EXPECT_TRUE(arabic.isRightToLeft());
    EXPECT_EQ(captionOf(arabic, "Watchdog_Application/IDS_TESSEL_TURN_ON"),
              QString::fromUtf8("\u062A\u0634\u063A\u064A\u0644"));

    // Not in the table: English, and never right to left.
    UserInterfaceController british(path, "en_GB");
    EXPECT_EQ(captionOf(british, "Watchdog_Application/IDS_TESSEL_TURN_ON"), "Turn on");
    EXPECT_FALSE(british.isRightToLeft());

    // In the table, but the file writes the id in lower case: no language,
    // and no fallback to English.
    UserInterfaceController french(path, "fr_FR");
    QString text;
    EXPECT_FALSE(french.getCaption("Watchdog_Application", text));
    EXPECT_TRUE(text.isEmpty());
}

TEST_F(LanguageTest, KeyPathsSkipMissingLevels)
{
    UserInterfaceController german(write(TwoLanguages), "de_DE");
    QString text;
    // IDS_TESSEL_WEBSITE_URL sits directly under Language: the missing
    // Watchdog_Application level... is there, but holds no such child, so
    // the lookup fails; a missing first level is skipped instead.
    EXPECT_FALSE(german.getCaption("Watchdog_Application/IDS_TESSEL_WEBSITE_URL", text));
    EXPECT_TRUE(german.getCaption("No_Such_Section/IDS_TESSEL_WEBSITE_URL", text));
    EXPECT_EQ(text, "https://example.invalid/de");

    // An element without a caption counts as found and leaves the text.
    text = "before";
    EXPECT_TRUE(german.getCaption("Watchdog_Application/IDS_TESSEL_TURN_OFF", text));
    EXPECT_EQ(text, "before");

    for (const QString &key : {QString(), QStringLiteral("Watchdog_Application/"), QStringLiteral("/")}) {
        text = "before";
        EXPECT_FALSE(german.getCaption(key, text)) << key.toStdString();
        EXPECT_EQ(text, "before");
    }
}

TEST_F(LanguageTest, TheDeliveredFileHasEveryTextInAllNineteenLanguages)
{
    const QString path = QCoreApplication::applicationDirPath() + "/Brivara Tessel.xml";
    ASSERT_TRUE(QFile::exists(path)) << path.toStdString();

    const char *const locales[] = {"en_US", "da_DK", "nl_BE", "fr_FR", "hu_HU", "it_IT", "nb_NO",
                                   "pl_PL", "pt_BR", "ru_RU", "sv_SE", "ar_SA", "ja_JP", "fi_FI",
                                   "de_DE", "es_ES", "zh_CN", "zh_TW", "ca_ES"};
    const char *const keys[] = {"Watchdog_Application", "Tessel_Dialog_Caption/IDS_TESSEL_INSTANCE_RUNNING",
                                "Watchdog_Application/IDS_TESSEL_TURN_ON",
                                "Watchdog_Application/IDS_TESSEL_TURN_OFF",
                                "Watchdog_Application/IDS_TESSEL_WEBSITE_URL"};
    QStringList turnOnCaptions;
    for (const char *locale : locales) {
        UserInterfaceController texts(path, locale);
        EXPECT_EQ(texts.isRightToLeft(), QString(locale) == "ar_SA") << locale;
        for (const char *key : keys) {
            QString text;
            EXPECT_TRUE(texts.getCaption(key, text)) << locale << " " << key;
            EXPECT_FALSE(text.isEmpty()) << locale << " " << key;
            // Menu captions travel in a 64-unit field.
            EXPECT_LE(text.size(), 64) << locale << " " << key;
        }
        QString url;
        texts.getCaption("Watchdog_Application/IDS_TESSEL_WEBSITE_URL", url);
        EXPECT_TRUE(url.startsWith("https://")) << locale;
        turnOnCaptions.append(captionOf(texts, "Watchdog_Application/IDS_TESSEL_TURN_ON"));
        EXPECT_NE(captionOf(texts, "Watchdog_Application/IDS_TESSEL_TURN_ON"),
                  captionOf(texts, "Watchdog_Application/IDS_TESSEL_TURN_OFF"))
            << locale;
    }
    // Translated, not copied: every language has its own turn-on text.
    turnOnCaptions.removeDuplicates();
    EXPECT_EQ(turnOnCaptions.size(), 19);
}

namespace {

TEST_F(LanguageTest, AFedoraHostFindsTheSameTextsUnderItsOwnName)
{
    const QString programDirectory = QCoreApplication::applicationDirPath();
    const QString fedoraRelease = write("Fedora release 40 (Forty)\n", "fedora-release");
    const QString fedoraPath = UserInterfaceController::languageFilePath(programDirectory, fedoraRelease);
    const QString otherPath =
        UserInterfaceController::languageFilePath(programDirectory, directory.filePath("no-fedora-release"));
    EXPECT_EQ(fedoraPath, programDirectory + "/BrivaraDriver_Fedora.xml");
    EXPECT_EQ(otherPath, programDirectory + "/Brivara Tessel.xml");

    QFile fedoraFile(fedoraPath);
    QFile otherFile(otherPath);
    ASSERT_TRUE(fedoraFile.open(QIODevice::ReadOnly)) << fedoraPath.toStdString();
    ASSERT_TRUE(otherFile.open(QIODevice::ReadOnly)) << otherPath.toStdString();
    EXPECT_EQ(fedoraFile.readAll(), otherFile.readAll());

    UserInterfaceController fedora(fedoraPath, "fr_FR");
    QString title;
    EXPECT_TRUE(fedora.getCaption("Tessel_Dialog_Caption/IDS_TESSEL_INSTANCE_RUNNING", title));
    EXPECT_FALSE(title.isEmpty());
}

} // namespace
