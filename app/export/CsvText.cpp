#include "export/CsvText.h"

#include "export/DecimalPlaces.h"
#include "recording/CodeNames.h"
#include "recording/MeasurementColumns.h"

#include <QDateTime>

#include <array>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

// The fields of each balance, in their order on a line, with what their
// captions add to the balance's name (the weight's caption is the whole
// header). A new kind of field is one more entry here, with its value below.
enum class BalanceField { Weight, Unit, Change, ChangePercent, Stable };
struct FieldCaption {
    BalanceField field;
    const char *suffix;
};
constexpr FieldCaption balanceFields[] = {{BalanceField::Weight, ""},         {BalanceField::Unit, " ед."},
                                          {BalanceField::Change, " Δm"},      {BalanceField::ChangePercent, " Δm %"},
                                          {BalanceField::Stable, " стаб."}};

class CsvLine {
public:
    explicit CsvLine(QByteArray &out) : out_(out) {}

    void field(std::string_view text)
    {
        separate();
        if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
            out_.append(text.data(), qsizetype(text.size()));
            return;
        }
        out_ += '"';
        for (const char c : text) {
            if (c == '"')
                out_ += '"';
            out_ += c;
        }
        out_ += '"';
    }
    void textField(const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        field(std::string_view(utf8.constData(), size_t(utf8.size())));
    }
    // A field known to need no quotes: numbers and times.
    void plainField(const char *text, int length)
    {
        separate();
        out_.append(text, length);
    }
    void end() { out_ += "\r\n"; }

private:
    void separate()
    {
        if (started_)
            out_ += ',';
        started_ = true;
    }
    QByteArray &out_;
    bool started_ = false;
};

// A number with '.' as the point whatever the process's locale (the
// window's C library formats with the operator's decimal comma), in at most
// `precision` significant digits; no "-0".
void numberField(CsvLine &line, double value, int precision)
{
    std::array<char, 48> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value == 0 ? 0.0 : value,
                                   std::chars_format::general, precision);
    line.plainField(text.data(), int(end.ptr - text.data()));
}

// rawValue / divisor in exact decimal digits, as many after the point as
// the divisor has zeros; the shortest exact form for any other divisor.
void weightField(CsvLine &line, int64_t rawValue, int32_t divisor)
{
    const std::optional<int> places = decimalPlaces(divisor);
    if (!places)
        return numberField(line, double(rawValue) / double(divisor), 15);
    std::array<char, 48> text{};
    const long long magnitude = std::llabs(static_cast<long long>(rawValue));
    const char *sign = rawValue < 0 ? "-" : "";
    const int length = *places == 0 ? std::snprintf(text.data(), text.size(), "%s%lld", sign, magnitude)
                                    : std::snprintf(text.data(), text.size(), "%s%lld.%0*lld", sign,
                                                    magnitude / divisor, *places, magnitude % divisor);
    line.plainField(text.data(), length);
}

// What the weight cell holds: the reading, or what the operator typed over
// it when that is a number (with a comma or a point).
std::optional<CsvText::Mass> massOf(const SnapshotReading &reading, const std::string *typed)
{
    if (!typed)
        return CsvText::Mass{ValueFormat::weightValue(reading.rawValue, reading.divisor), reading.rawValue,
                             reading.divisor, reading.unit};
    bool ok = false;
    const double value = QString::fromStdString(*typed).trimmed().replace(u',', u'.').toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return CsvText::Mass{value, 0, 0, reading.unit};
}

// Δm of `mass` from `reference`, exact when both are readings of one divisor.
void changeField(CsvLine &line, const CsvText::Mass &mass, const CsvText::Mass &reference)
{
    if (mass.divisor != 0 && mass.divisor == reference.divisor)
        weightField(line, mass.raw - reference.raw, mass.divisor);
    else
        numberField(line, mass.value - reference.value, 15);
}

// 2026-03-14T09:26:53.789+03:00: the local wall clock and its offset, the
// offset written out also at UTC.
void timeField(CsvLine &line, const QDateTime &local, int32_t offsetSeconds)
{
    const QDate date = local.date();
    const QTime time = local.time();
    const int offsetMinutes = offsetSeconds / 60;
    const int offset = std::abs(offsetMinutes);
    std::array<char, 48> text{};
    const int length =
        std::snprintf(text.data(), text.size(), "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", date.year(),
                      date.month(), date.day(), time.hour(), time.minute(), time.second(), time.msec(),
                      offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    line.plainField(text.data(), length);
}

// The grid's cell a field shows; -1 for the fields the grid has none of.
int gridColumnOf(BalanceField field, int slot)
{
    if (field == BalanceField::Weight)
        return MeasurementColumns::valueColumn(slot);
    return field == BalanceField::Unit ? MeasurementColumns::unitColumn(slot) : -1;
}

} // namespace

