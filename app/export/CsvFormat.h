// The table as comma-separated values for scripts and laboratory systems,
// in the lines of CsvText, written whole or not at all.
#pragma once

#include "export/ExportFormat.h"

class CsvFormat final : public ExportFormat {
public:
    QString name() const override { return QStringLiteral("CSV"); }
    QString suffix() const override { return QStringLiteral("csv"); }
    std::optional<QString> write(const RunSnapshot &run, const QString &path) const override;
};
