#pragma once

#include "ScanTypes.h"

#include <QImage>

namespace scan {

// Makes a straightened page look scanned: the paper's own brightness
// (lighting falloff, shadows, a tinted lamp) is estimated and divided out,
// so the paper turns white and the print keeps its contrast; then the page
// is kept in colour, in grey, or in black and white (Otsu's threshold on the
// evened page).
class PageCleaner
{
public:
    // Colour gives Format_RGB888, grey Format_Grayscale8, black and white
    // Format_Mono (1 bit, white 0, black 1).
    static QImage clean(const QImage &page, ScanMode mode);
};

} // namespace scan
