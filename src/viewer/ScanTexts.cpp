#include "ScanTexts.h"

#include "config/TextEntry.h"
#include "config/UserInterfaceController.h"

namespace {

// In the order of ScanTexts::Key.
const TextEntry Entries[ScanTexts::KeyCount] = {
    {"IDS_SCAN", "Scan"},
    {"IDS_LOOKING_FOR_PAGE", "Looking for the page…"},
    {"IDS_ADJUST_CORNERS", "Drag the corners onto the page's corners (Tab and the arrow keys also move them). Enter keeps the page, Esc discards it."},
    {"IDS_PREPARING_PAGE", "Straightening the page…"},
    {"IDS_PAGE_ADDED", "Page %1 added"},
    {"IDS_PAGES", "Scanned pages"},
    {"IDS_MOVE_UP", "Move up"},
    {"IDS_MOVE_DOWN", "Move down"},
    {"IDS_ROTATE_PAGE", "Rotate page"},
    {"IDS_DELETE_PAGE", "Delete page"},
    {"IDS_SAVE_PDF", "Save PDF"},
    {"IDS_SAVE_PDF_AS", "Save PDF as…"},
    {"IDS_WRITING_PDF", "Recognising the text and writing the PDF…"},
    {"IDS_CANCEL", "Cancel"},
    {"IDS_PDF_SAVED", "Saved as %1"},
    {"IDS_PDF_FAILED", "The PDF could not be written: %1"},
    {"IDS_NO_PAGE", "No page was found: adjust the corners by hand."},
    {"IDS_UNSAVED_PAGES", "The scanned pages have not been saved. Save them as a PDF before closing?"},
    {"IDS_CLOSE_WITHOUT_SAVING", "Close without saving"},
    {"IDS_RECOVER_PAGES", "Scanned pages not saved when Tessel last closed: %1. Restore them?"},
    {"IDS_RESTORE_PAGES", "Restore"},
    {"IDS_DISCARD_PAGES", "Discard"},
};

} // namespace

ScanTexts::ScanTexts(const UserInterfaceController &language) : language(language) {}

QString ScanTexts::text(Key key) const
{
    return language.captionOr(keyPath(key), english(key));
}

QString ScanTexts::keyPath(Key key)
{
    return Entries[static_cast<int>(key)].keyPath("Tessel_Scan");
}

QString ScanTexts::english(Key key)
{
    return Entries[static_cast<int>(key)].englishText();
}
