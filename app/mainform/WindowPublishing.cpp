#include "mainform/WindowPublishing.h"

#include "mainform/Serialer.h"
#include "settings/MqttIniSection.h"
#include "settings/JournalSettings.h"

#include <QStatusBar>

#include <cstdio>

WindowPublishing::WindowPublishing(TMainForm &form, const MqttSettings &settings, const std::string &journalPath)
    : QObject(&form), form_(form), observer_(settings, journalPath, [this](const std::string &text) {
          std::fprintf(stderr, "%s\n", text.c_str());
          QMetaObject::invokeMethod(
              this, [this, text = QString::fromStdString(text)] { form_.statusBar()->showMessage(text); },
              Qt::QueuedConnection);
      })
{
    form.session().addObserver(observer_);
}

WindowPublishing::~WindowPublishing()
{
    form_.session().removeObserver(observer_);
}

void publishWhenConfigured(TMainForm &form)
{
    std::vector<MqttSectionWarning> warnings;
    const MqttSettings settings = readMqttSection(form.settingsPath(), &warnings);
    for (const MqttSectionWarning &warning : warnings) {
        std::fprintf(stderr, "%s\n", warning.text.c_str());
        form.statusBar()->showMessage(QString::fromStdString(warning.text));
    }
    if (settings.enabled) // owned by the form
        new WindowPublishing(form, settings, JournalSettings::read(form.settingsPath()).path.toStdString());
}
