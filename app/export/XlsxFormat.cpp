#include "export/XlsxFormat.h"

#include "export/DecimalPlaces.h"
#include "export/ReplacingFile.h"
#include "recording/BalanceTexts.h"
#include "recording/MeasurementColumns.h"
#include "recording/RunChoices.h"
#include "recording/ValueFormat.h"

#include <QFileInfo>
#include <QMap>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <locale.h>

namespace {

const QString measurementSheet = QStringLiteral("Измерения");
const QString settingsSheet = QStringLiteral("Настройки");
const QString chartSheet = QStringLiteral("График");

constexpr double unixEpochInSpreadsheetDays = 25569.0; // 1970-01-01 counted from 1899-12-30
constexpr double msPerDay = 86400000.0;
constexpr int captionRows = MeasurementColumns::captionRows;

// Spreadsheet date-time values carry no zone: the local wall clock, as the
// table shows it.
double spreadsheetTime(qint64 localMs)
{
    return unixEpochInSpreadsheetDays + double(localMs) / msPerDay;
}

lxw_color_t spreadsheetColour(uint32_t rgb)
{
    return rgb == 0 ? lxw_color_t(LXW_COLOR_BLACK) : lxw_color_t(rgb);
}

// libxlsxwriter prints its numbers with the C library, which follows the
// process's numeric locale; a workbook wants "0.125" whatever the desktop's
// decimal separator is. Set for this thread alone, while the book is written.
struct CNumericLocale {
    CNumericLocale() = default;
    CNumericLocale(const CNumericLocale &) = delete;
    CNumericLocale &operator=(const CNumericLocale &) = delete;
    ~CNumericLocale()
    {
        if (locale) {
            ::uselocale(previous);
            ::freelocale(locale);
        }
    }

    const locale_t locale = ::newlocale(LC_NUMERIC_MASK, "C", ::duplocale(LC_GLOBAL_LOCALE));
    const locale_t previous = locale ? ::uselocale(locale) : LC_GLOBAL_LOCALE;
};

// One workbook being written; closed (and so freed) on every path.
class WorkbookWriter {
public:
    WorkbookWriter(const RunSnapshot &run, int rowsPerSheet)
        : run_(run), dataRowsPerSheet_(std::max(1, rowsPerSheet - captionRows))
    {
    }
    ~WorkbookWriter()
    {
        if (book_)
            workbook_close(book_);
    }
    WorkbookWriter(const WorkbookWriter &) = delete;
    WorkbookWriter &operator=(const WorkbookWriter &) = delete;

    std::optional<QString> write(const QString &path);

private:
    const char *utf8(const QString &text)
    {
        keep_.append(text.toUtf8());
        return keep_.constLast().constData();
    }
    lxw_worksheet *addSheet(const QString &name);
    lxw_format *addFormat(const char *numberFormat);
    lxw_format *weightFormat(int32_t divisor);
    void writeText(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, const std::string &text,
                   lxw_format *format = nullptr);
    void writeNumber(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, double value, lxw_format *format);
    void check(lxw_error error)
    {
        if (error != LXW_NO_ERROR && failure_ == LXW_NO_ERROR)
            failure_ = error;
    }

    lxw_worksheet *startMeasurementSheet(int index);
    void writeTableRow(lxw_worksheet *sheet, lxw_row_t sheetRow, size_t index);
    void writeRecordedCell(lxw_worksheet *sheet, lxw_row_t sheetRow, int column, const RunSnapshot::Row &row);
    void writeChanges(lxw_worksheet *sheet, lxw_row_t sheetRow, size_t index);
    void writeSettings();
    void writeChart(const QString &firstSheet, int lastRowOfFirstSheet);
    // The first column of a balance's Δm and Δm %, after the grid's columns.
    lxw_col_t changeColumn(size_t slot) const { return lxw_col_t(run_.gridColumns() + 2 * int(slot)); }

    // The weight cell each balance's changes are taken from: its first
    // stable reading, and again the first stable one in another unit; the
    // operator's reference row instead for the readings in its unit.
    struct Reference {
        std::string cell; // 'Измерения'!$D$4, or the number where the operator typed over it
        double value = 0;
        int8_t unit = SnapshotReading::noUnit;
    };
    static QString sheetNameOf(int sheetIndex);
    // The weight cell of a row's balance, wherever its sheet.
    std::string weightCell(size_t index, size_t slot) const;
    void pickReferences();
    std::vector<std::optional<Reference>> references_;
    std::vector<std::optional<Reference>> picked_;

