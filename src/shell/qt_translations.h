#pragma once
// Qt's own texts (the file dialog, the calendar, the buttons of message boxes) in the person's
// language: Debian's qtbase translations (package qt6-translations-l10n) for the locale, when they
// are installed; the window's own texts are Latvian already.
class QLocale;

namespace talvix::shell {

// Once per application object (again does nothing); false when the locale has none installed
// (English needs none).
bool loadQtTranslations(const QLocale& locale);

}  // namespace talvix::shell
