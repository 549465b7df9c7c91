#pragma once
// Qt's own texts (dialog buttons, file dialog labels) in the user's language.
class QCoreApplication;

namespace brevan {

// Installs Qt's translations of its own texts for the system locale (from
// Qt's translations folder; Debian's qt6-translations-l10n). The program's
// own texts are not translated. Does nothing when there is none for the
// locale.
void InstallQtTranslations(QCoreApplication& application);

}  // namespace brevan
