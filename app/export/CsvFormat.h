// The table as comma-separated values for scripts and laboratory systems:
// RFC 4180, UTF-8 with a byte order mark, one caption line, ISO 8601 times
// with milliseconds and the UTC offset, '.' as the decimal point whatever
// the locale, and each unit in a column of its own.
#pragma once

#include "export/ExportFormat.h"

class CsvFormat final : public ExportFormat {
public:
    QString name() const override { return QStringLiteral("CSV"); }
    QString suffix() const override { return QStringLiteral("csv"); }
    std::optional<QString> write(const ExportedRun &run, const QString &path) const override;
};