    const RunSnapshot &run_;
    const int dataRowsPerSheet_;
    lxw_workbook *book_ = nullptr;
    lxw_error failure_ = LXW_NO_ERROR;
    QByteArrayList keep_; // texts libxlsxwriter holds on to until the book is closed
    lxw_format *captionFormat_ = nullptr;
    lxw_format *timeFormat_ = nullptr;
    lxw_format *dateFormat_ = nullptr;
    lxw_format *dateTimeFormat_ = nullptr;
    QMap<int32_t, lxw_format *> weightFormats_;
    std::array<QByteArray, 8> unitTexts_;
};

lxw_worksheet *WorkbookWriter::addSheet(const QString &name)
{
    lxw_worksheet *sheet = workbook_add_worksheet(book_, utf8(name));
    if (!sheet)
        check(LXW_ERROR_CREATING_TMPFILE);
    return sheet;
}

lxw_format *WorkbookWriter::addFormat(const char *numberFormat)
{
    lxw_format *format = workbook_add_format(book_);
    format_set_num_format(format, numberFormat);
    return format;
}

lxw_format *WorkbookWriter::weightFormat(int32_t divisor)
{
    const auto known = weightFormats_.constFind(divisor);
    if (known != weightFormats_.cend())
        return *known;
    // "0.000" for three decimals: the number shows the balance's resolution.
    // Any other divisor keeps the general format.
    lxw_format *format = nullptr;
    if (const std::optional<int> places = decimalPlaces(divisor)) {
        QByteArray pattern("0");
        if (*places > 0)
            pattern += '.' + QByteArray(*places, '0');
        format = addFormat(pattern.constData());
    }
    weightFormats_.insert(divisor, format);
    return format;
}

void WorkbookWriter::writeText(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, const std::string &text,
                               lxw_format *format)
{
    if (!text.empty())
        check(worksheet_write_string(sheet, row, column, text.c_str(), format));
}

void WorkbookWriter::writeNumber(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, double value,
                                 lxw_format *format)
{
    check(worksheet_write_number(sheet, row, column, value, format));
}

QString WorkbookWriter::sheetNameOf(int sheetIndex)
{
    return sheetIndex == 0 ? measurementSheet : QStringLiteral("%1 (%2)").arg(measurementSheet).arg(sheetIndex + 1);
}

std::string WorkbookWriter::weightCell(size_t index, size_t slot) const
{
    char cell[24];
    lxw_rowcol_to_cell_abs(cell, lxw_row_t(captionRows + int(index) % dataRowsPerSheet_),
                           lxw_col_t(MeasurementColumns::valueColumn(int(slot))), 1, 1);
    return "'" + sheetNameOf(int(index) / dataRowsPerSheet_).toStdString() + "'!" + cell;
}

void WorkbookWriter::pickReferences()
{
    picked_.assign(run_.balances.size(), std::nullopt);
    for (size_t slot = 0; slot < picked_.size(); ++slot) {
        const SnapshotReading *reading = run_.pickedReading(slot);
        if (!reading)
            continue;
        const double value = ValueFormat::weightValue(reading->rawValue, reading->divisor);
        // A typed-over cell holds text: the reading it replaced stands in the formula.
        const bool typed = run_.edit(*run_.referenceRow, MeasurementColumns::valueColumn(int(slot))) != nullptr;
        picked_[slot] = Reference{typed ? QByteArray::number(value, 'g', 17).toStdString()
                                        : weightCell(*run_.referenceRow, slot),
                                  value, reading->unit};
    }
    references_ = picked_;
}

lxw_worksheet *WorkbookWriter::startMeasurementSheet(int index)
{
    lxw_worksheet *sheet = addSheet(sheetNameOf(index));
    if (!sheet)
        return nullptr;
    worksheet_freeze_panes(sheet, captionRows, 0);
    worksheet_set_column(sheet, 0, 0, 8, nullptr);
    worksheet_set_column(sheet, 1, 1, 13, nullptr);
    worksheet_set_column(sheet, 2, 2, 11, nullptr);
    const int columns = run_.gridColumns();
    for (int slot = 0; MeasurementColumns::unitColumn(slot) < columns; ++slot) {
        const auto value = lxw_col_t(MeasurementColumns::valueColumn(slot));
        worksheet_set_column(sheet, value, value, 12, nullptr);
        worksheet_set_column(sheet, value + 1, value + 1, 5, nullptr);
    }
    // A sheet is written row after row: the changes' captions with their row.
    const bool changes = run_.rowCount() > 0;
    for (size_t slot = 0; changes && slot < run_.balances.size(); ++slot)
        worksheet_set_column(sheet, changeColumn(slot), changeColumn(slot) + 1, 10, nullptr);
    for (int row = 0; row < captionRows; ++row) {
        for (int column = 0; column < columns; ++column)
            writeText(sheet, lxw_row_t(row), lxw_col_t(column), run_.captionCell(row, column), captionFormat_);
        for (size_t slot = 0; changes && slot < run_.balances.size(); ++slot) {
            const ColumnCaption &caption = run_.balances[slot];
            const std::string &sample = run_.settings.sampleAt(caption.balance);
            const std::string texts[captionRows][2] = {{caption.name, caption.name}, {"Δm", "Δm, %"}, {sample, sample}};
            for (int half = 0; half < 2; ++half)
                writeText(sheet, lxw_row_t(row), changeColumn(slot) + lxw_col_t(half), texts[row][half],
                          captionFormat_);
        }
    }
    return sheet;
}

void WorkbookWriter::writeRecordedCell(lxw_worksheet *sheet, lxw_row_t sheetRow, int column,
                                       const RunSnapshot::Row &row)
{
    const auto at = lxw_col_t(column);
    switch (column) {
    case MeasurementColumns::numberColumn:
        writeNumber(sheet, sheetRow, at, row.number, nullptr);
        return;
    case MeasurementColumns::timeColumn: // the whole date-time, shown as the time with milliseconds
        writeNumber(sheet, sheetRow, at, spreadsheetTime(row.localMs()), timeFormat_);
        return;
    case MeasurementColumns::dateColumn: // the day alone
        writeNumber(sheet, sheetRow, at, std::floor(spreadsheetTime(row.localMs())), dateFormat_);
        return;
    default:
        break;
    }
    const size_t slot = size_t(*MeasurementColumns::slotOf(column));
    if (slot >= row.readings.size())
        return;
    const SnapshotReading &reading = row.readings[slot];
    if (!MeasurementColumns::isUnitColumn(column)) {
        writeNumber(sheet, sheetRow, at, ValueFormat::weightValue(reading.rawValue, reading.divisor),
                    weightFormat(reading.divisor));
    } else if (reading.unit >= 0 && size_t(reading.unit) < unitTexts_.size()) {
        check(worksheet_write_string(sheet, sheetRow, at, unitTexts_[size_t(reading.unit)].constData(), nullptr));
    }
}

void WorkbookWriter::writeTableRow(lxw_worksheet *sheet, lxw_row_t sheetRow, size_t index)
{
    const bool recorded = index < run_.rowCount();
    const RunSnapshot::Row row = recorded ? run_.row(index) : RunSnapshot::Row{};
    for (int column = 0; column < run_.gridColumns(); ++column) {
        // What the operator typed stays text, exactly as typed.
        if (const std::string *typed = run_.edit(index, column))
            writeText(sheet, sheetRow, lxw_col_t(column), *typed);
        else if (recorded)
            writeRecordedCell(sheet, sheetRow, column, row);
    }
}

// Live formulas, so that a weight corrected in the workbook changes them;
// each carries its value as written, for readers that do not calculate.
void WorkbookWriter::writeChanges(lxw_worksheet *sheet, lxw_row_t sheetRow, size_t index)
{
    references_.resize(run_.balances.size());
    const RunSnapshot::Row row = run_.row(index);
    for (size_t slot = 0; slot < run_.balances.size() && slot < row.readings.size(); ++slot) {
        const SnapshotReading &reading = row.readings[slot];
        const int column = MeasurementColumns::valueColumn(int(slot));
        const bool typed = run_.edit(index, column) != nullptr;
        const double value = ValueFormat::weightValue(reading.rawValue, reading.divisor);
        std::optional<Reference> &reference = references_[slot];
        const std::optional<Reference> &picked = picked_[slot];
        char cell[16];
        lxw_rowcol_to_cell(cell, sheetRow, lxw_col_t(column));
        if (!typed && reading.stable && (!reference || reference->unit != reading.unit))
            reference = picked && picked->unit == reading.unit
                            ? *picked
                            : Reference{weightCell(index, slot), value, reading.unit};
        if (!reference)
            continue;
        const std::string &from = reference->cell;
        const std::string change = std::string("=IF(ISNUMBER(") + cell + ")," + cell + "-" + from + ",\"\")";
        const std::string percent = std::string("=IF(AND(ISNUMBER(") + cell + ")," + from + "<>0),(" + cell + "-" +
                                    from + ")/" + from + "*100,\"\")";
        // A typed-over weight has no value as written: the reader works it out.
        const auto write = [&](lxw_col_t at, const std::string &formula, std::optional<double> written) {
            check(written ? worksheet_write_formula_num(sheet, sheetRow, at, formula.c_str(), nullptr, *written)
                          : worksheet_write_formula_str(sheet, sheetRow, at, formula.c_str(), nullptr, ""));
        };
        const std::optional<double> changed = typed ? std::nullopt : std::optional(value - reference->value);
        write(changeColumn(slot), change, changed);
        write(changeColumn(slot) + 1, percent,
              changed && reference->value != 0 ? std::optional(*changed / reference->value * 100.0) : std::nullopt);
    }
}

void WorkbookWriter::writeSettings()
{
    lxw_worksheet *sheet = addSheet(settingsSheet);
    if (!sheet)
        return;
    worksheet_set_column(sheet, 0, 0, 26, nullptr);
    worksheet_set_column(sheet, 1, 2, 24, nullptr);
    const RunSettings &settings = run_.settings;
    lxw_row_t row = 0;
    const auto label = [&](const char *text) { writeText(sheet, row, 0, text, captionFormat_); };
    label("Порт");
    writeText(sheet, row++, 1, settings.port);
    label("Режим");
    writeText(sheet, row++, 1, recordingModeText(settings.mode).toStdString());
    if (settings.mode == RecordingMode::Periodic) {
        label("Период, с");
        writeNumber(sheet, row++, 1, settings.periodMs / 1000.0, nullptr);
    }
    if (settings.mode == RecordingMode::OnNewWeight && settings.threshold != RunSettings::noThreshold) {
        label("Изменение веса, делений");
        writeNumber(sheet, row++, 1, settings.threshold, nullptr);
    }
    label("Измерений на графике");
    writeNumber(sheet, row++, 1, settings.measurementBound, nullptr);
    for (const auto &[text, utcMs] : {std::pair{"Начало", run_.startedUtcMs}, std::pair{"Окончание", run_.stoppedUtcMs}}) {
        label(text);
        if (utcMs != 0) {
            const qint64 offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc()) * 1000;
            writeNumber(sheet, row, 1, spreadsheetTime(utcMs + offsetMs), dateTimeFormat_);
        }
        ++row;
    }
    label("Измерений");
    writeNumber(sheet, row++, 1, double(run_.rowCount()), nullptr);

