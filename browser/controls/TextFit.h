#pragma once
// Shortening texts to a pixel width with "...", measured in a font.
#include <QFontMetrics>
#include <QString>

namespace qlon::controls {

// The characters that fit in maxWidth, counted from the start of the text.
int FitCount(const QFontMetrics& fm, const QString& text, int maxWidth);

// Shortens text to maxWidth: f characters fit; f = 0 keeps 1 character and
// f = 1 stays, both without dots; f = 2 or 3 keeps f - 1 with "."; more
// keeps f - 2 with "...". keepEnd keeps the end of the text (dots first).
// Without shorten the text is returned whole.
QString FitTextEllipsis(const QFontMetrics& fm, const QString& text, int maxWidth,
                        bool keepEnd, bool shorten = true);

// Shortens a path or URL to the longest tail starting at a "/" or "\" that
// fits with "..." in front; FitTextEllipsis keeping the end when none does.
QString FitPathEllipsis(const QFontMetrics& fm, const QString& text, int maxWidth);

}  // namespace qlon::controls
