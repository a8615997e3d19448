// The table as tab-separated text offered as an Excel file (".xls"): the
// program's first and default format, byte for byte as it always was.
#pragma once

#include "export/ExportFormat.h"

class TabSeparatedFormat final : public ExportFormat {
public:
    QString name() const override { return QStringLiteral("Excel"); }
    QString suffix() const override { return QStringLiteral("xls"); }
    std::optional<QString> write(const RunSnapshot &run, const QString &path) const override;
};
