// Qt's own texts (file dialogs, the overwrite question, standard buttons,
// Qt's error texts) in the desktop's language.
#pragma once

class QCoreApplication;
class QLocale;

// Loads Qt's translations for the locale from Qt's translations folder into
// the application; false when there are none for that language (the texts
// then stay English).
bool installQtTranslations(QCoreApplication &application, const QLocale &locale);