    ++row;
    lxw_col_t column = 0;
    for (const char *caption : {"Весы", "Модель", "Идентификационный номер", "Образец"})
        writeText(sheet, row, column++, caption, captionFormat_);
    ++row;
    for (const ColumnCaption &caption : run_.balances) {
        writeText(sheet, row, 0, caption.name);
        writeText(sheet, row, 1, caption.model);
        writeText(sheet, row, 2, caption.ident);
        writeText(sheet, row++, 3, settings.sampleAt(caption.balance));
    }
    // Below the balances, so that the cells above keep their places.
    if (!run_.chain)
        return;
    ++row;
    for (const auto &[text, hash] : {std::pair{"Голова цепочки журнала", &run_.chain->head},
                                     std::pair{"Первое событие серии", &run_.chain->first},
                                     std::pair{"Последнее событие серии", &run_.chain->last}}) {
        label(text);
        writeText(sheet, row++, 1, *hash);
    }
}

void WorkbookWriter::writeChart(const QString &firstSheet, int lastRowOfFirstSheet)
{
    lxw_chart *chart = workbook_add_chart(book_, LXW_CHART_LINE);
    const char *sheetName = utf8(firstSheet);
    for (int slot = 0; size_t(slot) < run_.balances.size(); ++slot) {
        const auto column = lxw_col_t(MeasurementColumns::valueColumn(slot));
        lxw_chart_series *series = chart_add_series(chart, nullptr, nullptr);
        chart_series_set_categories(series, sheetName, captionRows, 0, lxw_row_t(lastRowOfFirstSheet), 0);
        chart_series_set_values(series, sheetName, captionRows, column, lxw_row_t(lastRowOfFirstSheet), column);
        chart_series_set_name_range(series, sheetName, 0, column);
        lxw_chart_line line{};
        line.color = spreadsheetColour(run_.balances[size_t(slot)].colour);
        line.width = 1.0F;
        chart_series_set_line(series, &line);
        chart_series_set_marker_type(series, LXW_CHART_MARKER_NONE);
    }
    chart_axis_set_name(chart->x_axis, utf8(QStringLiteral("№")));
    chart_legend_set_position(chart, LXW_CHART_LEGEND_BOTTOM);
    chart_title_off(chart);
    lxw_chartsheet *sheet = workbook_add_chartsheet(book_, utf8(chartSheet));
    check(sheet ? chartsheet_set_chart(sheet, chart) : LXW_ERROR_MEMORY_MALLOC_FAILED);
}

