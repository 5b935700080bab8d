#pragma once

#include <QString>

class UserInterfaceController;

// The scan mode's texts, from the section Tessel_Scan of the product's
// language file; a key the file lacks falls back to English.
class ScanTexts
{
public:
    enum class Key {
        Scan,
        LookingForPage,
        AdjustCorners,
        PreparingPage,
        PageAdded,
        Pages,
        MoveUp,
        MoveDown,
        RotatePage,
        DeletePage,
        SavePdf,
        SavePdfAs,
        WritingPdf,
        Cancel,
        PdfSaved,
        PdfFailed,
        NoPage,
        UnsavedPages,
        CloseWithoutSaving,
        RecoverPages,
        RestorePages,
        DiscardPages,
    };
    static constexpr int KeyCount = static_cast<int>(Key::DiscardPages) + 1;

    explicit ScanTexts(const UserInterfaceController &language);

    QString text(Key key) const;
    static QString keyPath(Key key);
    static QString english(Key key);

private:
    const UserInterfaceController &language;
};
