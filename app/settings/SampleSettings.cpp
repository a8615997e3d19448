// Reading and writing [Samples] and [Experiment].
#include "settings/SampleSettings.h"

#include "settings/IniSettings.h"

#include <QRegularExpression>

#include <utility>

namespace {

const QString samplesSection = QStringLiteral("Samples");
const QString experimentSection = QStringLiteral("Experiment");

const std::array<std::pair<ChartQuantity, const char *>, 3> chartTexts = {
    std::pair{ChartQuantity::Mass, "mass"}, std::pair{ChartQuantity::Change, "change"},
    std::pair{ChartQuantity::ChangePercent, "percent"}};

QString oneLine(const QString &name)
{
    static const QRegularExpression breaks(QStringLiteral("[\\r\\n\\t]+"));
    return QString(name).replace(breaks, QStringLiteral(" ")).trimmed();
}

} // namespace

QString SampleSettings::nameAt(int position) const
{
    return position >= 1 && position <= positions ? names[size_t(position - 1)] : QString();
}

bool SampleSettings::setName(int position, const QString &name)
{
    if (position < 1 || position > positions)
        return false;
    names[size_t(position - 1)] = oneLine(name);
    return true;
}

std::vector<std::string> SampleSettings::runNames() const
{
    std::vector<std::string> result;
    for (const QString &name : names)
        result.push_back(name.toStdString());
    while (!result.empty() && result.back().empty())
        result.pop_back();
    return result;
}

SampleSettings SampleSettings::read(const QString &iniPath)
{
    SampleSettings settings;
    IniSettings samples(samplesSection);
    if (samples.load(iniPath))
        for (int p = 1; p <= positions; ++p)
            settings.setName(p, samples.text(QByteArray::number(p).constData(), QString()));
    IniSettings experiment(experimentSection);
    if (!experiment.load(iniPath))
        return settings;
    const QString chart = experiment.text("Chart", QString()).trimmed().toLower();
    for (const auto &[quantity, text] : chartTexts)
        if (chart == QLatin1String(text))
            settings.chart = quantity;
    if (const auto criterion = parseConstantMassCriterion(experiment.text("ConstantMass", QString())))
        settings.constantMass = *criterion;
    settings.stopWhenConstant = experiment.flag("StopWhenConstant", settings.stopWhenConstant);
    return settings;
}

std::vector<ChangedSetting> SampleSettings::changesFrom(const SampleSettings &before) const
{
    std::vector<ChangedSetting> changes;
    const auto compare = [&changes](const QString &key, const QString &was, const QString &now) {
        if (was != now)
            changes.push_back({key, was, now});
    };
    for (int p = 1; p <= positions; ++p)
        compare(samplesSection + u'/' + QString::number(p), before.nameAt(p), nameAt(p));
    compare(experimentSection + QStringLiteral("/ConstantMass"), constantMassCriterionText(before.constantMass),
            constantMassCriterionText(constantMass));
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    compare(experimentSection + QStringLiteral("/StopWhenConstant"), flag(before.stopWhenConstant),
            flag(stopWhenConstant));
    return changes;
}

bool SampleSettings::write(const QString &iniPath) const
{
    IniSettings samples(samplesSection);
    if (!samples.load(iniPath))
        return false;
    for (int p = 1; p <= positions; ++p)
        samples.setText(QByteArray::number(p).constData(), nameAt(p));
    if (!samples.save(iniPath))
        return false;
    IniSettings experiment(experimentSection);
    if (!experiment.load(iniPath))
        return false;
    for (const auto &[quantity, text] : chartTexts)
        if (quantity == chart)
            experiment.setText("Chart", QString::fromLatin1(text));
    experiment.setText("ConstantMass", constantMassCriterionText(constantMass));
    experiment.setFlag("StopWhenConstant", stopWhenConstant);
    return experiment.save(iniPath);
}