std::optional<QString> WorkbookWriter::write(const QString &path)
{
    lxw_workbook_options options{};
    // One row in memory at a time; the rest waits in temporary files in the
    // target's folder, which has room for the workbook anyway.
    options.constant_memory = LXW_TRUE;
    QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    options.tmpdir = folder.data();
    book_ = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!book_)
        return QString::fromLocal8Bit(std::strerror(errno));

    captionFormat_ = workbook_add_format(book_);
    format_set_bold(captionFormat_);
    timeFormat_ = addFormat("hh:mm:ss.000");
    dateFormat_ = workbook_add_format(book_);
    format_set_num_format_index(dateFormat_, 14); // the reader's short date
    dateTimeFormat_ = addFormat("dd.mm.yyyy hh:mm:ss.000");
    for (size_t unit = 0; unit < unitTexts_.size(); ++unit)
        unitTexts_[unit] = unitTextOf(int8_t(unit)).toUtf8();

    pickReferences();
    lxw_worksheet *sheet = startMeasurementSheet(0);
    int sheets = 1;
    // The one empty row of a table without rows holds what the operator typed there.
    const size_t rows = std::max<size_t>(run_.rowCount(), 1);
    for (size_t index = 0; index < rows && failure_ == LXW_NO_ERROR; ++index) {
        const int dataRow = int(index);
        if (dataRow > 0 && dataRow % dataRowsPerSheet_ == 0)
            sheet = startMeasurementSheet(sheets++);
        if (!sheet)
            break;
        const lxw_row_t sheetRow = lxw_row_t(captionRows + dataRow % dataRowsPerSheet_);
        writeTableRow(sheet, sheetRow, index);
        if (index < run_.rowCount())
            writeChanges(sheet, sheetRow, index);
    }
    writeSettings();
    // The chart shows the rows of the first sheet.
    if (run_.rowCount() > 0 && !run_.balances.empty())
        writeChart(measurementSheet, captionRows - 1 + int(std::min<size_t>(rows, size_t(dataRowsPerSheet_))));

    errno = 0;
    const lxw_error closed = workbook_close(book_);
    const int systemError = errno;
    book_ = nullptr;
    const lxw_error error = failure_ != LXW_NO_ERROR ? failure_ : closed;
    if (error == LXW_NO_ERROR)
        return std::nullopt;
    QString reason = QString::fromUtf8(lxw_strerror(error));
    if (systemError != 0)
        reason += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(systemError));
    return reason;
}

} // namespace

XlsxFormat::XlsxFormat(int rowsPerSheet) : rowsPerSheet_(std::clamp(rowsPerSheet, captionRows + 1, sheetRowLimit)) {}

std::optional<QString> XlsxFormat::write(const RunSnapshot &run, const QString &path) const
{
    ReplacingFile file(path);
    if (auto failure = file.create())
        return failure;
    {
        const CNumericLocale numbers;
        if (auto failure = WorkbookWriter(run, rowsPerSheet_).write(file.temporaryPath()))
            return failure;
    }
    return file.commit();
}