void CsvText::appendHeader(const RunSnapshot &run, QByteArray &out)
{
    picked_.assign(run.balances.size(), std::nullopt);
    for (size_t slot = 0; slot < picked_.size(); ++slot)
        if (const SnapshotReading *reading = run.pickedReading(slot))
            picked_[slot] = massOf(*reading, nullptr);
    references_ = picked_;
    CsvLine line(out);
    line.field("№");
    line.field("Время");
    for (const ColumnCaption &caption : run.balances) {
        for (const FieldCaption &field : balanceFields) {
            if (field.field != BalanceField::Weight) {
                line.textField(QString::fromStdString(caption.name + field.suffix).trimmed());
                continue;
            }
            std::string text;
            std::string name = caption.name;
            if (const std::string &sample = run.settings.sampleAt(caption.balance); !sample.empty())
                name += " — " + sample;
            for (const std::string *part : {&std::as_const(name), &caption.model, &caption.ident}) {
                const QString trimmed = QString::fromStdString(*part).trimmed();
                if (!trimmed.isEmpty())
                    text += (text.empty() ? "" : " ") + trimmed.toStdString();
            }
            line.field(text);
        }
    }
    line.end();
}

void CsvText::appendRow(const RunSnapshot &run, size_t index, QByteArray &out)
{
    references_.resize(run.balances.size());
    picked_.resize(run.balances.size());
    const RunSnapshot::Row row = run.row(index);
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(row.localMs(), Qt::UTC);
    CsvLine line(out);
    const std::string *typedNumber = run.edit(index, MeasurementColumns::numberColumn);
    line.field(typedNumber ? *typedNumber : std::to_string(row.number));
    // The one time field stands for the time and date cells; what the
    // operator typed into either is kept as the two texts.
    const std::string *typedTime = run.edit(index, MeasurementColumns::timeColumn);
    const std::string *typedDate = run.edit(index, MeasurementColumns::dateColumn);
    if (typedTime || typedDate)
        line.textField((typedDate ? QString::fromStdString(*typedDate) : values_.date(local)) + u' ' +
                   (typedTime ? QString::fromStdString(*typedTime) : values_.time(local)));
    else
        timeField(line, local, row.utcOffsetSeconds);
    for (size_t slot = 0; slot < run.balances.size(); ++slot) {
        const SnapshotReading *reading = slot < row.readings.size() ? &row.readings[slot] : nullptr;
        const std::optional<Mass> mass =
            reading ? massOf(*reading, run.edit(index, MeasurementColumns::valueColumn(int(slot)))) : std::nullopt;
        std::optional<Mass> &reference = references_[slot];
        const std::optional<Mass> &picked = picked_[slot];
        if (mass && reading->stable && (!reference || reference->unit != mass->unit))
            reference = picked && picked->unit == mass->unit ? picked : mass;
        const bool changed = mass && reference;
        for (const auto &[field, suffix] : balanceFields) {
            const int column = gridColumnOf(field, int(slot));
            if (const std::string *typed = column >= 0 ? run.edit(index, column) : nullptr) {
                line.field(*typed);
                continue;
            }
            // Empty without a reading, and the changes without a reference.
            if (!reading || (field == BalanceField::Change && !changed) ||
                (field == BalanceField::ChangePercent && !(changed && reference->value != 0))) {
                line.field(std::string_view());
                continue;
            }
            switch (field) {
            case BalanceField::Weight:
                weightField(line, reading->rawValue, reading->divisor);
                break;
            case BalanceField::Unit:
                line.field(reading->unit == SnapshotReading::noUnit ? "" : unitName(reading->unit));
                break;
            case BalanceField::Change:
                changeField(line, *mass, *reference);
                break;
            case BalanceField::ChangePercent:
                numberField(line, (mass->value - reference->value) / reference->value * 100.0, 12);
                break;
            case BalanceField::Stable:
                line.plainField(reading->stable ? "1" : "0", 1);
                break;
            }
        }
    }
    line.end();
}
