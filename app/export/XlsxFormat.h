// The table as an Excel 2007+ workbook (".xlsx"): numbers as numbers with the
// balance's decimals and the unit beside them, times as date-time values
// with milliseconds, a sheet with the run's settings and a line chart.
#pragma once

#include "export/ExportFormat.h"

class XlsxFormat final : public ExportFormat {
public:
    // The most rows a worksheet holds; a longer table continues on further
    // sheets, each starting with the caption rows again.
    static constexpr int sheetRowLimit = 1048576;

    explicit XlsxFormat(int rowsPerSheet = sheetRowLimit);

    QString name() const override { return QStringLiteral("Excel 2007+"); }
    QString suffix() const override { return QStringLiteral("xlsx"); }
    std::optional<QString> write(const RunSnapshot &run, const QString &path) const override;

private:
    int rowsPerSheet_;
};
